// The files one extraction deals with besides the document's time: whether a path names
// an existing file, the target left from an earlier run, and a target that is the document.
#pragma once

// A path naming an existing file, not a folder.
bool IsExistingFile(const char* path) noexcept;
bool IsExistingFile(const wchar_t* path) noexcept;

// Removes what an earlier run left at the target; true when nothing is there any more.
bool RemoveStaleTarget(const wchar_t* target) noexcept;

// Whether two paths, however spelt, name one existing file.
bool AreSameFile(const wchar_t* first, const wchar_t* second) noexcept;

// The size of an existing file in bytes; 0 when there is none.
unsigned long long FileSizeOf(const wchar_t* path) noexcept;
