// Watches, through a loaded library's import table, its waits for converters, its converter
// starts and its file opens: which ran beside a wait, and whether each start and open was
// made with the boxes of Windows off for the calling thread. One watch at a time, since the
// replacements are plain functions.
#pragma once

#include "ImportPatch.h"

#include <windows.h>

class CallWatch {
public:
    struct Counts {
        int processWaits = 0;     // waits on a process handle
        int overlappingWaits = 0; // of them, begun while another was under way
        int creations = 0;        // CreateProcessW calls
        int creationsDuringWait = 0;
        int opens = 0;            // CreateFileA and CreateFileW calls
        int opensDuringWait = 0;
        // Starts and opens made while the calling thread's error mode let Windows show a box.
        int callsWithBoxes = 0;
        // CreateProcessW calls that Wine itself failed with ERROR_INTERNAL_ERROR (1359): now
        // and then, under load, for no fault of the caller's.
        int wineInternalErrors = 0;
    };

    explicit CallWatch(HMODULE library);
    ~CallWatch();
    CallWatch(const CallWatch&) = delete;
    CallWatch& operator=(const CallWatch&) = delete;

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
