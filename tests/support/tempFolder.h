#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include <stdlib.h>

namespace testSupport
{
// Of a file by absolute path: its bytes, empty when it cannot be read; a write creates the parent folders.
inline std::string readFile(const std::string& path)
{
    std::ostringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

inline void writeFile(const std::string& path, const std::string& content)
{
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

// A fresh folder below the system's temporary folder, removed with all it holds on destruction.
class TempFolder
{
public:
    TempFolder() : m_path((std::filesystem::temp_directory_path() / "vyrpm-test-XXXXXX").string())
    {
        if (!mkdtemp(m_path.data()))
            throw std::runtime_error("mkdtemp failed");
    }

    ~TempFolder()
    {
        namespace fs = std::filesystem;
        std::error_code ec;
        // Tests may leave read-only folders behind; make them writable so the removal succeeds.
        for (auto it = fs::recursive_directory_iterator(m_path, fs::directory_options::skip_permission_denied, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            if (it->is_directory(ec) && !it->is_symlink(ec))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_path, ec);
    }

    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; } // without a trailing "/"
    std::string file(const std::string& relative) const { return m_path + "/" + relative; }
    void write(const std::string& relative, const std::string& content) const { writeFile(file(relative), content); }
    std::string read(const std::string& relative) const { return readFile(file(relative)); }
    bool exists(const std::string& relative) const
    {
        std::error_code ec;
        return std::filesystem::exists(std::filesystem::symlink_status(file(relative), ec));
    }

private:
    std::string m_path;
};
}
