// What the tests under Wine share: the library under test and scratch files.
#pragma once

#include "PluginHost.h"

#include <windows.h>

#include <string>

// The Windows path of the library under test, from --library=.
const std::string& LibraryPath();
// The library, loaded once for the whole run.
const PluginLibrary& Library();

// "Z:\a\b" for "/a/b"; Windows paths are returned as they are.
std::string WindowsPathOf(const std::string& path);

// A fresh folder under the temporary folder, removed with all it holds when the owner goes.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }
    // Path() + "\" + name
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// Creates a file with some content and sets its last-write time (UTC).
void WriteFileWithTime(const std::string& path, const SYSTEMTIME& utc);
void WriteFileWithTime(const std::string& path, int year, int month, int day, int hour, int minute, int second);

// The packed local time the host should see for a file last written at `utc`, converted
// here with the system's own calls.
std::uint32_t ExpectedDosTime(const SYSTEMTIME& utc);
std::uint32_t ExpectedDosTime(int year, int month, int day, int hour, int minute, int second);

// The time of a document whose time cannot be read: 1 January 1980 00:00:00.
constexpr std::uint32_t UnreadDosTime = 0x00210000u;
