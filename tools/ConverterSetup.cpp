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

std::string DataFolderCandidateFor(std::string_view converterPath, int level)
{
    TextBuilder measure(nullptr, 0);
    if (!AppendDataFolder(measure, converterPath, level)) {
        return std::string();
    }
    std::string folder(measure.Size() + 1, '\0');
    TextBuilder out(folder.data(), folder.size());
    AppendDataFolder(out, converterPath, level);
    folder.resize(measure.Size());
    return folder;
}

std::string UnicodeMapText(const std::vector<CharacterCode>& characters)
{
    std::string text;
    UnicodeMapLines lines;
    char line[32];
    const auto taken = [&](TextBuilder& out) { text.append(out.Text()); };
    for (const CharacterCode& c : characters) {
        TextBuilder out(line, sizeof line);
        if (lines.Add(c.character, c.code, c.size, out)) {
            taken(out);
        }
    }
    TextBuilder out(line, sizeof line);
    if (lines.Finish(out)) {
        taken(out);
    }
    return text;
}

std::string ConfigFileWith(std::string_view existing, const std::vector<std::string>& lines)
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
    case 21:
        return "aborted by the user: the converter was ended and its unfinished text removed";
    case 24:
        return "not supported";
    default:
        return "a code the host does not know";
    }
}

std::string MeaningOfConverterExit(unsigned long exitCode)
{
    switch (exitCode) {
    case 0:
        return "no error";
    case 1:
        return "it could not open the document";
    case 2:
        return "it could not open the output file";
    case 3:
        return "it is not permitted to read the document (a password?)";
    case 99:
        return "another error, such as an encoding it does not know";
    default:
        return "an exit code the usual converters do not give";
    }
}

std::string EncodingOfEntry(std::size_t place)
{
    return place == 0 ? "ANSI" : place == 1 ? "KOI8-R" : place == 2 ? "UTF-8" : "";
}

std::string ProbeDocument()
{
    const std::string text = "BT /F1 12 Tf 10 20 Td (Paperlens) Tj ET";
    const std::string stream = "<< /Length " + std::to_string(text.size()) + " >>\nstream\n" + text + "\nendstream";
    const std::string objects[] = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 50] /Contents 4 0 R"
        " /Resources << /Font << /F1 5 0 R >> >> >>",
        stream,
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    };
    std::string document = "%PDF-1.4\n";
    std::string table = "xref\n0 6\n0000000000 65535 f \n";
    char entry[24];
    int number = 1;
    for (const std::string& object : objects) {
        std::snprintf(entry, sizeof entry, "%010u 00000 n \n", static_cast<unsigned>(document.size()));
        table += entry;
        document += std::to_string(number++) + " 0 obj\n" + object + "\nendobj\n";
    }
    const std::size_t tableAt = document.size();
    return document + table + "trailer\n<< /Size 6 /Root 1 0 R >>\nstartxref\n" + std::to_string(tableAt) +
           "\n%%EOF\n";
}

ImageKind ImageKindOf(std::string_view head)
{
    const auto at = [&](std::size_t offset, std::size_t size) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            value |= static_cast<std::uint32_t>(static_cast<unsigned char>(head[offset + i])) << (8 * i);
        }
        return value;
    };
    if (head.size() < 0x40 || head.substr(0, 2) != "MZ") {
        return ImageKind::NotAProgram;
    }
    const std::size_t pe = at(0x3C, 4);
    if (pe > head.size() || head.size() - pe < 6 || head.substr(pe, 4) != std::string_view("PE\0\0", 4)) {
        return ImageKind::NotAProgram;
    }
    switch (at(pe + 4, 2)) {
    case 0x014C:
        return ImageKind::Width32;
    case 0x8664:
        return ImageKind::Width64;
    default:
        return ImageKind::OtherMachine;
    }
}

const std::vector<std::string>& UsualConverterPlaces()
{
    // Poppler 25.x for 64-bit Windows unpacks as Library\bin, Poppler 0.51 as bin.
    static const std::vector<std::string> places = {
        "poppler\\Library\\bin\\pdftotext.exe", "poppler\\bin\\pdftotext.exe",
        "poppler-*\\Library\\bin\\pdftotext.exe", "poppler-*\\bin\\pdftotext.exe", "pdftotext.exe",
    };
    return places;
}

std::string SettingLineFor(std::string_view relative)
{
    return relative.empty() || relative.find(' ') != std::string_view::npos ? std::string()
                                                                            : "PDF=" + std::string(relative);
}
