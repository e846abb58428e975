#include "manager/state/installedPlugins.h"

#include "httpFixture.h"

#include <juce_core/juce_core.h>

#include <string>
#include <vector>

using namespace pluginManager;

namespace
{
using Names = std::vector<std::string>;
// Records and settings written by hand.
const std::string handWritten = std::string(VYRPM_FIXTURES_DIR) + "/state/";

Asset build(const std::string& product, const std::string& format, const std::string& version,
            const std::string& date = "")
{
    return {product, format, version, "", "", "", "", Channel::Public, date, ""};
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
    // Alpha's VST3 install in a folder, and the version it answers.
    std::string alpha(const std::string& in) const
    {
        return record.installedFile("Alpha", PluginFormat::VST3, folder(in)) + "|" +
               record.getVersion("Alpha", PluginFormat::VST3, folder(in));
    }

    InstalledPlugins record{false};
};

// Records written by hand or by an older version may repeat a product and format: set() changes
// the first, removal takes the last. No plug-in path, no record.
TEST_F(InstalledPluginsTest, OneRecordPerProductAndFormatChangedFirstRemovedLast)
{
    record.set(build("Beta", "VST3", "3.0"), folder("a"), {"Beta.vst3"}, 0);
    record.set(build("Alpha", "VST3", "1.2", "2024-05-01 12:30"), folder("a"), {"Alpha.vst3"}, 1714566600);
    const auto* entry = record.findEntry("Alpha", PluginFormat::VST3, folder("a") + "/");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(describe(*entry),
              "Alpha|VST3|1.2|" + item("a", "Alpha.vst3") + "|2024-05-01 12:30|1714566600|Alpha.vst3;");
    EXPECT_FALSE(juce::Time::fromISO8601(juce::String(entry->time)) == juce::Time());
    EXPECT_EQ(record.findEntry("Alpha", PluginFormat::CLAP, folder("a")), nullptr);
    for (const auto& [version, file] : {std::pair{"2", "two"}, {"3", "three"}})
        record.entries.push_back({"Alpha", "VST3", version, item("b", "Alpha.vst3"), "", "", 0, {file}});
    for (const auto& [format, in] : {std::pair{"AAX", "a"}, {"vst3", "a"}, {"VST3", ""}})
        record.set(build("Gamma", format, "1.0"), *in ? folder(in) : "", {}, 0);

    EXPECT_EQ(record.findEntry("Alpha", PluginFormat::VST3, folder("b"))->version, "2");
    EXPECT_EQ(record.filesToRemove("Alpha", PluginFormat::VST3, folder("b"), {}), (Names{item("b", "three")}));
    EXPECT_TRUE(record.filesToRemove("Alpha", PluginFormat::VST3, folder("a"), {}).empty());
    record.set(build("Alpha", "VST3", "4"), folder("c"), {}, 0);
    record.remove("Alpha", PluginFormat::LV2);
    ASSERT_EQ(record.entries.size(), 4u);
    EXPECT_EQ(describe(record.entries[1]), "Alpha|VST3|4|" + item("c", "Alpha.vst3") + "||0|");
    record.remove("Alpha", PluginFormat::VST3);
    EXPECT_EQ(record.entries[0].product + record.entries[1].version + record.entries[2].version, "Beta23");
}

// Installed without this program, only a bundle that names its own version answers; once every
// recorded item is gone, the standard plug-in path still counts.
TEST_F(InstalledPluginsTest, InstalledFileAndVersion)
{
    place("a", "Alpha.vst3");
    EXPECT_EQ(alpha("a"), item("a", "Alpha.vst3") + "|");
    work.write("a/Alpha.lv2/manifest.ttl", "<urn:alpha>\n    doap:revision \"2.0.1\" .\n");
    EXPECT_EQ(record.getVersion("Alpha", PluginFormat::LV2, folder("a")), "2.0.1");
    erase("a", "Alpha.vst3");
    record.set(build("Alpha", "VST3", "1.4"), folder("a"), {"Gone", "Alpha Data"}, 0);
    EXPECT_EQ(alpha("a"), "|");
    place("a", "Alpha Data");
    EXPECT_EQ(alpha("a") + alpha("b"), item("a", "Alpha Data") + "|1.4|");
    erase("a", "Alpha Data");
    place("a", "Alpha.vst3");
    EXPECT_EQ(alpha("a"), item("a", "Alpha.vst3") + "|1.4");
}

// A recorded name is a single item of the plug-in folder: a damaged record must not make an
// uninstall delete the folder itself or anything outside it.
TEST_F(InstalledPluginsTest, RemovesOwnItemsInsideTheFolderAndSharedOnesOnlyWithTheirOtherOwner)
{
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
    EXPECT_EQ(alpha("a"), "|");
}

// The hand-written file is in the exact form save() writes; moved below the temporary folder,
// it is read and then written back byte for byte, less the record of a plug-in not on disk.
TEST_F(InstalledPluginsTest, ReadsAndWritesTheFileFormatLeavingOutDeletedPlugins)
{
    const juce::String fixture = testSupport::readFile(handWritten + "installed.json");
    const auto text = fixture.replace("/home/ann", work.path()).toStdString();
    settings.write("installed.json", text);
    record.load();
    place(".vst3", "Vireo.vst3");
    place(".clap", "Nimbus.clap");
    record.set(build("Gone", "CLAP", "2.0"), folder(".clap"), {}, 0);
    record.save(error);
    EXPECT_EQ(record.entries.size(), 3u);
    EXPECT_EQ(settings.read("installed.json"), text);
}

// The last broken text nests far too deep for the parser.
TEST_F(InstalledPluginsTest, LoadSkipsWhatIsNotARecord)
{
    const std::string a = "{\"product\": \"A\", \"version\": \"1\", \"path\": \"/a/A.vst3\"}";
    for (const auto& text : {std::string(), "[" + a.substr(0, 12), a, "[" + a + ", " + std::string(200000, '[')})
    {
        settings.write("installed.json", text);
        record.load();
        EXPECT_TRUE(record.entries.empty()) << text.substr(0, 40);
    }
    settings.write("installed.json", testSupport::readFile(handWritten + "installedOddities.json"));
    record.load();
    ASSERT_EQ(record.entries.size(), 2u);
    EXPECT_EQ(describe(record.entries[0]) + describe(record.entries[1]),
              "C||2|/a/C.vst3||1714495200|C.vst3;D|LV2|1|/a/D.lv2||0|");
}
}
