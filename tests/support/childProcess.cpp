#include "support/childProcess.h"

#include <csignal>
#include <cstdio>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testSupport
{
int runInChild(const std::function<int()>& body)
{
    fflush(nullptr);
    const pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0)
    {
        const int code = body();
        fflush(nullptr);
        // Skips the parent's exit handlers and static destructors, which are not the child's.
        _exit(code);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

std::string inChild(const std::function<std::string()>& body)
{
    int ends[2];
    if (pipe(ends) != 0)
        return "no pipe";
    runInChild([&] {
        const std::string answer = body();
        return write(ends[1], answer.data(), answer.size()) == static_cast<ssize_t>(answer.size()) ? 0 : 1;
    });
    close(ends[1]);
    std::string answer;
    char buffer[4096];
    for (ssize_t got; (got = read(ends[0], buffer, sizeof buffer)) > 0;)
        answer.append(buffer, static_cast<size_t>(got));
    close(ends[0]);
    return answer;
}

bool dropRootPrivileges()
{
    if (geteuid() != 0)
        return true;
    constexpr uid_t nobody = 65534;
    if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)
        return false;
    return geteuid() != 0;
}

bool limitFileSize(rlim_t bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, bytes};
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}
}
