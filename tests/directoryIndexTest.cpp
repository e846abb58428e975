#include "manager/sources/directoryIndex.h"

#include "support/tempFolder.h"

#include <gtest/gtest.h>

using namespace pluginManager;
using Texts = std::vector<std::string>;

namespace
{
const std::string folder = "https://builds.test/builds/aurora/internal/";

// Each build as "file name@date", the file name taken from its url, which lies in the folder;
// each build is of the folder's channel.
Texts parse(const std::string& page)
{
    Texts values;
    for (const auto& asset : parseDirectoryIndex(page, folder, Channel::Internal))
    {
        EXPECT_EQ(asset.url.rfind(folder, 0), 0u) << asset.url;
        EXPECT_EQ(asset.channel, Channel::Internal) << asset.url;
        values.push_back(asset.url.substr(asset.url.rfind('/') + 1) + "@" + asset.date);
    }
    return values;
}

// A link as listings write it, followed by what the page prints after it.
std::string anchor(const std::string& name, const std::string& after = "")
{
    return "<a href=\"" + name + "\">" + name + "</a>" + after + "\n";
}
}

// A web server's table listing: sorting links, the parent folder, sub-folders and files that are
// no builds are skipped, and each build takes the date of its row.
TEST(DirectoryIndex, AServersTableListing)
{
    EXPECT_EQ(parse(testSupport::readFile(std::string(VYRPM_FIXTURES_DIR) + "/listings/fancyWithDates.html")),
              (Texts{"Kestavel-Aurora-CLAP-1.4.0-Linux_x86_64.zip@2024-05-01 13:45",
                     "Kestavel-Aurora-VST3-1.4.0-Linux_x86_64.zip@2024-05-01 13:46",
                     "Kestavel-Aurora-VST3-1.4.0-win64.zip@2024-05-01 14:02",
                     "Kestavel-AuroraFX-LV2-1.4.0-Linux_aarch64.zip@2024-05-02 08:00",
                     "Kestavel-Aurora-1.4.0-MacOS.zip@2024-05-02 09:30"}));
}

// An unclosed quote or a final "href=" ends the scan; escapes stay as the server wrote them.
TEST(DirectoryIndex, OnlyQuotedLowerCaseHrefIsALinkAndTheFirstLinkToANameWins)
{
    EXPECT_EQ(parse("<a href=Kestavel-A-1.0-Linux_x86_64.zip>unquoted</a>\n"
                    "<a HREF=\"Kestavel-B-1.0-Linux_x86_64.zip\">capitals</a>\n"
                    "<a href = \"Kestavel-C-1.0-Linux_x86_64.zip\">blanks</a>\n"
                    "<a href='Kestavel-D-1.0-Linux_x86_64.zip'>single</a> 2024-02-03 04:05\n" +
                    anchor("https://elsewhere.test/x/Kestavel-D-1.0-Linux_x86_64.zip", " 2025-12-31 23:59") +
                    anchor("Kestavel-E%20F-1.0-Linux_x86_64.zip")),
              (Texts{"Kestavel-D-1.0-Linux_x86_64.zip@2024-02-03 04:05", "Kestavel-E%20F-1.0-Linux_x86_64.zip@"}));
    const std::string build = anchor("Kestavel-A-1.0-Linux_x86_64.zip");
    EXPECT_EQ(parse(build + "<a href=\"Kestavel-B-1.0-Linux_x86_64.zip>broken</a>\n" +
                    anchor("Kestavel-C-1.0-Linux_x86_64.zip")).size(), 1u);
    EXPECT_EQ(parse(build + "<a href=").size(), 1u);
}

// Before the first link: nobody's. B has none of its own and must not take C's, nor after a
// malformed one. A run may end exactly where the next link or the page ends.
TEST(DirectoryIndex, DateIsTheFirstTimeStampBetweenItsLinkAndTheNext)
{
    EXPECT_EQ(parse("2020-01-01 00:00 " + anchor("Kestavel-A-1.0-Linux_x86_64.zip", " 2024-01-02 3:04") +
                    anchor("Kestavel-B-1.0-Linux_x86_64.zip", " 2024/01/02 13:04 2024-01-02T13:04") +
                    anchor("Kestavel-C-1.0-Linux_x86_64.zip", " 12024-01-02 03:04 2024-09-09 09:09") +
                    "<a href=\"Kestavel-D-1.0-Linux_x86_64.zip\">2024-05-06 07:0" +
                    "<a href=\"Kestavel-E-1.0-Linux_x86_64.zip\">2024-05-06 07:08"
                    "href=\"Kestavel-F-1.0-Linux_x86_64.zip\">2024-05-06 07:09"),
              (Texts{"Kestavel-A-1.0-Linux_x86_64.zip@", "Kestavel-B-1.0-Linux_x86_64.zip@",
                     "Kestavel-C-1.0-Linux_x86_64.zip@2024-01-02 03:04", "Kestavel-D-1.0-Linux_x86_64.zip@",
                     "Kestavel-E-1.0-Linux_x86_64.zip@2024-05-06 07:08",
                     "Kestavel-F-1.0-Linux_x86_64.zip@2024-05-06 07:09"}));
}
