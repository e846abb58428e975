#include "manager/installPaths.h"

#include "support/scopedEnv.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include <string>

using pluginManager::InstallPaths;
using pluginManager::PlatformUtils;
using pluginManager::PluginFormat;

namespace
{
bool holds(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class InstallPathsTest : public ::testing::Test
{
protected:
    void SetUp() override { PlatformUtils::setSettingsFolder(m_folder.path()); }
    void TearDown() override { PlatformUtils::setSettingsFolder(""); }

    std::string settingsText() const { return m_folder.read("settings.xml"); }
    void writeSettings(const std::string& children) const
    {
        m_folder.write("settings.xml", "<?xml version=\"1.0\"?>\n<pluginManager>\n" + children + "</pluginManager>\n");
    }
    // What a load of the current file makes of it, written back.
    std::string rewritten() const
    {
        InstallPaths(true).save();
        return settingsText();
    }

    testSupport::TempFolder m_folder;
    testSupport::ScopedEnv m_home{"HOME", m_folder.file("home")};
};

TEST_F(InstallPathsTest, FoldersFallBackFromProductToFormatToDefault)
{
    const auto defaultVst3 = m_folder.file("home/.vst3");
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

    paths.set(PluginFormat::VST3, defaultVst3);
    paths.set(PluginFormat::CLAP, "/clap");
    paths.set(PluginFormat::CLAP, "");
    EXPECT_TRUE(paths.formatPaths.empty());
    paths.save();
    EXPECT_FALSE(holds(settingsText(), "<installPath format="));
}

TEST_F(InstallPathsTest, WritesTheDocumentInItsFixedOrder)
{
    InstallPaths paths(false);
    paths.preservedElements.push_back("<window x=\"1\"><monitor index=\"2\"/></window>");
    paths.setCollapsed("Synths", true);
    paths.setCollapsed("", true);
    paths.setHidden("Zeta", true);
    paths.setHidden("Beta", true);
    paths.setSelfBuild("2024-05-01 12:30", 1714566600);
    paths.teamLogin = true;
    paths.set("Beta/X", PluginFormat::CLAP, "/b");
    paths.set("Alpha", PluginFormat::VST3, "/a");
    paths.set(PluginFormat::Standalone, "/s");
    paths.set(PluginFormat::VST2, "/v2");
    EXPECT_FALSE(m_folder.exists("settings.xml"));
    paths.save();

    EXPECT_EQ(settingsText(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<pluginManager>\r\n"
                              "  <installPath format=\"VST2\" path=\"/v2\"/>\r\n"
                              "  <installPath format=\"Standalone\" path=\"/s\"/>\r\n"
                              "  <installPath product=\"Alpha\" format=\"VST3\" path=\"/a\"/>\r\n"
                              "  <installPath product=\"Beta/X\" format=\"CLAP\" path=\"/b\"/>\r\n"
                              "  <teamLogin enabled=\"1\"/>\r\n"
                              "  <selfBuild listed=\"2024-05-01 12:30\" modified=\"1.7145666e9\"/>\r\n"
                              "  <hidden product=\"Beta\"/>\r\n"
                              "  <hidden product=\"Zeta\"/>\r\n"
                              "  <collapsed category=\"\"/>\r\n"
                              "  <collapsed category=\"Synths\"/>\r\n"
                              "  <window x=\"1\">\r\n    <monitor index=\"2\"/>\r\n  </window>\r\n"
                              "</pluginManager>\r\n");
    EXPECT_EQ(rewritten(), settingsText());
}

TEST_F(InstallPathsTest, ReadsAFileWrittenByHand)
{
    testSupport::writeFile(m_folder.file("settings.xml"),
                           testSupport::readFile(std::string(VYRPM_FIXTURES_DIR) + "/state/settings.xml"));
    const InstallPaths paths(true);
    EXPECT_EQ(paths.get(PluginFormat::VST3), "/opt/audio/vst3");
    EXPECT_EQ(paths.get(PluginFormat::CLAP), "/opt/audio/clap");
    EXPECT_FALSE(paths.isCustom(PluginFormat::LV2));
    EXPECT_EQ(paths.get("Vireo", PluginFormat::VST3), "/mnt/studio/vst3");
    EXPECT_EQ(paths.get("Team/Vireo FX", PluginFormat::LV2), "/mnt/studio/lv2");
    EXPECT_TRUE(paths.teamLogin);
    EXPECT_EQ(paths.selfBuildListed, "2024-05-01 12:30");
    EXPECT_EQ(paths.selfBuildModified, 1714566600);
    EXPECT_EQ(paths.hiddenProducts, (std::set<std::string>{"Legacy", "Old Synth"}));
    EXPECT_EQ(paths.collapsedCategories, (std::set<std::string>{"Effects"}));
    EXPECT_EQ(paths.preservedElements.size(), 1u);
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
        EXPECT_EQ(InstallPaths(true).teamLogin, on) << element;
        EXPECT_EQ(holds(rewritten(), "<teamLogin enabled=\"1\"/>"), on) << element;
    }
}

TEST_F(InstallPathsTest, SelfBuildTimesComeBackUnchanged)
{
    for (const std::int64_t modified : {1LL, 999999LL, 1000000LL, 1000001LL, 1714566601LL, 253402300799LL, -86400LL})
    {
        InstallPaths paths(false);
        paths.setSelfBuild("", modified);
        paths.save();
        EXPECT_EQ(InstallPaths(true).selfBuildModified, modified);
    }

    writeSettings("<selfBuild listed=\"\" modified=\"0\"/>\n");
    EXPECT_FALSE(holds(rewritten(), "selfBuild"));
    writeSettings("<selfBuild listed=\"2024-01-02 03:04\"/>\n");
    EXPECT_TRUE(holds(rewritten(), "<selfBuild listed=\"2024-01-02 03:04\" modified=\"0"));
    for (const char* value : {"soon", "1e400", "nan", "-1e300", "0.9"})
    {
        writeSettings(std::string("<selfBuild listed=\"x\" modified=\"") + value + "\"/>\n");
        EXPECT_EQ(InstallPaths(true).selfBuildModified, 0) << value;
    }
}

TEST_F(InstallPathsTest, InstallPathElements)
{
    writeSettings("<installPath format=\"vst3\" path=\"/lower\"/>\n"
                  "<INSTALLPATH format=\"CLAP\" path=\"/capitals\"/>\n"
                  "<installPath format=\"LV2\" path=\"\"/>\n"
                  "<installPath format=\"Unknown\" path=\"/unknown\"/>\n"
                  "<installPath format=\"VST2\" path=\"/first\"/>\n"
                  "<installPath format=\"VST2\" path=\"/second\"/>\n"
                  "<installPath product=\"A\" format=\"LV2\" path=\"/a1\"/>\n"
                  "<installPath product=\"A\" format=\"LV2\" path=\"/a2\"/>\n");
    const InstallPaths paths(true);
    EXPECT_EQ(paths.formatPaths,
              (std::map<PluginFormat, std::string>{{PluginFormat::VST2, "/second"}, {PluginFormat::CLAP, "/capitals"}}));
    EXPECT_EQ(paths.productPaths, (std::map<std::string, std::string>{{"A/LV2", "/a2"}}));
    EXPECT_TRUE(paths.preservedElements.empty());
    EXPECT_TRUE(holds(rewritten(), "<installPath format=\"CLAP\" path=\"/capitals\"/>"));
}

TEST_F(InstallPathsTest, UnknownElementsAreKeptAndWrittenLast)
{
    m_folder.write("settings.xml", "<settings>\n"
                                   "<future level=\"3\" name=\"a &amp; b\"><inner>text</inner><inner2/></future>\n"
                                   "<view mode=\"list\"/>\n<hidden/>\n<hidden product=\"\"/>\n"
                                   "<installPath format=\"VST3\" path=\"/v3\"/>\n<other/>\n</settings>\n");
    const auto text = rewritten();
    EXPECT_TRUE(holds(text, "<pluginManager>"));
    EXPECT_FALSE(holds(text, "<settings"));
    EXPECT_FALSE(holds(text, "<view"));
    EXPECT_FALSE(holds(text, "<hidden"));
    EXPECT_LT(text.find("<installPath"), text.find("<future"));
    EXPECT_LT(text.find("<future"), text.find("<other"));

    const auto paths = InstallPaths(true);
    ASSERT_EQ(paths.preservedElements.size(), 2u);
    const auto future = juce::parseXML(juce::String(paths.preservedElements[0]));
    ASSERT_NE(future, nullptr);
    EXPECT_EQ(future->getStringAttribute("level"), "3");
    EXPECT_EQ(future->getStringAttribute("name"), "a & b");
    ASSERT_NE(future->getChildByName("inner"), nullptr);
    EXPECT_EQ(future->getChildByName("inner")->getAllSubText(), "text");
    EXPECT_NE(future->getChildByName("inner2"), nullptr);
}

TEST_F(InstallPathsTest, MissingOrBrokenFileGivesDefaults)
{
    PlatformUtils::setSettingsFolder(m_folder.file("a/config"));
    InstallPaths paths(false);
    paths.set(PluginFormat::VST3, "/v3");
    paths.teamLogin = true;
    paths.setSelfBuild("x", 5);
    paths.setHidden("A", true);
    paths.preservedElements.push_back("<a/>");
    paths.load();
    EXPECT_TRUE(paths.formatPaths.empty());
    EXPECT_FALSE(paths.teamLogin);
    EXPECT_EQ(paths.selfBuildModified, 0);
    EXPECT_TRUE(paths.hiddenProducts.empty());
    EXPECT_TRUE(paths.preservedElements.empty());

    m_folder.write("a/config/settings.xml", "<pluginManager><teamLogin/>");
    EXPECT_FALSE(InstallPaths(true).teamLogin);
    paths.teamLogin = true;
    paths.save();
    EXPECT_TRUE(InstallPaths(true).teamLogin);
}
}
