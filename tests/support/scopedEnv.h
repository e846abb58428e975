#pragma once

#include <optional>
#include <string>

namespace testSupport
{
// Sets or unsets an environment variable for the lifetime of the object and restores the value
// it had before (or its absence) on destruction.
class ScopedEnv
{
public:
    // A value of std::nullopt unsets the variable.
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_previous;
};
}
