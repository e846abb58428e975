#pragma once

#include <juce_core/juce_core.h>

#include <string>

namespace pluginManager
{
// The reading of "file:///" addresses, which only a program built with a local source follows
// (webAddress.h). Addresses are taken literally: "%20" stays "%20".

// The local file that url names, from its third "/" on ("file:///home/u/x" names "/home/u/x"); a
// folder stands for its index.html.
juce::File localFile(const std::string& url);

// The file that url names; false with "File not found: " and its path when it is no file.
bool findLocalFile(const std::string& url, juce::File& file, std::string& error);

// Copies the file that url names to dest through "<dest>.downloading" beside it, so that a copy
// that fails half-way leaves dest as it was; false with "File not found: " and the source's path.
bool copyLocalFile(const std::string& url, const juce::File& dest, std::string& error);
}
