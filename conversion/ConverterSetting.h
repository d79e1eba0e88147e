// The converter setting in the settings file beside the library.
#pragma once

#include "FixedText.h"

#include <cstddef>
#include <string_view>

// What the lookup answers when the file, the section or the key is missing.
constexpr std::string_view SettingNotFound = "not found";

// Windows cuts the value to 255 characters.
constexpr std::size_t SettingSize = 256;
using SettingText = FixedText<SettingSize>;

// The value of `key` in section "Converters" of PluginDirectory\Paperlens.ini, or
// "not found".
SettingText ReadConverterSetting(std::string_view pluginDirectory, std::string_view key) noexcept;
