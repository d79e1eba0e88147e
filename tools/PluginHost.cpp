#include "PluginHost.h"

#include "DosTime.h"
#include "ResultCodes.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

template <class Function>
bool Resolve(HMODULE module, const char* name, Function& function, std::string& error)
{
    // The host resolves by plain name; a decorated or missing name is a library it cannot use.
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    if (!function) {
        error = std::string("the library does not export ") + name;
        return false;
    }
    return true;
}

std::string FirstChange(const unsigned char* before, const unsigned char* after, std::size_t size,
                        std::size_t allowedBegin[], std::size_t allowedEnd[], std::size_t allowedCount)
{
    for (std::size_t offset = 0; offset < size; ++offset) {
        bool allowed = false;
        for (std::size_t i = 0; i < allowedCount; ++i) {
            allowed = allowed || (offset >= allowedBegin[i] && offset < allowedEnd[i]);
        }
        if (!allowed && before[offset] != after[offset]) {
            char text[96];
            std::snprintf(text, sizeof text, "byte at offset %u changed from 0x%02X to 0x%02X",
                          static_cast<unsigned>(offset), before[offset], after[offset]);
            return text;
        }
    }
    return {};
}

} // namespace

std::unique_ptr<PluginLibrary> PluginLibrary::Load(const std::string& path, std::string& error)
{
    HMODULE module = ::LoadLibraryA(path.c_str());
    if (!module) {
        error = "LoadLibraryA failed with error " + std::to_string(::GetLastError());
        return nullptr;
    }
    return Resolved(module, error);
}

std::unique_ptr<PluginLibrary> PluginLibrary::Load(const std::wstring& path, std::string& error)
{
    HMODULE module = ::LoadLibraryW(path.c_str());
    if (!module) {
        error = "LoadLibraryW failed with error " + std::to_string(::GetLastError());
        return nullptr;
    }
    return Resolved(module, error);
}

std::unique_ptr<PluginLibrary> PluginLibrary::Resolved(HMODULE module, std::string& error)
{
    std::unique_ptr<PluginLibrary> library(new PluginLibrary(module));
    if (!Resolve(module, "OpenArchive", library->OpenArchive, error) ||
        !Resolve(module, "ReadHeader", library->ReadHeader, error) ||
        !Resolve(module, "ProcessFile", library->ProcessFile, error) ||
        !Resolve(module, "CloseArchive", library->CloseArchive, error) ||
        !Resolve(module, "SetChangeVolProc", library->SetChangeVolProc, error) ||
        !Resolve(module, "SetProcessDataProc", library->SetProcessDataProc, error) ||
        !Resolve(module, "GetPackerCaps", library->GetPackerCaps, error)) {
        return nullptr;
    }
    std::string absent; // the Unicode set is optional
    Resolve(module, "OpenArchiveW", library->OpenArchiveW, absent);
    Resolve(module, "ReadHeaderExW", library->ReadHeaderExW, absent);
    Resolve(module, "ProcessFileW", library->ProcessFileW, absent);
    Resolve(module, "SetChangeVolProcW", library->SetChangeVolProcW, absent);
    Resolve(module, "SetProcessDataProcW", library->SetProcessDataProcW, absent);
    Resolve(module, "GetBackgroundFlags", library->GetBackgroundFlags, absent);
    return library;
}

PluginLibrary::~PluginLibrary()
{
    ::FreeLibrary(module_);
}

void FillWithPattern(void* record, std::size_t size, unsigned seed) noexcept
{
    auto* bytes = static_cast<unsigned char*>(record);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<unsigned char>((i * 151u + seed * 29u + 0x5Bu) | 1u); // never NUL
    }
}

std::string OpenRecordChanges(const HostOpenRecord& before, const HostOpenRecord& after, bool failed)
{
    constexpr std::size_t resultAt = offsetof(OpenRequest, RequestResult);
    std::size_t begin[] = {resultAt};
    std::size_t end[] = {failed ? resultAt + sizeof(std::int32_t) : resultAt};
    return FirstChange(reinterpret_cast<const unsigned char*>(&before), reinterpret_cast<const unsigned char*>(&after),
                       sizeof before, begin, end, 1);
}

std::string HeaderRecordChanges(const HostHeaderRecord& before, const HostHeaderRecord& after, bool nameWritten)
{
    const std::size_t nameAt = offsetof(EntryHeader, EntryName);
    const std::size_t nameLength = strnlen(after.header.EntryName, EntryNameSize);
    if (nameWritten && nameLength == EntryNameSize) {
        return "EntryName holds no terminating NUL";
    }
    std::size_t begin[] = {nameAt, offsetof(EntryHeader, PackedSize), offsetof(EntryHeader, EntryTime)};
    std::size_t end[] = {nameWritten ? nameAt + nameLength + 1 : nameAt, offsetof(EntryHeader, UnpackedSize) + 4,
                         offsetof(EntryHeader, EntryTime) + 4};
    return FirstChange(reinterpret_cast<const unsigned char*>(&before), reinterpret_cast<const unsigned char*>(&after),
                       sizeof before, begin, end, 3);
}

Listing ListDocument(const PluginLibrary& library, const std::string& documentPath, int mode, int maxHeaders)
{
    Listing listing;
    std::string path = documentPath; // the host hands over a writable buffer
    HostOpenRecord open;
    FillWithPattern(&open, sizeof open, 1);
    open.request.ArchiveNamePtr = path.data();
    open.request.RequestMode = mode;
    const HostOpenRecord openBefore = open;

    const ArchiveHandle handle = library.OpenArchive(&open.request);
    listing.handle = reinterpret_cast<std::intptr_t>(handle);
    listing.requestResult = open.request.RequestResult;
    listing.requestResultWritten = open.request.RequestResult != openBefore.request.RequestResult;
    listing.openRecordChanges = OpenRecordChanges(openBefore, open, handle == nullptr);
    if (!handle) {
        return listing;
    }
    for (int call = 0; call < maxHeaders; ++call) {
        HostHeaderRecord record;
        FillWithPattern(&record, sizeof record, static_cast<unsigned>(call + 2));
        const HostHeaderRecord before = record;
        ListedEntry entry;
        entry.result = library.ReadHeader(handle, &record.header);
        entry.name.assign(record.header.EntryName, strnlen(record.header.EntryName, EntryNameSize));
        entry.packedSize = record.header.PackedSize;
        entry.unpackedSize = record.header.UnpackedSize;
        entry.time = record.header.EntryTime;
        entry.recordChanges = HeaderRecordChanges(before, record, entry.result == ResultSuccess);
        listing.entries.push_back(entry);
        if (entry.result != ResultSuccess) {
            break;
        }
    }
    listing.closeResult = library.CloseArchive(handle);
    return listing;
}

std::string FormatDosTime(std::uint32_t packed)
{
    const CalendarFields t = UnpackDosDateTime(packed);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

std::vector<ExtractedEntry> ExtractDocument(const PluginLibrary& library, const std::string& documentPath,
                                            const std::string& folder, DestinationStyle style, const std::string& only)
{
    std::vector<ExtractedEntry> extracted;
    std::string path = documentPath;
    HostOpenRecord open;
    FillWithPattern(&open, sizeof open, 1);
    open.request.ArchiveNamePtr = path.data();
    open.request.RequestMode = ModeExtract;
    const ArchiveHandle handle = library.OpenArchive(&open.request);
    if (!handle) {
        return extracted;
    }
    HostHeaderRecord record;
    while (library.ReadHeader(handle, &record.header) == ResultSuccess) {
        ExtractedEntry entry;
        entry.name.assign(record.header.EntryName, strnlen(record.header.EntryName, EntryNameSize));
        if (!only.empty() && entry.name != only) {
            library.ProcessFile(handle, OperationSkip, nullptr, nullptr);
            continue;
        }
        std::string directory = folder;
        std::string name = entry.name;
        if (style == DestinationStyle::FullPath) {
            name = folder.empty() ? entry.name : folder + "\\" + entry.name;
            entry.target = name;
            entry.result = library.ProcessFile(handle, OperationExtract, nullptr, name.data());
        } else {
            entry.target = folder.empty() ? entry.name : folder + "\\" + entry.name;
            entry.result = library.ProcessFile(handle, OperationExtract, directory.data(), name.data());
        }
        extracted.push_back(entry);
    }
    library.CloseArchive(handle);
    return extracted;
}

std::wstring WideFrom(const std::string& text, unsigned codePage)
{
    std::wstring wide(text.size(), L'\0');
    const int units = text.empty() ? 0
                                   : ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()),
                                                           wide.data(), static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(units));
    return wide;
}

std::string NarrowFrom(const std::wstring& text, unsigned codePage)
{
    const int size = text.empty() ? 0
                                  : ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                                          nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(size), '\0');
    if (size > 0) {
        ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size, nullptr,
                              nullptr);
    }
    return narrow;
}

std::string HeaderRecordChanges(const HostHeaderRecordW& before, const HostHeaderRecordW& after, bool nameWritten)
{
    const std::size_t nameAt = offsetof(EntryHeaderExW, EntryName);
    const std::size_t nameLength = wcsnlen(after.header.EntryName, WideEntryNameSize);
    if (nameWritten && nameLength == WideEntryNameSize) {
        return "EntryName holds no terminating NUL";
    }
    std::size_t begin[] = {nameAt, offsetof(EntryHeaderExW, PackedSize), offsetof(EntryHeaderExW, EntryTime)};
    std::size_t end[] = {nameWritten ? nameAt + 2 * (nameLength + 1) : nameAt,
                         offsetof(EntryHeaderExW, UnpackedSizeHigh) + 4, offsetof(EntryHeaderExW, EntryTime) + 4};
    return FirstChange(reinterpret_cast<const unsigned char*>(&before), reinterpret_cast<const unsigned char*>(&after),
                       sizeof before, begin, end, 3);
}

ListingW ListDocument(const PluginLibrary& library, EntryPoints family, const std::wstring& documentPath, int mode,
                      int maxHeaders)
{
    ListingW listing;
    if (family == EntryPoints::Ansi) {
        const Listing ansi = ListDocument(library, NarrowFrom(documentPath, CP_ACP), mode, maxHeaders);
        listing.handle = ansi.handle;
        listing.requestResult = ansi.requestResult;
        listing.openRecordChanges = ansi.openRecordChanges;
        listing.closeResult = ansi.closeResult;
        for (const ListedEntry& entry : ansi.entries) {
            listing.entries.push_back({entry.result, WideFrom(entry.name, CP_ACP), entry.packedSize,
                                       entry.unpackedSize, entry.time, entry.recordChanges});
        }
        return listing;
    }
    std::wstring path = documentPath;
    HostOpenRecordW open;
    FillWithPattern(&open, sizeof open, 1);
    open.request.ArchiveNamePtr = path.data();
    open.request.RequestMode = mode;
    const HostOpenRecordW openBefore = open;
    const ArchiveHandle handle = library.OpenArchiveW(&open.request);
    listing.handle = reinterpret_cast<std::intptr_t>(handle);
    listing.requestResult = open.request.RequestResult;
    const std::size_t resultAt = offsetof(OpenRequestW, RequestResult);
    std::size_t begin[] = {resultAt};
    std::size_t end[] = {handle ? resultAt : resultAt + sizeof(std::int32_t)};
    listing.openRecordChanges = FirstChange(reinterpret_cast<const unsigned char*>(&openBefore),
                                            reinterpret_cast<const unsigned char*>(&open), sizeof open, begin, end, 1);
    if (!handle) {
        return listing;
    }
    for (int call = 0; call < maxHeaders; ++call) {
        HostHeaderRecordW record;
        FillWithPattern(&record, sizeof record, static_cast<unsigned>(call + 2));
        const HostHeaderRecordW before = record;
        ListedEntryW entry;
        entry.result = library.ReadHeaderExW(handle, &record.header);
        entry.name.assign(record.header.EntryName, wcsnlen(record.header.EntryName, WideEntryNameSize));
        entry.packedSize = record.header.PackedSize;
        entry.unpackedSize = record.header.UnpackedSize;
        entry.time = record.header.EntryTime;
        entry.recordChanges = HeaderRecordChanges(before, record, entry.result == ResultSuccess);
        if (entry.recordChanges.empty() && (record.header.PackedSizeHigh != 0 || record.header.UnpackedSizeHigh != 0)) {
            entry.recordChanges = "a size's high part is not 0";
        }
        listing.entries.push_back(entry);
        if (entry.result != ResultSuccess) {
            break;
        }
    }
    listing.closeResult = library.CloseArchive(handle);
    return listing;
}

std::vector<ExtractedEntryW> ExtractDocument(const PluginLibrary& library, EntryPoints family,
                                             const std::wstring& documentPath, const std::wstring& folder,
                                             DestinationStyle style, const std::wstring& only)
{
    std::vector<ExtractedEntryW> extracted;
    if (family == EntryPoints::Ansi) {
        for (const ExtractedEntry& entry : ExtractDocument(library, NarrowFrom(documentPath, CP_ACP),
                                                           NarrowFrom(folder, CP_ACP), style, NarrowFrom(only, CP_ACP))) {
            extracted.push_back({WideFrom(entry.name, CP_ACP), WideFrom(entry.target, CP_ACP), entry.result});
        }
        return extracted;
    }
    std::wstring path = documentPath;
    OpenRequestW request = {path.data(), ModeExtract, 0};
    const ArchiveHandle handle = library.OpenArchiveW(&request);
    if (!handle) {
        return extracted;
    }
    HostHeaderRecordW record;
    while (library.ReadHeaderExW(handle, &record.header) == ResultSuccess) {
        ExtractedEntryW entry;
        entry.name.assign(record.header.EntryName, wcsnlen(record.header.EntryName, WideEntryNameSize));
        if (!only.empty() && entry.name != only) {
            library.ProcessFileW(handle, OperationSkip, nullptr, nullptr);
            continue;
        }
        entry.target = folder.empty() ? entry.name : folder + L"\\" + entry.name;
        std::wstring directory = folder;
        std::wstring name = style == DestinationStyle::FullPath ? entry.target : entry.name;
        entry.result = library.ProcessFileW(handle, OperationExtract,
                                            style == DestinationStyle::FullPath ? nullptr : directory.data(), name.data());
        extracted.push_back(entry);
    }
    library.CloseArchive(handle);
    return extracted;
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::string bytes;
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return bytes;
    }
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    ::CloseHandle(file);
    return bytes;
}
