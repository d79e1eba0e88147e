// Runs one command line as a hidden process in a job of its own and waits until it has ended.
#pragma once

#include "ConverterData.h"

#include <cstdint>
#include <string_view>

struct LaunchResult {
    bool started = false;       // a process was created and set running
    bool cancelled = false;     // ended, with all it started, because the watch said stop
    bool exitCodeKnown = false; // it was waited for to its end and its exit code read
    std::uint32_t exitCode = 0;
    std::uint32_t error = 0;    // why none could be started
};

// How often a watched run asks whether to go on: well inside the quarter second a host's
// progress display and its Cancel button may expect.
constexpr std::uint32_t WatchIntervalMs = 100;

// Asked on the waiting thread every WatchIntervalMs while the process runs; answering false
// ends the process and every process it started. Without `keepGoing` the wait is unbroken.
// `output`, when given, is an inheritable handle that becomes the program's standard output
// and error; it is the one handle the program inherits.
struct RunWatch {
    bool (*keepGoing)(void* context) = nullptr;
    void* context = nullptr;
    void* output = nullptr;
};

// Whether `path` names a program Windows starts as a process it can wait on to its end: a
// Windows image or a batch file. Under Wine a Unix program would run detached instead.
bool IsWaitableProgram(const wchar_t* path) noexcept;

// Blocks the calling thread until the process has ended or the watch ends it. The process
// runs in a job that ends it, and whatever it starts, when the job's last handle closes: at
// the end of this call, or when the host's process dies during it. `commandLine` is
// NUL-terminated and shorter than CreateProcessW's limit; CreateProcessW may write into it.
LaunchResult RunCommandLine(wchar_t* commandLine, const RunWatch& watch) noexcept;

// A question put to the converter (its version, whether it knows an encoding): run as a
// conversion is run, the host asked as during one (its stop ends the run and sets
// `stopped`), but given a few seconds at most. `output` as in RunWatch.
LaunchResult AskConverter(wchar_t* commandLine, const RunWatch& host, void* output, bool& stopped) noexcept;

// The converter's family, told by what its -v prints (ConverterFamilyOf), run as a converter
// is run; Unknown when it cannot be told within a few seconds. `host` is asked as during a
// conversion; when it says stop, the run ends and `stopped` is set. `converter` holds no quote.
ConverterFamily AskConverterFamily(std::wstring_view converter, const RunWatch& host, bool& stopped) noexcept;
