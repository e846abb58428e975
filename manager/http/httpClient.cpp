#include "manager/http/httpClient.h"

#include "manager/http/curlLibrary.h"
#include "manager/http/httpDate.h"
#include "manager/http/requestLimit.h"
#include "manager/http/transferDeadline.h"
#include "manager/http/webAddress.h"
#include "manager/platform/filePaths.h"
#include "manager/platform/fileSteps.h"
#include "manager/platform/log.h"
#include "manager/platform/plainName.h"
#include "manager/platform/writeAll.h"

#include <juce_core/juce_core.h>
#include <juce_events/juce_events.h>

#include <cstring>
#include <limits>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace pluginManager
{
namespace
{
const char* const userAgent = "VYR-Plugin-Manager";
constexpr int textTimeoutMs = 10000;
constexpr int downloadTimeoutMs = 15000;
constexpr int redirectsFollowed = 5;
constexpr int tooManyRequests = 429;
constexpr int lastRetryAttempt = 3;
constexpr int retryWaitStepMs = 250;
constexpr int copyBufferSize = 65536;
// Large: the framework's web stream moves what is left in its buffer to the front after each read.
constexpr int textReadBlockSize = 1 << 20;
// Far above any list, changelog or page we read, and still a size that memory holds: a text
// comes into memory whole, unpacked, where a download goes to disk.
constexpr size_t mostTextBytes = 32 * 1000 * 1000;
constexpr int downloadPasses = 2;
constexpr mode_t downloadFileMode = 0644;

AddressKind kindOf(const std::string& url) { return addressKind(url, builtWithLocalSource()); }

// Fails like a missing file does: at once, naming what was asked for.
bool refuse(const std::string& url, std::string& error)
{
    error = "Not a web address: " + withoutControlCharacters(url);
    return false;
}

std::string httpErrorMessage(int status)
{
    return "HTTP " + std::to_string(status);
}

bool isHttpError(int status)
{
    return status >= 400;
}

juce::String requestHeaders(const Credentials& login, bool acceptGzip)
{
    juce::String headers = juce::String("User-Agent: ") + userAgent;
    if (acceptGzip)
        headers << "\r\nAccept-Encoding: gzip";
    if (login.isComplete())
    {
        const std::string pair = login.user + ":" + login.password;
        headers << "\r\nAuthorization: Basic " << juce::Base64::toBase64(pair.data(), pair.size());
    }
    return headers;
}

// The local file a "file:///" address names. Addresses are taken literally: "%20" stays "%20".
juce::File localFile(const std::string& url)
{
    // From the third "/" on, so that "file:///home/u/x" names "/home/u/x".
    std::string path = url.substr(std::strlen(localAddressPrefix) - 1);
    if (!juce::File::isAbsolutePath(juce::String(path)))
        path.erase(0, 1);
    const juce::File file{juce::String(path)};
    return file.isDirectory() ? file.getChildFile("index.html") : file;
}

bool isSuccess(int status)
{
    return status >= 200 && status < 300;
}

// Whether the server answered. The framework hands out no stream at all when the transfer broke
// before its first bytes reached us; a success or an error status that did arrive still counts as
// an answer (a body cut short is then read as far as it came), while a failed redirect or no
// status at all means no connection.
bool serverAnswered(bool connected, juce::WebInputStream& stream, int statusCode)
{
    return connected && (!stream.isError() || isSuccess(statusCode) || isHttpError(statusCode));
}

// A 429 is asked again up to three times, after the wait the server names (or our own), except on
// the message thread, which must never be held up. A deadline, when given, watches each request
// sent (not the waits the server asks for) and goes on watching the stream handed back.
std::unique_ptr<juce::WebInputStream> openStream(const std::string& url, const juce::String& headers, int timeoutMs,
                                                 int& statusCode, juce::StringPairArray& responseHeaders,
                                                 const std::shared_ptr<bool>& cancel,
                                                 TransferDeadline* deadline = nullptr)
{
    for (int attempt = 0;; ++attempt)
    {
        responseHeaders.clear();
        statusCode = 0;
        // Query parameters stay in the address of the GET request.
        auto stream = std::make_unique<juce::WebInputStream>(juce::URL(juce::String(url)), false);
        stream->withExtraHeaders(headers).withConnectionTimeout(timeoutMs).withNumRedirectsToFollow(redirectsFollowed);
        if (deadline)
            deadline->watch(*stream);
        const bool connected = stream->connect(nullptr);
        statusCode = stream->getStatusCode();
        responseHeaders = stream->getResponseHeaders();
        const bool answered = serverAnswered(connected, *stream, statusCode);
        const bool askAgain = answered && statusCode == tooManyRequests && attempt < lastRetryAttempt
                              && !juce::MessageManager::existsAndIsCurrentThread();
        if (answered && !askAgain)
            return stream;

        // The deadline lets go of a stream before it goes.
        if (deadline)
            deadline->release();
        stream.reset();
        if (!answered)
            return nullptr;
        const auto retryAfter = responseHeaders["Retry-After"].toStdString();
        const int seconds = retryDelaySeconds(retryAfter, attempt, juce::Time::currentTimeMillis() / 1000);
        Log::write(url + ": too many requests, asking again in " + std::to_string(seconds) + " s");
        for (int step = 0; step < seconds * (1000 / retryWaitStepMs); ++step)
        {
            if (isCancelled(cancel))
                return nullptr;
            waitBeforeAskingAgain(retryWaitStepMs);
        }
    }
}

// The temporary file of a download, made afresh and written through its own descriptor: it may
// lie in a folder that others write to, and nothing they planted at its name, a link least of all,
// may receive the download.
class TemporaryFile
{
public:
    // A file an earlier run left there goes; a name that someone else holds stays theirs, and the
    // file is then not open.
    explicit TemporaryFile(const juce::File& file)
    {
        file.deleteFile();
        m_fd = ::open(file.getFullPathName().toRawUTF8(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      downloadFileMode);
    }
    ~TemporaryFile() { close(); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }

    bool write(const char* data, size_t size) { return writeAll(m_fd, data, size); }

    bool close()
    {
        if (m_fd < 0)
            return true;
        const bool closed = ::close(m_fd) == 0;
        m_fd = -1;
        return closed;
    }

private:
    int m_fd = -1;
};

// Why a pass of a download ended.
enum class PassResult
{
    Done,
    CutOff,
    Failed
};

void reportProgress(const std::function<void(float)>& progress, int64_t written, int64_t total, int& lastPercent)
{
    if (!progress)
        return;
    float fraction = -1.0f;
    int percent = -100;
    if (total > 0)
    {
        fraction = static_cast<float>(written) * (1.0f / static_cast<float>(total));
        percent = static_cast<int>(fraction * 100.0f);
    }
    if (percent != lastPercent)
    {
        progress(fraction);
        lastPercent = percent;
    }
}

PassResult downloadPass(const std::string& url, const juce::File& dest, std::string& error,
                        const std::function<void(float)>& progress, const std::shared_ptr<bool>& cancel,
                        const Credentials& login)
{
    int status = 0;
    juce::StringPairArray responseHeaders;
    auto stream = openStream(url, requestHeaders(login, false), downloadTimeoutMs, status, responseHeaders, cancel);
    if (isCancelled(cancel))
    {
        error = "Cancelled";
        return PassResult::Failed;
    }
    if (!stream)
    {
        error = "Failed to connect to server";
        Log::write("Download " + url + ": " + error);
        return PassResult::Failed;
    }
    if (isHttpError(status))
    {
        error = httpErrorMessage(status);
        Log::write("Download " + url + ": " + error);
        return PassResult::Failed;
    }

    const auto temp = dest.getSiblingFile(dest.getFileName() + ".downloading");
    TemporaryFile out(temp);
    if (!out.isOpen())
    {
        error = "Failed to create output file";
        return PassResult::Failed;
    }

    const int64_t total = stream->getTotalLength();
    int64_t written = 0;
    int lastPercent = -1;
    bool writeFailed = false;
    std::vector<char> buffer(copyBufferSize);
    while (!stream->isExhausted())
    {
        if (isCancelled(cancel))
        {
            out.close();
            temp.deleteFile();
            error = "Cancelled";
            return PassResult::Failed;
        }
        const int count = stream->read(buffer.data(), copyBufferSize);
        if (count <= 0)
            break;
        // A full disk must not pass for a cut-off (which would ask again) nor for a whole file.
        if (!out.write(buffer.data(), static_cast<size_t>(count)))
        {
            writeFailed = true;
            break;
        }
        written += count;
        reportProgress(progress, written, total, lastPercent);
    }
    const bool closed = out.close();
    if (writeFailed || !closed || temp.getSize() != written)
    {
        temp.deleteFile();
        error = "Failed to write " + pathOf(dest);
        return PassResult::Failed;
    }
    // Without an announced size only the transport can tell that a body (a chunked one) broke off.
    const bool cutOff = total > 0 ? total > written : stream->isError();
    if (cutOff)
    {
        temp.deleteFile();
        error = "The download was cut off";
        Log::write("Download " + url + ": " + error + " after " + std::to_string(written)
                   + (total > 0 ? " of " + std::to_string(total) : std::string()) + " bytes");
        return PassResult::CutOff;
    }
    if (!putInPlace(temp, dest))
    {
        temp.deleteFile();
        error = "Failed to write " + pathOf(dest);
        return PassResult::Failed;
    }
    error.clear();
    return PassResult::Done;
}

bool copyToNewFile(const juce::File& source, const juce::File& temp)
{
    juce::FileInputStream in(source);
    TemporaryFile out(temp);
    if (!in.openedOk() || !out.isOpen())
        return false;
    std::vector<char> buffer(copyBufferSize);
    for (int count; (count = in.read(buffer.data(), copyBufferSize)) > 0;)
        if (!out.write(buffer.data(), static_cast<size_t>(count)))
            return false;
    return out.close() && temp.getSize() == source.getSize();
}

// A local source is copied beside the destination first, so that a copy that fails half-way
// leaves the destination as it was.
bool copyLocalFile(const std::string& url, const juce::File& dest, std::string& error)
{
    const auto source = localFile(url);
    const auto temp = dest.getSiblingFile(dest.getFileName() + ".downloading");
    if (source.existsAsFile() && copyToNewFile(source, temp) && putInPlace(temp, dest))
        return true;
    temp.deleteFile();
    error = "File not found: " + pathOf(source);
    return false;
}

bool findLocalFile(const std::string& url, juce::File& file, std::string& error)
{
    file = localFile(url);
    if (file.existsAsFile())
        return true;
    error = "File not found: " + pathOf(file);
    return false;
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

// Sends a text or date request and reads the answer into body when one is given. A failure sets
// error and is logged under the verb the log names the request by.
bool textRequest(const std::string& url, const char* verb, const juce::String& headers,
                 juce::StringPairArray& responseHeaders, juce::MemoryOutputStream* body, std::string& error)
{
    std::unique_ptr<juce::WebInputStream> stream;
    // Made after the stream, so that it stops watching before the stream goes.
    TransferDeadline deadline(textRequestMilliseconds());
    int status = 0;
    stream = openStream(url, headers, textTimeoutMs, status, responseHeaders, nullptr, &deadline);
    const bool whole = !stream || isHttpError(status) || !body || readAtMost(*stream, mostTextBytes, *body);
    // A stream cancelled for its time fails to connect or ends early, which reads as a short answer.
    if (deadline.passed())
        error = "The server took too long to answer";
    else if (!stream)
        error = "Failed to connect";
    else if (isHttpError(status))
        error = httpErrorMessage(status);
    else if (!whole)
        error = tooLargeMessage();
    else
        return true;
    Log::write(std::string(verb) + " " + url + ": " + error);
    return false;
}
}

bool HttpClient::fetchString(const std::string& url, std::string& body, std::string& error, const Credentials& login)
{
    const AddressKind kind = kindOf(url);
    if (kind == AddressKind::Refused)
        return refuse(url, error);
    if (kind == AddressKind::LocalFile)
    {
        juce::File file;
        if (!findLocalFile(url, file, error))
            return false;
        body = file.loadFileAsString().toStdString();
        return true;
    }

    if (!CurlLibrary::load(error))
        return false;
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
    const AddressKind kind = kindOf(url);
    if (kind == AddressKind::Refused)
        return refuse(url, error);
    if (kind == AddressKind::LocalFile)
    {
        juce::File file;
        if (!findLocalFile(url, file, error))
            return false;
        seconds = file.getLastModificationTime().toMilliseconds() / 1000;
        return true;
    }

    if (!CurlLibrary::load(error))
        return false;
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
    const AddressKind kind = kindOf(url);
    if (kind == AddressKind::Refused)
        return refuse(url, error);
    if (kind == AddressKind::LocalFile)
        return copyLocalFile(url, destination, error);
    if (!CurlLibrary::load(error))
        return false;

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
