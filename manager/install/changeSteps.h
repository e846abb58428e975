#pragma once

#include <functional>

namespace pluginManager
{
// The moments between the steps by which a run changes what the user keeps: a piece of a copied
// file written, a file put in place, an item staged, swapped in or put out of the way. Nothing
// happens there in the program; a test ends or holds the process there, to see what a run stopped
// at that moment leaves behind.
namespace ChangeSteps
{
inline std::function<void()> onStep;

inline void stepDone()
{
    if (onStep)
        onStep();
}
}
}
