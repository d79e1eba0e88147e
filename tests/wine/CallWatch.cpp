#include "CallWatch.h"

#include <atomic>

namespace {

std::atomic<int> waiting{0};
std::atomic<int> processWaits{0}, overlappingWaits{0};
std::atomic<int> creations{0}, creationsDuringWait{0};
std::atomic<int> opens{0}, opensDuringWait{0};
std::atomic<int> wineInternalErrors{0};
std::atomic<int> callsWithBoxes{0};
decltype(&::WaitForSingleObject) realWait = nullptr;
decltype(&::CreateProcessW) realCreate = nullptr;
decltype(&::CreateFileA) realOpen = nullptr;
decltype(&::CreateFileW) realOpenWide = nullptr;

void CountBoxes()
{
    constexpr DWORD boxesOff = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
    if ((::GetThreadErrorMode() & boxesOff) != boxesOff) {
        ++callsWithBoxes;
    }
}

DWORD WINAPI Wait(HANDLE handle, DWORD milliseconds)
{
    if (::GetProcessId(handle) == 0) {
        return realWait(handle, milliseconds); // not a wait for a converter
    }
    ++processWaits;
    if (waiting.fetch_add(1) != 0) {
        ++overlappingWaits;
    }
    const DWORD result = realWait(handle, milliseconds);
    --waiting;
    return result;
}

BOOL WINAPI Create(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES process,
                   LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags, LPVOID environment, LPCWSTR folder,
                   LPSTARTUPINFOW startup, LPPROCESS_INFORMATION created)
{
    ++creations;
    CountBoxes();
    if (waiting != 0) {
        ++creationsDuringWait;
    }
    const BOOL result = realCreate(application, commandLine, process, thread, inherit, flags, environment, folder,
                                   startup, created);
    if (!result) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_INTERNAL_ERROR) {
            ++wineInternalErrors;
        }
        ::SetLastError(error); // the library sees the failure as it came
    }
    return result;
}

// What both forms of CreateFile count before the real call.
void CountOpen()
{
    ++opens;
    CountBoxes();
    if (waiting != 0) {
        ++opensDuringWait;
    }
}

HANDLE WINAPI Open(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                   DWORD flags, HANDLE model)
{
    CountOpen();
    return realOpen(path, access, share, security, disposition, flags, model);
}

HANDLE WINAPI OpenWide(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                       DWORD flags, HANDLE model)
{
    CountOpen();
    return realOpenWide(path, access, share, security, disposition, flags, model);
}

template <class Function>
Function SystemFunction(const char* name)
{
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), name)));
}

} // namespace

// Before any slot is patched, so that a replacement called at once on another thread
// already has the system function to call on to.
CallWatch::Originals::Originals()
{
    realWait = SystemFunction<decltype(realWait)>("WaitForSingleObject");
    realCreate = SystemFunction<decltype(realCreate)>("CreateProcessW");
    realOpen = SystemFunction<decltype(realOpen)>("CreateFileA");
    realOpenWide = SystemFunction<decltype(realOpenWide)>("CreateFileW");
    for (std::atomic<int>* count : {&waiting, &processWaits, &overlappingWaits, &creations, &creationsDuringWait,
                                    &opens, &opensDuringWait, &wineInternalErrors, &callsWithBoxes}) {
        *count = 0;
    }
}

CallWatch::CallWatch(HMODULE library)
    : waits_(library, "kernel32.dll", "WaitForSingleObject", reinterpret_cast<const void*>(&Wait)),
      creations_(library, "kernel32.dll", "CreateProcessW", reinterpret_cast<const void*>(&Create)),
      opens_(library, "kernel32.dll", "CreateFileA", reinterpret_cast<const void*>(&Open)),
      wideOpens_(library, "kernel32.dll", "CreateFileW", reinterpret_cast<const void*>(&OpenWide))
{
}

CallWatch::~CallWatch() = default;

bool CallWatch::Valid() const noexcept
{
    return waits_.Valid() && creations_.Valid() && opens_.Valid() && wideOpens_.Valid();
}

CallWatch::Counts CallWatch::Seen() const noexcept
{
    Counts counts;
    counts.processWaits = processWaits;
    counts.overlappingWaits = overlappingWaits;
    counts.creations = creations;
    counts.creationsDuringWait = creationsDuringWait;
    counts.opens = opens;
    counts.opensDuringWait = opensDuringWait;
    counts.wineInternalErrors = wineInternalErrors;
    counts.callsWithBoxes = callsWithBoxes;
    return counts;
}
