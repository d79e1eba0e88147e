// One extraction: the converter run on the document, writing the entry's text to the
// target the host named, and what the host is told of it.
#pragma once

#include <string_view>

// `document` is NUL-terminated; `listedEntry` is the entry the host last listed on the
// handle (-1 for none). Answers a host result code.
int ExtractEntry(const wchar_t* document, std::wstring_view directory, std::wstring_view name,
                 int listedEntry) noexcept;
