// The command-line host's output: readable on a console, and UTF-8 through a pipe or into
// a file, whatever the system's code page.
#pragma once

#include <windows.h>

#include <string>

std::wstring Decode(const std::string& bytes, UINT codePage);
std::string Encode(const std::wstring& text, UINT codePage);

// Writes text to standard output (or, with `error`, standard error).
void PrintWide(const std::wstring& text, bool error = false);
// Text in the system's ANSI code page, as paths and entry names come from the A calls.
void Print(const std::string& ansi, bool error = false);
// printf-style, the arguments in the ANSI code page.
void Say(const char* format, ...);
// printf-style, the format and the arguments in UTF-8.
void SayUtf8(const char* format, ...);

// The file name this tool runs under (PaperlensHost64.exe in the release's 64-bit form), in
// UTF-8, so that its usage and advice name the command the user types.
std::string ToolName();
