#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace testSupport
{
struct ReceivedRequest
{
    std::string path; // percent-escapes resolved, without the query
    // "Name: value", sorted, without the lines the transport adds on its own (Host, Accept,
    // Connection): what our client chose to send.
    std::vector<std::string> headerLines;
};

struct Reply
{
    int status = 200;
    std::string body;
    std::string contentType = "application/octet-stream";
    std::vector<std::pair<std::string, std::string>> headers;
    bool chunked = false; // else the size is sent ahead
};

// A loopback HTTP/1.1 server on a free port of 127.0.0.1, answering from construction to
// destruction. Bodies go out exactly as given (gzip data without Content-Encoding). Routes match
// the exact path (query ignored) and win over served folders; anything else is 404. Setters may
// be called while it runs.
class TestServer
{
public:
    TestServer();
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    // "http://127.0.0.1:<port>" + path
    std::string url(const std::string& path) const;

    void setText(const std::string& path, const std::string& body,
                 const std::string& contentType = "text/plain; charset=utf-8");
    void setStatus(const std::string& path, int status, const std::string& body = "");
    void setReply(const std::string& path, Reply reply);
    // A 302 to a path of this server or a whole address.
    void redirect(const std::string& path, const std::string& target);
    // Serves the files below localFolder (a full path) at the root, streamed from disk with their
    // modification time as Last-Modified. A folder address ending in "/" answers with a listing
    // page: one link per entry (folders end with "/"), each followed by its modification time as
    // "YYYY-MM-DD HH:MM" and its size.
    void serveFolder(const std::string& localFolder);

    // Below prefix a Basic login is needed: none gets 401, another one wrongLoginStatus (servers
    // differ between 401 and 403); the longest matching prefix decides.
    void requireLogin(const std::string& prefix, const std::string& user, const std::string& password,
                      int wrongLoginStatus = 401);
    // The next `times` requests of path answer 429, with Retry-After when it is not empty.
    void answerTooManyRequests(const std::string& path, int times, const std::string& retryAfter = "");
    // The next `times` answers of a route (all when -1) close the connection after bytesSent bytes
    // of the body: a sized one still announces the whole size, a chunked one lacks its last chunk.
    void cutOff(const std::string& path, size_t bytesSent, int times = -1);
    // Answers of path send piece after piece, pausing this long after each, without size or end
    // until the client hangs up: an endless body, or a trickle.
    void endless(const std::string& path, const std::string& piece, int milliseconds = 0);

    // From now until release(path), answers of path wait; their requests are counted on arrival.
    void hold(const std::string& path);
    void release(const std::string& path);
    // From now on every answer waits this long after its request arrived, as over a real network.
    // With newestFirst an answer also waits for those of the requests that arrived after it, so
    // that requests asked side by side are answered out of order.
    void delayAnswers(int milliseconds, bool newestFirst = false);
    // The most requests that were under way at once: arrived, and not yet answered.
    size_t mostUnderWay() const;

    // In order of arrival.
    std::vector<ReceivedRequest> requests() const;
    size_t requestCount(const std::string& path) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

std::string gzip(const std::string& bytes);
}
