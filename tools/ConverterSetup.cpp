#include "ConverterSetup.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

std::string Lowered(std::string_view text)
{
    std::string lowered(text);
    for (char& c : lowered) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lowered;
}

// The words of a line, so that "unicodeMap  ANSI x" and "unicodeMap ANSI x" count as one.
std::string Normalized(std::string_view line)
{
    std::string words;
    bool space = false;
    for (const char c : line) {
        if (c == ' ' || c == '\t' || c == '\r') {
            space = !words.empty();
        } else {
            if (space) {
                words += ' ';
            }
            words += c;
            space = false;
        }
    }
    return words;
}

} // namespace

std::string FolderOf(std::string_view path)
{
    const std::size_t slash = path.rfind('\\');
    return std::string(slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1));
}

std::string ConverterPathFor(std::string_view libraryPath, std::string_view setting)
{
    return FolderOf(libraryPath) + std::string(setting.substr(0, setting.find(' ')));
}

ConverterFamily ConverterFamilyOf(std::string_view versionOutput)
{
    const std::string text = Lowered(versionOutput);
    // Poppler's output credits Xpdf's maker too, so Poppler is asked first.
    if (text.find("poppler") != std::string::npos) {
        return ConverterFamily::Poppler;
    }
    if (text.find("xpdf") != std::string::npos || text.find("glyph & cog") != std::string::npos) {
        return ConverterFamily::Xpdf;
    }
    return ConverterFamily::Unknown;
}

std::string VersionLineOf(std::string_view versionOutput)
{
    std::string first;
    std::size_t start = 0;
    while (start < versionOutput.size()) {
        const std::size_t end = std::min(versionOutput.find('\n', start), versionOutput.size());
        std::string line = Normalized(versionOutput.substr(start, end - start));
        if (Lowered(line).find("version") != std::string::npos) {
            return line;
        }
        if (first.empty()) {
            first = line;
        }
        start = end + 1;
    }
    return first;
}

std::string PopplerMapFolderFor(std::string_view converterPath)
{
    std::string folder = FolderOf(converterPath);
    const std::string_view inner = std::string_view(folder).substr(0, folder.empty() ? 0 : folder.size() - 1);
    const std::string last(inner.substr(inner.rfind('\\') == std::string_view::npos ? 0 : inner.rfind('\\') + 1));
    if (Lowered(last) == "bin") {
        folder = FolderOf(inner);
    }
    return folder + "share\\poppler\\unicodeMap";
}

std::string UnicodeMapText(const std::vector<CharacterByte>& characters)
{
    std::string text;
    char line[32];
    for (std::size_t first = 0; first < characters.size();) {
        std::size_t last = first;
        while (last + 1 < characters.size() && characters[last + 1].first == characters[last].first + 1 &&
               characters[last + 1].second == characters[last].second + 1) {
            ++last;
        }
        if (last == first) {
            std::snprintf(line, sizeof line, "%04x %02x\n", characters[first].first, characters[first].second);
        } else {
            std::snprintf(line, sizeof line, "%04x %04x %02x\n", characters[first].first, characters[last].first,
                          characters[first].second);
        }
        text += line;
        first = last + 1;
    }
    return text;
}

std::string XpdfrcWith(std::string_view existing, const std::vector<std::string>& lines)
{
    // CRLF, a Windows file's line end, unless the file already ends its lines with LF alone.
    const bool crlf = existing.find('\n') == std::string_view::npos || existing.find("\r\n") != std::string_view::npos;
    std::vector<std::string> present;
    for (std::size_t start = 0; start < existing.size();) {
        const std::size_t end = std::min(existing.find('\n', start), existing.size());
        present.push_back(Normalized(existing.substr(start, end - start)));
        start = end + 1;
    }
    std::string text(existing);
    if (!text.empty() && text.back() != '\n') {
        text += crlf ? "\r\n" : "\n";
    }
    for (const std::string& line : lines) {
        const std::string words = Normalized(line);
        bool found = false;
        for (const std::string& have : present) {
            found = found || have == words;
        }
        if (!found) {
            text += line + (crlf ? "\r\n" : "\n");
            present.push_back(words);
        }
    }
    return text;
}

std::string MeaningOfResult(int result)
{
    switch (result) {
    case 0:
        return "success";
    case 10:
        return "no more entries";
    case 13:
        return "the archive is bad: the converter could not open or read the document";
    case 15:
        return "the archive cannot be opened";
    case 16:
        return "the output file cannot be created: no converter ran, or it could not write the file";
    case 19:
        return "write error: the converter failed";
    case 24:
        return "not supported";
    default:
        return "a code the host does not know";
    }
}
