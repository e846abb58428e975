#pragma once

#include <optional>
#include <string>

namespace testSupport
{
// Sets (or with std::nullopt removes) an environment variable for the object's lifetime, and
// then restores the value it had, or its absence.
class ScopedEnv
{
public:
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_previous;
};
}
