// The changelog: parsing, queries, rendering and the files written from it.
#include "changelog/changelog.h"
#include "support/tempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

using changelogLib::Changelog;
using Format = Changelog::Format;
namespace fs = std::filesystem;
using Versions = std::map<std::string, Changelog::Sections>;
using Names = std::set<std::string>;
using Lines = std::vector<std::string>;

const std::string fixtures = std::string(VYRPM_FIXTURES_DIR) + "/changelog/";
const char* const lined = "Version 1.0.0\nAlpha:\nnote\n- [Alpha] fixed\ncontinued\n\nmore\n- plain\nnext\n- a[0] b\ntail\n";

TEST(ChangelogParse, BlocksUnderTheirVersionAndSectionHeadings)
{
    const std::tuple<const char*, Versions, Names> cases[] = {
        // Strict "Version " headings, lenient bare ones: the two first dots decide.
        {"  Version 1.3.5:\r\n\tAlpha:  \r\n- a\nVersion 1.3.5 beta:\n- b\n1.4.0 beta:\nFixed:\n- c\nfixed:\n"
         "1.2:\n- d\nVersion 1.3.5::\nVersion .1.3\n1..x\nNote:\n- e",
         {{"1..x", {{"Note", {"- e"}}}},
          {"1.3.5", {{"Alpha", {"- a"}}, {"Version 1.3.5 beta", {"- b"}}}},
          {"1.4.0 beta", {{"Fixed", {"- c", "fixed:"}}, {"1.2", {"- d"}}, {"Version 1.3.5:", {"Version .1.3"}}}}},
         {"1.2", "Alpha", "Fixed", "Note", "Version 1.3.5 beta", "Version 1.3.5:"}},
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
         {{"1.0.0", {{"Alpha", {"- l", "cont"}}, {"Beta", {"- m", "- l", "cont"}}, {"DSP", {"- g"}},
                     {"Eps ", {"- e"}}, {"Gamma", {"- g"}}, {" Zeta", {"- e"}}}}},
         {"Alpha", "Beta", "Eps ", "Gamma", " Zeta"}},
        // Continuation lines are kept as written: the files written line them up (ChangelogFiles).
        {lined, {{"1.0.0", {{"Alpha", {"note", "- [Alpha] fixed", "continued", "", "more", "- plain", "next", "- a[0] b",
                                       "tail"}}}}},
         {"Alpha"}},
    };
    Changelog changelog;
    for (const auto& [text, versions, products] : cases)
    {
        EXPECT_TRUE(changelog.parse(text)) << text;
        EXPECT_EQ(std::tie(changelog.versions, changelog.products), std::tie(versions, products)) << text;
    }
    // parse starts over; the empty text holds no line at all.
    EXPECT_FALSE(changelog.parse(""));
    EXPECT_TRUE(changelog.versions.empty() && changelog.products.empty());

    // Leading empty lines of a block go in time linear in their number: a million of them, taken
    // from the front one at a time, would keep the parse busy for many minutes.
    const std::string empty(1000000, '\n');
    EXPECT_TRUE(changelog.parse("Version 1.0.0\n" + empty + "Alpha:\n" + empty + "- x\n" + empty));
    EXPECT_EQ(changelog.versions, (Versions{{"1.0.0", {{"Alpha", {"- x"}}}}}));

}

TEST(ChangelogQueries, PackedVersionsFindProductReleasesAndTheCutAtAVersion)
{
    // Major, minor and patch in 16-bit fields from bit 32 down. Wide parts spill into the field
    // above: kept, callers compare these numbers as they are. Parts that are no number, or too large
    // for one, read as 0 too.
    const std::pair<const char*, uint64_t> cases[] = {
        {"1.2.3", 0x1'0002'0003}, {"1.2.3.4", 0x1'0002'0003}, {"1.2.3beta", 0x1'0002'0003},
        {"1rc.2.3 beta", 0x1'0002'0003}, {"1.2", 0}, {"", 0}, {"0.70000.0", 0x1'1170'0000},
        {"4294967297.0.0", 0x1'0000'0000}, {"x.2.3", 0}, {"1.2.", 0}, {"1.99999999999999999999.0", 0},
    };
    testing::internal::CaptureStderr();
    for (const auto& [version, expected] : cases)
        EXPECT_EQ(Changelog::versionToInt(version), expected) << version;
    testing::internal::GetCapturedStderr();

    // "ALPHA FX" sorts before "Alpha", so the longest prefix is not merely the last one found.
    Changelog changelog;
    ASSERT_TRUE(changelog.parse("Version 1.0.0\nAlpha:\n- a\nALPHA FX:\n- b\nBeta:\n- c\nDSP:\n- d\n"));
    const std::pair<const char*, const char*> names[] = {{"alphafx", "ALPHA FX"}, {"Alpha FX 2", "ALPHA FX"},
                                                         {"Alpha Two", "Alpha"}, {"alph", ""}, {"dsp", ""}, {"", ""}};
    for (const auto& [name, expected] : names)
        EXPECT_EQ(changelog.findProduct(name), expected) << name;

    // A product's releases hold the shared sections too, newest first by value.
    ASSERT_TRUE(changelog.parse("Version 1.0.0\nBeta:\n- b only\nVersion 1.1.0\nDSP:\n- dsp\nVersion 1.10.0\nAlpha:\n"
                                "- alpha\nFramework:\n- fw\nGamma:\n- g\nVersion 1.9.0\nAlpha:\nBeta:\n- b\n"));
    const std::pair<const char*, Lines> releases[] = {
        {"Alpha", {"1.10.0 - alpha [Framework - fw]", "1.9.0", "1.1.0 [DSP - dsp]"}},
        {"alpha", {"1.10.0 [Framework - fw]", "1.1.0 [DSP - dsp]"}},
        {"DSP", {"1.10.0 [Framework - fw]", "1.1.0 [DSP - dsp]"}},
    };
    for (const auto& [product, expected] : releases)
    {
        Lines described; // each as "version, its first line [each shared section and its first line]"
        for (const auto& release : changelog.getReleases(product))
        {
            described.push_back(release.version + (release.lines.empty() ? "" : " " + release.lines[0]));
            for (const auto& [name, lines] : release.globals)
                described.back() += " [" + name + " " + lines.at(0) + "]";
        }
        EXPECT_EQ(described, expected) << product;
    }

    // The cut compares by value and rebuilds the products.
    changelog.dropNewerThan("1.9.0");
    EXPECT_EQ(std::tuple(changelog.versions.size(), changelog.products), std::tuple(3u, Names{"Alpha", "Beta"}));
    ASSERT_TRUE(changelog.parse("Version 0.0.0\nAlpha:\n- a\nVersion 0.0.1\nBeta:\n- b\n"));
    changelog.dropNewerThan("");
    EXPECT_EQ(changelog.products, (Names{"Alpha"}));
}

TEST(ChangelogRender, BulletsTagsContinuationsAndEmptyParts)
{
    std::vector<std::string> entries; // as "tag|text", so a mismatch shows every field
    for (const auto& entry : Changelog::getEntries({"note", "  joined", "- [Alpha] fixed", "          continued", "",
                                                    "   ", "   more", "- [] empty tag", "- [Alpha]", "- [Alpha]   ",
                                                    "- [Alpha fixed", "-", "-x", "-  two spaces", "- a [b] c"}))
        entries.push_back(entry.tag + "|" + entry.text);
    EXPECT_EQ(entries, (std::vector<std::string>{"|note joined", "Alpha|fixed continued more", "|empty tag", "Alpha|",
                                                 "Alpha|", "|[Alpha fixed - -x", "| two spaces", "|a [b] c"}));

    // Without a product, and with an empty line in a shared section.
    const Changelog::Release release{"1.3.5", {{"Framework", {""}}}, {"- [Alpha]", "- x"}};
    EXPECT_EQ(Changelog::toText(release, ""), "Version 1.3.5\n\nFramework:\n\n\n:\n\n- [Alpha] \n- x\n");
    EXPECT_EQ(Changelog::toMarkdown(release, ""), "## Version 1.3.5\n\n### Framework\n\n\n### \n\n- **Alpha** \n- x\n");
}

// A version key is free text after its second dot, so ".." may also follow a harmless start; a
// name that only reaches a sub-folder stays allowed. A failed load keeps what was there.
TEST(ChangelogFiles, WritesVersionProductAndProductFilesButNoneOutsideTheOutputFolder)
{
    testSupport::TempFolder temp;
    Changelog changelog;
    std::string error;
    ASSERT_TRUE(changelog.load(fixtures + "input.txt", error)) << error;
    for (const auto& [format, expected] : {std::pair{Format::Text, "text"}, {Format::Markdown, "markdown"}})
    {
        const std::string out = temp.file(expected) + "/";
        fs::create_directory(out);
        ASSERT_TRUE(changelog.writeFiles(out, format, error)) << error;
        EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 14) << expected;
        for (const auto& file : fs::directory_iterator(fixtures + expected))
            EXPECT_EQ(testSupport::readFile(out + file.path().filename().c_str()), testSupport::readFile(file.path()))
                << file.path();
    }
    // A folder opens but cannot be read.
    const auto before = changelog.versions;
    for (const auto& path : {temp.file("none.txt"), temp.path()})
        EXPECT_EQ((std::tuple{changelog.load(path, error), error, changelog.versions == before}),
                  std::make_tuple(false, "Failed to open input file '" + path + "'", true));

    const auto outDir = temp.file("a/b/");
    fs::create_directories(outDir + "1.2.x");
    for (const std::string version : {"../../escape.x", "1.2.x/../../escape"})
    {
        ASSERT_TRUE(changelog.parse(version + ":\nAlpha:\n- out\nVersion 2.0.0\nAlpha:\n- in\n"));
        EXPECT_FALSE(changelog.writeFiles(outDir, Format::Text, error));
        EXPECT_EQ(error, "Failed to create output file '" + outDir + version + "_Alpha.txt'");
        EXPECT_EQ(std::distance(fs::recursive_directory_iterator(temp.file("a")), {}), 2) << version;
    }
    ASSERT_TRUE(changelog.parse("1.2.x/sub:\nAlpha:\n- in\n"));
    EXPECT_TRUE(changelog.writeFiles(outDir, Format::Text, error)) << error;
    EXPECT_EQ(testSupport::readFile(outDir + "1.2.x/sub_Alpha.txt"), "Alpha Version 1.2.x/sub\n\nAlpha:\n\n- in\n");

    // Continuation lines line up under their bullet's text, after its first "]" when it has one.
    ASSERT_TRUE(changelog.parse(lined));
    EXPECT_TRUE(changelog.writeFiles(outDir, Format::Text, error)) << error;
    EXPECT_EQ(testSupport::readFile(outDir + "1.0.0_Alpha.txt"),
              "Alpha Version 1.0.0\n\nAlpha:\n\nnote\n- [Alpha] fixed\n          continued\n\n          more\n- plain\n"
              "  next\n- a[0] b\n       tail\n");
}
