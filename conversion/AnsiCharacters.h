// How the bytes of ANSI text split into characters.
#pragma once

#include <cstddef>
#include <string_view>

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
