#include "StressSupport.h"

#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

std::uint64_t StressSeed()
{
    static const std::uint64_t seed = [] {
        std::uint64_t value = 0;
        char given[32];
        const DWORD length = ::GetEnvironmentVariableA("PAPERLENS_STRESS_SEED", given, sizeof given);
        if (length > 0 && length < sizeof given) {
            value = std::strtoull(given, nullptr, 10);
        } else {
            value = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                    (static_cast<std::uint64_t>(::GetCurrentProcessId()) << 32);
        }
        std::printf("stress seed %llu (repeat the run with PAPERLENS_STRESS_SEED=%llu)\n",
                    static_cast<unsigned long long>(value), static_cast<unsigned long long>(value));
        std::fflush(stdout);
        return value;
    }();
    return seed;
}


std::size_t HeapBytesInUse()
{
    std::vector<HANDLE> heaps(::GetProcessHeaps(0, nullptr) + 8);
    const DWORD count = ::GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
    std::size_t busy = 0;
    for (DWORD i = 0; i < count && i < heaps.size(); ++i) {
        // The vector above lives in one of these heaps; it is allocated before the walk
        // and freed after it, so it counts the same at every measurement.
        if (!::HeapLock(heaps[i])) {
            continue;
        }
        PROCESS_HEAP_ENTRY entry = {};
        while (::HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
                busy += entry.cbData;
            }
        }
        ::HeapUnlock(heaps[i]);
    }
    return busy;
}

std::size_t PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                sizeof counters)) {
        return 0;
    }
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

namespace {

BOOL CALLBACK CountVisibleOwnWindow(HWND window, LPARAM count)
{
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == ::GetCurrentProcessId() && ::IsWindowVisible(window)) {
        ++*reinterpret_cast<int*>(count);
    }
    return TRUE;
}

} // namespace

int VisibleWindowsOfThisProcess()
{
    int count = 0;
    ::EnumWindows(CountVisibleOwnWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

std::string OptionForTarget(const std::string& target)
{
    if (target.size() < 6) {
        return {};
    }
    const std::string tag = target.substr(target.size() - 6, 2);
    if (tag == "_a") {
        return " -enc ANSI";
    }
    if (tag == "_k") {
        return " -enc KOI8-R";
    }
    if (tag == "_u") {
        return " -enc UTF-8";
    }
    return {};
}
