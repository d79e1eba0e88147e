// Texts between the system's ANSI code page and UTF-16.
#pragma once

#include "AnsiCharacters.h"
#include "HeapText.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// The UTF-16 form of ANSI text; false when memory is short.
bool WidenAnsi(std::string_view ansi, WideHeapText& wide) noexcept;

// How the system's ANSI code page splits its characters into bytes.
AnsiCharacters SystemAnsiCharacters() noexcept;

// Writes the ANSI form of UTF-16 text into a fixed field, cut to fit between characters,
// unrepresentable characters replaced as Windows does: for showing a name to an ANSI
// caller only.
void NarrowIntoField(std::wstring_view wide, char* field, std::size_t size, const AnsiCharacters& characters) noexcept;

// Writes the UTF-16 form of ANSI text into a fixed field, cut to fit.
void WidenIntoField(std::string_view ansi, wchar_t* field, std::size_t size) noexcept;

// Whether the ANSI code page represents the text exactly, so that a program reading its
// command line in that code page sees this very path.
bool IsAnsiExact(std::wstring_view wide) noexcept;

// The characters a code page's map can hold: those of the Basic Multilingual Plane.
constexpr std::size_t MapCharacters = 0x10000;

// The bytes of one character in a code page, as the map `encodings` makes of it holds them:
// one or two, with no best fit, and read back as the same character; 0 when it has none.
int CodePageBytes(unsigned codePage, std::uint32_t character, unsigned char (&bytes)[4]) noexcept;

// The unicodeMap file of a code page: every character CodePageBytes gives, in runs. The same
// map whether `encodings` or the plug-in writes it.
void AppendCodePageMap(TextBuilder& out, unsigned codePage) noexcept;
