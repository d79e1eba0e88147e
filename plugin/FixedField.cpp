#include "FixedField.h"

#include <algorithm>
#include <cstring>

void CopyToField(char* field, std::size_t size, std::initializer_list<std::string_view> pieces) noexcept
{
    if (!field || size == 0) {
        return;
    }
    std::size_t written = 0;
    for (std::string_view piece : pieces) {
        const std::size_t untilNul = std::min(piece.size(), piece.find('\0'));
        const std::size_t count = std::min(untilNul, size - 1 - written);
        if (count != 0) { // an empty view may have no data at all, and memcpy takes none
            std::memcpy(field + written, piece.data(), count);
        }
        written += count;
        if (count < piece.size()) {
            break; // cut by the field or by a NUL: nothing after it belongs in the field
        }
    }
    field[written] = '\0';
}

std::string_view TextAt(const char* text) noexcept
{
    return text ? std::string_view(text) : std::string_view();
}
