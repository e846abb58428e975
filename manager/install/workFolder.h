#pragma once

#include <juce_core/juce_core.h>

namespace pluginManager
{
// A private folder in the temporary folder for one install's download or unpacked build. Its run
// holds a lock on it while the folder is in use, and the kernel drops that lock when the run dies,
// however it dies: so a later run can tell a folder that a killed run abandoned from one that a
// run still going works in, and removes only the former.
class WorkFolder
{
public:
    WorkFolder() = default;
    // Removes the folder with all it holds, unless it was handed over.
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    // Makes the folder, owner-only, under a fresh name that begins with "vyr-install-".
    bool create();
    const juce::File& folder() const { return m_folder; }
    // Leaves the folder to whoever runs its copy later; it stays locked until the process ends.
    void handOver();

    // Removes the work folders of this user's runs that are no longer alive.
    static void clearAbandoned();
    // Where work folders are made: the system's temporary folder.
    static juce::File parentFolder();

private:
    juce::File m_folder;
    int m_lock = -1;
    bool m_handedOver = false;
};
}
