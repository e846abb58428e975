#include "changelog/changelog.h"

#include <gtest/gtest.h>

using changelogLib::Changelog;
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
