// A text buffer of a size known only at run time, from the process heap without
// exceptions: a failed allocation is an answer to check, not a throw.
#pragma once

#include "FixedText.h"

#include <windows.h>

#include <cstddef>

template <class Char>
class BasicHeapText {
public:
    BasicHeapText() noexcept = default;
    explicit BasicHeapText(std::size_t size) noexcept
        : data_(size ? static_cast<Char*>(::HeapAlloc(::GetProcessHeap(), 0, size * sizeof(Char))) : nullptr),
          size_(data_ ? size : 0)
    {
        if (data_) {
            data_[0] = Char();
        }
    }
    ~BasicHeapText()
    {
        if (data_) {
            ::HeapFree(::GetProcessHeap(), 0, data_);
        }
    }
    BasicHeapText(const BasicHeapText&) = delete;
    BasicHeapText& operator=(const BasicHeapText&) = delete;

    void Swap(BasicHeapText& other) noexcept
    {
        Char* data = data_;
        const std::size_t size = size_;
        data_ = other.data_;
        size_ = other.size_;
        other.data_ = data;
        other.size_ = size;
    }

    // Builds a text twice: once to measure it, once into a buffer of that size. False when
    // memory is short or the text does not fit.
    template <class Builder>
    bool Build(Builder&& build) noexcept
    {
        BasicTextBuilder<Char> measure(nullptr, 0);
        build(measure);
        BasicHeapText sized(measure.Size() + 1);
        if (sized.Size() == 0) {
            return false;
        }
        BasicTextBuilder<Char> builder(sized.Data(), sized.Size());
        build(builder);
        Swap(sized);
        return !builder.Overflowed();
    }

    // Hands the memory to a new owner, which gives it back with ReleaseHeapText.
    Char* Release() noexcept
    {
        Char* data = data_;
        data_ = nullptr;
        size_ = 0;
        return data;
    }

    Char* Data() const noexcept { return data_; }
    std::size_t Size() const noexcept { return size_; } // counts the NUL; 0 when nothing was allocated
    std::basic_string_view<Char> Text() const noexcept
    {
        return data_ ? std::basic_string_view<Char>(data_) : std::basic_string_view<Char>();
    }

private:
    Char* data_ = nullptr;
    std::size_t size_ = 0;
};

using HeapText = BasicHeapText<char>;
using WideHeapText = BasicHeapText<wchar_t>;

// Gives back memory a BasicHeapText released; null is fine.
inline void ReleaseHeapText(void* data) noexcept
{
    if (data) {
        ::HeapFree(::GetProcessHeap(), 0, data);
    }
}
