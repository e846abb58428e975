// Runs one program and reports what it cost, for the benchmark script (a fresh machine has no
// GNU time, and its figures stop at hundredths of a second):
//
//   vyrpmMeasure <report file> <program> [<argument>]...
//
// The program inherits the environment and the standard streams. One line is appended to the
// report file: wall milliseconds, CPU milliseconds (user + system), peak resident memory in KiB
// and the exit status (128 + the signal number when a signal ended it), separated by blanks. The
// figures cover the program and every process it waited for. Our own exit status is the program's.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace
{
double milliseconds(const timeval& time)
{
    return static_cast<double>(time.tv_sec) * 1000.0 + static_cast<double>(time.tv_usec) / 1000.0;
}
}

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        std::fputs("usage: vyrpmMeasure <report file> <program> [<argument>]...\n", stderr);
        return 2;
    }
    const auto started = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int spawnError = posix_spawnp(&child, argv[2], nullptr, nullptr, argv + 2, environ);
    if (spawnError != 0)
    {
        std::fprintf(stderr, "vyrpmMeasure: cannot start %s: %s\n", argv[2], std::strerror(spawnError));
        return 127;
    }
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0)
        if (errno != EINTR)
        {
            std::perror("vyrpmMeasure: wait4");
            return 127;
        }
    const std::chrono::duration<double, std::milli> wall = std::chrono::steady_clock::now() - started;
    const int exitStatus = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);

    std::FILE* report = std::fopen(argv[1], "a");
    if (report == nullptr)
    {
        std::fprintf(stderr, "vyrpmMeasure: cannot write %s\n", argv[1]);
        return 127;
    }
    std::fprintf(report, "%.3f %.3f %ld %d\n", wall.count(), milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime),
                 usage.ru_maxrss, exitStatus);
    std::fclose(report);
    return exitStatus;
}
