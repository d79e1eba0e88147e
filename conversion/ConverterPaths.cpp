#include "ConverterPaths.h"

#include "CodePage.h"
#include "CommandLine.h"
#include "FileNumbers.h"
#include "BoxFreeCall.h"

#include <windows.h>

bool ConverterFormOf(const wchar_t* path, WideHeapText& form) noexcept
{
    const std::wstring_view text = path;
    if (IsAnsiExact(text)) {
        return form.Build([&](WideTextBuilder& out) { out.Append(text); });
    }
    const DWORD units = BoxFreeCall([path] { return ::GetShortPathNameW(path, nullptr, 0); }).value;
    WideHeapText shortForm(units);
    if (units == 0 || shortForm.Size() == 0 ||
        BoxFreeCall([&] { return ::GetShortPathNameW(path, shortForm.Data(), units); }).value >= units ||
        !IsAnsiExact(shortForm.Text())) {
        return false;
    }
    form.Swap(shortForm);
    return true;
}

TemporaryFile::~TemporaryFile()
{
    if (path_.Data()) {
        const wchar_t* path = path_.Data();
        BoxFreeCall([path] { return ::DeleteFileW(path); });
    }
}

bool TemporaryFile::Name(std::wstring_view folder, std::wstring_view extension) noexcept
{
    const unsigned long process = ::GetCurrentProcessId();
    const unsigned long number = DrawFileNumber();
    WideHeapText path;
    if (!path.Build([&](WideTextBuilder& out) { AppendTemporaryName(out, folder, process, number, extension); })) {
        return false;
    }
    path_.Swap(path);
    const wchar_t* name = path_.Data();
    BoxFreeCall([name] { return ::DeleteFileW(name); }); // left by a run that never ended
    return true;
}

bool TemporaryFile::LinkOrCopy(const wchar_t* document) noexcept
{
    const wchar_t* name = path_.Data();
    return BoxFreeCall([&] { return ::CreateHardLinkW(name, document, nullptr); }).value ||
           BoxFreeCall([&] { return ::CopyFileW(document, name, TRUE); }).value;
}

bool TemporaryFile::MoveTo(const wchar_t* target) noexcept
{
    const wchar_t* name = path_.Data();
    return BoxFreeCall([&] {
        return ::MoveFileExW(name, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
    }).value;
}
