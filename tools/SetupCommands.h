// The host's setup commands: teach the configured converter the encodings the plug-in asks
// for, and explain a setup in plain words.
#pragma once

#include <string>

// Writes the ANSI and KOI8-R maps where the library's converter reads them; 0 when the
// converter then knows both.
int MakeEncodings(const std::wstring& libraryPath);

// Checks the library's settings, converter and, given a document, its four entries; 0 only
// when everything works.
int CheckSetup(const std::wstring& libraryPath, const std::wstring& document);
