#include "TargetFile.h"

#include "BoxFreeCall.h"
#include "UniqueHandle.h"

#include <windows.h>

namespace {

using FileHandle = UniqueHandle<>;

// Opened for its identity only: no access asked, nothing locked for anyone else.
FileHandle OpenForIdentity(const wchar_t* path) noexcept
{
    return FileHandle(BoxFreeCall([path] {
        return ::CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    }).value);
}

bool IsFileAttributes(DWORD attributes) noexcept
{
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

bool IsExistingFile(const char* path) noexcept
{
    return IsFileAttributes(BoxFreeCall([path] { return ::GetFileAttributesA(path); }).value);
}

bool IsExistingFile(const wchar_t* path) noexcept
{
    return IsFileAttributes(BoxFreeCall([path] { return ::GetFileAttributesW(path); }).value);
}

bool RemoveStaleTarget(const wchar_t* target) noexcept
{
    const auto removal = BoxFreeCall([target] { return ::DeleteFileW(target); });
    return removal.value || removal.lastError == ERROR_FILE_NOT_FOUND || removal.lastError == ERROR_PATH_NOT_FOUND;
}

bool AreSameFile(const wchar_t* first, const wchar_t* second) noexcept
{
    // The second first: a host's target does not exist yet, as a rule.
    const FileHandle b = OpenForIdentity(second);
    const FileHandle a = b ? OpenForIdentity(first) : FileHandle();
    BY_HANDLE_FILE_INFORMATION infoA = {};
    BY_HANDLE_FILE_INFORMATION infoB = {};
    return b && ::GetFileInformationByHandle(a.Get(), &infoA) && ::GetFileInformationByHandle(b.Get(), &infoB) &&
           infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber && infoA.nFileIndexHigh == infoB.nFileIndexHigh &&
           infoA.nFileIndexLow == infoB.nFileIndexLow;
}

unsigned long long FileSizeOf(const wchar_t* path) noexcept
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!BoxFreeCall([&] { return ::GetFileAttributesExW(path, GetFileExInfoStandard, &data); }).value) {
        return 0;
    }
    return static_cast<unsigned long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
}
