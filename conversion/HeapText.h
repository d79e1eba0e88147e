// A text buffer of a size known only at run time, from the process heap without
// exceptions: a failed allocation is an answer to check, not a throw.
#pragma once

#include <windows.h>

#include <cstddef>

class HeapText {
public:
    explicit HeapText(std::size_t size) noexcept
        : data_(size ? static_cast<char*>(::HeapAlloc(::GetProcessHeap(), 0, size)) : nullptr), size_(data_ ? size : 0)
    {
    }
    ~HeapText()
    {
        if (data_) {
            ::HeapFree(::GetProcessHeap(), 0, data_);
        }
    }
    HeapText(const HeapText&) = delete;
    HeapText& operator=(const HeapText&) = delete;

    void Swap(HeapText& other) noexcept
    {
        char* data = data_;
        const std::size_t size = size_;
        data_ = other.data_;
        size_ = other.size_;
        other.data_ = data;
        other.size_ = size;
    }

    char* Data() const noexcept { return data_; }
    std::size_t Size() const noexcept { return size_; } // 0 when the allocation failed

private:
    char* data_;
    std::size_t size_;
};
