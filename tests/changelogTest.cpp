#include "changelog/changelog.h"

#include <gtest/gtest.h>

using changelogLib::Changelog;
using Sections = Changelog::Sections;
using Versions = std::map<std::string, Sections>;
using Names = std::set<std::string>;

namespace
{
Changelog parsed(const std::string& text)
{
    Changelog changelog;
    EXPECT_TRUE(changelog.parse(text));
    return changelog;
}

std::string spaces(size_t count) { return std::string(count, ' '); }

std::vector<std::string> versionsOf(const std::vector<Changelog::Release>& releases)
{
    std::vector<std::string> result;
    for (const auto& release : releases)
        result.push_back(release.version);
    return result;
}
}

TEST(ChangelogParse, StrictAndLenientHeadings)
{
    const auto changelog = parsed("  Version 1.3.5:\r\n"
                                  "\tAlpha:  \r\n"
                                  "- a\n"
                                  "Version 1.3.5 beta:\n"
                                  "- b\n"
                                  "1.4.0 beta:\n"
                                  "Fixed:\n"
                                  "- c\n"
                                  "fixed:\n"
                                  "1.2:\n"
                                  "- d\n"
                                  "Version 1.3.5::\n"
                                  "Version .1.3\n"
                                  "1..x\n"
                                  "Note:\n"
                                  "- e");
    EXPECT_EQ(changelog.versions,
              (Versions{{"1..x", {{"Note", {"- e"}}}},
                        {"1.3.5", {{"Alpha", {"- a"}}, {"Version 1.3.5 beta", {"- b"}}}},
                        {"1.4.0 beta",
                         {{"Fixed", {"- c", "  fixed:"}}, {"1.2", {"- d"}}, {"Version 1.3.5:", {"Version .1.3"}}}}}));
    EXPECT_EQ(changelog.products, (Names{"1.2", "Alpha", "Fixed", "Note", "Version 1.3.5 beta", "Version 1.3.5:"}));
}

TEST(ChangelogParse, MissingHeadingLevelsFallBackToEmptyNames)
{
    auto changelog = parsed("a\n\nb\n");
    EXPECT_EQ(changelog.versions, (Versions{{"", {{"", {"a", "", "b"}}}}}));
    EXPECT_TRUE(changelog.products.empty());

    EXPECT_EQ(parsed("\nAlpha:\n- x\n").versions, (Versions{{"", {{"Alpha", {"- x"}}}}}));
    EXPECT_EQ(parsed("\n").versions, (Versions{{"", {{"", {""}}}}}));

    // A lone section heading at the end has no block, so the heading itself becomes content.
    changelog = parsed("Version 1.0.0:\nAlpha:\n");
    EXPECT_EQ(changelog.versions, (Versions{{"1.0.0", {{"", {"Alpha:"}}}}}));
    EXPECT_TRUE(changelog.products.empty());

    changelog = parsed("Version 1.0.0:\nAlpha:\nBeta:\n- x");
    EXPECT_EQ(changelog.versions, (Versions{{"1.0.0", {{"Alpha", {}}, {"Beta", {"- x"}}}}}));
    EXPECT_EQ(changelog.products, (Names{"Alpha", "Beta"}));

    EXPECT_EQ(parsed("Version 1.0.0\nVersion 1.1.0\n\nAlpha:\n\n- x\n\n").versions,
              (Versions{{"1.0.0", {{"", {}}}}, {"1.1.0", {{"Alpha", {"- x"}}}}}));

    // parse starts over; the empty text holds no line at all.
    EXPECT_FALSE(changelog.parse(""));
    EXPECT_TRUE(changelog.versions.empty());
    EXPECT_TRUE(changelog.products.empty());
}

TEST(ChangelogParse, FirstBlockOfARepeatedHeadingWins)
{
    const auto changelog = parsed("Version 1.2.0\n"
                                  "Alpha:\n- first\n"
                                  "Alpha:\n- second\n"
                                  "Version 1.2.0\n"
                                  "Beta:\n- later\n");
    EXPECT_EQ(changelog.versions, (Versions{{"1.2.0", {{"Alpha", {"- first"}}}}}));
    EXPECT_EQ(changelog.products, (Names{"Alpha"}));
}

TEST(ChangelogParse, SlashNamesFeedEachPart)
{
    const auto changelog = parsed("Version 1.0.0\n"
                                  "Beta:\n- m\n"
                                  "Alpha/Beta:\n- l\ncont\n"
                                  "Gamma//DSP:\n- g\n"
                                  "Eps / Zeta:\n- e\n");
    EXPECT_EQ(changelog.versions.at("1.0.0"), (Sections{{"Alpha", {"- l", "  cont"}},
                                                        {"Beta", {"- m", "- l", "  cont"}},
                                                        {"DSP", {"- g"}},
                                                        {"Eps ", {"- e"}},
                                                        {"Gamma", {"- g"}},
                                                        {" Zeta", {"- e"}}}));
    EXPECT_EQ(changelog.products, (Names{"Alpha", "Beta", "Eps ", "Gamma", " Zeta"}));
}

TEST(ChangelogParse, ContinuationLinesLineUpUnderTheirBullet)
{
    const auto changelog = parsed("Version 1.0.0\nAlpha:\n"
                                  "note\n"
                                  "- [Alpha] fixed\n"
                                  "continued\n"
                                  "\n"
                                  "more\n"
                                  "- plain\n"
                                  "next\n"
                                  "- a[0] b\n"
                                  "tail\n");
    EXPECT_EQ(changelog.versions.at("1.0.0").at("Alpha"),
              (std::vector<std::string>{"note", "- [Alpha] fixed", spaces(10) + "continued", "", spaces(10) + "more",
                                        "- plain", spaces(2) + "next", "- a[0] b", spaces(7) + "tail"}));
}

TEST(ChangelogVersion, PackedValues)
{
    const auto packed = [](uint64_t major, uint64_t minor, uint64_t patch) {
        return (major << 32) | (minor << 16) | patch;
    };
    testing::internal::CaptureStderr();
    EXPECT_EQ(Changelog::versionToInt("1.2.3"), packed(1, 2, 3));
    EXPECT_EQ(Changelog::versionToInt("1.2.3.4"), packed(1, 2, 3));
    EXPECT_EQ(Changelog::versionToInt("1.2.3beta"), packed(1, 2, 3));
    EXPECT_EQ(Changelog::versionToInt("1rc.2.3 beta"), packed(1, 2, 3));
    EXPECT_EQ(Changelog::versionToInt("1.2"), 0u);
    EXPECT_EQ(Changelog::versionToInt(""), 0u);
    // Wide parts spill into the field above: kept, callers compare these numbers as they are.
    EXPECT_EQ(Changelog::versionToInt("0.70000.0"), uint64_t(70000) << 16);
    EXPECT_GT(Changelog::versionToInt("0.70000.0"), packed(1, 0, 0));
    EXPECT_EQ(Changelog::versionToInt("4294967297.0.0"), packed(1, 0, 0));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    testing::internal::CaptureStderr();
    EXPECT_EQ(Changelog::versionToInt("x.2.3"), 0u);
    EXPECT_EQ(Changelog::versionToInt("1.2."), 0u);
    EXPECT_EQ(Changelog::versionToInt("1.99999999999999999999.0"), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Invalid version string 'x.2.3': stoull\n"
              "Invalid version string '1.2.': stoull\n"
              "Invalid version string '1.99999999999999999999.0': stoull\n");
}

TEST(ChangelogQueries, FindProductPrefersExactThenLongestPrefix)
{
    const auto changelog = parsed("Version 1.0.0\nAlpha:\n- a\nAlpha FX:\n- b\nBeta:\n- c\nDSP:\n- d\n");
    EXPECT_EQ(changelog.findProduct("alphafx"), "Alpha FX");
    EXPECT_EQ(changelog.findProduct("ALPHA FX 2"), "Alpha FX");
    EXPECT_EQ(changelog.findProduct("Alpha Two"), "Alpha");
    EXPECT_EQ(changelog.findProduct("alph"), "");
    EXPECT_EQ(changelog.findProduct("beta"), "Beta");
    EXPECT_EQ(changelog.findProduct("dsp"), "");
    EXPECT_EQ(changelog.findProduct(""), "");
    EXPECT_EQ(changelog.findProduct("   "), "");
}

TEST(ChangelogQueries, ReleasesOfAProductIncludeSharedSectionsNewestFirst)
{
    const auto changelog = parsed("Version 1.0.0\nBeta:\n- b only\n"
                                  "Version 1.1.0\nDSP:\n- dsp\n"
                                  "Version 1.10.0\nAlpha:\n- alpha\nFramework:\n- fw\n"
                                  "Version 1.9.0\nAlpha:\nBeta:\n- b\n");

    const auto alpha = changelog.getReleases("Alpha");
    ASSERT_EQ(versionsOf(alpha), (std::vector<std::string>{"1.10.0", "1.9.0", "1.1.0"}));
    EXPECT_EQ(alpha[0].lines, (std::vector<std::string>{"- alpha"}));
    EXPECT_EQ(alpha[0].globals, (Sections{{"Framework", {"- fw"}}}));
    EXPECT_TRUE(alpha[1].lines.empty());
    EXPECT_TRUE(alpha[1].globals.empty());
    EXPECT_TRUE(alpha[2].lines.empty());
    EXPECT_EQ(alpha[2].globals, (Sections{{"DSP", {"- dsp"}}}));

    EXPECT_EQ(versionsOf(changelog.getReleases("alpha")), (std::vector<std::string>{"1.10.0", "1.1.0"}));
    EXPECT_EQ(versionsOf(changelog.getReleases("")), (std::vector<std::string>{"1.10.0", "1.1.0"}));
    const auto dsp = changelog.getReleases("DSP");
    ASSERT_EQ(versionsOf(dsp), (std::vector<std::string>{"1.10.0", "1.1.0"}));
    EXPECT_TRUE(dsp[1].lines.empty());
    EXPECT_EQ(dsp[1].globals, (Sections{{"DSP", {"- dsp"}}}));
}

TEST(ChangelogQueries, DropNewerThanCutsByValueAndRebuildsProducts)
{
    auto changelog = parsed("Version 1.1.9\nAlpha:\n- a\n"
                            "Version 1.2.0\nAlpha:\n- b\n"
                            "1.2.0 beta:\nBeta:\n- c\n"
                            "Version 1.10.0\nGamma:\n- d\n");
    changelog.dropNewerThan("1.2.0");
    EXPECT_EQ(changelog.versions.size(), 3u);
    EXPECT_EQ(changelog.versions.count("1.10.0"), 0u);
    EXPECT_EQ(changelog.products, (Names{"Alpha", "Beta"}));

    changelog = parsed("Version 0.0.0\nAlpha:\n- a\nVersion 0.0.1\nBeta:\n- b\n");
    changelog.dropNewerThan("");
    EXPECT_EQ(changelog.versions, (Versions{{"0.0.0", {{"Alpha", {"- a"}}}}}));
    EXPECT_EQ(changelog.products, (Names{"Alpha"}));

    changelog = parsed("no headings\n");
    changelog.dropNewerThan("");
    EXPECT_EQ(changelog.versions.count(""), 1u);
}
