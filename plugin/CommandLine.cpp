#include "CommandLine.h"

std::string TargetPathOf(std::string_view directory, std::string_view name)
{
    std::string target;
    if (!directory.empty()) {
        target.reserve(directory.size() + 1 + name.size());
        target += directory;
        target += '\\';
    }
    target += name;
    return target;
}

std::string_view TagOf(std::string_view target) noexcept
{
    return target.size() < 6 ? std::string_view() : target.substr(target.size() - 6, 2);
}

std::string_view EncodingOptionFor(std::string_view tag) noexcept
{
    if (tag == "_a") {
        return " -enc ANSI";
    }
    if (tag == "_k") {
        return " -enc KOI8-R";
    }
    if (tag == "_u") {
        return " -enc UTF-8";
    }
    return {};
}

std::string BuildCommandLine(std::string_view converterPath, std::string_view option, std::string_view documentPath,
                             std::string_view target)
{
    // The converter's path is quoted too: unquoted, a folder with spaces would let
    // Windows try the shorter prefixes of the path (C:\Program.exe) as programs first.
    std::string line;
    line.reserve(converterPath.size() + option.size() + documentPath.size() + target.size() + 16);
    line += '"';
    line += converterPath;
    line += '"';
    line += option;
    line += " -layout \"";
    line += documentPath;
    line += "\" \"";
    line += target;
    line += '"';
    return line;
}

bool HoldsQuote(std::string_view path) noexcept
{
    return path.find('"') != std::string_view::npos;
}
