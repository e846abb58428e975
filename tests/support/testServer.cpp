#include "support/testServer.h"

#include <httplib.h>
#include <juce_core/juce_core.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

#include <sys/stat.h>

namespace testSupport
{
namespace
{
bool equalsIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size()
           && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                  return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
              });
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// httplib adds these to every request it parses; no client sent them.
bool isServerAddedHeader(const std::string& name)
{
    return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT";
}

std::string decodeBase64(const std::string& text)
{
    juce::MemoryOutputStream out;
    if (!juce::Base64::convertFromBase64(out, juce::String(text)))
        return {};
    return out.toString().toStdString();
}

std::optional<std::string> readWholeFile(const std::string& path)
{
    const juce::File file(path);
    if (!file.existsAsFile())
        return std::nullopt;
    juce::MemoryBlock data;
    if (!file.loadFileAsData(data))
        return std::nullopt;
    return std::string(static_cast<const char*>(data.getData()), data.getSize());
}

int64_t modificationSeconds(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return 0;
    return static_cast<int64_t>(info.st_mtime);
}

std::string listingDate(int64_t seconds)
{
    const auto t = static_cast<time_t>(seconds);
    struct tm parts {};
    gmtime_r(&t, &parts);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min);
    return text;
}

std::string escapeHtml(const std::string& text)
{
    std::string out;
    for (const char c : text)
    {
        switch (c)
        {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string escapeLink(const std::string& name)
{
    static const char* const hex = "0123456789ABCDEF";
    std::string out;
    for (const char c : name)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == '"' || c == '%' || c == '<' || c == '>' || c == '#' || c == '?'
            || c == '\'')
        {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 15];
        }
        else
        {
            out += c;
        }
    }
    return out;
}

// An index page in the manner of a web server's automatic folder index.
std::string listingPage(const std::string& urlPath, const std::string& folder)
{
    struct Entry
    {
        std::string name;
        bool isFolder;
        int64_t modified;
        int64_t size;
    };
    std::vector<Entry> entries;
    for (const auto& item : juce::RangedDirectoryIterator(juce::File(folder), false, "*",
                                                          juce::File::findFilesAndDirectories))
    {
        const auto path = item.getFile().getFullPathName().toStdString();
        entries.push_back({item.getFile().getFileName().toStdString(), item.isDirectory(), modificationSeconds(path),
                           item.getFileSize()});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });

    std::string title = "Index of " + escapeHtml(urlPath);
    std::string page = "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2 Final//EN\">\n<html>\n <head>\n  <title>" + title
                       + "</title>\n </head>\n <body>\n<h1>" + title + "</h1>\n  <table>\n"
                       + "   <tr><th><a href=\"?C=N;O=D\">Name</a></th><th><a href=\"?C=M;O=A\">Last modified</a>"
                         "</th><th><a href=\"?C=S;O=A\">Size</a></th></tr>\n"
                       + "   <tr><th colspan=\"3\"><hr></th></tr>\n";
    if (urlPath != "/")
    {
        auto parent = urlPath.substr(0, urlPath.size() - 1);
        parent = parent.substr(0, parent.rfind('/') + 1);
        page += "<tr><td><a href=\"" + escapeLink(parent) + "\">Parent Directory</a></td><td>&nbsp;</td>"
                "<td align=\"right\">  - </td></tr>\n";
    }
    for (const auto& entry : entries)
    {
        const auto name = entry.name + (entry.isFolder ? "/" : "");
        page += "<tr><td><a href=\"" + escapeLink(name) + "\">" + escapeHtml(name) + "</a></td><td align=\"right\">"
                + listingDate(entry.modified) + "  </td><td align=\"right\">"
                + (entry.isFolder ? std::string("  - ") : std::to_string(entry.size)) + "</td></tr>\n";
    }
    page += "   <tr><th colspan=\"3\"><hr></th></tr>\n</table>\n</body></html>\n";
    return page;
}

struct Route
{
    Reply reply;
    // Set for setFile: the body is read from here when the request arrives.
    std::string localFile;
};

// What happens to the answers of one path, whichever route or folder produces them.
struct Behaviour
{
    int tooManyLeft = 0;
    std::string retryAfter;
    size_t cutOffBytes = 0;
    int cutOffLeft = 0; // -1: always
    size_t stallAfter = 0;
    int stallMs = 0;
    std::optional<std::string> lastModified;
};

struct LoginRule
{
    std::string prefix;
    std::string user;
    std::string password;
    int wrongLoginStatus;
};

struct Folder
{
    std::string prefix;
    std::string localFolder;
};

// How the body of one answer goes out on the wire.
struct Delivery
{
    std::optional<size_t> cutOffAt;
    std::optional<size_t> stallAt;
    int stallMs = 0;
};
}

struct TestServer::Impl
{
    httplib::Server server;
    std::thread thread;
    int port = 0;
    bool stopped = false;

    mutable std::mutex mutex;
    std::map<std::string, Route> routes;
    std::map<std::string, Behaviour> behaviours;
    std::vector<LoginRule> logins;
    std::vector<Folder> folders;
    std::vector<ReceivedRequest> received;

    std::mutex stopMutex;
    std::condition_variable stopSignal;
    bool stopping = false;

    void handle(const httplib::Request& request, httplib::Response& response);
    void record(const httplib::Request& request);
    std::optional<Reply> checkLogin(const httplib::Request& request) const;
    Reply answerFor(const std::string& path) const;
    std::optional<Reply> answerFromFolder(const std::string& path) const;
    void send(const Reply& reply, const Delivery& delivery, httplib::Response& response);
    // Waits for the given time or until the server stops.
    void pause(int milliseconds);
};

void TestServer::Impl::record(const httplib::Request& request)
{
    ReceivedRequest entry;
    entry.method = request.method;
    entry.path = request.path;
    entry.target = request.target;
    for (const auto& [name, value] : request.headers)
        if (!isServerAddedHeader(name))
            entry.headers.emplace_back(name, value);
    std::lock_guard<std::mutex> lock(mutex);
    received.push_back(std::move(entry));
}

std::optional<Reply> TestServer::Impl::checkLogin(const httplib::Request& request) const
{
    const LoginRule* longest = nullptr;
    for (const auto& rule : logins)
        if (startsWith(request.path, rule.prefix) && (!longest || rule.prefix.size() > longest->prefix.size()))
            longest = &rule;
    if (!longest)
        return std::nullopt;

    Reply refusal;
    refusal.contentType = "text/html";
    const auto authorization = request.get_header_value("Authorization");
    if (authorization.empty())
    {
        refusal.status = 401;
        refusal.body = "<html><body><h1>401 Authorization Required</h1></body></html>";
        refusal.headers.emplace_back("WWW-Authenticate", "Basic realm=\"Restricted\"");
        return refusal;
    }
    const std::string scheme = "Basic ";
    const auto sent = startsWith(authorization, scheme) ? decodeBase64(authorization.substr(scheme.size())) : "";
    for (const auto& rule : logins)
        if (rule.prefix == longest->prefix && sent == rule.user + ":" + rule.password)
            return std::nullopt;
    refusal.status = longest->wrongLoginStatus;
    refusal.body = "<html><body><h1>" + std::to_string(refusal.status) + "</h1></body></html>";
    if (refusal.status == 401)
        refusal.headers.emplace_back("WWW-Authenticate", "Basic realm=\"Restricted\"");
    return refusal;
}

std::optional<Reply> TestServer::Impl::answerFromFolder(const std::string& path) const
{
    const Folder* longest = nullptr;
    for (const auto& folder : folders)
        if ((startsWith(path, folder.prefix) || path + "/" == folder.prefix)
            && (!longest || folder.prefix.size() > longest->prefix.size()))
            longest = &folder;
    if (!longest)
        return std::nullopt;

    const auto relative = path.size() >= longest->prefix.size() ? path.substr(longest->prefix.size()) : "";
    if (("/" + relative + "/").find("/../") != std::string::npos)
    {
        Reply refused;
        refused.status = 403;
        return refused;
    }
    const auto local = longest->localFolder + "/" + relative;
    const juce::File file(local);
    Reply reply;
    if (file.isDirectory())
    {
        if (path.empty() || path.back() != '/')
        {
            reply.status = 301;
            reply.headers.emplace_back("Location", path + "/");
            return reply;
        }
        const auto index = file.getChildFile("index.html").getFullPathName().toStdString();
        if (auto content = readWholeFile(index))
        {
            reply.body = *content;
            reply.lastModified = httpDate(modificationSeconds(index));
        }
        else
        {
            reply.body = listingPage(path, local);
        }
        reply.contentType = "text/html";
        return reply;
    }
    if (auto content = readWholeFile(local))
    {
        reply.body = *content;
        reply.lastModified = httpDate(modificationSeconds(local));
        return reply;
    }
    reply.status = 404;
    reply.contentType = "text/html";
    reply.body = "<html><body><h1>404 Not Found</h1></body></html>";
    return reply;
}

Reply TestServer::Impl::answerFor(const std::string& path) const
{
    const auto route = routes.find(path);
    if (route != routes.end())
    {
        auto reply = route->second.reply;
        if (route->second.localFile.empty())
            return reply;
        if (auto content = readWholeFile(route->second.localFile))
        {
            reply.body = *content;
            reply.lastModified = httpDate(modificationSeconds(route->second.localFile));
            return reply;
        }
        Reply missing;
        missing.status = 404;
        return missing;
    }
    if (auto reply = answerFromFolder(path))
        return *reply;
    Reply missing;
    missing.status = 404;
    missing.contentType = "text/html";
    missing.body = "<html><body><h1>404 Not Found</h1></body></html>";
    return missing;
}

void TestServer::Impl::handle(const httplib::Request& request, httplib::Response& response)
{

    Reply reply;
    Delivery delivery;
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto& behaviour = behaviours[request.path];
        if (auto refusal = checkLogin(request))
        {
            reply = *refusal;
        }
        else if (behaviour.tooManyLeft > 0)
        {
            --behaviour.tooManyLeft;
            reply.status = 429;
            reply.contentType = "text/plain";
            reply.body = "Too Many Requests";
            if (!behaviour.retryAfter.empty())
                reply.headers.emplace_back("Retry-After", behaviour.retryAfter);
        }
        else
        {
            reply = answerFor(request.path);
            if (behaviour.lastModified)
                reply.lastModified = *behaviour.lastModified;
            if (behaviour.cutOffLeft != 0 && behaviour.cutOffBytes < reply.body.size()
                && reply.framing != Reply::Framing::UntilClose)
            {
                delivery.cutOffAt = behaviour.cutOffBytes;
                if (behaviour.cutOffLeft > 0)
                    --behaviour.cutOffLeft;
            }
            if (behaviour.stallMs > 0)
            {
                delivery.stallAt = behaviour.stallAfter;
                delivery.stallMs = behaviour.stallMs;
            }
        }
    }
    send(reply, delivery, response);
}

void TestServer::Impl::pause(int milliseconds)
{
    std::unique_lock<std::mutex> lock(stopMutex);
    stopSignal.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return stopping; });
}

void TestServer::Impl::send(const Reply& reply, const Delivery& delivery, httplib::Response& response)
{
    response.status = reply.status;
    for (const auto& [name, value] : reply.headers)
        response.set_header(name, value);
    if (!reply.lastModified.empty())
        response.set_header("Last-Modified", reply.lastModified);

    if (reply.body.empty() && reply.framing == Reply::Framing::ContentLength)
    {
        response.set_header("Content-Length", "0");
        response.set_header("Content-Type", reply.contentType);
        return;
    }

    // Every body goes through a provider: the server then sends the bytes exactly as given (no
    // compression of its own), and a test can cut them short or hold them back.
    auto body = std::make_shared<const std::string>(reply.body);
    auto stalled = std::make_shared<bool>(false);
    const size_t piece = 16384;
    auto nextPiece = [this, body, stalled, delivery, piece](size_t offset, httplib::DataSink& sink) -> bool {
        if (delivery.cutOffAt && offset >= *delivery.cutOffAt)
            return false; // httplib closes the connection
        if (delivery.stallAt && !*stalled && offset >= *delivery.stallAt)
        {
            *stalled = true;
            pause(delivery.stallMs);
        }
        auto end = std::min(body->size(), offset + piece);
        if (delivery.cutOffAt)
            end = std::min(end, *delivery.cutOffAt);
        if (delivery.stallAt && !*stalled && offset < *delivery.stallAt)
            end = std::min(end, *delivery.stallAt);
        if (end > offset)
            return sink.write(body->data() + offset, end - offset);
        return true;
    };

    switch (reply.framing)
    {
    case Reply::Framing::ContentLength:
        response.set_content_provider(body->size(), reply.contentType,
                                      [nextPiece](size_t offset, size_t, httplib::DataSink& sink) {
                                          return nextPiece(offset, sink);
                                      });
        break;
    case Reply::Framing::Chunked:
    case Reply::Framing::UntilClose:
    {
        auto provider = [nextPiece, body](size_t offset, httplib::DataSink& sink) {
            if (offset >= body->size())
            {
                sink.done();
                return true;
            }
            return nextPiece(offset, sink);
        };
        if (reply.framing == Reply::Framing::Chunked)
        {
            response.set_chunked_content_provider(reply.contentType, provider);
        }
        else
        {
            response.set_header("Connection", "close");
            response.set_content_provider(reply.contentType, provider);
        }
        break;
    }
    }
}

TestServer::TestServer(int port) : m_impl(std::make_unique<Impl>())
{
    auto& impl = *m_impl;
    // One request per connection: a body without a size then ends as soon as it is sent.
    impl.server.set_keep_alive_max_count(1);
    impl.server.set_pre_routing_handler([&impl](const httplib::Request& request, httplib::Response&) {
        impl.record(request);
        // httplib would gzip chunked text answers on its own when the client accepts gzip; tests
        // decide themselves what bytes go out. The request object is the server's own, not const.
        const_cast<httplib::Request&>(request).headers.erase("Accept-Encoding");
        return httplib::Server::HandlerResponse::Unhandled;
    });
    impl.server.Get(".*", [&impl](const httplib::Request& request, httplib::Response& response) {
        impl.handle(request, response);
    });
    if (port == 0)
        impl.port = impl.server.bind_to_any_port("127.0.0.1");
    else if (impl.server.bind_to_port("127.0.0.1", port))
        impl.port = port;
    else
        impl.port = -1;
    if (impl.port <= 0)
        throw std::runtime_error("The loopback test server could not open a port");

    impl.thread = std::thread([&impl] { impl.server.listen_after_bind(); });
    for (int waited = 0; !impl.server.is_running(); ++waited)
    {
        if (waited == 5000)
            throw std::runtime_error("The loopback test server did not start");
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

TestServer::~TestServer()
{
    stop();
}

void TestServer::stop()
{
    if (m_impl->stopped)
        return;
    m_impl->stopped = true;
    {
        std::lock_guard<std::mutex> lock(m_impl->stopMutex);
        m_impl->stopping = true;
    }
    m_impl->stopSignal.notify_all();
    m_impl->server.stop();
    if (m_impl->thread.joinable())
        m_impl->thread.join();
}

int TestServer::port() const
{
    return m_impl->port;
}

std::string TestServer::url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(m_impl->port) + path;
}

void TestServer::setText(const std::string& path, const std::string& body, const std::string& contentType)
{
    Reply reply;
    reply.body = body;
    reply.contentType = contentType;
    setReply(path, std::move(reply));
}

void TestServer::setFile(const std::string& path, const std::string& localFile, const std::string& contentType)
{
    Route route;
    route.reply.contentType = contentType;
    route.localFile = localFile;
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->routes[path] = std::move(route);
}

void TestServer::setStatus(const std::string& path, int status, const std::string& body)
{
    Reply reply;
    reply.status = status;
    reply.body = body;
    reply.contentType = "text/html";
    setReply(path, std::move(reply));
}

void TestServer::setReply(const std::string& path, Reply reply)
{
    Route route;
    route.reply = std::move(reply);
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->routes[path] = std::move(route);
}

void TestServer::redirect(const std::string& path, const std::string& target, int status)
{
    Reply reply;
    reply.status = status;
    reply.headers.emplace_back("Location", target);
    setReply(path, std::move(reply));
}

void TestServer::serveFolder(const std::string& prefix, const std::string& localFolder)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->folders.push_back({prefix, localFolder});
}

void TestServer::requireLogin(const std::string& prefix, const std::string& user, const std::string& password,
                              int wrongLoginStatus)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->logins.push_back({prefix, user, password, wrongLoginStatus});
}

void TestServer::answerTooManyRequests(const std::string& path, int times, const std::string& retryAfter)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    auto& behaviour = m_impl->behaviours[path];
    behaviour.tooManyLeft = times;
    behaviour.retryAfter = retryAfter;
}

void TestServer::cutOff(const std::string& path, size_t bytesSent, int times)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    auto& behaviour = m_impl->behaviours[path];
    behaviour.cutOffBytes = bytesSent;
    behaviour.cutOffLeft = times;
}

void TestServer::stall(const std::string& path, size_t bytesSent, int milliseconds)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    auto& behaviour = m_impl->behaviours[path];
    behaviour.stallAfter = bytesSent;
    behaviour.stallMs = milliseconds;
}

void TestServer::setLastModified(const std::string& path, const std::string& httpDateText)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->behaviours[path].lastModified = httpDateText;
}

std::vector<ReceivedRequest> TestServer::requests() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->received;
}

std::vector<ReceivedRequest> TestServer::requestsFor(const std::string& path) const
{
    std::vector<ReceivedRequest> matching;
    for (auto& request : requests())
        if (request.path == path)
            matching.push_back(std::move(request));
    return matching;
}

size_t TestServer::requestCount(const std::string& path) const
{
    return requestsFor(path).size();
}

void TestServer::clearRequests()
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->received.clear();
}

std::string ReceivedRequest::header(const std::string& name) const
{
    for (const auto& [key, value] : headers)
        if (equalsIgnoringCase(key, name))
            return value;
    return {};
}

bool ReceivedRequest::hasHeader(const std::string& name) const
{
    return std::any_of(headers.begin(), headers.end(),
                       [&name](const auto& header) { return equalsIgnoringCase(header.first, name); });
}

std::vector<std::string> ReceivedRequest::headerLines() const
{
    std::vector<std::string> lines;
    for (const auto& [name, value] : headers)
        if (!equalsIgnoringCase(name, "Host") && !equalsIgnoringCase(name, "Accept")
            && !equalsIgnoringCase(name, "Connection"))
            lines.push_back(name + ": " + value);
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::string httpDate(int64_t secondsSince1970)
{
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const auto t = static_cast<time_t>(secondsSince1970);
    struct tm parts {};
    gmtime_r(&t, &parts);
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", days[parts.tm_wday], parts.tm_mday,
                  months[parts.tm_mon], parts.tm_year + 1900, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

std::string gzip(const std::string& bytes)
{
    juce::MemoryOutputStream out;
    {
        juce::GZIPCompressorOutputStream compressor(out, 9, juce::GZIPCompressorOutputStream::windowBitsGZIP);
        compressor.write(bytes.data(), bytes.size());
        compressor.flush();
    }
    return std::string(static_cast<const char*>(out.getData()), out.getDataSize());
}
}
