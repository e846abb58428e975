#include "support/childProcess.h"

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

bool dropRootPrivileges()
{
    if (geteuid() != 0)
        return true;
    constexpr uid_t nobody = 65534;
    if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)
        return false;
    return geteuid() != 0;
}
}
