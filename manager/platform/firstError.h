#pragma once

#include <string>

namespace pluginManager
{
// Where a run goes on past a failure (the sources of a refresh, the plug-ins of a batch, the
// downloads of a product), the user reads one message: the first failure's. The later ones are
// most often its consequences and would bury its cause.
class FirstError
{
public:
    // An empty failure says nothing, so a later one still gets through.
    void keep(const std::string& failure)
    {
        if (first.empty())
            first = failure;
    }
    bool empty() const { return first.empty(); }
    const std::string& text() const { return first; }

private:
    std::string first;
};
}
