#include "ConverterPath.h"

std::string_view PluginDirectoryOf(std::string_view modulePath) noexcept
{
    const auto slash = modulePath.rfind('\\');
    return slash == std::string_view::npos ? std::string_view() : std::string_view(modulePath.data(), slash + 1);
}

std::string_view FirstWordOf(std::string_view setting) noexcept
{
    const auto space = setting.find(' ');
    return space == std::string_view::npos ? setting : std::string_view(setting.data(), space);
}
