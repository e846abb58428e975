#include "manager/http/httpClient.h"

#include "httpFixture.h"
#include "support/childProcess.h"

#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>

#include <sys/resource.h>

using namespace pluginManager;
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
    return ::testing::AssertionFailure() << path << " holds other bytes: " << actual.size() << " of them, not "
                                         << expected.size() << (actual.size() < 40 ? ": " + actual : "");
}

// Whole percentages of the reports, in order.
std::vector<int> percentages(const std::vector<float>& reports)
{
    std::vector<int> result;
    for (const float fraction : reports)
        result.push_back(static_cast<int>(fraction * 100.0f));
    return result;
}

using AsyncHttp = httpTests::MessageThreadFixture;

class Downloads : public httpTests::HttpFixture
{
protected:
    std::string temp() const { return dest + ".downloading"; }
    std::function<void(float)> report() { return [this](float fraction) { reports.push_back(fraction); }; }

    const std::string path = "/builds/Kestavel-Aurora-1.4.0-linux-x86_64.zip";
    const std::string dest = work.file("Aurora_VST3_1.4.0.zip");
    std::vector<float> reports;
};
}

TEST_F(Downloads, StreamsTheBytesAsSentReportingEachWholePercent)
{
    // gzip data first: a download must not unpack it. Large enough for several reads per percent.
    const auto body = testSupport::gzip("packed") + pattern(10000000);
    server.setText(path, body, "application/zip");
    // A stale temporary file from a crashed run, longer than the new file.
    testSupport::writeFile(temp(), body + "left over");
    error = "earlier failure";

    ASSERT_TRUE(HttpClient::downloadFile(server.url(path), dest, error, report())) << error;

    EXPECT_EQ(error, "");
    EXPECT_TRUE(holds(dest, body));
    EXPECT_FALSE(exists(temp()));
    ASSERT_FALSE(reports.empty());
    EXPECT_FLOAT_EQ(reports.back(), 1.0f);
    // One report per whole percent, so no more than 101.
    const auto percents = percentages(reports);
    for (size_t i = 1; i < percents.size(); ++i)
        EXPECT_LT(percents[i - 1], percents[i]);
    EXPECT_TRUE(logMessages().empty());
}

TEST_F(Downloads, WithoutAnnouncedSizeProgressIsMinusOneOnce)
{
    for (const auto framing : {testSupport::Reply::Framing::Chunked, testSupport::Reply::Framing::UntilClose})
    {
        testSupport::Reply reply;
        reply.body = pattern(200000);
        reply.framing = framing;
        server.setReply(path, reply);
        reports.clear();

        ASSERT_TRUE(HttpClient::downloadFile(server.url(path), dest, error, report())) << error;
        EXPECT_TRUE(holds(dest, reply.body));
        EXPECT_EQ(reports, std::vector<float>{-1.0f});
    }
}

TEST_F(Downloads, ACutOffIsAskedForOnceMore)
{
    const auto body = pattern(1000);
    server.setText(path, body);
    server.cutOff(path, 600, 1);

    ASSERT_TRUE(HttpClient::downloadFile(server.url(path), dest, error, report())) << error;

    EXPECT_EQ(error, "");
    EXPECT_TRUE(holds(dest, body));
    EXPECT_EQ(server.requestCount(path), 2u);
    // Each pass reports from the start again.
    EXPECT_EQ(percentages(reports), (std::vector<int>{60, 100}));
    EXPECT_EQ(logMessages(),
              (Lines{"Download " + server.url(path) + ": The download was cut off after 600 of 1000 bytes"}));
}

TEST_F(Downloads, APauseMidBodyIsNoCutOff)
{
    const auto body = pattern(1000);
    server.setText(path, body);
    server.stall(path, 400, 1500);

    ASSERT_TRUE(HttpClient::downloadFile(server.url(path), dest, error, report())) << error;

    EXPECT_TRUE(holds(dest, body));
    EXPECT_EQ(server.requestCount(path), 1u);
}

TEST_F(Downloads, FilesOfAServedFolderStreamWithTheirDateAndCanBeCutOff)
{
    // The try-it run and the benchmark serve their builds this way; several reads' worth of bytes.
    const auto body = pattern(3000000);
    testSupport::writeFile(work.file("site/a.zip"), body);
    juce::File(work.file("site/a.zip")).setLastModificationTime(juce::Time(2024, 4, 1, 12, 30, 15));
    server.serveFolder("/site/", work.file("site"));
    server.cutOff("/site/a.zip", 1000, 1);

    ASSERT_TRUE(HttpClient::downloadFile(server.url("/site/a.zip"), dest, error, report())) << error;
    EXPECT_TRUE(holds(dest, body));
    EXPECT_EQ(server.requestCount("/site/a.zip"), 2u);
    ASSERT_TRUE(HttpClient::fetchLastModified(server.url("/site/a.zip"), seconds, error)) << error;
    EXPECT_EQ(seconds, juce::Time(2024, 4, 1, 12, 30, 15).toMilliseconds() / 1000);
}

TEST_F(Downloads, TwoCutOffsFailAndKeepTheOldFile)
{
    testSupport::writeFile(dest, "old build");
    const std::pair<testSupport::Reply::Framing, std::string> cases[] = {
        {testSupport::Reply::Framing::ContentLength, "600 of 1000 bytes"},
        // Without a size only the missing last chunk tells.
        {testSupport::Reply::Framing::Chunked, "600 bytes"},
    };
    Lines lines;
    for (const auto& [framing, cut] : cases)
    {
        SCOPED_TRACE(cut);
        testSupport::Reply reply;
        reply.body = pattern(1000);
        reply.framing = framing;
        server.setReply(path, reply);
        server.cutOff(path, 600);

        EXPECT_FALSE(HttpClient::downloadFile(server.url(path), dest, error));
        EXPECT_EQ(error, "The download was cut off");
        EXPECT_TRUE(holds(dest, "old build"));
        EXPECT_FALSE(exists(temp()));
        lines.insert(lines.end(), 2, "Download " + server.url(path) + ": The download was cut off after " + cut);
        EXPECT_EQ(logMessages(), lines);
    }
    EXPECT_EQ(server.requestCount(path), 4u);
}

TEST_F(Downloads, CancelBeforeDuringOrInAWaitKeepsTheOldFile)
{
    server.setText(path, pattern(300000));
    testSupport::writeFile(dest, "old build");
    for (const std::string when : {"before", "during", "in a wait"})
    {
        SCOPED_TRACE(when);
        if (when == "in a wait")
            server.answerTooManyRequests(path, 1);
        auto cancel = std::make_shared<bool>(when != "during");
        reports.clear();

        // Set during the transfer, the flag stops it at the next read.
        EXPECT_FALSE(HttpClient::downloadFile(server.url(path), dest, error, [&](float fraction) {
            reports.push_back(fraction);
            setCancelled(cancel);
        }, cancel));
        EXPECT_EQ(error, "Cancelled");
        EXPECT_EQ(reports.size(), when == "during" ? 1u : 0u);
        EXPECT_TRUE(holds(dest, "old build"));
        EXPECT_FALSE(exists(temp()));
    }
    // One request each; only the wait is logged.
    EXPECT_EQ(server.requestCount(path), 3u);
    EXPECT_EQ(logMessages(), (Lines{server.url(path) + ": too many requests, asking again in 30 s"}));
}

TEST_F(Downloads, ServerFolderAndDestinationFailures)
{
    server.setStatus(path, 404);
    server.setText("/a.zip", pattern(1000));
    const auto closed = closedUrl(path);
    testSupport::writeFile(work.file("folder.zip/inside.txt"), "keep");

    EXPECT_FALSE(HttpClient::downloadFile(server.url(path), dest, error));
    EXPECT_EQ(error, "HTTP 404");
    EXPECT_EQ(server.requestCount(path), 1u);
    EXPECT_FALSE(HttpClient::downloadFile(closed, dest, error));
    EXPECT_EQ(error, "Failed to connect to server");
    EXPECT_FALSE(exists(dest));
    EXPECT_FALSE(exists(temp()));

    EXPECT_FALSE(HttpClient::downloadFile(server.url("/a.zip"), work.file("missing/Aurora.zip"), error));
    EXPECT_EQ(error, "Failed to create output file");
    EXPECT_FALSE(exists(work.file("missing")));
    // A folder in the destination's place cannot be replaced.
    EXPECT_FALSE(HttpClient::downloadFile(server.url("/a.zip"), work.file("folder.zip"), error));
    EXPECT_EQ(error, "Failed to write " + work.file("folder.zip"));
    EXPECT_TRUE(holds(work.file("folder.zip/inside.txt"), "keep"));
    EXPECT_FALSE(exists(work.file("folder.zip.downloading")));

    EXPECT_EQ(logMessages(),
              (Lines{"Download " + server.url(path) + ": HTTP 404", "Download " + closed + ": Failed to connect to server"}));
}

TEST_F(Downloads, AFullDiskFailsAndKeepsTheOldFile)
{
    server.setText(path, pattern(400000));
    work.write("site/Aurora.zip", pattern(400000));
    testSupport::writeFile(dest, "old build");
    const auto local = work.file("site/Aurora.zip");
    const std::pair<std::string, std::string> cases[] = {{server.url(path), "Failed to write " + dest},
                                                         {"file://" + local, "File not found: " + local}};
    for (const auto& urlAndError : cases)
    {
        SCOPED_TRACE(urlAndError.first);
        const int code = testSupport::runInChild([&urlAndError, this] {
            // A write beyond this size now fails instead of killing the process.
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{100000, 100000};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
                return 10;
            if (HttpClient::downloadFile(urlAndError.first, dest, error))
                return 1;
            return error == urlAndError.second ? 0 : 2;
        });
        EXPECT_EQ(code, 0) << "1: reported success, 2: another message, 10: no file size limit";
        EXPECT_TRUE(holds(dest, "old build"));
        EXPECT_FALSE(exists(temp()));
    }
    // A short file on disk is not a cut-off: nothing is asked again.
    EXPECT_EQ(server.requestCount(path), 1u);
}

TEST_F(Downloads, LocalSourcesAreCopiedWithoutProgressOrCancel)
{
    work.write("site/Aurora.zip", "local build");
    work.write("site/index.html", "<html>index</html>");
    const std::string base = "file://" + work.path() + "/site/";
    bool reported = false;
    error = "earlier failure";

    ASSERT_TRUE(HttpClient::downloadFile(base + "Aurora.zip", dest, error, [&reported](float) { reported = true; },
                                         std::make_shared<bool>(true)));
    EXPECT_TRUE(holds(dest, "local build"));
    EXPECT_EQ(error, "earlier failure");
    EXPECT_FALSE(reported);
    ASSERT_TRUE(HttpClient::downloadFile(base, work.file("page.html"), error));
    EXPECT_TRUE(holds(work.file("page.html"), "<html>index</html>"));

    EXPECT_FALSE(HttpClient::downloadFile(base + "gone.zip", dest, error));
    EXPECT_EQ(error, "File not found: " + work.path() + "/site/gone.zip");
    EXPECT_TRUE(holds(dest, "local build"));
    EXPECT_TRUE(logMessages().empty());
}

TEST_F(AsyncHttp, BothFormsDeliverOnTheMessageThread)
{
    const auto body = pattern(300000);
    server.setText("/a.zip", body);
    server.setText("/plugins.json", testSupport::gzip("{}"));
    server.setStatus("/missing.json", 404);
    std::vector<std::string> events;
    bool elsewhere = false;
    auto record = [&](const std::string& event) {
        elsewhere = elsewhere || !juce::MessageManager::getInstance()->isThisTheMessageThread();
        events.push_back(event);
    };
    auto done = [&record](bool ok, const std::string& text) { record((ok ? "done " : "failed ") + text); };

    HttpClient::fetchStringAsync(server.url("/plugins.json"), done);
    HttpClient::fetchStringAsync(server.url("/missing.json"), done, {"fan", "pw"});
    ASSERT_TRUE(pumpUntil([&] { return events.size() == 2; }));
    std::sort(events.begin(), events.end());
    EXPECT_EQ(events, (Lines{"done {}", "failed HTTP 404"}));
    EXPECT_TRUE(server.requestsFor("/missing.json")[0].hasHeader("Authorization"));

    events.clear();
    HttpClient::downloadFileAsync(
        server.url("/a.zip"), work.file("a.zip"),
        [&record](float fraction) { record(std::to_string(static_cast<int>(fraction * 100.0f))); }, done, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return !events.empty() && events.back() == "done "; })) << events.size();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2], "100");
    EXPECT_TRUE(holds(work.file("a.zip"), body));

    // Without a progress callback only the outcome comes.
    events.clear();
    HttpClient::downloadFileAsync(server.url("/a.zip"), work.file("b.zip"), {}, done, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return !events.empty(); }));
    EXPECT_EQ(events, Lines{"done "});
    EXPECT_TRUE(holds(work.file("b.zip"), body));
    EXPECT_FALSE(elsewhere);
}
