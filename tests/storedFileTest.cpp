#include "manager/logins/credentials.h"
#include "manager/platform/storedFile.h"
#include "manager/state/installPaths.h"
#include "manager/state/installedPlugins.h"

#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include <sys/stat.h>

using namespace pluginManager;
using Names = std::set<std::string>;

namespace
{
Names namesIn(const std::string& folder)
{
    Names names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// The command line and the graphical edition save these files, maybe at the same moment: a
// writer must never take or remove a temporary file beside them that another writer is filling.
// The mode comes from how the new file was made, not from the old one's. The old file here is
// none its reader understands, so it is kept aside as it was. A save that fails leaves no sibling.
TEST(StoredFile, EachStoredFileIsReplacedWithoutTouchingOtherWritersFilesOrLeavingItsOwn)
{
    std::string error;
    const std::tuple<std::string, std::function<bool()>, mode_t> cases[] = {
        {"credentials.xml", [&] { return CredentialStore(false).set(Channel::Internal, "", {"t", "p"}, true, error); },
         0600},
        {"settings.xml", [&] { return InstallPaths(false).save(error); }, 0644},
        {"installed.json", [&] { return InstalledPlugins(false).save(error); }, 0644}};
    for (const mode_t mask : {0, 027})
        for (const auto& [name, save, mode] : cases)
        {
            SCOPED_TRACE(name + " " + std::to_string(mask));
            const mode_t previousMask = ::umask(mask);
            testSupport::TempFolder settings;
            PlatformUtils::setSettingsFolder(settings.path());
            settings.write(name, std::string(10000, '#'));
            ::chmod(settings.file(name).c_str(), 0666);
            settings.write(name + ".tmp", "another writer's half");
            EXPECT_TRUE(save()) << error;
            PlatformUtils::setSettingsFolder("");
            ::umask(previousMask);
            const auto permissions = std::filesystem::status(settings.file(name)).permissions();
            EXPECT_EQ(int(permissions), mode == 0600 ? mode : mode & ~mask);
            EXPECT_EQ(namesIn(settings.path()), (Names{name, name + ".damaged", name + ".tmp"}));
            EXPECT_EQ(settings.read(name).find('#'), std::string::npos) << "nothing of the longer old file stays";
            EXPECT_EQ(settings.read(name + ".damaged") + settings.read(name + ".tmp"),
                      std::string(10000, '#') + "another writer's half");
        }

    testSupport::TempFolder folder;
    folder.write("taken/inside", "x");
    EXPECT_FALSE(replaceStoredFile(folder.file("taken"), "text", FileAccess::OwnerOnly, error));
    EXPECT_FALSE(replaceStoredFile(folder.file("missing/stored"), "text", FileAccess::Shared, error));
    EXPECT_EQ(namesIn(folder.path()), Names{"taken"});
    EXPECT_EQ(folder.read("taken/inside"), "x");
}
}
