#pragma once

#include <cstddef>
#include <cstdint>
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

    // The value of a header (name compared ignoring case), empty when absent.
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
    // "Name: value" for every header except those the HTTP transport adds on its own (Host,
    // Accept, Connection), sorted, so a test can compare the lines our client chose to send.
    std::vector<std::string> headerLines() const;
};

// How the server answers one path. setText, setFile and the other helpers below cover the usual
// cases; setReply takes a hand-made answer.
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
    // Sent as the Last-Modified header when not empty (see httpDate()).
    std::string lastModified;
    // Further response headers.
    std::vector<std::pair<std::string, std::string>> headers;
    Framing framing = Framing::ContentLength;
};

// A loopback HTTP/1.1 server for tests. It listens on 127.0.0.1 on a port of its own, answers on
// its own threads from the moment the constructor returns, and stops in the destructor.
//
// Routes are matched by exact path (the query is ignored); exact routes win over served folders.
// A path nobody set answers 404. All setters may be called while the server runs.
class TestServer
{
public:
    // port 0: any free port.
    explicit TestServer(int port = 0);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    int port() const;
    // "http://127.0.0.1:<port>" + path
    std::string url(const std::string& path) const;

    // 200 with the body as it is (any bytes; gzip data is sent without Content-Encoding).
    void setText(const std::string& path, const std::string& body,
                 const std::string& contentType = "text/plain; charset=utf-8");
    // 200 with the file's content as it is when the request arrives, and its modification time as
    // Last-Modified; 404 when the file is missing.
    void setFile(const std::string& path, const std::string& localFile,
                 const std::string& contentType = "application/octet-stream");
    // The status with an optional body, e.g. setStatus("/x", 500).
    void setStatus(const std::string& path, int status, const std::string& body = "");
    void setReply(const std::string& path, Reply reply);
    // A redirect to target (a path of this server or a whole address).
    void redirect(const std::string& path, const std::string& target, int status = 302);
    // Serves the files below localFolder under prefix (which begins and ends with "/"), each with
    // Last-Modified from its modification time. A folder address without its trailing "/" is
    // redirected to the one with it; a folder answers with its index.html when it has one, else
    // with a listing page: one link per entry (sub-folders end with "/"), each followed by its
    // modification time in UTC as "YYYY-MM-DD HH:MM" and its size, plus sorting links with a
    // query and a link to the parent folder.
    void serveFolder(const std::string& prefix, const std::string& localFolder);

    // Requests below prefix need this Basic login. Without an Authorization header they get 401
    // with a WWW-Authenticate header; with another login they get wrongLoginStatus. Several
    // logins may be allowed for the same prefix; the longest matching prefix decides.
    void requireLogin(const std::string& prefix, const std::string& user, const std::string& password,
                      int wrongLoginStatus = 401);

    // The next `times` requests of path answer 429, with a Retry-After header when retryAfter is
    // not empty; later ones answer normally.
    void answerTooManyRequests(const std::string& path, int times, const std::string& retryAfter = "");
    // The next `times` answers of path (every answer when times is -1) close the connection after
    // bytesSent bytes of the body: one with a size announces the whole size, a chunked one lacks its
    // last chunk. An answer that ends with the connection cannot be cut short.
    void cutOff(const std::string& path, size_t bytesSent, int times = -1);
    // Every answer of path pauses for milliseconds after bytesSent bytes of the body. The pause
    // ends early when the server stops.
    void stall(const std::string& path, size_t bytesSent, int milliseconds);
    // Adds (or with an empty text removes) the Last-Modified header of a route set before.
    void setLastModified(const std::string& path, const std::string& httpDateText);

    // Everything received so far, in order of arrival.
    std::vector<ReceivedRequest> requests() const;
    // The requests for one path (decoded, without query).
    std::vector<ReceivedRequest> requestsFor(const std::string& path) const;
    size_t requestCount(const std::string& path) const;
    void clearRequests();

    // Stops answering and closes the port; the destructor calls it too.
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// An HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT") for seconds since 1970 (UTC).
std::string httpDate(int64_t secondsSince1970);
// The bytes in gzip format.
std::string gzip(const std::string& bytes);
}
