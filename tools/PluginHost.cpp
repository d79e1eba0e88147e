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
