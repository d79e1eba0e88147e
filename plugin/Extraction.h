// One extraction: the converter run on the document, writing the entry's text to the
// target the host named, and what the host is told of it.
#pragma once

#include "ArchiveTable.h"
#include "HostRecords.h"

#include <cstdint>
#include <string_view>

// The host's progress callback of one extraction, with the entry's name in the callback's
// own family. Called on the host's thread only, from inside ProcessFile or ProcessFileW.
class HostProgress {
public:
    HostProgress() noexcept = default; // no callback: nothing is called
    HostProgress(ProcessDataCallback callback, char (&name)[EntryNameSize]) noexcept;
    HostProgress(ProcessDataCallbackW callback, wchar_t (&name)[WideEntryNameSize]) noexcept;

    bool Wanted() const noexcept { return ansi_ || wide_; }
    // Size 0 while the converter runs; false when the host answers 0, asking to stop.
    bool KeepGoing() noexcept;
    // The bytes written, once at the end; the entry is whole, so the answer changes nothing.
    void Finished(std::uint64_t bytes) noexcept;

private:
    int Call(int size) noexcept;

    ProcessDataCallback ansi_ = nullptr;
    ProcessDataCallbackW wide_ = nullptr;
    char* ansiName_ = nullptr;
    wchar_t* wideName_ = nullptr;
};

// The archive an extraction is for, by its handle: handles do not repeat while the library
// is loaded, so an archive closed meanwhile is never taken for a later one.
struct ArchiveId {
    std::intptr_t handle = 0;
};

// `document` is NUL-terminated; `listedEntry` is the entry the host last listed on the
// handle (-1 for none). Answers a host result code. The first extraction of an archive has
// the converter write the document's UTF-8 text once, and each entry is written from it
// where that gives what the converter would write for the entry.
int ExtractEntry(const ArchiveId& archive, const wchar_t* document, std::wstring_view directory,
                 std::wstring_view name, int listedEntry, HostProgress& progress) noexcept;

// Gives back what an archive that is closed or dropped owns: its path's memory and its text.
void ReleaseArchive(const ArchiveState& closed) noexcept;

// Lets go of every kept text (their handles' close removes them): at unload.
void ReleaseKeptTexts() noexcept;
