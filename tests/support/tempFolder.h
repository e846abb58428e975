#pragma once

#include <string>

namespace testSupport
{
// A fresh folder below the system's temporary folder, removed with all it holds on destruction.
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; } // without a trailing "/"
    std::string file(const std::string& relative) const;
    // Creates the parent folders.
    void write(const std::string& relative, const std::string& content) const;
    // Empty when the file cannot be read.
    std::string read(const std::string& relative) const;
    bool exists(const std::string& relative) const;

private:
    std::string m_path;
};

// The same by absolute path.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
}
