// The open archives, each under its own handle: a host may search one document on a
// background thread while its panel opens another.
#pragma once

#include "EntryNames.h"
#include "FixedText.h"
#include "HostRecords.h"
#include "PathLimits.h"

#include <cstddef>
#include <cstdint>

// The converter's UTF-8 text of an archive's document, made once for all four entries.
enum class SharedText : unsigned char {
    None,        // not made yet, or its run was stopped: the next extraction makes it
    Making,      // a converter is making it for one thread; other threads run their own
    Ready,       // in the file TextPath names
    Failed,      // the converter could not read the document: TextResult answers every entry
    Unavailable, // it cannot be made (no room for it): every entry runs its own converter
};

struct ArchiveState {
    FixedText<PathBufferSize> ArchivePath;     // the document's path as OpenArchive got it
    FixedText<PathBufferSize> ArchiveBaseName; // its last component without the extension
    // The document's path as OpenArchiveW got it, NUL-terminated, in memory its opener took
    // and gives back when the archive goes; null for an archive opened by OpenArchive.
    wchar_t* WidePath = nullptr;
    std::uint32_t ArchiveDosTime = 0;
    int EntryIndex = 0; // the entry the next ReadHeader describes
    // The host's progress callbacks for this archive: the ANSI one for ProcessFile, the
    // Unicode one for ProcessFileW; null while the host has given none.
    ProcessDataCallback Progress = nullptr;
    ProcessDataCallbackW ProgressW = nullptr;
    SharedText Text = SharedText::None;
    int TextResult = 0;
    // The file of the text while Ready: a temporary file the archive owns, removed with the
    // memory of its name when the archive goes.
    wchar_t* TextPath = nullptr;
    // A handle that keeps that file open, made so that Windows removes the file when it closes
    // (HoldWholeText): with the archive, or with the host, however it ends.
    void* TextHandle = nullptr;

    // The entry the last ReadHeader described, which the ProcessFile after it extracts;
    // -1 until one has been listed. Worked out rather than kept: state of all zeros takes
    // no room in the library's file.
    int ListedEntry() const noexcept { return (EntryIndex < EntryCount ? EntryIndex : EntryCount) - 1; }
};

// Far more than a host has open at once (one per search thread and panel); a host that
// never closes its archives loses its oldest ones rather than being locked out.
constexpr std::size_t ArchiveCapacity = 64;

// Needs no constructor to run: usable as module-wide state from the first instant.
class ArchiveTable {
public:
    // Keeps `state` under a newly drawn file number, which names it until it is closed,
    // and answers that number. When every place is taken, the archive used longest ago
    // is dropped first, and its state handed back in `dropped` for its memory to go.
    std::uint32_t Open(const ArchiveState& state, ArchiveState& dropped) noexcept;

    // The archive the handle names, marked as just used; null when none is open under it.
    ArchiveState* Find(std::intptr_t handle) noexcept;

    // False when none is open under the handle; otherwise its state goes to `closed`.
    bool Close(std::intptr_t handle, ArchiveState& closed) noexcept;

    // Closes one open archive, its state going to `closed`; false when none is open. At
    // unload, for the archives a host never closed.
    bool CloseAny(ArchiveState& closed) noexcept;

private:
    struct Slot {
        std::uint32_t number = 0; // 0 while the place is free
        std::uint64_t lastUse = 0;
        ArchiveState state;
    };
    Slot* SlotOf(std::intptr_t handle) noexcept;

    Slot slots_[ArchiveCapacity];
    std::uint64_t clock_ = 0;
};
