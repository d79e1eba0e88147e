// The packed DOS date-time of the host's entry header.
#pragma once

#include <cstdint>

// Packs the calendar fields (day first, as the host's time form is usually spoken of).
// Each field is clamped into its range first, so no field ever spills into another.
std::uint32_t PackDosDateTime(const int& day, const int& month, const int& year,
                              const int& hour, const int& minute, const int& second) noexcept;

struct CalendarFields {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The inverse, for showing a packed value; seconds come back even.
CalendarFields UnpackDosDateTime(std::uint32_t packed) noexcept;
