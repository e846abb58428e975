#include "manager/install/fileCopy.h"
#include "manager/install/romFolder.h"
#include "manager/platform/filePaths.h"

#include "support/scopedEnv.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <tuple>

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
    const auto move = RomFolder::Keep::Move, copy = RomFolder::Keep::Copy;
    // the name of the file kept (it holds "mine"), the folder before, how it is kept, the folder after
    const std::tuple<std::string, Files, RomFolder::Keep, Files> rows[] = {
        {"bank.bin", {}, move, {{"bank.bin", "mine"}}},
        {"bank.bin", {{"bank.bin", "mine"}}, move, {{"bank.bin", "mine"}}},
        {"bank.bin", {{"bank.bin", "mine"}}, copy, {{"bank.bin", "mine"}}},
        {"bank.bin", {{"bank.bin", "other"}}, copy, {{"bank.bin", "other"}, {"bank(2).bin", "mine"}}},
        {"bank.bin", {{"bank.bin", "other"}, {"bank(2).bin", "another"}}, move,
         {{"bank.bin", "other"}, {"bank(2).bin", "another"}, {"bank(3).bin", "mine"}}},
        {"notes", {{"notes", "other"}}, copy, {{"notes", "other"}, {"notes(2)", "mine"}}},
        // A name that begins with "~" is no home folder.
        {"~bank.bin", {}, move, {{"~bank.bin", "mine"}}},
        {"~bank.bin", {{"~bank.bin", "other"}}, copy, {{"~bank.bin", "other"}, {"~bank(2).bin", "mine"}}},
    };
    for (const auto& [name, before, how, after] : rows)
    {
        testSupport::TempFolder root;
        testSupport::ScopedEnv data("VYR_DATA_FOLDER", root.file("data"));
        const RomFolder roms("Foo");
        for (const auto& [file, bytes] : before)
            testSupport::writeFile(pathOf(pluginManager::literalChild(roms.folder(), file)), bytes);
        root.write("Foo.vst3/" + name, "mine");
        const juce::File kept(root.file("Foo.vst3/" + name));
        const std::string trace = name + (how == move ? " moved to " : " copied to ") + testing::PrintToString(before);

        std::string failure;
        EXPECT_TRUE(roms.keep(kept, how, juce::File(root.file("Foo.vst3")), failure)) << trace << ": " << failure;
        EXPECT_EQ(filesIn(pathOf(roms.folder())), after) << trace;
        EXPECT_EQ(kept.existsAsFile(), how == copy) << trace;
    }
}

// What a keep that a killed run cut short left goes; a copy that a live run is making stays.
TEST(RomFolder, ClearsTheTemporaryFilesOfKilledKeepsOnly)
{
    testSupport::TempFolder root;
    testSupport::ScopedEnv data("VYR_DATA_FOLDER", root.file("data"));
    const RomFolder roms("Foo");
    const std::string folder = pathOf(roms.folder());
    testSupport::writeFile(folder + "/.vyr-copy-0123456789abcdef", "killed");
    root.write("bank.bin", "mine");
    pluginManager::FileCopy live;
    std::string why;
    ASSERT_TRUE(live.write(juce::File(root.file("bank.bin")), roms.folder(), false, why)) << why;

    roms.clearInterrupted();
    const Files left = filesIn(folder);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left.begin()->second, "mine");
}
