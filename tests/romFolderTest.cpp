#include "manager/install/romFolder.h"
#include "manager/platform/filePaths.h"

#include "support/scopedEnv.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using pluginManager::literalChild;
using pluginManager::pathOf;
using pluginManager::RomFolder;
namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

namespace
{
Files filesIn(const std::string& folder)
{
    Files files;
    for (const auto& entry : fs::directory_iterator(folder))
        files[entry.path().filename().string()] = testSupport::readFile(entry.path().string());
    return files;
}
}

TEST(RomFolder, KeepsAFileOnceUnderItsOwnNameOrTheFirstFreeNumberedOne)
{
    struct Row
    {
        std::string name;
        Files there;
        RomFolder::Keep how;
        Files after;
    };
    const auto move = RomFolder::Keep::Move;
    const auto copy = RomFolder::Keep::Copy;
    const Row rows[] = {
        {"bank.bin", {}, move, {{"bank.bin", "mine"}}},
        {"bank.bin", {{"bank.bin", "mine"}}, move, {{"bank.bin", "mine"}}},
        {"bank.bin", {{"bank.bin", "mine"}}, copy, {{"bank.bin", "mine"}}},
        {"bank.bin", {{"bank.bin", "other"}}, copy, {{"bank.bin", "other"}, {"bank(2).bin", "mine"}}},
        {"bank.bin",
         {{"bank.bin", "other"}, {"bank(2).bin", "another"}},
         move,
         {{"bank.bin", "other"}, {"bank(2).bin", "another"}, {"bank(3).bin", "mine"}}},
        {"notes", {{"notes", "other"}}, copy, {{"notes", "other"}, {"notes(2)", "mine"}}},
        // A name that begins with "~" is no home folder.
        {"~bank.bin", {}, move, {{"~bank.bin", "mine"}}},
        {"~bank.bin", {{"~bank.bin", "other"}}, copy, {{"~bank.bin", "other"}, {"~bank(2).bin", "mine"}}},
    };
    for (const Row& row : rows)
    {
        testSupport::TempFolder root;
        testSupport::ScopedEnv data("VYR_DATA_FOLDER", root.file("data"));
        const RomFolder roms("Foo");
        for (const auto& [name, bytes] : row.there)
            testSupport::writeFile(pathOf(literalChild(roms.folder(), name)), bytes);
        root.write("Foo.vst3/" + row.name, "mine");
        const juce::File kept(root.file("Foo.vst3/" + row.name));
        const std::string trace = row.name + (row.how == move ? " moved" : " copied") + " into " +
                                  testing::PrintToString(row.there);

        std::string failure;
        EXPECT_TRUE(roms.keep(kept, row.how, failure)) << trace << ": " << failure;
        EXPECT_EQ(filesIn(pathOf(roms.folder())), row.after) << trace;
        EXPECT_EQ(kept.existsAsFile(), row.how == copy) << trace;
    }
}
