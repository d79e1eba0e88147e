// Text kept in storage of a fixed size, never allocated: the library lives in the host's
// process and takes nothing from its heap that could fail or be left behind.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>
#include <type_traits>

// Appends pieces to storage the caller owns. A piece that does not fit marks the text as
// overflowed: a cut path could name another file, so an overflowed text is refused, never
// used. Size() counts what the whole text needs, so a first pass with no storage measures.
template <class Char>
class BasicTextBuilder {
public:
    using View = std::basic_string_view<Char>;

    // `capacity` counts the terminating NUL, which is always written.
    constexpr BasicTextBuilder(Char* storage, std::size_t capacity) noexcept : storage_(storage), capacity_(capacity)
    {
        Terminate();
    }

    BasicTextBuilder& Append(View piece) noexcept
    {
        if (Fits(piece.size())) {
            for (Char c : piece) {
                storage_[size_++] = c;
            }
            Terminate();
        } else {
            Overflow(piece.size());
        }
        return *this;
    }

    // Plain ASCII (options, suffixes) into text of any width.
    template <class Ascii = char, class = std::enable_if_t<!std::is_same_v<Ascii, Char>>>
    BasicTextBuilder& Append(std::basic_string_view<Ascii> ascii) noexcept
    {
        if (Fits(ascii.size())) {
            for (Ascii c : ascii) {
                storage_[size_++] = static_cast<Char>(c);
            }
            Terminate();
        } else {
            Overflow(ascii.size());
        }
        return *this;
    }
    BasicTextBuilder& Append(const Char* text) noexcept { return Append(View(text)); }
    template <class Ascii = char, class = std::enable_if_t<!std::is_same_v<Ascii, Char>>>
    BasicTextBuilder& Append(const Ascii* ascii) noexcept
    {
        return Append(std::basic_string_view<Ascii>(ascii));
    }

    BasicTextBuilder& Append(std::size_t count, Char c) noexcept
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
    View Text() const noexcept { return overflowed_ ? View() : View(storage_, size_); }

private:
    constexpr void Terminate() noexcept
    {
        if (!overflowed_ && size_ < capacity_) {
            storage_[size_] = Char();
        }
    }
    bool Fits(std::size_t count) const noexcept { return !overflowed_ && count < capacity_ - size_; }
    void Overflow(std::size_t count) noexcept
    {
        if (!overflowed_ && capacity_ != 0) {
            storage_[0] = Char(); // nothing half built is ever read
        }
        overflowed_ = true;
        size_ += count;
    }

    Char* storage_;
    std::size_t capacity_;
    std::size_t size_ = 0;
    bool overflowed_ = false;
};

using TextBuilder = BasicTextBuilder<char>;
using WideTextBuilder = BasicTextBuilder<wchar_t>;

// A text of fewer than Capacity characters, NUL-terminated, usable in module-wide state
// from the first instant: it needs no constructor to run.
template <class Char, std::size_t Capacity>
class BasicFixedText {
public:
    using View = std::basic_string_view<Char>;
    static constexpr std::size_t capacity = Capacity;

    // Replaces the text with the pieces joined; false, and the empty text, when they do
    // not fit.
    bool Assign(std::initializer_list<View> pieces) noexcept
    {
        BasicTextBuilder<Char> builder(text_, Capacity);
        for (View piece : pieces) {
            builder.Append(piece);
        }
        size_ = builder.Overflowed() ? 0 : builder.Size();
        return !builder.Overflowed();
    }
    bool Assign(View text) noexcept { return Assign({text}); }

    View Text() const noexcept { return View(text_, size_); }
    const Char* CString() const noexcept { return text_; }
    bool Empty() const noexcept { return size_ == 0; }

private:
    Char text_[Capacity] = {};
    std::size_t size_ = 0;
};

template <std::size_t Capacity>
using FixedText = BasicFixedText<char, Capacity>;
template <std::size_t Capacity>
using WideFixedText = BasicFixedText<wchar_t, Capacity>;
