#include "support/testServer.h"

namespace testSupport
{
struct TestServer::Impl
{
    int port = 0;
};

std::string ReceivedRequest::header(const std::string&) const { return {}; }
bool ReceivedRequest::hasHeader(const std::string&) const { return false; }
std::vector<std::string> ReceivedRequest::headerLines() const { return {}; }

TestServer::TestServer(int port) : m_impl(std::make_unique<Impl>()) { m_impl->port = port; }
TestServer::~TestServer() { stop(); }
int TestServer::port() const { return m_impl->port; }
std::string TestServer::url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(m_impl->port) + path;
}
void TestServer::setText(const std::string&, const std::string&, const std::string&) {}
void TestServer::setFile(const std::string&, const std::string&, const std::string&) {}
void TestServer::setStatus(const std::string&, int, const std::string&) {}
void TestServer::setReply(const std::string&, Reply) {}
void TestServer::redirect(const std::string&, const std::string&, int) {}
void TestServer::serveFolder(const std::string&, const std::string&) {}
void TestServer::requireLogin(const std::string&, const std::string&, const std::string&, int) {}
void TestServer::answerTooManyRequests(const std::string&, int, const std::string&) {}
void TestServer::cutOff(const std::string&, size_t, int) {}
void TestServer::stall(const std::string&, size_t, int) {}
void TestServer::setLastModified(const std::string&, const std::string&) {}
std::vector<ReceivedRequest> TestServer::requests() const { return {}; }
std::vector<ReceivedRequest> TestServer::requestsFor(const std::string&) const { return {}; }
size_t TestServer::requestCount(const std::string&) const { return 0; }
void TestServer::clearRequests() {}
void TestServer::stop() {}

std::string httpDate(int64_t) { return {}; }
std::string gzip(const std::string& bytes) { return bytes; }
}
