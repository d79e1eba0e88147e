// An entry written from the converter's UTF-8 text of the document, as the converter itself
// would have written it with the entry's encoding, so that one run serves all four entries.
#pragma once

#include "ConverterData.h"
#include "ConverterFacts.h"
#include "HeapText.h"

#include <string_view>

// How an entry's bytes come from the UTF-8 text.
struct EntryEncoding {
    enum Kind { Utf8, CodePage, Map } kind = Utf8;
    unsigned codePage = 0;         // CodePage: each character it holds exactly, the rest left out
    const UnicodeMap* map = nullptr; // Map: the converter's own map
};

enum class EntryWrite {
    Written,
    PagesNotDerived, // some pages cannot be: the converter has to write those, named in `underived`
    NotDerived,      // the text cannot be turned into this entry: the converter has to write it itself
    NotWritten,      // the target cannot be written
    Stopped,         // the host said stop; nothing was written
};

// Asked between pieces while an entry is written: false stops the writing.
struct WriteWatch {
    bool (*keepGoing)(void* context) = nullptr;
    void* context = nullptr;
};

// The converter's own text of pages first..last in the entry's encoding, written by a run of
// those pages alone, to take the place of the same pages of the UTF-8 text.
struct PageRun {
    unsigned long first = 0;
    unsigned long last = 0;
    const wchar_t* path = nullptr;
};

// Streams the text at `text` through fixed buffers into a file beside `target`, moved onto the
// target once whole; with `pages`, those pages are the run's, taken only when they hold the
// same text, spaces and line ends apart. A page it cannot write from the text outside them
// stops the writing; the text is read to its end for the pages in `underived`.
EntryWrite WriteEntryFromText(const wchar_t* text, const wchar_t* target, const EntryEncoding& encoding,
                              const PageRun* pages, UnderivedPages& underived, const WriteWatch& watch) noexcept;

enum class MapFound { Yes, None, Unusable };

// The map of `encoding` the converter reads: for the data-folder family in the data folder it
// told (`facts`), for the config-file family the file its xpdfrc (beside it) names. None when
// it has none; Unusable when one is there that cannot be read as the converter reads it, or
// where the converter reads it is not known.
MapFound ReadConverterMap(const ConverterFacts& facts, std::wstring_view converter, std::string_view encoding,
                          UnicodeMap& map) noexcept;

// A file of settings size read whole, NUL-terminated; `missing` when there is none.
bool ReadSmallFile(const wchar_t* path, HeapText& content, bool& missing) noexcept;

// Holds the converter's finished text open so that Windows removes the file when the handle
// closes, whether the archive closes or the host ends; null (and the file gone) when the text
// is not whole: the converter ends every text with its last page's form feed, and one cut
// short (a full disk, with exit code 0 all the same) must not pass for the document's text.
void* HoldWholeText(const wchar_t* path) noexcept;
// Closes a handle HoldWholeText gave, and so removes its file; null is fine.
void ReleaseHeldText(void* handle) noexcept;

// The user's temporary folder in a form the converter can open; false when it has none.
bool TemporaryFolderForm(WideHeapText& form) noexcept;
