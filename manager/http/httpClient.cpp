#include "manager/http/httpClient.h"

#include "manager/http/curlLibrary.h"
#include "manager/http/downloadPass.h"
#include "manager/http/httpDate.h"
#include "manager/http/localFile.h"
#include "manager/http/transferDeadline.h"
#include "manager/http/webAddress.h"
#include "manager/http/webStream.h"
#include "manager/platform/buildSeams.h"
#include "manager/platform/log.h"
#include "manager/platform/plainName.h"

#include <juce_core/juce_core.h>
#include <juce_events/juce_events.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <vector>

namespace pluginManager
{
namespace
{
constexpr int textTimeoutMs = 10000;
// Large: the framework's web stream moves what is left in its buffer to the front after each read.
constexpr int textReadBlockSize = 1 << 20;
// A block that a server at the slowest pace the framework lets pass fills in about a second.
constexpr int slowestReadBlockSize = 128;
// Far above any list, changelog or page we read, and still a size that memory holds: a text
// comes into memory whole, unpacked, where a download goes to disk.
constexpr size_t mostTextBytes = 32 * 1000 * 1000;
constexpr int downloadPasses = 2;

// The road an address takes.
enum class Road
{
    Failed, // refused, or the network cannot be used: error says why
    Disk,   // a "file:///" address of a program built with a local source
    Web
};

// Decides the road of url for every operation alike. An address that is neither a web address
// nor a local one the program may read fails at once, as a missing file does, naming what was
// asked for; the web road needs libcurl, opened here on the first request.
Road routeOf(const std::string& url, std::string& error)
{
    switch (addressKind(url, builtWithLocalSource()))
    {
    case AddressKind::Refused:
        error = "Not a web address: " + withoutControlCharacters(url);
        return Road::Failed;
    case AddressKind::LocalFile:
        return Road::Disk;
    case AddressKind::Web:
        break;
    }
    return CurlLibrary::load(error) ? Road::Web : Road::Failed;
}

std::string tooLargeMessage()
{
    return "The answer is larger than " + std::to_string(mostTextBytes / 1000000) + " MB";
}

// At most limit bytes of stream into out; false when there is more. Block by block: the framework
// would otherwise reserve whatever size the server announces.
bool readAtMost(juce::InputStream& stream, size_t limit, juce::MemoryOutputStream& out)
{
    std::vector<char> block(textReadBlockSize);
    for (int count; (count = stream.read(block.data(), textReadBlockSize)) > 0;)
    {
        if (out.getDataSize() + static_cast<size_t>(count) > limit)
            return false;
        out.write(block.data(), static_cast<size_t>(count));
    }
    return true;
}

// The same for a stream whose deadline no keeper watches: the time is checked between blocks.
// The framework comes back from a read only once the block is full, so the blocks follow the
// pace of the server: they double while they fill at once and halve when they keep the caller
// waiting, and a server that trickles holds the caller little past the deadline.
bool readAtMostInTime(juce::InputStream& stream, size_t limit, juce::MemoryOutputStream& out,
                      TransferDeadline& deadline)
{
    std::vector<char> block(textReadBlockSize);
    int blockSize = slowestReadBlockSize;
    while (!deadline.timeIsUp())
    {
        const auto started = std::chrono::steady_clock::now();
        const int count = stream.read(block.data(), blockSize);
        if (count <= 0)
            break;
        if (out.getDataSize() + static_cast<size_t>(count) > limit)
            return false;
        out.write(block.data(), static_cast<size_t>(count));
        const auto took = std::chrono::steady_clock::now() - started;
        if (took < std::chrono::milliseconds(10))
            blockSize = std::min(blockSize * 2, textReadBlockSize);
        else if (took > std::chrono::milliseconds(100))
            blockSize = std::max(blockSize / 2, slowestReadBlockSize);
    }
    return true;
}

// The bytes as text, gunzipped first when they begin with the gzip magic; false when the text is
// longer than limit. The unpacking stops there: a small bomb must not fill the memory first.
bool decodeAtMost(const void* data, size_t size, size_t limit, std::string& text)
{
    text.clear();
    if (data == nullptr || size == 0)
        return true;
    const auto* bytes = static_cast<const unsigned char*>(data);
    juce::MemoryInputStream raw(data, size, false);
    juce::MemoryOutputStream decoded;
    // Some servers gzip their files without saying so: the magic bytes decide, not the headers.
    if (size >= 2 && bytes[0] == 0x1F && bytes[1] == 0x8B)
    {
        juce::GZIPDecompressorInputStream unzipped(&raw, false, juce::GZIPDecompressorInputStream::gzipFormat);
        if (!readAtMost(unzipped, limit, decoded))
            return false;
    }
    else if (!readAtMost(raw, limit, decoded))
        return false;
    text = decoded.toString().toStdString();
    return true;
}

// Whether the body read so far is all the server sent. The framework's stream ends alike when the
// body is complete and when the connection broke off: the size the server announced tells, and
// without one (a chunked body) only the transport's error does. A body that announces no size and
// ends with the connection, as it should, is whole.
bool cameWhole(juce::WebInputStream& stream, size_t received)
{
    const int64_t announced = stream.getTotalLength();
    if (announced > 0)
        return static_cast<int64_t>(received) >= announced;
    return !stream.isError();
}

// Sends a text or date request and reads the answer into body when one is given. A failure sets
// error and is logged under the verb the log names the request by.
bool textRequest(const std::string& url, const char* verb, const juce::String& headers,
                 juce::StringPairArray& responseHeaders, juce::MemoryOutputStream* body, std::string& error)
{
    std::unique_ptr<juce::WebInputStream> stream;
    // Made after the stream, so that it stops watching before the stream goes.
    TransferDeadline deadline(textRequestMilliseconds());
    int status = 0;
    stream = openWebStream(url, headers, textTimeoutMs, status, responseHeaders, nullptr, &deadline);
    const bool readsBody = stream && !isHttpError(status) && body;
    const bool withinLimit = !readsBody || (deadline.isWatched() ? readAtMost(*stream, mostTextBytes, *body)
                                                                 : readAtMostInTime(*stream, mostTextBytes, *body, deadline));
    // A stream cancelled for its time fails to connect or ends early, which reads as a short answer.
    if (deadline.timeIsUp())
        error = "The server took too long to answer";
    else if (!stream)
        error = "Failed to connect";
    else if (isHttpError(status))
        error = httpErrorMessage(status);
    else if (!withinLimit)
        error = tooLargeMessage();
    else if (readsBody && !cameWhole(*stream, body->getDataSize()))
        error = "The answer was cut off";
    else
        return true;
    Log::write(std::string(verb) + " " + url + ": " + error);
    return false;
}
}

bool HttpClient::fetchString(const std::string& url, std::string& body, std::string& error, const Credentials& login)
{
    const Road road = routeOf(url, error);
    if (road == Road::Failed)
        return false;
    if (road == Road::Disk)
    {
        juce::File file;
        if (!findLocalFile(url, file, error))
            return false;
        body = file.loadFileAsString().toStdString();
        return true;
    }

    juce::StringPairArray responseHeaders;
    juce::MemoryOutputStream data(256);
    if (!textRequest(url, "GET", requestHeaders(login, true), responseHeaders, &data, error))
        return false;
    std::string text;
    if (!decodeAtMost(data.getData(), data.getDataSize(), mostTextBytes, text))
    {
        error = tooLargeMessage();
        Log::write("GET " + url + ": " + error);
        return false;
    }
    body = std::move(text);
    return true;
}

bool HttpClient::fetchLastModified(const std::string& url, int64_t& seconds, std::string& error,
                                   const Credentials& login)
{
    seconds = 0;
    const Road road = routeOf(url, error);
    if (road == Road::Failed)
        return false;
    if (road == Road::Disk)
    {
        juce::File file;
        if (!findLocalFile(url, file, error))
            return false;
        seconds = file.getLastModificationTime().toMilliseconds() / 1000;
        return true;
    }

    juce::StringPairArray responseHeaders;
    // A GET whose body is never read: the framework's HEAD request waits for a body that never
    // comes.
    if (!textRequest(url, "HEAD", requestHeaders(login, false), responseHeaders, nullptr, error))
        return false;
    const auto lastModified = responseHeaders["Last-Modified"].toStdString();
    int64_t parsed = 0;
    if (lastModified.empty() || !parseHttpDate(lastModified, parsed))
    {
        error = "No Last-Modified";
        return false;
    }
    seconds = parsed;
    return true;
}

bool HttpClient::downloadFile(const std::string& url, const std::string& dest, std::string& error,
                              const std::function<void(float)>& progress, const std::shared_ptr<bool>& cancel,
                              const Credentials& login)
{
    const juce::File destination{juce::String(dest)};
    const Road road = routeOf(url, error);
    if (road == Road::Failed)
        return false;
    if (road == Road::Disk)
        return copyLocalFile(url, destination, error);

    for (int pass = 1;; ++pass)
    {
        const auto result = downloadPass(url, destination, error, progress, cancel, login);
        if (result == PassResult::Done)
            return true;
        if (result == PassResult::Failed || pass == downloadPasses)
            return false;
    }
}

void HttpClient::fetchStringAsync(const std::string& url, std::function<void(bool, const std::string&)> done,
                                  const Credentials& login)
{
    auto finished = std::make_shared<std::function<void(bool, const std::string&)>>(std::move(done));
    juce::Thread::launch([url, login, finished] {
        std::string body;
        std::string error;
        const bool ok = fetchString(url, body, error, login);
        juce::MessageManager::callAsync([finished, ok, result = ok ? body : error] { (*finished)(ok, result); });
    });
}

void HttpClient::downloadFileAsync(const std::string& url, const std::string& dest, std::function<void(float)> progress,
                                   std::function<void(bool, const std::string&)> done, std::shared_ptr<bool> cancel,
                                   const Credentials& login)
{
    auto finished = std::make_shared<std::function<void(bool, const std::string&)>>(std::move(done));
    std::shared_ptr<std::function<void(float)>> reports;
    if (progress)
        reports = std::make_shared<std::function<void(float)>>(std::move(progress));

    juce::Thread::launch([url, dest, login, cancel, finished, reports] {
        std::function<void(float)> forward;
        if (reports)
            forward = [reports](float fraction) {
                juce::MessageManager::callAsync([reports, fraction] { (*reports)(fraction); });
            };
        std::string error;
        const bool ok = downloadFile(url, dest, error, forward, cancel, login);
        juce::MessageManager::callAsync([finished, ok, error] { (*finished)(ok, error); });
    });
}

std::string HttpClient::decodeBody(const void* data, size_t size)
{
    std::string text;
    decodeAtMost(data, size, std::numeric_limits<size_t>::max(), text);
    return text;
}

bool HttpClient::isAuthError(const std::string& error)
{
    return error == httpErrorMessage(401) || error == httpErrorMessage(403);
}

bool HttpClient::isNotFound(const std::string& error)
{
    return error == httpErrorMessage(404);
}

void setCancelled(const std::shared_ptr<bool>& flag, bool cancelled)
{
    if (flag)
        __atomic_store_n(flag.get(), cancelled, __ATOMIC_SEQ_CST);
}

bool isCancelled(const std::shared_ptr<bool>& flag)
{
    return flag && __atomic_load_n(flag.get(), __ATOMIC_SEQ_CST);
}
}
