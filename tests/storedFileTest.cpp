#include "manager/logins/credentials.h"
#include "manager/platform/platformUtils.h"
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
// Sets the process's umask for the test, so that a file's mode shows how it was made.
struct ScopedUmask
{
    explicit ScopedUmask(mode_t mask) : previous(::umask(mask)) {}
    ~ScopedUmask() { ::umask(previous); }
    const mode_t previous;
};

mode_t permissionsOf(const std::string& path)
{
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 07777;
}

Names namesIn(const std::string& folder)
{
    Names names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

TEST(StoredFile, ModeAsAskedWhateverTheOldFileHad)
{
    testSupport::TempFolder folder;
    const auto path = folder.file("stored");
    const std::tuple<FileAccess, mode_t, mode_t> cases[] = {
        {FileAccess::OwnerOnly, 0, 0600}, {FileAccess::Shared, 0, 0644}, {FileAccess::Shared, 027, 0640}};
    for (const auto& [access, mask, mode] : cases)
    {
        const ScopedUmask umask(mask);
        folder.write("stored", "old and longer than the new text");
        ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
        ASSERT_TRUE(replaceStoredFile(path, "new", access));
        EXPECT_EQ(permissionsOf(path), mode) << mask;
        EXPECT_EQ(folder.read("stored"), "new");
    }
}

// Nothing is left beside a file that could not be replaced.
TEST(StoredFile, FailureLeavesNoSibling)
{
    testSupport::TempFolder folder;
    folder.write("taken/inside", "x");
    EXPECT_FALSE(replaceStoredFile(folder.file("taken"), "text", FileAccess::OwnerOnly));
    EXPECT_FALSE(replaceStoredFile(folder.file("missing/stored"), "text", FileAccess::Shared));
    EXPECT_EQ(namesIn(folder.path()), Names{"taken"});
    EXPECT_EQ(folder.read("taken/inside"), "x");
}

// The command line and the graphical edition save these files, maybe at the same moment: a
// writer must never take or remove a temporary file beside them that another writer is filling.
TEST(StoredFile, EachStoredFileIsReplacedWithoutTouchingOtherWritersFiles)
{
    const ScopedUmask umask(0);
    const std::tuple<std::string, std::function<void()>, mode_t> cases[] = {
        {"credentials.xml", [] { CredentialStore(false).set(Channel::Internal, "", {"team", "pw"}, true); }, 0600},
        {"settings.xml", [] { InstallPaths(false).save(); }, 0644},
        {"installed.json", [] { InstalledPlugins(false).save(); }, 0644},
    };
    for (const auto& [name, save, mode] : cases)
    {
        SCOPED_TRACE(name);
        testSupport::TempFolder settings;
        PlatformUtils::setSettingsFolder(settings.path());
        settings.write(name + ".tmp", "another writer's half");
        save();
        PlatformUtils::setSettingsFolder("");
        EXPECT_EQ(namesIn(settings.path()), (Names{name, name + ".tmp"}));
        EXPECT_EQ(settings.read(name + ".tmp"), "another writer's half");
        EXPECT_EQ(permissionsOf(settings.file(name)), mode);
    }
}
}
