#include "cli/standardOutput.h"

#include "manager/platform/writeAll.h"

#include <cerrno>
#include <iostream>
#include <system_error>

#include <unistd.h>

namespace pluginManager
{
StandardOutput::StandardOutput() : m_previous(std::cout.rdbuf(this))
{
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
}

StandardOutput::~StandardOutput()
{
    writeHeld();
    std::cout.rdbuf(m_previous);
}

bool StandardOutput::finish(std::string& why)
{
    std::cout.flush();
    writeHeld();
    if (m_failure == 0)
        return true;
    why = std::generic_category().message(m_failure);
    return false;
}

StandardOutput::int_type StandardOutput::overflow(int_type c)
{
    writeHeld();
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

int StandardOutput::sync()
{
    writeHeld();
    return 0;
}

// After a failure the rest is dropped: a later part that got through would leave a gap that
// nothing shows.
bool StandardOutput::writeHeld()
{
    const size_t held = static_cast<size_t>(pptr() - pbase());
    if (m_failure == 0 && held > 0 && !writeAll(STDOUT_FILENO, pbase(), held))
        m_failure = errno != 0 ? errno : EIO;
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    return m_failure == 0;
}
}
