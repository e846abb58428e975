#include "manager/state/installedPlugins.h"

#include "httpFixture.h"
#include "support/scopedEnv.h"

#include <juce_core/juce_core.h>

#include <string>
#include <tuple>
#include <vector>

using namespace pluginManager;

namespace
{
using Names = std::vector<std::string>;

Asset build(std::string product, std::string format, std::string version, std::string date = "")
{
    Asset asset;
    std::tie(asset.product, asset.format, asset.version, asset.date) = std::tie(product, format, version, date);
    return asset;
}

// Every field but the time of writing, which set() takes from the clock.
std::string describe(const InstalledPlugins::Entry& entry)
{
    std::string text = entry.product + "|" + entry.format + "|" + entry.version + "|" + entry.path + "|" +
                       entry.listed + "|" + std::to_string(entry.modified) + "|";
    for (const auto& name : entry.files)
        text += name + ";";
    return text;
}

class InstalledPluginsTest : public httpTests::HttpFixture
{
protected:
    // Plug-in folders below the temporary folder, and items in them.
    std::string folder(const std::string& name) const { return work.file(name); }
    std::string item(const std::string& in, const std::string& name) const { return folder(in) + "/" + name; }
    void place(const std::string& in, const std::string& name) const { work.write(in + "/" + name + "/x", "x"); }
    void erase(const std::string& in, const std::string& name) const { juce::File(item(in, name)).deleteRecursively(); }
    void writeRecord(const std::string& json) const { settings.write("installed.json", json); }

    testSupport::ScopedEnv m_home{"HOME", work.file("home")};
};

TEST_F(InstalledPluginsTest, SetKeepsOneRecordPerProductAndFormat)
{
    InstalledPlugins record(false);
    record.set(build("Alpha", "VST3", "1.2", "2024-05-01 12:30"), folder("a"), {"Alpha.vst3"}, 1714566600);
    record.set(build("Beta", "VST3", "3.0"), folder("a"), {"Beta.vst3"}, 0);
    const auto* entry = record.findEntry("Alpha", PluginFormat::VST3, folder("a") + "/");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(describe(*entry),
              "Alpha|VST3|1.2|" + item("a", "Alpha.vst3") + "|2024-05-01 12:30|1714566600|Alpha.vst3;");
    EXPECT_FALSE(juce::Time::fromISO8601(juce::String(entry->time)) == juce::Time());
    EXPECT_EQ(record.findEntry("Alpha", PluginFormat::CLAP, folder("a")), nullptr);

    record.set(build("Alpha", "VST3", "1.3"), folder("b"), {}, 0);
    ASSERT_EQ(record.entries.size(), 2u);
    EXPECT_EQ(describe(record.entries[0]), "Alpha|VST3|1.3|" + item("b", "Alpha.vst3") + "||0|");
    EXPECT_EQ(record.findEntry("Alpha", PluginFormat::VST3, work.path()), nullptr);

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
    work.write("a/Alpha.lv2/manifest.ttl", "<urn:alpha>\n    doap:revision \"2.0.1\" .\n");
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

// A recorded name is a single item of the plug-in folder: a damaged record must not make an
// uninstall delete the folder itself or anything outside it.
TEST_F(InstalledPluginsTest, RemovesOwnItemsInsideTheFolderAndSharedOnesOnlyWithTheirOtherOwner)
{
    InstalledPlugins record(false);
    record.set(build("Alpha", "VST3", "1.0"), folder("a"),
               {"", ".", "..", "../home", "sub/item", "/etc", "~", "Alpha.vst3", "Shared"}, 0);
    record.set(build("Beta", "VST3", "1.0"), folder("a"), {"Beta.vst3", "Shared"}, 0);
    record.set(build("Gamma", "VST3", "1.0"), folder("g"), {"Gamma.vst3", "Alpha.vst3"}, 0);
    const auto alphaFrom = [&](const std::string& name, const std::vector<std::pair<std::string, PluginFormat>>& also)
    { return record.filesToRemove("Alpha", PluginFormat::VST3, folder(name), also); };

    EXPECT_EQ(alphaFrom("a", {{"Beta", PluginFormat::CLAP}}), (Names{item("a", "~"), item("a", "Alpha.vst3")}));
    EXPECT_EQ(alphaFrom("a", {{"Alpha", PluginFormat::VST3}, {"Beta", PluginFormat::VST3}}),
              (Names{item("a", "~"), item("a", "Alpha.vst3"), item("a", "Shared")}));
    EXPECT_TRUE(alphaFrom("g", {}).empty());
    EXPECT_TRUE(record.filesToRemove("Alpha", PluginFormat::CLAP, folder("a"), {}).empty());
    juce::File(folder("a")).createDirectory();
    EXPECT_EQ(record.installedFile("Alpha", PluginFormat::VST3, folder("a")), "");
}

TEST_F(InstalledPluginsTest, DuplicateRecordsFirstForChangesLastForRemoval)
{
    std::string json;
    for (const auto& [version, in, file] : {std::tuple{"1", "a", "one"}, {"2", "b", "two"}, {"3", "b", "three"}})
        json += std::string(json.empty() ? "[" : ", ") + R"({"product": "Alpha", "format": "VST3", "version": ")" +
                version + R"(", "path": ")" + item(in, "Alpha.vst3") + R"(", "files": [")" + file + R"("]})";
    writeRecord(json + "]");
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

// The hand-written file is in the exact form save() writes; moved below the temporary folder,
// it is read and then written back byte for byte, less the record of a plug-in not on disk.
TEST_F(InstalledPluginsTest, ReadsAndWritesTheFileFormatLeavingOutDeletedPlugins)
{
    InstalledPlugins record(false);
    record.save(error);
    EXPECT_EQ(settings.read("installed.json"), "[]");

    const juce::String fixture = testSupport::readFile(std::string(VYRPM_FIXTURES_DIR) + "/state/installed.json");
    const auto text = fixture.replace("/home/ann", work.path()).toStdString();
    writeRecord(text);
    record.load();
    ASSERT_EQ(record.entries.size(), 2u);
    EXPECT_EQ(record.entries[0].files.size(), 2u);

    place(".vst3", "Vireo.vst3");
    place(".clap", "Nimbus.clap");
    record.set(build("Gone", "CLAP", "2.0"), folder(".clap"), {}, 0);
    record.save(error);
    EXPECT_EQ(record.entries.size(), 3u);
    EXPECT_EQ(settings.read("installed.json"), text);
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
                "  \"files\": \"D.lv2\", \"modified\": 9.3e18}]");
    InstalledPlugins record(true);
    ASSERT_EQ(record.entries.size(), 2u);
    EXPECT_EQ(describe(record.entries[0]), "C||2|/a/C.vst3||1714495200|C.vst3;");
    EXPECT_EQ(describe(record.entries[1]), "D|LV2|1|/a/D.lv2||0|");

    const std::string entry = "{\"product\": \"A\", \"version\": \"1\", \"path\": \"/a/A.vst3\"}";
    // The last one nests far too deep for the parser.
    const std::string tooDeep = "[" + entry + ", " + std::string(200000, '[');
    for (const auto& text : {std::string(), std::string("[{\"product\": "), entry, tooDeep})
    {
        writeRecord(text);
        record.load();
        EXPECT_TRUE(record.entries.empty()) << text.substr(0, 40);
    }
}
}
