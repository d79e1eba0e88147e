// The entry points the host calls. No exception ever leaves them.
#include "CommandLine.h"
#include "ConverterLaunch.h"
#include "ConverterPath.h"
#include "ConverterSetting.h"
#include "DosTime.h"
#include "EntryNames.h"
#include "FileNumbers.h"
#include "FileTime.h"
#include "FixedField.h"
#include "HostRecords.h"
#include "ModuleState.h"
#include "ResultCodes.h"

#include <windows.h>

#include <new>
#include <string>
#include <type_traits>

extern "C" {

ArchiveHandle PAPERLENS_CALL OpenArchive(OpenRequest* request)
{
    if (!request) {
        return nullptr;
    }
    std::string path;
    std::string baseName;
    bool outOfMemory = false;
    try {
        path = TextAt(request->ArchiveNamePtr);
        baseName = ArchiveBaseNameOf(path);
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    }

    // Read before taking the state: the read may wait behind a running converter.
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    GetFileLocalTime(path, year, month, day, hour, minute, second);
    const std::uint32_t dosTime = PackDosDateTime(day, month, year, hour, minute, second);

    const int mode = request->RequestMode;
    {
        ArchiveStateHold hold;
        ArchiveState& state = hold.State();
        state.ArchivePath.swap(path);
        state.ArchiveBaseName.swap(baseName);
        state.ArchiveDosTime = dosTime;
        if (mode == ModeList || mode == ModeExtract) {
            state.EntryIndex = 0;
        }
    }

    switch (mode) {
    case ModeList:
        DrawFileNumber();
        if (outOfMemory) {
            request->RequestResult = ResultCannotOpen;
            return nullptr;
        }
        return reinterpret_cast<ArchiveHandle>(static_cast<std::intptr_t>(ListingHandle));
    case ModeExtract:
        return reinterpret_cast<ArchiveHandle>(static_cast<std::intptr_t>(DrawFileNumber()));
    default:
        request->RequestResult = ResultNotSupported;
        return nullptr;
    }
}

int PAPERLENS_CALL ReadHeader(ArchiveHandle, EntryHeader* header)
{
    if (!header) {
        return ResultNoMoreEntries;
    }
    ArchiveStateHold hold;
    ArchiveState& state = hold.State();
    int result = ResultSuccess;
    if (state.EntryIndex < EntryCount) {
        WriteEntryName(header->EntryName, EntryNameSize, state.ArchiveBaseName, state.EntryIndex);
    } else {
        result = ResultNoMoreEntries;
    }
    header->EntryTime = state.ArchiveDosTime;
    header->UnpackedSize = 1;
    header->PackedSize = 1;
    // Stops past the last entry, so no number of further calls lists the entries again.
    if (state.EntryIndex <= EntryCount) {
        ++state.EntryIndex;
    }
    return result;
}

int PAPERLENS_CALL ProcessFile(ArchiveHandle, int operation, char* destinationDirectory, char* destinationName)
{
    if (operation != OperationExtract) {
        return ResultSuccess;
    }
    try {
        const std::string target = TargetPathOf(TextAt(destinationDirectory), TextAt(destinationName));
        const ConverterSettings settings = CopyConverterSettings();
        std::string document;
        {
            ArchiveStateHold hold;
            document = hold.State().ArchivePath;
        }
        // Without a setting there is no converter to run, and the marker text must not be
        // looked for as a program in the host's folders.
        if (settings.ConverterPath == SettingNotFound || HoldsQuote(settings.ConverterPath) || HoldsQuote(document) || HoldsQuote(target)) {
            return ResultCannotCreateOutput;
        }
        const std::string commandLine =
            BuildCommandLine(settings.ConverterPath, EncodingOptionFor(TagOf(target)), document, target);
        // What the converter does once it runs is its own to report; only a converter
        // that never started is known here to have made no output.
        return RunCommandLine(commandLine).started ? ResultSuccess : ResultCannotCreateOutput;
    } catch (const std::bad_alloc&) {
        return ResultCannotCreateOutput;
    }
}

int PAPERLENS_CALL CloseArchive(ArchiveHandle)
{
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

// Runs at every notification, thread starts and ends included, so that an edited setting
// takes effect at the next one. Without a converter setting the library refuses to load.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    // When the process is ending, its other threads are already gone, perhaps holding the
    // settings lock; the answer is ignored then, so nothing is read that could hang the exit.
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr) {
        return TRUE;
    }
    constexpr DWORD ModulePathSize = 256;
    char modulePath[ModulePathSize];
    const DWORD length = ::GetModuleFileNameA(instance, modulePath, ModulePathSize);
    // A cut path would name a shallower folder, and the converter would be looked for there.
    if (length == 0 || length >= ModulePathSize) {
        return FALSE;
    }
    try {
        ConverterSettings settings;
        settings.PluginDirectory = PluginDirectoryOf(std::string_view(modulePath, length));
        const std::string setting = ReadConverterSetting(settings.PluginDirectory, "PDF");
        if (setting == SettingNotFound) {
            settings.ConverterPath = setting;
            ReplaceConverterSettings(settings);
            return FALSE;
        }
        settings.ConverterPath = ConverterPathFrom(settings.PluginDirectory, setting);
        ReplaceConverterSettings(settings);
        return TRUE;
    } catch (const std::bad_alloc&) {
        return FALSE; // the settings in force stay as they were
    }
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
