#pragma once

#include "manager/platform/log.h"
#include "manager/platform/platformUtils.h"

#include "support/catalogServer.h"
#include "support/tempFolder.h"
#include "support/testEndpoints.h"
#include "support/testServer.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <functional>
#include <regex>
#include <string>
#include <vector>

namespace httpTests
{
// The messages of a log file, without their time stamps and the welcome block.
inline std::vector<std::string> logLines(const std::string& logFile)
{
    const auto text = testSupport::readFile(logFile);
    const std::regex stamped(R"(\d{4}-\d\d-\d\dT\S+  ([^\r\n]*))");
    std::vector<std::string> messages;
    for (std::sregex_iterator line(text.begin(), text.end(), stamped), end; line != end; ++line)
        messages.push_back((*line)[1]);
    return messages;
}

// A loopback server where every endpoint lies, a work folder, and a settings folder and log of
// the test's own.
class HttpFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        pluginManager::PlatformUtils::setSettingsFolder(settings.path());
        pluginManager::Log::start();
        testSupport::pointEndpointsAt(server.url("/"));
    }

    void TearDown() override
    {
        testSupport::pointEndpointsAt(testSupport::closedLoopbackBase());
        testSupport::limitTextRequests(0);
        pluginManager::Log::stop();
        pluginManager::PlatformUtils::setSettingsFolder("");
    }

    static std::vector<std::string> logMessages()
    {
        return logLines(pluginManager::PlatformUtils::getSettingsPath("log.txt"));
    }

    // Where nothing listens.
    static std::string closedUrl(const std::string& path) { return testSupport::closedLoopbackBase() + path.substr(1); }

    testSupport::TempFolder settings, work;
    testSupport::TestServer server;
    std::string body, error;
};

// This thread is the message thread during the test only, so later tests in the process retry
// as usual.
class MessageThreadFixture : public HttpFixture
{
protected:
    void SetUp() override
    {
        HttpFixture::SetUp();
        juce::MessageManager::getInstance();
    }

    void TearDown() override
    {
        // Posted calls that still hold our callbacks run before the loop goes away.
        juce::MessageManager::getInstance()->runDispatchLoopUntil(10);
        juce::MessageManager::deleteInstance();
        HttpFixture::TearDown();
    }

    // Gives up after about ten seconds.
    static bool pumpUntil(const std::function<bool()>& condition)
    {
        for (int round = 0; round < 500 && !condition(); ++round)
            juce::MessageManager::getInstance()->runDispatchLoopUntil(20);
        return condition();
    }
};

// The endpoints lie below a loopback catalog instead.
class CatalogFixture : public MessageThreadFixture
{
protected:
    void SetUp() override
    {
        MessageThreadFixture::SetUp();
        testSupport::pointEndpointsAt(catalog.server.url("/"));
    }

    testSupport::CatalogServer catalog;
};
}
