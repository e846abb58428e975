#include "support/processRunner.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testSupport
{
namespace
{
std::vector<std::string> environmentWith(const EnvironmentChanges& changes)
{
    std::vector<std::string> result;
    for (char** entry = environ; entry && *entry; ++entry)
    {
        const std::string text = *entry;
        if (changes.count(text.substr(0, text.find('='))) == 0)
            result.push_back(text);
    }
    for (const auto& [name, value] : changes)
        if (value)
            result.push_back(name + "=" + *value);
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

// Reads both streams until the child closes them or the deadline passes; false on time-out.
bool drain(int outFd, int errFd, std::string& out, std::string& err, std::chrono::steady_clock::time_point deadline)
{
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* targets[2] = {&out, &err};
    int open = 2;
    char buffer[65536];
    while (open > 0)
    {
        using namespace std::chrono;
        const auto left = duration_cast<milliseconds>(deadline - steady_clock::now());
        const int ready = left.count() > 0 ? poll(fds, 2, static_cast<int>(left.count())) : 0;
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
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options)
{
    ProcessResult result;
    std::vector<std::string> argvTexts{program};
    argvTexts.insert(argvTexts.end(), arguments.begin(), arguments.end());
    std::vector<std::string> envTexts = environmentWith(options.environment);
    const std::vector<char*> argv = pointersTo(argvTexts), envp = pointersTo(envTexts);

    // The read and write ends of the child's standard output, then of its standard error; closed
    // on exec, so that no other child started meanwhile holds them open.
    int fds[4] = {-1, -1, -1, -1};
    const auto closeEnds = [&fds](std::initializer_list<int> which) {
        for (int i : which)
            if (fds[i] >= 0)
                ::close(std::exchange(fds[i], -1));
    };
    if (pipe2(fds, O_CLOEXEC) != 0 || pipe2(fds + 2, O_CLOEXEC) != 0)
    {
        result.error = std::string("Could not set up the child's streams: ") + std::strerror(errno);
        closeEnds({0, 1, 2, 3});
        return result;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[3], STDERR_FILENO);
    if (!options.workingFolder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, options.workingFolder.c_str());
    // Unlike a fork and exec, answers why the child could not start, a failed change of folder included.
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    closeEnds({1, 3});

    result.started = error == 0;
    if (!result.started)
        result.error = "Could not run " + program + ": " + std::strerror(error);
    else
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
        result.timedOut = !drain(fds[0], fds[2], result.out, result.err, deadline);
        if (result.timedOut)
            kill(pid, SIGKILL);
        result.exitCode = waitFor(pid);
    }
    closeEnds({0, 2});
    return result;
}

EnvironmentChanges homeEnvironment(const std::string& home)
{
    return {{"HOME", home}, {"XDG_DATA_HOME", {}}, {"XDG_CONFIG_HOME", {}}, {"VYR_DATA_FOLDER", {}}};
}
}
