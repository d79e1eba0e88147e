// The four virtual entries every document lists, and the names they take.
#pragma once

#include <cstddef>
#include <string_view>

constexpr int EntryCount = 4;

// The last component of a path without its extension: after the last backslash, cut at
// the last dot.
std::string_view ArchiveBaseNameOf(std::string_view archivePath) noexcept;

// What follows the base name in the name of entry `index` (0 to 3).
std::string_view EntrySuffix(int index) noexcept;

// Writes the name of entry `index` into a fixed field of `size` bytes, cut to fit.
void WriteEntryName(char* field, std::size_t size, std::string_view baseName, int index) noexcept;
