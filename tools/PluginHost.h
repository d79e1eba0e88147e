// The host's side of the plug-in contract, as the file manager plays it: load a library by
// path, resolve the entry points by plain name, lay out the records and call.
#pragma once

#include "HostRecords.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class PluginLibrary {
public:
    // Loads the library and resolves all seven ANSI entry points, and the Unicode ones where
    // it exports them; on failure returns null and says why in `error`.
    static std::unique_ptr<PluginLibrary> Load(const std::string& path, std::string& error);
    static std::unique_ptr<PluginLibrary> Load(const std::wstring& path, std::string& error);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    HMODULE Module() const noexcept { return module_; }

    OpenArchiveFunction OpenArchive = nullptr;
    ReadHeaderFunction ReadHeader = nullptr;
    ProcessFileFunction ProcessFile = nullptr;
    CloseArchiveFunction CloseArchive = nullptr;
    SetChangeVolProcFunction SetChangeVolProc = nullptr;
    SetProcessDataProcFunction SetProcessDataProc = nullptr;
    GetPackerCapsFunction GetPackerCaps = nullptr;

    // The Unicode entry points, which hosts prefer when a plug-in exports them as a set.
    OpenArchiveWFunction OpenArchiveW = nullptr;
    ReadHeaderExWFunction ReadHeaderExW = nullptr;
    ProcessFileWFunction ProcessFileW = nullptr;
    SetChangeVolProcWFunction SetChangeVolProcW = nullptr;
    SetProcessDataProcWFunction SetProcessDataProcW = nullptr;
    // Optional: null where the library does not export it.
    GetBackgroundFlagsFunction GetBackgroundFlags = nullptr;
    bool HasUnicode() const noexcept
    {
        return OpenArchiveW && ReadHeaderExW && ProcessFileW && SetChangeVolProcW && SetProcessDataProcW;
    }

private:
    static std::unique_ptr<PluginLibrary> Resolved(HMODULE module, std::string& error);
    explicit PluginLibrary(HMODULE module) noexcept : module_(module) {}
    HMODULE module_;
};

// The host's records: the plug-in's part followed by fields of the host's own. Every byte
// starts as a known pattern, so that any byte the plug-in should not touch shows if it does.
struct HostOpenRecord {
    OpenRequest request;
    unsigned char hostFields[32];
};

struct HostHeaderRecord {
    EntryHeader header;
    unsigned char hostFields[64];
};

void FillWithPattern(void* record, std::size_t size, unsigned seed) noexcept;

// Empty when `after` differs from `before` only in what OpenArchive may write (RequestResult,
// and only when it failed); otherwise a description of the first changed byte.
std::string OpenRecordChanges(const HostOpenRecord& before, const HostOpenRecord& after, bool failed);

// Empty when `after` differs from `before` only in the fields ReadHeader writes (the name
// up to its NUL only when `nameWritten`); otherwise a description of the first changed byte.
std::string HeaderRecordChanges(const HostHeaderRecord& before, const HostHeaderRecord& after, bool nameWritten);

struct ListedEntry {
    int result = 0;
    std::string name;
    std::int32_t packedSize = 0;
    std::int32_t unpackedSize = 0;
    std::uint32_t time = 0;
    std::string recordChanges; // empty when the record is as it should be
};

struct Listing {
    std::intptr_t handle = 0;
    std::int32_t requestResult = 0;
    bool requestResultWritten = false;
    std::string openRecordChanges;
    std::vector<ListedEntry> entries; // every ReadHeader call, the one that answered 10 included
    int closeResult = -1;
};

// Opens the document in `mode` and reads headers until the plug-in answers anything but 0
// (at most `maxHeaders` calls), then closes, as the host does.
Listing ListDocument(const PluginLibrary& library, const std::string& documentPath, int mode = 0,
                     int maxHeaders = 16);

// "2011-03-21 09:41:16" for a packed DOS date-time.
std::string FormatDosTime(std::uint32_t packed);

// How the host names the destination in ProcessFile: hosts do it both ways.
enum class DestinationStyle {
    FullPath,         // null directory, full path as the name
    DirectoryAndName, // directory and bare name
};

struct ExtractedEntry {
    std::string name;   // as listed
    std::string target; // where the converter was asked to write it
    int result = -1;    // ProcessFile's answer
};

// Opens the document for extraction and, after each listed entry, extracts it into
// `folder` (all entries, or only the one named `only`) and skips the others.
std::vector<ExtractedEntry> ExtractDocument(const PluginLibrary& library, const std::string& documentPath,
                                            const std::string& folder, DestinationStyle style,
                                            const std::string& only = std::string());

// The same in UTF-16, through the Unicode entry points or, as a host does with a plug-in
// that has only the ANSI ones, through those with the texts in the ANSI code page.
enum class EntryPoints { Unicode, Ansi };

struct HostOpenRecordW {
    OpenRequestW request;
    unsigned char hostFields[32];
};

// The host's record runs on past EntryTime: versions, method, attributes, a comment and
// 1024 reserved bytes.
struct HostHeaderRecordW {
    EntryHeaderExW header;
    unsigned char hostFields[1100];
};

// Empty when only EntryName (up to its NUL, when `nameWritten`), the sizes and EntryTime changed.
std::string HeaderRecordChanges(const HostHeaderRecordW& before, const HostHeaderRecordW& after, bool nameWritten);

struct ListedEntryW {
    int result = 0;
    std::wstring name;
    std::int32_t packedSize = 0;
    std::int32_t unpackedSize = 0;
    std::uint32_t time = 0;
    std::string recordChanges;
};

struct ListingW {
    std::intptr_t handle = 0;
    std::int32_t requestResult = 0;
    std::string openRecordChanges;
    std::vector<ListedEntryW> entries;
    int closeResult = -1;
};

ListingW ListDocument(const PluginLibrary& library, EntryPoints family, const std::wstring& documentPath,
                      int mode = 0, int maxHeaders = 16);

struct ExtractedEntryW {
    std::wstring name;
    std::wstring target;
    int result = -1;
};

std::vector<ExtractedEntryW> ExtractDocument(const PluginLibrary& library, EntryPoints family,
                                             const std::wstring& documentPath, const std::wstring& folder,
                                             DestinationStyle style, const std::wstring& only = std::wstring());

// A whole file by its UTF-16 path; empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);

// Between UTF-16 and a code page (CP_ACP for the ANSI entry points).
std::wstring WideFrom(const std::string& text, unsigned codePage);
std::string NarrowFrom(const std::wstring& text, unsigned codePage);
