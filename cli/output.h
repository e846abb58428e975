#pragma once

#include <string>

namespace pluginManager
{
// Writes the usage text to the standard output, also when it follows an error.
void usage();

// Delivers a command's result: with an empty path, the text and a newline on the standard
// output; otherwise the text exactly as given into the file at path, and "Written to <path>" on
// the standard output. Returns the exit code.
int output(const std::string& text, const std::string& path);
}
