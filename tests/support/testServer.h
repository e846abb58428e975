#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace testSupport
{
// One request as the loopback server received it.
struct ReceivedRequest
{
    std::string method;
    // The path as the server decoded it (percent-escapes resolved), without the query.
    std::string path;
    // The request target exactly as it was sent, with its query.
    std::string target;
    // Every header line as received: name as sent, value.
    std::vector<std::pair<std::string, std::string>> headers;
    // When the request had arrived.
    std::chrono::steady_clock::time_point received;

    // Whether a header of this name (compared ignoring case) was sent.
    bool hasHeader(const std::string& name) const;
    // "Name: value" for every header except those the HTTP transport adds on its own (Host,
    // Accept, Connection), sorted, so a test can compare the lines our client chose to send.
    std::vector<std::string> headerLines() const;
};

// How the server answers one path.
struct Reply
{
    enum class Framing
    {
        ContentLength, // the body's size is announced
        Chunked,       // Transfer-Encoding: chunked, no size
        UntilClose     // no size, the body ends when the connection closes
    };

    int status = 200;
    std::string body;
    std::string contentType = "application/octet-stream";
    std::vector<std::pair<std::string, std::string>> headers;
    Framing framing = Framing::ContentLength;
};

// A loopback HTTP/1.1 server for tests. It listens on a free port of 127.0.0.1, answers on its own
// threads from the moment the constructor returns, and stops in the destructor. Bodies go out
// exactly as given (gzip data without Content-Encoding). Routes are matched by exact path (the
// query is ignored) and win over served folders; any other path answers 404. All setters may be
// called while the server runs.
class TestServer
{
public:
    TestServer();
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    // "http://127.0.0.1:<port>" + path
    std::string url(const std::string& path) const;

    // 200 with the body.
    void setText(const std::string& path, const std::string& body,
                 const std::string& contentType = "text/plain; charset=utf-8");
    // The status with an optional body, e.g. setStatus("/x", 500).
    void setStatus(const std::string& path, int status, const std::string& body = "");
    void setReply(const std::string& path, Reply reply);
    // A 302 redirect to target (a path of this server or a whole address).
    void redirect(const std::string& path, const std::string& target);
    // Serves the files below localFolder under prefix (which begins and ends with "/"), each with its
    // modification time as Last-Modified. A folder address ending in "/" answers with a listing
    // page: one link per entry (sub-folders end with "/"), each followed by its modification time as
    // "YYYY-MM-DD HH:MM" and its size.
    void serveFolder(const std::string& prefix, const std::string& localFolder);

    // Requests below prefix need this Basic login: without one they get 401, with another one
    // wrongLoginStatus (401 or 403, as servers differ); the longest matching prefix decides.
    void requireLogin(const std::string& prefix, const std::string& user, const std::string& password,
                      int wrongLoginStatus = 401);
    // The next `times` requests of path answer 429, with a Retry-After header when retryAfter is
    // not empty; later ones answer normally.
    void answerTooManyRequests(const std::string& path, int times, const std::string& retryAfter = "");
    // The next `times` answers of path (every answer when times is -1) close the connection after
    // bytesSent bytes of the body: one with a size announces the whole size, a chunked one lacks its
    // last chunk.
    void cutOff(const std::string& path, size_t bytesSent, int times = -1);
    // Answers of path pause for the given time after bytesSent bytes of the body, then go on.
    void stall(const std::string& path, size_t bytesSent, int milliseconds);

    // Everything received so far, in order of arrival.
    std::vector<ReceivedRequest> requests() const;
    // The requests for one path (decoded, without query).
    std::vector<ReceivedRequest> requestsFor(const std::string& path) const;
    size_t requestCount(const std::string& path) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The bytes in gzip format.
std::string gzip(const std::string& bytes);
}
