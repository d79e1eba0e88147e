// The records the host passes to the plug-in, laid out exactly as the host lays them.
// Only the fields the plug-in reads or writes are named; every other byte is the host's.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define PAPERLENS_CALL __stdcall
#else
#define PAPERLENS_CALL
#endif

// Argument of OpenArchive. The host's record continues past these three fields with
// fields of its own that the plug-in never reads or writes.
struct OpenRequest {
    char* ArchiveNamePtr;     // the document's path; read
    std::int32_t RequestMode; // 0 list, 1 extract; read
    std::int32_t RequestResult; // written only on failure
};

// Argument of ReadHeader, as far as its last field the plug-in writes. The host's record
// continues past EntryTime; those bytes, like the ones named Host*, are never touched.
struct EntryHeader {
    char HostArchiveName[260];
    char EntryName[260];
    std::int32_t HostFlags;
    std::int32_t PackedSize;
    std::int32_t UnpackedSize;
    std::int32_t HostOsAndCrc[2];
    std::uint32_t EntryTime; // packed DOS date-time
};

constexpr std::size_t EntryNameSize = sizeof(EntryHeader::EntryName);

static_assert(offsetof(OpenRequest, ArchiveNamePtr) == 0, "ArchiveNamePtr heads the record");
static_assert(offsetof(EntryHeader, EntryName) == 260, "EntryName lies at 260");
static_assert(offsetof(EntryHeader, PackedSize) == 524, "PackedSize lies at 524");
static_assert(offsetof(EntryHeader, UnpackedSize) == 528, "UnpackedSize lies at 528");
static_assert(offsetof(EntryHeader, EntryTime) == 540, "EntryTime lies at 540");
static_assert(sizeof(EntryHeader) == 544, "EntryHeader ends with EntryTime");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(OpenRequest, RequestMode) == 4, "32-bit: RequestMode lies at 4");
static_assert(offsetof(OpenRequest, RequestResult) == 8, "32-bit: RequestResult lies at 8");
#else
static_assert(offsetof(OpenRequest, RequestMode) == 8, "64-bit: RequestMode follows the 8-byte pointer");
static_assert(offsetof(OpenRequest, RequestResult) == 12, "64-bit: RequestResult lies at 12");
#endif

// The records of the Unicode entry points, which hosts prefer when a plug-in exports them.
// Their texts are UTF-16: wchar_t, two bytes, on Windows.
struct OpenRequestW {
    wchar_t* ArchiveNamePtr;    // the document's path; read
    std::int32_t RequestMode;   // as in OpenRequest
    std::int32_t RequestResult; // written only on failure
};

// Argument of ReadHeaderExW, as far as its last field the plug-in writes. The host's record
// continues past EntryTime (versions, method, attributes, a comment, reserved bytes); those
// bytes, like the ones named Host*, are never touched.
struct EntryHeaderExW {
    wchar_t HostArchiveName[1024];
    wchar_t EntryName[1024];
    std::int32_t HostFlags;
    std::int32_t PackedSize;
    std::int32_t PackedSizeHigh;
    std::int32_t UnpackedSize;
    std::int32_t UnpackedSizeHigh;
    std::int32_t HostOs;
    std::int32_t HostCrc;
    std::uint32_t EntryTime; // packed DOS date-time
};

constexpr std::size_t WideEntryNameSize = sizeof(EntryHeaderExW::EntryName) / sizeof(wchar_t);

#ifdef _WIN32
static_assert(sizeof(wchar_t) == 2, "UTF-16 units");
static_assert(offsetof(OpenRequestW, ArchiveNamePtr) == 0, "ArchiveNamePtr heads the record");
static_assert(offsetof(OpenRequestW, RequestMode) == offsetof(OpenRequest, RequestMode), "as in OpenRequest");
static_assert(offsetof(OpenRequestW, RequestResult) == offsetof(OpenRequest, RequestResult), "as in OpenRequest");
static_assert(offsetof(EntryHeaderExW, EntryName) == 2048, "EntryName lies at 2048");
static_assert(offsetof(EntryHeaderExW, PackedSize) == 4100, "PackedSize lies at 4100");
static_assert(offsetof(EntryHeaderExW, PackedSizeHigh) == 4104, "PackedSizeHigh lies at 4104");
static_assert(offsetof(EntryHeaderExW, UnpackedSize) == 4108, "UnpackedSize lies at 4108");
static_assert(offsetof(EntryHeaderExW, UnpackedSizeHigh) == 4112, "UnpackedSizeHigh lies at 4112");
static_assert(offsetof(EntryHeaderExW, EntryTime) == 4124, "EntryTime lies at 4124");
static_assert(sizeof(EntryHeaderExW) == 4128, "EntryHeaderExW ends with EntryTime");
#endif

// The archive handle the host holds.
using ArchiveHandle = void*;
// The host's callbacks, given per archive handle. The progress one (SetProcessDataProc) is
// called with the name of the entry being extracted and a size: 0 while the work goes on, the
// bytes written at its end. It answers 0 to stop the extraction, anything else to go on. The
// volume one (SetChangeVolProc) is for archives in several volumes, which there never are.
using HostCallback = int(PAPERLENS_CALL*)(char* name, int size);
using ProcessDataCallback = HostCallback;

// The seven ANSI entry points, as the host resolves them by name.
using OpenArchiveFunction = ArchiveHandle(PAPERLENS_CALL*)(OpenRequest*);
using ReadHeaderFunction = int(PAPERLENS_CALL*)(ArchiveHandle, EntryHeader*);
using ProcessFileFunction = int(PAPERLENS_CALL*)(ArchiveHandle, int, char*, char*);
using CloseArchiveFunction = int(PAPERLENS_CALL*)(ArchiveHandle);
using SetChangeVolProcFunction = void(PAPERLENS_CALL*)(ArchiveHandle, HostCallback);
using SetProcessDataProcFunction = void(PAPERLENS_CALL*)(ArchiveHandle, HostCallback);
using GetPackerCapsFunction = int(PAPERLENS_CALL*)();
// Optional: which work the host may do on background threads.
using GetBackgroundFlagsFunction = int(PAPERLENS_CALL*)();

// The Unicode entry points, resolved by name beside the ANSI ones.
using OpenArchiveWFunction = ArchiveHandle(PAPERLENS_CALL*)(OpenRequestW*);
using ReadHeaderExWFunction = int(PAPERLENS_CALL*)(ArchiveHandle, EntryHeaderExW*);
using ProcessFileWFunction = int(PAPERLENS_CALL*)(ArchiveHandle, int, wchar_t*, wchar_t*);
using HostCallbackW = int(PAPERLENS_CALL*)(wchar_t* name, int size);
using ProcessDataCallbackW = HostCallbackW;
using SetChangeVolProcWFunction = void(PAPERLENS_CALL*)(ArchiveHandle, HostCallbackW);
using SetProcessDataProcWFunction = void(PAPERLENS_CALL*)(ArchiveHandle, HostCallbackW);
