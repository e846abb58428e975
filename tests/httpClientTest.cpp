// Requests, downloads and their failures against the loopback server.
#include "manager/http/httpClient.h"

#include "httpFixture.h"
#include "support/childProcess.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>

#include <unistd.h>

using namespace pluginManager;
using Lines = std::vector<std::string>;
using HttpOnMessageThread = httpTests::MessageThreadFixture;

namespace
{
const std::string userAgent = "User-Agent: VYR-Plugin-Manager", acceptGzip = "Accept-Encoding: gzip",
                  basicUp = "Authorization: Basic dTpw";

enum Kind { Text, Date, Download };

// Bytes that differ from place to place, so a shifted or repeated block shows.
std::string pattern(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

// Long bytes by their size and a hash: a mismatch must not print hundreds of kilobytes.
std::string shown(const std::string& bytes)
{
    if (bytes.size() <= 100)
        return bytes;
    return std::to_string(bytes.size()) + " bytes #" + std::to_string(std::hash<std::string>()(bytes));
}

class HttpRequests : public httpTests::HttpFixture
{
protected:
    // "ok " or "failed ", then the body, the date or what the destination holds, then "|" and the
    // error, which was "earlier" before. No temporary file may stay behind.
    std::string outcome(Kind kind, const std::string& url, const Credentials& login = {})
    {
        std::string result = "untouched", message = "earlier";
        int64_t date = -1;
        const bool ok = kind == Text ? HttpClient::fetchString(url, result, message, login)
                        : kind == Date ? HttpClient::fetchLastModified(url, date, message, login)
                                       : HttpClient::downloadFile(url, dest, message, progress, cancel, login);
        if (kind != Text)
            result = kind == Date ? std::to_string(date) : testSupport::readFile(dest);
        EXPECT_FALSE(juce::File(dest + ".downloading").exists());
        return (ok ? "ok " : "failed ") + shown(result) + "|" + message;
    }

    const std::string path = "/builds/Kestavel-Aurora-1.4.0-linux-x86_64.zip", dest = work.file("Aurora.zip");
    std::vector<float> reports;
    std::function<void(float)> progress = [this](float fraction) { reports.push_back(fraction); };
    std::shared_ptr<bool> cancel;
};
}

TEST_F(HttpRequests, EachKindOfRequestSendsExactlyItsHeaderLines)
{
    server.setText("/a.txt", "body");
    const std::tuple<Kind, Credentials, Lines> cases[] = {
        {Text, {}, {acceptGzip, userAgent}}, {Text, {"u", "p"}, {acceptGzip, basicUp, userAgent}},
        // The UTF-8 bytes of the user; a colon in the password is kept.
        {Text, {"j\xc3\xbcrgen", "p:w"}, {acceptGzip, "Authorization: Basic asO8cmdlbjpwOnc=", userAgent}},
        // Half a login sends nothing.
        {Text, {"u", ""}, {acceptGzip, userAgent}}, {Text, {"", "p"}, {acceptGzip, userAgent}},
        {Date, {"u", "p"}, {basicUp, userAgent}}, {Download, {"u", "p"}, {basicUp, userAgent}},
    };
    for (const auto& [kind, login, lines] : cases)
    {
        outcome(kind, server.url("/a.txt"), login);
        EXPECT_EQ(server.requests().back().headerLines, lines) << kind << " " << login.user << ":" << login.password;
    }
}

// A text is gunzipped by its first bytes whatever the headers say; one cut short of its announced
// size or its last chunk fails, and is not asked for again; five redirects are followed; a date
// comes from the header only; a local address (the program is built with a local source here) is
// read literally from the disk.
TEST_F(HttpRequests, TextsDatesAndLocalFiles)
{
    server.setText("/plugins.json", testSupport::gzip("{\"a\": 1}"), "application/json");
    server.setText("/page.html", std::string(100, 'x'), "text/html");
    server.cutOff("/page.html", 60);
    server.setReply("/chunked.html", {200, "whole", "text/html", {}, true});
    server.setReply("/broken.html", {200, std::string(100, 'x'), "text/html", {}, true});
    server.cutOff("/broken.html", 60);
    server.setText("/list", "[]");
    for (int hop = 1; hop <= 6; ++hop)
        server.redirect("/hop" + std::to_string(hop), hop == 1 ? "/list" : "/hop" + std::to_string(hop - 1));
    server.setReply("/dated", {200, "zip", "application/zip", {{"Last-Modified", "Sun, 06 Nov 1994 08:49:37 GMT"}}});
    server.setText("/undated", "zip");
    server.setReply("/garbled", {200, "zip", "application/zip", {{"Last-Modified", "yesterday"}}});
    work.write("site/index.html", "<html>index</html>");
    work.write("site/a%20b.json", "literal");
    work.write("site/a b.json", "decoded");
    juce::File(work.file("site/a b.json")).setLastModificationTime(juce::Time(int64_t(1700000000) * 1000));
    const std::string site = "file://" + work.path() + "/site/", gone = site + "missing.json";
    const std::string missing = "|File not found: " + work.path() + "/site/missing.json";
    testSupport::pointEndpointsAt(site);
    const std::tuple<Kind, std::string, std::string> cases[] = {
        {Text, "/plugins.json", "ok {\"a\": 1}|earlier"}, {Text, "/hop5", "ok []|earlier"},
        {Text, "/page.html", "failed untouched|The answer was cut off"},
        {Text, "/broken.html", "failed untouched|The answer was cut off"}, {Text, "/chunked.html", "ok whole|earlier"},
        {Date, "/dated", "ok 784111777|earlier"},
        {Text, "/hop6", "failed untouched|Failed to connect"}, {Date, "/garbled", "failed 0|No Last-Modified"},
        {Date, "/undated", "failed 0|No Last-Modified"}, {Text, site, "ok <html>index</html>|earlier"},
        {Text, site + "a%20b.json", "ok literal|earlier"}, {Date, site + "a b.json", "ok 1700000000|earlier"},
        {Download, site + "a b.json", "ok decoded|earlier"}, {Text, gone, "failed untouched" + missing},
        {Date, gone, "failed 0" + missing}, {Download, gone, "failed decoded" + missing},
    };
    for (const auto& [kind, url, expected] : cases)
        EXPECT_EQ(outcome(kind, url[0] == '/' ? server.url(url) : url), expected) << url;
    EXPECT_EQ(server.requestCount("/page.html"), 1u);
    const auto cut = [this](const std::string& path) { return "GET " + server.url(path) + ": The answer was cut off"; };
    EXPECT_EQ(logMessages(), (Lines{cut("/page.html"), cut("/broken.html"), "GET " + server.url("/hop6") + ": Failed to connect"}));

    EXPECT_EQ(HttpClient::decodeBody(nullptr, 5) + "|" + HttpClient::decodeBody("\x1f", 1) + "|" +
                  HttpClient::decodeBody("\x1f{}", 3), "|\x1f|\x1f{}");
}

// Only http and https reach the network, whatever the case of the scheme; a "file:///" address
// reads the disk only in a program built with a local source. Anything else fails at once, as a
// missing file does, and changes nothing.
TEST_F(HttpRequests, OnlyWebAddressesAndTheFilesOfALocalSourceAreFollowed)
{
    server.setText("/a.txt", "web");
    EXPECT_EQ(outcome(Text, "HTTP" + server.url("/a.txt").substr(4)), "ok web|earlier");
    work.write("site/a.txt", "local");
    testSupport::writeFile(dest, "old build");
    const std::string onDisk = work.file("site/a.txt");
    // built with a local source, the address refused
    const std::pair<bool, std::string> cases[] = {
        {false, "file://" + onDisk},
        // The transport would read these from the disk itself.
        {true, "FILE://" + onDisk}, {true, "file://localhost" + onDisk}, {true, "ftp://127.0.0.1/a.txt"},
    };
    for (const auto& [localSource, url] : cases)
    {
        testSupport::pointEndpointsAt(localSource ? "file://" + work.file("site/") : server.url("/"));
        const std::string refused = "|Not a web address: " + url;
        EXPECT_EQ(outcome(Text, url) + outcome(Date, url) + outcome(Download, url),
                  "failed untouched" + refused + "failed 0" + refused + "failed old build" + refused);
    }
    // The message reaches the terminal without the control characters.
    EXPECT_EQ(outcome(Text, "gopher://a\x1b]0;x\x07"), "failed untouched|Not a web address: gopher://a]0;x");
}

// A text comes into memory whole, and a request holds up the whole refresh: neither may be endless.
TEST_F(HttpRequests, ATextLargerThan32MBOrSlowerThanTheLimitFails)
{
    // A gzip bomb: a few kilobytes that unpack to one byte more than a text may hold.
    server.setText("/bomb.json", testSupport::gzip(std::string(32000001, '[')));
    server.endless("/endless.json", std::string(65536, '['));
    // 200 bytes a second: twice what the transport drops by itself.
    server.endless("/trickle.json", std::string(20, '['), 100);
    server.setText("/silent.json", "[]");
    server.hold("/silent.json");
    const std::string tooLarge = "The answer is larger than 32 MB", tooSlow = "The server took too long to answer";
    const std::tuple<Kind, std::string, std::string, int> cases[] = {
        {Text, "/bomb.json", tooLarge, 0}, {Text, "/endless.json", tooLarge, 0}, {Text, "/trickle.json", tooSlow, 300},
        {Text, "/silent.json", tooSlow, 300}, {Date, "/silent.json", tooSlow, 300},
    };
    Lines logged;
    for (const auto& [kind, url, message, limitMs] : cases)
    {
        testSupport::limitTextRequests(limitMs);
        EXPECT_EQ(outcome(kind, server.url(url)), (kind == Text ? "failed untouched|" : "failed 0|") + message);
        logged.push_back((kind == Text ? "GET " : "HEAD ") + server.url(url) + ": " + message);
    }
    EXPECT_EQ(logMessages(), logged);
}

// Each status and a closed port fail each kind of request with their text and one log line each,
// asked neither again as a cut-off nor as a retry. A 429 is asked again three times at most, each
// time after the seconds the server asked for.
TEST_F(HttpRequests, ErrorStatusesNoAnswerAndTooManyRequests)
{
    Lines logged;
    const auto failsWith = [&](const std::string& url, const std::string& text, const std::string& download) {
        EXPECT_EQ(outcome(Text, url), "failed untouched|" + text);
        EXPECT_EQ(outcome(Date, url), "failed 0|" + text);
        EXPECT_EQ(outcome(Download, url), "failed |" + download);
        logged.insert(logged.end(), {"GET " + url + ": " + text, "HEAD " + url + ": " + text,
                                     "Download " + url + ": " + download});
    };
    for (const int status : {400, 401, 402, 403, 404, 405, 410, 418, 451, 500, 502, 503, 599})
    {
        const auto path = "/status" + std::to_string(status);
        server.setStatus(path, status, "an error page");
        failsWith(server.url(path), "HTTP " + std::to_string(status), "HTTP " + std::to_string(status));
        EXPECT_EQ(server.requestCount(path), 3u) << status;
    }
    failsWith(closedUrl("/a.txt"), "Failed to connect", "Failed to connect to server");

    server.setText("/products.json", "{}");
    server.answerTooManyRequests("/products.json", 1, " 1 ");
    server.setText("/a.zip", "zip");
    server.answerTooManyRequests("/a.zip", 4, "2");
    EXPECT_EQ(outcome(Text, server.url("/products.json")), "ok {}|earlier");
    EXPECT_EQ(testSupport::retryWaitMilliseconds(), 1000);
    EXPECT_EQ(outcome(Date, server.url("/a.zip")), "failed 0|HTTP 429");
    EXPECT_EQ(testSupport::retryWaitMilliseconds(), 6000);
    const auto date = server.url("/a.zip") + ": too many requests, asking again in 2 s";
    logged.insert(logged.end(), {server.url("/products.json") + ": too many requests, asking again in 1 s", date, date,
                                 date, "HEAD " + server.url("/a.zip") + ": HTTP 429"});
    EXPECT_EQ(logMessages(), logged);
}

// Downloads stream the bytes as sent, reporting each whole percent; without an announced size
// progress is -1, once. Two cut-offs fail and keep the old file; without a size only the missing
// last chunk tells. A single cut-off is asked for once more.
TEST_F(HttpRequests, DownloadsReportProgressAndAskACutOffOnceMore)
{
    // gzip data first: a download must not unpack it. Large enough for several reads per percent.
    const auto bytes = testSupport::gzip("packed") + pattern(10000000);
    server.setText(path, bytes, "application/zip");
    // A stale temporary file from a crashed run, longer than the new file.
    testSupport::writeFile(dest + ".downloading", bytes + "left over");
    EXPECT_EQ(outcome(Download, server.url(path)), "ok " + shown(bytes) + "|");
    // Once per whole percent at most, rising to the whole.
    ASSERT_FALSE(reports.empty());
    EXPECT_FLOAT_EQ(reports.back(), 1.0f);
    EXPECT_LE(reports.size(), 101u);
    EXPECT_EQ(std::adjacent_find(reports.begin(), reports.end(), std::greater_equal<float>()), reports.end());
    server.setReply(path, {200, pattern(200000), "application/zip", {}, true});
    reports.clear();
    EXPECT_EQ(outcome(Download, server.url(path)), "ok " + shown(pattern(200000)) + "|");
    EXPECT_EQ(reports, std::vector<float>{-1.0f});

    testSupport::writeFile(dest, "old build");
    const auto cut = "Download " + server.url(path) + ": The download was cut off after 600";
    Lines lines;
    for (const bool chunked : {false, true})
    {
        server.setReply(path, {200, pattern(1000), "application/zip", {}, chunked});
        server.cutOff(path, 600);
        EXPECT_EQ(outcome(Download, server.url(path)), "failed old build|The download was cut off");
        lines.insert(lines.end(), 2, cut + (chunked ? " bytes" : " of 1000 bytes"));
    }
    server.setText(path, pattern(1000));
    server.cutOff(path, 600, 1);
    EXPECT_EQ(outcome(Download, server.url(path)), "ok " + shown(pattern(1000)) + "|");
    lines.push_back(cut + " of 1000 bytes");
    EXPECT_EQ(logMessages(), lines);
}

// Set during the transfer, the flag stops it at the next read; set in a wait, it ends the wait.
TEST_F(HttpRequests, CancelBeforeDuringOrInAWaitKeepsTheOldFile)
{
    server.setText(path, pattern(300000));
    testSupport::writeFile(dest, "old build");
    progress = [this](float fraction) {
        reports.push_back(fraction);
        setCancelled(cancel);
    };
    for (const std::string when : {"before", "during", "in a wait"})
    {
        if (when == "in a wait")
            server.answerTooManyRequests(path, 1);
        cancel = std::make_shared<bool>(when != "during");
        EXPECT_EQ(outcome(Download, server.url(path)), "failed old build|Cancelled") << when;
        EXPECT_EQ(reports.size(), when == "before" ? 0u : 1u) << when;
    }
    // No wait passes, and only its start is logged.
    EXPECT_EQ(testSupport::retryWaitMilliseconds(), 0);
    EXPECT_EQ(logMessages(), (Lines{server.url(path) + ": too many requests, asking again in 30 s"}));
}

// What takes the destination's place is the file the transfer wrote, whole: a file cut short
// meanwhile fails the download and keeps the old file. (A close that fails is tested on its own,
// in tests/closeFails/.)
TEST_F(HttpRequests, AFileCutShortMeanwhileIsNotPutInPlace)
{
    server.setText(path, pattern(1000));
    testSupport::writeFile(dest, "old build");
    const std::string temporary = dest + ".downloading";
    progress = [&](float) { std::filesystem::resize_file(temporary, 5); };
    EXPECT_EQ(outcome(Download, server.url(path)), "failed old build|Failed to write " + dest);
}

// A full disk keeps the old file, and a short file on disk is no cut-off: nothing is asked again.
// In a shared folder, a link that someone else planted at the temporary name can be neither
// removed nor written through: the download fails and what the link leads to stays as it was.
TEST_F(HttpRequests, ADestinationThatCannotBeWrittenFailsAndKeepsWhatWasThere)
{
    namespace fs = std::filesystem;
    server.setText(path, pattern(400000));
    work.write("folder.zip/inside.txt", "keep");
    EXPECT_FALSE(HttpClient::downloadFile(server.url(path), work.file("folder.zip"), error));
    EXPECT_EQ(error + " " + work.read("folder.zip/inside.txt"), "Failed to write " + work.file("folder.zip") + " keep");
    EXPECT_FALSE(work.exists("folder.zip.downloading"));

    // What a download reports in a child process that runs as nobody, or else whose writes beyond
    // 100000 bytes fail as on a full disk instead of killing the process.
    const auto inChild = [this](const std::string& url, const std::string& file, bool asNobody) {
        return testSupport::inChild([&] {
            if (asNobody ? !testSupport::dropRootPrivileges() : !testSupport::limitFileSize(100000))
                return std::string("could not set the child up");
            return HttpClient::downloadFile(url, file, error) ? "reported success" : error;
        });
    };
    work.write("site/Aurora.zip", pattern(400000));
    testSupport::pointEndpointsAt("file://" + work.file("site/"));
    testSupport::writeFile(dest, "old build");
    const std::string remote = server.url(path), local = work.file("site/Aurora.zip");
    for (const auto& url : {remote, "file://" + local})
    {
        EXPECT_EQ(inChild(url, dest, false), url == remote ? "Failed to write " + dest : "File not found: " + local);
        EXPECT_EQ(work.read("Aurora.zip"), "old build");
        EXPECT_FALSE(work.exists("Aurora.zip.downloading"));
    }
    // One request for each of the two downloads.
    EXPECT_EQ(server.requestCount(path), 2u);
    EXPECT_TRUE(logMessages().empty());

    if (geteuid() != 0)
        GTEST_SKIP() << "a link that the downloading user cannot remove needs a second user: run as root";
    work.write("theirs", "not yours to write");
    fs::permissions(work.path(), fs::perms(0755));
    fs::permissions(work.file("theirs"), fs::perms(0666));
    const auto shared = work.file("tmp");
    fs::create_directory(shared);
    fs::permissions(shared, fs::perms(01777));
    fs::create_symlink(work.file("theirs"), shared + "/Aurora.zip.downloading");
    for (const auto& url : {remote, "file://" + local})
    {
        EXPECT_EQ(inChild(url, shared + "/Aurora.zip", true),
                  url == remote ? "Failed to create output file" : "File not found: " + local);
        EXPECT_EQ(work.read("theirs"), "not yours to write") << url;
    }
}

// Both forms deliver on the message thread. On the message thread itself, a 429 is not waited for.
TEST_F(HttpOnMessageThread, BothFormsDeliverOnTheMessageThreadWhichNeverWaitsForARetry)
{
    server.setText("/a.zip", pattern(300000));
    server.setText("/plugins.json", testSupport::gzip("{}"));
    Lines events;
    bool elsewhere = false;
    auto record = [&](const std::string& event) {
        elsewhere = elsewhere || !juce::MessageManager::getInstance()->isThisTheMessageThread();
        events.push_back(event);
    };
    auto done = [&record](bool ok, const std::string& text) { record((ok ? "done " : "failed ") + text); };
    const auto percent = [&record](float fraction) { record(std::to_string(static_cast<int>(fraction * 100.0f))); };
    HttpClient::fetchStringAsync(server.url("/plugins.json"), done, {"fan", "pw"});
    ASSERT_TRUE(pumpUntil([&] { return events.size() == 1; }));
    EXPECT_EQ(server.requests().back().headerLines, (Lines{acceptGzip, "Authorization: Basic ZmFuOnB3", userAgent}));
    HttpClient::downloadFileAsync(server.url("/a.zip"), work.file("a.zip"), percent, done, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return events.back() == "done "; }));
    EXPECT_EQ(events.front() + "," + events[events.size() - 2], "done {},100");
    EXPECT_EQ(shown(work.read("a.zip")), shown(pattern(300000)));
    // A failure is delivered as the error; a download needs no progress callback.
    const size_t before = events.size();
    HttpClient::fetchStringAsync(server.url("/missing"), done);
    HttpClient::downloadFileAsync(server.url("/a.zip"), work.file("b.zip"), {}, done, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return events.size() == before + 2; }));
    EXPECT_EQ(std::set<std::string>(events.begin() + long(before), events.end()),
              (std::set<std::string>{"done ", "failed HTTP 404"}));
    EXPECT_FALSE(elsewhere);

    server.answerTooManyRequests("/plugins.json", 1);
    EXPECT_FALSE(HttpClient::fetchString(server.url("/plugins.json"), body, error));
    EXPECT_EQ(error, "HTTP 429");
    EXPECT_EQ(server.requestCount("/plugins.json"), 2u);
}
