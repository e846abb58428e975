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
class InstallPathsTest : public ::testing::Test
{
protected:
    void SetUp() override { PlatformUtils::setSettingsFolder(m_folder.path()); }
    void TearDown() override { PlatformUtils::setSettingsFolder(""); }

    std::string settingsText() const { return m_folder.read("settings.xml"); }

    void writeSettings(const std::string& children) const
    {
        m_folder.write("settings.xml",
                       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<pluginManager>\n" + children + "</pluginManager>\n");
    }

    static InstallPaths reloaded() { return InstallPaths(true); }

    testSupport::TempFolder m_folder;
    testSupport::ScopedEnv m_home{"HOME", m_folder.file("home")};
};

TEST_F(InstallPathsTest, FoldersFallBackFromProductToFormatToDefault)
{
    InstallPaths paths(false);
    EXPECT_EQ(paths.get(PluginFormat::VST3), m_folder.file("home/.vst3"));
    EXPECT_EQ(paths.get("Alpha", PluginFormat::VST3), m_folder.file("home/.vst3"));
    EXPECT_EQ(paths.get("Alpha", PluginFormat::AU), "");

    paths.set(PluginFormat::VST3, "/custom/vst3");
    EXPECT_TRUE(paths.isCustom(PluginFormat::VST3));
    EXPECT_FALSE(paths.isCustom("Alpha", PluginFormat::VST3));
    EXPECT_EQ(paths.get("Alpha", PluginFormat::VST3), "/custom/vst3");

    paths.set("Alpha", PluginFormat::VST3, "/alpha/vst3");
    EXPECT_TRUE(paths.isCustom("Alpha", PluginFormat::VST3));
    EXPECT_EQ(paths.get("Alpha", PluginFormat::VST3), "/alpha/vst3");
    EXPECT_EQ(paths.get("Beta", PluginFormat::VST3), "/custom/vst3");
    EXPECT_EQ(paths.get("Alpha", PluginFormat::CLAP), m_folder.file("home/.clap"));
}

TEST_F(InstallPathsTest, SettingTheFallbackFolderRemovesTheEntry)
{
    InstallPaths paths(false);
    paths.set(PluginFormat::VST3, "/custom/vst3");
    paths.set(PluginFormat::VST3, PlatformUtils::getDefaultPluginPath(PluginFormat::VST3));
    EXPECT_FALSE(paths.isCustom(PluginFormat::VST3));
    paths.set(PluginFormat::CLAP, "/custom/clap");
    paths.set(PluginFormat::CLAP, "");
    EXPECT_FALSE(paths.isCustom(PluginFormat::CLAP));

    paths.set(PluginFormat::VST3, "/custom/vst3");
    paths.set("Alpha", PluginFormat::VST3, "/alpha");
    paths.set("Alpha", PluginFormat::VST3, "/custom/vst3");
    EXPECT_FALSE(paths.isCustom("Alpha", PluginFormat::VST3));

    // With a custom format folder, the default folder is a choice of its own for one product.
    paths.set("Alpha", PluginFormat::VST3, PlatformUtils::getDefaultPluginPath(PluginFormat::VST3));
    EXPECT_TRUE(paths.isCustom("Alpha", PluginFormat::VST3));
    EXPECT_EQ(paths.get("Alpha", PluginFormat::VST3), PlatformUtils::getDefaultPluginPath(PluginFormat::VST3));

    paths.save();
    EXPECT_EQ(settingsText().find("<installPath format=\"VST3\" path=\"" + m_folder.file("home/.vst3")), std::string::npos);
    EXPECT_EQ(settingsText().find("<installPath format=\"CLAP\""), std::string::npos);
}

TEST_F(InstallPathsTest, SettersDoNotWrite)
{
    InstallPaths paths(false);
    paths.set(PluginFormat::VST3, "/custom/vst3");
    paths.set("Alpha", PluginFormat::LV2, "/alpha");
    paths.setHidden("Alpha", true);
    paths.setCollapsed("Synths", true);
    paths.setSelfBuild("2024-01-01 10:00", 1700000000);
    paths.teamLogin = true;
    EXPECT_FALSE(m_folder.exists("settings.xml"));
}

TEST_F(InstallPathsTest, WritesTheDocumentInItsFixedOrder)
{
    InstallPaths paths(false);
    paths.preservedElements.push_back("<window x=\"1\"><monitor index=\"2\"/></window>");
    paths.setCollapsed("Synths", true);
    paths.setCollapsed("Effects", true);
    paths.setHidden("Zeta", true);
    paths.setHidden("Beta", true);
    paths.setSelfBuild("2024-05-01 12:30", 1714566600);
    paths.teamLogin = true;
    paths.set("Beta", PluginFormat::CLAP, "/b");
    paths.set("Alpha", PluginFormat::VST3, "/a");
    paths.set(PluginFormat::Standalone, "/s");
    paths.set(PluginFormat::VST2, "/v2");
    paths.save();

    EXPECT_EQ(settingsText(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                              "\r\n"
                              "<pluginManager>\r\n"
                              "  <installPath format=\"VST2\" path=\"/v2\"/>\r\n"
                              "  <installPath format=\"Standalone\" path=\"/s\"/>\r\n"
                              "  <installPath product=\"Alpha\" format=\"VST3\" path=\"/a\"/>\r\n"
                              "  <installPath product=\"Beta\" format=\"CLAP\" path=\"/b\"/>\r\n"
                              "  <teamLogin enabled=\"1\"/>\r\n"
                              "  <selfBuild listed=\"2024-05-01 12:30\" modified=\"1.7145666e9\"/>\r\n"
                              "  <hidden product=\"Beta\"/>\r\n"
                              "  <hidden product=\"Zeta\"/>\r\n"
                              "  <collapsed category=\"Effects\"/>\r\n"
                              "  <collapsed category=\"Synths\"/>\r\n"
                              "  <window x=\"1\">\r\n"
                              "    <monitor index=\"2\"/>\r\n"
                              "  </window>\r\n"
                              "</pluginManager>\r\n");
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
    ASSERT_EQ(paths.preservedElements.size(), 1u);

    // Written back: the view goes, the unknown window comes last with its child, the product
    // whose name holds "/" keeps it.
    paths.save();
    const auto text = settingsText();
    EXPECT_EQ(text.find("<view"), std::string::npos);
    EXPECT_NE(text.find("<installPath product=\"Team/Vireo FX\" format=\"LV2\" path=\"/mnt/studio/lv2\"/>"),
              std::string::npos);
    const auto window = text.find("<window x=\"10\" y=\"20\">\r\n    <monitor index=\"1\"/>\r\n  </window>");
    ASSERT_NE(window, std::string::npos);
    EXPECT_GT(window, text.find("<collapsed"));

    const auto again = reloaded();
    EXPECT_EQ(again.formatPaths, paths.formatPaths);
    EXPECT_EQ(again.productPaths, paths.productPaths);
    EXPECT_EQ(again.selfBuildModified, 1714566600);
    EXPECT_EQ(again.preservedElements.size(), 1u);
}

TEST_F(InstallPathsTest, TeamLoginSwitch)
{
    struct Case
    {
        std::string element;
        bool on;
    };
    const Case cases[] = {
        {"<teamLogin/>", true},
        {"<teamLogin enabled=\"1\"/>", true},
        {"<teamLogin enabled=\" 7\"/>", true},
        {"<teamLogin enabled=\"0\"/>", false},
        {"<teamLogin enabled=\"yes\"/>", false},
        {"<teamLogin enabled=\"\"/>", false},
        {"", false},
    };
    for (const auto& c : cases)
    {
        writeSettings(c.element);
        const InstallPaths paths(true);
        EXPECT_EQ(paths.teamLogin, c.on) << c.element;
        paths.save();
        EXPECT_EQ(settingsText().find("<teamLogin") != std::string::npos, c.on) << c.element;
    }
}

TEST_F(InstallPathsTest, SelfBuildTimesComeBackUnchanged)
{
    for (const std::int64_t modified : {std::int64_t(1), std::int64_t(999999), std::int64_t(1000000),
                                        std::int64_t(1000001), std::int64_t(1714566601), std::int64_t(4102444799),
                                        std::int64_t(253402300799), std::int64_t(-86400)})
    {
        InstallPaths paths(false);
        paths.setSelfBuild("", modified);
        paths.save();
        const auto again = reloaded();
        EXPECT_EQ(again.selfBuildModified, modified);
        EXPECT_EQ(again.selfBuildListed, "");
    }
}

TEST_F(InstallPathsTest, SelfBuildIsWrittenOnlyWhenKnown)
{
    writeSettings("<selfBuild listed=\"\" modified=\"0\"/>\n");
    InstallPaths(true).save();
    EXPECT_EQ(settingsText().find("selfBuild"), std::string::npos);

    writeSettings("<selfBuild listed=\"2024-01-02 03:04\"/>\n");
    InstallPaths(true).save();
    const auto again = reloaded();
    EXPECT_EQ(again.selfBuildListed, "2024-01-02 03:04");
    EXPECT_EQ(again.selfBuildModified, 0);
    EXPECT_NE(settingsText().find("<selfBuild listed=\"2024-01-02 03:04\" modified=\"0"), std::string::npos);

    for (const char* bad : {"soon", "1e400", "nan", "-1e300"})
    {
        writeSettings(std::string("<selfBuild listed=\"x\" modified=\"") + bad + "\"/>\n");
        EXPECT_EQ(reloaded().selfBuildModified, 0) << bad;
    }
    writeSettings("<selfBuild modified=\"1714566600.9\"/>\n");
    EXPECT_EQ(reloaded().selfBuildModified, 1714566600);
}

TEST_F(InstallPathsTest, InstallPathElements)
{
    writeSettings("<installPath format=\"vst3\" path=\"/lower\"/>\n"
                  "<INSTALLPATH format=\"CLAP\" path=\"/capitals\"/>\n"
                  "<installPath format=\"LV2\" path=\"\"/>\n"
                  "<installPath format=\"Unknown\" path=\"/unknown\"/>\n"
                  "<installPath path=\"/no-format\"/>\n"
                  "<installPath format=\"VST2\" path=\"/first\"/>\n"
                  "<installPath format=\"VST2\" path=\"/second\"/>\n"
                  "<installPath product=\"A\" format=\"LV2\" path=\"/a1\"/>\n"
                  "<installPath product=\"A\" format=\"LV2\" path=\"/a2\"/>\n"
                  "<installPath product=\"\" format=\"Standalone\" path=\"/bin\"/>\n");
    const InstallPaths paths(true);
    EXPECT_EQ(paths.formatPaths,
              (std::map<PluginFormat, std::string>{
                  {PluginFormat::VST2, "/second"}, {PluginFormat::CLAP, "/capitals"}, {PluginFormat::Standalone, "/bin"}}));
    EXPECT_EQ(paths.productPaths, (std::map<std::string, std::string>{{"A/LV2", "/a2"}}));
    EXPECT_TRUE(paths.preservedElements.empty());

    paths.save();
    const auto text = settingsText();
    EXPECT_NE(text.find("<installPath format=\"CLAP\" path=\"/capitals\"/>"), std::string::npos);
    EXPECT_EQ(text.find("INSTALLPATH"), std::string::npos);
    EXPECT_EQ(text.find("/lower"), std::string::npos);
    EXPECT_EQ(text.find("/first"), std::string::npos);
}

TEST_F(InstallPathsTest, StoredDefaultFolderStaysUntilSet)
{
    writeSettings("<installPath format=\"VST3\" path=\"" + m_folder.file("home/.vst3") + "\"/>\n");
    InstallPaths paths(true);
    EXPECT_TRUE(paths.isCustom(PluginFormat::VST3));
    paths.set(PluginFormat::VST3, m_folder.file("home/.vst3"));
    EXPECT_FALSE(paths.isCustom(PluginFormat::VST3));
}

TEST_F(InstallPathsTest, HiddenAndCollapsed)
{
    writeSettings("<hidden product=\"\"/>\n<hidden/>\n<hidden product=\"A\"/>\n"
                  "<collapsed/>\n<collapsed category=\"Synths\"/>\n");
    InstallPaths paths(true);
    EXPECT_EQ(paths.hiddenProducts, (std::set<std::string>{"A"}));
    EXPECT_EQ(paths.collapsedCategories, (std::set<std::string>{"", "Synths"}));
    paths.save();
    EXPECT_NE(settingsText().find("<collapsed category=\"\"/>"), std::string::npos);

    paths.setHidden("A", false);
    paths.setCollapsed("", false);
    EXPECT_TRUE(paths.hiddenProducts.empty());
    EXPECT_EQ(paths.collapsedCategories, (std::set<std::string>{"Synths"}));
}

TEST_F(InstallPathsTest, UnknownElementsAreKeptWithEverythingInThem)
{
    writeSettings("<future level=\"3\" name=\"a &amp; b\"><inner>text</inner><inner2/></future>\n"
                  "<view mode=\"list\"/>\n"
                  "<installPath format=\"VST3\" path=\"/v3\"/>\n"
                  "<other/>\n");
    InstallPaths(true).save();
    const auto paths = reloaded();
    ASSERT_EQ(paths.preservedElements.size(), 2u);
    const auto future = juce::parseXML(juce::String(paths.preservedElements[0]));
    ASSERT_NE(future, nullptr);
    EXPECT_EQ(future->getTagName(), "future");
    EXPECT_EQ(future->getStringAttribute("level"), "3");
    EXPECT_EQ(future->getStringAttribute("name"), "a & b");
    ASSERT_NE(future->getChildByName("inner"), nullptr);
    EXPECT_EQ(future->getChildByName("inner")->getAllSubText(), "text");
    EXPECT_NE(future->getChildByName("inner2"), nullptr);

    const auto text = settingsText();
    EXPECT_EQ(text.find("<view"), std::string::npos);
    EXPECT_LT(text.find("<installPath"), text.find("<future"));
    EXPECT_LT(text.find("<future"), text.find("<other"));
}

TEST_F(InstallPathsTest, OtherRootNameIsReadAndReplaced)
{
    m_folder.write("settings.xml", "<settings><installPath format=\"LV2\" path=\"/lv2\"/></settings>");
    InstallPaths paths(true);
    EXPECT_EQ(paths.get(PluginFormat::LV2), "/lv2");
    paths.save();
    EXPECT_NE(settingsText().find("<pluginManager>"), std::string::npos);
    EXPECT_EQ(settingsText().find("<settings"), std::string::npos);
}

TEST_F(InstallPathsTest, MissingOrBrokenFileGivesDefaults)
{
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

    m_folder.write("settings.xml", "<pluginManager><teamLogin/>");
    EXPECT_FALSE(reloaded().teamLogin);
}

TEST_F(InstallPathsTest, SaveCreatesTheFolder)
{
    const auto nested = m_folder.file("a/b/config");
    PlatformUtils::setSettingsFolder(nested);
    InstallPaths paths(false);
    paths.set(PluginFormat::CLAP, "/clap");
    paths.save();
    EXPECT_EQ(reloaded().get(PluginFormat::CLAP), "/clap");
    EXPECT_TRUE(m_folder.exists("a/b/config/settings.xml"));
}

TEST_F(InstallPathsTest, KeysAndFormats)
{
    EXPECT_EQ(InstallPaths::keyFor("Alpha", PluginFormat::VST3), "Alpha/VST3");
    EXPECT_EQ(InstallPaths::keyFor("A/B", PluginFormat::Standalone), "A/B/Standalone");
    EXPECT_EQ(InstallPaths::getFormats(),
              (std::vector<PluginFormat>{PluginFormat::VST2, PluginFormat::VST3, PluginFormat::CLAP, PluginFormat::LV2,
                                         PluginFormat::Standalone}));
}
}
