#include "Extraction.h"

#include "CommandLine.h"
#include "ConverterLaunch.h"
#include "ConverterPaths.h"
#include "ConverterSetting.h"
#include "CodePage.h"
#include "ProgramKind.h"
#include "HeapText.h"
#include "ModuleState.h"
#include "ResultCodes.h"
#include "TargetFile.h"

namespace {

// The folder for the stand-ins, in a form the converter can open, found once when first needed.
class TargetFolderForm {
public:
    explicit TargetFolderForm(std::wstring_view target) noexcept : folder_(FolderOf(target)) {}

    bool Get(std::wstring_view& form) noexcept
    {
        if (!tried_) {
            tried_ = true;
            ready_ = StandInFolderFor(folder_, form_);
        }
        form = form_.Text();
        return ready_;
    }

private:
    std::wstring_view folder_;
    WideHeapText form_;
    bool tried_ = false;
    bool ready_ = false;
};

bool AskHost(void* progress) noexcept
{
    return static_cast<HostProgress*>(progress)->KeepGoing();
}

// The program Windows runs for the converter path: with ".exe" appended to a name without
// an extension, as CreateProcessW does.
bool ProgramOf(std::wstring_view converter, WideHeapText& program) noexcept
{
    return program.Build([&](WideTextBuilder& out) {
        out.Append(converter);
        if (TakesExeAppended(converter)) {
            out.Append(std::wstring_view(L".exe"));
        }
    });
}

} // namespace

HostProgress::HostProgress(ProcessDataCallback callback, char (&name)[EntryNameSize]) noexcept
    : ansi_(callback), ansiName_(name)
{
}

HostProgress::HostProgress(ProcessDataCallbackW callback, wchar_t (&name)[WideEntryNameSize]) noexcept
    : wide_(callback), wideName_(name)
{
}

int HostProgress::Call(int size) noexcept
{
    return ansi_ ? ansi_(ansiName_, size) : wide_ ? wide_(wideName_, size) : 1;
}

bool HostProgress::KeepGoing() noexcept
{
    return Call(0) != 0;
}

void HostProgress::Finished(std::uint64_t bytes) noexcept
{
    constexpr std::uint64_t largest = 0x7FFFFFFF;
    Call(static_cast<int>(bytes < largest ? bytes : largest));
}

int ExtractEntry(const wchar_t* document, std::wstring_view directory, std::wstring_view name, int listedEntry,
                 HostProgress& progress) noexcept
{
    ConverterSettings settings;
    CopyConverterSettings(settings);
    // Without a setting there is no converter to run, and the marker text must not be
    // looked for as a program in the host's folders.
    if (settings.ConverterPath.Text() == SettingNotFound) {
        return ResultCannotCreateOutput;
    }
    WideHeapText target;
    if (!target.Build([&](WideTextBuilder& out) { AppendTargetPath(out, directory, name); })) {
        return ResultCannotCreateOutput;
    }
    const std::wstring_view targetPath = target.Text();
    // A target of 32,767 characters or more names no file Windows can make.
    if (HoldsQuote(settings.ConverterPath.Text()) || HoldsQuote(std::wstring_view(document)) ||
        HoldsQuote(targetPath) || targetPath.size() >= MaxCommandLineSize) {
        return ResultCannotCreateOutput;
    }
    // Only a program Windows can wait on is started: success is said only after its end.
    WideHeapText program;
    if (!ProgramOf(settings.ConverterPath.Text(), program) || !IsWaitableProgram(program.Data())) {
        return ResultCannotCreateOutput;
    }
    // The host named the target as the output and has dealt with overwriting; a target
    // left from an earlier run must not pass for this run's text. The document itself is
    // never the output, however its path is spelt.
    if (AreSameFile(document, target.Data()) || !RemoveStaleTarget(target.Data())) {
        return ResultCannotCreateOutput;
    }
    RemoveAbandonedTemporaryFiles(FolderOf(targetPath));

    // What the converter is handed: paths it can open through the ANSI code page.
    TargetFolderForm folder(targetPath);
    std::wstring_view folderForm;
    WideHeapText documentForm;
    TemporaryFile documentLink;
    std::wstring_view documentArgument;
    if (ConverterFormOf(document, documentForm)) {
        documentArgument = documentForm.Text();
    } else if (folder.Get(folderForm) && documentLink.Name(folderForm, L".pdf") && documentLink.LinkOrCopy(document)) {
        documentArgument = documentLink.Text();
    } else {
        return ResultCannotCreateOutput;
    }
    TemporaryFile targetStandIn;
    std::wstring_view targetArgument = targetPath;
    if (!IsConverterForm(targetPath)) {
        if (!folder.Get(folderForm) || !targetStandIn.Name(folderForm, L".txt")) {
            return ResultCannotCreateOutput;
        }
        targetArgument = targetStandIn.Text();
    }

    WideHeapText line;
    if (!line.Build([&](WideTextBuilder& out) {
            AppendCommandLine(out, settings.ConverterPath.Text(), EncodingOptionOf(listedEntry, targetPath),
                              documentArgument, targetArgument);
        }) ||
        line.Size() > MaxCommandLineSize) {
        return ResultCannotCreateOutput; // passed whole or not at all: a cut line names another target
    }
    RunWatch watch;
    if (progress.Wanted()) {
        watch.keepGoing = AskHost;
        watch.context = &progress;
    }
    const LaunchResult run = RunCommandLine(line.Data(), watch);
    if (!run.started) {
        return ResultCannotCreateOutput;
    }
    if (run.cancelled) {
        RemoveStaleTarget(target.Data()); // a partly written text must not pass for the entry
        return ResultAborted;
    }
    if (!run.exitCodeKnown) {
        return ResultWriteError;
    }
    if (run.exitCode == 0 && targetStandIn.Path() && IsExistingFile(targetStandIn.Path()) &&
        !targetStandIn.MoveTo(target.Data())) {
        return ResultCannotCreateOutput;
    }
    const bool written = IsExistingFile(target.Data());
    progress.Finished(written ? FileSizeOf(target.Data()) : 0);
    return ResultOfConversion(run.exitCode, written);
}
