#include "ProgramKind.h"

namespace {

constexpr std::size_t ImageOffsetField = 0x3C;

bool EndsWithInAnyCase(std::wstring_view text, std::wstring_view lowerTail) noexcept
{
    if (text.size() < lowerTail.size()) {
        return false;
    }
    const std::wstring_view tail(text.data() + text.size() - lowerTail.size(), lowerTail.size());
    for (std::size_t i = 0; i < tail.size(); ++i) {
        const wchar_t c = tail[i] >= L'A' && tail[i] <= L'Z' ? static_cast<wchar_t>(tail[i] - L'A' + L'a') : tail[i];
        if (c != lowerTail[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

bool ImageHeaderOffsetOf(const unsigned char* head, std::size_t size, std::uint32_t& offset) noexcept
{
    if (!head || size < ImageOffsetField + 4 || head[0] != 'M' || head[1] != 'Z') {
        return false;
    }
    const unsigned char* field = head + ImageOffsetField;
    offset = std::uint32_t{field[0]} | std::uint32_t{field[1]} << 8 | std::uint32_t{field[2]} << 16 |
             std::uint32_t{field[3]} << 24;
    return true;
}

bool IsImageSignature(const unsigned char* bytes, std::size_t size) noexcept
{
    return bytes && size >= 4 && bytes[0] == 'P' && bytes[1] == 'E' && bytes[2] == 0 && bytes[3] == 0;
}

bool IsBatchFileName(std::wstring_view path) noexcept
{
    return EndsWithInAnyCase(path, L".bat") || EndsWithInAnyCase(path, L".cmd");
}

bool TakesExeAppended(std::wstring_view path) noexcept
{
    const auto slash = path.find_last_of(L"\\/");
    const std::wstring_view name = slash == path.npos ? path : std::wstring_view(path.data() + slash + 1, path.size() - slash - 1);
    return !name.empty() && name.find(L'.') == name.npos;
}
