#pragma once

#include "manager/platform/log.h"
#include "manager/platform/platformUtils.h"

#include "support/processRunner.h"
#include "support/scopedEnv.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>
#include <juce_core/juce_core.h>

#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace installTests
{
namespace fs = std::filesystem;

// A temporary folder of the test's own (TMPDIR, so work folders and downloads land there and can
// be counted), a data folder for the rom folders, and a log in a settings folder of its own.
class InstallFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        pluginManager::PlatformUtils::setSettingsFolder(root.file("settings"));
        pluginManager::Log::start();
    }

    void TearDown() override
    {
        pluginManager::Log::stop();
        pluginManager::PlatformUtils::setSettingsFolder("");
    }

    static std::vector<std::string> logMessages()
    {
        const auto text = testSupport::readFile(pluginManager::PlatformUtils::getSettingsPath("log.txt"));
        const std::regex stamped(R"(\d{4}-\d\d-\d\dT\S+  ([^\r\n]*))");
        std::vector<std::string> messages;
        for (std::sregex_iterator line(text.begin(), text.end(), stamped), end; line != end; ++line)
            messages.push_back((*line)[1]);
        return messages;
    }

    // Names directly in the temporary folder, other than the folders the test made itself.
    std::vector<std::string> leftInTemp() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(temp.path()))
        {
            const auto name = entry.path().filename().string();
            if (name.rfind("vyrpm-test-", 0) != 0)
                names.push_back(name);
        }
        return names;
    }

    std::string romFolder(const std::string& product) const { return pluginManager::PlatformUtils::romFolder(product); }

    // Zips the named items of folder with the zip program, links stored as links, as a build
    // server's packer would. Answers the archive's path.
    std::string zipWithProgram(const std::string& folder, const std::vector<std::string>& items,
                               const std::string& name = "build.zip") const
    {
        const auto archive = root.file(name);
        std::vector<std::string> arguments{"-q", "-y", "-r", archive};
        arguments.insert(arguments.end(), items.begin(), items.end());
        testSupport::ProcessOptions options;
        options.workingFolder = folder;
        const auto result = testSupport::runProcess("/usr/bin/zip", arguments, options);
        EXPECT_EQ(result.exitCode, 0) << result.err << result.error;
        return archive;
    }

    testSupport::TempFolder root;
    testSupport::TempFolder temp;
    testSupport::ScopedEnv tmpdir{"TMPDIR", temp.path()};
    testSupport::ScopedEnv data{"VYR_DATA_FOLDER", root.file("data")};
};

inline bool isExecutable(const std::string& path)
{
    struct stat info = {};
    return stat(path.c_str(), &info) == 0 && (info.st_mode & S_IXUSR) != 0;
}

inline void makeLink(const std::string& target, const std::string& link)
{
    fs::create_directories(fs::path(link).parent_path());
    fs::create_symlink(target, link);
}

// Lets the unprivileged user a child drops to reach (and, with write, change) a folder made by root.
inline void openTo(const std::string& folder, bool write)
{
    fs::permissions(folder, write ? fs::perms::all : fs::perms::owner_all | fs::perms::group_read |
                                                         fs::perms::group_exec | fs::perms::others_read |
                                                         fs::perms::others_exec);
}

// Every item below folder, links not followed: relative path, kind, mode bits and link target.
inline std::map<std::string, std::string> describeTree(const std::string& folder)
{
    std::map<std::string, std::string> items;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
    {
        const auto relative = fs::relative(entry.path(), folder).string();
        const auto status = entry.symlink_status();
        std::string text;
        if (fs::is_symlink(status))
            text = "link -> " + fs::read_symlink(entry.path()).string();
        else
            text = (fs::is_directory(status) ? "folder " : "file ") + std::to_string(static_cast<int>(status.permissions()));
        items[relative] = text;
    }
    return items;
}
}
