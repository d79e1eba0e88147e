#include "Extraction.h"

#include "CommandLine.h"
#include "ConverterLaunch.h"
#include "ConverterPaths.h"
#include "ConverterSetting.h"
#include "CodePage.h"
#include "EntryText.h"
#include "ProgramKind.h"
#include "HeapText.h"
#include "ModuleState.h"
#include "ResultCodes.h"
#include "TargetFile.h"
#include "TextCache.h"
#include "BoxFreeCall.h"
#include "UniqueHandle.h"

#include <windows.h>

namespace {

// The converter's exit code for an output file it could not open.
constexpr std::uint32_t ConverterCannotWriteOutput = 2;

// The folder for the stand-ins, in a form the converter can open, found once when first needed.
class TargetFolderForm {
public:
    TargetFolderForm(std::wstring_view target, bool forBatch) noexcept : folder_(FolderOf(target)), forBatch_(forBatch)
    {
    }

    bool Get(std::wstring_view& form) noexcept
    {
        if (!tried_) {
            tried_ = true;
            ready_ = StandInFolderFor(folder_, form_, forBatch_);
        }
        form = form_.Text();
        return ready_;
    }

private:
    std::wstring_view folder_;
    bool forBatch_;
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

RunWatch WatchFor(HostProgress& progress) noexcept
{
    RunWatch watch;
    if (progress.Wanted()) {
        watch.keepGoing = AskHost;
        watch.context = &progress;
    }
    return watch;
}

// What one extraction works with once its checks have passed.
struct Extraction {
    const ArchiveId& archive;
    std::wstring_view converter;
    const wchar_t* document;
    const WideHeapText& target;
    std::string_view option; // the encoding option of the entry the host last listed
    TargetFolderForm& folder;
    HostProgress& progress;
    bool batch; // run by the command interpreter, which reads its arguments its own way
    const wchar_t* program; // the converter's file
    // What the document's texts are kept by, learned when first needed: an entry written
    // from its archive's shared text needs none, and each query costs a volume lookup.
    enum class Key { Unasked, Known, None } keyState = Key::Unasked;
    TextKey key = {};
};

// The document's identity, the converter's and the code page: what a kept text is kept by.
bool ReadKeyOf(const Extraction& x, TextKey& key) noexcept
{
    const wchar_t* document = x.document;
    const UniqueHandle<> file(BoxFreeCall([document] {
        return ::CreateFileW(document, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    }).value);
    BY_HANDLE_FILE_INFORMATION info = {};
    WIN32_FILE_ATTRIBUTE_DATA converter = {};
    const wchar_t* program = x.program;
    if (!file || !::GetFileInformationByHandle(file.Get(), &info) ||
        !BoxFreeCall([&] { return ::GetFileAttributesExW(program, GetFileExInfoStandard, &converter); }).value) {
        return false;
    }
    const auto wide = [](DWORD high, DWORD low) { return std::uint64_t{high} << 32 | low; };
    key.volume = info.dwVolumeSerialNumber;
    key.file = wide(info.nFileIndexHigh, info.nFileIndexLow);
    key.size = wide(info.nFileSizeHigh, info.nFileSizeLow);
    key.written = wide(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
    // FNV-1a over the converter's path and its last-write time: a converter replaced in place is another.
    std::uint64_t hash = 14695981039346656037ull;
    const auto mix = [&hash](std::uint64_t value) { hash = (hash ^ value) * 1099511628211ull; };
    for (const wchar_t c : x.converter) {
        mix(static_cast<std::uint64_t>(c));
    }
    mix(wide(converter.ftLastWriteTime.dwHighDateTime, converter.ftLastWriteTime.dwLowDateTime));
    key.converter = hash;
    key.codePage = ::GetACP();
    return true;
}

// Null when the texts cannot be kept.
const TextKey* KeyOf(Extraction& x) noexcept
{
    if (x.keyState == Extraction::Key::Unasked) {
        x.keyState = ReadKeyOf(x, x.key) ? Extraction::Key::Known : Extraction::Key::None;
    }
    return x.keyState == Extraction::Key::Known ? &x.key : nullptr;
}

// A kept file, closed (and so removed once no other handle holds it) when its owner goes.
struct HeldFile {
    KeptFile file;
    ~HeldFile()
    {
        ReleaseHeldText(file.handle);
        ReleaseHeapText(file.path);
    }
};

void CloseReleased(const Released& released) noexcept
{
    for (std::size_t i = 0; i < released.count; ++i) {
        ReleaseHeldText(released.files[i].handle);
        ReleaseHeapText(released.files[i].path);
    }
}

// A second handle to a kept file and a copy of its name, for another owner.
bool ShareKeptFile(const wchar_t* path, void* handle, std::uint64_t bytes, KeptFile& copy) noexcept
{
    HANDLE second = nullptr;
    WideHeapText name;
    if (!handle || !name.Build([&](WideTextBuilder& out) { out.Append(std::wstring_view(path)); }) ||
        !::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &second, 0, FALSE,
                           DUPLICATE_SAME_ACCESS)) {
        return false;
    }
    copy = {name.Release(), second, bytes};
    return true;
}

// The room the kept texts may take: a tenth of the temporary folder's free space.
std::uint64_t RoomForKeptTexts() noexcept
{
    wchar_t folder[MAX_PATH + 1];
    ULARGE_INTEGER free = {};
    const DWORD units = ::GetTempPathW(MAX_PATH + 1, folder);
    if (units == 0 || units > MAX_PATH ||
        !BoxFreeCall([&] { return ::GetDiskFreeSpaceExW(folder, &free, nullptr, nullptr); }).value) {
        return 0;
    }
    return free.QuadPart / KeptShareOfFreeSpace;
}

// Offers the cache a second handle to a file this extraction holds; it is closed again when
// the cache does not keep it.
template <class Keep>
void OfferToCache(const wchar_t* path, void* handle, Keep&& keep) noexcept
{
    KeptFile offered;
    if (!ShareKeptFile(path, handle, FileSizeOf(path), offered)) {
        return;
    }
    const std::uint64_t room = RoomForKeptTexts();
    Released dropped;
    bool kept = false;
    {
        TextCacheHold hold;
        kept = keep(hold.Cache(), offered, room, dropped);
    }
    CloseReleased(dropped);
    if (!kept) {
        dropped = Released();
        dropped.Add(offered);
        CloseReleased(dropped);
    }
}

// Whether a path reaches the converter as it is.
bool Passable(const Extraction& x, std::wstring_view path) noexcept
{
    return !x.batch || !HoldsInterpreterCharacter(path);
}

// The document in a form the converter can open: its path or short form, else a link or
// copy under a temporary name beside the target.
bool DocumentArgument(Extraction& x, WideHeapText& form, TemporaryFile& link, std::wstring_view& argument) noexcept
{
    std::wstring_view folderForm;
    if (ConverterFormOf(x.document, form) && Passable(x, form.Text())) {
        argument = form.Text();
        return true;
    }
    if (x.folder.Get(folderForm) && Passable(x, folderForm) && link.Name(folderForm, L".pdf") &&
        link.LinkOrCopy(x.document)) {
        argument = link.Text();
        return true;
    }
    return false;
}

// Runs `"converter"<option> -layout "document" "output"`; not started when the line is too
// long to pass whole (a cut line names another output).
LaunchResult RunConverter(Extraction& x, std::string_view option, std::wstring_view document,
                          std::wstring_view output) noexcept
{
    WideHeapText line;
    if (!line.Build([&](WideTextBuilder& out) { AppendCommandLine(out, x.converter, option, document, output); }) ||
        line.Size() > MaxCommandLineSize) {
        return LaunchResult();
    }
    return RunCommandLine(line.Data(), WatchFor(x.progress));
}

// The entry's own converter run, writing the target with the entry's encoding.
int OwnRun(Extraction& x) noexcept
{
    const std::wstring_view targetPath = x.target.Text();
    WideHeapText documentForm;
    TemporaryFile documentLink;
    std::wstring_view documentArgument;
    if (!DocumentArgument(x, documentForm, documentLink, documentArgument)) {
        return ResultCannotCreateOutput;
    }
    TemporaryFile targetStandIn;
    std::wstring_view targetArgument = targetPath;
    std::wstring_view folderForm;
    if (!IsConverterForm(targetPath) || !Passable(x, targetPath)) {
        if (!x.folder.Get(folderForm) || !Passable(x, folderForm) || !targetStandIn.Name(folderForm, L".txt")) {
            return ResultCannotCreateOutput;
        }
        targetArgument = targetStandIn.Text();
    }
    const LaunchResult run =
        RunConverter(x, x.option, documentArgument, targetArgument);
    if (!run.started) {
        return ResultCannotCreateOutput;
    }
    if (run.cancelled) {
        RemoveStaleTarget(x.target.Data()); // a partly written text must not pass for the entry
        return ResultAborted;
    }
    if (!run.exitCodeKnown) {
        return ResultWriteError;
    }
    if (run.exitCode == 0 && targetStandIn.Path() && IsExistingFile(targetStandIn.Path()) &&
        !targetStandIn.MoveTo(x.target.Data())) {
        return ResultCannotCreateOutput;
    }
    const bool written = IsExistingFile(x.target.Data());
    x.progress.Finished(written ? FileSizeOf(x.target.Data()) : 0);
    return ResultOfConversion(run.exitCode, written);
}

// What an extraction does with its archive's shared text.
enum class Claim { Make, Use, Answer, OwnRun };

// Under the archive lock: the text's path when it is ready, the answer when its run failed;
// Make when this thread is to make it now. An archive gone meanwhile has none.
Claim ClaimSharedText(const ArchiveId& id, WideHeapText& path, int& result) noexcept
{
    ArchiveTableHold hold;
    ArchiveState* state = hold.Table().Find(id.handle);
    if (!state) {
        return Claim::OwnRun;
    }
    switch (state->Text) {
    case SharedText::None:
        state->Text = SharedText::Making;
        return Claim::Make;
    case SharedText::Ready: {
        const std::wstring_view text = state->TextPath;
        return path.Build([&](WideTextBuilder& out) { out.Append(text); }) ? Claim::Use : Claim::OwnRun;
    }
    case SharedText::Failed:
        result = state->TextResult;
        return Claim::Answer;
    default:
        return Claim::OwnRun;
    }
}

// Under the archive lock: the outcome of this thread's run. The archive takes the text's
// file when it is still open; otherwise `path` stays the caller's, to remove.
void SettleSharedText(const ArchiveId& id, SharedText outcome, int result, wchar_t*& path, void*& handle) noexcept
{
    ArchiveTableHold hold;
    ArchiveState* state = hold.Table().Find(id.handle);
    if (!state || state->Text != SharedText::Making) {
        return;
    }
    state->Text = outcome;
    state->TextResult = result;
    if (outcome == SharedText::Ready) {
        state->TextPath = path;
        state->TextHandle = handle;
        path = nullptr;
        handle = nullptr;
    }
}

// The entry's encoding as a way to write it from the UTF-8 text; false when the converter
// must write it itself.
bool EncodingOfEntry(Extraction& x, const ConverterFacts& facts, UnicodeMap& map, EntryEncoding& encoding) noexcept
{
    if (x.option == " -enc UTF-8") {
        encoding.kind = EntryEncoding::Utf8;
        return true;
    }
    if (x.option == " -enc ANSI") {
        // The map of the ANSI code page, the one the plug-in and `encodings` put in place, or
        // a map of someone else's that the converter reads.
        if (facts.ansi == AnsiMap::Other) {
            encoding.kind = EntryEncoding::Map;
            encoding.map = &map;
            return ReadConverterMap(facts, x.converter, "ANSI", map) == MapFound::Yes;
        }
        encoding.kind = EntryEncoding::CodePage;
        encoding.codePage = ::GetACP();
        return encoding.codePage != CP_UTF8;
    }
    if (x.option == " -enc KOI8-R") {
        const MapFound found = ReadConverterMap(facts, x.converter, "KOI8-R", map);
        encoding.kind = found == MapFound::Yes ? EntryEncoding::Map : EntryEncoding::CodePage;
        encoding.codePage = Koi8RCodePage;
        encoding.map = &map;
        return found != MapFound::Unusable;
    }
    // The converter's default: UTF-8 for the data-folder family only.
    encoding.kind = EntryEncoding::Utf8;
    return facts.family == ConverterFamily::DataFolderMaps;
}

// What the converter tells of itself, asked at its first extraction of the load, the host's
// progress callback heard meanwhile; `stopped` when the host said stop.
ConverterFacts FactsOf(Extraction& x, bool& stopped) noexcept
{
    ConverterFacts facts;
    stopped = false;
    if (TakeConverterQuestion(x.converter, facts)) {
        facts = AskConverterFacts(x.converter, WatchFor(x.progress), stopped);
        if (stopped) {
            ReturnConverterQuestion(x.converter);
        } else {
            KeepConverterFacts(x.converter, facts);
        }
    }
    return facts;
}

constexpr int UseOwnRun = -1;

// A converter's text of the whole document or of some pages, written into a temporary file
// in the user's temporary folder, or beside the target.
LaunchResult RunIntoTemporaryFile(Extraction& x, std::string_view option, TemporaryFile& text) noexcept
{
    WideHeapText documentForm;
    TemporaryFile documentLink;
    std::wstring_view documentArgument;
    WideHeapText temporary;
    std::wstring_view folderForm;
    const bool inTemporary = TemporaryFolderForm(temporary) && Passable(x, temporary.Text());
    const bool named = (inTemporary && text.Name(temporary.Text(), L".txt")) ||
                       (x.folder.Get(folderForm) && Passable(x, folderForm) && text.Name(folderForm, L".txt"));
    if (!named || !DocumentArgument(x, documentForm, documentLink, documentArgument)) {
        return LaunchResult();
    }
    return RunConverter(x, option, documentArgument, text.Text());
}

// The converter's UTF-8 text, made into a temporary file the archive will own.
LaunchResult MakeSharedText(Extraction& x, TemporaryFile& text) noexcept
{
    WideHeapText temporary;
    if (TemporaryFolderForm(temporary)) {
        RemoveAbandonedTemporaryFiles(temporary.Text()); // texts of hosts that ended with archives open
    }
    return RunIntoTemporaryFile(x, " -enc UTF-8", text);
}

// The pages of the UTF-8 text the entry cannot be written from, written by the converter with
// the entry's encoding, and only those: it lays each page out on its own. Answers 0 when they
// are ready, ResultAborted when the host stopped it, UseOwnRun otherwise.
int RunUnderivedPages(Extraction& x, PageRun& pages, TemporaryFile& text, HeldFile& held) noexcept
{
    const int encoding = x.option == " -enc ANSI" ? 1 : 2;
    const TextKey* const key = KeyOf(x);
    if (key) {
        KeptFile kept;
        TextCacheHold hold;
        if (hold.Cache().FindPages(*key, encoding, pages.first, pages.last, kept) &&
            ShareKeptFile(kept.path, kept.handle, kept.bytes, held.file)) {
            pages.path = held.file.path;
            return ResultSuccess;
        }
    }
    char option[64];
    TextBuilder out(option, sizeof option);
    AppendPageRange(out, pages.first, pages.last);
    out.Append(x.option);
    if (out.Overflowed()) {
        return UseOwnRun;
    }
    const LaunchResult run = RunIntoTemporaryFile(x, std::string_view(option, out.Size()), text);
    if (run.cancelled) {
        RemoveStaleTarget(x.target.Data());
        return ResultAborted;
    }
    if (!run.started || !run.exitCodeKnown || run.exitCode != 0 || !IsExistingFile(text.Path())) {
        return UseOwnRun; // which has the converter's own answer
    }
    pages.path = text.Path();
    // Kept for a later search of the same document, held open so that it goes by itself.
    if (key && (held.file.handle = HoldWholeText(text.Path())) != nullptr) {
        held.file.path = text.Release();
        pages.path = held.file.path;
        OfferToCache(held.file.path, held.file.handle, [&](TextCache& cache, const KeptFile& file,
                                                           std::uint64_t room, Released& dropped) {
            return cache.KeepPages(*key, {encoding, pages.first, pages.last, file}, room, dropped);
        });
    }
    return ResultSuccess;
}

// A text this thread made for an archive closed meanwhile: removed once the entry is written.
struct OrphanText {
    wchar_t* path = nullptr;
    void* handle = nullptr;
    ~OrphanText()
    {
        ReleaseHeldText(handle);
        ReleaseHeapText(path);
    }
};

// The entry written from the archive's shared text, made first when there is none yet;
// UseOwnRun where that cannot be done.
int FromSharedText(Extraction& x) noexcept
{
    bool stopped = false;
    const ConverterFacts facts = FactsOf(x, stopped);
    if (stopped) {
        return ResultAborted;
    }
    UnicodeMap map;
    EntryEncoding encoding;
    if (facts.family == ConverterFamily::Unknown || !EncodingOfEntry(x, facts, map, encoding)) {
        return UseOwnRun;
    }
    WideHeapText path;
    int result = 0;
    TemporaryFile made;
    OrphanText orphan;
    switch (ClaimSharedText(x.archive, path, result)) {
    case Claim::OwnRun:
        return UseOwnRun;
    case Claim::Answer:
        x.progress.Finished(0);
        return result;
    case Claim::Use:
        break;
    case Claim::Make: {
        // Kept from an earlier archive of the same document, or being made for one now.
        TextCache::Claim found = TextCache::Claim::NotKept;
        KeptFile kept;
        // Read before the run, so that a text is kept under what the document was when it began.
        const TextKey* const key = KeyOf(x);
        if (key) {
            KeptText text;
            Released dropped;
            {
                TextCacheHold hold;
                found = hold.Cache().Find(*key, text, dropped);
                if (found == TextCache::Claim::Kept && !ShareKeptFile(text.text.path, text.text.handle, text.text.bytes, kept)) {
                    found = TextCache::Claim::NotKept;
                }
            }
            CloseReleased(dropped);
        }
        if (found == TextCache::Claim::BeingMade) {
            SettleSharedText(x.archive, SharedText::None, 0, orphan.path, orphan.handle);
            return UseOwnRun; // no thread waits for another's converter
        }
        if (found == TextCache::Claim::Kept) {
            orphan.path = kept.path;
            orphan.handle = kept.handle;
            if (!path.Build([&](WideTextBuilder& out) { out.Append(std::wstring_view(kept.path)); })) {
                SettleSharedText(x.archive, SharedText::None, 0, orphan.path, orphan.handle);
                return UseOwnRun;
            }
            SettleSharedText(x.archive, SharedText::Ready, 0, orphan.path, orphan.handle);
            break;
        }
        const LaunchResult run = MakeSharedText(x, made);
        wchar_t*& owned = orphan.path;
        SharedText outcome = SharedText::None;
        if (run.started && !run.cancelled && run.exitCodeKnown) {
            // Only a whole text: cut short, it would answer every entry with success.
            orphan.handle = run.exitCode == 0 && IsExistingFile(made.Path()) ? HoldWholeText(made.Path()) : nullptr;
            const bool written = orphan.handle != nullptr;
            outcome = written ? SharedText::Ready
                      : run.exitCode == 0 || run.exitCode == ConverterCannotWriteOutput ? SharedText::Unavailable
                                                                                       : SharedText::Failed;
            result = ResultOfConversion(run.exitCode, false);
            if (written && !path.Build([&](WideTextBuilder& out) { out.Append(made.Text()); })) {
                outcome = SharedText::Unavailable;
            }
            owned = outcome == SharedText::Ready ? made.Release() : nullptr;
            if (!owned) {
                ReleaseHeldText(orphan.handle);
                orphan.handle = nullptr;
            }
        }
        if (found == TextCache::Claim::Make) {
            if (owned) {
                OfferToCache(owned, orphan.handle, [&](TextCache& cache, const KeptFile& file, std::uint64_t room,
                                                       Released& dropped) { return cache.Keep(*key, file, room, dropped); });
            }
            TextCacheHold hold;
            hold.Cache().Forget(*key); // when it was not kept
        }
        // Left to this thread if the archive went.
        SettleSharedText(x.archive, outcome, result, owned, orphan.handle);
        if (!run.started) {
            return UseOwnRun; // which answers as it always has when no converter starts
        }
        if (run.cancelled) {
            RemoveStaleTarget(x.target.Data());
            return ResultAborted;
        }
        if (!run.exitCodeKnown) {
            return ResultWriteError;
        }
        if (outcome == SharedText::Failed) {
            x.progress.Finished(0);
            return result;
        }
        if (outcome != SharedText::Ready) {
            return UseOwnRun;
        }
        break;
    }
    }
    UnderivedPages underived;
    WriteWatch watch;
    if (x.progress.Wanted()) {
        watch.keepGoing = AskHost;
        watch.context = &x.progress;
    }
    EntryWrite write = WriteEntryFromText(path.Data(), x.target.Data(), encoding, nullptr, underived, watch);
    // A page whose characters are not one byte each in the entry's encoding is laid out
    // otherwise than in the UTF-8 text: the converter writes those pages, unless it is all.
    PageRun pages;
    TemporaryFile pageText;
    HeldFile keptPages;
    if (write == EntryWrite::PagesNotDerived && !underived.All()) {
        pages.first = underived.First();
        pages.last = underived.Last();
        const int ran = RunUnderivedPages(x, pages, pageText, keptPages);
        if (ran != ResultSuccess) {
            return ran;
        }
        write = WriteEntryFromText(path.Data(), x.target.Data(), encoding, &pages, underived, watch);
    }
    switch (write) {
    case EntryWrite::Written:
        x.progress.Finished(FileSizeOf(x.target.Data()));
        return ResultSuccess;
    case EntryWrite::NotWritten:
        return ResultCannotCreateOutput;
    case EntryWrite::Stopped:
        return ResultAborted;
    default:
        return UseOwnRun;
    }
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

int ExtractEntry(const ArchiveId& archive, const wchar_t* document, std::wstring_view directory,
                 std::wstring_view name, int listedEntry, HostProgress& progress) noexcept
{
    RefreshConverterSettings();
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
    // Started by a path its ANSI code page holds where it has one: the converter finds its
    // data from its own module path, read in that code page.
    WideHeapText converterForm;
    const std::wstring_view converter =
        ConverterFormOf(program.Data(), converterForm) ? converterForm.Text() : settings.ConverterPath.Text();
    // The host named the target as the output and has dealt with overwriting; a target
    // left from an earlier run must not pass for this run's text. The document itself is
    // never the output, however its path is spelt.
    if (AreSameFile(document, target.Data()) || !RemoveStaleTarget(target.Data())) {
        return ResultCannotCreateOutput;
    }
    RemoveAbandonedTemporaryFiles(FolderOf(targetPath));
    // The command interpreter would read a batch converter's own path its way too.
    const bool batch = IsBatchFileName(program.Text());
    if (batch && HoldsInterpreterCharacter(converter)) {
        return ResultCannotCreateOutput;
    }
    TargetFolderForm folder(targetPath, batch);
    Extraction extraction = {archive,   converter, document, target, EncodingOptionOf(listedEntry, targetPath),
                             folder,    progress,  batch,    program.Data()};
    const int shared = FromSharedText(extraction);
    return shared != UseOwnRun ? shared : OwnRun(extraction);
}

void ReleaseKeptTexts() noexcept
{
    for (bool more = true; more;) {
        Released dropped;
        {
            TextCacheHold hold;
            more = hold.Cache().DropAny(dropped);
        }
        CloseReleased(dropped);
    }
}

void ReleaseArchive(const ArchiveState& closed) noexcept
{
    ReleaseHeapText(closed.WidePath);
    // The handle's close removes the text: no file call, so that this may run under the
    // loader lock when the library is unloaded.
    ReleaseHeldText(closed.TextHandle);
    ReleaseHeapText(closed.TextPath);
}
