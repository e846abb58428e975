// A download whose temporary file fails to close. The test replaces close for its whole process,
// which is why it has a program of its own: in the suite's, every close of every test (and of a
// sanitizer's runtime) would pass through it.
#include "manager/http/httpClient.h"

#include "httpFixture.h"

#include <atomic>
#include <cerrno>
#include <filesystem>

#include <dlfcn.h>

using namespace pluginManager;

namespace
{
// The descriptor whose next close reports a failure after closing it, as on a network file system
// that tells of a lost write only then; -1 for none.
std::atomic<int> failingClose{-1};

// The descriptor this process holds open on path, or -1.
int descriptorOf(const std::string& path)
{
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        if (std::filesystem::read_symlink(entry.path(), ignored) == path)
            return std::stoi(entry.path().filename().string());
    return -1;
}
}

extern "C" int close(int fd)
{
    static const auto closeFile = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "close"));
    int armed = fd;
    const bool fails = fd >= 0 && failingClose.compare_exchange_strong(armed, -1);
    const int result = closeFile(fd);
    if (fails)
        errno = EIO;
    return fails ? -1 : result;
}

using DownloadClose = httpTests::HttpFixture;

// A close that fails fails the download, and the old file stays.
TEST_F(DownloadClose, ADownloadWhoseCloseFailsIsNotPutInPlace)
{
    const std::string path = "/builds/Kestavel-Aurora-1.4.0-linux-x86_64.zip", dest = work.file("Aurora.zip");
    server.setText(path, std::string(1000, 'x'));
    testSupport::writeFile(dest, "old build");
    const std::string temporary = dest + ".downloading";
    const auto progress = [&](float) { failingClose = descriptorOf(temporary); };
    EXPECT_FALSE(HttpClient::downloadFile(server.url(path), dest, error, progress));
    EXPECT_EQ(error, "Failed to write " + dest);
    EXPECT_EQ(testSupport::readFile(dest), "old build");
    EXPECT_FALSE(std::filesystem::exists(temporary));
    EXPECT_EQ(failingClose, -1);
}
