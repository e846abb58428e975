#include "manager/httpClient.h"

#include "httpFixture.h"

#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

using namespace pluginManager;
using httpTests::HttpFixture;
using httpTests::MessageThreadFixture;
using Lines = std::vector<std::string>;

namespace
{
const std::string userAgent = "User-Agent: VYR-Plugin-Manager";
const std::string acceptGzip = "Accept-Encoding: gzip";

class HttpRequests : public HttpFixture
{
};

class HttpRetries : public HttpFixture
{
};

class HttpOnMessageThread : public MessageThreadFixture
{
};

void setModificationTime(const std::string& path, int64_t seconds)
{
    juce::File(path).setLastModificationTime(juce::Time(seconds * 1000));
}
}

TEST_F(HttpRequests, EachKindOfRequestSendsItsOwnHeaderLines)
{
    server.setText("/a.txt", "body");
    server.setLastModified("/a.txt", "Sun, 06 Nov 1994 08:49:37 GMT");
    std::string body;
    std::string error;
    int64_t seconds = 0;

    ASSERT_TRUE(HttpClient::fetchString(server.url("/a.txt"), body, error)) << error;
    ASSERT_TRUE(HttpClient::fetchString(server.url("/a.txt"), body, error, {"u", "p"})) << error;
    // Multi-byte user names are sent as their UTF-8 bytes; a colon in the password is kept.
    ASSERT_TRUE(HttpClient::fetchString(server.url("/a.txt"), body, error, {"j\xc3\xbcrgen", "p:w"})) << error;
    ASSERT_TRUE(HttpClient::fetchString(server.url("/a.txt"), body, error, {"u", ""})) << error;
    ASSERT_TRUE(HttpClient::fetchString(server.url("/a.txt"), body, error, {"", "p"})) << error;
    ASSERT_TRUE(HttpClient::fetchLastModified(server.url("/a.txt"), seconds, error)) << error;
    ASSERT_TRUE(HttpClient::fetchLastModified(server.url("/a.txt"), seconds, error, {"u", "p"})) << error;

    const auto received = server.requests();
    ASSERT_EQ(received.size(), 7u);
    EXPECT_EQ(received[0].headerLines(), (Lines{acceptGzip, userAgent}));
    EXPECT_EQ(received[1].headerLines(), (Lines{acceptGzip, "Authorization: Basic dTpw", userAgent}));
    EXPECT_EQ(received[2].headerLines(), (Lines{acceptGzip, "Authorization: Basic asO8cmdlbjpwOnc=", userAgent}));
    EXPECT_EQ(received[3].headerLines(), (Lines{acceptGzip, userAgent}));
    EXPECT_EQ(received[4].headerLines(), (Lines{acceptGzip, userAgent}));
    EXPECT_EQ(received[5].headerLines(), (Lines{userAgent}));
    EXPECT_EQ(received[6].headerLines(), (Lines{"Authorization: Basic dTpw", userAgent}));
    for (const auto& request : received)
        EXPECT_EQ(request.method, "GET");
}

TEST_F(HttpRequests, QueryStaysInTheAddressAndRedirectsAreFollowedFiveTimes)
{
    server.setText("/list", "[]");
    for (int hop = 1; hop <= 6; ++hop)
        server.redirect("/hop" + std::to_string(hop), hop == 1 ? "/list" : "/hop" + std::to_string(hop - 1));
    std::string body;
    std::string error;

    ASSERT_TRUE(HttpClient::fetchString(server.url("/list?per_page=100"), body, error)) << error;
    EXPECT_EQ(server.requests().back().target, "/list?per_page=100");

    ASSERT_TRUE(HttpClient::fetchString(server.url("/hop5"), body, error)) << error;
    EXPECT_EQ(body, "[]");
    // The redirected request carries the same header block.
    EXPECT_EQ(server.requestsFor("/list").back().headerLines(), (Lines{acceptGzip, userAgent}));

    body = "untouched";
    EXPECT_FALSE(HttpClient::fetchString(server.url("/hop6"), body, error));
    EXPECT_EQ(error, "Failed to connect");
    EXPECT_EQ(body, "untouched");
}

TEST_F(HttpRequests, GzipBodiesAreDecodedByTheirMagicBytesAlone)
{
    const std::string json = "{\"products\": [\"Aurora\"]}";
    server.setText("/plugins.json", testSupport::gzip(json), "application/json");
    server.setText("/plain.json", json, "application/json");
    server.setText("/empty", "");
    std::string body;
    std::string error;

    ASSERT_TRUE(HttpClient::fetchString(server.url("/plugins.json"), body, error)) << error;
    EXPECT_EQ(body, json);
    ASSERT_TRUE(HttpClient::fetchString(server.url("/plain.json"), body, error)) << error;
    EXPECT_EQ(body, json);
    body = "old";
    ASSERT_TRUE(HttpClient::fetchString(server.url("/empty"), body, error)) << error;
    EXPECT_EQ(body, "");
}

TEST(HttpBodies, OnlyTheGzipMagicTriggersDecompression)
{
    const std::string text = "changelog\n1.0.0\n";
    const auto packed = testSupport::gzip(text);
    EXPECT_EQ(HttpClient::decodeBody(packed.data(), packed.size()), text);
    EXPECT_EQ(HttpClient::decodeBody(nullptr, 5), "");
    EXPECT_EQ(HttpClient::decodeBody(text.data(), 0), "");
    // The first magic byte alone is plain text.
    EXPECT_EQ(HttpClient::decodeBody("\x1f", 1), "\x1f");
    EXPECT_EQ(HttpClient::decodeBody("\x1f{}", 3), "\x1f{}");
    // A damaged gzip body gives what could be decompressed, without failing.
    const auto damaged = packed.substr(0, packed.size() / 2);
    EXPECT_LE(HttpClient::decodeBody(damaged.data(), damaged.size()).size(), text.size());
}

TEST_F(HttpRequests, FailuresGiveTheirTextAndOneLogLine)
{
    server.setStatus("/missing", 404);
    server.setStatus("/broken", 500, "<h1>oops</h1>");
    const auto closed = closedUrl("/a.txt");
    std::string body = "untouched";
    std::string error;
    int64_t seconds = 42;

    EXPECT_FALSE(HttpClient::fetchString(server.url("/missing"), body, error));
    EXPECT_EQ(error, "HTTP 404");
    EXPECT_TRUE(HttpClient::isNotFound(error));
    EXPECT_FALSE(HttpClient::fetchString(server.url("/broken"), body, error));
    EXPECT_EQ(error, "HTTP 500");
    EXPECT_FALSE(HttpClient::fetchString(closed, body, error));
    EXPECT_EQ(error, "Failed to connect");
    EXPECT_EQ(body, "untouched");

    EXPECT_FALSE(HttpClient::fetchLastModified(server.url("/missing"), seconds, error));
    EXPECT_EQ(error, "HTTP 404");
    EXPECT_EQ(seconds, 0);
    seconds = 42;
    EXPECT_FALSE(HttpClient::fetchLastModified(closed, seconds, error));
    EXPECT_EQ(error, "Failed to connect");
    EXPECT_EQ(seconds, 0);

    EXPECT_EQ(logMessages(), (Lines{"GET " + server.url("/missing") + ": HTTP 404",
                                    "GET " + server.url("/broken") + ": HTTP 500",
                                    "GET " + closed + ": Failed to connect",
                                    "HEAD " + server.url("/missing") + ": HTTP 404",
                                    "HEAD " + closed + ": Failed to connect"}));
}

TEST_F(HttpRequests, LoginsAreCheckedByTheServerAndRefusalsClassified)
{
    server.requireLogin("/internal/", "team", "secret", 403);
    server.requireLogin("/donators/", "fan", "pw");
    server.setText("/internal/list", "team list");
    server.setText("/donators/list", "fan list");
    std::string body;
    std::string error;

    EXPECT_FALSE(HttpClient::fetchString(server.url("/internal/list"), body, error));
    EXPECT_EQ(error, "HTTP 401");
    EXPECT_TRUE(HttpClient::isAuthError(error));
    EXPECT_FALSE(HttpClient::fetchString(server.url("/internal/list"), body, error, {"team", "wrong"}));
    EXPECT_EQ(error, "HTTP 403");
    EXPECT_TRUE(HttpClient::isAuthError(error));
    // Half a login is not sent at all.
    EXPECT_FALSE(HttpClient::fetchString(server.url("/donators/list"), body, error, {"fan", ""}));
    EXPECT_EQ(error, "HTTP 401");

    ASSERT_TRUE(HttpClient::fetchString(server.url("/internal/list"), body, error, {"team", "secret"})) << error;
    EXPECT_EQ(body, "team list");
    ASSERT_TRUE(HttpClient::fetchString(server.url("/donators/list"), body, error, {"fan", "pw"})) << error;
    EXPECT_EQ(body, "fan list");
}

TEST_F(HttpRequests, TextCutShortIsReturnedAsFarAsItArrived)
{
    const std::string page(1000, 'x');
    server.setText("/page.html", page, "text/html");
    server.cutOff("/page.html", 600);
    std::string body;
    std::string error;

    ASSERT_TRUE(HttpClient::fetchString(server.url("/page.html"), body, error)) << error;
    EXPECT_EQ(body, page.substr(0, 600));
    EXPECT_EQ(server.requestCount("/page.html"), 1u);
}

TEST_F(HttpRequests, LastModifiedComesFromTheResponseHeader)
{
    server.setText("/dated.zip", "zip");
    server.setLastModified("/dated.zip", "Sun, 06 Nov 1994 08:49:37 GMT");
    server.setText("/undated.zip", "zip");
    server.setText("/garbled.zip", "zip");
    server.setLastModified("/garbled.zip", "yesterday");
    std::string error = "earlier failure";
    int64_t seconds = 0;

    ASSERT_TRUE(HttpClient::fetchLastModified(server.url("/dated.zip"), seconds, error)) << error;
    EXPECT_EQ(seconds, 784111777);
    EXPECT_EQ(error, "earlier failure");
    std::string body;
    ASSERT_TRUE(HttpClient::fetchString(server.url("/dated.zip"), body, error));
    EXPECT_EQ(error, "earlier failure");

    seconds = 5;
    EXPECT_FALSE(HttpClient::fetchLastModified(server.url("/undated.zip"), seconds, error));
    EXPECT_EQ(error, "No Last-Modified");
    EXPECT_EQ(seconds, 0);
    error.clear();
    EXPECT_FALSE(HttpClient::fetchLastModified(server.url("/garbled.zip"), seconds, error));
    EXPECT_EQ(error, "No Last-Modified");
    EXPECT_TRUE(logMessages().empty());
}

TEST_F(HttpRequests, ServedFoldersGiveListingsAndFileDates)
{
    work.write("builds/aurora/donators/Kestavel-Aurora-1.4.0-linux-x86_64.zip", "zip");
    setModificationTime(work.file("builds/aurora/donators/Kestavel-Aurora-1.4.0-linux-x86_64.zip"), 784111777);
    server.serveFolder("/builds/", work.file("builds"));
    std::string page;
    std::string error;
    int64_t seconds = 0;

    // The folder address without its final "/" is redirected to the one with it.
    ASSERT_TRUE(HttpClient::fetchString(server.url("/builds/aurora/donators"), page, error)) << error;
    EXPECT_NE(page.find("<a href=\"Kestavel-Aurora-1.4.0-linux-x86_64.zip\">Kestavel-Aurora-1.4.0-linux-x86_64.zip</a>"
                        "</td><td align=\"right\">1994-11-06 08:49"),
              std::string::npos)
        << page;
    ASSERT_TRUE(HttpClient::fetchLastModified(server.url("/builds/aurora/donators/Kestavel-Aurora-1.4.0-linux-x86_64.zip"),
                                              seconds, error))
        << error;
    EXPECT_EQ(seconds, 784111777);
    EXPECT_FALSE(HttpClient::fetchString(server.url("/builds/aurora/donators/missing.zip"), page, error));
    EXPECT_EQ(error, "HTTP 404");
}

TEST_F(HttpRequests, LocalAddressesReadTheDiskLiterally)
{
    work.write("site/index.html", "<html>index</html>");
    work.write("site/a%20b.json", "literal");
    work.write("site/a b.json", "decoded");
    setModificationTime(work.file("site/a b.json"), 1700000000);
    const std::string base = "file://" + work.path() + "/site/";
    std::string body;
    std::string error;
    int64_t seconds = 0;

    ASSERT_TRUE(HttpClient::fetchString(base, body, error)) << error;
    EXPECT_EQ(body, "<html>index</html>");
    ASSERT_TRUE(HttpClient::fetchString("file://" + work.path() + "/site", body, error)) << error;
    EXPECT_EQ(body, "<html>index</html>");
    ASSERT_TRUE(HttpClient::fetchString(base + "a%20b.json", body, error)) << error;
    EXPECT_EQ(body, "literal");

    ASSERT_TRUE(HttpClient::fetchLastModified(base + "a b.json", seconds, error)) << error;
    EXPECT_EQ(seconds, 1700000000);

    body = "untouched";
    EXPECT_FALSE(HttpClient::fetchString(base + "missing.json", body, error));
    EXPECT_EQ(error, "File not found: " + work.path() + "/site/missing.json");
    EXPECT_EQ(body, "untouched");
    seconds = 9;
    EXPECT_FALSE(HttpClient::fetchLastModified(base + "missing.json", seconds, error));
    EXPECT_EQ(error, "File not found: " + work.path() + "/site/missing.json");
    EXPECT_EQ(seconds, 0);
    EXPECT_TRUE(logMessages().empty());
}

TEST_F(HttpRetries, TooManyRequestsThreeTimesThenSuccess)
{
    server.setText("/products.json", "{}");
    server.answerTooManyRequests("/products.json", 3, " 1 ");
    std::string body;
    std::string error;

    ASSERT_TRUE(HttpClient::fetchString(server.url("/products.json"), body, error)) << error;
    EXPECT_EQ(body, "{}");
    EXPECT_EQ(server.requestCount("/products.json"), 4u);
    const auto line = server.url("/products.json") + ": too many requests, asking again in 1 s";
    EXPECT_EQ(logMessages(), (Lines{line, line, line}));
}

TEST_F(HttpRetries, TheFourthTooManyRequestsIsTheAnswer)
{
    server.setText("/a.zip", "zip");
    server.answerTooManyRequests("/a.zip", 4, "1");
    int64_t seconds = 0;
    std::string error;

    EXPECT_FALSE(HttpClient::fetchLastModified(server.url("/a.zip"), seconds, error));
    EXPECT_EQ(error, "HTTP 429");
    EXPECT_EQ(server.requestCount("/a.zip"), 4u);
    const auto line = server.url("/a.zip") + ": too many requests, asking again in 1 s";
    EXPECT_EQ(logMessages(), (Lines{line, line, line, "HEAD " + server.url("/a.zip") + ": HTTP 429"}));
}

TEST_F(HttpOnMessageThread, TooManyRequestsIsNotWaitedForOnTheMessageThread)
{
    server.setText("/a.txt", "body");
    // Without a Retry-After a wait would last 30 seconds.
    server.answerTooManyRequests("/a.txt", 1);
    std::string body;
    std::string error;

    EXPECT_FALSE(HttpClient::fetchString(server.url("/a.txt"), body, error));
    EXPECT_EQ(error, "HTTP 429");
    EXPECT_EQ(server.requestCount("/a.txt"), 1u);
    EXPECT_EQ(logMessages(), (Lines{"GET " + server.url("/a.txt") + ": HTTP 429"}));
}

TEST(HttpDates, ParsesTheFixedFormatOnly)
{
    int64_t seconds = -1;
    ASSERT_TRUE(HttpClient::parseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT", seconds));
    EXPECT_EQ(seconds, 784111777);
    seconds = -1;
    ASSERT_TRUE(HttpClient::parseHttpDate("06 Nov 1994 08:49:37 GMT", seconds));
    EXPECT_EQ(seconds, 784111777);
    ASSERT_TRUE(HttpClient::parseHttpDate("Thu, 01 Jan 1970 00:00:00 GMT", seconds));
    EXPECT_EQ(seconds, 0);
    ASSERT_TRUE(HttpClient::parseHttpDate("Thu, 01 Jan 1970 00:00:60 GMT", seconds));
    EXPECT_EQ(seconds, 60);
    // Leap day, and a day beyond the month's end counting on into the next month.
    ASSERT_TRUE(HttpClient::parseHttpDate("Tue, 29 Feb 2000 23:59:59 GMT", seconds));
    EXPECT_EQ(seconds, 951868799);
    ASSERT_TRUE(HttpClient::parseHttpDate("Sat, 31 Feb 2001 00:00:00 GMT", seconds));
    EXPECT_EQ(seconds, 983577600);

    for (const std::string rejected :
         {"Sun, 06 nov 1994 08:49:37 GMT", "Sun, 06 Nov 1969 08:49:37 GMT", "Sun, 00 Nov 1994 08:49:37 GMT",
          "Sun, 32 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994",
          "Sun, 06 November 1994 08:49:37 GMT", "Sun, 06 Nov 1994 08:49 GMT", "", "soon"})
    {
        seconds = 123;
        EXPECT_FALSE(HttpClient::parseHttpDate(rejected, seconds)) << rejected;
        EXPECT_EQ(seconds, 123) << rejected;
    }
}

TEST(HttpRetryDelay, RetryAfterSecondsDatesAndDefaults)
{
    const int64_t now = 784111777; // Sun, 06 Nov 1994 08:49:37 GMT
    EXPECT_EQ(HttpClient::retryDelaySeconds("120", 0, now), 120);
    EXPECT_EQ(HttpClient::retryDelaySeconds(" 7 ", 0, now), 7);
    EXPECT_EQ(HttpClient::retryDelaySeconds("\t007\r\n", 2, now), 7);
    EXPECT_EQ(HttpClient::retryDelaySeconds("300", 0, now), 300);
    EXPECT_EQ(HttpClient::retryDelaySeconds("500", 0, now), 300);
    EXPECT_EQ(HttpClient::retryDelaySeconds("100000", 0, now), 300);
    EXPECT_EQ(HttpClient::retryDelaySeconds("99999999999999999999999", 0, now), 300);

    // Defaults by attempt: 30, 60, 120, and no further.
    for (const std::string useless : {"", "0", "000", "-3", "soon", "1.5", "12 s"})
    {
        EXPECT_EQ(HttpClient::retryDelaySeconds(useless, 0, now), 30) << useless;
        EXPECT_EQ(HttpClient::retryDelaySeconds(useless, 1, now), 60) << useless;
        EXPECT_EQ(HttpClient::retryDelaySeconds(useless, 2, now), 120) << useless;
    }
    EXPECT_EQ(HttpClient::retryDelaySeconds("", 7, now), 120);
    EXPECT_EQ(HttpClient::retryDelaySeconds("", -2, now), 30);

    EXPECT_EQ(HttpClient::retryDelaySeconds("Sun, 06 Nov 1994 08:50:22 GMT", 0, now), 45);
    EXPECT_EQ(HttpClient::retryDelaySeconds("Mon, 07 Nov 1994 08:49:37 GMT", 0, now), 300);
    EXPECT_EQ(HttpClient::retryDelaySeconds("Sun, 06 Nov 1994 08:49:37 GMT", 1, now), 60);
    EXPECT_EQ(HttpClient::retryDelaySeconds("Sat, 05 Nov 1994 08:49:37 GMT", 2, now), 120);
}

TEST(HttpErrorTexts, ClassifiedByExactText)
{
    EXPECT_TRUE(HttpClient::isAuthError("HTTP 401"));
    EXPECT_TRUE(HttpClient::isAuthError("HTTP 403"));
    EXPECT_FALSE(HttpClient::isAuthError("HTTP 401 "));
    EXPECT_FALSE(HttpClient::isAuthError("HTTP 404"));
    EXPECT_FALSE(HttpClient::isAuthError("Login rejected"));
    EXPECT_TRUE(HttpClient::isNotFound("HTTP 404"));
    EXPECT_FALSE(HttpClient::isNotFound("HTTP 4040"));
    EXPECT_FALSE(HttpClient::isNotFound("http 404"));
    EXPECT_FALSE(HttpClient::isNotFound("Failed to connect"));
}
