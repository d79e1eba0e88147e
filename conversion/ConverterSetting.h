// The converter setting in the settings file beside the library.
#pragma once

#include "FixedText.h"

#include <cstddef>
#include <string_view>

// What the lookup answers when the file, the section or the key is missing.
constexpr std::wstring_view SettingNotFound = L"not found";

// The longest setting is 255 characters; a longer one reads as none.
constexpr std::size_t SettingSize = 256;
using SettingText = WideFixedText<SettingSize>;

// The value of `key` in section "Converters" of PluginDirectory\Paperlens.ini, or
// "not found" (also for a value too long to hold whole). Read in UTF-16, so that a library
// in a folder of any name finds its settings.
SettingText ReadConverterSetting(std::wstring_view pluginDirectory, std::wstring_view key) noexcept;
