#include "CommandLine.h"

#include "ResultCodes.h"

void AppendTargetPath(TextBuilder& out, std::string_view directory, std::string_view name) noexcept
{
    if (!directory.empty()) {
        out.Append(directory).Append("\\");
    }
    out.Append(name);
}

std::string_view TagOf(std::string_view target) noexcept
{
    return target.size() < 6 ? std::string_view() : std::string_view(target.data() + target.size() - 6, 2);
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
void AppendQuoted(TextBuilder& line, std::string_view argument) noexcept
{
    const std::size_t last = argument.find_last_not_of('\\');
    const std::size_t closing = last == std::string_view::npos ? argument.size() : argument.size() - 1 - last;
    line.Append("\"").Append(argument).Append(closing, '\\').Append("\"");
}

} // namespace

void AppendCommandLine(TextBuilder& line, std::string_view converterPath, std::string_view option,
                       std::string_view documentPath, std::string_view target) noexcept
{
    // The converter's path is quoted too: unquoted, a folder with spaces would let
    // Windows try the shorter prefixes of the path (C:\Program.exe) as programs first.
    // It is read up to its closing quote with no escapes, so it goes in as it is.
    line.Append("\"").Append(converterPath).Append("\"").Append(option).Append(" -layout ");
    AppendQuoted(line, documentPath);
    line.Append(" ");
    AppendQuoted(line, target);
}

bool HoldsQuote(std::string_view path) noexcept
{
    return path.find('"') != std::string_view::npos;
}

int ResultOfConversion(unsigned long exitCode, bool targetWritten) noexcept
{
    switch (exitCode) {
    case 0:
        return targetWritten ? ResultSuccess : ResultCannotCreateOutput;
    case 1:
    case 3:
        return ResultBadArchive;
    case 2:
        return ResultCannotCreateOutput;
    default:
        return ResultWriteError;
    }
}
