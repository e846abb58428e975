#pragma once

#include <optional>
#include <string>

#include <stdlib.h>

namespace testSupport
{
// Sets (or with std::nullopt removes) an environment variable for the object's lifetime, and
// then restores the value it had, or its absence.
class ScopedEnv
{
public:
    ScopedEnv(std::string name, std::optional<std::string> value) : m_name(std::move(name))
    {
        if (const char* old = getenv(m_name.c_str()))
            m_previous = old;
        apply(value);
    }
    ~ScopedEnv() { apply(m_previous); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void apply(const std::optional<std::string>& value) const
    {
        value ? setenv(m_name.c_str(), value->c_str(), 1) : unsetenv(m_name.c_str());
    }

    std::string m_name;
    std::optional<std::string> m_previous;
};
}
