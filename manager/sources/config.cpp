#include "manager/sources/config.h"

#include <juce_core/juce_core.h>

namespace pluginManager
{
// What the shipped program defines beside the manager library (platform/buildSeams.h). Kept out
// of the library on purpose: the tests compile their own variants in its place.
const Urls& urls()
{
    static const Urls endpoints{
        "https://api.github.com/repos/morvatek/clavendrome/releases?per_page=100",
        "https://www.kestavel.example/builds/",
        "https://raw.githubusercontent.com/morvatek/clavendrome/main/doc/changelog.txt",
        "https://builds.kestavel.example/builds/",
        "https://mirror.kestavel.example/builds/",
        "https://www.kestavel.example/installer/plugins.json",
    };
    return endpoints;
}

int textRequestMilliseconds() { return textRequestLimitMs; }

void waitBeforeAskingAgain(int milliseconds) { juce::Thread::sleep(milliseconds); }

long long steadyMilliseconds() { return static_cast<long long>(juce::Time::getMillisecondCounterHiRes()); }

bool mayStartThread() { return true; }
}
