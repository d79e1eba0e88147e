// Process and file calls that may block or make Windows show a box run one at a time,
// with critical-error and open-file boxes off, and hand back the thread's last error.
#pragma once

#include <windows.h>

#include <type_traits>
#include <utility>

// The error mode set for every gated call.
constexpr UINT GatedErrorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;

// Holds the process-wide gate lock for its lifetime.
class GateHold {
public:
    GateHold() noexcept;
    ~GateHold();
    GateHold(const GateHold&) = delete;
    GateHold& operator=(const GateHold&) = delete;
};

template <class T>
struct GatedResult {
    T value;
    DWORD lastError;
};

template <class Call>
auto SystemCallGate(Call&& call) -> GatedResult<std::invoke_result_t<Call>>
{
    GateHold hold;
    const UINT previousMode = ::SetErrorMode(GatedErrorMode);
    ::SetLastError(ERROR_SUCCESS);
    auto value = std::forward<Call>(call)();
    const DWORD lastError = ::GetLastError();
    ::SetErrorMode(previousMode);
    return {value, lastError};
}

// Closes a handle through the gate, as the handles opened through it are.
struct CloseHandleThroughGate {
    static void Close(HANDLE handle) noexcept
    {
        SystemCallGate([handle] { return ::CloseHandle(handle); });
    }
};
