#include "ConverterSetting.h"

#include "FixedField.h"
#include "PathLimits.h"

#include <windows.h>

namespace {

constexpr std::size_t NameBufferSize = 30;
constexpr std::wstring_view SettingsFileName = L"Paperlens.ini";

} // namespace

SettingText ReadConverterSetting(std::wstring_view pluginDirectory, std::wstring_view key) noexcept
{
    SettingText setting;
    wchar_t path[PathBufferSize];
    // A settings path that does not fit is not cut: what its first 255 characters name is
    // not this library's settings file.
    WideTextBuilder pathText(path, PathBufferSize);
    pathText.Append(pluginDirectory).Append(SettingsFileName);
    if (pathText.Overflowed()) {
        setting.Assign(SettingNotFound);
        return setting;
    }
    wchar_t section[NameBufferSize];
    wchar_t keyName[NameBufferSize];
    wchar_t fallback[NameBufferSize];
    wchar_t value[SettingSize] = {};
    CopyToField(section, NameBufferSize, {std::wstring_view(L"Converters")});
    CopyToField(keyName, NameBufferSize, {key});
    CopyToField(fallback, NameBufferSize, {SettingNotFound});
    ::GetPrivateProfileStringW(section, keyName, fallback, value, SettingSize, path);
    value[SettingSize - 1] = L'\0';
    setting.Assign(TextAt(value));
    return setting;
}
