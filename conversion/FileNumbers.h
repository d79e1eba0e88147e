// Numbers that do not repeat while the library is loaded: the handles of open archives
// and the names of temporary files. One atomic counter, so no lock is taken.
#pragma once

#include <atomic>
#include <cstdint>

// The module-wide counter: the last number drawn. Constant-initialized; only the unit
// tests set it, to reach the end of its range.
extern std::atomic<std::uint32_t> FileNumberCounter;

// The counter's next value, never 0 (0 is the host's "no handle"). Only after 2^32 draws
// does a number come back.
std::uint32_t DrawFileNumber() noexcept;
