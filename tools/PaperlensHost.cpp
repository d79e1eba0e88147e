// A command-line host: drives a plug-in library exactly as the file manager does, to list a
// document, extract its entries, or search their text.
#include "PluginHost.h"
#include "ResultCodes.h"
#include "UniqueHandle.h"

#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// One line, so that a check of an installation can tell the tool runs at a glance.
constexpr const char* Usage =
    "usage: PaperlensHost list <library> <document> | extract [--full-path] <library> <document> <folder> [entry]"
    " | search <library> <document> <text>...";

constexpr UINT Koi8R = 20866;

void PrintUtf8(const std::string& utf8)
{
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (::GetConsoleMode(out, &mode)) {
        const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(size), L'\0');
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
        DWORD written = 0;
        ::WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    }
}

std::string Encode(const std::wstring& text, UINT codePage)
{
    const int size = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                          nullptr);
    return bytes;
}

std::wstring Decode(const std::string& bytes, UINT codePage)
{
    const int size = ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
    return text;
}

// The code page an entry's text comes in, from the name's tag, as the host reads it.
UINT CodePageOf(const std::string& entry)
{
    const std::string tag = entry.size() >= 6 ? entry.substr(entry.size() - 6, 2) : std::string();
    if (tag == "_a") {
        return CP_ACP;
    }
    if (tag == "_k") {
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
    std::printf("GetPackerCaps: %d\n", library.GetPackerCaps());
    const Listing listing = ListDocument(library, document);
    std::printf("OpenArchive: handle %lld", static_cast<long long>(listing.handle));
    if (listing.requestResultWritten) {
        std::printf(", result %d", static_cast<int>(listing.requestResult));
    }
    std::printf("\n");
    int faults = listing.openRecordChanges.empty() ? 0 : 1;
    if (faults) {
        std::printf("  open record: %s\n", listing.openRecordChanges.c_str());
    }
    for (const ListedEntry& entry : listing.entries) {
        if (entry.result == ResultSuccess) {
            std::printf("ReadHeader: %d  %-30s packed %d unpacked %d time 0x%08X (%s)\n", entry.result,
                        entry.name.c_str(), static_cast<int>(entry.packedSize), static_cast<int>(entry.unpackedSize),
                        static_cast<unsigned>(entry.time), FormatDosTime(entry.time).c_str());
        } else {
            std::printf("ReadHeader: %d\n", entry.result);
        }
        if (!entry.recordChanges.empty()) {
            std::printf("  header record: %s\n", entry.recordChanges.c_str());
            ++faults;
        }
    }
    if (listing.handle) {
        std::printf("CloseArchive: %d\n", listing.closeResult);
    }
    return listing.handle && faults == 0 ? 0 : 1;
}

int Extract(const PluginLibrary& library, const std::string& document, const std::string& folder,
            DestinationStyle style, const std::string& only)
{
    const std::vector<ExtractedEntry> entries = ExtractDocument(library, document, folder, style, only);
    int failures = entries.empty() ? 1 : 0;
    for (const ExtractedEntry& entry : entries) {
        const DWORD attributes = ::GetFileAttributesA(entry.target.c_str());
        const bool written = attributes != INVALID_FILE_ATTRIBUTES;
        std::printf("ProcessFile: %d  %-30s -> %s%s\n", entry.result, entry.name.c_str(), entry.target.c_str(),
                    written ? "" : "  (not written)");
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
        std::fprintf(stderr, "PaperlensHost: cannot create %s\n", folder.c_str());
        return 2;
    }
    int hits = 0;
    const std::vector<ExtractedEntry> entries = ExtractDocument(library, document, folder, DestinationStyle::FullPath);
    for (const ExtractedEntry& entry : entries) {
        const UINT codePage = CodePageOf(entry.name);
        const std::string content = ReadWhole(entry.target);
        ::DeleteFileA(entry.target.c_str());
        if (entry.result != ResultSuccess) {
            std::printf("%s: ProcessFile answered %d\n", entry.name.c_str(), entry.result);
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
                    PrintUtf8(entry.name + ":" + std::to_string(lineNumber) + ": " +
                              Encode(Decode(line, codePage), CP_UTF8) + "\n");
                    ++hits;
                    break;
                }
            }
            lineStart = lineEnd + 1;
        }
    }
    ::RemoveDirectoryA(folder.c_str());
    std::printf("%d matching lines\n", hits);
    return hits > 0 ? 0 : 1;
}

std::unique_ptr<PluginLibrary> LoadOrSay(const char* path)
{
    std::string error;
    auto library = PluginLibrary::Load(path, error);
    if (!library) {
        std::fprintf(stderr, "PaperlensHost: cannot use %s: %s\n", path, error.c_str());
    }
    return library;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    const std::string command = args.empty() ? std::string() : args[0];
    if (command == "list" && args.size() == 3) {
        const auto library = LoadOrSay(argv[2]);
        return library ? List(*library, args[2]) : 2;
    }
    if (command == "extract") {
        DestinationStyle style = DestinationStyle::DirectoryAndName;
        if (args.size() > 1 && args[1] == "--full-path") {
            style = DestinationStyle::FullPath;
            args.erase(args.begin() + 1);
        }
        if (args.size() == 4 || args.size() == 5) {
            const auto library = LoadOrSay(args[1].c_str());
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
        const auto library = LoadOrSay(argv[2]);
        return library ? Search(*library, args[2], texts) : 2;
    }
    std::fprintf(stderr, "%s\n", Usage);
    return 2;
}
