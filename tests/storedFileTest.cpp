#include "manager/logins/credentials.h"
#include "manager/platform/storedFile.h"
#include "manager/state/installPaths.h"
#include "manager/state/installedPlugins.h"

#include "support/childProcess.h"
#include "support/processRunner.h"
#include "support/programRun.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
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
    EXPECT_FALSE(saveStoredFile(folder.file("large"), std::string(largestStoredFile + 1, ' '), FileAccess::Shared,
                                [](const std::string&) { return true; }, error));
    EXPECT_EQ(namesIn(folder.path()), Names{"taken"});
    EXPECT_EQ(folder.read("taken/inside"), "x");
}

// A save killed before its rename (here by the signal of a write past the file size limit) leaves
// nothing that the next save does not remove; a sibling that a save under way elsewhere holds (its
// lock on the folder) stays until that save is over.
TEST(StoredFile, NothingOfAKilledSaveOutlivesTheNextSaveWhileALiveWritersSiblingStays)
{
    testSupport::TempFolder settings;
    PlatformUtils::setSettingsFolder(settings.path());
    std::string error;
    CredentialStore store(false);
    ASSERT_TRUE(store.set(Channel::Internal, "", {"team", "pw"}, true, error)) << error;
    const std::string saved = settings.read("credentials.xml");
    for (int i = 0; i < 100; ++i)
        store.entries["donators:p" + std::to_string(i)] = {"user", "password"};
    EXPECT_EQ(testSupport::runInChild([&] {
                  std::signal(SIGXFSZ, SIG_DFL);
                  const rlimit limit{4096, 4096};
                  return ::setrlimit(RLIMIT_FSIZE, &limit) == 0 && store.save(error) ? 0 : 1;
              }),
              -1);
    EXPECT_EQ(settings.read("credentials.xml"), saved);

    const Names alone{"credentials.xml"}, withLive{"credentials.xml", ".credentials.xml.Live01"};
    const int folder = ::open(settings.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (const bool held : {false, true, false})
    {
        if (held)
        {
            ASSERT_EQ(::flock(folder, LOCK_SH), 0);
            settings.write(".credentials.xml.Live01", "another save's");
        }
        EXPECT_TRUE(store.save(error)) << error;
        ::flock(folder, LOCK_UN);
        EXPECT_EQ(namesIn(settings.path()), held ? withLive : alone);
    }
    ::close(folder);
    PlatformUtils::setSettingsFolder("");
}

// The close is part of the save: where it fails (as a network file system may report a failed
// write only there), so does the save, and the old file stays as it was with nothing beside it.
TEST(StoredFile, ASaveWhoseCloseFailsFailsAndLeavesTheOldFile)
{
    const testSupport::ProgramRun run;
    run.store({}, true);
    const std::string before = run.settingsText("settings.xml");
    testSupport::ProcessOptions options{testSupport::homeEnvironment(run.home()), run.home()};
    const char* asan = std::getenv("ASAN_OPTIONS");
    options.environment.insert({{"LD_PRELOAD", VYRPM_CLOSE_FAILS},
                                {"VYRPM_CLOSE_FAILS_BELOW", run.settingsFolder() + "/"},
                                {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"}});
    const auto result = testSupport::runProcess(
        VYRPM_TEST_BINARY, {"paths", "VST3", "/x", "--settings", run.settingsFolder()}, options);
    EXPECT_EQ(result.outcome(), testSupport::Outcome(1, "", "Could not save " + run.settingsFile("settings.xml") +
                                                                ": Input/output error\n"));
    EXPECT_EQ(run.settingsText("settings.xml"), before);
    EXPECT_EQ(namesIn(run.settingsFolder()), (Names{"credentials.xml", "run.lock", "settings.xml"}));
}
}
