#pragma once

#include "manager/logins/credentials.h"

#include <juce_core/juce_core.h>

#include <functional>
#include <memory>
#include <string>

namespace pluginManager
{
// Why a pass of a download ended.
enum class PassResult
{
    Done,   // dest is the complete new file
    CutOff, // the transfer ended short of the file: worth asking once more
    Failed  // anything else, with its message
};

// One attempt at downloading url into dest through "<dest>.downloading": the file that the
// transfer wrote, whole and closed without an error, takes dest's place; on any other end the
// temporary file goes and dest stays as it was. progress may be empty, cancel null.
PassResult downloadPass(const std::string& url, const juce::File& dest, std::string& error,
                        const std::function<void(float)>& progress, const std::shared_ptr<bool>& cancel,
                        const Credentials& login);
}
