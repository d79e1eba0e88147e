#include "HostText.h"

#include "PluginHost.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

std::wstring Decode(const std::string& bytes, UINT codePage)
{
    return WideFrom(bytes, codePage);
}

std::string Encode(const std::wstring& text, UINT codePage)
{
    return NarrowFrom(text, codePage);
}

void PrintWide(const std::wstring& text, bool error)
{
    std::FILE* stream = error ? stderr : stdout;
    std::fflush(stream);
    const HANDLE out = ::GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    DWORD written = 0;
    // A console shows Unicode whatever its code page; anything else gets UTF-8, which
    // today's terminals and editors read.
    if (::GetConsoleMode(out, &mode)) {
        ::WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    } else {
        const std::string utf8 = Encode(text, CP_UTF8);
        std::fwrite(utf8.data(), 1, utf8.size(), stream);
        std::fflush(stream);
    }
}

void Print(const std::string& ansi, bool error)
{
    PrintWide(Decode(ansi, CP_ACP), error);
}

namespace {

std::string Formatted(const char* format, std::va_list arguments)
{
    std::va_list again;
    va_copy(again, arguments);
    const int size = std::vsnprintf(nullptr, 0, format, arguments);
    std::vector<char> text(static_cast<std::size_t>(size > 0 ? size : 0) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    return text.data();
}

} // namespace

std::string ToolName()
{
    wchar_t path[32768];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, 32768);
    if (length == 0 || length >= 32768) {
        return "PaperlensHost";
    }
    const std::wstring full(path, length);
    return Encode(full.substr(full.find_last_of(L"\\/") + 1), CP_UTF8);
}

void Say(const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    const std::string text = Formatted(format, arguments);
    va_end(arguments);
    Print(text);
}

void SayUtf8(const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    const std::string text = Formatted(format, arguments);
    va_end(arguments);
    PrintWide(Decode(text, CP_UTF8));
}
