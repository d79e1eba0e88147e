// The entry points the host calls. Nothing here throws or allocates but through checked
// heap calls: the library lives in the host's process.
#include "CommandLine.h"
#include "ConverterLaunch.h"
#include "ConverterPath.h"
#include "ConverterSetting.h"
#include "DosTime.h"
#include "EntryNames.h"
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

ArchiveHandle HandleOf(int number) noexcept
{
    return reinterpret_cast<ArchiveHandle>(static_cast<std::intptr_t>(number));
}

// Builds a text twice: once to measure it, once into a buffer of that size.
template <class Build>
bool BuildOnHeap(HeapText& text, Build&& build) noexcept
{
    TextBuilder measure(nullptr, 0);
    build(measure);
    HeapText sized(measure.Size() + 1);
    if (sized.Size() == 0) {
        return false;
    }
    TextBuilder builder(sized.Data(), sized.Size());
    build(builder);
    text.Swap(sized);
    return !builder.Overflowed();
}

int ExtractEntry(const char* document, std::string_view directory, std::string_view name) noexcept
{
    ConverterSettings settings;
    CopyConverterSettings(settings);
    // Without a setting there is no converter to run, and the marker text must not be
    // looked for as a program in the host's folders.
    if (settings.ConverterPath.View() == SettingNotFound) {
        return ResultCannotCreateOutput;
    }
    HeapText target(0);
    if (!BuildOnHeap(target, [&](TextBuilder& out) { AppendTargetPath(out, directory, name); })) {
        return ResultCannotCreateOutput;
    }
    const std::string_view targetPath = target.Data();
    if (HoldsQuote(settings.ConverterPath.View()) || HoldsQuote(document) || HoldsQuote(targetPath)) {
        return ResultCannotCreateOutput;
    }
    // The host named the target as the output and has dealt with overwriting; a target
    // left from an earlier run must not pass for this run's text. The document itself is
    // never the output, however its path is spelt.
    if (AreSameFile(document, target.Data()) || !RemoveStaleTarget(target.Data())) {
        return ResultCannotCreateOutput;
    }
    HeapText line(0);
    if (!BuildOnHeap(line, [&](TextBuilder& out) {
            AppendCommandLine(out, settings.ConverterPath.View(), EncodingOptionFor(TagOf(targetPath)), document,
                              targetPath);
        }) ||
        line.Size() > MaxCommandLineSize) {
        return ResultCannotCreateOutput; // passed whole or not at all: a cut line names another target
    }
    const LaunchResult run = RunCommandLine(line.Data());
    if (!run.started) {
        return ResultCannotCreateOutput;
    }
    // Under Wine a Unix converter runs detached: no handle to wait on and no exit code.
    // Its run is taken as the converter's own to report, as before exit codes were read.
    if (run.detached) {
        return ResultSuccess;
    }
    if (!run.exitCodeKnown) {
        return ResultWriteError;
    }
    return ResultOfConversion(run.exitCode, IsExistingFile(target.Data()));
}

} // namespace

extern "C" {

ArchiveHandle PAPERLENS_CALL OpenArchive(OpenRequest* request)
{
    if (!request) {
        return nullptr;
    }
    const int mode = request->RequestMode;
    if (mode != ModeList && mode != ModeExtract) {
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
    state.ArchiveBaseName.Assign(ArchiveBaseNameOf(path));
    // A time that cannot be read leaves the six fields at 0.
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    GetFileLocalTime(path, year, month, day, hour, minute, second);
    state.ArchiveDosTime = PackDosDateTime(day, month, year, hour, minute, second);

    ArchiveTableHold hold;
    return HandleOf(hold.Table().Open(state));
}

int PAPERLENS_CALL ReadHeader(ArchiveHandle handle, EntryHeader* header)
{
    ArchiveTableHold hold;
    ArchiveState* state = hold.Table().Find(HandleNumber(handle));
    if (!header || !state) {
        return ResultNoMoreEntries;
    }
    int result = ResultSuccess;
    if (state->EntryIndex < EntryCount) {
        WriteEntryName(header->EntryName, EntryNameSize, state->ArchiveBaseName.View(), state->EntryIndex);
    } else {
        result = ResultNoMoreEntries;
    }
    header->EntryTime = state->ArchiveDosTime;
    header->UnpackedSize = 1;
    header->PackedSize = 1;
    // Stops past the last entry, so no number of further calls lists the entries again.
    if (state->EntryIndex <= EntryCount) {
        ++state->EntryIndex;
    }
    return result;
}

int PAPERLENS_CALL ProcessFile(ArchiveHandle handle, int operation, char* destinationDirectory, char* destinationName)
{
    if (operation != OperationExtract) {
        return ResultSuccess;
    }
    FixedText<PathBufferSize> document;
    {
        ArchiveTableHold hold;
        const ArchiveState* state = hold.Table().Find(HandleNumber(handle));
        if (!state) {
            return ResultCannotOpen;
        }
        document = state->ArchivePath;
    }
    return ExtractEntry(document.CString(), TextAt(destinationDirectory), TextAt(destinationName));
}

int PAPERLENS_CALL CloseArchive(ArchiveHandle handle)
{
    ArchiveTableHold hold;
    hold.Table().Close(HandleNumber(handle));
    return ResultSuccess;
}

void PAPERLENS_CALL SetChangeVolProc(ArchiveHandle, HostCallback)
{
}

void PAPERLENS_CALL SetProcessDataProc(ArchiveHandle, HostCallback)
{
}

int PAPERLENS_CALL GetPackerCaps()
{
    return PackerCapabilities;
}

// The library's entry point: no C runtime start-up runs before it. It runs at every
// notification, thread starts and ends included, so that an edited setting takes effect
// at the next one. Without a converter setting the library refuses to load.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    // When the process is ending, its other threads are already gone, perhaps holding the
    // settings lock; the answer is ignored then, so nothing is read that could hang the exit.
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr) {
        return TRUE;
    }
    char modulePath[PathBufferSize];
    const DWORD length = ::GetModuleFileNameA(instance, modulePath, PathBufferSize);
    // A cut path would name a shallower folder, and the converter would be looked for there.
    if (length == 0 || length >= PathBufferSize) {
        return FALSE;
    }
    ConverterSettings settings;
    settings.PluginDirectory.Assign(PluginDirectoryOf(std::string_view(modulePath, length)));
    const SettingText setting = ReadConverterSetting(settings.PluginDirectory.View(), "PDF");
    if (setting.View() == SettingNotFound) {
        settings.ConverterPath.Assign(SettingNotFound);
        ReplaceConverterSettings(settings);
        return FALSE;
    }
    // Both parts are under 256 characters, so the path always fits.
    settings.ConverterPath.Assign({settings.PluginDirectory.View(), FirstWordOf(setting.View())});
    ReplaceConverterSettings(settings);
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
