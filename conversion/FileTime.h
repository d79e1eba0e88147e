// The document's last-write time as local calendar fields.
#pragma once

#include <string_view>

// Fills the six fields from the file's last-write time in local time. Returns false, and
// leaves every field as the caller gave it, when the time cannot be read.
bool GetFileLocalTime(std::string_view path, int& year, int& month, int& day, int& hour,
                      int& minute, int& second) noexcept;

// The same for a UTF-16 path, NUL-terminated, that the caller has already checked.
bool GetFileLocalTime(const wchar_t* path, int& year, int& month, int& day, int& hour, int& minute,
                      int& second) noexcept;
