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
using testSupport::Reply;
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

// Without printing hundreds of kilobytes on a mismatch.
::testing::AssertionResult holds(const std::string& path, const std::string& expected)
{
    const auto actual = testSupport::readFile(path);
    if (actual == expected)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << path << " holds " << actual.size() << " other bytes, not "
                                         << expected.size() << (actual.size() < 40 ? ": " + actual : "");
}

std::vector<int> percentages(const std::vector<float>& reports)
{
    std::vector<int> result;
    for (const float fraction : reports)
        result.push_back(static_cast<int>(fraction * 100.0f));
    return result;
}

Reply framed(Reply::Framing framing, size_t size)
{
    return {200, pattern(size), "application/zip", {}, framing};
}

using AsyncHttp = httpTests::MessageThreadFixture;

class Downloads : public httpTests::HttpFixture
{
protected:
    bool download(const std::string& url) { return HttpClient::downloadFile(url, dest, error, report()); }
    std::function<void(float)> report() { return [this](float fraction) { reports.push_back(fraction); }; }
    // Neither a new file nor a half one took the old one's place.
    void keptTheOldFile() const
    {
        EXPECT_TRUE(holds(dest, "old build"));
        EXPECT_FALSE(juce::File(dest + ".downloading").exists());
    }

    const std::string path = "/builds/Kestavel-Aurora-1.4.0-linux-x86_64.zip";
    const std::string dest = work.file("Aurora_VST3_1.4.0.zip");
    std::vector<float> reports;
};
}

TEST_F(Downloads, StreamsTheBytesAsSentReportingEachWholePercent)
{
    // gzip data first: a download must not unpack it. Large enough for several reads per percent.
    const auto bytes = testSupport::gzip("packed") + pattern(10000000);
    server.setText(path, bytes, "application/zip");
    // A stale temporary file from a crashed run, longer than the new file.
    testSupport::writeFile(dest + ".downloading", bytes + "left over");
    error = "earlier failure";

    ASSERT_TRUE(download(server.url(path))) << error;
    EXPECT_EQ(error, "");
    EXPECT_TRUE(holds(dest, bytes));
    EXPECT_FALSE(juce::File(dest + ".downloading").exists());
    ASSERT_FALSE(reports.empty());
    EXPECT_FLOAT_EQ(reports.back(), 1.0f);
    const auto percents = percentages(reports);
    // One report per whole percent.
    EXPECT_EQ(std::adjacent_find(percents.begin(), percents.end(), std::greater_equal<int>()), percents.end());
    EXPECT_TRUE(logMessages().empty());
}

TEST_F(Downloads, WithoutAnnouncedSizeProgressIsMinusOneOnce)
{
    for (const auto framing : {Reply::Framing::Chunked, Reply::Framing::UntilClose})
    {
        server.setReply(path, framed(framing, 200000));
        reports.clear();
        ASSERT_TRUE(download(server.url(path))) << error;
        EXPECT_TRUE(holds(dest, pattern(200000)));
        EXPECT_EQ(reports, std::vector<float>{-1.0f});
    }
}

// A pause mid-body is no cut-off; a cut-off is asked for once more, and each pass reports from
// the start again.
TEST_F(Downloads, ACutOffIsAskedForOnceMoreAndAPauseIsNone)
{
    server.setText(path, pattern(1000));
    server.stall(path, 300, 1500);
    server.cutOff(path, 600, 1);

    ASSERT_TRUE(download(server.url(path))) << error;
    EXPECT_EQ(error, "");
    EXPECT_TRUE(holds(dest, pattern(1000)));
    EXPECT_EQ(server.requestCount(path), 2u);
    EXPECT_EQ(percentages(reports), (std::vector<int>{60, 100}));
    EXPECT_EQ(logMessages(),
              (Lines{"Download " + server.url(path) + ": The download was cut off after 600 of 1000 bytes"}));
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
    Lines lines;
    // Without a size only the missing last chunk tells.
    for (const auto& [framing, cut] : {std::pair{Reply::Framing::ContentLength, "600 of 1000 bytes"},
                                       std::pair{Reply::Framing::Chunked, "600 bytes"}})
    {
        SCOPED_TRACE(cut);
        server.setReply(path, framed(framing, 1000));
        server.cutOff(path, 600);
        EXPECT_FALSE(download(server.url(path)));
        EXPECT_EQ(error, "The download was cut off");
        keptTheOldFile();
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
        keptTheOldFile();
    }
    // One request each; only the wait is logged.
    EXPECT_EQ(server.requestCount(path), 3u);
    EXPECT_EQ(logMessages(), (Lines{server.url(path) + ": too many requests, asking again in 30 s"}));
}

TEST_F(Downloads, ADestinationThatCannotBeWrittenFails)
{
    server.setText(path, pattern(1000));
    work.write("folder.zip/inside.txt", "keep");

    EXPECT_FALSE(HttpClient::downloadFile(server.url(path), work.file("missing/Aurora.zip"), error));
    EXPECT_EQ(error, "Failed to create output file");
    EXPECT_FALSE(work.exists("missing"));
    EXPECT_FALSE(HttpClient::downloadFile(server.url(path), work.file("folder.zip"), error));
    EXPECT_EQ(error, "Failed to write " + work.file("folder.zip"));
    EXPECT_EQ(work.read("folder.zip/inside.txt"), "keep");
    EXPECT_FALSE(work.exists("folder.zip.downloading"));
    EXPECT_TRUE(logMessages().empty());
}

TEST_F(Downloads, AFullDiskFailsAndKeepsTheOldFile)
{
    server.setText(path, pattern(400000));
    work.write("site/Aurora.zip", pattern(400000));
    testSupport::writeFile(dest, "old build");
    const auto local = work.file("site/Aurora.zip");
    for (const auto& [url, message] : {std::pair{server.url(path), "Failed to write " + dest},
                                       std::pair{"file://" + local, "File not found: " + local}})
    {
        SCOPED_TRACE(url);
        const int code = testSupport::runInChild([&url = url, &message = message, this] {
            // A write beyond this size now fails instead of killing the process.
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{100000, 100000};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
                return 10;
            if (HttpClient::downloadFile(url, dest, error))
                return 1;
            return error == message ? 0 : 2;
        });
        EXPECT_EQ(code, 0) << "1: reported success, 2: another message, 10: no file size limit";
        keptTheOldFile();
    }
    // A short file on disk is not a cut-off: nothing is asked again.
    EXPECT_EQ(server.requestCount(path), 1u);
}

TEST_F(AsyncHttp, BothFormsDeliverOnTheMessageThread)
{
    const auto bytes = pattern(300000);
    server.setText("/a.zip", bytes);
    server.setText("/plugins.json", testSupport::gzip("{}"));
    server.setStatus("/missing.json", 404);
    Lines events;
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
    const auto percent = [&record](float fraction) { record(std::to_string(static_cast<int>(fraction * 100.0f))); };
    HttpClient::downloadFileAsync(server.url("/a.zip"), work.file("a.zip"), percent, done, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return events.size() > 1 && events.back() == "done "; }));
    EXPECT_EQ(events[events.size() - 2], "100");
    EXPECT_TRUE(holds(work.file("a.zip"), bytes));
    // Without a progress callback only the outcome comes.
    events.clear();
    HttpClient::downloadFileAsync(server.url("/a.zip"), work.file("b.zip"), {}, done, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return !events.empty(); }));
    EXPECT_EQ(events, Lines{"done "});
    EXPECT_TRUE(holds(work.file("b.zip"), bytes));
    EXPECT_FALSE(elsewhere);
}
