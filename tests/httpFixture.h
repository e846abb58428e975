#pragma once

#include "manager/log.h"
#include "manager/platformUtils.h"

#include "support/tempFolder.h"
#include "support/testServer.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace httpTests
{
// A loopback server, a work folder, and a log of this test's own in a settings folder of its own.
class HttpFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        pluginManager::PlatformUtils::setSettingsFolder(settings.path());
        pluginManager::Log::start();
    }

    void TearDown() override
    {
        pluginManager::Log::stop();
        pluginManager::PlatformUtils::setSettingsFolder("");
    }

    // The messages of the lines logged so far, without their time stamps.
    static std::vector<std::string> logMessages()
    {
        std::vector<std::string> messages;
        std::istringstream text(testSupport::readFile(pluginManager::PlatformUtils::getSettingsPath("log.txt")));
        for (std::string line; std::getline(text, line);)
        {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            // Our lines begin with a time such as 2024-05-01T13:45:00.000+02:00; the framework's
            // welcome block does not.
            const auto gap = line.find("  ");
            if (line.size() > 11 && line[4] == '-' && line[10] == 'T' && gap != std::string::npos)
                messages.push_back(line.substr(gap + 2));
        }
        return messages;
    }

    // An address where nothing listens: the port of a server that has stopped.
    static std::string closedUrl(const std::string& path)
    {
        testSupport::TestServer gone;
        gone.stop();
        return gone.url(path);
    }

    testSupport::TempFolder settings;
    testSupport::TempFolder work;
    testSupport::TestServer server;
};

// For the asynchronous forms and the message-thread rule: this thread becomes the message thread
// for the test, and stops being it afterwards, so later tests in the same process retry as usual.
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
        // Let posted calls that still hold our callbacks run before the loop goes away.
        juce::MessageManager::getInstance()->runDispatchLoopUntil(10);
        juce::MessageManager::deleteInstance();
        HttpFixture::TearDown();
    }

    // Pumps the message loop until the condition holds or about ten seconds have passed.
    static bool pumpUntil(const std::function<bool()>& condition)
    {
        auto* messages = juce::MessageManager::getInstance();
        for (int round = 0; round < 500 && !condition(); ++round)
            messages->runDispatchLoopUntil(20);
        return condition();
    }
};
}
