#pragma once

#include <string>

namespace testSupport
{
// Of a file by absolute path: its bytes, empty when it cannot be read; a write creates the parent folders.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

// A fresh folder below the system's temporary folder, removed with all it holds on destruction.
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; } // without a trailing "/"
    std::string file(const std::string& relative) const { return m_path + "/" + relative; }
    void write(const std::string& relative, const std::string& content) const { writeFile(file(relative), content); }
    std::string read(const std::string& relative) const { return readFile(file(relative)); }
    bool exists(const std::string& relative) const;

private:
    std::string m_path;
};
}
