// The host's setup commands: teach the configured converter the encodings the plug-in asks
// for, and explain a setup in plain words.
#pragma once

#include <string>

// Writes the ANSI and KOI8-R maps where the library's converter reads them; 0 when the
// converter then knows both.
int MakeEncodings(const std::wstring& libraryPath);

// Checks the library's settings, converter and, given a document, its four entries (given a
// folder, extracted under it); 0 only when everything works.
int CheckSetup(const std::wstring& libraryPath, const std::wstring& document, const std::wstring& folder);

// Why the entries cannot be extracted into `folder`, in plain words; empty when they can.
std::string WhyNoTargetFolder(const std::wstring& folder);
