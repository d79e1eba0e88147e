// The four virtual entries every document lists, and the names they take.
#pragma once

#include <cstddef>
#include <string_view>

constexpr int EntryCount = 4;

// How the ANSI code page's characters are split into bytes: one each, except after a
// lead byte of a double-byte code page (932: 0x81 to 0x9F, 0xE0 to 0xFC), whose second
// byte may be any, `\` included; or as UTF-8 where that is the ANSI code page.
class AnsiCharacters {
public:
    void AddLeadBytes(unsigned char first, unsigned char last) noexcept;
    void SetUtf8() noexcept { utf8_ = true; }

    // The size of the character that begins at `at`, never past the text's end.
    std::size_t SizeAt(std::string_view text, std::size_t at) const noexcept;
    // The longest start of `text` of at most `limit` bytes that ends between characters.
    std::size_t WholeCharactersIn(std::string_view text, std::size_t limit) const noexcept;

private:
    unsigned char lead_[256] = {};
    bool utf8_ = false;
};

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

// 4 for a path that begins \\?\ (\\?\UNC\ too), the prefix that names a path past
// MAX_PATH and whose ? is no wildcard; 0 otherwise.
template <class Char>
constexpr std::size_t LongPathPrefixSize(std::basic_string_view<Char> path) noexcept
{
    return path.size() >= 4 && path[0] == Char('\\') && path[1] == Char('\\') && path[2] == Char('?') &&
                   path[3] == Char('\\')
               ? 4
               : 0;
}

// A document path the plug-in can keep and hand on whole: not empty, no wildcard, and
// shorter than `size` with its terminating NUL.
bool IsDocumentPathAcceptable(std::string_view path, std::size_t size) noexcept;
bool IsDocumentPathAcceptable(std::wstring_view path, std::size_t size) noexcept;
