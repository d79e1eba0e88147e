// The bounds of the paths the library keeps, each defined here only.
#pragma once

#include <cstddef>

// Paths of the ANSI entry points, the library's own path and its settings path: every path
// the library keeps in fixed storage is shorter, terminating NUL included.
constexpr std::size_t PathBufferSize = 256;

// The longest document path of the Unicode entry points, terminating NUL included.
constexpr std::size_t WidePathSize = 32767;
