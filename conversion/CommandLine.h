// What one extraction asks of the converter: the target, the encoding option chosen by
// the target's name, and the command line, in UTF-16: both families of entry points extract
// through it.
#pragma once

#include "FixedText.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// The longest command line CreateProcess takes, terminating NUL included.
constexpr std::size_t MaxCommandLineSize = 32767;

// The destination name alone when the directory is empty, otherwise directory + "\" + name,
// with no second backslash after a directory that ends in one.
void AppendTargetPath(WideTextBuilder& out, std::wstring_view directory, std::wstring_view name) noexcept;

// The two characters that begin six before the end: "_k" for ...report_k.txt.
std::wstring_view TagOf(std::wstring_view target) noexcept;

// " -enc ANSI", " -enc KOI8-R", " -enc UTF-8" for the tags "_a", "_k", "_u"; else empty.
std::string_view EncodingOptionFor(std::wstring_view tag) noexcept;

// The option of the entry the host last listed on the handle, as the host extracts each
// entry right after listing it, whatever it names the target; by the target's tag only
// where nothing has been listed yet (`listedEntry` -1).
std::string_view EncodingOptionOf(int listedEntry, std::wstring_view target) noexcept;

// "converter"<option> -layout "document" "target"
void AppendCommandLine(WideTextBuilder& out, std::wstring_view converterPath, std::string_view option,
                       std::wstring_view documentPath, std::wstring_view target) noexcept;

// " -f <first> -l <last>": the converter writes those pages alone, each as it would within
// the whole document.
void AppendPageRange(TextBuilder& out, unsigned long first, unsigned long last) noexcept;

// No Windows file name holds a double quote; a path that does would end its quoted
// argument early and hand the rest to the converter as options of its own.
bool HoldsQuote(std::wstring_view path) noexcept;

// Whether the command interpreter, which runs a batch file and reads its arguments, would
// take something in the text for its own (%NAME%, !NAME!, ^, &, |, < or >), even inside
// quotes: a path holding one reaches a batch converter as another path.
bool HoldsInterpreterCharacter(std::wstring_view text) noexcept;

// What the host is told once the converter has ended. Its family documents exit code 1
// as a document it could not open, 3 as one it may not read (a password), 2 as an output
// file it could not open; 0 counts only when the target is really there.
int ResultOfConversion(unsigned long exitCode, bool targetWritten) noexcept;

// The folder part of a path, without its closing separator; empty when the path names
// a file in the current folder.
std::wstring_view FolderOf(std::wstring_view path) noexcept;

// folder\name, or name alone for the current folder; no second separator after a folder
// that ends in one (or a drive's colon).
void AppendInFolder(WideTextBuilder& out, std::wstring_view folder, std::wstring_view name) noexcept;

// Who makes a temporary name: the machine (a hash of its name), the process, and the copy of
// the library in that process (two copies, installed in two folders, may be loaded at once).
struct TemporaryOwner {
    std::uint32_t machine = 0;
    unsigned long process = 0;
    std::uint32_t copy = 0;
};

// The machine's part of a temporary name: FNV-1a over the computer's name, case aside.
std::uint32_t MachineTokenOf(std::wstring_view computerName) noexcept;

// folder\~paperlens-<machine>-<process>-<copy>-<number><extension> (machine and copy in eight
// hexadecimal digits): a name every code page represents, unique to one run of one copy.
void AppendTemporaryName(WideTextBuilder& out, std::wstring_view folder, const TemporaryOwner& owner,
                         unsigned long number, std::wstring_view extension) noexcept;

// The owner of a name AppendTemporaryName made (.pdf, .txt or .map, without the folder);
// false for any other name.
bool OwnerOfTemporaryName(std::wstring_view name, TemporaryOwner& owner) noexcept;

// folder\~paperlens-*: what a search for temporary names in the folder looks for.
void AppendTemporaryPattern(WideTextBuilder& out, std::wstring_view folder) noexcept;
