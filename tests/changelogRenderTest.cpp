#include "changelog/changelog.h"

#include <gtest/gtest.h>

using changelogLib::Changelog;

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
