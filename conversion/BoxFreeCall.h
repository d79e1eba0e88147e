// A process or file call made with Windows' critical-error and open-file boxes off for the
// calling thread alone, handing back the call's own last error. The host's process-wide
// error mode is never touched, and nothing is locked: calls on other threads go on freely.
#pragma once

#include <windows.h>

#include <type_traits>
#include <utility>

// The thread's error mode during a box-free call.
constexpr UINT BoxFreeErrorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;

template <class T>
struct CallResult {
    T value;
    DWORD lastError;
};

template <class Call>
auto BoxFreeCall(Call&& call) -> CallResult<std::invoke_result_t<Call>>
{
    DWORD previousMode = 0;
    const bool modeSet = ::SetThreadErrorMode(BoxFreeErrorMode, &previousMode) != FALSE;
    ::SetLastError(ERROR_SUCCESS);
    auto value = std::forward<Call>(call)();
    const DWORD lastError = ::GetLastError();
    if (modeSet) {
        ::SetThreadErrorMode(previousMode, nullptr);
    }
    return {value, lastError};
}
