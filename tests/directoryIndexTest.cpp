#include "manager/directoryIndex.h"

#include "support/tempFolder.h"

#include <gtest/gtest.h>

using namespace pluginManager;

namespace
{
const std::string folder = "https://builds.test/builds/aurora/donators/";

std::string listing(const std::string& name)
{
    const std::string page = testSupport::readFile(std::string(VYRPM_FIXTURES_DIR) + "/listings/" + name);
    EXPECT_FALSE(page.empty()) << "missing fixture " << name;
    return page;
}

std::vector<std::string> urlsOf(const std::vector<Asset>& assets)
{
    std::vector<std::string> result;
    for (const auto& asset : assets)
        result.push_back(asset.url);
    return result;
}

std::vector<std::string> datesOf(const std::vector<Asset>& assets)
{
    std::vector<std::string> result;
    for (const auto& asset : assets)
        result.push_back(asset.date);
    return result;
}

// A link as listings write it, followed by what the page prints after it.
std::string anchor(const std::string& href, const std::string& after = "")
{
    return "<a href=\"" + href + "\">" + href + "</a>" + after + "\n";
}
}

TEST(DirectoryIndex, TableListingGivesBuildsWithTheirDateColumn)
{
    const auto assets = parseDirectoryIndex(listing("fancyWithDates.html"), folder, Channel::Donators);

    // Sorting links, the parent folder, sub-folders and files that are no builds are skipped.
    ASSERT_EQ(assets.size(), 5u);
    EXPECT_EQ(urlsOf(assets), (std::vector<std::string>{
                                  folder + "Kestavel-Aurora-CLAP-1.4.0-Linux_x86_64.zip",
                                  folder + "Kestavel-Aurora-VST3-1.4.0-Linux_x86_64.zip",
                                  folder + "Kestavel-Aurora-VST3-1.4.0-win64.zip",
                                  folder + "Kestavel-AuroraFX-LV2-1.4.0-Linux_aarch64.zip",
                                  folder + "Kestavel-Aurora-1.4.0-MacOS.zip",
                              }));
    EXPECT_EQ(datesOf(assets), (std::vector<std::string>{"2024-05-01 13:45", "2024-05-01 13:46",
                                                         "2024-05-01 14:02", "2024-05-02 08:00",
                                                         "2024-05-02 09:30"}));

    const Asset& fx = assets[3];
    EXPECT_EQ(fx.product, "AuroraFX");
    EXPECT_EQ(fx.format, "LV2");
    EXPECT_EQ(fx.version, "1.4.0");
    EXPECT_EQ(fx.os, "linux");
    EXPECT_EQ(fx.arch, "aarch64");
    EXPECT_EQ(fx.extension, "zip");
    EXPECT_EQ(fx.channel, Channel::Donators);
    EXPECT_TRUE(fx.dataProduct.empty());
    EXPECT_EQ(assets[4].format, "Standalone");
}

TEST(DirectoryIndex, PlainListWithoutDatesKeepsEscapesAndSkipsOtherFiles)
{
    const std::string internal = "https://builds.test/builds/aurora/internal/";
    const auto assets = parseDirectoryIndex(listing("plainList.html"), internal, Channel::Internal);

    ASSERT_EQ(assets.size(), 3u);
    EXPECT_EQ(assets[0].extension, "deb");
    EXPECT_EQ(assets[1].extension, "rpm");
    // The escape stays in the url the server gave and in the name the grammar reads.
    EXPECT_EQ(assets[2].url, internal + "Kestavel-Aurora%20Lite-LV2-1.5.0-Linux_x86_64.zip");
    EXPECT_EQ(assets[2].product, "Aurora%20Lite");
    for (const auto& asset : assets)
    {
        EXPECT_EQ(asset.date, "");
        EXPECT_EQ(asset.channel, Channel::Internal);
    }
}

TEST(DirectoryIndex, DatesInAnotherFormatGiveEmptyDates)
{
    const auto assets = parseDirectoryIndex(listing("otherDateFormat.html"), folder, Channel::Internal);

    // The link text is cut short by the server; the address is what counts.
    ASSERT_EQ(assets.size(), 3u);
    EXPECT_EQ(assets[1].url, folder + "Kestavel-Aurora-Standalone-1.5.0b2-Linux_x86_64.zip");
    EXPECT_EQ(assets[1].version, "1.5.0b2");
    EXPECT_EQ(datesOf(assets), (std::vector<std::string>{"", "", ""}));
}

TEST(DirectoryIndex, OnlyQuotedLowerCaseHrefIsALink)
{
    const std::string page = "<a href=Kestavel-A-1.0-Linux_x86_64.zip>unquoted</a>\n"
                             "<a HREF=\"Kestavel-B-1.0-Linux_x86_64.zip\">capitals</a>\n"
                             "<a href = \"Kestavel-C-1.0-Linux_x86_64.zip\">blanks</a>\n"
                             "<a href='Kestavel-D-1.0-Linux_x86_64.zip'>single</a> 2024-02-03 04:05\n" +
                             anchor("Kestavel-E-1.0-Linux_x86_64.zip");
    const auto assets = parseDirectoryIndex(page, folder, Channel::Donators);

    ASSERT_EQ(assets.size(), 2u);
    EXPECT_EQ(assets[0].product, "D");
    EXPECT_EQ(assets[0].date, "2024-02-03 04:05");
    EXPECT_EQ(assets[1].product, "E");
}

TEST(DirectoryIndex, UnclosedQuoteEndsTheScan)
{
    const std::string page = anchor("Kestavel-A-1.0-Linux_x86_64.zip") +
                             "<a href=\"Kestavel-B-1.0-Linux_x86_64.zip>broken</a>\n" +
                             "<a href='Kestavel-C-1.0-Linux_x86_64.zip'>after</a>\n";
    const auto assets = parseDirectoryIndex(page, folder, Channel::Donators);

    // The broken link's missing quote is searched for in vain; nothing after it is read.
    ASSERT_EQ(assets.size(), 1u);
    EXPECT_EQ(assets[0].product, "A");
}

TEST(DirectoryIndex, HrefAtTheVeryEndOrAnEmptyPageGiveNothingMore)
{
    EXPECT_TRUE(parseDirectoryIndex("", folder, Channel::Donators).empty());
    EXPECT_TRUE(parseDirectoryIndex("href=", folder, Channel::Donators).empty());
    EXPECT_EQ(parseDirectoryIndex(anchor("Kestavel-A-1.0-Linux_x86_64.zip") + "<a href=", folder, Channel::Donators)
                  .size(),
              1u);
}

TEST(DirectoryIndex, FirstLinkToAFileNameWinsWithItsOwnDate)
{
    const std::string page = anchor("Kestavel-A-1.0-Linux_x86_64.zip", " 2024-01-01 10:00") +
                             anchor("/builds/aurora/donators/Kestavel-A-1.0-Linux_x86_64.zip", " 2025-12-31 23:59") +
                             anchor("Kestavel-B-1.0-Linux_x86_64.zip", " 2024-01-02 10:00");
    const auto assets = parseDirectoryIndex(page, folder, Channel::Donators);

    ASSERT_EQ(assets.size(), 2u);
    EXPECT_EQ(assets[0].url, folder + "Kestavel-A-1.0-Linux_x86_64.zip");
    EXPECT_EQ(assets[0].date, "2024-01-01 10:00");
    EXPECT_EQ(assets[1].date, "2024-01-02 10:00");
}

TEST(DirectoryIndex, AbsoluteLinkIsReadByItsFileNameInThisFolder)
{
    const auto assets = parseDirectoryIndex(anchor("https://elsewhere.test/x/Kestavel-A-1.0-win64.zip"), folder,
                                            Channel::Donators);
    ASSERT_EQ(assets.size(), 1u);
    EXPECT_EQ(assets[0].url, folder + "Kestavel-A-1.0-win64.zip");
}

TEST(DirectoryIndex, DateIsTakenOnlyBetweenItsLinkAndTheNext)
{
    // A date before the first link belongs to no build; the second build has no date of its own
    // and must not take the third's.
    const std::string page = "2020-01-01 00:00 " + anchor("Kestavel-A-1.0-Linux_x86_64.zip") +
                             anchor("Kestavel-B-1.0-Linux_x86_64.zip") +
                             anchor("Kestavel-C-1.0-Linux_x86_64.zip", " 2024-03-04 05:06");
    EXPECT_EQ(datesOf(parseDirectoryIndex(page, folder, Channel::Donators)),
              (std::vector<std::string>{"", "", "2024-03-04 05:06"}));
}

TEST(DirectoryIndex, DateMayEndExactlyWhereTheNextLinkOrThePageEnds)
{
    const std::string page = "<a href=\"Kestavel-A-1.0-Linux_x86_64.zip\">2024-01-02 03:04"
                             "href=\"Kestavel-B-1.0-Linux_x86_64.zip\">2024-05-06 07:08";
    EXPECT_EQ(datesOf(parseDirectoryIndex(page, folder, Channel::Donators)),
              (std::vector<std::string>{"2024-01-02 03:04", "2024-05-06 07:08"}));

    // One character short of a whole time stamp before the next link.
    const std::string cut = "<a href=\"Kestavel-A-1.0-Linux_x86_64.zip\">2024-01-02 03:0"
                            "href=\"Kestavel-B-1.0-Linux_x86_64.zip\">";
    EXPECT_EQ(datesOf(parseDirectoryIndex(cut, folder, Channel::Donators)), (std::vector<std::string>{"", ""}));
}

TEST(DirectoryIndex, MalformedTimeStampGivesNoDate)
{
    const std::string page = anchor("Kestavel-A-1.0-Linux_x86_64.zip", " 2024-01-02 3:04 ") +
                             anchor("Kestavel-B-1.0-Linux_x86_64.zip", " 2024-01-02 13:04") +
                             anchor("Kestavel-C-1.0-Linux_x86_64.zip", " 2024/01/02 13:04 2024-01-02T13:04 2024-1-02 13:04");
    EXPECT_EQ(datesOf(parseDirectoryIndex(page, folder, Channel::Donators)),
              (std::vector<std::string>{"", "2024-01-02 13:04", ""}));
}

TEST(DirectoryIndex, FirstWellFormedRunInTheWindowWins)
{
    // Digits running straight into a time stamp: the first 16 characters that fit are taken.
    const std::string page = anchor("Kestavel-A-1.0-Linux_x86_64.zip", " 12024-01-02 03:04 2024-09-09 09:09");
    EXPECT_EQ(datesOf(parseDirectoryIndex(page, folder, Channel::Donators)),
              (std::vector<std::string>{"2024-01-02 03:04"}));
}
