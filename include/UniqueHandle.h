// Sole owner of one kernel handle; the routine that opens a handle closes it by letting
// its owner go out of scope.
#pragma once

#include <windows.h>

struct CloseHandleDirectly {
    static void Close(HANDLE handle) noexcept { ::CloseHandle(handle); }
};

template <class ClosePolicy = CloseHandleDirectly>
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(HANDLE handle) noexcept : handle_(handle) {}
    ~UniqueHandle() { Reset(); }

    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    // Process and thread handles use null for "none", file handles INVALID_HANDLE_VALUE.
    bool IsValid() const noexcept { return handle_ && handle_ != INVALID_HANDLE_VALUE; }
    explicit operator bool() const noexcept { return IsValid(); }
    HANDLE Get() const noexcept { return handle_; }

    HANDLE Release() noexcept
    {
        HANDLE handle = handle_;
        handle_ = nullptr;
        return handle;
    }

    void Reset(HANDLE handle = nullptr) noexcept
    {
        if (IsValid()) {
            // A close never erases the error of the call its owner is reporting.
            const DWORD lastError = ::GetLastError();
            ClosePolicy::Close(handle_);
            ::SetLastError(lastError);
        }
        handle_ = handle;
    }

private:
    HANDLE handle_ = nullptr;
};
