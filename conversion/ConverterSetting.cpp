#include "ConverterSetting.h"

#include "FixedField.h"

#include <windows.h>

namespace {

constexpr std::size_t NameBufferSize = 30;
constexpr std::size_t PathBufferSize = 256;
constexpr DWORD ValueBufferSize = 256;
constexpr std::string_view SettingsFileName = "Paperlens.ini";

} // namespace

std::string ReadConverterSetting(std::string_view pluginDirectory, std::string_view key)
{
    // A settings path that does not fit is not cut: what its first 255 characters name is
    // not this library's settings file.
    if (pluginDirectory.size() + SettingsFileName.size() >= PathBufferSize) {
        return std::string(SettingNotFound);
    }
    char section[NameBufferSize];
    char keyName[NameBufferSize];
    char fallback[NameBufferSize];
    char path[PathBufferSize];
    char value[ValueBufferSize] = {};
    CopyToField(section, sizeof section, "Converters");
    CopyToField(keyName, sizeof keyName, key);
    CopyToField(fallback, sizeof fallback, SettingNotFound);
    CopyToField(path, sizeof path, {pluginDirectory, SettingsFileName});
    ::GetPrivateProfileStringA(section, keyName, fallback, value, ValueBufferSize, path);
    value[ValueBufferSize - 1] = '\0';
    return value;
}
