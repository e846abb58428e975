#include "manager/httpClient.h"

#include "httpFixture.h"
#include "support/childProcess.h"

#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <thread>

#include <sys/resource.h>

using namespace pluginManager;
using httpTests::HttpFixture;
using httpTests::MessageThreadFixture;
using Lines = std::vector<std::string>;

namespace
{
// Bytes that differ from place to place, so a shifted or repeated block shows.
std::string pattern(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

bool exists(const std::string& path)
{
    return juce::File(path).exists();
}

// Compares whole files without printing hundreds of kilobytes on a mismatch.
::testing::AssertionResult holds(const std::string& path, const std::string& expected)
{
    const auto actual = testSupport::readFile(path);
    if (actual == expected)
        return ::testing::AssertionSuccess();
    const auto shown = [](const std::string& text) {
        return text.size() <= 40 ? "\"" + text + "\"" : std::to_string(text.size()) + " bytes";
    };
    return ::testing::AssertionFailure() << path << " holds " << shown(actual) << ", expected " << shown(expected);
}

// Whole percentages of the reports, in order.
std::vector<int> percentages(const std::vector<float>& reports)
{
    std::vector<int> result;
    for (const float fraction : reports)
        result.push_back(static_cast<int>(fraction * 100.0f));
    return result;
}

// Lets a child process write no file larger than this many bytes; a longer write fails instead
// of killing the process.
bool limitFileSize(rlim_t bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, bytes};
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

class Downloads : public HttpFixture
{
protected:
    std::string temp() const { return dest + ".downloading"; }

    const std::string path = "/builds/Kestavel-Aurora-1.4.0-linux-x86_64.zip";
    const std::string dest = work.file("Aurora_VST3_1.4.0.zip");
};

class AsyncHttp : public MessageThreadFixture
{
};
}

TEST_F(Downloads, StreamsTheWholeFileReportingEachWholePercent)
{
    const auto body = pattern(300000);
    server.setText(path, body, "application/zip");
    std::vector<float> reports;
    std::string error = "earlier failure";

    ASSERT_TRUE(HttpClient::downloadFile(server.url(path), dest, error,
                                         [&reports](float fraction) { reports.push_back(fraction); }))
        << error;

    EXPECT_EQ(error, "");
    EXPECT_TRUE(holds(dest, body));
    EXPECT_FALSE(exists(temp()));
    ASSERT_FALSE(reports.empty());
    EXPECT_LE(reports.size(), 101u);
    EXPECT_FLOAT_EQ(reports.back(), 1.0f);
    const auto percents = percentages(reports);
    for (size_t i = 1; i < percents.size(); ++i)
        EXPECT_LT(percents[i - 1], percents[i]);
    EXPECT_TRUE(logMessages().empty());
}

TEST_F(Downloads, SendsNoAcceptEncodingAndKeepsTheBytesAsSent)
{
    const auto packed = testSupport::gzip("a text that must stay packed");
    server.setText(path, packed, "application/gzip");
    std::string error;

    ASSERT_TRUE(HttpClient::downloadFile(server.url(path), dest, error)) << error;
    EXPECT_TRUE(holds(dest, packed));
    ASSERT_TRUE(HttpClient::downloadFile(server.url(path), dest, error, {}, nullptr, {"fan", "pw"})) << error;

    const auto received = server.requestsFor(path);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].headerLines(), (Lines{"User-Agent: VYR-Plugin-Manager"}));
    EXPECT_EQ(received[1].headerLines(),
              (Lines{"Authorization: Basic ZmFuOnB3", "User-Agent: VYR-Plugin-Manager"}));
}

TEST_F(Downloads, WithoutAnnouncedSizeProgressIsMinusOneOnce)
{
    for (const auto framing : {testSupport::Reply::Framing::Chunked, testSupport::Reply::Framing::UntilClose})
    {
        testSupport::Reply reply;
        reply.body = pattern(200000);
        reply.framing = framing;
        server.setReply(path, reply);
        std::vector<float> reports;
        std::string error;

        ASSERT_TRUE(HttpClient::downloadFile(server.url(path), dest, error,
                                             [&reports](float fraction) { reports.push_back(fraction); }))
            << error;
        EXPECT_TRUE(holds(dest, reply.body));
        EXPECT_EQ(reports, std::vector<float>{-1.0f});
    }
}

TEST_F(Downloads, ACutOffIsAskedForOnceMore)
{
    const auto body = pattern(1000);
    server.setText(path, body);
    server.cutOff(path, 600, 1);
    std::vector<float> reports;
    std::string error = "earlier failure";

    ASSERT_TRUE(HttpClient::downloadFile(server.url(path), dest, error,
                                         [&reports](float fraction) { reports.push_back(fraction); }))
        << error;

    EXPECT_EQ(error, "");
    EXPECT_TRUE(holds(dest, body));
    EXPECT_EQ(server.requestCount(path), 2u);
    // Each pass reports from the start again.
    EXPECT_EQ(percentages(reports), (std::vector<int>{60, 100}));
    EXPECT_EQ(logMessages(),
              (Lines{"Download " + server.url(path) + ": The download was cut off after 600 of 1000 bytes"}));
}

TEST_F(Downloads, TwoCutOffsFailAndKeepTheOldFile)
{
    server.setText(path, pattern(1000));
    server.cutOff(path, 600);
    testSupport::writeFile(dest, "old build");
    std::string error;

    EXPECT_FALSE(HttpClient::downloadFile(server.url(path), dest, error));

    EXPECT_EQ(error, "The download was cut off");
    EXPECT_TRUE(holds(dest, "old build"));
    EXPECT_FALSE(exists(temp()));
    EXPECT_EQ(server.requestCount(path), 2u);
    const auto line = "Download " + server.url(path) + ": The download was cut off after 600 of 1000 bytes";
    EXPECT_EQ(logMessages(), (Lines{line, line}));
}

TEST_F(Downloads, AChunkedBodyThatBreaksOffIsACutOffToo)
{
    testSupport::Reply reply;
    reply.body = pattern(1000);
    reply.framing = testSupport::Reply::Framing::Chunked;
    server.setReply(path, reply);
    server.cutOff(path, 600);
    testSupport::writeFile(dest, "old build");
    std::string error;

    EXPECT_FALSE(HttpClient::downloadFile(server.url(path), dest, error));

    EXPECT_EQ(error, "The download was cut off");
    EXPECT_TRUE(holds(dest, "old build"));
    EXPECT_FALSE(exists(temp()));
    const auto line = "Download " + server.url(path) + ": The download was cut off after 600 bytes";
    EXPECT_EQ(logMessages(), (Lines{line, line}));
}

TEST_F(Downloads, CancelledBeforeTheStartStopsAfterTheRequest)
{
    server.setText(path, pattern(1000));
    testSupport::writeFile(dest, "old build");
    auto cancel = std::make_shared<bool>(true);
    bool reported = false;
    std::string error;

    EXPECT_FALSE(HttpClient::downloadFile(server.url(path), dest, error,
                                          [&reported](float) { reported = true; }, cancel));

    EXPECT_EQ(error, "Cancelled");
    EXPECT_EQ(server.requestCount(path), 1u);
    EXPECT_TRUE(holds(dest, "old build"));
    EXPECT_FALSE(exists(temp()));
    EXPECT_FALSE(reported);
    EXPECT_TRUE(logMessages().empty());
}

TEST_F(Downloads, CancelDuringTheTransferRemovesThePartialFile)
{
    server.setText(path, pattern(1000000));
    // The server holds back the rest after the first block; the front end cancels meanwhile.
    server.stall(path, 100000, 300);
    testSupport::writeFile(dest, "old build");
    auto cancel = std::make_shared<bool>(false);
    int reports = 0;
    std::atomic<bool> started{false};
    std::thread frontEnd([&] {
        while (!started)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        setCancelled(cancel);
    });
    std::string error;

    EXPECT_FALSE(HttpClient::downloadFile(server.url(path), dest, error,
                                          [&](float) {
                                              ++reports;
                                              started = true;
                                          },
                                          cancel));
    started = true; // releases the front end also when no report came
    frontEnd.join();

    EXPECT_EQ(error, "Cancelled");
    // The read under way when the flag was set still finishes; the next check stops the transfer.
    EXPECT_LE(reports, 2);
    EXPECT_TRUE(holds(dest, "old build"));
    EXPECT_FALSE(exists(temp()));
    EXPECT_TRUE(logMessages().empty());
}

TEST_F(Downloads, CancelEndsTheWaitAfterTooManyRequests)
{
    server.setText(path, pattern(1000));
    // Without a Retry-After the wait would last 30 seconds.
    server.answerTooManyRequests(path, 1);
    auto cancel = std::make_shared<bool>(true);
    std::string error;

    EXPECT_FALSE(HttpClient::downloadFile(server.url(path), dest, error, {}, cancel));

    EXPECT_EQ(error, "Cancelled");
    EXPECT_EQ(server.requestCount(path), 1u);
    EXPECT_EQ(logMessages(), (Lines{server.url(path) + ": too many requests, asking again in 30 s"}));
}

TEST_F(Downloads, AStaleTemporaryFileIsReplaced)
{
    const auto body = pattern(5000);
    server.setText(path, body);
    testSupport::writeFile(temp(), pattern(90000) + "left over by a crashed run");
    std::string error;

    ASSERT_TRUE(HttpClient::downloadFile(server.url(path), dest, error)) << error;
    EXPECT_TRUE(holds(dest, body));
    EXPECT_FALSE(exists(temp()));
}

TEST_F(Downloads, ServerAndFolderFailures)
{
    server.setStatus(path, 404);
    const auto closed = closedUrl(path);
    std::string error;

    EXPECT_FALSE(HttpClient::downloadFile(server.url(path), dest, error));
    EXPECT_EQ(error, "HTTP 404");
    EXPECT_EQ(server.requestCount(path), 1u);
    EXPECT_FALSE(HttpClient::downloadFile(closed, dest, error));
    EXPECT_EQ(error, "Failed to connect to server");
    EXPECT_FALSE(exists(dest));
    EXPECT_FALSE(exists(temp()));

    server.setText(path, pattern(1000));
    const auto nowhere = work.file("missing/Aurora.zip");
    EXPECT_FALSE(HttpClient::downloadFile(server.url(path), nowhere, error));
    EXPECT_EQ(error, "Failed to create output file");
    EXPECT_FALSE(exists(work.file("missing")));

    EXPECT_EQ(logMessages(), (Lines{"Download " + server.url(path) + ": HTTP 404",
                                    "Download " + closed + ": Failed to connect to server"}));
}

TEST_F(Downloads, ADestinationThatCannotBeReplacedFails)
{
    server.setText(path, pattern(1000));
    testSupport::writeFile(dest + "/inside.txt", "keep");
    std::string error;

    EXPECT_FALSE(HttpClient::downloadFile(server.url(path), dest, error));

    EXPECT_EQ(error, "Failed to write " + dest);
    EXPECT_TRUE(holds(dest + "/inside.txt", "keep"));
    EXPECT_FALSE(exists(temp()));
}

TEST_F(Downloads, AFullDiskFailsWithoutTouchingTheOldFile)
{
    server.setText(path, pattern(400000));
    testSupport::writeFile(dest, "old build");
    const auto url = server.url(path);
    const auto target = dest;

    const int code = testSupport::runInChild([&url, &target] {
        if (!limitFileSize(100000))
            return 10;
        std::string error;
        if (HttpClient::downloadFile(url, target, error))
            return 1;
        return error == "Failed to write " + target ? 0 : 2;
    });

    EXPECT_EQ(code, 0) << "1: reported success, 2: another message, 10: no file size limit";
    EXPECT_TRUE(holds(dest, "old build"));
    EXPECT_FALSE(exists(temp()));
    // A short file on disk is not a cut-off: nothing is asked again.
    EXPECT_EQ(server.requestCount(path), 1u);
}

TEST_F(Downloads, LocalSourcesAreCopiedWithoutProgressOrCancel)
{
    work.write("site/Aurora.zip", "local build");
    work.write("site/index.html", "<html>index</html>");
    const std::string base = "file://" + work.path() + "/site/";
    auto cancel = std::make_shared<bool>(true);
    bool reported = false;
    std::string error = "earlier failure";

    ASSERT_TRUE(HttpClient::downloadFile(base + "Aurora.zip", dest, error, [&reported](float) { reported = true; },
                                         cancel));
    EXPECT_TRUE(holds(dest, "local build"));
    EXPECT_EQ(error, "earlier failure");
    EXPECT_FALSE(reported);

    const auto page = work.file("page.html");
    ASSERT_TRUE(HttpClient::downloadFile(base, page, error));
    EXPECT_TRUE(holds(page, "<html>index</html>"));

    EXPECT_FALSE(HttpClient::downloadFile(base + "gone.zip", dest, error));
    EXPECT_EQ(error, "File not found: " + work.path() + "/site/gone.zip");
    EXPECT_TRUE(holds(dest, "local build"));
    EXPECT_FALSE(exists(temp()));
    EXPECT_TRUE(logMessages().empty());
}

TEST_F(Downloads, ALocalCopyThatFailsKeepsTheOldFile)
{
    work.write("site/Aurora.zip", pattern(400000));
    testSupport::writeFile(dest, "old build");
    const auto url = "file://" + work.path() + "/site/Aurora.zip";
    const auto target = dest;

    const int code = testSupport::runInChild([&url, &target] {
        if (!limitFileSize(100000))
            return 10;
        std::string error;
        return HttpClient::downloadFile(url, target, error) ? 1 : 0;
    });

    EXPECT_EQ(code, 0) << "1: reported success, 10: no file size limit";
    EXPECT_TRUE(holds(dest, "old build"));
    EXPECT_FALSE(exists(temp()));
}

TEST_F(AsyncHttp, FetchStringDeliversOnTheMessageThread)
{
    server.setText("/plugins.json", testSupport::gzip("{}"));
    server.setStatus("/missing.json", 404);
    struct Result
    {
        bool ok = false;
        std::string text;
        bool onMessageThread = false;
    };
    std::vector<Result> results;
    auto collect = [&results](bool ok, const std::string& text) {
        results.push_back({ok, text, juce::MessageManager::getInstance()->isThisTheMessageThread()});
    };

    HttpClient::fetchStringAsync(server.url("/plugins.json"), collect);
    ASSERT_TRUE(pumpUntil([&] { return results.size() == 1; }));
    HttpClient::fetchStringAsync(server.url("/missing.json"), collect, {"fan", "pw"});
    ASSERT_TRUE(pumpUntil([&] { return results.size() == 2; }));

    EXPECT_TRUE(results[0].ok);
    EXPECT_EQ(results[0].text, "{}");
    EXPECT_FALSE(results[1].ok);
    EXPECT_EQ(results[1].text, "HTTP 404");
    EXPECT_TRUE(results[0].onMessageThread && results[1].onMessageThread);
    EXPECT_TRUE(server.requestsFor("/missing.json")[0].hasHeader("Authorization"));
}

TEST_F(AsyncHttp, DownloadDeliversProgressThenCompletion)
{
    const auto body = pattern(300000);
    const auto path = "/builds/Aurora.zip";
    const auto dest = work.file("Aurora.zip");
    server.setText(path, body);
    std::vector<std::string> events;
    bool allOnMessageThread = true;
    auto onMessageThread = [&allOnMessageThread] {
        allOnMessageThread = allOnMessageThread && juce::MessageManager::getInstance()->isThisTheMessageThread();
    };

    HttpClient::downloadFileAsync(
        server.url(path), dest,
        [&](float fraction) {
            onMessageThread();
            events.push_back(std::to_string(static_cast<int>(fraction * 100.0f)));
        },
        [&](bool ok, const std::string& error) {
            onMessageThread();
            events.push_back(ok ? "done" : "failed: " + error);
        },
        nullptr);
    ASSERT_TRUE(pumpUntil([&] { return !events.empty() && events.back().rfind("done", 0) == 0; }))
        << (events.empty() ? "" : events.back());

    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2], "100");
    EXPECT_TRUE(holds(dest, body));
    EXPECT_TRUE(allOnMessageThread);
}

TEST_F(AsyncHttp, DownloadWithoutProgressDeliversOnlyTheOutcome)
{
    server.setText("/a.zip", pattern(1000));
    auto cancel = std::make_shared<bool>(true);
    std::vector<std::pair<bool, std::string>> outcomes;

    HttpClient::downloadFileAsync(
        server.url("/a.zip"), work.file("a.zip"), {},
        [&outcomes](bool ok, const std::string& error) { outcomes.emplace_back(ok, error); }, nullptr);
    HttpClient::downloadFileAsync(
        server.url("/a.zip"), work.file("b.zip"), {},
        [&outcomes](bool ok, const std::string& error) { outcomes.emplace_back(ok, error); }, cancel);
    ASSERT_TRUE(pumpUntil([&] { return outcomes.size() == 2; }));

    std::sort(outcomes.begin(), outcomes.end());
    EXPECT_EQ(outcomes[0], std::make_pair(false, std::string("Cancelled")));
    EXPECT_EQ(outcomes[1], std::make_pair(true, std::string()));
    EXPECT_TRUE(exists(work.file("a.zip")));
    EXPECT_FALSE(exists(work.file("b.zip")));
}
