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
    // One unit more than a setting may hold, to tell a setting that fills it from a cut one.
    wchar_t value[SettingSize + 1] = {};
    CopyToField(section, NameBufferSize, {std::wstring_view(L"Converters")});
    CopyToField(keyName, NameBufferSize, {key});
    CopyToField(fallback, NameBufferSize, {SettingNotFound});
    const DWORD length = ::GetPrivateProfileStringW(section, keyName, fallback, value, SettingSize + 1, path);
    value[SettingSize] = L'\0';
    // A cut setting names another program (conv.exe for conv.exe-v2.exe): it is no setting.
    if (length >= SettingSize || !setting.Assign(TextAt(value))) {
        setting.Assign(SettingNotFound);
    }
    return setting;
}
