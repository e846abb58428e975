#include "manager/platform/confinedPath.h"
#include "manager/platform/filePaths.h"

#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

using pluginManager::ConfinedPath;
using pluginManager::pathOf;
namespace fs = std::filesystem;

namespace
{
// Each path of named, given, names the path beside it below the folder; each of refused names nothing.
void check(juce::File (*resolve)(const juce::File&, const std::string&), const testSupport::TempFolder& root,
           const std::vector<std::pair<std::string, std::string>>& named, const std::vector<std::string>& refused)
{
    const juce::File folder(root.file("data"));
    for (const auto& [given, below] : named)
        EXPECT_EQ(pathOf(resolve(folder, given)), root.file("data/" + below)) << '"' << given << '"';
    for (const std::string& given : refused)
        EXPECT_EQ(pathOf(resolve(folder, given)), "") << '"' << given << '"';
}
}

TEST(ConfinedPath, APathFromAProductListStaysBelowItsFolderAndStopsAtALink)
{
    testSupport::TempFolder root;
    root.write("data/sub/bank.bin", "bank");
    root.write("outside/secret", "not the product's");
    fs::create_symlink(root.file("outside"), root.file("data/out"));
    fs::create_symlink("sub", root.file("data/near"));
    fs::create_symlink(root.file("nowhere"), root.file("data/gone"));

    check(ConfinedPath::below, root,
          // A list written on the other system separates with "\"; a name beginning with "~" is no home folder.
          {{"bank.bin", "bank.bin"}, {"sub/bank.bin", "sub/bank.bin"}, {"a//b", "a/b"}, {"Presets/", "Presets"},
           {"sub\\bank.bin", "sub/bank.bin"}, {"~x", "~x"}, {"sub/~root", "sub/~root"}, {"...", "..."},
           {"new/deeper/file", "new/deeper/file"}},
          {"", "../x", "..", "./x", "a/./b", "a/../../x", "/etc/x", "a\\..\\..\\x", "\\\\server\\share", "C:x",
           "C:\\x", "sub/bank.bin:stream",
           // A link on the way, the last step included, wherever it leads.
           "out/secret", "out", "near/bank.bin", "gone/x"});
}

TEST(ConfinedPath, ARecordedItemIsOneNameDirectlyInItsFolder)
{
    testSupport::TempFolder root;
    root.write("outside/secret", "not the install's");
    fs::create_directories(root.file("data"));
    fs::create_symlink(root.file("outside"), root.file("data/Linked.vst3"));

    check(ConfinedPath::item, root,
          // Ordinary characters of a name on this system; an installed link is the item itself, and
          // removing it removes the link.
          {{"Foo.vst3", "Foo.vst3"}, {"~old", "~old"}, {".hidden", ".hidden"}, {"a\\..\\b", "a\\..\\b"},
           {"C:x", "C:x"}, {"Linked.vst3", "Linked.vst3"}},
          {"", ".", "..", "a/b", "../x", "/etc", "Linked.vst3/secret"});
}
