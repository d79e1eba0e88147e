#include "ConverterLaunch.h"

#include "CommandLine.h"
#include "SystemCallGate.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <cstring>
#include <new>
#include <vector>

LaunchResult RunCommandLine(std::string_view commandLine) noexcept
{
    LaunchResult result;
    // Passed whole: a cut line would hand the converter a truncated target path.
    if (commandLine.size() >= MaxCommandLineSize || commandLine.find('\0') != std::string_view::npos) {
        result.error = ERROR_FILENAME_EXCED_RANGE;
        return result;
    }
    std::vector<char> line; // CreateProcessA may write into its command line
    try {
        line.assign(commandLine.begin(), commandLine.end());
        line.push_back('\0');
    } catch (const std::bad_alloc&) {
        result.error = ERROR_NOT_ENOUGH_MEMORY;
        return result;
    }

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW; // and no standard handles
    startup.wShowWindow = SW_HIDE;
    SECURITY_ATTRIBUTES notInherited = {sizeof notInherited, nullptr, FALSE};
    PROCESS_INFORMATION created = {};
    // Declared thread first, so that the process handle is closed first.
    UniqueHandle<> thread;
    UniqueHandle<> process;
    const auto creation = SystemCallGate([&] {
        return ::CreateProcessA(nullptr, line.data(), &notInherited, &notInherited, FALSE, NORMAL_PRIORITY_CLASS,
                                nullptr, nullptr, &startup, &created);
    });
    if (!creation.value) {
        result.error = creation.lastError ? creation.lastError : ERROR_GEN_FAILURE;
        return result;
    }
    // Wine starts a Unix program detached and returns no process handle, and then no
    // thread handle worth the name either: nothing to wait for, nothing to close.
    if (created.hProcess) {
        thread.Reset(created.hThread);
        process.Reset(created.hProcess);
        // The gate is held for the whole wait: while this converter runs, no other thread
        // starts one or opens a document, and no two waits overlap.
        SystemCallGate([&] { return ::WaitForSingleObject(process.Get(), INFINITE); });
    }
    result.started = true;
    result.processId = created.dwProcessId;
    return result;
}
