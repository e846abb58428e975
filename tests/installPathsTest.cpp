#include "manager/state/installPaths.h"

#include "httpFixture.h"
#include "support/scopedEnv.h"

using namespace pluginManager;

namespace
{
// Settings written by hand, and what a load and save make of them.
const std::string handWritten = std::string(VYRPM_FIXTURES_DIR) + "/state/";

// A settings document as save() writes it, around the given children.
std::string document(const std::string& children)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n" +
           (children.empty() ? "<pluginManager/>\r\n" : "<pluginManager>\r\n" + children + "</pluginManager>\r\n");
}

class InstallPathsTest : public httpTests::HttpFixture
{
protected:
    // What a load of the current file makes of it, written back.
    std::string rewritten()
    {
        paths.load();
        paths.save(error);
        return settings.read("settings.xml");
    }

    testSupport::ScopedEnv m_home{"HOME", work.file("home")};
    InstallPaths paths{false};
};

// The product's own folder goes when set to the format's folder; the default folder is a choice
// of its own while the format has a custom one.
TEST_F(InstallPathsTest, FoldersFallBackFromProductToFormatToDefault)
{
    const auto defaultVst3 = work.file("home/.vst3");
    EXPECT_EQ(paths.get("Alpha", PluginFormat::VST3), defaultVst3);
    paths.set(PluginFormat::VST3, "/custom");
    paths.set("Alpha", PluginFormat::VST3, "/alpha");
    EXPECT_EQ(paths.get("Alpha", PluginFormat::VST3) + paths.get("Beta", PluginFormat::VST3), "/alpha/custom");
    paths.set("Alpha", PluginFormat::VST3, "/custom");
    EXPECT_FALSE(paths.isCustom("Alpha", PluginFormat::VST3));
    paths.set("Alpha", PluginFormat::VST3, defaultVst3);
    EXPECT_TRUE(paths.isCustom("Alpha", PluginFormat::VST3));
}

// The hand-written file comes back in the fixed order. Its root has another name, which is read
// alike; elements are matched without regard to case, but format names are not; the later of two
// paths wins; what is not understood is kept and written last, except the "view" element and
// elements that lack what they need. A broken file reads as the defaults, whatever was loaded
// before. Anything that is no number of seconds in the 64-bit range reads as unknown.
TEST_F(InstallPathsTest, RewritingKeepsWhatItUnderstandsInItsFixedOrderAndUnknownElementsLast)
{
    settings.write("settings.xml", testSupport::readFile(handWritten + "settings.xml"));
    EXPECT_EQ(rewritten(), testSupport::readFile(handWritten + "settingsWrittenBack.xml"));
    const std::string on = "  <teamLogin enabled=\"1\"/>\r\n";
    const std::string unknown = "  <selfBuild listed=\"x\" modified=\"0.0\"/>\r\n";
    std::vector<std::pair<std::string, std::string>> cases = {{"<teamLogin>", ""}, {"<teamLogin/>", on},
        {"<teamLogin enabled=\" 7\"/>", on}, {"<teamLogin enabled=\"0\"/>", ""}, {"<teamLogin enabled=\"yes\"/>", ""},
        {"<teamLogin enabled=\"\"/>", ""}, {"", ""}, {"<selfBuild listed=\"\" modified=\"0\"/>", ""},
        {"<selfBuild listed=\"x\"/>", unknown},
        // What a newer version may keep: an element after a text that holds one of its own, and the like.
        {"<notes>Kept by a newer version<group><item/></group></notes><mixed><a/>tail<b>x<c/></b></mixed>",
         "  <notes>Kept by a newer version<group>\r\n  <item/>\r\n</group>\r\n  </notes>\r\n"
         "  <mixed>\r\n    <a/>tail<b>x<c/>\r\n</b>\r\n  </mixed>\r\n"}};
    for (const char* value : {"soon", "1e400", "nan", "-1e300", "0.9", "9.3e18"})
        cases.push_back({std::string("<selfBuild listed=\"x\" modified=\"") + value + "\"/>", unknown});
    for (const auto& [element, written] : cases)
    {
        settings.write("settings.xml", "<pluginManager>" + element + "</pluginManager>");
        EXPECT_EQ(rewritten(), document(written)) << element;
    }
    for (const std::int64_t modified : {1LL, 999999LL, 1000000LL, 1000001LL, 1714566601LL, 253402300799LL, -86400LL,
                                       9200000000000000000LL})
    {
        paths.setSelfBuild("x", modified);
        paths.save(error);
        EXPECT_EQ(InstallPaths(true).selfBuildModified, modified);
    }
}
}
