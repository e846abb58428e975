#include "support/processRunner.h"

#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testSupport
{
namespace
{
class Fd
{
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return m_fd; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

struct Pipe
{
    Fd read;
    Fd write;

    bool open()
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return false;
        read.reset(fds[0]);
        write.reset(fds[1]);
        return true;
    }
};

std::string findInPath(const std::string& program)
{
    if (program.find('/') != std::string::npos)
        return program;
    const char* path = getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size())
    {
        size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        const std::string folder = end > start ? folders.substr(start, end - start) : ".";
        const std::string candidate = folder + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return program;
}

std::vector<std::string> environmentWith(const EnvironmentChanges& changes)
{
    std::vector<std::string> result;
    for (char** entry = environ; entry && *entry; ++entry)
    {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (changes.count(name) == 0)
            result.push_back(text);
    }
    for (const auto& [name, value] : changes)
    {
        if (value)
            result.push_back(name + "=" + *value);
    }
    return result;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Only async-signal-safe calls from here on: the test process may have other threads.
[[noreturn]] void runChild(int input, int out, int err, int execError, const char* folder, const char* path,
                           char* const* argv, char* const* envp)
{
    if (dup2(input, STDIN_FILENO) >= 0 && dup2(out, STDOUT_FILENO) >= 0 && dup2(err, STDERR_FILENO) >= 0
        && (!folder || chdir(folder) == 0))
        execve(path, argv, envp);
    const int code = errno;
    [[maybe_unused]] const ssize_t written = ::write(execError, &code, sizeof code);
    _exit(127);
}

// Reads both streams until the child closes them or the deadline passes; false on time-out.
bool drain(int outFd, int errFd, std::string& out, std::string& err, std::chrono::steady_clock::time_point deadline)
{
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* targets[2] = {&out, &err};
    int open = 2;
    char buffer[65536];
    while (open > 0)
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        const int ready = poll(fds, 2, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        for (int i = 0; i < 2; ++i)
        {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0)
                targets[i]->append(buffer, static_cast<size_t>(n));
            else if (n == 0 || errno != EINTR)
            {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    return true;
}

int waitFor(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
    {
        if (errno != EINTR)
            return -1;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options)
{
    ProcessResult result;

    // Everything the child needs is prepared before the fork.
    std::string path = findInPath(program);
    std::vector<std::string> argvTexts{program};
    argvTexts.insert(argvTexts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv = pointersTo(argvTexts);
    std::vector<std::string> envTexts = environmentWith(options.environment);
    std::vector<char*> envp = pointersTo(envTexts);
    const char* folder = options.workingFolder.empty() ? nullptr : options.workingFolder.c_str();

    Fd input(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    Pipe out, err, execError;
    if (input.get() < 0 || !out.open() || !err.open() || !execError.open())
    {
        result.error = std::string("Could not set up the child's streams: ") + std::strerror(errno);
        return result;
    }

    const pid_t pid = fork();
    if (pid < 0)
    {
        result.error = std::string("fork failed: ") + std::strerror(errno);
        return result;
    }
    if (pid == 0)
        runChild(input.get(), out.write.get(), err.write.get(), execError.write.get(), folder, path.c_str(),
                 argv.data(), envp.data());

    out.write.reset();
    err.write.reset();
    execError.write.reset();
    input.reset();

    int code = 0;
    ssize_t n;
    do
        n = ::read(execError.read.get(), &code, sizeof code);
    while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(sizeof code))
    {
        waitFor(pid);
        result.error = "Could not run " + path + ": " + std::strerror(code);
        return result;
    }

    result.started = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    if (!drain(out.read.get(), err.read.get(), result.out, result.err, deadline))
    {
        result.timedOut = true;
        kill(pid, SIGKILL);
    }
    result.exitCode = waitFor(pid);
    return result;
}

EnvironmentChanges homeEnvironment(const std::string& home)
{
    return {
        {"HOME", home},
        {"XDG_DATA_HOME", std::nullopt},
        {"XDG_CONFIG_HOME", std::nullopt},
        {"VYR_DATA_FOLDER", std::nullopt},
    };
}
}
