#include "FixedField.h"

#include <algorithm>

namespace {

template <class Char>
void CopyPieces(Char* field, std::size_t size, std::initializer_list<std::basic_string_view<Char>> pieces) noexcept
{
    if (!field || size == 0) {
        return;
    }
    std::size_t written = 0;
    for (std::basic_string_view<Char> piece : pieces) {
        const std::size_t untilNul = std::min(piece.size(), piece.find(Char()));
        const std::size_t count = std::min(untilNul, size - 1 - written);
        for (std::size_t i = 0; i < count; ++i) {
            field[written + i] = piece[i];
        }
        written += count;
        if (count < piece.size()) {
            break; // cut by the field or by a NUL: nothing after it belongs in the field
        }
    }
    field[written] = Char();
}

} // namespace

void CopyToField(char* field, std::size_t size, std::initializer_list<std::string_view> pieces) noexcept
{
    CopyPieces(field, size, pieces);
}

void CopyToField(wchar_t* field, std::size_t size, std::initializer_list<std::wstring_view> pieces) noexcept
{
    CopyPieces(field, size, pieces);
}

std::string_view TextAt(const char* text) noexcept
{
    return text ? std::string_view(text) : std::string_view();
}

std::wstring_view TextAt(const wchar_t* text) noexcept
{
    return text ? std::wstring_view(text) : std::wstring_view();
}
