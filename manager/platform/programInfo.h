#pragma once

namespace pluginManager
{
// The program's name and version: shown by the usage text, written in the log's welcome line and
// compared by the self-update.
inline constexpr const char* programName = "VYR Plugin Manager";
inline constexpr const char* programVersion = "2.2.27";
}
