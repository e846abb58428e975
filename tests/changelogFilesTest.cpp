#include "changelog/changelog.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

using changelogLib::Changelog;
using Format = Changelog::Format;
namespace fs = std::filesystem;

namespace
{
const std::string fixtures = std::string(VYRPM_FIXTURES_DIR) + "/changelog/";

std::map<std::string, std::string> filesIn(const std::string& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder))
        files[entry.path().filename().string()] = testSupport::readFile(entry.path().string());
    return files;
}

Changelog fixture()
{
    Changelog changelog;
    std::string error;
    EXPECT_TRUE(changelog.load(fixtures + "input.txt", error)) << error;
    return changelog;
}
}

TEST(ChangelogFiles, WritesVersionProductAndProductFiles)
{
    const auto changelog = fixture();
    for (const auto& [format, expected] : {std::pair{Format::Text, "text"}, {Format::Markdown, "markdown"}})
    {
        testSupport::TempFolder out;
        std::string error;
        ASSERT_TRUE(changelog.writeFiles(out.path() + "/", format, error)) << error;
        EXPECT_EQ(filesIn(out.path()), filesIn(fixtures + expected)) << expected;
    }
}

TEST(ChangelogFiles, RefusesFilesOutsideTheOutputFolderAndStops)
{
    testSupport::TempFolder temp;
    const auto outDir = temp.file("a/b/");
    fs::create_directories(outDir);
    Changelog changelog;
    std::string error;
    // A version key is free text after its second dot, so ".." may also follow a harmless start.
    for (const std::string version : {"../../escape.x", "1.2.x/../../escape"})
    {
        SCOPED_TRACE(version);
        ASSERT_TRUE(changelog.parse(version + ":\nAlpha:\n- out\nVersion 2.0.0\nAlpha:\n- in\n"));
        fs::create_directories(outDir + "1.2.x");
        EXPECT_FALSE(changelog.writeFiles(outDir, Format::Text, error));
        EXPECT_EQ(error, "Failed to create output file '" + outDir + version + "_Alpha.txt'");
        EXPECT_EQ(std::distance(fs::recursive_directory_iterator(temp.path()), {}), 3);
    }

    // A name that only reaches a sub-folder stays allowed.
    ASSERT_TRUE(changelog.parse("1.2.x/sub:\nAlpha:\n- in\n"));
    EXPECT_TRUE(changelog.writeFiles(outDir, Format::Text, error)) << error;
    EXPECT_EQ(testSupport::readFile(outDir + "1.2.x/sub_Alpha.txt"), "Alpha Version 1.2.x/sub\n\nAlpha:\n\n- in\n");
}

TEST(ChangelogFiles, WriteAndLoadFailuresReportTheirPath)
{
    testSupport::TempFolder temp;
    std::string error = "earlier";
    EXPECT_FALSE(fixture().writeFiles(temp.file("missing/"), Format::Text, error));
    EXPECT_EQ(error, "Failed to create output file '" + temp.file("missing/") + "1.0.0_.txt'");

    // A failed load keeps the changelog when the file cannot be opened or read, and empties it when it is empty.
    auto changelog = fixture();
    const auto before = changelog.versions;
    for (const auto& path : {temp.file("none.txt"), temp.path()})
        EXPECT_EQ((std::tuple{changelog.load(path, error), error, changelog.versions == before}),
                  std::make_tuple(false, "Failed to open input file '" + path + "'", true));

    temp.write("empty.txt", "");
    EXPECT_FALSE(changelog.load(temp.file("empty.txt"), error));
    EXPECT_EQ(error, "No lines read from input file");
    EXPECT_TRUE(changelog.versions.empty() && changelog.products.empty());
}
