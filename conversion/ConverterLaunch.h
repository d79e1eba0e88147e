// Runs one command line as a hidden process and waits until it has ended.
#pragma once

#include <cstdint>

struct LaunchResult {
    bool started = false;       // a process was created
    bool detached = false;      // started with no process handle: not waited for, no exit code
    bool exitCodeKnown = false; // it was waited for to its end and its exit code read
    std::uint32_t exitCode = 0;
    std::uint32_t error = 0;    // why none could be created
};

// Blocks the calling thread until the process has ended, however long it runs.
// `commandLine` is NUL-terminated and shorter than CreateProcessW's limit; CreateProcessW
// may write into it. The whole line goes to Windows in UTF-16, so a converter in a folder
// of any name starts.
LaunchResult RunCommandLine(wchar_t* commandLine) noexcept;
