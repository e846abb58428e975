#include "cli/elevatedHandOff.h"

namespace pluginManager
{
// This build carries no elevated worker yet, so every run is a normal command-line run.
bool handOffToElevatedWorker(const std::vector<std::string>& /*arguments*/, int& /*exitCode*/) { return false; }
}
