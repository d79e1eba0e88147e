// The bounds of the paths the library keeps, each defined here only, and the prefix of
// paths past them.
#pragma once

#include <string_view>

#include <cstddef>

// Paths of the ANSI entry points, the library's own path and its settings path: every path
// the library keeps in fixed storage is shorter, terminating NUL included.
constexpr std::size_t PathBufferSize = 256;

// The longest document path of the Unicode entry points, terminating NUL included.
constexpr std::size_t WidePathSize = 32767;

// 4 for a path that begins \\?\ (\\?\UNC\ too), the prefix that names a path past
// MAX_PATH and whose ? is no wildcard; 0 otherwise.
template <class Char>
constexpr std::size_t LongPathPrefixSize(std::basic_string_view<Char> path) noexcept
{
    return path.size() >= 4 && path[0] == Char('\\') && path[1] == Char('\\') && path[2] == Char('?') &&
                   path[3] == Char('\\')
               ? 4
               : 0;
}
