#pragma once

namespace pluginManager
{
// The millisecond counter by which the folder walk of installed detection ages what it found,
// compiled in beside the fixed endpoints (sources/config.cpp): the framework's high-resolution
// counter in the shipped program; in the tests one that moves only when a test moves it, so that
// a test sees a walk reused or repeated without sleeping.
long long steadyMilliseconds();
}
