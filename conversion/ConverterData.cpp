#include "ConverterData.h"

namespace {

char Lower(char c) noexcept
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsSpace(char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The next word of a line, from `at` on; a word in double quotes may hold spaces.
std::string_view NextWord(std::string_view line, std::size_t& at) noexcept
{
    while (at < line.size() && IsSpace(line[at])) {
        ++at;
    }
    if (at < line.size() && line[at] == '"') {
        const std::size_t start = ++at;
        while (at < line.size() && line[at] != '"') {
            ++at;
        }
        const std::string_view word = std::string_view(line.data() + start, at - start);
        at += at < line.size();
        return word;
    }
    const std::size_t start = at;
    while (at < line.size() && !IsSpace(line[at])) {
        ++at;
    }
    return std::string_view(line.data() + start, at - start);
}

// One to eight hexadecimal digits and nothing else.
bool ParseHex(std::string_view word, std::uint32_t& value) noexcept
{
    if (word.empty() || word.size() > 8) {
        return false;
    }
    value = 0;
    for (const char c : word) {
        const char l = Lower(c);
        const int digit = c >= '0' && c <= '9' ? c - '0' : l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
        if (digit < 0) {
            return false;
        }
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return true;
}

// Characters of right-to-left scripts and the marks that embed one direction in another.
bool IsRightToLeft(std::uint32_t c) noexcept
{
    return (c >= 0x0590 && c <= 0x08FF) || (c >= 0x200E && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF) || (c >= 0x10800 && c <= 0x10FFF) ||
           (c >= 0x1E800 && c <= 0x1EFFF);
}

} // namespace

ConverterFamily ConverterFamilyOf(std::string_view versionOutput) noexcept
{
    constexpr std::string_view marker = "version ";
    for (std::size_t at = 0; at + marker.size() <= versionOutput.size(); ++at) {
        std::size_t i = 0;
        while (i < marker.size() && Lower(versionOutput[at + i]) == marker[i]) {
            ++i;
        }
        if (i < marker.size()) {
            continue;
        }
        // The first "version " decides, as it does for the host's check.
        std::size_t digit = at + marker.size();
        if (digit >= versionOutput.size() || versionOutput[digit] < '0' || versionOutput[digit] > '9') {
            return ConverterFamily::Unknown;
        }
        unsigned major = 0;
        for (; digit < versionOutput.size() && versionOutput[digit] >= '0' && versionOutput[digit] <= '9'; ++digit) {
            major = major > 100000 ? major : major * 10 + static_cast<unsigned>(versionOutput[digit] - '0');
        }
        if (major == 3 || major == 4) {
            return ConverterFamily::ConfigFileMaps;
        }
        return major == 0 || major >= 20 ? ConverterFamily::DataFolderMaps : ConverterFamily::Unknown;
    }
    return ConverterFamily::Unknown;
}

std::string_view ConfigMapFileOf(std::string_view xpdfrc, std::string_view encoding) noexcept
{
    std::string_view found;
    for (std::size_t start = 0; start < xpdfrc.size();) {
        std::size_t end = xpdfrc.find('\n', start);
        end = end == std::string_view::npos ? xpdfrc.size() : end;
        const std::string_view line = std::string_view(xpdfrc.data() + start, end - start);
        std::size_t at = 0;
        if (NextWord(line, at) == "unicodeMap" && NextWord(line, at) == encoding) {
            found = NextWord(line, at);
        }
        start = end + 1;
    }
    return found;
}

bool UnicodeMap::Parse(std::string_view text) noexcept
{
    count_ = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        end = end == std::string_view::npos ? text.size() : end;
        const std::string_view line = std::string_view(text.data() + start, end - start);
        start = end + 1;
        std::size_t at = 0;
        const std::string_view first = NextWord(line, at);
        std::string_view last = NextWord(line, at);
        std::string_view code = NextWord(line, at);
        if (first.empty() || last.empty()) {
            continue; // the converter passes over such a line too
        }
        if (code.empty()) {
            code = last;
            last = first;
        }
        Range range = {0, 0, 0, static_cast<int>(code.size() / 2)};
        if (range.size > 4 || count_ == Capacity || !ParseHex(first, range.first) || !ParseHex(last, range.last) ||
            !ParseHex(code, range.code)) {
            return false;
        }
        ranges_[count_++] = range;
    }
    return true;
}

int UnicodeMap::Map(std::uint32_t character, unsigned char (&bytes)[4]) const noexcept
{
    // The converter's own search: it takes the ranges as sorted by their first character.
    if (count_ == 0 || character < ranges_[0].first) {
        return 0;
    }
    std::size_t a = 0;
    std::size_t b = count_;
    while (b - a > 1) {
        const std::size_t m = (a + b) / 2;
        if (character >= ranges_[m].first) {
            a = m;
        } else {
            b = m;
        }
    }
    const Range& range = ranges_[a];
    if (character > range.last) {
        return 0;
    }
    std::uint32_t code = range.code + (character - range.first);
    for (int i = range.size - 1; i >= 0; --i) {
        bytes[i] = static_cast<unsigned char>(code & 0xFF);
        code >>= 8;
    }
    return range.size;
}

bool Utf8Reader::Take(unsigned char byte) noexcept
{
    if (needed_ > 0) {
        if (byte < low_ || byte > high_) {
            return false;
        }
        character_ = character_ << 6 | (byte & 0x3Fu);
        --needed_;
        low_ = 0x80;
        high_ = 0xBF;
        return true;
    }
    if (byte < 0x80) {
        character_ = byte;
        return true;
    }
    if (byte < 0xC2 || byte > 0xF4) {
        return false; // a continuation byte, an overlong lead, or beyond U+10FFFF
    }
    needed_ = byte < 0xE0 ? 1 : byte < 0xF0 ? 2 : 3;
    character_ = byte & (byte < 0xE0 ? 0x1Fu : byte < 0xF0 ? 0x0Fu : 0x07u);
    low_ = byte == 0xE0 ? 0xA0 : byte == 0xF0 ? 0x90 : 0x80;
    high_ = byte == 0xED ? 0x9F : byte == 0xF4 ? 0x8F : 0xBF;
    return true;
}

bool LayoutCheck::Take(std::uint32_t character, int size) noexcept
{
    return size == 1 && !IsRightToLeft(character);
}

namespace {

// At least `digits` digits, more where the value needs them.
void AppendHex(TextBuilder& out, std::uint32_t value, int digits) noexcept
{
    while (digits < 8 && (value >> (digits * 4)) != 0) {
        ++digits;
    }
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        out.Append(std::size_t{1}, "0123456789abcdef"[(value >> shift) & 0xF]);
    }
}

} // namespace

bool UnicodeMapLines::Add(std::uint32_t character, std::uint32_t code, int size, TextBuilder& line) noexcept
{
    const std::uint32_t span = last_ - first_;
    if (size_ == size && character == last_ + 1 && code == code_ + span + 1) {
        last_ = character;
        return false;
    }
    const bool ended = size_ != 0;
    if (ended) {
        Put(line);
    }
    first_ = last_ = character;
    code_ = code;
    size_ = size;
    return ended;
}

bool UnicodeMapLines::Finish(TextBuilder& line) noexcept
{
    if (size_ == 0) {
        return false;
    }
    Put(line);
    size_ = 0;
    return true;
}

void UnicodeMapLines::Put(TextBuilder& line) const noexcept
{
    AppendHex(line, first_, 4);
    if (last_ != first_) {
        line.Append(" ");
        AppendHex(line, last_, 4);
    }
    line.Append(" ");
    AppendHex(line, code_, size_ * 2);
    line.Append("\n");
}
