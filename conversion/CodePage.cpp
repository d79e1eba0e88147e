#include "CodePage.h"

#include "ConverterData.h"
#include "FixedField.h"

#include <windows.h>

namespace {

// Paths are far below 2^31 characters; the longest allowed is 32,767.
int Count(std::size_t size) noexcept
{
    return static_cast<int>(size);
}

} // namespace

bool WidenAnsi(std::string_view ansi, WideHeapText& wide) noexcept
{
    const int units = ansi.empty() ? 0 : ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), Count(ansi.size()), nullptr, 0);
    WideHeapText converted(static_cast<std::size_t>(units) + 1);
    if (converted.Size() == 0) {
        return false;
    }
    if (units > 0) {
        ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), Count(ansi.size()), converted.Data(), units);
    }
    converted.Data()[units] = L'\0';
    wide.Swap(converted);
    return true;
}

AnsiCharacters SystemAnsiCharacters() noexcept
{
    AnsiCharacters characters;
    const UINT codePage = ::GetACP();
    CPINFO info = {};
    if (codePage == CP_UTF8) {
        characters.SetUtf8();
    } else if (::GetCPInfo(codePage, &info) && info.MaxCharSize == 2) {
        // Pairs of first and last lead byte, ended by a pair of zeros.
        for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
            characters.AddLeadBytes(info.LeadByte[i], info.LeadByte[i + 1]);
        }
    }
    return characters;
}

void NarrowIntoField(std::wstring_view wide, char* field, std::size_t size, const AnsiCharacters& characters) noexcept
{
    if (size == 0) {
        return;
    }
    // Converted whole, then cut: a conversion into too small a field writes nothing at all.
    const int bytes = wide.empty() ? 0
                                   : ::WideCharToMultiByte(CP_ACP, 0, wide.data(), Count(wide.size()), nullptr, 0,
                                                           nullptr, nullptr);
    HeapText whole(bytes > 0 ? static_cast<std::size_t>(bytes) : 0);
    std::string_view text;
    if (whole.Size() != 0 && ::WideCharToMultiByte(CP_ACP, 0, wide.data(), Count(wide.size()), whole.Data(), bytes,
                                                   nullptr, nullptr) == bytes) {
        text = std::string_view(whole.Data(), whole.Size());
    }
    text = std::string_view(text.data(), characters.WholeCharactersIn(text, size - 1));
    CopyToField(field, text.size() + 1, text);
}

void WidenIntoField(std::string_view ansi, wchar_t* field, std::size_t size) noexcept
{
    if (size == 0) {
        return;
    }
    const int written = ansi.empty() ? 0
                                     : ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), Count(ansi.size()), field,
                                                             Count(size - 1));
    field[written > 0 ? written : 0] = L'\0';
}

bool IsAnsiExact(std::wstring_view wide) noexcept
{
    if (wide.empty() || ::GetACP() == CP_UTF8) {
        return true;
    }
    BOOL usedDefault = FALSE;
    const int bytes = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), Count(wide.size()), nullptr, 0,
                                            nullptr, &usedDefault);
    if (bytes <= 0 || usedDefault) {
        return false;
    }
    // And back again to the very same text: no character stood in for another.
    HeapText ansi(static_cast<std::size_t>(bytes));
    WideHeapText back(wide.size() + 1);
    if (ansi.Size() == 0 || back.Size() == 0) {
        return false;
    }
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), Count(wide.size()), ansi.Data(), bytes, nullptr,
                          nullptr);
    const int units = ::MultiByteToWideChar(CP_ACP, 0, ansi.Data(), bytes, back.Data(), Count(back.Size()));
    return units == Count(wide.size()) && std::wstring_view(back.Data(), wide.size()) == wide;
}

int CodePageBytes(unsigned codePage, std::uint32_t character, unsigned char (&bytes)[4]) noexcept
{
    if (character >= MapCharacters || (character >= 0xD800 && character <= 0xDFFF)) {
        return 0; // halves of surrogate pairs are no characters
    }
    const wchar_t unit = static_cast<wchar_t>(character);
    char converted[4] = {};
    BOOL defaulted = FALSE;
    const int size = ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, &unit, 1, converted, sizeof converted,
                                           nullptr, &defaulted);
    wchar_t back[2] = {};
    if (size < 1 || size > 2 || defaulted ||
        ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, converted, size, back, 2) != 1 || back[0] != unit) {
        return 0;
    }
    for (int i = 0; i < size; ++i) {
        bytes[i] = static_cast<unsigned char>(converted[i]);
    }
    return size;
}

void AppendCodePageMap(TextBuilder& out, unsigned codePage) noexcept
{
    UnicodeMapLines lines;
    for (std::uint32_t character = 0; character < MapCharacters; ++character) {
        unsigned char bytes[4] = {};
        const int size = CodePageBytes(codePage, character, bytes);
        if (size > 0) {
            lines.Add(character, size == 2 ? std::uint32_t{bytes[0]} << 8 | bytes[1] : bytes[0], size, out);
        }
    }
    lines.Finish(out);
}
