// Fuzzes the code where text crosses into fixed fields or into the converter's command
// line, and where calendar fields are packed. Each input picks one boundary and feeds it
// arbitrary bytes; the checks are what the host and the converter rely on, and the
// sanitizers catch any access outside the buffers.
#include "CommandLine.h"
#include "ConverterPath.h"
#include "DosTime.h"
#include "EntryNames.h"
#include "FixedField.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

void Fail(const char* what)
{
    std::fprintf(stderr, "boundary check failed: %s\n", what);
    std::abort();
}

void Check(bool holds, const char* what)
{
    if (!holds) {
        Fail(what);
    }
}

constexpr unsigned char Untouched = 0xA5;

// A field of exactly `size` bytes on the heap, so that AddressSanitizer sees any byte
// written past it.
struct Field {
    explicit Field(std::size_t size) : size(size), bytes(new char[size == 0 ? 1 : size])
    {
        std::memset(bytes.get(), Untouched, size == 0 ? 1 : size);
    }
    std::size_t size;
    std::unique_ptr<char[]> bytes;
};

// The field holds `expected` cut to size-1 bytes, one NUL, and the bytes after it as they were.
void CheckField(const Field& field, std::string expected)
{
    if (field.size == 0) {
        Check(static_cast<unsigned char>(field.bytes[0]) == Untouched, "a field of size 0 was written");
        return;
    }
    expected = expected.substr(0, std::min(expected.find('\0'), field.size - 1));
    Check(std::memcmp(field.bytes.get(), expected.data(), expected.size()) == 0, "the field's text");
    Check(field.bytes[expected.size()] == '\0', "the field's NUL");
    for (std::size_t i = expected.size() + 1; i < field.size; ++i) {
        Check(static_cast<unsigned char>(field.bytes[i]) == Untouched, "a byte after the NUL was written");
    }
}

void FuzzCopyToField(FuzzedDataProvider& data)
{
    Field field(data.ConsumeIntegralInRange<std::size_t>(0, 600));
    std::vector<std::string> pieces;
    const int count = data.ConsumeIntegralInRange(0, 4);
    for (int i = 0; i < count; ++i) {
        pieces.push_back(data.ConsumeRandomLengthString(1000));
    }
    std::string whole;
    for (const std::string& piece : pieces) {
        whole += piece;
    }
    switch (count) {
    case 0: CopyToField(field.bytes.get(), field.size, {}); break;
    case 1: CopyToField(field.bytes.get(), field.size, pieces[0]); break;
    case 2: CopyToField(field.bytes.get(), field.size, {pieces[0], pieces[1]}); break;
    case 3: CopyToField(field.bytes.get(), field.size, {pieces[0], pieces[1], pieces[2]}); break;
    default: CopyToField(field.bytes.get(), field.size, {pieces[0], pieces[1], pieces[2], pieces[3]}); break;
    }
    CheckField(field, whole); // a NUL in any piece ends the text there
    CopyToField(nullptr, field.size, whole);
}

void FuzzEntryName(FuzzedDataProvider& data)
{
    Field field(data.ConsumeIntegralInRange<std::size_t>(0, 300));
    const int index = data.ConsumeIntegral<int>() % 6;
    const std::string base = data.ConsumeRemainingBytesAsString();
    WriteEntryName(field.bytes.get(), field.size, base, index);
    const char* suffixes[] = {"_a.txt", "_k.txt", "_u.txt", ".txt"};
    const std::string suffix = index >= 0 && index < 4 ? suffixes[index] : "";
    CheckField(field, base + suffix); // a NUL in the base name ends the whole name
}

void FuzzBaseName(FuzzedDataProvider& data)
{
    const std::string path = data.ConsumeRemainingBytesAsString();
    const std::string_view base = ArchiveBaseNameOf(path);
    // A view into the path itself, starting after its last slash of either kind, or after
    // a drive's colon...
    const std::size_t slash = path.find_last_of("\\/");
    const std::size_t begin = slash != std::string::npos ? slash + 1 : path.size() >= 2 && path[1] == ':' ? 2 : 0;
    Check(base.data() == path.data() + begin, "the name starts after the last separator");
    // ...and ending at the last dot of that component, or at the end when it has none.
    const std::string component = path.substr(begin);
    const std::size_t end = component.rfind('.') == std::string::npos ? component.size() : component.rfind('.');
    Check(base.size() == end, "the name ends at the last dot");
}

// How the converter's C runtime splits its command line into arguments: the program name
// runs to its closing quote with no escapes; after it, 2n backslashes before a quote give n
// and a delimiter, 2n+1 give n and a literal quote, and blanks outside quotes separate.
std::vector<std::string> SplitLikeTheRuntime(const std::string& line)
{
    std::vector<std::string> arguments;
    std::size_t at = 0;
    std::string program;
    if (at < line.size() && line[at] == '"') {
        ++at;
        while (at < line.size() && line[at] != '"') {
            program += line[at++];
        }
        if (at < line.size()) {
            ++at;
        }
    } else {
        while (at < line.size() && line[at] != ' ' && line[at] != '\t') {
            program += line[at++];
        }
    }
    arguments.push_back(program);
    for (;;) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) {
            ++at;
        }
        if (at >= line.size()) {
            return arguments;
        }
        std::string argument;
        bool quoted = false;
        while (at < line.size() && (quoted || (line[at] != ' ' && line[at] != '\t'))) {
            std::size_t slashes = 0;
            while (at < line.size() && line[at] == '\\') {
                ++slashes;
                ++at;
            }
            if (at < line.size() && line[at] == '"') {
                argument.append(slashes / 2, '\\');
                if (slashes % 2 == 1) {
                    argument += '"';
                } else if (quoted && at + 1 < line.size() && line[at + 1] == '"') {
                    argument += '"'; // "" inside quotes is one literal quote
                    ++at;
                } else {
                    quoted = !quoted;
                }
                ++at;
            } else {
                argument.append(slashes, '\\');
                if (at < line.size() && (quoted || (line[at] != ' ' && line[at] != '\t'))) {
                    argument += line[at++];
                }
            }
        }
        arguments.push_back(argument);
    }
}

// The builders take UTF-16; each input byte goes in as the character of that value, so
// quotes, backslashes, spaces and NULs arrive as they are, and the text comes back as bytes.
std::wstring Widened(const std::string& bytes)
{
    std::wstring text;
    for (const char byte : bytes) {
        text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(byte)));
    }
    return text;
}

std::string Narrowed(std::wstring_view text)
{
    std::string bytes;
    for (const wchar_t unit : text) {
        bytes.push_back(static_cast<char>(unit));
    }
    return bytes;
}

// Measures, then builds into storage of exactly that size, as the library does; a text that
// then overflows, or leaves its storage unterminated, is a fault.
template <class Build>
std::string Built(Build build)
{
    WideTextBuilder measure(nullptr, 0);
    build(measure);
    std::wstring text(measure.Size() + 1, L'#');
    WideTextBuilder builder(text.data(), text.size());
    build(builder);
    Check(!builder.Overflowed() && builder.Size() == measure.Size() && text.back() == L'\0', "a measured text fits");
    text.pop_back();
    return Narrowed(text);
}

void FuzzCommandLine(FuzzedDataProvider& data)
{
    const std::string directory = data.ConsumeRandomLengthString(300);
    const std::string name = data.ConsumeRandomLengthString(300);
    const std::string document = data.ConsumeRandomLengthString(300);
    const std::string folder = data.ConsumeRandomLengthString(100);
    const std::string setting = data.ConsumeRemainingBytesAsString();

    const std::string target =
        Built([&](WideTextBuilder& out) { AppendTargetPath(out, Widened(directory), Widened(name)); });
    Check(target == (directory.empty() ? name : directory + (directory.back() == '\\' ? "" : "\\") + name),
          "the target path");
    const std::wstring wideTarget = Widened(target);
    const std::string tag = Narrowed(TagOf(wideTarget));
    Check(target.size() < 6 ? tag.empty() : tag == std::string_view(target).substr(target.size() - 6, 2),
          "the tag is the two characters six before the end");
    const std::string_view option = EncodingOptionFor(TagOf(wideTarget));
    const std::string expectedOption = tag == "_a" ? " -enc ANSI" : tag == "_k" ? " -enc KOI8-R" : tag == "_u" ? " -enc UTF-8" : "";
    Check(option == expectedOption, "the encoding option of the tag");

    const std::string converter = folder + Narrowed(FirstWordOf(Widened(setting)));
    Check(converter == folder + setting.substr(0, setting.find(' ')), "the converter is the folder and the first word");

    const std::string line = Built([&](WideTextBuilder& out) {
        AppendCommandLine(out, Widened(converter), option, Widened(document), wideTarget);
    });
    // Lines holding a quote or a NUL are never run; every other line must reach the
    // converter as exactly these arguments.
    const bool runnable = !HoldsQuote(Widened(converter)) && !HoldsQuote(Widened(document)) &&
                          !HoldsQuote(wideTarget) && line.find('\0') == std::string::npos;
    Check(HoldsQuote(Widened(document)) == (document.find('"') != std::string::npos), "a quote is seen");
    if (!runnable) {
        return;
    }
    std::vector<std::string> expected = {converter};
    if (!option.empty()) {
        expected.push_back("-enc");
        expected.push_back(std::string(option.substr(std::strlen(" -enc "))));
    }
    expected.insert(expected.end(), {"-layout", document, target});
    if (SplitLikeTheRuntime(line) != expected) {
        std::fprintf(stderr, "line: [%s]\n", line.c_str());
        for (const std::string& argument : SplitLikeTheRuntime(line)) {
            std::fprintf(stderr, "  argument [%s]\n", argument.c_str());
        }
        Fail("the converter receives other arguments than the plug-in means");
    }
}

void FuzzDosTime(FuzzedDataProvider& data)
{
    int fields[6];
    for (int& field : fields) {
        // Mostly near the ranges, sometimes anything at all.
        field = data.ConsumeBool() ? data.ConsumeIntegralInRange(-5, 2200) : data.ConsumeIntegral<int>();
    }
    const int& day = fields[0];
    const int& month = fields[1];
    const int& year = fields[2];
    const int& hour = fields[3];
    const int& minute = fields[4];
    const int& second = fields[5];
    const std::uint32_t packed = PackDosDateTime(day, month, year, hour, minute, second);
    const CalendarFields back = UnpackDosDateTime(packed);
    // Each field lands in its own bits as the nearest value its range holds; none spills.
    Check(back.year == std::clamp(year, 1980, 2107), "year");
    Check(back.month == std::clamp(month, 1, 12), "month");
    Check(back.day == std::clamp(day, 1, 31), "day");
    Check(back.hour == std::clamp(hour, 0, 23), "hour");
    Check(back.minute == std::clamp(minute, 0, 59), "minute");
    Check(back.second == std::clamp(second, 0, 59) / 2 * 2, "second");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    switch (data.ConsumeIntegralInRange(0, 4)) {
    case 0: FuzzCopyToField(data); break;
    case 1: FuzzEntryName(data); break;
    case 2: FuzzBaseName(data); break;
    case 3: FuzzCommandLine(data); break;
    default: FuzzDosTime(data); break;
    }
    return 0;
}
