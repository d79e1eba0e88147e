// Puts a test's own function in a loaded library's import table, in place of the system
// function it imports by name, for the life of the owner: the test sees every call the
// library makes to it, on every thread.
#pragma once

#include <windows.h>

#include <string>

class ImportPatch {
public:
    // Patches `function` of `fromLibrary` (case-insensitive) in `module`'s import table.
    // Valid() is false when the module imports no such function.
    ImportPatch(HMODULE module, const char* fromLibrary, const char* function, const void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool Valid() const noexcept { return slot_ != nullptr; }

private:
    const void** slot_ = nullptr;
    const void* original_ = nullptr;
};
