// The converter setting in the settings file beside the library.
#pragma once

#include <string>
#include <string_view>

// What the lookup answers when the file, the section or the key is missing.
constexpr std::string_view SettingNotFound = "not found";

// The value of `key` in section "Converters" of PluginDirectory\Paperlens.ini, or
// "not found".
std::string ReadConverterSetting(std::string_view pluginDirectory, std::string_view key);
