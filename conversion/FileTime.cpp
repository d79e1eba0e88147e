#include "FileTime.h"

#include "BoxFreeCall.h"
#include "PathLimits.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr DWORD FirstBytes = 128;

using FileHandle = UniqueHandle<>;

// Reading the first bytes proves the content is readable: a file whose start another
// program has locked gives no time.
bool FirstBytesReadable(HANDLE file) noexcept
{
    if (BoxFreeCall([file] { return ::GetFileType(file); }).value != FILE_TYPE_DISK) {
        return true;
    }
    const auto seek = BoxFreeCall([file] { return ::SetFilePointer(file, 0, nullptr, FILE_BEGIN); });
    if (seek.value == INVALID_SET_FILE_POINTER && seek.lastError != NO_ERROR) {
        return false;
    }
    char bytes[FirstBytes];
    DWORD read = 0;
    return BoxFreeCall([&] { return ::ReadFile(file, bytes, FirstBytes, &read, nullptr); }).value != FALSE;
}

} // namespace

namespace {

HANDLE OpenForTime(const char* path, SECURITY_ATTRIBUTES* security) noexcept
{
    return ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, security, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE OpenForTime(const wchar_t* path, SECURITY_ATTRIBUTES* security) noexcept
{
    return ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, security, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

// `path` is NUL-terminated and has passed the caller's checks.
template <class Char>
bool ReadLocalTime(const Char* path, int& year, int& month, int& day, int& hour, int& minute, int& second) noexcept
{
    // Not inheritable: a process the host starts meanwhile must not receive the document.
    SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, FALSE};
    FileHandle file(BoxFreeCall([&] { return OpenForTime(path, &security); }).value);
    if (!file || !FirstBytesReadable(file.Get())) {
        return false;
    }

    FILETIME lastWrite = {};
    FILETIME localWrite = {};
    SYSTEMTIME local = {};
    if (!::GetFileTime(file.Get(), nullptr, nullptr, &lastWrite) ||
        !::FileTimeToLocalFileTime(&lastWrite, &localWrite) ||
        !::FileTimeToSystemTime(&localWrite, &local)) {
        return false;
    }
    year = local.wYear;
    month = local.wMonth;
    day = local.wDay;
    hour = local.wHour;
    minute = local.wMinute;
    second = local.wSecond;
    return true;
}

} // namespace

bool GetFileLocalTime(std::string_view path, int& year, int& month, int& day, int& hour,
                      int& minute, int& second) noexcept
{
    // A path that does not fit the buffer is not cut: its first 255 characters could name
    // another file, whose time would then be shown.
    if (path.empty() || path.size() >= PathBufferSize ||
        path.find_first_of("*?") != std::string_view::npos ||
        path.find('\0') != std::string_view::npos) {
        return false;
    }
    char pathBuffer[PathBufferSize];
    std::memcpy(pathBuffer, path.data(), path.size());
    pathBuffer[path.size()] = '\0';
    return ReadLocalTime(pathBuffer, year, month, day, hour, minute, second);
}

bool GetFileLocalTime(const wchar_t* path, int& year, int& month, int& day, int& hour, int& minute,
                      int& second) noexcept
{
    return ReadLocalTime(path, year, month, day, hour, minute, second);
}
