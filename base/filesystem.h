#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Path and file helpers written against the system library alone, so that any front end can use
// them without the framework.
namespace baseLib::filesystem
{
// The per-user base folder asked of getSpecialFolderPath.
enum class SpecialFolderType : uint8_t
{
    UserData = 0,
    UserConfig = 1
};

// A file found by findFilesRecursive.
struct FoundFile
{
    std::string path;
    uint64_t size = 0;
};

// --- Paths: text operations, no disk access ---

// Backslashes become "/", and a non-empty path gets a trailing "/" when it lacks one.
std::string validatePath(std::string path);
// HOME when set and not empty, else the password database's home folder, else "/tmp".
std::string getHomeDirectory();
// The user's data or configuration folder, ending in "/"; empty for an unknown type.
std::string getSpecialFolderPath(SpecialFolderType type);
// The working directory ending in "/"; empty when it cannot be read.
std::string getCurrentDirectory();
std::string lowercase(const std::string& text);
// From the last "." of the whole text (dot included); empty when there is none.
std::string getExtension(const std::string& path);
std::string stripExtension(const std::string& path);
std::string getFilenameWithoutPath(const std::string& path);
std::string getPath(const std::string& path);
// The extension is given with its dot and compared without regard to case; empty matches all.
bool hasExtension(const std::string& path, const std::string& extension);

// --- Files: paths go to the system calls unchanged ---

// Creates the parents too; true only when the last folder was created by this call.
bool createDirectory(const std::string& path);
uint64_t getFileSize(const std::string& path);
// Seconds since 1970-01-01 UTC; 0 when the path cannot be read.
int64_t getFileModificationTime(const std::string& path);
bool isDirectory(const std::string& path);
// The path can be opened for reading (folders included).
bool exists(const std::string& path);
bool remove(const std::string& path);
// The caller owns the returned stream; null on failure.
FILE* openFile(const std::string& path, const char* mode);
bool writeFile(const std::string& path, const unsigned char* data, unsigned long size);
// Leaves data unchanged on failure.
bool readFile(std::vector<unsigned char>& data, const std::string& path);
// Empties data first; false (and empty data) when the region runs past the end of the file.
bool readFileRegion(std::vector<unsigned char>& data, const std::string& path, unsigned long offset,
                    unsigned long size);
// Appends the full paths of the folder's entries; true when entries is not empty afterwards.
bool getDirectoryEntries(std::vector<std::string>& entries, const std::string& folder);
// One folder deep. A size limit of 0 means none; appends to results.
bool findFiles(std::vector<std::string>& results, const std::string& folder, const std::string& extension,
               unsigned long minSize, unsigned long maxSize);
std::string findFile(const std::string& folder, const std::string& extension, unsigned long minSize,
                     unsigned long maxSize);
// Breadth-first through the tree, stopping past maxDepth levels below folder or maxEntries
// listed entries; appends to results.
bool findFilesRecursive(std::vector<FoundFile>& results, const std::string& folder, const std::string& extension,
                        unsigned long minSize, unsigned long maxSize, unsigned int maxDepth,
                        unsigned long maxEntries);
}
