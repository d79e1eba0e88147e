// The module-wide state: the converter settings and the open archives, in fixed storage
// that needs no constructor, each under a lock that is never held across a system call
// that may wait.
#pragma once

#include "ArchiveTable.h"
#include "TextCache.h"
#include "ConverterFacts.h"
#include "FixedText.h"

#include <cstdint>

// Where the converter is; rewritten at every notification of the library entry function.
struct ConverterSettings {
    WideFixedText<PathBufferSize> PluginDirectory; // the library's folder, with its closing backslash
    WideFixedText<2 * PathBufferSize> ConverterPath; // PluginDirectory + the setting's first word
};

// Reads the settings beside the library `module` (an HMODULE) and keeps them; false without
// a converter setting. Called at process attach, and again by RefreshConverterSettings.
bool LoadConverterSettings(void* module) noexcept;
// Marks the settings to be read again: the library entry function does no file work.
void MarkConverterSettingsStale() noexcept;
// Reads them again, outside the loader lock, when a notification marked them.
void RefreshConverterSettings() noexcept;

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

// Exclusive use of the kept texts for the holder's lifetime; held for memory work only, never
// with the archive lock.
class TextCacheHold {
public:
    TextCacheHold() noexcept;
    ~TextCacheHold();
    TextCacheHold(const TextCacheHold&) = delete;
    TextCacheHold& operator=(const TextCacheHold&) = delete;

    TextCache& Cache() noexcept;
};

// What the converter tells of itself (ConverterFacts), asked once per load for each converter
// path, at the first extraction that runs it. True when the caller is to ask now, and then
// keeps the answer with KeepConverterFacts; false with `facts` as known so far (nothing
// while another thread asks: no thread waits for another's run).
bool TakeConverterQuestion(std::wstring_view converter, ConverterFacts& facts) noexcept;
// Kept only while `converter` is still the one asked about: a setting changed meanwhile
// names another, which is asked anew.
void KeepConverterFacts(std::wstring_view converter, const ConverterFacts& facts) noexcept;
// The question not answered (the host stopped it): the next extraction asks again.
void ReturnConverterQuestion(std::wstring_view converter) noexcept;
