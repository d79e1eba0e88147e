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

namespace {

// The converter's runtime reads 2n backslashes before a quote as n backslashes and the
// quote as the argument's end, but 2n+1 as n and a literal quote, which would run the
// argument into the next and leave the rest of the line unquoted. So a path's closing
// backslashes are doubled; those inside it need nothing.
void AppendQuoted(std::string& line, std::string_view argument)
{
    const std::size_t last = argument.find_last_not_of('\\');
    const std::size_t closing = last == std::string_view::npos ? argument.size() : argument.size() - 1 - last;
    line += '"';
    line += argument;
    line.append(closing, '\\');
    line += '"';
}

} // namespace

std::string BuildCommandLine(std::string_view converterPath, std::string_view option, std::string_view documentPath,
                             std::string_view target)
{
    // The converter's path is quoted too: unquoted, a folder with spaces would let
    // Windows try the shorter prefixes of the path (C:\Program.exe) as programs first.
    // It is read up to its closing quote with no escapes, so it goes in as it is.
    std::string line;
    line.reserve(converterPath.size() + option.size() + 2 * documentPath.size() + 2 * target.size() + 16);
    line += '"';
    line += converterPath;
    line += '"';
    line += option;
    line += " -layout ";
    AppendQuoted(line, documentPath);
    line += ' ';
    AppendQuoted(line, target);
    return line;
}

bool HoldsQuote(std::string_view path) noexcept
{
    return path.find('"') != std::string_view::npos;
}
