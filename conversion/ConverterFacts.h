// What a converter tells of itself when asked: its family, the data folder it really reads
// its encoding maps from, and whether the ANSI map there is the one the plug-in writes from
// the system's ANSI code page.
#pragma once

#include "ConverterData.h"
#include "ConverterLaunch.h"
#include "FixedText.h"
#include "PathLimits.h"

#include <string_view>

enum class AnsiMap {
    Missing, // none there, and none could be put there: the converter cannot write ANSI
    Ours,    // the code page's map, written now or by an earlier host or `encodings`
    Other,   // a map of someone else's: the entry is what the converter makes with it
};

struct ConverterFacts {
    ConverterFamily family = ConverterFamily::Unknown;
    // The share\poppler folder the data-folder family reads; empty when it is not known.
    WideFixedText<2 * PathBufferSize + 16> dataFolder;
    AnsiMap ansi = AnsiMap::Missing;
};

// Asks the converter, run as a conversion is run and the host heard meanwhile: its version,
// then for the data-folder family which candidate folder it reads (a probe map placed in
// each in turn), where the ANSI map is then put when there is none: written whole under a
// temporary name, then moved into place, never over a map already there. `stopped` when
// the host said stop. `converter` is in the form the converter is started by.
ConverterFacts AskConverterFacts(std::wstring_view converter, const RunWatch& host, bool& stopped) noexcept;
