// What the converter reads and writes, worked out without asking Windows: which family it
// belongs to, where that family reads its encoding maps, how a map file reads, and how its
// UTF-8 text turns into what it writes with another encoding. Shared by the library and the
// command-line host; no allocation, nothing thrown.
#pragma once

#include "FixedText.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// The Windows code page of KOI8-R.
constexpr unsigned Koi8RCodePage = 20866;

// The two families of converter a user installs differ in where they read encoding maps:
// one from a unicodeMap folder of its data folder, the other from files that its xpdfrc
// names.
enum class ConverterFamily { Unknown, DataFolderMaps, ConfigFileMaps };

// Told by the version number `-v` prints: the data-folder family numbers its versions 0.x,
// then by year (20.x on); the other 3.x and 4.x.
ConverterFamily ConverterFamilyOf(std::string_view versionOutput) noexcept;

// The folders where builds of the data-folder family on Windows keep their data
// (share\poppler): beside the program, beside its folder's parent, or beside the parent's
// parent (a build laid out as Library\bin). Which one a converter reads is asked of the
// converter itself (DataFolderLevelOf), never assumed.
constexpr int DataFolderLevels = 3;

// The data folder `level` folders above the converter's own; false when the path has no
// folder that far up.
template <class Char>
bool AppendDataFolder(BasicTextBuilder<Char>& out, std::basic_string_view<Char> converterPath, int level) noexcept
{
    using View = std::basic_string_view<Char>;
    std::size_t end = converterPath.rfind(Char('\\'));
    for (int up = 0; up < level && end != View::npos; ++up) {
        end = end == 0 ? View::npos : converterPath.rfind(Char('\\'), end - 1);
    }
    if (end == View::npos) {
        return false;
    }
    // Pieces by pointer and length: substr would bring in the runtime's exception.
    out.Append(View(converterPath.data(), end + 1)).Append("share\\poppler");
    return true;
}

// Which candidate data folder the converter reads, told by the converter: a probe map put
// into one candidate's unicodeMap folder at a time (`place`, false where it cannot be), then
// asked for by name (`ask`: 1 known, 0 unknown, -1 no answer), then taken away (`remove`).
// The level, or -1 when no candidate is the one.
template <class Place, class Ask, class Remove>
int DataFolderLevelOf(Place&& place, Ask&& ask, Remove&& remove)
{
    for (int level = 0; level < DataFolderLevels; ++level) {
        if (!place(level)) {
            continue;
        }
        const int known = ask();
        remove(level);
        if (known != 0) {
            return known > 0 ? level : -1;
        }
    }
    return -1;
}

// The lines of a unicodeMap file, made from the characters of a code page given in rising
// order: one line per character ("000a 0a"), or per run of consecutive characters with
// consecutive codes of one size ("0020 007e 20").
class UnicodeMapLines {
public:
    // A character and its code, `size` bytes long (1 or 2). True, with the line of the run
    // it ends in `line`, when the character starts a new run.
    bool Add(std::uint32_t character, std::uint32_t code, int size, TextBuilder& line) noexcept;
    // The line of the last run; false when there is none.
    bool Finish(TextBuilder& line) noexcept;

private:
    void Put(TextBuilder& line) const noexcept;

    std::uint32_t first_ = 0;
    std::uint32_t last_ = 0;
    std::uint32_t code_ = 0;
    int size_ = 0; // 0 while no run is open
};

// The file the last "unicodeMap <encoding> <file>" line of an xpdfrc names (quotes taken
// off), as the config-file family reads it; empty when no line names one.
std::string_view ConfigMapFileOf(std::string_view xpdfrc, std::string_view encoding) noexcept;

// A unicodeMap file as the converter reads it: lines "<character> <code>" or "<first> <last>
// <code>" in hexadecimal, the code one to four bytes long, looked up the way the converter
// looks them up. Lines it takes otherwise (longer codes) or reads as garbage make Parse
// answer false, and the map is not used.
class UnicodeMap {
public:
    static constexpr std::size_t Capacity = 512;

    bool Parse(std::string_view text) noexcept;
    // The bytes the converter writes for the character; 0 when it writes none.
    int Map(std::uint32_t character, unsigned char (&bytes)[4]) const noexcept;

private:
    struct Range {
        std::uint32_t first;
        std::uint32_t last;
        std::uint32_t code;
        int size;
    };
    Range ranges_[Capacity];
    std::size_t count_ = 0;
};

// Reads UTF-8 in pieces of any size, a character cut at a piece's end carried to the next.
// Anything but well-formed UTF-8 (overlong forms, surrogates, beyond U+10FFFF) stops it.
class Utf8Reader {
public:
    template <class Each>
    bool Read(const unsigned char* bytes, std::size_t size, Each&& each) noexcept
    {
        for (std::size_t i = 0; i < size; ++i) {
            if (!Take(bytes[i])) {
                return false;
            }
            if (needed_ == 0) {
                each(character_);
            }
        }
        return true;
    }
    // No character is left half read.
    bool Finished() const noexcept { return needed_ == 0; }

private:
    bool Take(unsigned char byte) noexcept;

    std::uint32_t character_ = 0;
    int needed_ = 0;
    unsigned char low_ = 0x80; // the bounds of the next continuation byte
    unsigned char high_ = 0xBF;
};

// Whether the converter's text in another encoding is the UTF-8 text character for
// character. In layout mode the converter counts columns in characters for UTF-8 but in
// bytes for every other encoding, and places each piece of text by the columns of the
// pieces left of it, on its line and on the lines around; and it turns right-to-left text
// around for UTF-8 alone. So a text is taken only when each of its characters is written
// as one byte, and none is of right-to-left writing.
class LayoutCheck {
public:
    // `size` is the number of bytes the character becomes; false once the text cannot be
    // derived.
    static bool Take(std::uint32_t character, int size) noexcept;
};

// What the layout puts between pieces of text, and all that an encoding's text of a page may
// differ in from another's: spaces and line ends.
constexpr bool IsLayoutSpace(unsigned char byte) noexcept
{
    return byte == ' ' || byte == '\r' || byte == '\n';
}

// The pages of the converter's text (each ends with a form feed, and each is laid out on its
// own) that an entry cannot be derived for, told character by character.
class UnderivedPages {
public:
    // A character and the number of bytes it becomes in the entry's encoding.
    void Take(std::uint32_t character, int size) noexcept
    {
        if (!LayoutCheck::Take(character, size)) {
            first_ = first_ ? first_ : page_;
            last_ = page_;
        }
        page_ += character == '\f' ? 1 : 0;
    }
    // The page the next character is on, counted from 1.
    unsigned long Page() const noexcept { return page_; }
    // The first and last page not derived; 0 when every page is.
    unsigned long First() const noexcept { return first_; }
    unsigned long Last() const noexcept { return last_; }
    // The span from the first page not derived to the last takes in every page ended so far.
    bool All() const noexcept { return first_ == 1 && last_ + 1 >= page_; }

private:
    unsigned long page_ = 1;
    unsigned long first_ = 0;
    unsigned long last_ = 0;
};
