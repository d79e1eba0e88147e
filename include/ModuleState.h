// The module-wide state: one set per loaded library, serving one document at a time.
#pragma once

#include <cstdint>
#include <string>

struct ArchiveState {
    std::string ArchivePath;     // the document's path as the host passed it
    std::string ArchiveBaseName; // its last component without the extension
    std::uint32_t ArchiveDosTime = 0;
    int EntryIndex = 0;          // the entry the next ReadHeader describes
};

// Exclusive use of the archive state for the holder's lifetime, so that calls from two
// host threads at once never see it half rewritten. Never held across a gated call.
class ArchiveStateHold {
public:
    ArchiveStateHold() noexcept;
    ~ArchiveStateHold();
    ArchiveStateHold(const ArchiveStateHold&) = delete;
    ArchiveStateHold& operator=(const ArchiveStateHold&) = delete;

    ArchiveState& State() noexcept;
};

// Where the converter is; rewritten at every notification of the library entry function.
struct ConverterSettings {
    std::string PluginDirectory; // the library's folder, with its closing backslash
    std::string ConverterPath;   // the program run for every extraction
};

// A copy of the whole old or the whole new value. The lock is held for the copy only,
// never while a converter runs, because notifications arrive under the loader lock.
ConverterSettings CopyConverterSettings();
void ReplaceConverterSettings(ConverterSettings& settings) noexcept; // swaps, so never allocates
