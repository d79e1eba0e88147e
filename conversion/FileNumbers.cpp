#include "FileNumbers.h"

std::atomic<std::uint32_t> FileNumberCounter{0};

std::uint32_t DrawFileNumber() noexcept
{
    std::uint32_t number = 0;
    while (number == 0) {
        number = FileNumberCounter.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    return number;
}
