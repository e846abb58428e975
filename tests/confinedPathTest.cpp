#include "manager/platform/confinedPath.h"
#include "manager/platform/filePaths.h"

#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

using pluginManager::ConfinedPath;
namespace fs = std::filesystem;

// Each row: the path given, what it names below the folder ("" when refused).
using Rows = std::vector<std::pair<std::string, std::string>>;

namespace
{
void check(const Rows& rows, juce::File (*resolve)(const juce::File&, const std::string&),
           const testSupport::TempFolder& root)
{
    const juce::File folder(root.file("data"));
    for (const auto& [given, named] : rows)
    {
        const std::string expected = named.empty() ? "" : root.file("data/" + named);
        EXPECT_EQ(pluginManager::pathOf(resolve(folder, given)), expected) << '"' << given << '"';
    }
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

    check({{"bank.bin", "bank.bin"},
           {"sub/bank.bin", "sub/bank.bin"},
           {"a//b", "a/b"},
           {"Presets/", "Presets"},
           // A list written on the other system separates with "\".
           {"sub\\bank.bin", "sub/bank.bin"},
           // A name beginning with "~" is no home folder.
           {"~x", "~x"},
           {"sub/~root", "sub/~root"},
           {"...", "..."},
           {"new/deeper/file", "new/deeper/file"},
           {"", ""},
           {"../x", ""},
           {"..", ""},
           {"./x", ""},
           {"a/./b", ""},
           {"a/../../x", ""},
           {"/etc/x", ""},
           {"a\\..\\..\\x", ""},
           {"\\\\server\\share", ""},
           {"C:x", ""},
           {"C:\\x", ""},
           {"sub/bank.bin:stream", ""},
           // A link on the way, the last step included, wherever it leads.
           {"out/secret", ""},
           {"out", ""},
           {"near/bank.bin", ""},
           {"gone/x", ""}},
          ConfinedPath::below, root);
}

TEST(ConfinedPath, ARecordedItemIsOneNameDirectlyInItsFolder)
{
    testSupport::TempFolder root;
    root.write("outside/secret", "not the install's");
    fs::create_directories(root.file("data"));
    fs::create_symlink(root.file("outside"), root.file("data/Linked.vst3"));

    check({{"Foo.vst3", "Foo.vst3"},
           {"~old", "~old"},
           {".hidden", ".hidden"},
           // Ordinary characters of a name on this system.
           {"a\\..\\b", "a\\..\\b"},
           {"C:x", "C:x"},
           // An installed link is the item itself; removing it removes the link.
           {"Linked.vst3", "Linked.vst3"},
           {"", ""},
           {".", ""},
           {"..", ""},
           {"a/b", ""},
           {"../x", ""},
           {"/etc", ""},
           {"Linked.vst3/secret", ""}},
          ConfinedPath::item, root);
}
