#include "ConverterPaths.h"

#include "CodePage.h"
#include "CommandLine.h"
#include "FileNumbers.h"
#include "BoxFreeCall.h"
#include "UniqueHandle.h"

#include <windows.h>

namespace {

// The ANSI file calls turn a name into UTF-16 in a buffer of MAX_PATH characters.
constexpr std::size_t LongestConverterPath = MAX_PATH - 1;
// \~paperlens-<process>-<number>.pdf at its longest.
constexpr std::size_t TemporaryNameRoom = 36;

bool IsNameable(std::wstring_view path, std::size_t room) noexcept
{
    return path.size() + room <= LongestConverterPath && IsAnsiExact(path);
}

// `path` or its short form, when either is nameable with `room` characters to spare.
bool NameableFormOf(const wchar_t* path, std::size_t room, WideHeapText& form) noexcept
{
    const std::wstring_view text = path;
    if (IsNameable(text, room)) {
        return form.Build([&](WideTextBuilder& out) { out.Append(text); });
    }
    const DWORD units = BoxFreeCall([path] { return ::GetShortPathNameW(path, nullptr, 0); }).value;
    WideHeapText shortForm(units);
    if (units == 0 || shortForm.Size() == 0 ||
        BoxFreeCall([&] { return ::GetShortPathNameW(path, shortForm.Data(), units); }).value >= units ||
        !IsNameable(shortForm.Text(), room)) {
        return false;
    }
    form.Swap(shortForm);
    return true;
}

struct CloseSearch {
    static void Close(HANDLE search) noexcept { ::FindClose(search); }
};

// No process runs under that number any more. One that may not be asked runs.
bool HasEnded(unsigned long process) noexcept
{
    if (process == ::GetCurrentProcessId()) {
        return false;
    }
    const UniqueHandle<> handle(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process));
    if (!handle) {
        return ::GetLastError() == ERROR_INVALID_PARAMETER;
    }
    DWORD exitCode = 0;
    return ::GetExitCodeProcess(handle.Get(), &exitCode) && exitCode != STILL_ACTIVE;
}

} // namespace

void RemoveAbandonedTemporaryFiles(std::wstring_view folder) noexcept
{
    WideHeapText pattern;
    if (!pattern.Build([&](WideTextBuilder& out) { AppendTemporaryPattern(out, folder); })) {
        return;
    }
    WIN32_FIND_DATAW found;
    const UniqueHandle<CloseSearch> search(
        BoxFreeCall([&] { return ::FindFirstFileW(pattern.Data(), &found); }).value);
    for (bool more = search.IsValid(); more; more = ::FindNextFileW(search.Get(), &found)) {
        unsigned long process = 0;
        WideHeapText path;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            !ProcessOfTemporaryName(found.cFileName, process) || !HasEnded(process) ||
            !path.Build([&](WideTextBuilder& out) { AppendInFolder(out, folder, found.cFileName); })) {
            continue;
        }
        BoxFreeCall([&] { return ::DeleteFileW(path.Data()); });
    }
}

bool ConverterFormOf(const wchar_t* path, WideHeapText& form) noexcept
{
    return NameableFormOf(path, 0, form);
}

bool IsConverterForm(std::wstring_view path) noexcept
{
    return IsNameable(path, 0);
}

bool StandInFolderFor(std::wstring_view folder, WideHeapText& form) noexcept
{
    if (folder.empty()) { // the current folder, which the converter shares
        return form.Build([](WideTextBuilder&) {});
    }
    WideHeapText copy; // NUL-terminated for the system
    if (copy.Build([&](WideTextBuilder& out) { out.Append(folder); }) &&
        NameableFormOf(copy.Data(), TemporaryNameRoom, form)) {
        return true;
    }
    // The document is linked there when it is on the same volume, else copied, and the
    // text moved into the target afterwards.
    wchar_t temporary[MAX_PATH + 1];
    const DWORD units = ::GetTempPathW(MAX_PATH + 1, temporary);
    if (units == 0 || units > MAX_PATH || !NameableFormOf(temporary, TemporaryNameRoom, form)) {
        return false;
    }
    RemoveAbandonedTemporaryFiles(form.Text());
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

void RemoveTemporaryFile(wchar_t* path) noexcept
{
    if (path) {
        BoxFreeCall([path] { return ::DeleteFileW(path); });
        ReleaseHeapText(path);
    }
}
