#pragma once

namespace pluginManager
{
// The program's name and version: shown by the usage text, written in the log's welcome line and
// compared by the self-update.
inline constexpr const char* programName = "VYR Plugin Manager";
// The version comes from the build (the project's version in CMakeLists.txt).
inline constexpr const char* programVersion = VYRPM_VERSION;
}
