#include "manager/state/installPaths.h"

#include "httpFixture.h"
#include "support/scopedEnv.h"

#include <string>

using namespace pluginManager;

namespace
{
// A settings document as save() writes it, around the given children.
std::string document(const std::string& children)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n" +
           (children.empty() ? "<pluginManager/>\r\n" : "<pluginManager>\r\n" + children + "</pluginManager>\r\n");
}

// What both the settings built below and the hand-written fixture are written as.
const std::string studioSettings =
    document("  <installPath format=\"VST3\" path=\"/opt/audio/vst3\"/>\r\n"
             "  <installPath format=\"CLAP\" path=\"/opt/audio/clap\"/>\r\n"
             "  <installPath product=\"Team/Vireo FX\" format=\"LV2\" path=\"/mnt/studio/lv2\"/>\r\n"
             "  <installPath product=\"Vireo\" format=\"VST3\" path=\"/mnt/studio/vst3\"/>\r\n"
             "  <teamLogin enabled=\"1\"/>\r\n"
             "  <selfBuild listed=\"2024-05-01 12:30\" modified=\"1.7145666e9\"/>\r\n"
             "  <hidden product=\"Legacy\"/>\r\n"
             "  <hidden product=\"Old Synth\"/>\r\n"
             "  <collapsed category=\"\"/>\r\n"
             "  <collapsed category=\"Effects\"/>\r\n"
             "  <window x=\"10\" y=\"20\">\r\n    <monitor index=\"1\"/>\r\n  </window>\r\n");

class InstallPathsTest : public httpTests::HttpFixture
{
protected:
    std::string settingsText() const { return settings.read("settings.xml"); }
    void writeSettings(const std::string& xml) const
    {
        settings.write("settings.xml", "<pluginManager>" + xml + "</pluginManager>");
    }
    // What a load of the current file makes of it, written back.
    std::string rewritten() const
    {
        std::string unsaved;
        InstallPaths(true).save(unsaved);
        return settingsText();
    }

    testSupport::ScopedEnv m_home{"HOME", work.file("home")};
};

TEST_F(InstallPathsTest, FoldersFallBackFromProductToFormatToDefault)
{
    const auto defaultVst3 = work.file("home/.vst3");
    InstallPaths paths(false);
    EXPECT_EQ(paths.get("Alpha", PluginFormat::VST3), defaultVst3);
    EXPECT_EQ(paths.get("Alpha", PluginFormat::AU), "");

    paths.set(PluginFormat::VST3, "/custom");
    paths.set("Alpha", PluginFormat::VST3, "/alpha");
    EXPECT_EQ(paths.get("Alpha", PluginFormat::VST3), "/alpha");
    EXPECT_EQ(paths.get("Beta", PluginFormat::VST3), "/custom");

    // The product's own folder goes when set to the format's folder; the default folder is a
    // choice of its own while the format has a custom one.
    paths.set("Alpha", PluginFormat::VST3, "/custom");
    EXPECT_FALSE(paths.isCustom("Alpha", PluginFormat::VST3));
    paths.set("Alpha", PluginFormat::VST3, defaultVst3);
    EXPECT_TRUE(paths.isCustom("Alpha", PluginFormat::VST3));
}

// Written by the setters or read from a file written by hand, the same settings give the same text.
TEST_F(InstallPathsTest, WritesTheDocumentInItsFixedOrderAndReadsItBack)
{
    InstallPaths paths(false);
    paths.preservedElements.push_back("<window x=\"10\" y=\"20\"><monitor index=\"1\"/></window>");
    paths.setCollapsed("Effects", true);
    paths.setCollapsed("", true);
    paths.setHidden("Old Synth", true);
    paths.setHidden("Legacy", true);
    paths.setSelfBuild("2024-05-01 12:30", 1714566600);
    paths.teamLogin = true;
    paths.set("Vireo", PluginFormat::VST3, "/mnt/studio/vst3");
    paths.set("Team/Vireo FX", PluginFormat::LV2, "/mnt/studio/lv2");
    paths.set(PluginFormat::CLAP, "/opt/audio/clap");
    paths.set(PluginFormat::VST3, "/opt/audio/vst3");
    paths.save(error);
    EXPECT_EQ(settingsText(), studioSettings);

    // The hand-written file has a "view" element, which is left out.
    settings.write("settings.xml", testSupport::readFile(std::string(VYRPM_FIXTURES_DIR) + "/state/settings.xml"));
    EXPECT_EQ(rewritten(), studioSettings);

    // A broken file reads as the defaults; saving them creates the missing folder.
    settings.write("settings.xml", "<pluginManager><teamLogin/>");
    paths.load();
    PlatformUtils::setSettingsFolder(settings.file("a/config"));
    paths.save(error);
    EXPECT_EQ(settings.read("a/config/settings.xml"), document(""));
}

TEST_F(InstallPathsTest, TeamLoginSwitch)
{
    const std::pair<std::string, bool> cases[] = {
        {"<teamLogin/>", true},           {"<teamLogin enabled=\" 7\"/>", true},
        {"<teamLogin enabled=\"0\"/>", false}, {"<teamLogin enabled=\"yes\"/>", false},
        {"<teamLogin enabled=\"\"/>", false},  {"", false},
    };
    for (const auto& [element, on] : cases)
    {
        writeSettings(element);
        EXPECT_EQ(rewritten(), document(on ? "  <teamLogin enabled=\"1\"/>\r\n" : "")) << element;
    }
}

TEST_F(InstallPathsTest, SelfBuildTimesComeBackUnchanged)
{
    for (const std::int64_t modified : {1LL, 999999LL, 1000000LL, 1000001LL, 1714566601LL, 253402300799LL, -86400LL,
                                       9200000000000000000LL})
    {
        InstallPaths paths(false);
        paths.setSelfBuild("", modified);
        paths.save(error);
        EXPECT_EQ(InstallPaths(true).selfBuildModified, modified);
    }

    writeSettings("<selfBuild listed=\"\" modified=\"0\"/>\n");
    EXPECT_EQ(rewritten(), document(""));
    writeSettings("<selfBuild listed=\"2024-01-02 03:04\"/>\n");
    EXPECT_EQ(rewritten(), document("  <selfBuild listed=\"2024-01-02 03:04\" modified=\"0.0\"/>\r\n"));
    for (const char* value : {"soon", "1e400", "nan", "-1e300", "0.9", "9.3e18"})
    {
        writeSettings(std::string("<selfBuild listed=\"x\" modified=\"") + value + "\"/>\n");
        EXPECT_EQ(InstallPaths(true).selfBuildModified, 0) << value;
    }
}

// A root of another name is read alike; elements are matched without regard to case, but
// format names are not; the later of two paths wins; what is not understood is kept and written
// last, except the "view" element and elements that lack what they need.
TEST_F(InstallPathsTest, RewritingDropsWhatItCannotUseAndKeepsUnknownElementsLast)
{
    settings.write("settings.xml", "<settings>\n"
                                   "<future level=\"3\" name=\"a &amp; b\"><inner>text</inner><inner2/></future>\n"
                                   "<installPath format=\"vst3\" path=\"/lower\"/>\n"
                                   "<INSTALLPATH format=\"CLAP\" path=\"/capitals\"/>\n"
                                   "<installPath format=\"LV2\" path=\"\"/>\n"
                                   "<installPath format=\"Unknown\" path=\"/unknown\"/>\n"
                                   "<installPath format=\"VST2\" path=\"/first\"/>\n"
                                   "<installPath format=\"VST2\" path=\"/second\"/>\n"
                                   "<installPath product=\"A\" format=\"LV2\" path=\"/a1\"/>\n"
                                   "<installPath product=\"A\" format=\"LV2\" path=\"/a2\"/>\n"
                                   "<view mode=\"list\"/>\n<hidden/>\n<hidden product=\"\"/>\n<other/>\n</settings>\n");
    EXPECT_EQ(rewritten(), document("  <installPath format=\"VST2\" path=\"/second\"/>\r\n"
                                    "  <installPath format=\"CLAP\" path=\"/capitals\"/>\r\n"
                                    "  <installPath product=\"A\" format=\"LV2\" path=\"/a2\"/>\r\n"
                                    "  <future level=\"3\" name=\"a &amp; b\">\r\n"
                                    "    <inner>text</inner>\r\n    <inner2/>\r\n  </future>\r\n"
                                    "  <other/>\r\n"));
}
}
