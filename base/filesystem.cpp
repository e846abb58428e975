#include "base/filesystem.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace baseLib::filesystem
{
namespace
{
bool isSeparator(char c) { return c == '/' || c == '\\'; }

// Unset and empty are the same to every caller.
const char* nonEmptyEnv(const char* name)
{
    const char* value = getenv(name);
    return value && *value ? value : nullptr;
}

std::string joinEntry(const std::string& folder, const char* name)
{
    if (!folder.empty() && isSeparator(folder.back()))
        return folder + name;
    return folder + "/" + name;
}

bool statPath(const std::string& path, struct stat& info) { return ::stat(path.c_str(), &info) == 0; }

// A file's size is only known once it is opened; a folder also opens for reading but has none.
bool openedSize(FILE* file, long& size)
{
    struct stat info;
    if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode))
        return false;
    if (fseek(file, 0, SEEK_END) != 0)
        return false;
    size = ftell(file);
    if (size < 0)
        return false;
    return fseek(file, 0, SEEK_SET) == 0;
}

bool sizeWithinLimits(uint64_t size, unsigned long minSize, unsigned long maxSize)
{
    return size >= minSize && (maxSize == 0 || size <= maxSize);
}
}

std::string validatePath(std::string path)
{
    std::replace(path.begin(), path.end(), '\\', '/');
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path;
}

std::string getHomeDirectory()
{
    if (const char* home = nonEmptyEnv("HOME"))
        return home;
    if (const passwd* entry = getpwuid(getuid()))
        return entry->pw_dir ? entry->pw_dir : "";
    return "/tmp";
}

std::string getSpecialFolderPath(SpecialFolderType type)
{
    const std::string home = validatePath(getHomeDirectory());
    switch (type)
    {
    case SpecialFolderType::UserData:
        if (const char* data = nonEmptyEnv("XDG_DATA_HOME"))
            return validatePath(data);
        return home + ".local/share/";
    case SpecialFolderType::UserConfig:
        if (const char* config = nonEmptyEnv("XDG_CONFIG_HOME"))
            return validatePath(config);
        return home + ".config/";
    }
    return {};
}

std::string getCurrentDirectory()
{
    char buffer[1024];
    if (!getcwd(buffer, sizeof(buffer)))
        return {};
    return validatePath(buffer);
}

std::string lowercase(const std::string& text)
{
    std::string result = text;
    for (char& c : result)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return result;
}

std::string getExtension(const std::string& path)
{
    const auto dot = path.rfind('.');
    return dot == std::string::npos ? std::string() : path.substr(dot);
}

std::string stripExtension(const std::string& path)
{
    const auto dot = path.rfind('.');
    return dot == std::string::npos ? path : path.substr(0, dot);
}

std::string getFilenameWithoutPath(const std::string& path)
{
    const auto separator = path.find_last_of("/\\");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string getPath(const std::string& path)
{
    const auto separator = path.find_last_of("/\\");
    return separator == std::string::npos ? path : path.substr(0, separator);
}

bool hasExtension(const std::string& path, const std::string& extension)
{
    if (extension.empty())
        return true;
    return lowercase(getExtension(path)) == lowercase(extension);
}

bool createDirectory(const std::string& path)
{
    if (path.empty())
        return false;
    // Parents first; most of them exist already, so their failures say nothing.
    for (size_t i = 0; i < path.size(); ++i)
    {
        if (isSeparator(path[i]))
            mkdir(path.substr(0, i).c_str(), 0775);
    }
    return mkdir(path.c_str(), 0775) == 0;
}

uint64_t getFileSize(const std::string& path)
{
    struct stat info;
    if (!statPath(path, info) || S_ISDIR(info.st_mode))
        return 0;
    return static_cast<uint64_t>(info.st_size);
}

int64_t getFileModificationTime(const std::string& path)
{
    struct stat info;
    if (!statPath(path, info))
        return 0;
    return static_cast<int64_t>(info.st_mtime);
}

bool isDirectory(const std::string& path)
{
    struct stat info;
    return statPath(path, info) && S_ISDIR(info.st_mode);
}

bool exists(const std::string& path)
{
    FILE* file = fopen(path.c_str(), "r");
    if (!file)
        return false;
    fclose(file);
    return true;
}

bool remove(const std::string& path) { return ::remove(path.c_str()) == 0; }

FILE* openFile(const std::string& path, const char* mode) { return fopen(path.c_str(), mode); }

bool writeFile(const std::string& path, const unsigned char* data, unsigned long size)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = size == 0 || fwrite(data, 1, size, file) == size;
    // The bytes may still sit in the stream's buffer; a full disk only shows when it is flushed.
    const bool closed = fclose(file) == 0;
    return written && closed;
}

bool readFile(std::vector<unsigned char>& data, const std::string& path)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    long size = 0;
    if (!openedSize(file, size))
    {
        fclose(file);
        return false;
    }
    std::vector<unsigned char> content(static_cast<size_t>(size));
    const bool complete = size == 0 || fread(content.data(), 1, content.size(), file) == content.size();
    fclose(file);
    if (!complete)
        return false;
    data.swap(content);
    return true;
}

bool readFileRegion(std::vector<unsigned char>& data, const std::string& path, unsigned long offset,
                    unsigned long size)
{
    data.clear();
    if (offset > static_cast<unsigned long>(LONG_MAX))
        return false;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    if (fseek(file, static_cast<long>(offset), SEEK_SET) != 0)
    {
        fclose(file);
        return false;
    }
    // Grown piece by piece, so that a region far larger than the file fails as a short read
    // instead of asking for all that memory up front.
    constexpr unsigned long pieceSize = 1UL << 20;
    unsigned long remaining = size;
    bool complete = true;
    while (remaining > 0)
    {
        const unsigned long piece = std::min(remaining, pieceSize);
        const size_t start = data.size();
        data.resize(start + piece);
        if (fread(data.data() + start, 1, piece, file) != piece)
        {
            complete = false;
            break;
        }
        remaining -= piece;
    }
    fclose(file);
    if (!complete)
        data.clear();
    return complete;
}

bool getDirectoryEntries(std::vector<std::string>& entries, const std::string& folder)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
    {
        const int error = errno;
        fprintf(stderr, "Failed to open directory %s, error %d\n", folder.c_str(), error);
        return false;
    }
    while (const dirent* entry = readdir(dir))
    {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        entries.push_back(joinEntry(folder, entry->d_name));
    }
    closedir(dir);
    return !entries.empty();
}

bool findFiles(std::vector<std::string>& results, const std::string& folder, const std::string& extension,
               unsigned long minSize, unsigned long maxSize)
{
    std::vector<std::string> listed;
    getDirectoryEntries(listed, folder);
    const bool sizeMatters = minSize != 0 || maxSize != 0;
    for (const std::string& path : listed)
    {
        if (!hasExtension(path, extension))
            continue;
        if (sizeMatters)
        {
            struct stat info;
            if (statPath(path, info))
            {
                if (S_ISDIR(info.st_mode) || !sizeWithinLimits(static_cast<uint64_t>(info.st_size), minSize, maxSize))
                    continue;
            }
            else if (minSize != 0)
            {
                continue;
            }
        }
        results.push_back(path);
    }
    return !results.empty();
}

std::string findFile(const std::string& folder, const std::string& extension, unsigned long minSize,
                     unsigned long maxSize)
{
    std::vector<std::string> results;
    if (!findFiles(results, folder, extension, minSize, maxSize))
        return {};
    return results.front();
}

bool findFilesRecursive(std::vector<FoundFile>& results, const std::string& folder, const std::string& extension,
                        unsigned long minSize, unsigned long maxSize, unsigned int maxDepth,
                        unsigned long maxEntries)
{
    std::vector<std::string> level{folder};
    unsigned int depth = 0;
    unsigned long examined = 0;
    while (!level.empty() && depth <= maxDepth)
    {
        std::vector<std::string> nextLevel;
        for (const std::string& current : level)
        {
            std::vector<std::string> listed;
            getDirectoryEntries(listed, current);
            for (const std::string& path : listed)
            {
                // Links to folders are followed, so only these limits end a loop of links.
                if (++examined > maxEntries)
                    return !results.empty();
                struct stat info;
                if (!statPath(path, info))
                    continue;
                if (S_ISDIR(info.st_mode))
                {
                    nextLevel.push_back(path);
                    continue;
                }
                const auto size = static_cast<uint64_t>(info.st_size);
                if (hasExtension(path, extension) && sizeWithinLimits(size, minSize, maxSize))
                    results.push_back({path, size});
            }
        }
        level.swap(nextLevel);
        ++depth;
    }
    return !results.empty();
}
}
