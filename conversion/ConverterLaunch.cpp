#include "ConverterLaunch.h"

#include "SystemCallGate.h"

#include <windows.h>

namespace {

// Owns both handles of a created process and closes the process's first, then the thread's.
class CreatedProcess {
public:
    explicit CreatedProcess(const PROCESS_INFORMATION& created) noexcept : created_(created) {}
    ~CreatedProcess()
    {
        ::CloseHandle(created_.hProcess);
        ::CloseHandle(created_.hThread);
    }
    CreatedProcess(const CreatedProcess&) = delete;
    CreatedProcess& operator=(const CreatedProcess&) = delete;

    HANDLE Process() const noexcept { return created_.hProcess; }

private:
    PROCESS_INFORMATION created_;
};

} // namespace

LaunchResult RunCommandLine(wchar_t* commandLine) noexcept
{
    LaunchResult result;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW; // and no standard handles
    startup.wShowWindow = SW_HIDE;
    SECURITY_ATTRIBUTES notInherited = {sizeof notInherited, nullptr, FALSE};
    PROCESS_INFORMATION created = {};
    const auto creation = SystemCallGate([&] {
        return ::CreateProcessW(nullptr, commandLine, &notInherited, &notInherited, FALSE, NORMAL_PRIORITY_CLASS,
                                nullptr, nullptr, &startup, &created);
    });
    if (!creation.value) {
        result.error = creation.lastError ? creation.lastError : ERROR_GEN_FAILURE;
        return result;
    }
    result.started = true;
    // Wine starts a Unix program detached and returns no process handle, and then no
    // thread handle worth the name either: nothing to wait for, no exit code, nothing to close.
    if (!created.hProcess) {
        result.detached = true;
        return result;
    }
    const CreatedProcess process(created);
    // The gate is held for the whole wait: while this converter runs, no other thread
    // starts one or opens a document, and no two waits overlap.
    const auto wait = SystemCallGate([&] { return ::WaitForSingleObject(process.Process(), INFINITE); });
    DWORD exitCode = 0;
    if (wait.value == WAIT_OBJECT_0 && ::GetExitCodeProcess(process.Process(), &exitCode) && exitCode != STILL_ACTIVE) {
        result.exitCodeKnown = true;
        result.exitCode = exitCode;
    }
    return result;
}
