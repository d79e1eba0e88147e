#include "DosTime.h"

#include <algorithm>

namespace {

std::uint32_t Clamped(int value, int low, int high) noexcept
{
    return static_cast<std::uint32_t>(std::clamp(value, low, high));
}

} // namespace

std::uint32_t PackDosDateTime(const int& day, const int& month, const int& year,
                              const int& hour, const int& minute, const int& second) noexcept
{
    // Years 1980 to 2107 are all that seven bits above 1980 can hold.
    return (Clamped(year, 1980, 2107) - 1980) << 25 | Clamped(month, 1, 12) << 21 |
           Clamped(day, 1, 31) << 16 | Clamped(hour, 0, 23) << 11 |
           Clamped(minute, 0, 59) << 5 | Clamped(second, 0, 59) / 2;
}

CalendarFields UnpackDosDateTime(std::uint32_t packed) noexcept
{
    CalendarFields fields;
    fields.year = static_cast<int>(packed >> 25) + 1980;
    fields.month = static_cast<int>(packed >> 21 & 0x0F);
    fields.day = static_cast<int>(packed >> 16 & 0x1F);
    fields.hour = static_cast<int>(packed >> 11 & 0x1F);
    fields.minute = static_cast<int>(packed >> 5 & 0x3F);
    fields.second = static_cast<int>(packed & 0x1F) * 2;
    return fields;
}
