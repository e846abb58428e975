#pragma once

#include "httpFixture.h"
#include "support/childProcess.h"
#include "support/processRunner.h"
#include "support/scopedEnv.h"

#include <juce_core/juce_core.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace installTests
{
namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using testSupport::inChild;

inline Lines namesIn(const std::string& folder)
{
    Lines names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

// TMPDIR is a folder of the test's own, so work folders and downloads left behind can be counted.
class InstallFixture : public httpTests::HttpFixture
{
protected:
    Lines leftInTemp() const { return namesIn(temp.path()); }

    void write(const std::vector<std::pair<std::string, std::string>>& files) const
    {
        for (const auto& [path, content] : files)
            root.write(path, content);
    }

    // Links stored as links, as a build server's packer would.
    std::string zipWithProgram(const std::string& folder, const Lines& items,
                               const std::string& name = "build.zip") const
    {
        Lines arguments{"-q", "-y", "-r", root.file(name)};
        arguments.insert(arguments.end(), items.begin(), items.end());
        const auto result = testSupport::runProcess("/usr/bin/zip", arguments, {{}, folder});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return root.file(name);
    }

    testSupport::TempFolder root;
    testSupport::TempFolder temp;
    testSupport::ScopedEnv tmpdir{"TMPDIR", temp.path()};
    testSupport::ScopedEnv data{"VYR_DATA_FOLDER", root.file("data")};
    std::string message;
};

inline bool isExecutable(const std::string& path)
{
    return (fs::status(path).permissions() & fs::perms::owner_exec) != fs::perms::none;
}

inline void makeLink(const std::string& target, const std::string& link)
{
    fs::create_directories(fs::path(link).parent_path());
    fs::create_symlink(target, link);
}

// Lets the unprivileged user a child drops to reach (and, with write, change) a folder made by root.
inline void openTo(const std::string& folder, bool write)
{
    fs::permissions(folder, write ? fs::perms::all : fs::perms(0755));
}

// As "nobody", so that permissions bind a run as root too.
inline std::string asNobody(const std::function<std::string()>& body)
{
    return inChild([&] { return testSupport::dropRootPrivileges() ? body() : "could not drop root"; });
}

// Every item below folder, links not followed: mode bits, and a link's target or a file's bytes.
inline std::map<std::string, std::string> describeTree(const std::string& folder)
{
    std::map<std::string, std::string> items;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
    {
        const auto status = entry.symlink_status();
        const auto mode = std::to_string(static_cast<int>(status.permissions()));
        items[fs::relative(entry.path(), folder).string()] =
            fs::is_symlink(status)     ? "link -> " + fs::read_symlink(entry.path()).string()
            : fs::is_directory(status) ? "folder " + mode
                                       : "file " + mode + " " + testSupport::readFile(entry.path().string());
    }
    return items;
}
}
