#include "TargetFile.h"

#include "SystemCallGate.h"
#include "UniqueHandle.h"

#include <windows.h>

namespace {

using GatedFileHandle = UniqueHandle<CloseHandleThroughGate>;

// Opened for its identity only: no access asked, nothing locked for anyone else.
GatedFileHandle OpenForIdentity(const char* path) noexcept
{
    return GatedFileHandle(SystemCallGate([path] {
        return ::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    }).value);
}

} // namespace

bool IsExistingFile(const char* path) noexcept
{
    const DWORD attributes = SystemCallGate([path] { return ::GetFileAttributesA(path); }).value;
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool RemoveStaleTarget(const char* target) noexcept
{
    const auto removal = SystemCallGate([target] { return ::DeleteFileA(target); });
    return removal.value || removal.lastError == ERROR_FILE_NOT_FOUND || removal.lastError == ERROR_PATH_NOT_FOUND;
}

bool AreSameFile(const char* first, const char* second) noexcept
{
    const GatedFileHandle a = OpenForIdentity(first);
    const GatedFileHandle b = a ? OpenForIdentity(second) : GatedFileHandle();
    BY_HANDLE_FILE_INFORMATION infoA = {};
    BY_HANDLE_FILE_INFORMATION infoB = {};
    return b && ::GetFileInformationByHandle(a.Get(), &infoA) && ::GetFileInformationByHandle(b.Get(), &infoB) &&
           infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber && infoA.nFileIndexHigh == infoB.nFileIndexHigh &&
           infoA.nFileIndexLow == infoB.nFileIndexLow;
}
