// Text kept in storage of a fixed size, never allocated: the library lives in the host's
// process and takes nothing from its heap that could fail or be left behind.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>

// Appends pieces to storage the caller owns. A piece that does not fit marks the text as
// overflowed: a cut path could name another file, so an overflowed text is refused, never
// used. Size() counts what the whole text needs, so a first pass with no storage measures.
class TextBuilder {
public:
    // `capacity` counts the terminating NUL, which is always written.
    constexpr TextBuilder(char* storage, std::size_t capacity) noexcept : storage_(storage), capacity_(capacity)
    {
        Terminate();
    }

    TextBuilder& Append(std::string_view piece) noexcept
    {
        if (Fits(piece.size())) {
            for (char c : piece) {
                storage_[size_++] = c;
            }
            Terminate();
        } else {
            Overflow(piece.size());
        }
        return *this;
    }

    TextBuilder& Append(std::size_t count, char c) noexcept
    {
        if (Fits(count)) {
            for (std::size_t i = 0; i < count; ++i) {
                storage_[size_++] = c;
            }
            Terminate();
        } else {
            Overflow(count);
        }
        return *this;
    }

    bool Overflowed() const noexcept { return overflowed_; }
    // The length of the whole text, whether or not it fitted.
    std::size_t Size() const noexcept { return size_; }
    std::string_view View() const noexcept { return overflowed_ ? std::string_view() : std::string_view(storage_, size_); }

private:
    constexpr void Terminate() noexcept
    {
        if (!overflowed_ && size_ < capacity_) {
            storage_[size_] = '\0';
        }
    }
    bool Fits(std::size_t count) const noexcept { return !overflowed_ && count < capacity_ - size_; }
    void Overflow(std::size_t count) noexcept
    {
        if (!overflowed_ && capacity_ != 0) {
            storage_[0] = '\0'; // nothing half built is ever read
        }
        overflowed_ = true;
        size_ += count;
    }

    char* storage_;
    std::size_t capacity_;
    std::size_t size_ = 0;
    bool overflowed_ = false;
};

// A text of fewer than Capacity characters, NUL-terminated, usable in module-wide state
// from the first instant: it needs no constructor to run.
template <std::size_t Capacity>
class FixedText {
public:
    static constexpr std::size_t capacity = Capacity;

    // Replaces the text with the pieces joined; false, and the empty text, when they do
    // not fit.
    bool Assign(std::initializer_list<std::string_view> pieces) noexcept
    {
        TextBuilder builder(text_, Capacity);
        for (std::string_view piece : pieces) {
            builder.Append(piece);
        }
        size_ = builder.Overflowed() ? 0 : builder.Size();
        return !builder.Overflowed();
    }
    bool Assign(std::string_view text) noexcept { return Assign({text}); }

    std::string_view View() const noexcept { return std::string_view(text_, size_); }
    const char* CString() const noexcept { return text_; }
    bool Empty() const noexcept { return size_ == 0; }

private:
    char text_[Capacity] = {};
    std::size_t size_ = 0;
};
