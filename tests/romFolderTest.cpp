#include "manager/install/fileCopy.h"
#include "manager/install/romFolder.h"
#include "manager/platform/filePaths.h"

#include "support/scopedEnv.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <tuple>

#include <sys/stat.h>
#include <unistd.h>

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

// What leads back into the plug-in folder that goes is no copy kept outside it, and what is no
// regular file is no file of the user's: it goes with the folder, and nothing waits on it.
TEST(RomFolder, KeepsNothingInsideTheFolderThatGoesAndLeavesWhatIsNoRegularFileToGoWithIt)
{
    // the row, what it makes (in the temporary root, where Foo.vst3/bank.bin is the file kept and
    // data/Kestavel/Foo/roms the rom folder), whether the keep succeeds, the rom folder after it
    // (a link shown as "->"), whether the original stays
    using Make = std::function<void(const testSupport::TempFolder&)>;
    const std::string roms = "data/Kestavel/Foo/roms";
    const auto linked = [&](const std::string& target, const std::string& link) {
        return [=](const testSupport::TempFolder& root) {
            fs::create_directories(fs::path(root.file(link)).parent_path());
            fs::create_symlink(root.file(target), root.file(link));
        };
    };
    const std::tuple<std::string, Make, bool, Files, bool> rows[] = {
        {"a FIFO", [](const testSupport::TempFolder& root) {
             fs::remove(root.file("Foo.vst3/bank.bin"));
             ::mkfifo(root.file("Foo.vst3/bank.bin").c_str(), 0644);
         }, true, {}, true},
        {"a link to the file itself", linked("Foo.vst3/bank.bin", roms + "/bank.bin"), true,
         {{"bank.bin", "->"}, {"bank(2).bin", "mine"}}, false},
        {"a second name of the file", [&](const testSupport::TempFolder& root) {
             fs::create_directories(root.file(roms));
             fs::create_hard_link(root.file("Foo.vst3/bank.bin"), root.file(roms + "/bank.bin"));
         }, true, {{"bank.bin", "mine"}, {"bank(2).bin", "mine"}}, false},
        {"a link to a copy elsewhere", [&](const testSupport::TempFolder& root) {
             root.write("elsewhere/bank.bin", "mine");
             linked("elsewhere/bank.bin", roms + "/bank.bin")(root);
         }, true, {{"bank.bin", "->"}}, false},
        {"a rom folder inside the plug-in", linked("Foo.vst3/Resources", roms), false, {}, true},
    };
    for (const auto& [row, make, kept, after, stays] : rows)
    {
        SCOPED_TRACE(row);
        testSupport::TempFolder root;
        testSupport::ScopedEnv data("VYR_DATA_FOLDER", root.file("data"));
        root.write("Foo.vst3/bank.bin", "mine");
        root.write("Foo.vst3/Resources/x", "x");
        make(root);
        const RomFolder romFolder("Foo");
        const juce::File file(root.file("Foo.vst3/bank.bin"));

        std::string failure;
        EXPECT_EQ(romFolder.keep(file, RomFolder::Keep::Move, juce::File(root.file("Foo.vst3")), failure), kept);
        Files left;
        for (const auto& entry : fs::directory_iterator(root.file("Foo.vst3/Resources")))
            left[entry.path().filename().string()] = "";
        EXPECT_EQ(left, (Files{{"x", ""}})) << "nothing is kept inside the plug-in";
        Files inRoms;
        if (fs::is_directory(root.file(roms)) && !fs::is_symlink(root.file(roms)))
            for (const auto& entry : fs::directory_iterator(root.file(roms)))
                inRoms[entry.path().filename().string()] =
                    entry.is_symlink() ? "->" : testSupport::readFile(entry.path().string());
        EXPECT_EQ(inRoms, after);
        EXPECT_EQ(fs::exists(fs::symlink_status(root.file("Foo.vst3/bank.bin"))), stays);
    }
}
