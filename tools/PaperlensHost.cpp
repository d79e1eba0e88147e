// A command-line host: drives a plug-in library exactly as the file manager does, to list a
// document, extract its entries or search their text; and helps set one up.
#include "HostText.h"
#include "PluginHost.h"
#include "ResultCodes.h"
#include "SetupCommands.h"
#include "ConverterSetup.h"

#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// After "usage: " and the name the tool runs under.
constexpr const char* Usage =
    " <command> ...\n"
    "  encodings <library>\n"
    "      teach the converter named in Paperlens.ini beside <library> the encodings ANSI\n"
    "      (this system's code page) and KOI8-R, writing its map files where it reads them\n"
    "  check <library> [document [folder]]\n"
    "      say in plain words whether the setup works, and what to do when it does not;\n"
    "      with a document, extract its four entries through the library to try them\n"
    "      (with a folder, into a folder made for the check inside it, then removed)\n"
    "  list [--ansi] <library> <document>\n"
    "      list the document's entries as the file manager sees them\n"
    "  extract [--ansi] [--full-path] <library> <document> <folder> [entry]\n"
    "      convert the document's entries (or only the one named [entry]) into <folder>;\n"
    "      --full-path hands the library the whole target path as the name, as some hosts do,\n"
    "      instead of the folder and the name apart\n"
    "  search [--ansi] <library> <document> <text>...\n"
    "      print the lines of the entries that hold any of the texts (exit code 0: found,\n"
    "      1: not found, 2: an entry could not be extracted)\n"
    "list, extract and search call the library's Unicode entry points where it has them, as the\n"
    "file manager does; --ansi calls its seven ANSI entry points instead.\n"
    "<library> is Paperlens.wcx for PaperlensHost.exe, Paperlens.wcx64 for PaperlensHost64.exe:\n"
    "a tool loads only a library of its own width.\n";

// The code page the text of the entry at `place` in the listing comes in.
UINT CodePageOf(std::size_t place)
{
    const std::string encoding = EncodingOfEntry(place);
    if (encoding == "ANSI") {
        return CP_ACP;
    }
    if (encoding == "KOI8-R") {
        return Koi8R;
    }
    return CP_UTF8; // "_u", and the converter's own default, which is UTF-8 for the usual converters
}

void SayWide(const std::wstring& text)
{
    PrintWide(text);
}

int List(const PluginLibrary& library, EntryPoints family, const std::wstring& document)
{
    const ListingW listing = ListDocument(library, family, document);
    if (!listing.handle) {
        SayWide(L"cannot open " + document + L": result " + std::to_wstring(listing.requestResult) + L", " +
                WideFrom(MeaningOfResult(listing.requestResult), CP_ACP) + L"\n");
        return 1;
    }
    int faults = 0;
    if (!listing.openRecordChanges.empty()) {
        Say("the library wrote where it must not, in the open record: %s\n", listing.openRecordChanges.c_str());
        ++faults;
    }
    int count = 0;
    for (const ListedEntryW& entry : listing.entries) {
        if (entry.result == ResultSuccess) {
            SayWide(L"  " + entry.name + std::wstring(entry.name.size() < 30 ? 30 - entry.name.size() : 0, L' ') +
                    L" " + WideFrom(FormatDosTime(entry.time), CP_ACP) + L"\n");
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

int Extract(const PluginLibrary& library, EntryPoints family, const std::wstring& document,
            const std::wstring& folder, DestinationStyle style, const std::wstring& only)
{
    const std::vector<ExtractedEntryW> entries = ExtractDocument(library, family, document, folder, style, only);
    if (entries.empty()) {
        if (only.empty()) {
            SayWide(L"cannot open " + document + L", or it has no entries\n");
        } else {
            SayWide(document + L" has no entry named " + only + L" (list shows its entries)\n");
        }
        return 1;
    }
    int failures = 0;
    for (const ExtractedEntryW& entry : entries) {
        const std::string text = ReadFileBytes(entry.target);
        const bool written = ::GetFileAttributesW(entry.target.c_str()) != INVALID_FILE_ATTRIBUTES;
        const std::wstring name = L"  " + entry.name + std::wstring(entry.name.size() < 30 ? 30 - entry.name.size() : 0, L' ');
        if (entry.result == ResultSuccess && written) {
            SayWide(name + L" written, " + std::to_wstring(text.size()) + L" bytes: " + entry.target + L"\n");
        } else if (entry.result == ResultSuccess) {
            SayWide(name + L" NOT WRITTEN, though the library answered success (run check to see why)\n");
        } else {
            SayWide(name + L" FAILED: result " + std::to_wstring(entry.result) + L", " +
                    WideFrom(MeaningOfResult(entry.result), CP_ACP) + L" (run check to see why)\n");
        }
        failures += entry.result != ResultSuccess || !written;
    }
    return failures == 0 ? 0 : 1;
}

int Search(const PluginLibrary& library, EntryPoints family, const std::wstring& document,
           const std::vector<std::wstring>& texts)
{
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"PaperlensHost-" + std::to_wstring(::GetCurrentProcessId());
    if (!::CreateDirectoryW(folder.c_str(), nullptr)) {
        PrintWide(WideFrom(ToolName(), CP_UTF8) + L": cannot create " + folder + L"\n", true);
        return 2;
    }
    int hits = 0;
    int failures = 0;
    const std::vector<ExtractedEntryW> entries =
        ExtractDocument(library, family, document, folder, DestinationStyle::FullPath);
    for (std::size_t place = 0; place < entries.size(); ++place) {
        const ExtractedEntryW& entry = entries[place];
        const UINT codePage = CodePageOf(place);
        const std::string content = ReadFileBytes(entry.target);
        ::DeleteFileW(entry.target.c_str());
        if (entry.result != ResultSuccess) {
            SayWide(entry.name + L": failed, result " + std::to_wstring(entry.result) + L", " +
                    WideFrom(MeaningOfResult(entry.result), CP_ACP) + L"\n");
            ++failures;
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
                    PrintWide(entry.name + L":" + std::to_wstring(lineNumber) + L": " +
                              Decode(line, codePage) + L"\n");
                    ++hits;
                    break;
                }
            }
            lineStart = lineEnd + 1;
        }
    }
    ::RemoveDirectoryW(folder.c_str());
    Say("%d matching lines\n", hits);
    // As grep answers: an entry that failed is no search done, whatever else matched.
    return failures > 0 ? 2 : hits > 0 ? 0 : 1;
}

std::unique_ptr<PluginLibrary> LoadOrSay(const std::wstring& path)
{
    std::string error;
    auto library = PluginLibrary::Load(path, error);
    if (!library) {
        const std::wstring tool = WideFrom(ToolName(), CP_UTF8);
        PrintWide(tool + L": cannot use " + path + L": " + WideFrom(error, CP_ACP) + L"; " + tool + L" check " + path +
                      L" tells why\n",
                  true);
    }
    return library;
}

// The family the file manager would call: the Unicode one where the library has it.
EntryPoints FamilyFor(const PluginLibrary& library, bool ansi)
{
    return !ansi && library.HasUnicode() ? EntryPoints::Unicode : EntryPoints::Ansi;
}

} // namespace

int main()
{
    // Arguments in UTF-16: paths of any name, and texts to seek in any script.
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::wstring> args;
    for (int i = 1; wide && i < count; ++i) {
        args.push_back(wide[i]);
    }
    ::LocalFree(wide);
    const std::wstring command = args.empty() ? std::wstring() : args[0];
    if (command == L"encodings" && args.size() == 2) {
        return MakeEncodings(args[1]);
    }
    if (command == L"check" && args.size() >= 2 && args.size() <= 4) {
        return CheckSetup(args[1], args.size() >= 3 ? args[2] : std::wstring(),
                          args.size() == 4 ? args[3] : std::wstring());
    }
    bool ansi = false;
    DestinationStyle style = DestinationStyle::DirectoryAndName;
    for (bool option = true; option && args.size() > 1;) {
        if (args[1] == L"--ansi") {
            ansi = true;
        } else if (args[1] == L"--full-path" && command == L"extract") {
            style = DestinationStyle::FullPath;
        } else {
            option = false;
            continue;
        }
        args.erase(args.begin() + 1);
    }
    if (command == L"list" && args.size() == 3) {
        const auto library = LoadOrSay(args[1]);
        return library ? List(*library, FamilyFor(*library, ansi), args[2]) : 2;
    }
    if (command == L"extract" && (args.size() == 4 || args.size() == 5)) {
        // Said once here: the library would answer 16 for each entry, with no word why.
        const std::string why = WhyNoTargetFolder(args[3]);
        if (!why.empty()) {
            SayUtf8("cannot extract: %s\n", why.c_str());
            return 1;
        }
        const auto library = LoadOrSay(args[1]);
        return library ? Extract(*library, FamilyFor(*library, ansi), args[2], args[3], style,
                                 args.size() == 5 ? args[4] : std::wstring())
                       : 2;
    }
    if (command == L"search" && args.size() >= 4) {
        const std::vector<std::wstring> texts(args.begin() + 3, args.end());
        const auto library = LoadOrSay(args[1]);
        return library ? Search(*library, FamilyFor(*library, ansi), args[2], texts) : 2;
    }
    PrintWide(L"usage: " + WideFrom(ToolName(), CP_UTF8) + WideFrom(Usage, CP_UTF8), true);
    return 2;
}
