#include "support/scopedEnv.h"

#include <stdlib.h>

namespace testSupport
{
namespace
{
void apply(const std::string& name, const std::optional<std::string>& value)
{
    if (value)
        setenv(name.c_str(), value->c_str(), 1);
    else
        unsetenv(name.c_str());
}
}

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : m_name(std::move(name))
{
    if (const char* old = getenv(m_name.c_str()))
        m_previous = old;
    apply(m_name, value);
}

ScopedEnv::~ScopedEnv() { apply(m_name, m_previous); }
}
