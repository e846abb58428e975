#include "manager/catalog/directoryIndex.h"

#include "support/tempFolder.h"

#include <gtest/gtest.h>

using namespace pluginManager;
using Texts = std::vector<std::string>;

namespace
{
const std::string folder = "https://builds.test/builds/aurora/donators/";

std::vector<Asset> parseListing(const std::string& fixture, Channel channel = Channel::Donators)
{
    const std::string page = testSupport::readFile(std::string(VYRPM_FIXTURES_DIR) + "/listings/" + fixture);
    EXPECT_FALSE(page.empty()) << "missing fixture " << fixture;
    return parseDirectoryIndex(page, folder, channel);
}

Texts field(const std::vector<Asset>& assets, std::string Asset::*member)
{
    Texts values;
    for (const auto& asset : assets)
        values.push_back(asset.*member);
    return values;
}

// A link as listings write it, followed by what the page prints after it.
std::string anchor(const std::string& href, const std::string& after = "")
{
    return "<a href=\"" + href + "\">" + href + "</a>" + after + "\n";
}
}

TEST(DirectoryIndex, TableListingGivesBuildsWithTheirDateColumn)
{
    const auto assets = parseListing("fancyWithDates.html");
    // Sorting links, the parent folder, a sub-folder and files that are no builds are skipped.
    ASSERT_EQ(field(assets, &Asset::date), (Texts{"2024-05-01 13:45", "2024-05-01 13:46", "2024-05-01 14:02",
                                                  "2024-05-02 08:00", "2024-05-02 09:30"}));
    EXPECT_EQ(assets[3].url, folder + "Kestavel-AuroraFX-LV2-1.4.0-Linux_aarch64.zip");
    EXPECT_EQ(assets[3].product + " " + assets[3].format + " " + assets[3].arch, "AuroraFX LV2 aarch64");
}

TEST(DirectoryIndex, PlainListHasNoDatesAndKeepsEscapes)
{
    const auto assets = parseListing("plainList.html", Channel::Internal);
    EXPECT_EQ(field(assets, &Asset::date), (Texts{"", "", ""}));
    ASSERT_EQ(field(assets, &Asset::extension), (Texts{"deb", "rpm", "zip"}));
    // Neither decoded in the name the grammar reads nor changed in the url.
    EXPECT_EQ(assets[2].product, "Aurora%20Lite");
    EXPECT_EQ(assets[2].url, folder + "Kestavel-Aurora%20Lite-LV2-1.5.0-Linux_x86_64.zip");
    EXPECT_EQ(assets[2].channel, Channel::Internal);
}

TEST(DirectoryIndex, DatesInAnotherFormatGiveEmptyDates)
{
    const auto assets = parseListing("otherDateFormat.html");
    // The server cut the link text short; the address is what counts.
    ASSERT_EQ(field(assets, &Asset::date), (Texts{"", "", ""}));
    EXPECT_EQ(assets[1].url, folder + "Kestavel-Aurora-Standalone-1.5.0b2-Linux_x86_64.zip");
}

TEST(DirectoryIndex, OnlyQuotedLowerCaseHrefIsALinkAndTheFirstLinkToANameWins)
{
    const std::string page = "<a href=Kestavel-A-1.0-Linux_x86_64.zip>unquoted</a>\n"
                             "<a HREF=\"Kestavel-B-1.0-Linux_x86_64.zip\">capitals</a>\n"
                             "<a href = \"Kestavel-C-1.0-Linux_x86_64.zip\">blanks</a>\n"
                             "<a href='Kestavel-D-1.0-Linux_x86_64.zip'>single</a> 2024-02-03 04:05\n" +
                             anchor("https://elsewhere.test/x/Kestavel-D-1.0-Linux_x86_64.zip", " 2025-12-31 23:59") +
                             anchor("Kestavel-E-1.0-Linux_x86_64.zip");
    const auto assets = parseDirectoryIndex(page, folder, Channel::Donators);
    EXPECT_EQ(field(assets, &Asset::url),
              (Texts{folder + "Kestavel-D-1.0-Linux_x86_64.zip", folder + "Kestavel-E-1.0-Linux_x86_64.zip"}));
    EXPECT_EQ(field(assets, &Asset::date), (Texts{"2024-02-03 04:05", ""}));
}

TEST(DirectoryIndex, UnclosedQuoteOrAFinalHrefEndsTheScan)
{
    const std::string build = anchor("Kestavel-A-1.0-Linux_x86_64.zip");
    const std::string unclosed = "<a href=\"Kestavel-B-1.0-Linux_x86_64.zip>broken</a>\n"
                                 "<a href='Kestavel-C-1.0-Linux_x86_64.zip'>after</a>\n";
    EXPECT_EQ(parseDirectoryIndex(build + unclosed, folder, Channel::Donators).size(), 1u);
    EXPECT_EQ(parseDirectoryIndex(build + "<a href=", folder, Channel::Donators).size(), 1u);
}

TEST(DirectoryIndex, DateIsTheFirstTimeStampBetweenItsLinkAndTheNext)
{
    // Before the first link: nobody's. B has none of its own and must not take C's, nor after a
    // malformed one. A run may end exactly where the next link or the page ends.
    const std::string page = "2020-01-01 00:00 " + anchor("Kestavel-A-1.0-Linux_x86_64.zip", " 2024-01-02 3:04") +
                             anchor("Kestavel-B-1.0-Linux_x86_64.zip", " 2024/01/02 13:04 2024-01-02T13:04") +
                             anchor("Kestavel-C-1.0-Linux_x86_64.zip", " 12024-01-02 03:04 2024-09-09 09:09") +
                             "<a href=\"Kestavel-D-1.0-Linux_x86_64.zip\">2024-05-06 07:0" +
                             "<a href=\"Kestavel-E-1.0-Linux_x86_64.zip\">2024-05-06 07:08"
                             "href=\"Kestavel-F-1.0-Linux_x86_64.zip\">2024-05-06 07:09";
    EXPECT_EQ(field(parseDirectoryIndex(page, folder, Channel::Donators), &Asset::date),
              (Texts{"", "", "2024-01-02 03:04", "", "2024-05-06 07:08", "2024-05-06 07:09"}));
}
