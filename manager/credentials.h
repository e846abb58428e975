#pragma once

#include <string>

namespace pluginManager
{
// A login for a protected channel. It is sent or tried only when both fields are set.
struct Credentials
{
    std::string user;
    std::string password;

    bool isComplete() const { return !user.empty() && !password.empty(); }
};
}
