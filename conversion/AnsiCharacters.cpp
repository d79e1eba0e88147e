#include "AnsiCharacters.h"

void AnsiCharacters::AddLeadBytes(unsigned char first, unsigned char last) noexcept
{
    for (unsigned byte = first; byte <= last; ++byte) {
        lead_[byte] = 1;
    }
}

std::size_t AnsiCharacters::SizeAt(std::string_view text, std::size_t at) const noexcept
{
    const auto byte = static_cast<unsigned char>(text[at]);
    std::size_t size = 1;
    if (utf8_) {
        size = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    } else if (lead_[byte]) {
        size = 2;
    }
    return size < text.size() - at ? size : text.size() - at;
}

std::size_t AnsiCharacters::WholeCharactersIn(std::string_view text, std::size_t limit) const noexcept
{
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t next = end + SizeAt(text, end);
        if (next > limit) {
            break;
        }
        end = next;
    }
    return end;
}
