// The entry points the host calls, in their ANSI and their Unicode form. Nothing here
// throws or allocates but through checked heap calls: the library lives in the host's process.
#include "CodePage.h"
#include "DosTime.h"
#include "EntryNames.h"
#include "Extraction.h"
#include "FileTime.h"
#include "FixedField.h"
#include "HeapText.h"
#include "HostRecords.h"
#include "ModuleState.h"
#include "ResultCodes.h"
#include "TargetFile.h"

#include <windows.h>

#include <cstdint>
#include <type_traits>

namespace {

std::intptr_t HandleNumber(ArchiveHandle handle) noexcept
{
    return reinterpret_cast<std::intptr_t>(handle);
}

ArchiveHandle HandleOf(std::uint32_t number) noexcept
{
    return reinterpret_cast<ArchiveHandle>(static_cast<std::uintptr_t>(number));
}

// Keeps the archive and answers its handle; the memory of an archive dropped for it goes.
ArchiveHandle Keep(const ArchiveState& state) noexcept
{
    ArchiveState dropped;
    std::uint32_t handle = 0;
    {
        ArchiveTableHold hold;
        handle = hold.Table().Open(state, dropped);
    }
    ReleaseArchive(dropped);
    return HandleOf(handle);
}

// The entry whose name the progress callback of a ProcessFile call hears: the one the last
// ReadHeader described, or the first before anything was listed.
int ExtractedEntryIndex(const ArchiveState& state) noexcept
{
    const int listed = state.ListedEntry();
    return listed < 0 ? 0 : listed;
}

// An entry's name as ReadHeader writes it, and as ReadHeaderExW does.
// ANSI names are cut between the characters of the system's code page.
void WriteAnsiName(const ArchiveState& state, int index, const AnsiCharacters& characters,
                   char (&field)[EntryNameSize]) noexcept
{
    if (!state.WidePath) {
        WriteEntryName(field, EntryNameSize, state.ArchiveBaseName.Text(), index, characters);
        return;
    }
    wchar_t name[WideEntryNameSize];
    WriteEntryName(name, WideEntryNameSize, ArchiveBaseNameOf(std::wstring_view(state.WidePath)), index);
    NarrowIntoField(name, field, EntryNameSize, characters);
}

void WriteWideName(const ArchiveState& state, int index, const AnsiCharacters& characters,
                   wchar_t (&field)[WideEntryNameSize]) noexcept
{
    if (state.WidePath) {
        WriteEntryName(field, WideEntryNameSize, ArchiveBaseNameOf(std::wstring_view(state.WidePath)), index);
        return;
    }
    char name[EntryNameSize];
    WriteEntryName(name, EntryNameSize, state.ArchiveBaseName.Text(), index, characters);
    WidenIntoField(name, field, WideEntryNameSize);
}

// What an extraction takes from its archive, copied under the lock: another thread may
// close the archive once the lock goes. The callback of the caller's family comes with
// the name of the entry for it.
struct ArchiveCopy {
    ArchiveId id;
    WideHeapText document;
    char ansiName[EntryNameSize];
    wchar_t wideName[WideEntryNameSize];
    HostProgress progress;
    int listedEntry = -1; // the entry the last ReadHeader described, -1 for none
};

enum class Family { Ansi, Unicode };

// False for an unknown handle (`known` false) or short memory.
bool CopyOfArchive(ArchiveHandle handle, Family family, const AnsiCharacters& characters, ArchiveCopy& copy,
                   bool& known) noexcept
{
    FixedText<PathBufferSize> ansi;
    {
        ArchiveTableHold hold;
        const ArchiveState* state = hold.Table().Find(HandleNumber(handle));
        known = state != nullptr;
        if (!state) {
            return false;
        }
        copy.id = {HandleNumber(handle)};
        copy.listedEntry = state->ListedEntry();
        if (family == Family::Ansi && state->Progress) {
            WriteAnsiName(*state, ExtractedEntryIndex(*state), characters, copy.ansiName);
            copy.progress = HostProgress(state->Progress, copy.ansiName);
        } else if (family == Family::Unicode && state->ProgressW) {
            WriteWideName(*state, ExtractedEntryIndex(*state), characters, copy.wideName);
            copy.progress = HostProgress(state->ProgressW, copy.wideName);
        }
        if (state->WidePath) {
            const std::wstring_view path = state->WidePath;
            return copy.document.Build([&](WideTextBuilder& out) { out.Append(path); });
        }
        ansi = state->ArchivePath;
    }
    return WidenAnsi(ansi.Text(), copy.document);
}

// No lock is held from here on: other threads open, list, close and extract meanwhile.
int Extract(ArchiveHandle handle, Family family, int operation, std::wstring_view directory,
            std::wstring_view name) noexcept
{
    if (operation != OperationExtract) {
        return ResultSuccess;
    }
    const AnsiCharacters characters = SystemAnsiCharacters(); // asked before the archive lock is taken
    ArchiveCopy copy;
    bool known = false;
    if (!CopyOfArchive(handle, family, characters, copy, known)) {
        return known ? ResultCannotCreateOutput : ResultCannotOpen;
    }
    return ExtractEntry(copy.id, copy.document.Data(), directory, name, copy.listedEntry, copy.progress);
}

// Keeps the host's progress callback of one family for the archive the handle names.
template <class Callback>
void KeepProgress(ArchiveHandle handle, Callback ArchiveState::*slot, Callback callback) noexcept
{
    ArchiveTableHold hold;
    if (ArchiveState* state = hold.Table().Find(HandleNumber(handle))) {
        state->*slot = callback;
    }
}

// The next entry of the archive the handle names, written by `write` (name, then the
// fields both header forms share); 10 and nothing written for an unknown handle.
template <class WriteName, class WriteFields>
int NextEntry(ArchiveHandle handle, WriteName&& writeName, WriteFields&& writeFields) noexcept
{
    ArchiveTableHold hold;
    ArchiveState* state = hold.Table().Find(HandleNumber(handle));
    if (!state) {
        return ResultNoMoreEntries;
    }
    int result = ResultSuccess;
    if (state->EntryIndex < EntryCount) {
        writeName(*state);
    } else {
        result = ResultNoMoreEntries;
    }
    writeFields(state->ArchiveDosTime);
    // Stops past the last entry, so no number of further calls lists the entries again.
    if (state->EntryIndex <= EntryCount) {
        ++state->EntryIndex;
    }
    return result;
}

bool IsSupportedMode(std::int32_t mode) noexcept
{
    return mode == ModeList || mode == ModeExtract;
}

} // namespace

extern "C" {

ArchiveHandle PAPERLENS_CALL OpenArchive(OpenRequest* request)
{
    if (!request) {
        return nullptr;
    }
    if (!IsSupportedMode(request->RequestMode)) {
        request->RequestResult = ResultNotSupported;
        return nullptr;
    }
    // Only an existing file opens: a folder, a wrong path or a pattern lists nothing.
    ArchiveState state;
    const std::string_view path = TextAt(request->ArchiveNamePtr);
    if (!IsDocumentPathAcceptable(path, PathBufferSize) || !state.ArchivePath.Assign(path) ||
        !IsExistingFile(state.ArchivePath.CString())) {
        request->RequestResult = ResultCannotOpen;
        return nullptr;
    }
    state.ArchiveBaseName.Assign(ArchiveBaseNameOf(path, SystemAnsiCharacters()));
    // A time that cannot be read leaves the six fields at 0.
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    GetFileLocalTime(path, year, month, day, hour, minute, second);
    state.ArchiveDosTime = PackDosDateTime(day, month, year, hour, minute, second);
    return Keep(state);
}

ArchiveHandle PAPERLENS_CALL OpenArchiveW(OpenRequestW* request)
{
    if (!request) {
        return nullptr;
    }
    if (!IsSupportedMode(request->RequestMode)) {
        request->RequestResult = ResultNotSupported;
        return nullptr;
    }
    const std::wstring_view path = TextAt(request->ArchiveNamePtr);
    WideHeapText kept;
    if (!IsDocumentPathAcceptable(path, WidePathSize) ||
        !kept.Build([&](WideTextBuilder& out) { out.Append(path); }) || !IsExistingFile(kept.Data())) {
        request->RequestResult = ResultCannotOpen;
        return nullptr;
    }
    ArchiveState state;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    GetFileLocalTime(kept.Data(), year, month, day, hour, minute, second);
    state.ArchiveDosTime = PackDosDateTime(day, month, year, hour, minute, second);
    state.WidePath = kept.Release(); // the table's now, given back when the archive goes
    return Keep(state);
}

int PAPERLENS_CALL ReadHeader(ArchiveHandle handle, EntryHeader* header)
{
    if (!header) {
        return ResultNoMoreEntries;
    }
    const AnsiCharacters characters = SystemAnsiCharacters(); // asked before the archive lock is taken
    return NextEntry(
        handle,
        [header, &characters](const ArchiveState& state) {
            WriteAnsiName(state, state.EntryIndex, characters, header->EntryName);
        },
        [header](std::uint32_t time) {
            header->EntryTime = time;
            header->UnpackedSize = 1;
            header->PackedSize = 1;
        });
}

int PAPERLENS_CALL ReadHeaderExW(ArchiveHandle handle, EntryHeaderExW* header)
{
    if (!header) {
        return ResultNoMoreEntries;
    }
    const AnsiCharacters characters = SystemAnsiCharacters();
    return NextEntry(
        handle,
        [header, &characters](const ArchiveState& state) {
            WriteWideName(state, state.EntryIndex, characters, header->EntryName);
        },
        [header](std::uint32_t time) {
            header->EntryTime = time;
            header->UnpackedSize = 1;
            header->UnpackedSizeHigh = 0;
            header->PackedSize = 1;
            header->PackedSizeHigh = 0;
        });
}

int PAPERLENS_CALL ProcessFile(ArchiveHandle handle, int operation, char* destinationDirectory, char* destinationName)
{
    if (operation != OperationExtract) {
        return ResultSuccess;
    }
    WideHeapText directory;
    WideHeapText name;
    if (!WidenAnsi(TextAt(destinationDirectory), directory) || !WidenAnsi(TextAt(destinationName), name)) {
        return ResultCannotCreateOutput;
    }
    return Extract(handle, Family::Ansi, operation, directory.Text(), name.Text());
}

int PAPERLENS_CALL ProcessFileW(ArchiveHandle handle, int operation, wchar_t* destinationDirectory,
                                wchar_t* destinationName)
{
    return Extract(handle, Family::Unicode, operation, TextAt(destinationDirectory), TextAt(destinationName));
}

int PAPERLENS_CALL CloseArchive(ArchiveHandle handle)
{
    ArchiveState closed;
    {
        ArchiveTableHold hold;
        hold.Table().Close(HandleNumber(handle), closed);
    }
    ReleaseArchive(closed);
    return ResultSuccess;
}

// There are no volumes to change.
void PAPERLENS_CALL SetChangeVolProc(ArchiveHandle, HostCallback)
{
}

void PAPERLENS_CALL SetProcessDataProc(ArchiveHandle handle, ProcessDataCallback callback)
{
    KeepProgress(handle, &ArchiveState::Progress, callback);
}

void PAPERLENS_CALL SetChangeVolProcW(ArchiveHandle, HostCallbackW)
{
}

void PAPERLENS_CALL SetProcessDataProcW(ArchiveHandle handle, ProcessDataCallbackW callback)
{
    KeepProgress(handle, &ArchiveState::ProgressW, callback);
}

int PAPERLENS_CALL GetPackerCaps()
{
    return PackerCapabilities;
}

// Archives live under their own handles and no lock is held while a converter runs, so
// the host may extract on its background threads.
int PAPERLENS_CALL GetBackgroundFlags()
{
    return BackgroundUnpack;
}

// The library's entry point: no C runtime start-up runs before it. It runs under the loader
// lock, so it reads the settings only at process attach, where the load decision needs them;
// a thread's start or end only marks them to be read again at the next extraction, outside
// the lock (a plug-in on a drive that stops answering must not freeze every thread start of
// the host). Without a converter setting the library refuses to load.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        return LoadConverterSettings(instance) ? TRUE : FALSE;
    case DLL_THREAD_ATTACH:
    case DLL_THREAD_DETACH:
        MarkConverterSettingsStale();
        return TRUE;
    default:
        break;
    }
    // When the process is ending, its other threads are already gone, perhaps holding the
    // archive lock; the answer is ignored then, so nothing is touched that could hang the exit.
    if (reserved != nullptr) {
        return TRUE;
    }
    // Unloaded while archives are still open: their memory goes back to the host's heap, and
    // their texts go as their handles close; no file call is made.
    for (bool open = true; open;) {
        ArchiveState closed;
        {
            ArchiveTableHold hold;
            open = hold.Table().CloseAny(closed);
        }
        ReleaseArchive(closed);
    }
    ReleaseKeptTexts();
    return TRUE;
}

} // extern "C"

// The definitions must keep the signatures the host calls them through.
static_assert(std::is_same_v<decltype(&OpenArchive), OpenArchiveFunction>);
static_assert(std::is_same_v<decltype(&ReadHeader), ReadHeaderFunction>);
static_assert(std::is_same_v<decltype(&ProcessFile), ProcessFileFunction>);
static_assert(std::is_same_v<decltype(&CloseArchive), CloseArchiveFunction>);
static_assert(std::is_same_v<decltype(&SetChangeVolProc), SetChangeVolProcFunction>);
static_assert(std::is_same_v<decltype(&SetProcessDataProc), SetProcessDataProcFunction>);
static_assert(std::is_same_v<decltype(&GetPackerCaps), GetPackerCapsFunction>);
static_assert(std::is_same_v<decltype(&GetBackgroundFlags), GetBackgroundFlagsFunction>);
static_assert(std::is_same_v<decltype(&OpenArchiveW), OpenArchiveWFunction>);
static_assert(std::is_same_v<decltype(&ReadHeaderExW), ReadHeaderExWFunction>);
static_assert(std::is_same_v<decltype(&ProcessFileW), ProcessFileWFunction>);
static_assert(std::is_same_v<decltype(&SetChangeVolProcW), SetChangeVolProcWFunction>);
static_assert(std::is_same_v<decltype(&SetProcessDataProcW), SetProcessDataProcWFunction>);
