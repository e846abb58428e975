#include "support/testServer.h"

#include <httplib.h>
#include <juce_core/juce_core.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <system_error>
#include <thread>

#include <strings.h>

namespace testSupport
{
namespace
{
bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// The entry of the longest key that path begins with, or null. The keys that path begins with
// begin with each other, so the longest of them sorts last.
template <typename Value>
const std::pair<const std::string, Value>* longestPrefix(const std::map<std::string, Value>& map, const std::string& path)
{
    for (auto entry = map.rbegin(); entry != map.rend(); ++entry)
        if (startsWith(path, entry->first))
            return &*entry;
    return nullptr;
}

// A thread for each connection, made when it comes, so that a server without a request under way
// has no thread of its own but the one that listens. A test that forks (to drop rights, or to
// limit file sizes) would otherwise copy a process in which a pool's thread is still being made,
// and the child could wait for ever for a lock that thread held. Threads that ended are joined as
// new ones come; the rest when the server stops. Where the system gives no thread, connections are
// answered one after another.
class ThreadPerConnection : public httplib::TaskQueue
{
public:
    void enqueue(std::function<void()> task) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        joinEnded();
        auto ended = std::make_shared<std::atomic<bool>>(false);
        auto shared = std::make_shared<std::function<void()>>(std::move(task));
        try
        {
            m_threads.push_back({std::thread([shared, ended] {
                                     (*shared)();
                                     *ended = true;
                                 }),
                                 ended});
        }
        catch (const std::system_error&)
        {
            // Under a limit on tasks the listening thread answers the connection itself.
            (*shared)();
        }
    }

    void shutdown() override
    {
        std::vector<Running> all;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            all.swap(m_threads);
        }
        for (auto& running : all)
            running.thread.join();
    }

private:
    struct Running
    {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> ended;
    };

    void joinEnded()
    {
        const auto done = std::partition(m_threads.begin(), m_threads.end(), [](const Running& r) { return !*r.ended; });
        for (auto it = done; it != m_threads.end(); ++it)
            it->thread.join();
        m_threads.erase(done, m_threads.end());
    }

    std::mutex m_mutex;
    std::vector<Running> m_threads;
};

Reply page(int status, std::string body, std::string type = "text/html", decltype(Reply::headers) headers = {})
{
    return {status, std::move(body), std::move(type), std::move(headers)};
}

Reply notFound() { return page(404, "<html><body><h1>404 Not Found</h1></body></html>"); }

// In the manner of a web server's automatic folder index.
std::string listingPage(const std::string& urlPath, const juce::File& folder)
{
    std::set<std::string> rows; // sorted
    for (const auto& entry : juce::RangedDirectoryIterator(folder, false, "*", juce::File::findFilesAndDirectories))
    {
        const auto name = entry.getFile().getFileName().toStdString() + (entry.isDirectory() ? "/" : "");
        const auto modified = entry.getModificationTime().formatted("%Y-%m-%d %H:%M").toStdString();
        rows.insert("<a href=\"" + name + "\">" + name + "</a>  " + modified + "  "
                       + (entry.isDirectory() ? "-" : std::to_string(entry.getFileSize())) + "\n");
    }
    std::string text = "<html><body><h1>Index of " + urlPath + "</h1><pre><a href=\"../\">Parent Directory</a>\n";
    for (const auto& row : rows)
        text += row;
    return text + "</pre></body></html>\n";
}

// A time as HTTP dates are written: "Sun, 06 Nov 1994 08:49:37 GMT".
std::string httpDate(const juce::Time& time)
{
    const auto seconds = static_cast<std::time_t>(time.toMilliseconds() / 1000);
    std::tm utc{};
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", gmtime_r(&seconds, &utc));
    return text;
}

// Sends a file in pieces as the connection takes them, so that its size costs no memory.
void streamFile(const juce::File& local, httplib::Response& response)
{
    const auto in = std::make_shared<std::ifstream>(local.getFullPathName().toStdString(), std::ios::binary);
    const auto provider = [in](size_t offset, size_t length, httplib::DataSink& sink) {
        char buffer[1 << 16];
        in->seekg(std::streamoff(offset)).read(buffer, std::streamsize(std::min(length, sizeof buffer)));
        return in->gcount() > 0 && sink.write(buffer, size_t(in->gcount()));
    };
    response.set_content_provider(size_t(local.getSize()), "application/octet-stream", provider);
}

// What happens to the next answers of one path, whichever route or folder produces them.
struct Behaviour
{
    int tooManyLeft = 0;
    std::string retryAfter;
    size_t cutOffBytes = 0;
    int cutOffLeft = 0; // -1: always
    std::string endlessPiece;
    int endlessPauseMs = 0;
};
}

struct TestServer::Impl
{
    httplib::Server server;
    std::thread thread;
    std::atomic<bool> listening{false};
    int port = 0;

    mutable std::mutex mutex;
    std::map<std::string, Reply> routes;
    std::string folder; // served at the root
    std::map<std::string, std::pair<std::string, int>> logins; // by prefix: Authorization, status of another
    std::map<std::string, Behaviour> behaviours;
    std::vector<ReceivedRequest> received;
    std::set<std::string> held;
    std::condition_variable released;
    std::chrono::milliseconds delay{0};
    bool newestFirst = false;
    size_t arrivals = 0, mostUnderWay = 0;
    std::map<size_t, std::string> underWay; // paths by order of arrival

    // Called with the lock held, until the request may be answered.
    void await(std::unique_lock<std::mutex>& lock, const std::string& path);

    template <typename Change>
    void edit(Change change)
    {
        std::lock_guard<std::mutex> lock(mutex);
        change();
    }

    // Called with the lock held; cutAt tells where the body breaks off. A file of the served folder
    // comes back in file, with an empty body, so that it can be streamed; it is never broken off.
    Reply answer(const httplib::Request& request, size_t& cutAt, Behaviour& pause, juce::File& file);
    Reply answerFromFolder(const std::string& path, juce::File& file) const;
};

Reply TestServer::Impl::answerFromFolder(const std::string& path, juce::File& file) const
{
    if (folder.empty() || path.find("..") != std::string::npos)
        return notFound();
    const auto local = juce::File(folder).getChildFile(path.substr(1));
    if (local.isDirectory() && path.back() == '/')
        return page(200, listingPage(path, local));
    if (!local.existsAsFile())
        return notFound();
    file = local;
    return page(200, "", "application/octet-stream", {{"Last-Modified", httpDate(local.getLastModificationTime())}});
}

void TestServer::Impl::await(std::unique_lock<std::mutex>& lock, const std::string& path)
{
    const auto due = std::chrono::steady_clock::now() + delay;
    const size_t arrival = arrivals++;
    underWay[arrival] = path;
    mostUnderWay = std::max(mostUnderWay, underWay.size());
    while (std::chrono::steady_clock::now() < due)
        released.wait_until(lock, due);
    // A held answer waits for the test alone; the others go past it.
    const auto newerFree = [&] {
        return std::any_of(underWay.upper_bound(arrival), underWay.end(),
                           [&](const auto& newer) { return held.count(newer.second) == 0; });
    };
    released.wait(lock, [&] { return held.count(path) == 0 && !(newestFirst && newerFree()); });
    underWay.erase(arrival);
    released.notify_all();
}

Reply TestServer::Impl::answer(const httplib::Request& request, size_t& cutAt, Behaviour& pause, juce::File& file)
{
    const auto* login = longestPrefix(logins, request.path);
    const auto sent = request.get_header_value("Authorization");
    if (login && sent != login->second.first)
    {
        const int status = sent.empty() ? 401 : login->second.second;
        return page(status, "<html><body><h1>" + std::to_string(status) + "</h1></body></html>", "text/html",
                    {{"WWW-Authenticate", "Basic realm=\"Restricted\""}});
    }

    auto& behaviour = behaviours[request.path];
    if (behaviour.tooManyLeft > 0)
    {
        --behaviour.tooManyLeft;
        auto tooMany = page(429, "Too Many Requests", "text/plain");
        if (!behaviour.retryAfter.empty())
            tooMany.headers.emplace_back("Retry-After", behaviour.retryAfter);
        return tooMany;
    }
    const auto route = routes.find(request.path);
    if (route == routes.end())
        return answerFromFolder(request.path, file);
    const Reply& reply = route->second;
    if (behaviour.cutOffLeft != 0 && behaviour.cutOffBytes < reply.body.size())
    {
        cutAt = behaviour.cutOffBytes;
        if (behaviour.cutOffLeft > 0)
            --behaviour.cutOffLeft;
    }
    pause = behaviour;
    return reply;
}

TestServer::TestServer() : m_impl(std::make_unique<Impl>())
{
    auto& impl = *m_impl;
    // One request per connection: a body without a size then ends as soon as it is sent.
    impl.server.set_keep_alive_max_count(1);
    // A thread for every request a client may have under way, so that the count of those under
    // way is the client's and not the size of the server's pool.
    impl.server.new_task_queue = [&impl] {
        auto* queue = new ThreadPerConnection;
        impl.listening = true;
        return queue;
    };
    impl.server.set_pre_routing_handler([&impl](const httplib::Request& request, httplib::Response&) {
        ReceivedRequest entry{request.path, {}};
        for (const auto& [name, value] : request.headers)
            if (!startsWith(name, "REMOTE_") && !startsWith(name, "LOCAL_") && strcasecmp(name.c_str(), "Host")
                && strcasecmp(name.c_str(), "Accept") && strcasecmp(name.c_str(), "Connection"))
                entry.headerLines.push_back(name + ": " + value);
        std::sort(entry.headerLines.begin(), entry.headerLines.end());
        impl.edit([&] { impl.received.push_back(std::move(entry)); });
        // Else httplib might compress answers itself, and tests decide what bytes go out. The
        // request object is the server's own, not const.
        const_cast<httplib::Request&>(request).headers.erase("Accept-Encoding");
        return httplib::Server::HandlerResponse::Unhandled;
    });
    impl.server.Get(".*", [&impl](const httplib::Request& request, httplib::Response& response) {
        size_t cutAt = std::string::npos;
        Behaviour pause;
        juce::File file;
        std::unique_lock<std::mutex> lock(impl.mutex);
        impl.await(lock, request.path);
        Reply reply = impl.answer(request, cutAt, pause, file);
        lock.unlock();
        response.status = reply.status;
        for (const auto& [name, value] : reply.headers)
            response.set_header(name, value);
        if (!pause.endlessPiece.empty())
            return response.set_content_provider(reply.contentType, [pause](size_t, httplib::DataSink& sink) {
                std::this_thread::sleep_for(std::chrono::milliseconds(pause.endlessPauseMs));
                return sink.write(pause.endlessPiece.data(), pause.endlessPiece.size());
            });
        if (file != juce::File())
            return streamFile(file, response);
        // Returning false from a provider makes httplib close the connection.
        const auto sent = std::make_shared<const std::string>(reply.body.substr(0, cutAt));
        const bool breaksOff = cutAt != std::string::npos;
        auto provider = [sent, breaksOff](size_t offset, httplib::DataSink& sink) {
            if (offset < sent->size())
                return sink.write(sent->data() + offset, sent->size() - offset);
            if (breaksOff)
                return false;
            sink.done();
            return true;
        };
        if (reply.chunked)
            response.set_chunked_content_provider(reply.contentType, provider);
        else
            response.set_content_provider(reply.body.size(), reply.contentType,
                                          [provider](size_t offset, size_t, httplib::DataSink& sink) {
                                              return provider(offset, sink);
                                          });
    });
    impl.port = impl.server.bind_to_any_port("127.0.0.1");
    if (impl.port <= 0)
        throw std::runtime_error("The loopback test server could not open a port");
    impl.thread = std::thread([&impl] { impl.server.listen_after_bind(); });
    // Once the queue is made the listening thread only waits for connections.
    while (!impl.listening)
        std::this_thread::yield();
}

TestServer::~TestServer()
{
    m_impl->edit([&] { m_impl->held.clear(); });
    m_impl->released.notify_all();
    m_impl->server.stop();
    m_impl->thread.join();
}

std::string TestServer::url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(m_impl->port) + path;
}

void TestServer::setReply(const std::string& path, Reply reply)
{
    m_impl->edit([&] { m_impl->routes[path] = std::move(reply); });
}

void TestServer::setText(const std::string& path, const std::string& body, const std::string& contentType)
{
    setReply(path, page(200, body, contentType));
}

void TestServer::setStatus(const std::string& path, int status, const std::string& body)
{
    setReply(path, page(status, body));
}

void TestServer::redirect(const std::string& path, const std::string& target)
{
    setReply(path, page(302, "", "text/plain", {{"Location", target}}));
}

void TestServer::serveFolder(const std::string& localFolder) { m_impl->edit([&] { m_impl->folder = localFolder; }); }

void TestServer::requireLogin(const std::string& prefix, const std::string& user, const std::string& password,
                              int wrongLoginStatus)
{
    const auto pair = user + ":" + password;
    const auto expected = "Basic " + juce::Base64::toBase64(pair.data(), pair.size()).toStdString();
    m_impl->edit([&] { m_impl->logins[prefix] = {expected, wrongLoginStatus}; });
}

void TestServer::answerTooManyRequests(const std::string& path, int times, const std::string& retryAfter)
{
    m_impl->edit([&] { auto& b = m_impl->behaviours[path]; b.tooManyLeft = times; b.retryAfter = retryAfter; });
}

void TestServer::cutOff(const std::string& path, size_t bytesSent, int times)
{
    m_impl->edit([&] { auto& b = m_impl->behaviours[path]; b.cutOffBytes = bytesSent; b.cutOffLeft = times; });
}

void TestServer::endless(const std::string& path, const std::string& piece, int milliseconds)
{
    setText(path, "");
    m_impl->edit([&] { auto& b = m_impl->behaviours[path]; b.endlessPiece = piece; b.endlessPauseMs = milliseconds; });
}

void TestServer::hold(const std::string& path) { m_impl->edit([&] { m_impl->held.insert(path); }); }

void TestServer::release(const std::string& path)
{
    m_impl->edit([&] { m_impl->held.erase(path); });
    m_impl->released.notify_all();
}

void TestServer::delayAnswers(int milliseconds, bool newestFirst)
{
    m_impl->edit([&] { m_impl->delay = std::chrono::milliseconds(milliseconds); m_impl->newestFirst = newestFirst; });
}

size_t TestServer::mostUnderWay() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->mostUnderWay;
}

std::vector<ReceivedRequest> TestServer::requests() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->received;
}

size_t TestServer::requestCount(const std::string& path) const
{
    const auto all = requests();
    return size_t(std::count_if(all.begin(), all.end(), [&path](const ReceivedRequest& r) { return r.path == path; }));
}

std::string gzip(const std::string& bytes)
{
    juce::MemoryOutputStream out;
    {
        juce::GZIPCompressorOutputStream compressor(out, 9, juce::GZIPCompressorOutputStream::windowBitsGZIP);
        compressor.write(bytes.data(), bytes.size());
    }
    return std::string(static_cast<const char*>(out.getData()), out.getDataSize());
}
}
