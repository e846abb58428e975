#include "support/processRunner.h"

#include "support/tempFolder.h"

#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
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
        if (changes.count(std::string(*entry).substr(0, std::string(*entry).find('='))) == 0)
            result.push_back(*entry);
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

// Opened again by name, the file is read from its start.
std::string contentOf(int fd)
{
    const std::string text = readFile("/proc/self/fd/" + std::to_string(fd));
    ::close(fd);
    return text;
}

// The exit code; a child still running after a minute of 2 ms naps is killed.
int waitFor(pid_t pid)
{
    int status = 0;
    pid_t done = 0;
    for (int naps = 0; (done = waitpid(pid, &status, WNOHANG)) == 0; ++naps, ::usleep(2000))
        if (naps == 30000)
            kill(pid, SIGKILL);
    if (done != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options)
{
    std::vector<std::string> argvTexts{program}, envTexts = environmentWith(options.environment);
    argvTexts.insert(argvTexts.end(), arguments.begin(), arguments.end());
    const std::vector<char*> argv = pointersTo(argvTexts), envp = pointersTo(envTexts);

    // Files in memory rather than pipes: nothing to drain while the child runs, and no other
    // child started meanwhile inherits them.
    const int out = memfd_create("out", MFD_CLOEXEC), err = memfd_create("err", MFD_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
    if (!options.workingFolder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, options.workingFolder.c_str());
    // Unlike a fork and exec, tells why the child could not start, a failed change of folder included.
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);

    // A braced list is evaluated in order: the child has ended before its output is read.
    const std::string why = error == 0 ? "" : "Could not run " + program + ": " + std::strerror(error);
    return {error == 0 ? waitFor(pid) : -1, contentOf(out), contentOf(err) + why};
}

EnvironmentChanges homeEnvironment(const std::string& home)
{
    return {{"HOME", home}, {"XDG_DATA_HOME", {}}, {"XDG_CONFIG_HOME", {}}, {"VYR_DATA_FOLDER", {}}};
}
}
