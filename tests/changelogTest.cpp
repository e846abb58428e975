// The changelog: parsing, queries, rendering and the files written from it.
#include "changelog/changelog.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

using changelogLib::Changelog;
using Format = Changelog::Format;
namespace fs = std::filesystem;
using Sections = Changelog::Sections;
using Versions = std::map<std::string, Sections>;
using Names = std::set<std::string>;
using Lines = std::vector<std::string>;

namespace
{
Changelog parsed(const std::string& text)
{
    Changelog changelog;
    EXPECT_TRUE(changelog.parse(text));
    return changelog;
}

// Each release as "version lines [shared section lines]".
Lines describe(const std::vector<Changelog::Release>& releases)
{
    Lines result;
    for (const auto& release : releases)
    {
        std::string text = release.version;
        for (const auto& line : release.lines)
            text += " " + line;
        for (const auto& [name, lines] : release.globals)
            for (const auto& line : lines)
                text += " [" + name + " " + line + "]";
        result.push_back(text);
    }
    return result;
}

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

TEST(ChangelogParse, StrictAndLenientHeadings)
{
    const auto changelog = parsed("  Version 1.3.5:\r\n\tAlpha:  \r\n- a\n"
                                  "Version 1.3.5 beta:\n- b\n"
                                  "1.4.0 beta:\nFixed:\n- c\nfixed:\n1.2:\n- d\nVersion 1.3.5::\nVersion .1.3\n"
                                  "1..x\nNote:\n- e");
    EXPECT_EQ(changelog.versions,
              (Versions{{"1..x", {{"Note", {"- e"}}}},
                        {"1.3.5", {{"Alpha", {"- a"}}, {"Version 1.3.5 beta", {"- b"}}}},
                        {"1.4.0 beta",
                         {{"Fixed", {"- c", "  fixed:"}}, {"1.2", {"- d"}}, {"Version 1.3.5:", {"Version .1.3"}}}}}));
    EXPECT_EQ(changelog.products, (Names{"1.2", "Alpha", "Fixed", "Note", "Version 1.3.5 beta", "Version 1.3.5:"}));
}

TEST(ChangelogParse, BlocksUnderTheirVersionAndSectionHeadings)
{
    const std::string under(10, ' ');
    const std::tuple<const char*, Versions, Names> cases[] = {
        {"a\n\nb\n", {{"", {{"", {"a", "", "b"}}}}}, {}},
        {"\nAlpha:\n- x\n", {{"", {{"Alpha", {"- x"}}}}}, {"Alpha"}},
        // A lone section heading at the end has no block, so the heading itself becomes content.
        {"Version 1.0.0:\nAlpha:\n", {{"1.0.0", {{"", {"Alpha:"}}}}}, {}},
        {"Version 1.0.0:\nAlpha:\nBeta:\n- x", {{"1.0.0", {{"Alpha", {}}, {"Beta", {"- x"}}}}}, {"Alpha", "Beta"}},
        {"Version 1.0.0\nVersion 1.1.0\n\nAlpha:\n\n- x\n\n",
         {{"1.0.0", {{"", {}}}}, {"1.1.0", {{"Alpha", {"- x"}}}}}, {"Alpha"}},
        // The first block of a repeated heading wins.
        {"Version 1.2.0\nAlpha:\n- first\nAlpha:\n- second\nBeta:\n- b\nVersion 1.2.0\nGamma:\n- later\n",
         {{"1.2.0", {{"Alpha", {"- first"}}, {"Beta", {"- b"}}}}}, {"Alpha", "Beta"}},
        // A name with slashes feeds each part.
        {"Version 1.0.0\nBeta:\n- m\nAlpha/Beta:\n- l\ncont\nGamma//DSP:\n- g\nEps / Zeta:\n- e\n",
         {{"1.0.0", {{"Alpha", {"- l", "  cont"}}, {"Beta", {"- m", "- l", "  cont"}}, {"DSP", {"- g"}},
                     {"Eps ", {"- e"}}, {"Gamma", {"- g"}}, {" Zeta", {"- e"}}}}},
         {"Alpha", "Beta", "Eps ", "Gamma", " Zeta"}},
        // Continuation lines line up under their bullet's text.
        {"Version 1.0.0\nAlpha:\nnote\n- [Alpha] fixed\ncontinued\n\nmore\n- plain\nnext\n- a[0] b\ntail\n",
         {{"1.0.0", {{"Alpha", {"note", "- [Alpha] fixed", under + "continued", "", under + "more", "- plain",
                                "  next", "- a[0] b", "       tail"}}}}},
         {"Alpha"}},
    };
    Changelog changelog;
    for (const auto& [text, versions, products] : cases)
    {
        EXPECT_TRUE(changelog.parse(text)) << text;
        EXPECT_EQ(changelog.versions, versions) << text;
        EXPECT_EQ(changelog.products, products) << text;
    }
    // parse starts over; the empty text holds no line at all.
    EXPECT_FALSE(changelog.parse(""));
    EXPECT_TRUE(changelog.versions.empty() && changelog.products.empty());
}

// Leading empty lines of a block are dropped in time linear in their number: a million of them,
// taken from the front one at a time would keep the parse busy for many minutes.
TEST(ChangelogParse, ManyLeadingEmptyLinesOfABlock)
{
    const std::string empty(1000000, '\n');
    const auto changelog = parsed("Version 1.0.0\n" + empty + "Alpha:\n" + empty + "- x\n" + empty);
    EXPECT_EQ(changelog.versions, (Versions{{"1.0.0", {{"Alpha", {"- x"}}}}}));
}

TEST(ChangelogVersion, PackedValues)
{
    // Major, minor and patch in 16-bit fields from bit 32 down.
    const std::pair<const char*, uint64_t> cases[] = {
        {"1.2.3", 0x1'0002'0003}, {"1.2.3.4", 0x1'0002'0003}, {"1.2.3beta", 0x1'0002'0003},
        {"1rc.2.3 beta", 0x1'0002'0003}, {"1.2", 0}, {"", 0},
        // Wide parts spill into the field above: kept, callers compare these numbers as they are.
        {"0.70000.0", 0x1'1170'0000}, {"4294967297.0.0", 0x1'0000'0000},
        // Parts that are no number, or too large for one, read as 0 too.
        {"x.2.3", 0}, {"1.2.", 0}, {"1.99999999999999999999.0", 0},
    };
    testing::internal::CaptureStderr();
    for (const auto& [version, expected] : cases)
        EXPECT_EQ(Changelog::versionToInt(version), expected) << version;
    testing::internal::GetCapturedStderr();
}

TEST(ChangelogQueries, FindProductPrefersExactThenLongestPrefix)
{
    // "ALPHA FX" sorts before "Alpha", so the longest prefix is not merely the last one found.
    const auto changelog = parsed("Version 1.0.0\nAlpha:\n- a\nALPHA FX:\n- b\nBeta:\n- c\nDSP:\n- d\n");
    const std::pair<const char*, const char*> cases[] = {
        {"alphafx", "ALPHA FX"}, {"Alpha FX 2", "ALPHA FX"}, {"Alpha Two", "Alpha"},
        {"alph", ""},            {"dsp", ""},                {"", ""},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(changelog.findProduct(name), expected) << name;
}

TEST(ChangelogQueries, ReleasesOfAProductIncludeSharedSectionsNewestFirst)
{
    const auto changelog = parsed("Version 1.0.0\nBeta:\n- b only\nVersion 1.1.0\nDSP:\n- dsp\n"
                                  "Version 1.10.0\nAlpha:\n- alpha\nFramework:\n- fw\n"
                                  "Version 1.9.0\nAlpha:\nBeta:\n- b\n");
    const std::pair<const char*, Lines> cases[] = {
        {"Alpha", {"1.10.0 - alpha [Framework - fw]", "1.9.0", "1.1.0 [DSP - dsp]"}},
        {"alpha", {"1.10.0 [Framework - fw]", "1.1.0 [DSP - dsp]"}},
        {"DSP", {"1.10.0 [Framework - fw]", "1.1.0 [DSP - dsp]"}},
    };
    for (const auto& [product, expected] : cases)
        EXPECT_EQ(describe(changelog.getReleases(product)), expected) << product;
}

TEST(ChangelogQueries, DropNewerThanCutsByValueAndRebuildsProducts)
{
    auto changelog = parsed("Version 1.1.9\nAlpha:\n- a\nVersion 1.2.0\nAlpha:\n- b\n"
                            "1.2.0 beta:\nBeta:\n- c\nVersion 1.10.0\nGamma:\n- d\n");
    changelog.dropNewerThan("1.2.0");
    EXPECT_EQ(changelog.versions.size(), 3u);
    EXPECT_EQ(changelog.versions.count("1.10.0"), 0u);
    EXPECT_EQ(changelog.products, (Names{"Alpha", "Beta"}));

    changelog = parsed("Version 0.0.0\nAlpha:\n- a\nVersion 0.0.1\nBeta:\n- b\n");
    changelog.dropNewerThan("");
    EXPECT_EQ(changelog.products, (Names{"Alpha"}));
}

TEST(ChangelogRender, BulletsTagsAndContinuations)
{
    std::vector<std::string> entries; // as "tag|text", so a mismatch shows every field
    for (const auto& entry : Changelog::getEntries({"note", "  joined", "- [Alpha] fixed", "          continued", "",
                                                    "   ", "   more", "- [] empty tag", "- [Alpha]", "- [Alpha]   ",
                                                    "- [Alpha fixed", "-", "-x", "-  two spaces", "- a [b] c"}))
        entries.push_back(entry.tag + "|" + entry.text);
    EXPECT_EQ(entries, (std::vector<std::string>{"|note joined", "Alpha|fixed continued more", "|empty tag", "Alpha|",
                                                 "Alpha|", "|[Alpha fixed - -x", "| two spaces", "|a [b] c"}));
    EXPECT_TRUE(Changelog::getEntries({"", "  "}).empty());
}

TEST(ChangelogRender, EmptyProductEmptyTagsAndEmptySections)
{
    const Changelog::Release release{"1.3.5", {{"Framework", {""}}}, {"- [Alpha]", "- x"}};
    EXPECT_EQ(Changelog::toText(release, ""), "Version 1.3.5\n\nFramework:\n\n\n:\n\n- [Alpha] \n- x\n");
    EXPECT_EQ(Changelog::toMarkdown(release, ""), "## Version 1.3.5\n\n### Framework\n\n\n### \n\n- **Alpha** \n- x\n");

    const Changelog::Release bare{"2.0.0 beta", {}, {}};
    EXPECT_EQ(Changelog::toText(bare, "Alpha"), "Alpha Version 2.0.0 beta\n");
    EXPECT_EQ(Changelog::toMarkdown(bare, "Alpha"), "## Alpha 2.0.0 beta\n");
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
