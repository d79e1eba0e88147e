// What the command-line host works out about a converter installation without asking
// Windows: where the plug-in looks for its converter, where each converter family keeps its
// encoding maps, how a map file reads, and what the host's result codes mean.
#pragma once

#include "ConverterData.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The Windows code page of KOI8-R, by its short name here.
constexpr unsigned int Koi8R = Koi8RCodePage;

// The folder of a Windows path, up to and including its last backslash.
std::string FolderOf(std::string_view path);

// The converter the plug-in runs: the library's folder + the setting's first word.
std::string ConverterPathFor(std::string_view libraryPath, std::string_view setting);

// The first line that names a version, or the first non-empty line.
std::string VersionLineOf(std::string_view versionOutput);

// The data folder `level` folders above the converter's own (AppendDataFolder); empty when
// there is none that far up.
std::string DataFolderCandidateFor(std::string_view converterPath, int level);

// A unicodeMap file of the characters with their codes, given in rising order (UnicodeMapLines).
struct CharacterCode {
    std::uint32_t character = 0;
    std::uint32_t code = 0;
    int size = 1;
};
std::string UnicodeMapText(const std::vector<CharacterCode>& characters);

// An xpdfrc with each of `lines` added once: existing lines are kept as they are, a line
// already present (spaces aside) is not added again, and the file's line end is kept
// (CRLF where it has none yet).
std::string ConfigFileWith(std::string_view existing, const std::vector<std::string>& lines);

// A result code of the host's table in plain words.
std::string MeaningOfResult(int result);

// What the usual converters mean by their exit codes, in plain words.
std::string MeaningOfConverterExit(unsigned long exitCode);

// The encoding the plug-in asks for the entry at `place` in the listing (0 to 3), whatever
// its name: "ANSI", "KOI8-R", "UTF-8", or empty for the converter's own default.
std::string EncodingOfEntry(std::size_t place);

// What a file is by its first bytes, to say why it does not load as a library: Windows
// gives the same error for a library of the other width and for a file that is no
// program at all.
enum class ImageKind { NotAProgram, Width32, Width64, OtherMachine };
ImageKind ImageKindOf(std::string_view head);

// A one-page PDF document holding one word, to try a converter's encodings on.
std::string ProbeDocument();

// Where users' unpacked converters usually lie, as paths from the plug-in's folder: the
// release's default first; '*' in the first folder stands for a version ("poppler-25.11.0").
const std::vector<std::string>& UsualConverterPlaces();

// The Paperlens.ini line that names the converter at `relative`, a path from the plug-in's
// folder; empty where the setting cannot hold it (a space ends the setting's first word).
std::string SettingLineFor(std::string_view relative);
