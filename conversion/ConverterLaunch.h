// Runs one command line as a hidden process and waits until it has ended.
#pragma once

#include <cstdint>
#include <string_view>

struct LaunchResult {
    bool started = false;        // a process was created
    std::uint32_t processId = 0; // its identifier; it has ended by the time the caller sees it
    std::uint32_t error = 0;     // why none could be created
};

// Blocks the calling thread until the process has ended, however long it runs. The
// process's exit code is not read. A command line too long for CreateProcessA is not run.
LaunchResult RunCommandLine(std::string_view commandLine) noexcept;
