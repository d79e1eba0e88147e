#include "ConverterPath.h"

namespace {

template <class Char>
std::basic_string_view<Char> DirectoryIn(std::basic_string_view<Char> modulePath) noexcept
{
    const auto slash = modulePath.rfind(Char('\\'));
    return slash == modulePath.npos ? std::basic_string_view<Char>()
                                    : std::basic_string_view<Char>(modulePath.data(), slash + 1);
}

template <class Char>
std::basic_string_view<Char> FirstWordIn(std::basic_string_view<Char> setting) noexcept
{
    const auto space = setting.find(Char(' '));
    return space == setting.npos ? setting : std::basic_string_view<Char>(setting.data(), space);
}

} // namespace

std::wstring_view PluginDirectoryOf(std::wstring_view modulePath) noexcept
{
    return DirectoryIn(modulePath);
}

std::wstring_view FirstWordOf(std::wstring_view setting) noexcept
{
    return FirstWordIn(setting);
}
