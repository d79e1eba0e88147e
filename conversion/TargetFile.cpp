#include "TargetFile.h"

#include "SystemCallGate.h"
#include "UniqueHandle.h"

#include <windows.h>

namespace {

using GatedFileHandle = UniqueHandle<CloseHandleThroughGate>;

// Opened for its identity only: no access asked, nothing locked for anyone else.
GatedFileHandle OpenForIdentity(const wchar_t* path) noexcept
{
    return GatedFileHandle(SystemCallGate([path] {
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
    return IsFileAttributes(SystemCallGate([path] { return ::GetFileAttributesA(path); }).value);
}

bool IsExistingFile(const wchar_t* path) noexcept
{
    return IsFileAttributes(SystemCallGate([path] { return ::GetFileAttributesW(path); }).value);
}

bool RemoveStaleTarget(const wchar_t* target) noexcept
{
    const auto removal = SystemCallGate([target] { return ::DeleteFileW(target); });
    return removal.value || removal.lastError == ERROR_FILE_NOT_FOUND || removal.lastError == ERROR_PATH_NOT_FOUND;
}

bool AreSameFile(const wchar_t* first, const wchar_t* second) noexcept
{
    const GatedFileHandle a = OpenForIdentity(first);
    const GatedFileHandle b = a ? OpenForIdentity(second) : GatedFileHandle();
    BY_HANDLE_FILE_INFORMATION infoA = {};
    BY_HANDLE_FILE_INFORMATION infoB = {};
    return b && ::GetFileInformationByHandle(a.Get(), &infoA) && ::GetFileInformationByHandle(b.Get(), &infoB) &&
           infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber && infoA.nFileIndexHigh == infoB.nFileIndexHigh &&
           infoA.nFileIndexLow == infoB.nFileIndexLow;
}
