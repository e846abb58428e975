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
using Names = std::vector<std::string>;

Asset build(const std::string& product, const std::string& format, const std::string& version,
            const std::string& date = "")
{
    Asset asset;
    asset.product = product;
    asset.format = format;
    asset.version = version;
    asset.date = date;
    return asset;
}

class InstalledPluginsTest : public ::testing::Test
{
protected:
    void SetUp() override { PlatformUtils::setSettingsFolder(m_root.file("settings")); }
    void TearDown() override { PlatformUtils::setSettingsFolder(""); }

    // Plug-in folders below the temporary folder, and items in them.
    std::string folder(const std::string& name) const { return m_root.file(name); }
    std::string item(const std::string& folderName, const std::string& name) const
    {
        return folder(folderName) + "/" + name;
    }
    void place(const std::string& folderName, const std::string& name) const
    {
        m_root.write(folderName + "/" + name + "/content", "x");
    }
    void erase(const std::string& folderName, const std::string& name) const
    {
        juce::File(item(folderName, name)).deleteRecursively();
    }

    std::string recordText() const { return m_root.read("settings/installed.json"); }
    void writeRecord(const std::string& json) const { m_root.write("settings/installed.json", json); }

    testSupport::TempFolder m_root;
    testSupport::ScopedEnv m_home{"HOME", m_root.file("home")};
};

TEST_F(InstalledPluginsTest, SetKeepsOneRecordPerProductAndFormat)
{
    InstalledPlugins record(false);
    record.set(build("Alpha", "VST3", "1.2", "2024-05-01 12:30"), folder("a"), {"Alpha.vst3"}, 1714566600);
    record.set(build("Beta", "VST3", "3.0"), folder("a"), {"Beta.vst3"}, 0);
    const auto* entry = record.findEntry("Alpha", PluginFormat::VST3, folder("a") + "/");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->path, item("a", "Alpha.vst3"));
    EXPECT_EQ(entry->listed, "2024-05-01 12:30");
    EXPECT_EQ(entry->modified, 1714566600);
    EXPECT_FALSE(juce::Time::fromISO8601(juce::String(entry->time)) == juce::Time());
    EXPECT_EQ(record.findEntry("Alpha", PluginFormat::CLAP, folder("a")), nullptr);

    record.set(build("Alpha", "VST3", "1.3"), folder("b"), {}, 0);
    ASSERT_EQ(record.entries.size(), 2u);
    EXPECT_EQ(record.findEntry("Alpha", PluginFormat::VST3, folder("a")), nullptr);
    const auto& moved = record.entries[0];
    EXPECT_EQ(moved.path + " " + moved.version + " " + moved.listed, item("b", "Alpha.vst3") + " 1.3 ");
    EXPECT_EQ(moved.modified, 0);
    EXPECT_TRUE(moved.files.empty());

    // No plug-in path, no record.
    record.set(build("Gamma", "AAX", "1.0"), folder("a"), {}, 0);
    record.set(build("Gamma", "vst3", "1.0"), folder("a"), {}, 0);
    record.set(build("Gamma", "VST3", "1.0"), "", {}, 0);
    EXPECT_EQ(record.entries.size(), 2u);
}

TEST_F(InstalledPluginsTest, InstalledFileAndVersion)
{
    InstalledPlugins record(false);
    place("a", "Alpha.vst3");
    EXPECT_EQ(record.installedFile("Alpha", PluginFormat::VST3, folder("a")), item("a", "Alpha.vst3"));
    // Installed without this program: only a bundle that names its own version answers.
    EXPECT_EQ(record.getVersion("Alpha", PluginFormat::VST3, folder("a")), "");
    m_root.write("a/Alpha.lv2/manifest.ttl", "<urn:alpha>\n    doap:revision \"2.0.1\" .\n");
    EXPECT_EQ(record.getVersion("Alpha", PluginFormat::LV2, folder("a")), "2.0.1");
    erase("a", "Alpha.vst3");

    record.set(build("Alpha", "VST3", "1.4"), folder("a"), {"Gone", "Alpha Data"}, 0);
    EXPECT_EQ(record.getVersion("Alpha", PluginFormat::VST3, folder("a")), "");
    place("a", "Alpha Data");
    EXPECT_EQ(record.installedFile("Alpha", PluginFormat::VST3, folder("a")), item("a", "Alpha Data"));
    EXPECT_EQ(record.getVersion("Alpha", PluginFormat::VST3, folder("a")), "1.4");
    EXPECT_EQ(record.installedFile("Alpha", PluginFormat::VST3, folder("b")), "");

    // Every recorded item gone: the standard plug-in path still counts.
    erase("a", "Alpha Data");
    place("a", "Alpha.vst3");
    EXPECT_EQ(record.installedFile("Alpha", PluginFormat::VST3, folder("a")), item("a", "Alpha.vst3"));
}

TEST_F(InstalledPluginsTest, SharedItemsStayUnlessTheirOwnerGoesToo)
{
    InstalledPlugins record(false);
    record.set(build("Alpha", "VST3", "1.0"), folder("a"), {"Alpha.vst3", "Shared"}, 0);
    record.set(build("Beta", "VST3", "1.0"), folder("a"), {"Beta.vst3", "Shared"}, 0);
    record.set(build("Gamma", "VST3", "1.0"), folder("g"), {"Gamma.vst3", "Alpha.vst3"}, 0);
    const auto alphaFrom = [&](const std::string& name, const std::vector<std::pair<std::string, PluginFormat>>& also)
    { return record.filesToRemove("Alpha", PluginFormat::VST3, folder(name), also); };

    EXPECT_EQ(alphaFrom("a", {{"Alpha", PluginFormat::VST3}}), (Names{item("a", "Alpha.vst3")}));
    EXPECT_EQ(alphaFrom("a", {{"Beta", PluginFormat::CLAP}}), (Names{item("a", "Alpha.vst3")}));
    EXPECT_EQ(alphaFrom("a", {{"Alpha", PluginFormat::VST3}, {"Beta", PluginFormat::VST3}}),
              (Names{item("a", "Alpha.vst3"), item("a", "Shared")}));
    EXPECT_TRUE(alphaFrom("g", {}).empty());
    EXPECT_TRUE(record.filesToRemove("Alpha", PluginFormat::CLAP, folder("a"), {}).empty());
}

// A recorded name is a single item of the plug-in folder. A damaged record must not make an
// uninstall delete the folder itself or anything outside it.
TEST_F(InstalledPluginsTest, NamesOutsideTheFolderAreNeverRemoved)
{
    InstalledPlugins record(false);
    record.set(build("Alpha", "VST3", "1.0"), folder("a"),
               {"", ".", "..", "../home", "sub/item", "/etc", "~", "~old", "Alpha.vst3"}, 0);
    EXPECT_EQ(record.filesToRemove("Alpha", PluginFormat::VST3, folder("a"), {}),
              (Names{item("a", "~"), item("a", "~old"), item("a", "Alpha.vst3")}));
    juce::File(folder("a")).createDirectory();
    EXPECT_EQ(record.installedFile("Alpha", PluginFormat::VST3, folder("a")), "");
}

TEST_F(InstalledPluginsTest, DuplicateRecordsFirstForChangesLastForRemoval)
{
    const auto record = [&](const std::string& version, const std::string& in, const std::string& file)
    {
        return "{\"product\": \"Alpha\", \"format\": \"VST3\", \"version\": \"" + version + "\", \"path\": \"" +
               item(in, "Alpha.vst3") + "\", \"files\": [\"" + file + "\"]}";
    };
    writeRecord("[" + record("1", "a", "one") + ", " + record("2", "b", "two") + ", " + record("3", "b", "three") +
                "]");
    InstalledPlugins plugins(true);
    ASSERT_EQ(plugins.entries.size(), 3u);
    EXPECT_EQ(plugins.findEntry("Alpha", PluginFormat::VST3, folder("a"))->version, "1");
    EXPECT_EQ(plugins.findEntry("Alpha", PluginFormat::VST3, folder("b"))->version, "2");
    EXPECT_EQ(plugins.filesToRemove("Alpha", PluginFormat::VST3, folder("b"), {}), (Names{item("b", "three")}));
    EXPECT_TRUE(plugins.filesToRemove("Alpha", PluginFormat::VST3, folder("a"), {}).empty());

    plugins.set(build("Alpha", "VST3", "4"), folder("c"), {"four"}, 0);
    EXPECT_EQ(plugins.entries[0].version, "4");
    plugins.remove("Alpha", PluginFormat::LV2);
    plugins.remove("Alpha", PluginFormat::VST3);
    ASSERT_EQ(plugins.entries.size(), 2u);
    EXPECT_EQ(plugins.entries[0].version, "2");
}

TEST_F(InstalledPluginsTest, WritesTheFileFormatAndLeavesOutDeletedPlugins)
{
    InstalledPlugins record(false);
    record.save();
    EXPECT_EQ(recordText(), "[]");

    place("a", "Alpha.vst3");
    place("a", "Beta.clap");
    record.set(build("Alpha", "VST3", "1.2", "2024-05-01 12:30"), folder("a"), {"Alpha.vst3", "Shared"}, 4102444800);
    record.set(build("Beta", "CLAP", "2.0"), folder("a"), {}, 0);
    record.set(build("Gone", "CLAP", "2.0"), folder("a"), {}, 0);
    record.entries[0].time = "2024-05-01T12:30:00.000+02:00";
    record.entries[1].time = "2024-05-02T08:00:00.000+02:00";
    record.save();
    EXPECT_EQ(record.entries.size(), 3u);
    EXPECT_EQ(recordText(), "[\r\n  {\r\n"
                            "    \"product\": \"Alpha\",\r\n"
                            "    \"format\": \"VST3\",\r\n"
                            "    \"version\": \"1.2\",\r\n"
                            "    \"path\": \"" + item("a", "Alpha.vst3") + "\",\r\n"
                            "    \"time\": \"2024-05-01T12:30:00.000+02:00\",\r\n"
                            "    \"listed\": \"2024-05-01 12:30\",\r\n"
                            "    \"modified\": 4102444800,\r\n"
                            "    \"files\": [\r\n      \"Alpha.vst3\",\r\n      \"Shared\"\r\n    ]\r\n"
                            "  },\r\n  {\r\n"
                            "    \"product\": \"Beta\",\r\n"
                            "    \"format\": \"CLAP\",\r\n"
                            "    \"version\": \"2.0\",\r\n"
                            "    \"path\": \"" + item("a", "Beta.clap") + "\",\r\n"
                            "    \"time\": \"2024-05-02T08:00:00.000+02:00\"\r\n"
                            "  }\r\n]");

    const InstalledPlugins again(true);
    ASSERT_EQ(again.entries.size(), 2u);
    EXPECT_EQ(again.entries[0].modified, 4102444800);
    EXPECT_EQ(again.entries[0].files, (Names{"Alpha.vst3", "Shared"}));
}

TEST_F(InstalledPluginsTest, ReadsAFileWrittenByHand)
{
    writeRecord(testSupport::readFile(std::string(VYRPM_FIXTURES_DIR) + "/state/installed.json"));
    const InstalledPlugins record(true);
    ASSERT_EQ(record.entries.size(), 2u);
    const auto& vireo = record.entries[0];
    EXPECT_EQ(vireo.product + " " + vireo.format + " " + vireo.version, "Vireo VST3 1.3.5");
    EXPECT_EQ(vireo.path, "/home/ann/.vst3/Vireo.vst3");
    EXPECT_EQ(vireo.time, "2024-05-01T12:30:00.000+02:00");
    EXPECT_EQ(vireo.listed, "2024-04-30 18:00");
    EXPECT_EQ(vireo.modified, 1714495200);
    EXPECT_EQ(vireo.files, (Names{"Vireo.vst3", "Vireo Presets"}));
    const auto& nimbus = record.entries[1];
    EXPECT_EQ(nimbus.product + " " + nimbus.format + " " + nimbus.version, "Nimbus CLAP 2.0");
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
                "  \"files\": \"D.lv2\", \"modified\": 1e300}]");
    InstalledPlugins record(true);
    ASSERT_EQ(record.entries.size(), 2u);
    const auto& c = record.entries[0];
    EXPECT_EQ(c.product + "|" + c.format + "|" + c.version, "C||2");
    EXPECT_EQ(c.files, (Names{"C.vst3"}));
    EXPECT_EQ(c.modified, 1714495200);
    EXPECT_TRUE(record.entries[1].files.empty());
    EXPECT_EQ(record.entries[1].modified, 0);

    for (const char* text : {"", "[{\"product\": ", "{\"product\": \"A\", \"version\": \"1\", \"path\": \"/a/A.vst3\"}"})
    {
        writeRecord(text);
        record.load();
        EXPECT_TRUE(record.entries.empty()) << text;
    }
}
}
