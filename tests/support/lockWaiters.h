#pragma once

#include <fstream>
#include <string>

#include <sys/stat.h>

namespace testSupport
{
// Whether a process waits for an advisory lock on the file or folder at path: the system lists
// such a process in /proc/locks after "->", with the inode of what it waits for.
inline bool someoneWaitsToLock(const std::string& path)
{
    struct stat file = {};
    std::ifstream locks("/proc/locks");
    for (std::string line; ::stat(path.c_str(), &file) == 0 && std::getline(locks, line);)
        if (line.find("->") != std::string::npos && line.find(":" + std::to_string(file.st_ino) + " ") < line.size())
            return true;
    return false;
}

inline bool locksCanBeSeen()
{
    return std::ifstream("/proc/locks").good();
}
}
