// Where the converter lies: beside the library, named by the first word of the setting.
#pragma once

#include <string_view>

// The library's path up to and including its last backslash.
std::wstring_view PluginDirectoryOf(std::wstring_view modulePath) noexcept;

// The setting up to its first space; its further words are not used. The converter's
// path is PluginDirectory followed by this word.
std::wstring_view FirstWordOf(std::wstring_view setting) noexcept;
