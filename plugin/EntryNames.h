// The four virtual entries every document lists, and the names they take.
#pragma once

#include "AnsiCharacters.h"
#include "PathLimits.h"

#include <cstddef>
#include <string_view>

constexpr int EntryCount = 4;

// The last component of a path without its extension: after the last backslash or slash
// (or a drive's colon), cut at the last dot; an ANSI path read character by character.
std::string_view ArchiveBaseNameOf(std::string_view archivePath, const AnsiCharacters& characters = {}) noexcept;
std::wstring_view ArchiveBaseNameOf(std::wstring_view archivePath) noexcept;

// What follows the base name in the name of entry `index` (0 to 3).
std::string_view EntrySuffix(int index) noexcept;

// Writes the name of entry `index` into a fixed field of `size` bytes (units), cut to fit
// between characters, never inside one (nor between the halves of a surrogate pair).
void WriteEntryName(char* field, std::size_t size, std::string_view baseName, int index,
                    const AnsiCharacters& characters = {}) noexcept;
void WriteEntryName(wchar_t* field, std::size_t size, std::wstring_view baseName, int index) noexcept;

// A document path the plug-in can keep and hand on whole: not empty, no wildcard, and
// shorter than `size` with its terminating NUL.
bool IsDocumentPathAcceptable(std::string_view path, std::size_t size) noexcept;
bool IsDocumentPathAcceptable(std::wstring_view path, std::size_t size) noexcept;
