// The one platform call of the file-number locks, kept apart so that the logic builds
// natively for its unit tests.
#include "FileNumbers.h"

#ifdef _WIN32
#include <windows.h>

void YieldToOtherThreads() noexcept
{
    ::SwitchToThread();
}
#else
#include <sched.h>

void YieldToOtherThreads() noexcept
{
    ::sched_yield();
}
#endif
