#include "manager/pluginManager.h"

#include <juce_core/juce_core.h>
#include <juce_events/juce_events.h>

namespace pluginManager
{
PluginManager::PluginManager(bool load)
    : credentials(load), installPaths(load), installed(load), alive(std::make_shared<bool>(true))
{
}

// Completions still queued hold their own copy of the flag; clearing it before anything else goes
// keeps them from touching members that are being destroyed.
PluginManager::~PluginManager()
{
    *alive = false;
    alive.reset();
}

void PluginManager::runAsync(std::function<std::function<void()>()> work) const
{
    juce::Thread::launch([work = std::move(work), alive = alive] {
        std::function<void()> completion = work();
        juce::MessageManager::callAsync([completion = std::move(completion), alive] {
            if (*alive)
                completion();
        });
    });
}
}
