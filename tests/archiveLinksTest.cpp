#include "manager/install/archiveLinks.h"

#include <gtest/gtest.h>

#include <tuple>

using pluginManager::ArchiveLinks;

namespace
{
// The name of the entry a refusal names; empty for no refusal.
std::string refused(const std::string& refusal)
{
    const size_t name = std::string("The entry ").size();
    return refusal.empty() ? "" : refusal.substr(name, refusal.find(' ', name) - name);
}
}

TEST(ArchiveLinks, ALinkStaysInTheUnpackedFolderByItsOwnTargetAndInTheItemItIsInstalledWith)
{
    // links of the archive, the root installed, the first link refused when unpacked, when installed
    const std::tuple<ArchiveLinks::Entries, std::string, std::string, std::string> cases[] = {
        {{{"Foo/secrets", "/etc"}}, "", "Foo/secrets", "Foo/secrets"},
        {{{"Foo/Contents/up", "../../.."}}, "", "Foo/Contents/up", "Foo/Contents/up"},
        // Each link alone stays inside; through the first, the second climbs out.
        {{{"Foo/here", "."}, {"Foo/sneak", "here/../.."}}, "", "Foo/sneak", "Foo/sneak"},
        {{{"Foo/self", "self"}}, "", "Foo/self", "Foo/self"},
        {{{"Foo/Contents/lib.so", "../Resources/lib.so.1"}, {"Foo/Current", "Contents"}, {"Foo/Contents/top", ".."}},
         "", "", ""},
        // A harmless twin later in the archive does not vouch for the entry before it.
        {{{"Foo/x", "/"}, {"Foo/x", "Resources"}}, "", "Foo/x", ""},
        {{{"Foo/lib/", "Resources"}}, "", "Foo/lib/", ""},
        // Inside the unpacked folder, but out of the installed bundle: the install folder's parent.
        {{{"W/Alpha.vst3/Contents/Resources/lib", "../../../.."}}, "W", "", "W/Alpha.vst3/Contents/Resources/lib"},
        {{{"Alpha.vst3/presets", "../Presets"}}, ".", "", "Alpha.vst3/presets"},
        {{{"W/Alpha.so", "Alpha.so.1"}}, "W", "", "W/Alpha.so"},
        // What lies beside the root is not installed; a root reached through a link is where it leads.
        {{{"docs/up", ".."}, {"current", "W"}, {"W/Alpha.vst3/lib", "../Beta.vst3"}}, "current", "",
         "W/Alpha.vst3/lib"},
    };
    for (const auto& [links, root, unpacking, installing] : cases)
    {
        const ArchiveLinks archive(links);
        std::string firstRefused;
        for (const auto& [name, target] : links)
            if (firstRefused.empty())
                firstRefused = refused(archive.refusalOf(name, target));
        EXPECT_EQ(firstRefused, unpacking) << links.front().first;
        EXPECT_EQ(refused(archive.refusalWithin(root)), installing) << links.front().first;
    }
}

// A refusal names its real reason: a loop of links is not a way out of the folder.
TEST(ArchiveLinks, ALinkThatLeadsRoundALoopIsRefusedAsSuch)
{
    const ArchiveLinks archive({{"Foo/a", "b"}, {"Foo/b", "../Foo/a"}});
    const std::string loop = "The entry Foo/a is a link to b, which leads round a loop of links to no file.";
    EXPECT_EQ(archive.refusalOf("Foo/a", "b"), loop);
    EXPECT_EQ(archive.refusalWithin(""), loop);
}
