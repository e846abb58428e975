#pragma once

#include <array>
#include <streambuf>
#include <string>

namespace pluginManager
{
// The standard output of a run. While one exists, std::cout writes through it with the system's
// own write(2), so that output the system refuses (a full disk, a closed descriptor) is noticed
// with its reason; the C library's stream drops such a failure with its buffer. What is printed is
// held until the buffer fills, std::cout is flushed, or std::cerr is written to (std::cerr flushes
// std::cout first), so the two streams keep their order on a terminal.
class StandardOutput : public std::streambuf
{
public:
    StandardOutput();
    // Writes out what is still held and gives std::cout its own buffer back.
    ~StandardOutput() override;
    StandardOutput(const StandardOutput&) = delete;
    StandardOutput& operator=(const StandardOutput&) = delete;

    // Writes out what is still held. True when every write of the run was taken whole; otherwise
    // false with why the first one was not (what followed it was dropped).
    bool finish(std::string& why);

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    bool writeHeld();

    std::array<char, 65536> m_buffer;
    std::streambuf* m_previous;
    // errno of the first write that failed, 0 while none has.
    int m_failure = 0;
};
}
