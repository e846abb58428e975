#include "manager/installedPlugins.h"

#include "support/scopedEnv.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include <string>
#include <vector>

using pluginManager::Asset;
using pluginManager::InstalledPlugins;
using pluginManager::PlatformUtils;
using pluginManager::PluginFormat;

namespace
{
using Removals = std::vector<std::pair<std::string, PluginFormat>>;
using Names = std::vector<std::string>;

class InstalledPluginsTest : public ::testing::Test
{
protected:
    void SetUp() override { PlatformUtils::setSettingsFolder(m_root.file("settings")); }
    void TearDown() override { PlatformUtils::setSettingsFolder(""); }

    static Asset build(const std::string& product, const std::string& format, const std::string& version,
                       const std::string& date = "")
    {
        Asset asset;
        asset.product = product;
        asset.format = format;
        asset.version = version;
        asset.date = date;
        return asset;
    }

    // A folder of plug-ins below the temporary folder, and items placed in it.
    std::string folder(const std::string& name) const { return m_root.file(name); }
    void place(const std::string& folderName, const std::string& item) const
    {
        m_root.write(folderName + "/" + item + "/content", "x");
    }
    void placeFile(const std::string& folderName, const std::string& item) const
    {
        m_root.write(folderName + "/" + item, "x");
    }

    std::string recordText() const { return m_root.read("settings/installed.json"); }
    void writeRecord(const std::string& json) const { m_root.write("settings/installed.json", json); }

    testSupport::TempFolder m_root;
    testSupport::ScopedEnv m_home{"HOME", m_root.file("home")};
};

TEST_F(InstalledPluginsTest, SetRecordsTheInstall)
{
    InstalledPlugins record(false);
    record.set(build("Alpha", "VST3", "1.2", "2024-05-01 12:30"), folder("vst3"), {"Alpha.vst3", "Alpha Data"},
               1714566600);

    const auto* entry = record.findEntry("Alpha", PluginFormat::VST3, folder("vst3"));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->version, "1.2");
    EXPECT_EQ(entry->path, folder("vst3") + "/Alpha.vst3");
    EXPECT_EQ(entry->listed, "2024-05-01 12:30");
    EXPECT_EQ(entry->modified, 1714566600);
    EXPECT_EQ(entry->files, (Names{"Alpha.vst3", "Alpha Data"}));
    EXPECT_FALSE(juce::Time::fromISO8601(juce::String(entry->time)) == juce::Time());

    EXPECT_EQ(record.findEntry("Alpha", PluginFormat::VST3, folder("vst3") + "/"), entry);
    EXPECT_EQ(record.findEntry("Alpha", PluginFormat::VST3, folder("other")), nullptr);
    EXPECT_EQ(record.findEntry("Alpha", PluginFormat::CLAP, folder("vst3")), nullptr);
    EXPECT_EQ(record.findEntry("alpha", PluginFormat::VST3, folder("vst3")), nullptr);
}

TEST_F(InstalledPluginsTest, InstallingAgainReplacesTheOneRecord)
{
    InstalledPlugins record(false);
    record.set(build("Alpha", "VST3", "1.2", "2024-05-01 12:30"), folder("a"), {"Alpha.vst3"}, 1714566600);
    record.set(build("Beta", "VST3", "3.0"), folder("a"), {"Beta.vst3"}, 0);
    record.set(build("Alpha", "VST3", "1.3"), folder("b"), {}, 0);

    ASSERT_EQ(record.entries.size(), 2u);
    EXPECT_EQ(record.entries[0].product, "Alpha");
    EXPECT_EQ(record.entries[0].path, folder("b") + "/Alpha.vst3");
    EXPECT_EQ(record.entries[0].version, "1.3");
    EXPECT_EQ(record.entries[0].listed, "");
    EXPECT_EQ(record.entries[0].modified, 0);
    EXPECT_TRUE(record.entries[0].files.empty());
}

TEST_F(InstalledPluginsTest, SetWithoutAPluginPathRecordsNothing)
{
    InstalledPlugins record(false);
    record.set(build("Alpha", "AAX", "1.0"), folder("a"), {"Alpha.aaxplugin"}, 0);
    record.set(build("Alpha", "vst3", "1.0"), folder("a"), {"Alpha.vst3"}, 0);
    record.set(build("Alpha", "VST3", "1.0"), "", {"Alpha.vst3"}, 0);
    EXPECT_TRUE(record.entries.empty());
}

TEST_F(InstalledPluginsTest, InstalledFileLooksAtRecordedItemsThenTheStandardPath)
{
    InstalledPlugins record(false);
    EXPECT_EQ(record.installedFile("Alpha", PluginFormat::VST3, folder("a")), "");
    place("a", "Alpha.vst3");
    EXPECT_EQ(record.installedFile("Alpha", PluginFormat::VST3, folder("a")), folder("a") + "/Alpha.vst3");
    juce::File(folder("a") + "/Alpha.vst3").deleteRecursively();

    record.set(build("Alpha", "VST3", "1.0"), folder("a"), {"Gone", "Alpha Data"}, 0);
    placeFile("a", "Alpha Data");
    EXPECT_EQ(record.installedFile("Alpha", PluginFormat::VST3, folder("a")), folder("a") + "/Alpha Data");
    EXPECT_EQ(record.installedFile("Alpha", PluginFormat::VST3, folder("b")), "");

    // Every recorded item gone: the standard plug-in path still counts.
    juce::File(folder("a") + "/Alpha Data").deleteFile();
    place("a", "Alpha.vst3");
    EXPECT_EQ(record.installedFile("Alpha", PluginFormat::VST3, folder("a")), folder("a") + "/Alpha.vst3");

    juce::File(folder("a") + "/Alpha.vst3").deleteRecursively();
    EXPECT_EQ(record.installedFile("Alpha", PluginFormat::VST3, folder("a")), "");
}

TEST_F(InstalledPluginsTest, GetVersion)
{
    InstalledPlugins record(false);
    record.set(build("Alpha", "VST3", "1.4"), folder("a"), {"Alpha.vst3"}, 0);
    EXPECT_EQ(record.getVersion("Alpha", PluginFormat::VST3, folder("a")), "");
    place("a", "Alpha.vst3");
    EXPECT_EQ(record.getVersion("Alpha", PluginFormat::VST3, folder("a")), "1.4");

    // Installed without this program: only a bundle that names its own version answers.
    place("b", "Beta.vst3");
    EXPECT_NE(record.installedFile("Beta", PluginFormat::VST3, folder("b")), "");
    EXPECT_EQ(record.getVersion("Beta", PluginFormat::VST3, folder("b")), "");
    m_root.write("b/Beta.lv2/manifest.ttl", "<urn:beta>\n    doap:revision \"2.0.1\" .\n");
    EXPECT_EQ(record.getVersion("Beta", PluginFormat::LV2, folder("b")), "2.0.1");
}

TEST_F(InstalledPluginsTest, RemoveForgetsTheFirstRecordInAnyFolder)
{
    InstalledPlugins record(false);
    record.set(build("Alpha", "VST3", "1.0"), folder("a"), {}, 0);
    record.set(build("Alpha", "CLAP", "1.0"), folder("c"), {}, 0);
    record.remove("Alpha", PluginFormat::LV2);
    record.remove("Beta", PluginFormat::VST3);
    EXPECT_EQ(record.entries.size(), 2u);
    record.remove("Alpha", PluginFormat::VST3);
    ASSERT_EQ(record.entries.size(), 1u);
    EXPECT_EQ(record.entries[0].format, "CLAP");
}

TEST_F(InstalledPluginsTest, SharedItemsStayUnlessTheirOwnerGoesToo)
{
    InstalledPlugins record(false);
    record.set(build("Alpha", "VST3", "1.0"), folder("a"), {"Alpha.vst3", "Shared"}, 0);
    record.set(build("Beta", "VST3", "1.0"), folder("a"), {"Beta.vst3", "Shared"}, 0);
    record.set(build("Gamma", "VST3", "1.0"), folder("g"), {"Gamma.vst3", "Alpha.vst3"}, 0);

    EXPECT_EQ(record.filesToRemove("Alpha", PluginFormat::VST3, folder("a"), {{"Alpha", PluginFormat::VST3}}),
              (Names{folder("a") + "/Alpha.vst3"}));
    EXPECT_EQ(record.filesToRemove("Alpha", PluginFormat::VST3, folder("a"),
                                   {{"Alpha", PluginFormat::VST3}, {"Beta", PluginFormat::VST3}}),
              (Names{folder("a") + "/Alpha.vst3", folder("a") + "/Shared"}));
    // A removal of another format of the owner does not free the item.
    EXPECT_EQ(record.filesToRemove("Alpha", PluginFormat::VST3, folder("a"), {{"Beta", PluginFormat::CLAP}}),
              (Names{folder("a") + "/Alpha.vst3"}));

    EXPECT_TRUE(record.filesToRemove("Alpha", PluginFormat::VST3, folder("g"), {}).empty());
    EXPECT_TRUE(record.filesToRemove("Alpha", PluginFormat::CLAP, folder("a"), {}).empty());
    record.set(build("Delta", "VST3", "1.0"), folder("a"), {}, 0);
    EXPECT_TRUE(record.filesToRemove("Delta", PluginFormat::VST3, folder("a"), {}).empty());
}

TEST_F(InstalledPluginsTest, NamesOutsideTheFolderAreNeverRemoved)
{
    InstalledPlugins record(false);
    record.set(build("Alpha", "VST3", "1.0"), folder("a"),
               {"", ".", "..", "../home", "sub/item", "/etc", "~", "~old", "Alpha.vst3"}, 0);
    EXPECT_EQ(record.filesToRemove("Alpha", PluginFormat::VST3, folder("a"), {}),
              (Names{folder("a") + "/~", folder("a") + "/~old", folder("a") + "/Alpha.vst3"}));
    // Nor does such a name make the folder itself count as the install.
    juce::File(folder("a")).createDirectory();
    EXPECT_EQ(record.installedFile("Alpha", PluginFormat::VST3, folder("a")), "");
}

TEST_F(InstalledPluginsTest, DuplicateRecordsFirstForChangesLastForRemoval)
{
    writeRecord("[{\"product\": \"Alpha\", \"format\": \"VST3\", \"version\": \"1\", \"path\": \"" + folder("a") +
                "/Alpha.vst3\", \"files\": [\"one\"]},"
                " {\"product\": \"Alpha\", \"format\": \"VST3\", \"version\": \"2\", \"path\": \"" + folder("b") +
                "/Alpha.vst3\", \"files\": [\"two\"]},"
                " {\"product\": \"Alpha\", \"format\": \"VST3\", \"version\": \"3\", \"path\": \"" + folder("b") +
                "/Alpha.vst3\", \"files\": [\"three\"]}]");
    InstalledPlugins record(true);
    ASSERT_EQ(record.entries.size(), 3u);

    EXPECT_EQ(record.findEntry("Alpha", PluginFormat::VST3, folder("a"))->version, "1");
    EXPECT_EQ(record.findEntry("Alpha", PluginFormat::VST3, folder("b"))->version, "2");
    EXPECT_EQ(record.filesToRemove("Alpha", PluginFormat::VST3, folder("b"), {}), (Names{folder("b") + "/three"}));
    EXPECT_TRUE(record.filesToRemove("Alpha", PluginFormat::VST3, folder("a"), {}).empty());

    record.set(build("Alpha", "VST3", "4"), folder("c"), {"four"}, 0);
    EXPECT_EQ(record.entries[0].version, "4");
    EXPECT_EQ(record.entries[1].version, "2");

    record.remove("Alpha", PluginFormat::VST3);
    ASSERT_EQ(record.entries.size(), 2u);
    EXPECT_EQ(record.entries[0].version, "2");
}

TEST_F(InstalledPluginsTest, WritesTheFileFormat)
{
    InstalledPlugins record(false);
    record.save();
    EXPECT_EQ(recordText(), "[]");

    place("a", "Alpha.vst3");
    placeFile("a", "Beta.clap");
    record.set(build("Alpha", "VST3", "1.2", "2024-05-01 12:30"), folder("a"), {"Alpha.vst3", "Shared"}, 1714566600);
    record.set(build("Beta", "CLAP", "2.0"), folder("a"), {}, 0);
    record.entries[0].time = "2024-05-01T12:30:00.000+02:00";
    record.entries[1].time = "2024-05-02T08:00:00.000+02:00";
    record.save();

    EXPECT_EQ(recordText(), "[\r\n"
                            "  {\r\n"
                            "    \"product\": \"Alpha\",\r\n"
                            "    \"format\": \"VST3\",\r\n"
                            "    \"version\": \"1.2\",\r\n"
                            "    \"path\": \"" + folder("a") + "/Alpha.vst3\",\r\n"
                            "    \"time\": \"2024-05-01T12:30:00.000+02:00\",\r\n"
                            "    \"listed\": \"2024-05-01 12:30\",\r\n"
                            "    \"modified\": 1714566600,\r\n"
                            "    \"files\": [\r\n"
                            "      \"Alpha.vst3\",\r\n"
                            "      \"Shared\"\r\n"
                            "    ]\r\n"
                            "  },\r\n"
                            "  {\r\n"
                            "    \"product\": \"Beta\",\r\n"
                            "    \"format\": \"CLAP\",\r\n"
                            "    \"version\": \"2.0\",\r\n"
                            "    \"path\": \"" + folder("a") + "/Beta.clap\",\r\n"
                            "    \"time\": \"2024-05-02T08:00:00.000+02:00\"\r\n"
                            "  }\r\n"
                            "]");
}

TEST_F(InstalledPluginsTest, RoundTrip)
{
    place("a", "Alpha.vst3");
    place("a", "Alpha.lv2");
    InstalledPlugins record(false);
    record.set(build("Alpha", "VST3", "1.2", "2024-05-01 12:30"), folder("a"), {"Alpha.vst3", "Shared"},
               4102444800);
    record.set(build("Alpha", "LV2", "1.2"), folder("a"), {"Alpha.lv2"}, 0);
    record.save();

    const InstalledPlugins again(true);
    ASSERT_EQ(again.entries.size(), 2u);
    for (size_t i = 0; i < 2; ++i)
    {
        EXPECT_EQ(again.entries[i].product, record.entries[i].product);
        EXPECT_EQ(again.entries[i].format, record.entries[i].format);
        EXPECT_EQ(again.entries[i].version, record.entries[i].version);
        EXPECT_EQ(again.entries[i].path, record.entries[i].path);
        EXPECT_EQ(again.entries[i].time, record.entries[i].time);
        EXPECT_EQ(again.entries[i].listed, record.entries[i].listed);
        EXPECT_EQ(again.entries[i].modified, record.entries[i].modified);
        EXPECT_EQ(again.entries[i].files, record.entries[i].files);
    }
}

TEST_F(InstalledPluginsTest, PluginsDeletedByHandLeaveTheFileAtTheNextSave)
{
    place("a", "Alpha.vst3");
    place("a", "Beta.vst3");
    InstalledPlugins record(false);
    record.set(build("Alpha", "VST3", "1.0"), folder("a"), {"Alpha.vst3"}, 0);
    record.set(build("Beta", "VST3", "1.0"), folder("a"), {"Beta.vst3"}, 0);
    juce::File(folder("a") + "/Alpha.vst3").deleteRecursively();
    record.save();

    EXPECT_EQ(record.entries.size(), 2u);
    const InstalledPlugins again(true);
    ASSERT_EQ(again.entries.size(), 1u);
    EXPECT_EQ(again.entries[0].product, "Beta");
}

TEST_F(InstalledPluginsTest, ReadsAFileWrittenByHand)
{
    writeRecord(testSupport::readFile(std::string(VYRPM_FIXTURES_DIR) + "/state/installed.json"));
    const InstalledPlugins record(true);
    ASSERT_EQ(record.entries.size(), 2u);

    const auto& vireo = record.entries[0];
    EXPECT_EQ(vireo.product, "Vireo");
    EXPECT_EQ(vireo.format, "VST3");
    EXPECT_EQ(vireo.version, "1.3.5");
    EXPECT_EQ(vireo.path, "/home/ann/.vst3/Vireo.vst3");
    EXPECT_EQ(vireo.time, "2024-05-01T12:30:00.000+02:00");
    EXPECT_EQ(vireo.listed, "2024-04-30 18:00");
    EXPECT_EQ(vireo.modified, 1714495200);
    EXPECT_EQ(vireo.files, (Names{"Vireo.vst3", "Vireo Presets"}));

    const auto& nimbus = record.entries[1];
    EXPECT_EQ(nimbus.product, "Nimbus");
    EXPECT_EQ(nimbus.format, "CLAP");
    EXPECT_EQ(nimbus.listed, "");
    EXPECT_EQ(nimbus.modified, 0);
    EXPECT_TRUE(nimbus.files.empty());
}

TEST_F(InstalledPluginsTest, LoadSkipsWhatIsNotARecord)
{
    writeRecord("[1, \"text\", [], null,"
                " {\"product\": \"A\", \"format\": \"VST3\", \"version\": \"1\", \"path\": \"\"},"
                " {\"product\": \"\", \"format\": \"VST3\", \"version\": \"1\", \"path\": \"/a/A.vst3\"},"
                " {\"product\": \"B\", \"format\": \"VST3\", \"path\": \"/a/B.vst3\"},"
                " {\"product\": \"C\", \"version\": 2, \"path\": \"/a/C.vst3\", \"files\": [\"\", \"C.vst3\", \"\"],"
                "  \"modified\": 1714495200.0, \"extra\": true},"
                " {\"product\": \"D\", \"format\": \"LV2\", \"version\": \"1\", \"path\": \"/a/D.lv2\","
                "  \"files\": \"D.lv2\", \"modified\": 5000000000}]");
    const InstalledPlugins record(true);
    ASSERT_EQ(record.entries.size(), 2u);
    EXPECT_EQ(record.entries[0].product, "C");
    EXPECT_EQ(record.entries[0].format, "");
    EXPECT_EQ(record.entries[0].version, "2");
    EXPECT_EQ(record.entries[0].files, (Names{"C.vst3"}));
    EXPECT_EQ(record.entries[0].modified, 1714495200);
    EXPECT_EQ(record.entries[1].product, "D");
    EXPECT_TRUE(record.entries[1].files.empty());
    EXPECT_EQ(record.entries[1].modified, 5000000000);
}

TEST_F(InstalledPluginsTest, MissingOrBrokenFileGivesAnEmptyRecord)
{
    InstalledPlugins record(false);
    record.set(build("Alpha", "VST3", "1.0"), folder("a"), {}, 0);
    record.load();
    EXPECT_TRUE(record.entries.empty());

    for (const char* text : {"", "[{\"product\": ", "{\"product\": \"A\", \"version\": \"1\", \"path\": \"/a/A.vst3\"}"})
    {
        writeRecord(text);
        EXPECT_TRUE(InstalledPlugins(true).entries.empty()) << text;
    }
}

TEST_F(InstalledPluginsTest, SaveCreatesTheFolder)
{
    PlatformUtils::setSettingsFolder(m_root.file("x/y/settings"));
    place("a", "Alpha.clap");
    InstalledPlugins record(false);
    record.set(build("Alpha", "CLAP", "1.0"), folder("a"), {}, 0);
    record.save();
    EXPECT_EQ(InstalledPlugins(true).entries.size(), 1u);
}
}
