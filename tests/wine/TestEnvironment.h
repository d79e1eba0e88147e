// What the tests under Wine share: the library under test and scratch files.
#pragma once

#include "PluginHost.h"
#include "WindowsPath.h"

#include <windows.h>

#include <memory>
#include <string>

// The exit code of a test program whose every test skipped itself (CTest's SKIP_RETURN_CODE).
constexpr int EveryTestSkipped = 77;

// The Windows path of the library under test, from --library=.
const std::string& LibraryPath();
// The library, loaded once for the whole run.
const PluginLibrary& Library();

// True where the tests run under user-mode emulation (the 32-bit library where the kernel
// runs no 32-bit code), which the test run says in PAPERLENS_UNDER_EMULATION.
bool UnderEmulation();

// The recording converter program, from --converter=, and the sample document, from --sample=.
const std::string& ConverterProgramPath();
const std::string& SamplePath();

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

// The packed local time the host should see for a file last written at `utc`: shifted by
// the zone's offset in force now and packed by hand, not by the library's own calls.
std::uint32_t ExpectedDosTime(const SYSTEMTIME& utc);
std::uint32_t ExpectedDosTime(int year, int month, int day, int hour, int minute, int second);

// Reads a whole file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// Sets an environment variable of the host process for the owner's lifetime.
class ScopedVariable {
public:
    ScopedVariable(const std::string& name, const std::string& value);
    ~ScopedVariable();
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::string name_;
    bool hadValue_ = false;
    std::string oldValue_;
};

// A copy of the library in a scratch folder of its own, with its own settings file and
// the recording converter under `converterName`.
class PluginInstall {
public:
    explicit PluginInstall(const std::string& settings, const std::string& converterName = "conv.exe",
                           const std::string& subfolder = std::string());
    const std::string& Folder() const { return folder_; }
    std::string LibraryFile() const;
    std::string Converter(const std::string& name = "conv.exe") const { return folder_ + "\\" + name; }
    void WriteSettings(const std::string& settings) const;
    std::unique_ptr<PluginLibrary> Load() const;

private:
    ScratchFolder scratch_;
    std::string folder_;
};

// The command-line host built beside the library under test, run to its end with its output
// (standard output and error together) captured.
struct HostRun {
    DWORD exitCode = 0;
    std::string output;
};
HostRun RunHostTool(const std::string& arguments);
HostRun RunHostTool(const std::wstring& arguments);
// Any program, its command line given whole, run the same way.
HostRun RunProgram(std::string commandLine);
HostRun RunProgram(std::wstring commandLine);

// Removes a folder with everything in it.
void RemoveTree(const std::string& folder);
void RemoveTree(const std::wstring& folder);

// UTF-8 text in a code page, each character the code page does not hold exactly left out:
// what a converter writes in that encoding.
std::string InCodePage(const std::string& utf8, UINT codePage);
constexpr UINT Koi8R = 20866;

// Counts the handle values this process holds; GetProcessHandleCount answers 0 under Wine.
int CountHandles();

// The time of a document whose time cannot be read: 1 January 1980 00:00:00.
constexpr std::uint32_t UnreadDosTime = 0x00210000u;
