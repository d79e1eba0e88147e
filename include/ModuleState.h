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
