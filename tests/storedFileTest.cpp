#include "manager/logins/credentials.h"
#include "manager/platform/storedFile.h"
#include "manager/platform/xml.h"
#include "manager/state/installPaths.h"
#include "manager/state/installedPlugins.h"

#include "support/childProcess.h"
#include "support/processRunner.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <set>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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
    // Larger than a reader takes: the next run would keep it aside as unreadable.
    EXPECT_FALSE(saveStoredFile(folder.file("large"), "<r>" + std::string(largestStoredFile, ' ') + "</r>",
                                FileAccess::Shared, checkXml, error));
    EXPECT_EQ(error, "Could not save " + folder.file("large") + ": it would not be read back (larger than 1 MiB)");
    EXPECT_EQ(namesIn(folder.path()), Names{"taken"});
    EXPECT_EQ(folder.read("taken/inside"), "x");
}

// A save killed before its rename (here by the signal of a write past the file size limit) leaves
// nothing that a later save does not remove; a sibling that a save under way elsewhere holds (its
// lock on the folder) stays until that save is over.
TEST(StoredFile, NothingOfAKilledSaveOutlivesTheNextSaveWhileALiveWritersSiblingStays)
{
    const testSupport::TempFolder folder;
    const std::string stored = folder.file("credentials.xml");
    folder.write("credentials.xml", "old");
    std::string error;
    EXPECT_EQ(testSupport::runInChild([&] {
                  std::signal(SIGXFSZ, SIG_DFL);
                  const rlimit limit{1, 1};
                  ::setrlimit(RLIMIT_FSIZE, &limit);
                  return replaceStoredFile(stored, "new", FileAccess::OwnerOnly, error) ? 0 : 1;
              }),
              -1);
    EXPECT_EQ(folder.read("credentials.xml"), "old");

    const int held = ::open(folder.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_SH), 0);
    folder.write(".credentials.xml.Live01", "another save's");
    EXPECT_TRUE(replaceStoredFile(stored, "new", FileAccess::OwnerOnly, error)) << error;
    EXPECT_EQ(folder.read(".credentials.xml.Live01"), "another save's");
    ::close(held);
    EXPECT_TRUE(replaceStoredFile(stored, "new", FileAccess::OwnerOnly, error)) << error;
    EXPECT_EQ(namesIn(folder.path()), Names{"credentials.xml"});
}

// The close is part of the save: where it fails (as a network file system may report a failed
// write only there), so does the save, and the old file stays as it was with nothing beside it.
TEST(StoredFile, ASaveWhoseCloseFailsFailsAndLeavesTheOldFile)
{
    const testSupport::TempFolder home;
    const std::string settings = home.file("settings");
    home.write("settings/settings.xml", "<pluginManager/>");
    testSupport::ProcessOptions options{testSupport::homeEnvironment(home.path()), home.path()};
    options.environment["VYRPM_CLOSE_FAILS"] = "1";
    const auto run =
        testSupport::runProcess(VYRPM_TEST_BINARY, {"paths", "VST3", "/x", "--settings", settings}, options);
    EXPECT_EQ(run.outcome(),
              testSupport::Outcome(1, "", "Could not save " + settings + "/settings.xml: Input/output error\n"));
    EXPECT_EQ(home.read("settings/settings.xml"), "<pluginManager/>");
    EXPECT_EQ(namesIn(settings), (Names{"run.lock", "settings.xml"}));
}
}
