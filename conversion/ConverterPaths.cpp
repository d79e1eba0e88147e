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
// \~paperlens-<machine>-<process>-<copy>-<number>.pdf at its longest.
constexpr std::size_t TemporaryNameRoom = 56;
// Names taken already (by a process of the same number long gone, say) are passed over,
// never removed; so many in a row means something else is wrong.
constexpr int NameTries = 64;

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

// The machine's token, worked out at the first temporary name; 0 until then.
LONG volatile Machine = 0;

// This copy of the library: its base address, which no other module in the process shares.
extern "C" IMAGE_DOS_HEADER __ImageBase;

TemporaryOwner ThisOwner() noexcept
{
    TemporaryOwner owner;
    owner.machine = static_cast<std::uint32_t>(Machine);
    if (owner.machine == 0) {
        wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
        DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
        owner.machine = MachineTokenOf(::GetComputerNameW(name, &size) ? std::wstring_view(name, size) : L"");
        owner.machine += owner.machine == 0; // 0 stands for not worked out yet
        ::InterlockedExchange(&Machine, static_cast<LONG>(owner.machine));
    }
    owner.process = ::GetCurrentProcessId();
    owner.copy = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&__ImageBase) >> 16);
    return owner;
}

// Removes a file of ours that is read-only, as an abandoned copy of a read-only document
// is; a hard link shares its attributes with the document, and is left alone.
void RemoveReadOnly(const wchar_t* path) noexcept
{
    const UniqueHandle<> file(BoxFreeCall([path] {
        return ::CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    }).value);
    BY_HANDLE_FILE_INFORMATION information = {};
    if (file && ::GetFileInformationByHandle(file.Get(), &information) && information.nNumberOfLinks == 1 &&
        (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        BoxFreeCall([path] { return ::SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL); });
        BoxFreeCall([path] { return ::DeleteFileW(path); });
    }
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
        TemporaryOwner owner;
        WideHeapText path;
        // Only this machine's: in a shared folder another machine's process numbers mean
        // nothing here, and its runs may be going on.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !OwnerOfTemporaryName(found.cFileName, owner) ||
            owner.machine != ThisOwner().machine || !HasEnded(owner.process) ||
            !path.Build([&](WideTextBuilder& out) { AppendInFolder(out, folder, found.cFileName); })) {
            continue;
        }
        if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
            RemoveReadOnly(path.Data());
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

bool StandInFolderFor(std::wstring_view folder, WideHeapText& form, bool forBatch) noexcept
{
    if (folder.empty()) { // the current folder, which the converter shares
        return form.Build([](WideTextBuilder&) {});
    }
    WideHeapText copy; // NUL-terminated for the system
    if (copy.Build([&](WideTextBuilder& out) { out.Append(folder); }) &&
        NameableFormOf(copy.Data(), TemporaryNameRoom, form) && !(forBatch && HoldsInterpreterCharacter(form.Text()))) {
        return true;
    }
    // The document is linked there when it is on the same volume, else copied, and the
    // text moved into the target afterwards.
    wchar_t temporary[MAX_PATH + 1];
    const DWORD units = ::GetTempPathW(MAX_PATH + 1, temporary);
    if (units == 0 || units > MAX_PATH || !NameableFormOf(temporary, TemporaryNameRoom, form) ||
        (forBatch && HoldsInterpreterCharacter(form.Text()))) {
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
    const TemporaryOwner owner = ThisOwner();
    for (int tries = 0; tries < NameTries; ++tries) {
        WideHeapText path;
        const unsigned long number = DrawFileNumber(); // drawn once: Build runs its builder twice
        if (!path.Build([&](WideTextBuilder& out) { AppendTemporaryName(out, folder, owner, number, extension); })) {
            return false;
        }
        const wchar_t* name = path.Data();
        const auto taken = BoxFreeCall([name] { return ::GetFileAttributesW(name); });
        if (taken.value == INVALID_FILE_ATTRIBUTES &&
            (taken.lastError == ERROR_FILE_NOT_FOUND || taken.lastError == ERROR_PATH_NOT_FOUND)) {
            path_.Swap(path);
            return true;
        }
    }
    return false;
}

bool TemporaryFile::LinkOrCopy(const wchar_t* document) noexcept
{
    const wchar_t* name = path_.Data();
    // A link shares the document's attributes: a read-only one could not be removed after the
    // run without making the document writable. Such a document is copied, and the copy is
    // made writable, so that it goes after the run.
    const DWORD attributes = BoxFreeCall([document] { return ::GetFileAttributesW(document); }).value;
    const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (!readOnly && BoxFreeCall([&] { return ::CreateHardLinkW(name, document, nullptr); }).value) {
        return true;
    }
    if (!BoxFreeCall([&] { return ::CopyFileW(document, name, TRUE); }).value) {
        return false;
    }
    const DWORD writable = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    return !readOnly ||
           BoxFreeCall([&] { return ::SetFileAttributesW(name, writable ? writable : FILE_ATTRIBUTE_NORMAL); }).value;
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
