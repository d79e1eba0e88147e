#include "CommandLine.h"

#include "PathLimits.h"
#include "ResultCodes.h"

namespace {

template <class Char>
void AppendTarget(BasicTextBuilder<Char>& out, std::basic_string_view<Char> directory,
                  std::basic_string_view<Char> name) noexcept
{
    // One separator: a \\?\ path takes a doubled one literally, and names no file then.
    if (!directory.empty()) {
        out.Append(directory).Append(directory.back() == Char('\\') ? 0 : 1, Char('\\'));
    }
    out.Append(name);
}

template <class Char>
std::basic_string_view<Char> TagIn(std::basic_string_view<Char> target) noexcept
{
    return target.size() < 6 ? std::basic_string_view<Char>()
                             : std::basic_string_view<Char>(target.data() + target.size() - 6, 2);
}

template <class Char>
std::string_view OptionFor(std::basic_string_view<Char> tag) noexcept
{
    if (tag.size() != 2 || tag[0] != Char('_')) {
        return {};
    }
    switch (tag[1]) {
    case Char('a'):
        return " -enc ANSI";
    case Char('k'):
        return " -enc KOI8-R";
    case Char('u'):
        return " -enc UTF-8";
    default:
        return {};
    }
}

// The converter's runtime reads 2n backslashes before a quote as n backslashes and the
// quote as the argument's end, but 2n+1 as n and a literal quote, which would run the
// argument into the next and leave the rest of the line unquoted. So a path's closing
// backslashes are doubled; those inside it need nothing.
template <class Char>
void AppendQuoted(BasicTextBuilder<Char>& line, std::basic_string_view<Char> argument) noexcept
{
    const std::size_t last = argument.find_last_not_of(Char('\\'));
    const std::size_t closing = last == std::basic_string_view<Char>::npos ? argument.size() : argument.size() - 1 - last;
    line.Append(1, Char('"')).Append(argument).Append(closing, Char('\\')).Append(1, Char('"'));
}

template <class Char>
void AppendLine(BasicTextBuilder<Char>& line, std::basic_string_view<Char> converterPath, std::string_view option,
                std::basic_string_view<Char> documentPath, std::basic_string_view<Char> target) noexcept
{
    // The converter's path is quoted too: unquoted, a folder with spaces would let
    // Windows try the shorter prefixes of the path (C:\Program.exe) as programs first.
    // It is read up to its closing quote with no escapes, so it goes in as it is.
    line.Append(1, Char('"')).Append(converterPath).Append(1, Char('"'));
    line.Append(option).Append(std::string_view(" -layout "));
    AppendQuoted(line, documentPath);
    line.Append(1, Char(' '));
    AppendQuoted(line, target);
}

} // namespace

void AppendTargetPath(WideTextBuilder& out, std::wstring_view directory, std::wstring_view name) noexcept
{
    AppendTarget(out, directory, name);
}

std::wstring_view TagOf(std::wstring_view target) noexcept
{
    return TagIn(target);
}

std::string_view EncodingOptionFor(std::wstring_view tag) noexcept
{
    return OptionFor(tag);
}

std::string_view EncodingOptionOf(int listedEntry, std::wstring_view target) noexcept
{
    constexpr std::string_view tags[] = {"_a", "_k", "_u"};
    if (listedEntry < 0) {
        return OptionFor(TagIn(target));
    }
    return listedEntry < 3 ? OptionFor(tags[listedEntry]) : std::string_view();
}

void AppendCommandLine(WideTextBuilder& out, std::wstring_view converterPath, std::string_view option,
                       std::wstring_view documentPath, std::wstring_view target) noexcept
{
    AppendLine(out, converterPath, option, documentPath, target);
}

bool HoldsQuote(std::wstring_view path) noexcept
{
    return path.find(L'"') != std::wstring_view::npos;
}

bool HoldsInterpreterCharacter(std::wstring_view text) noexcept
{
    return text.find_first_of(L"%!^&|<>") != std::wstring_view::npos;
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

std::wstring_view FolderOf(std::wstring_view path) noexcept
{
    const auto separator = path.find_last_of(L"\\/");
    if (separator != std::wstring_view::npos) {
        // A drive's root keeps its backslash, after a \\?\ prefix too.
        const std::size_t drive = LongPathPrefixSize(path);
        const bool root = separator == drive + 2 && path[drive + 1] == L':';
        return std::wstring_view(path.data(), root ? separator + 1 : separator);
    }
    return path.size() >= 2 && path[1] == L':' ? std::wstring_view(path.data(), 2) : std::wstring_view();
}

namespace {

template <class Char>
void AppendDecimal(BasicTextBuilder<Char>& out, unsigned long value) noexcept
{
    Char digits[20];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<Char>(Char('0') + value % 10);
        value /= 10;
    } while (value != 0);
    while (count != 0) {
        out.Append(1, digits[--count]);
    }
}

constexpr std::wstring_view TemporaryPrefix = L"~paperlens-";

// Compared unit by unit: the library imports no comparison from the C runtime.
bool SameText(std::wstring_view a, std::wstring_view b) noexcept
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) {
            return false;
        }
    }
    return true;
}

// Reads decimal digits at `at`, at most `limit` of them; false when there are none.
bool ReadDecimal(std::wstring_view text, std::size_t& at, std::size_t limit, unsigned long long& value) noexcept
{
    const std::size_t start = at;
    value = 0;
    while (at < text.size() && at - start < limit && text[at] >= L'0' && text[at] <= L'9') {
        value = value * 10 + static_cast<unsigned long long>(text[at++] - L'0');
    }
    return at != start;
}

void AppendHex8(WideTextBuilder& out, std::uint32_t value) noexcept
{
    for (int shift = 28; shift >= 0; shift -= 4) {
        out.Append(1, L"0123456789abcdef"[(value >> shift) & 0xF]);
    }
}

// Exactly eight hexadecimal digits, as AppendHex8 writes them.
bool ReadHex8(std::wstring_view text, std::size_t& at, std::uint32_t& value) noexcept
{
    value = 0;
    for (int i = 0; i < 8; ++i, ++at) {
        const wchar_t c = at < text.size() ? text[at] : L'\0';
        const int digit = c >= L'0' && c <= L'9' ? c - L'0' : c >= L'a' && c <= L'f' ? c - L'a' + 10 : -1;
        if (digit < 0) {
            return false;
        }
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return true;
}

} // namespace

void AppendInFolder(WideTextBuilder& out, std::wstring_view folder, std::wstring_view name) noexcept
{
    if (!folder.empty()) {
        out.Append(folder);
        if (folder.back() != L'\\' && folder.back() != L'/' && folder.back() != L':') {
            out.Append(1, L'\\');
        }
    }
    out.Append(name);
}

bool OwnerOfTemporaryName(std::wstring_view name, TemporaryOwner& owner) noexcept
{
    std::size_t at = TemporaryPrefix.size();
    std::uint32_t machine = 0;
    unsigned long long id = 0;
    std::uint32_t copy = 0;
    unsigned long long number = 0;
    const auto dash = [&] { return at < name.size() && name[at++] == L'-'; };
    if (name.size() <= at || !SameText(std::wstring_view(name.data(), at), TemporaryPrefix) ||
        !ReadHex8(name, at, machine) || !dash() || !ReadDecimal(name, at, 10, id) || id > 0xFFFFFFFFull || !dash() ||
        !ReadHex8(name, at, copy) || !dash() || !ReadDecimal(name, at, 10, number) || number > 0xFFFFFFFFull) {
        return false;
    }
    const std::wstring_view rest(name.data() + at, name.size() - at);
    owner = {machine, static_cast<unsigned long>(id), copy};
    return SameText(rest, L".pdf") || SameText(rest, L".txt") || SameText(rest, L".map");
}

std::uint32_t MachineTokenOf(std::wstring_view computerName) noexcept
{
    std::uint32_t hash = 2166136261u;
    for (wchar_t c : computerName) {
        const wchar_t upper = c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
        hash = (hash ^ static_cast<std::uint32_t>(upper)) * 16777619u;
    }
    return hash;
}

void AppendTemporaryPattern(WideTextBuilder& out, std::wstring_view folder) noexcept
{
    AppendInFolder(out, folder, TemporaryPrefix);
    out.Append(1, L'*');
}

void AppendTemporaryName(WideTextBuilder& out, std::wstring_view folder, const TemporaryOwner& owner,
                         unsigned long number, std::wstring_view extension) noexcept
{
    AppendInFolder(out, folder, TemporaryPrefix);
    AppendHex8(out, owner.machine);
    out.Append(1, L'-');
    AppendDecimal(out, owner.process);
    out.Append(1, L'-');
    AppendHex8(out, owner.copy);
    out.Append(1, L'-');
    AppendDecimal(out, number);
    out.Append(extension);
}

void AppendPageRange(TextBuilder& out, unsigned long first, unsigned long last) noexcept
{
    out.Append(std::string_view(" -f "));
    AppendDecimal(out, first);
    out.Append(std::string_view(" -l "));
    AppendDecimal(out, last);
}
