#include "manager/state/installedPlugins.h"

#include "httpFixture.h"

using namespace pluginManager;

namespace
{
using Names = std::vector<std::string>;
// Records and settings written by hand.
const std::string handWritten = std::string(VYRPM_FIXTURES_DIR) + "/state/";

Asset build(const std::string& product, const std::string& format, const std::string& version, std::string date = "")
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
    // Alpha's VST3 install in a plug-in folder below the temporary folder, and the version it answers.
    std::string alpha(const std::string& in) const
    {
        return record.installedFile("Alpha", PluginFormat::VST3, work.file(in)) + "|" +
               record.getVersion("Alpha", PluginFormat::VST3, work.file(in));
    }

    InstalledPlugins record{false};
};

// Records written by hand or by an older version may repeat a product and format: set() changes
// the first, removal takes the last. No plug-in path, no record.
TEST_F(InstalledPluginsTest, OneRecordPerProductAndFormatChangedFirstRemovedLast)
{
    record.set(build("Beta", "VST3", "3.0"), work.file("a"), {"Beta.vst3"}, 0);
    record.set(build("Alpha", "VST3", "1.2", "2024-05-01 12:30"), work.file("a"), {"Alpha.vst3"}, 1714566600);
    const auto* entry = record.findEntry("Alpha", PluginFormat::VST3, work.file("a/"));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(describe(*entry),
              "Alpha|VST3|1.2|" + work.file("a/Alpha.vst3") + "|2024-05-01 12:30|1714566600|Alpha.vst3;");
    EXPECT_FALSE(juce::Time::fromISO8601(juce::String(entry->time)) == juce::Time());
    EXPECT_EQ(record.findEntry("Alpha", PluginFormat::CLAP, work.file("a")), nullptr);
    for (const auto& [version, file] : {std::pair{"2", "two"}, {"3", "three"}})
        record.entries.push_back({"Alpha", "VST3", version, work.file("b/Alpha.vst3"), "", "", 0, {file}});
    for (const auto& [format, in] : {std::pair{"AAX", "a"}, {"vst3", "a"}, {"VST3", ""}})
        record.set(build("Gamma", format, "1.0"), *in ? work.file(in) : "", {}, 0);

    EXPECT_EQ(record.findEntry("Alpha", PluginFormat::VST3, work.file("b"))->version, "2");
    EXPECT_EQ(record.filesToRemove("Alpha", PluginFormat::VST3, work.file("b"), {}), (Names{work.file("b/three")}));
    EXPECT_TRUE(record.filesToRemove("Alpha", PluginFormat::VST3, work.file("a"), {}).empty());
    record.set(build("Alpha", "VST3", "4"), work.file("c"), {}, 0);
    record.remove("Alpha", PluginFormat::LV2);
    ASSERT_EQ(record.entries.size(), 4u);
    EXPECT_EQ(describe(record.entries[1]), "Alpha|VST3|4|" + work.file("c/Alpha.vst3") + "||0|");
    record.remove("Alpha", PluginFormat::VST3);
    EXPECT_EQ(record.entries[0].product + record.entries[1].version + record.entries[2].version, "Beta23");
}

// Installed without this program, only a bundle that names its own version answers; once every
// recorded item is gone, the standard plug-in path still counts.
TEST_F(InstalledPluginsTest, InstalledFileAndVersion)
{
    work.write("a/Alpha.vst3/x", "x");
    EXPECT_EQ(alpha("a"), work.file("a/Alpha.vst3") + "|");
    work.write("a/Alpha.lv2/manifest.ttl", "<urn:alpha>\n    doap:revision \"2.0.1\" .\n");
    EXPECT_EQ(record.getVersion("Alpha", PluginFormat::LV2, work.file("a")), "2.0.1");
    juce::File(work.file("a/Alpha.vst3")).deleteRecursively();
    record.set(build("Alpha", "VST3", "1.4"), work.file("a"), {"Gone", "Alpha Data"}, 0);
    EXPECT_EQ(alpha("a"), "|");
    work.write("a/Alpha Data/x", "x");
    EXPECT_EQ(alpha("a") + alpha("b"), work.file("a/Alpha Data") + "|1.4|");
    juce::File(work.file("a/Alpha Data")).deleteRecursively();
    work.write("a/Alpha.vst3/x", "x");
    EXPECT_EQ(alpha("a"), work.file("a/Alpha.vst3") + "|1.4");
}

// A recorded name is a single item of the plug-in folder: a damaged record must not make an
// uninstall delete the folder itself or anything outside it.
TEST_F(InstalledPluginsTest, RemovesOwnItemsInsideTheFolderAndSharedOnesOnlyWithTheirOtherOwner)
{
    record.set(build("Alpha", "VST3", "1.0"), work.file("a"),
               {"", ".", "..", "../home", "sub/item", "/etc", "~", "Alpha.vst3", "Shared"}, 0);
    record.set(build("Beta", "VST3", "1.0"), work.file("a"), {"Beta.vst3", "Shared"}, 0);
    record.set(build("Gamma", "VST3", "1.0"), work.file("g"), {"Gamma.vst3", "Alpha.vst3"}, 0);
    const auto alphaFrom = [&](const std::string& name, const std::vector<std::pair<std::string, PluginFormat>>& also)
    { return record.filesToRemove("Alpha", PluginFormat::VST3, work.file(name), also); };

    EXPECT_EQ(alphaFrom("a", {{"Beta", PluginFormat::CLAP}}), (Names{work.file("a/~"), work.file("a/Alpha.vst3")}));
    EXPECT_EQ(alphaFrom("a", {{"Alpha", PluginFormat::VST3}, {"Beta", PluginFormat::VST3}}),
              (Names{work.file("a/~"), work.file("a/Alpha.vst3"), work.file("a/Shared")}));
    EXPECT_TRUE(alphaFrom("g", {}).empty());
    EXPECT_TRUE(record.filesToRemove("Alpha", PluginFormat::CLAP, work.file("a"), {}).empty());
    juce::File(work.file("a")).createDirectory();
    EXPECT_EQ(alpha("a"), "|");
}

// The hand-written file is in the exact form save() writes; moved below the temporary folder,
// it is read and then written back byte for byte, less the record of a plug-in not on disk. A load
// skips what is no record; a file that is not one JSON value in UTF-8 holds none, and the last
// broken text nests far too deep for the parser.
TEST_F(InstalledPluginsTest, ReadsAndWritesTheFileFormatLeavingOutDeletedPluginsAndWhatIsNotARecord)
{
    const juce::String fixture = testSupport::readFile(handWritten + "installed.json");
    const auto text = fixture.replace("/home/ann", work.path()).toStdString();
    settings.write("installed.json", text);
    record.load();
    work.write(".vst3/Vireo.vst3/x", "x");
    work.write(".clap/Nimbus.clap/x", "x");
    record.set(build("Gone", "CLAP", "2.0"), work.file(".clap"), {}, 0);
    record.save(error);
    EXPECT_EQ(record.entries.size(), 3u);
    EXPECT_EQ(settings.read("installed.json"), text);

    const std::string a = "{\"product\": \"A\", \"version\": \"1\", \"path\": \"/a/A.vst3\"}";
    for (const auto& broken : {std::string(), "[" + a.substr(0, 12), a, "[" + a + "][" + a + "]",
                               std::string("[{\"product\": \"A\", \"version\": \"1\", \"path\": \"/caf\xe9/A.vst3\"}]"),
                               "[" + a + ", " + std::string(200000, '[')})
    {
        settings.write("installed.json", broken);
        record.load();
        EXPECT_TRUE(record.entries.empty()) << broken.substr(0, 40);
    }
    settings.write("installed.json", testSupport::readFile(handWritten + "installedOddities.json"));
    record.load();
    ASSERT_EQ(record.entries.size(), 2u);
    EXPECT_EQ(describe(record.entries[0]) + describe(record.entries[1]),
              "C||2|/a/C.vst3||1714495200|C.vst3;D|LV2|1|/a/D.lv2||0|");
}
}
