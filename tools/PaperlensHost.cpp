// A command-line host: drives a plug-in library exactly as the file manager does, to list a
// document, extract its entries or search their text; and helps set one up.
#include "HostText.h"
#include "PluginHost.h"
#include "ResultCodes.h"
#include "SetupCommands.h"
#include "ConverterSetup.h"

#include <shellapi.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr const char* Usage =
    "usage: PaperlensHost <command> ...\n"
    "  encodings <library>\n"
    "      teach the converter named in Paperlens.ini beside <library> the encodings ANSI\n"
    "      (this system's code page) and KOI8-R, writing its map files where it reads them\n"
    "  check <library> [document]\n"
    "      say in plain words whether the setup works, and what to do when it does not;\n"
    "      with a document, extract its four entries through the library to try them\n"
    "  list <library> <document>\n"
    "      list the document's entries as the file manager sees them\n"
    "  extract [--full-path] <library> <document> <folder> [entry]\n"
    "      convert the document's entries (or only the one named [entry]) into <folder>;\n"
    "      --full-path hands the library the whole target path as the name, as some hosts do,\n"
    "      instead of the folder and the name apart\n"
    "  search <library> <document> <text>...\n"
    "      print the lines of the entries that hold any of the texts\n"
    "<library> is Paperlens.wcx for PaperlensHost.exe, Paperlens.wcx64 for PaperlensHost64.exe.\n";

constexpr UINT Koi8R = 20866;

// The code page an entry's text comes in, from the name's tag, as the host reads it.
UINT CodePageOf(const std::string& entry)
{
    const std::string encoding = EncodingOfEntry(entry);
    if (encoding == "ANSI") {
        return CP_ACP;
    }
    if (encoding == "KOI8-R") {
        return Koi8R;
    }
    return CP_UTF8; // "_u", and the converter's own default, which is UTF-8 for the usual converters
}

std::string ReadWhole(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

int List(const PluginLibrary& library, const std::string& document)
{
    const Listing listing = ListDocument(library, document);
    if (!listing.handle) {
        Say("cannot open %s: result %d, %s\n", document.c_str(), static_cast<int>(listing.requestResult),
            MeaningOfResult(listing.requestResult).c_str());
        return 1;
    }
    int faults = 0;
    if (!listing.openRecordChanges.empty()) {
        Say("the library wrote where it must not, in the open record: %s\n", listing.openRecordChanges.c_str());
        ++faults;
    }
    int count = 0;
    for (const ListedEntry& entry : listing.entries) {
        if (entry.result == ResultSuccess) {
            Say("  %-30s %s\n", entry.name.c_str(), FormatDosTime(entry.time).c_str());
            ++count;
        } else if (entry.result != ResultNoMoreEntries) {
            Say("reading the next entry failed: result %d, %s\n", entry.result, MeaningOfResult(entry.result).c_str());
            ++faults;
        }
        if (!entry.recordChanges.empty()) {
            Say("the library wrote where it must not, in the entry record: %s\n", entry.recordChanges.c_str());
            ++faults;
        }
    }
    if (listing.closeResult != ResultSuccess) {
        Say("closing failed: result %d, %s\n", listing.closeResult, MeaningOfResult(listing.closeResult).c_str());
        ++faults;
    }
    Say("%d entries\n", count);
    return faults == 0 ? 0 : 1;
}

int Extract(const PluginLibrary& library, const std::string& document, const std::string& folder,
            DestinationStyle style, const std::string& only)
{
    const std::vector<ExtractedEntry> entries = ExtractDocument(library, document, folder, style, only);
    if (entries.empty()) {
        if (only.empty()) {
            Say("cannot open %s, or it has no entries\n", document.c_str());
        } else {
            Say("%s has no entry named %s (list shows its entries)\n", document.c_str(), only.c_str());
        }
        return 1;
    }
    int failures = 0;
    for (const ExtractedEntry& entry : entries) {
        const std::string text = ReadWhole(entry.target);
        const bool written = ::GetFileAttributesA(entry.target.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (entry.result == ResultSuccess && written) {
            Say("  %-30s written, %u bytes: %s\n", entry.name.c_str(), static_cast<unsigned>(text.size()),
                entry.target.c_str());
        } else if (entry.result == ResultSuccess) {
            Say("  %-30s NOT WRITTEN, though the library answered success (run check to see why)\n",
                entry.name.c_str());
        } else {
            Say("  %-30s FAILED: result %d, %s (run check to see why)\n", entry.name.c_str(), entry.result,
                MeaningOfResult(entry.result).c_str());
        }
        failures += entry.result != ResultSuccess || !written;
    }
    return failures == 0 ? 0 : 1;
}

int Search(const PluginLibrary& library, const std::string& document, const std::vector<std::wstring>& texts)
{
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "PaperlensHost-" + std::to_string(::GetCurrentProcessId());
    if (!::CreateDirectoryA(folder.c_str(), nullptr)) {
        Print("PaperlensHost: cannot create " + folder + "\n", true);
        return 2;
    }
    int hits = 0;
    const std::vector<ExtractedEntry> entries = ExtractDocument(library, document, folder, DestinationStyle::FullPath);
    for (const ExtractedEntry& entry : entries) {
        const UINT codePage = CodePageOf(entry.name);
        const std::string content = ReadWhole(entry.target);
        ::DeleteFileA(entry.target.c_str());
        if (entry.result != ResultSuccess) {
            Say("%s: failed, result %d, %s\n", entry.name.c_str(), entry.result, MeaningOfResult(entry.result).c_str());
            continue;
        }
        std::size_t lineStart = 0;
        for (int lineNumber = 1; lineStart < content.size(); ++lineNumber) {
            const std::size_t lineEnd = std::min(content.find('\n', lineStart), content.size());
            const std::string line = content.substr(lineStart, lineEnd - lineStart);
            for (const std::wstring& text : texts) {
                const std::string needle = Encode(text, codePage);
                // A character the entry's encoding cannot hold cannot be found in it.
                if (!needle.empty() && Decode(needle, codePage) == text && line.find(needle) != std::string::npos) {
                    PrintWide(Decode(entry.name, CP_ACP) + L":" + std::to_wstring(lineNumber) + L": " +
                              Decode(line, codePage) + L"\n");
                    ++hits;
                    break;
                }
            }
            lineStart = lineEnd + 1;
        }
    }
    ::RemoveDirectoryA(folder.c_str());
    Say("%d matching lines\n", hits);
    return hits > 0 ? 0 : 1;
}

std::unique_ptr<PluginLibrary> LoadOrSay(const std::string& path)
{
    std::string error;
    auto library = PluginLibrary::Load(path, error);
    if (!library) {
        Print("PaperlensHost: cannot use " + path + ": " + error + "; PaperlensHost check " + path +
                  " tells why\n",
              true);
    }
    return library;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    const std::string command = args.empty() ? std::string() : args[0];
    if (command == "encodings" && args.size() == 2) {
        return MakeEncodings(args[1]);
    }
    if (command == "check" && (args.size() == 2 || args.size() == 3)) {
        return CheckSetup(args[1], args.size() == 3 ? args[2] : std::string());
    }
    if (command == "list" && args.size() == 3) {
        const auto library = LoadOrSay(args[1]);
        return library ? List(*library, args[2]) : 2;
    }
    if (command == "extract") {
        DestinationStyle style = DestinationStyle::DirectoryAndName;
        if (args.size() > 1 && args[1] == "--full-path") {
            style = DestinationStyle::FullPath;
            args.erase(args.begin() + 1);
        }
        if (args.size() == 4 || args.size() == 5) {
            const auto library = LoadOrSay(args[1]);
            return library ? Extract(*library, args[2], args[3], style, args.size() == 5 ? args[4] : "") : 2;
        }
    }
    if (command == "search" && args.size() >= 4) {
        // The texts come as Unicode, to be sought in each entry's own encoding.
        int count = 0;
        LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
        std::vector<std::wstring> texts;
        for (int i = 4; wide && i < count; ++i) {
            texts.push_back(wide[i]);
        }
        ::LocalFree(wide);
        const auto library = LoadOrSay(args[1]);
        return library ? Search(*library, args[2], texts) : 2;
    }
    Print(Usage, true);
    return 2;
}
