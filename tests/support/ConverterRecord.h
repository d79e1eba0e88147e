// Reads the file the recording converter appends to: one record per converter run, in run
// order of completion. Text fields hold the converter's raw ANSI bytes, unconverted.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

struct ConverterRecord {
    std::string commandLine;             // GetCommandLineA, exactly as received
    std::vector<std::string> arguments;  // as the C runtime split it; arguments[0] is the program
    std::string currentDirectory;
    bool probeSet = false;               // RECCONV_PROBE present (possibly empty)
    std::string probe;
    std::uint32_t startupFlags = 0;      // STARTUPINFO.dwFlags
    std::uint32_t showWindow = 0;        // STARTUPINFO.wShowWindow
    bool handleSet = false;              // RECCONV_HANDLE present and numeric
    std::uint64_t handleValue = 0;
    bool handleValid = false;            // GetHandleInformation succeeded in the converter
    std::uint32_t handleFlags = 0;
    bool handleInherit = false;          // HANDLE_FLAG_INHERIT among handleFlags
    std::uint32_t errorMode = 0;
    std::uint32_t processId = 0;
    bool inJob = false;                  // IsProcessInJob: in any job
    std::string encoding;                // the word after -enc, or "default"
    std::uint32_t sleepMs = 0;
    bool childStarted = false;           // RECCONV_CHILD asked for a child, and it started
    bool writeRequested = false;         // RECCONV_WRITE present
    bool targetWritten = false;          // the last argument was written successfully
    std::uint32_t exitCode = 0;
    std::uint64_t startTime = 0;         // FILETIME as 100 ns units, at the start of main
    std::uint64_t endTime = 0;           // just before exit, after the sleep
};

// Malformed, truncated or unreadable record files are faults of the code under test or of
// the converter, never something to skip over.
class ConverterRecordError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::vector<ConverterRecord> ParseConverterRecords(const std::string& bytes);

// A missing file means the converter never ran with recording on: no records.
std::vector<ConverterRecord> ReadConverterRecords(const std::string& path);

// The options of each conversion run, in order: the arguments between the program and
// -layout ("-enc UTF-8"); the version question left out.
std::vector<std::string> ConversionOptions(const std::vector<ConverterRecord>& records);
