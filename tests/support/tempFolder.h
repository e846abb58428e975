#pragma once

#include <string>

namespace testSupport
{
// A fresh folder under the system's temporary folder, removed with everything in it on
// destruction. path() ends without "/".
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }
    // path() + "/" + relative
    std::string file(const std::string& relative) const;
    // Writes a file below the folder, creating its parent folders.
    void write(const std::string& relative, const std::string& content) const;
    // The whole content of a file below the folder, or empty when it cannot be read.
    std::string read(const std::string& relative) const;
    bool exists(const std::string& relative) const;

private:
    std::string m_path;
};

// Reads a whole file by absolute path; empty when it cannot be read.
std::string readFile(const std::string& path);
// Writes a whole file by absolute path, creating its parent folders.
void writeFile(const std::string& path, const std::string& content);
}
