// The module-wide state: the converter settings and the open archives, in fixed storage
// that needs no constructor, each under a lock that is never held across a system call
// that may wait.
#pragma once

#include "ArchiveTable.h"
#include "ConverterData.h"
#include "FixedText.h"

#include <cstdint>

// Where the converter is; rewritten at every notification of the library entry function.
struct ConverterSettings {
    WideFixedText<PathBufferSize> PluginDirectory; // the library's folder, with its closing backslash
    WideFixedText<2 * PathBufferSize> ConverterPath; // PluginDirectory + the setting's first word
};

// A copy of the whole old or the whole new value.
void CopyConverterSettings(ConverterSettings& copy) noexcept;
void ReplaceConverterSettings(const ConverterSettings& settings) noexcept;

// Exclusive use of the archive table for the holder's lifetime, so that two host threads
// on one handle never see its state half rewritten. Held for memory work only.
class ArchiveTableHold {
public:
    ArchiveTableHold() noexcept;
    ~ArchiveTableHold();
    ArchiveTableHold(const ArchiveTableHold&) = delete;
    ArchiveTableHold& operator=(const ArchiveTableHold&) = delete;

    ArchiveTable& Table() noexcept;
};

// The converter's family, asked once per load at the first extraction. True when the caller
// is to ask it now, and then keeps the answer with KeepConverterFamily; false with `family`
// as known so far (Unknown while another thread asks: no thread waits for another's run).
bool TakeConverterFamilyQuestion(ConverterFamily& family) noexcept;
void KeepConverterFamily(ConverterFamily family) noexcept;
// The question not answered (the host stopped it): the next extraction asks again.
void ReturnConverterFamilyQuestion() noexcept;
