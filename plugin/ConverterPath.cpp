#include "ConverterPath.h"

std::string_view PluginDirectoryOf(std::string_view modulePath) noexcept
{
    const auto slash = modulePath.rfind('\\');
    return slash == std::string_view::npos ? std::string_view() : modulePath.substr(0, slash + 1);
}

std::string_view FirstWordOf(std::string_view setting) noexcept
{
    return setting.substr(0, setting.find(' '));
}

std::string ConverterPathFrom(std::string_view pluginDirectory, std::string_view setting)
{
    std::string path(pluginDirectory);
    path += FirstWordOf(setting);
    return path;
}
