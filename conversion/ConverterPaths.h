// Paths the converter can open. It reads its command line through its C runtime in the
// ANSI code page, so a path that code page cannot represent exactly is handed over in a
// form it can: the 8.3 short form, or a temporary name for that run only.
#pragma once

#include "HeapText.h"

#include <string_view>

// The path itself when the ANSI code page represents it exactly and it is shorter than
// MAX_PATH (the ANSI file calls take no longer one, \\?\ or not), else its short form when
// that one is; false when neither is (a volume that keeps no short names).
bool ConverterFormOf(const wchar_t* path, WideHeapText& form) noexcept;

// Whether the converter opens the path as it is.
bool IsConverterForm(std::wstring_view path) noexcept;

// A folder for the temporary files that stand in for the document and the target, in a
// form the converter can name with a temporary name added: `folder`, else the user's
// temporary folder. False when neither has such a form. `forBatch`: a form the command
// interpreter reads as it is (HoldsInterpreterCharacter).
bool StandInFolderFor(std::wstring_view folder, WideHeapText& form, bool forBatch) noexcept;

// Removes from `folder` the temporary files of processes that no longer run: a host that
// ended mid-extraction left them behind.
void RemoveAbandonedTemporaryFiles(std::wstring_view folder) noexcept;

// A file under a temporary name, removed when its owner goes, whatever the run's outcome.
class TemporaryFile {
public:
    TemporaryFile() noexcept = default;
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Names a fresh temporary file in `folder` (already in a form the converter can open),
    // ending in `extension`; nothing is created yet. False when memory is short.
    bool Name(std::wstring_view folder, std::wstring_view extension) noexcept;
    const wchar_t* Path() const noexcept { return path_.Data(); }
    std::wstring_view Text() const noexcept { return path_.Text(); }

    // The document under this name: a hard link where the volume makes one, else a copy.
    bool LinkOrCopy(const wchar_t* document) noexcept;
    // Moves the file the converter wrote to the real target; false when it cannot.
    bool MoveTo(const wchar_t* target) noexcept;
    // Hands the file, with the memory of its name, to an owner that removes both with
    // RemoveTemporaryFile.
    wchar_t* Release() noexcept { return path_.Release(); }

private:
    WideHeapText path_;
};

// Removes a file a TemporaryFile released, and gives back the memory of its name; null is fine.
void RemoveTemporaryFile(wchar_t* path) noexcept;
