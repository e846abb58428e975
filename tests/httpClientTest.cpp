#include "manager/http/httpClient.h"

#include "httpFixture.h"

#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

using namespace pluginManager;
using Lines = std::vector<std::string>;
using HttpRequests = httpTests::HttpFixture;
using HttpRetries = httpTests::HttpFixture;
using HttpOnMessageThread = httpTests::MessageThreadFixture;

namespace
{
const std::string userAgent = "User-Agent: VYR-Plugin-Manager";
const std::string acceptGzip = "Accept-Encoding: gzip";

testSupport::Reply lastModified(const std::string& date)
{
    testSupport::Reply reply;
    reply.body = "zip";
    reply.headers = {{"Last-Modified", date}};
    return reply;
}
}

TEST_F(HttpRequests, EachKindOfRequestSendsExactlyItsHeaderLines)
{
    server.setText("/a.txt", "body");
    enum Kind { Text, Date, Download };
    const struct
    {
        Kind kind;
        Credentials login;
        Lines lines;
    } cases[] = {
        {Text, {}, {acceptGzip, userAgent}},
        {Text, {"u", "p"}, {acceptGzip, "Authorization: Basic dTpw", userAgent}},
        // The UTF-8 bytes of the user; a colon in the password is kept.
        {Text, {"j\xc3\xbcrgen", "p:w"}, {acceptGzip, "Authorization: Basic asO8cmdlbjpwOnc=", userAgent}},
        // Half a login sends nothing.
        {Text, {"u", ""}, {acceptGzip, userAgent}},
        {Text, {"", "p"}, {acceptGzip, userAgent}},
        {Date, {}, {userAgent}},
        {Date, {"u", "p"}, {"Authorization: Basic dTpw", userAgent}},
        {Download, {}, {userAgent}},
        {Download, {"u", "p"}, {"Authorization: Basic dTpw", userAgent}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.kind) + " " + c.login.user + ":" + c.login.password);
        if (c.kind == Text)
            EXPECT_TRUE(HttpClient::fetchString(server.url("/a.txt"), body, error, c.login)) << error;
        else if (c.kind == Date)
            HttpClient::fetchLastModified(server.url("/a.txt"), seconds, error, c.login);
        else
            EXPECT_TRUE(HttpClient::downloadFile(server.url("/a.txt"), work.file("a.txt"), error, {}, {}, c.login));
        const auto sent = server.requests().back();
        EXPECT_EQ(sent.method, "GET");
        EXPECT_EQ(sent.headerLines(), c.lines);
    }
}

TEST_F(HttpRequests, RedirectsAreFollowedFiveTimes)
{
    server.setText("/list", "[]");
    for (int hop = 1; hop <= 6; ++hop)
        server.redirect("/hop" + std::to_string(hop), hop == 1 ? "/list" : "/hop" + std::to_string(hop - 1));

    ASSERT_TRUE(HttpClient::fetchString(server.url("/hop5"), body, error)) << error;
    EXPECT_EQ(body, "[]");

    body = "untouched";
    EXPECT_FALSE(HttpClient::fetchString(server.url("/hop6"), body, error));
    EXPECT_EQ(error, "Failed to connect");
    EXPECT_EQ(body, "untouched");
}

TEST_F(HttpRequests, GzipWithoutContentEncodingIsDecodedAndCutTextsKept)
{
    const std::string json = "{\"products\": [\"Aurora\"]}";
    server.setText("/plugins.json", testSupport::gzip(json), "application/json");
    server.setText("/empty", "");
    server.setText("/page.html", std::string(1000, 'x'), "text/html");
    server.cutOff("/page.html", 600);
    error = "earlier failure";

    ASSERT_TRUE(HttpClient::fetchString(server.url("/plugins.json"), body, error)) << error;
    EXPECT_EQ(body, json);
    ASSERT_TRUE(HttpClient::fetchString(server.url("/empty"), body, error)) << error;
    EXPECT_EQ(body, "");
    // Only downloads compare the size: a text is returned as far as it came, without a repeat.
    ASSERT_TRUE(HttpClient::fetchString(server.url("/page.html"), body, error)) << error;
    EXPECT_EQ(body, std::string(600, 'x'));
    EXPECT_EQ(server.requestCount("/page.html"), 1u);
    EXPECT_EQ(error, "earlier failure");
}

TEST(HttpBodies, OnlyTheGzipMagicTriggersDecompression)
{
    EXPECT_EQ(HttpClient::decodeBody(nullptr, 5), "");
    EXPECT_EQ(HttpClient::decodeBody("\x1f", 1), "\x1f");
    EXPECT_EQ(HttpClient::decodeBody("\x1f{}", 3), "\x1f{}");
}

TEST_F(HttpRequests, FailuresGiveTheirTextAndOneLogLine)
{
    server.setStatus("/missing", 404);
    server.setReply("/dated.zip", lastModified("Sun, 06 Nov 1994 08:49:37 GMT"));
    server.setText("/undated.zip", "zip");
    server.setReply("/garbled.zip", lastModified("yesterday"));
    const auto closed = closedUrl("/a.txt");
    body = "untouched";
    error = "earlier failure";

    ASSERT_TRUE(HttpClient::fetchLastModified(server.url("/dated.zip"), seconds, error)) << error;
    EXPECT_EQ(seconds, 784111777);
    EXPECT_EQ(error, "earlier failure");
    for (const auto* path : {"/undated.zip", "/garbled.zip"})
    {
        EXPECT_FALSE(HttpClient::fetchLastModified(server.url(path), seconds, error)) << path;
        EXPECT_EQ(error, "No Last-Modified");
        EXPECT_EQ(seconds, 0);
    }
    EXPECT_FALSE(HttpClient::fetchString(server.url("/missing"), body, error));
    EXPECT_EQ(error, "HTTP 404");
    EXPECT_FALSE(HttpClient::fetchString(closed, body, error));
    EXPECT_EQ(error, "Failed to connect");
    EXPECT_EQ(body, "untouched");
    EXPECT_FALSE(HttpClient::fetchLastModified(server.url("/missing"), seconds, error));
    EXPECT_EQ(error, "HTTP 404");
    EXPECT_FALSE(HttpClient::fetchLastModified(closed, seconds, error));
    EXPECT_EQ(error, "Failed to connect");

    // "No Last-Modified" is not logged.
    EXPECT_EQ(logMessages(), (Lines{"GET " + server.url("/missing") + ": HTTP 404", "GET " + closed + ": Failed to connect",
                                    "HEAD " + server.url("/missing") + ": HTTP 404",
                                    "HEAD " + closed + ": Failed to connect"}));
}

// 401, 403, 404 and 429 have tests of their own.
TEST_F(HttpRequests, EveryErrorStatusFailsWithItsNumber)
{
    for (const int status : {400, 402, 405, 410, 418, 451, 500, 502, 503, 599})
    {
        const auto path = "/status" + std::to_string(status);
        const auto text = "HTTP " + std::to_string(status);
        SCOPED_TRACE(text);
        server.setStatus(path, status, "an error page");
        body = "untouched";
        EXPECT_FALSE(HttpClient::fetchString(server.url(path), body, error));
        EXPECT_EQ(error + "|" + body, text + "|untouched");
        error.clear();
        EXPECT_FALSE(HttpClient::fetchLastModified(server.url(path), seconds, error));
        EXPECT_EQ(error, text);
        error.clear();
        EXPECT_FALSE(HttpClient::downloadFile(server.url(path), work.file("file"), error));
        EXPECT_EQ(error, text);
        EXPECT_FALSE(work.exists("file"));
    }
}

TEST_F(HttpRequests, LocalAddressesReadTheDiskLiterally)
{
    work.write("site/index.html", "<html>index</html>");
    work.write("site/a%20b.json", "literal");
    work.write("site/a b.json", "decoded");
    juce::File(work.file("site/a b.json")).setLastModificationTime(juce::Time(int64_t(1700000000) * 1000));
    const std::string base = "file://" + work.path() + "/site/";

    ASSERT_TRUE(HttpClient::fetchString(base, body, error)) << error;
    EXPECT_EQ(body, "<html>index</html>");
    ASSERT_TRUE(HttpClient::fetchString(base + "a%20b.json", body, error)) << error;
    EXPECT_EQ(body, "literal");
    ASSERT_TRUE(HttpClient::fetchLastModified(base + "a b.json", seconds, error)) << error;
    EXPECT_EQ(seconds, 1700000000);

    body = "untouched";
    EXPECT_FALSE(HttpClient::fetchString(base + "missing.json", body, error));
    EXPECT_EQ(error, "File not found: " + work.path() + "/site/missing.json");
    EXPECT_EQ(body, "untouched");
    EXPECT_FALSE(HttpClient::fetchLastModified(base + "missing.json", seconds, error));
    EXPECT_EQ(error, "File not found: " + work.path() + "/site/missing.json");
    EXPECT_EQ(seconds, 0);
    EXPECT_TRUE(logMessages().empty());
}

TEST_F(HttpRetries, TooManyRequestsIsAskedAgainThreeTimesAtMost)
{
    server.setText("/products.json", "{}");
    server.answerTooManyRequests("/products.json", 3, " 1 ");
    server.setText("/a.zip", "zip");
    server.answerTooManyRequests("/a.zip", 4, "1");

    ASSERT_TRUE(HttpClient::fetchString(server.url("/products.json"), body, error)) << error;
    EXPECT_EQ(body, "{}");
    EXPECT_FALSE(HttpClient::fetchLastModified(server.url("/a.zip"), seconds, error));
    EXPECT_EQ(error, "HTTP 429");

    EXPECT_EQ(server.requestCount("/products.json"), 4u);
    EXPECT_EQ(server.requestCount("/a.zip"), 4u);
    // Each request waits the second the server asked for after the one before.
    const auto requests = server.requests();
    for (size_t i = 1; i < requests.size(); ++i)
    {
        if (requests[i].path == requests[i - 1].path)
        {
            EXPECT_GE(requests[i].received - requests[i - 1].received, std::chrono::seconds(1)) << i;
        }
    }
    const auto text = server.url("/products.json") + ": too many requests, asking again in 1 s";
    const auto date = server.url("/a.zip") + ": too many requests, asking again in 1 s";
    EXPECT_EQ(logMessages(), (Lines{text, text, text, date, date, date, "HEAD " + server.url("/a.zip") + ": HTTP 429"}));
}

TEST_F(HttpOnMessageThread, TooManyRequestsIsNotWaitedForOnTheMessageThread)
{
    server.setText("/a.txt", "body");
    server.answerTooManyRequests("/a.txt", 1);

    EXPECT_FALSE(HttpClient::fetchString(server.url("/a.txt"), body, error));
    EXPECT_EQ(error, "HTTP 429");
    EXPECT_EQ(server.requestCount("/a.txt"), 1u);
    EXPECT_EQ(logMessages(), (Lines{"GET " + server.url("/a.txt") + ": HTTP 429"}));
}

TEST(HttpDates, ParsesTheFixedFormatOnly)
{
    const std::pair<std::string, int64_t> accepted[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", 784111777}, {"06 Nov 1994 08:49:37 GMT", 784111777},
        {"Thu, 01 Jan 1970 00:00:00 GMT", 0},         {"Thu, 01 Jan 1970 00:00:60 GMT", 60},
        {"Tue, 29 Feb 2000 23:59:59 GMT", 951868799},
        // A day beyond the month's end counts on into the next month.
        {"Sat, 31 Feb 2001 00:00:00 GMT", 983577600},
    };
    for (const auto& [text, expected] : accepted)
    {
        int64_t seconds = -1;
        EXPECT_TRUE(HttpClient::parseHttpDate(text, seconds)) << text;
        EXPECT_EQ(seconds, expected) << text;
    }
    for (const std::string rejected :
         {"Sun, 06 nov 1994 08:49:37 GMT", "Sun, 06 Nov 1969 08:49:37 GMT", "Sun, 00 Nov 1994 08:49:37 GMT",
          "Sun, 32 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994",
          "Sun, 06 November 1994 08:49:37 GMT", "Sun, 06 Nov 1994 08:49 GMT", "", "soon"})
    {
        int64_t seconds = 123;
        EXPECT_FALSE(HttpClient::parseHttpDate(rejected, seconds)) << rejected;
        EXPECT_EQ(seconds, 123) << rejected;
    }
}

TEST(HttpRetryDelay, RetryAfterSecondsDatesAndDefaults)
{
    const int64_t now = 784111777; // Sun, 06 Nov 1994 08:49:37 GMT
    const struct
    {
        std::string retryAfter;
        int attempt;
        int seconds;
    } cases[] = {
        {"120", 0, 120}, {" 7 ", 0, 7}, {"\t007\r\n", 2, 7}, {"300", 0, 300}, {"500", 0, 300},
        {"99999999999999999999999", 0, 300},
        // Defaults by attempt: 30, 60, 120, and no further.
        {"", 0, 30}, {"0", 1, 60}, {"-3", 2, 120}, {"soon", 0, 30}, {"1.5", 1, 60}, {"12 s", 2, 120},
        {"", 7, 120}, {"", -2, 30},
        {"Sun, 06 Nov 1994 08:50:22 GMT", 0, 45}, {"Mon, 07 Nov 1994 08:49:37 GMT", 0, 300},
        // A date that is now or past uses the default.
        {"Sun, 06 Nov 1994 08:49:37 GMT", 1, 60}, {"Sat, 05 Nov 1994 08:49:37 GMT", 2, 120},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HttpClient::retryDelaySeconds(c.retryAfter, c.attempt, now), c.seconds)
            << "\"" << c.retryAfter << "\", attempt " << c.attempt;
}

TEST(HttpErrorTexts, ClassifiedByExactText)
{
    EXPECT_TRUE(HttpClient::isAuthError("HTTP 401"));
    EXPECT_TRUE(HttpClient::isAuthError("HTTP 403"));
    EXPECT_FALSE(HttpClient::isAuthError("HTTP 401 "));
    EXPECT_FALSE(HttpClient::isAuthError("HTTP 404"));
    EXPECT_TRUE(HttpClient::isNotFound("HTTP 404"));
    EXPECT_FALSE(HttpClient::isNotFound("HTTP 4040"));
    EXPECT_FALSE(HttpClient::isNotFound("http 404"));
}
