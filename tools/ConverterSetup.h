// What the command-line host works out about a converter installation without asking
// Windows: where the plug-in looks for its converter, where each converter family keeps its
// encoding maps, how a map file reads, and what the host's result codes mean.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The folder of a Windows path, up to and including its last backslash.
std::string FolderOf(std::string_view path);

// The converter the plug-in runs: the library's folder + the setting's first word.
std::string ConverterPathFor(std::string_view libraryPath, std::string_view setting);

enum class ConverterFamily { Unknown, Poppler, Xpdf };

// Told by what `-v` prints: Poppler names itself; Xpdf names its maker or its site.
ConverterFamily ConverterFamilyOf(std::string_view versionOutput);

// The first line that names a version, or the first non-empty line.
std::string VersionLineOf(std::string_view versionOutput);

// Where Poppler on Windows reads its maps: its module's folder, or that folder's parent
// when the folder is named bin (any case), then share\poppler\unicodeMap.
std::string PopplerMapFolderFor(std::string_view converterPath);

// One Unicode character of the Basic Multilingual Plane and the byte it becomes.
using CharacterByte = std::pair<std::uint16_t, std::uint8_t>;

// A unicodeMap file for the characters, given in rising order: one line per character
// ("000a 0a") or per run of consecutive characters with consecutive bytes
// ("0020 007e 20").
std::string UnicodeMapText(const std::vector<CharacterByte>& characters);

// An xpdfrc with each of `lines` added once: existing lines are kept as they are, a line
// already present (spaces aside) is not added again, and the file's line end is kept
// (CRLF where it has none yet).
std::string XpdfrcWith(std::string_view existing, const std::vector<std::string>& lines);

// A result code of the host's table in plain words.
std::string MeaningOfResult(int result);
