// Which files Windows can start as a program and wait for to its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// What Windows can start and wait for to its end: a Windows image (an "MZ" header whose
// offset at 0x3C names a "PE\0\0" signature), or a batch file, which runs in its command
// interpreter. Under Wine anything else (a Unix program or script) would run detached,
// with no process to wait on.

// The offset of the image header a file's first bytes name, when they begin "MZ" and reach
// the offset field; false otherwise.
bool ImageHeaderOffsetOf(const unsigned char* head, std::size_t size, std::uint32_t& offset) noexcept;
// Whether the bytes at that offset are the image signature "PE\0\0".
bool IsImageSignature(const unsigned char* bytes, std::size_t size) noexcept;
// A name ending in .bat or .cmd, in any case.
bool IsBatchFileName(std::wstring_view path) noexcept;
// Windows appends ".exe" to a program whose last path component has no extension.
bool TakesExeAppended(std::wstring_view path) noexcept;
