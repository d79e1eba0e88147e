// Watches, through a loaded library's import table, the calls its gate must keep apart: a
// wait for a converter is never beside another, and no converter is created and no file
// opened while one runs. One watch at a time, since the replacements are plain functions.
#pragma once

#include "ImportPatch.h"

#include <windows.h>

class GateWatch {
public:
    struct Counts {
        int processWaits = 0;     // waits on a process handle
        int overlappingWaits = 0; // of them, begun while another was under way
        int creations = 0;        // CreateProcessW calls
        int creationsDuringWait = 0;
        int opens = 0;            // CreateFileA and CreateFileW calls
        int opensDuringWait = 0;
        // CreateProcessW calls that Wine itself failed with ERROR_INTERNAL_ERROR (1359): now
        // and then, under load, for no fault of the caller's.
        int wineInternalErrors = 0;
    };

    explicit GateWatch(HMODULE library);
    ~GateWatch();
    GateWatch(const GateWatch&) = delete;
    GateWatch& operator=(const GateWatch&) = delete;

    // False when the library does not import the four calls by name.
    bool Valid() const noexcept;
    Counts Seen() const noexcept;

private:
    struct Originals {
        Originals();
    } originals_;
    ImportPatch waits_;
    ImportPatch creations_;
    ImportPatch opens_;
    ImportPatch wideOpens_;
};
