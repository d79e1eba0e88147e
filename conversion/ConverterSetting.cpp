#include "ConverterSetting.h"

#include "FixedField.h"

#include <windows.h>

namespace {

constexpr std::size_t NameBufferSize = 30;
constexpr std::size_t PathBufferSize = 256;
constexpr std::string_view SettingsFileName = "Paperlens.ini";

} // namespace

SettingText ReadConverterSetting(std::string_view pluginDirectory, std::string_view key) noexcept
{
    SettingText setting;
    char path[PathBufferSize];
    // A settings path that does not fit is not cut: what its first 255 characters name is
    // not this library's settings file.
    TextBuilder pathText(path, sizeof path);
    pathText.Append(pluginDirectory).Append(SettingsFileName);
    if (pathText.Overflowed()) {
        setting.Assign(SettingNotFound);
        return setting;
    }
    char section[NameBufferSize];
    char keyName[NameBufferSize];
    char fallback[NameBufferSize];
    char value[SettingSize] = {};
    CopyToField(section, sizeof section, "Converters");
    CopyToField(keyName, sizeof keyName, key);
    CopyToField(fallback, sizeof fallback, SettingNotFound);
    ::GetPrivateProfileStringA(section, keyName, fallback, value, SettingSize, path);
    value[SettingSize - 1] = '\0';
    setting.Assign(TextAt(value));
    return setting;
}
