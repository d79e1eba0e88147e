// Text crossing into fixed-size character fields owned by the host or by Windows.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>

// Copies the pieces one after another: at most size-1 characters, stopping at an embedded NUL,
// and always a terminating NUL; the bytes after it keep what they held. Never allocates.
void CopyToField(char* field, std::size_t size, std::initializer_list<std::string_view> pieces) noexcept;

void CopyToField(wchar_t* field, std::size_t size, std::initializer_list<std::wstring_view> pieces) noexcept;

inline void CopyToField(char* field, std::size_t size, std::string_view text) noexcept
{
    CopyToField(field, size, {text});
}

// The host passes text as NUL-terminated pointers; a null pointer is the empty text.
std::string_view TextAt(const char* text) noexcept;
std::wstring_view TextAt(const wchar_t* text) noexcept;
