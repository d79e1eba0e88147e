#include "SetupCommands.h"

#include "CodePage.h"
#include "CommandLine.h"
#include "ProgramKind.h"
#include "ConverterSetup.h"
#include "HostText.h"
#include "PathLimits.h"
#include "PluginHost.h"
#include "ResultCodes.h"
#include "UniqueHandle.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr DWORD ConverterTimeoutMs = 60000;

// Paths and texts are held in UTF-8 and handed to Windows in UTF-16, so that a library, a
// converter or a document in a folder of any name works, and is shown as it is.
std::wstring Wide(const std::string& utf8)
{
    return WideFrom(utf8, CP_UTF8);
}

std::string Utf8(const std::wstring& wide)
{
    return NarrowFrom(wide, CP_UTF8);
}

std::string FullPathOf(const std::string& path)
{
    std::vector<wchar_t> full(32768);
    const DWORD length = ::GetFullPathNameW(Wide(path).c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    return length > 0 && length < full.size() ? Utf8(std::wstring(full.data(), length)) : path;
}

bool Exists(const std::string& path)
{
    return ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ReadWhole(const std::string& path, std::string& content)
{
    UniqueHandle<> file(::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    content.clear();
    if (!file) {
        return false;
    }
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        content.append(buffer, read);
    }
    return true;
}

bool WriteWhole(const std::string& path, const std::string& content)
{
    UniqueHandle<> file(::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
           written == content.size();
}

// Creates the folder and any missing folder above it.
bool CreateFolders(const std::string& folder)
{
    for (std::size_t at = folder.find('\\', 3); at != std::string::npos; at = folder.find('\\', at + 1)) {
        ::CreateDirectoryW(Wide(folder.substr(0, at)).c_str(), nullptr);
    }
    return ::CreateDirectoryW(Wide(folder).c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

// As the plug-in tells it: a Windows image or a batch file, a program Windows can wait on.
// Anything else the plug-in does not start.
bool IsWindowsProgram(const std::string& path)
{
    if (IsBatchFileName(Wide(path))) {
        return true;
    }
    std::string bytes;
    if (!ReadWhole(path, bytes)) {
        return false;
    }
    const auto* head = reinterpret_cast<const unsigned char*>(bytes.data());
    std::uint32_t offset = 0;
    return ImageHeaderOffsetOf(head, bytes.size(), offset) && offset < bytes.size() &&
           IsImageSignature(head + offset, bytes.size() - offset);
}

constexpr const char* NotAWindowsProgram =
    "the converter is not a Windows program; the plug-in needs a Windows build of pdftotext";

struct CloseFindHandle {
    static void Close(HANDLE handle) noexcept { ::FindClose(handle); }
};

bool IsFolder(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The Windows programs in the usual places under the plug-in's folder (`folder`, ending
// with a backslash), as paths from it.
std::vector<std::string> UsualConvertersUnder(const std::string& folder)
{
    std::vector<std::string> found;
    for (const std::string& place : UsualConverterPlaces()) {
        std::vector<std::string> candidates;
        const std::size_t slash = place.find('\\');
        if (place.find('*') == std::string::npos) {
            candidates.push_back(place);
        } else {
            WIN32_FIND_DATAW entry;
            const UniqueHandle<CloseFindHandle> search(::FindFirstFileW(Wide(folder + place.substr(0, slash)).c_str(), &entry));
            for (bool more = search.IsValid(); more; more = ::FindNextFileW(search.Get(), &entry)) {
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    candidates.push_back(Utf8(entry.cFileName) + place.substr(slash));
                }
            }
            std::sort(candidates.begin(), candidates.end());
        }
        for (const std::string& candidate : candidates) {
            const std::string path = folder + candidate;
            if (Exists(path) && !IsFolder(path) && IsWindowsProgram(path)) {
                found.push_back(candidate);
            }
        }
    }
    return found;
}

std::string SystemMessage(DWORD error)
{
    wchar_t text[512] = {};
    ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, 512,
                     nullptr);
    std::string message = Utf8(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    return "error " + std::to_string(error) + (message.empty() ? "" : " (" + message + ")");
}

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

// A fresh folder under the temporary folder, removed with its files when the owner goes.
class TemporaryFolder {
public:
    // Under `parent` (ending with a backslash), or else under the temporary folder.
    explicit TemporaryFolder(std::string parent = std::string())
    {
        if (parent.empty()) {
            wchar_t temp[MAX_PATH + 1];
            ::GetTempPathW(MAX_PATH + 1, temp);
            parent = Utf8(temp);
        }
        for (unsigned serial = 0; serial < 1000 && path_.empty(); ++serial) {
            const std::string path = parent + "PaperlensHost-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                     std::to_string(serial);
            if (::CreateDirectoryW(Wide(path).c_str(), nullptr)) {
                path_ = path;
            }
        }
    }
    ~TemporaryFolder()
    {
        if (path_.empty()) {
            return;
        }
        WIN32_FIND_DATAW found;
        const HANDLE search = ::FindFirstFileW(Wide(path_ + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                ::DeleteFileW((Wide(path_ + "\\") + found.cFileName).c_str());
            } while (::FindNextFileW(search, &found));
            ::FindClose(search);
        }
        ::RemoveDirectoryW(Wide(path_).c_str());
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    bool IsValid() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

struct CapturedRun {
    bool started = false;
    DWORD error = 0; // why it could not start, or could not be waited for
    bool detached = false; // started, but Windows gave no handle to wait on
    bool waitFailed = false;
    bool ended = false;
    DWORD exitCode = 0;
    std::string output; // standard output and standard error together
};

// Runs a command line hidden, as the plug-in does, but with its output captured and at
// most a minute allowed.
CapturedRun RunCaptured(const std::string& commandLine)
{
    CapturedRun run;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        run.error = ::GetLastError();
        return run;
    }
    UniqueHandle<> reader(readEnd);
    UniqueHandle<> writer(writeEnd);
    ::SetHandleInformation(reader.Get(), HANDLE_FLAG_INHERIT, 0);
    UniqueHandle<> nothing(::CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                         OPEN_EXISTING, 0, nullptr));

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = nothing.Get();
    startup.hStdOutput = writer.Get();
    startup.hStdError = writer.Get();
    PROCESS_INFORMATION created = {};
    std::wstring line = Wide(commandLine);
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &created)) {
        run.error = ::GetLastError();
        return run;
    }
    run.started = true;
    if (!created.hProcess) {
        // Wine starts a Unix program detached: it reports success with no process handle,
        // and the thread handle it leaves is no handle of this process, so it is not closed.
        run.detached = true;
        return run;
    }
    const UniqueHandle<> process(created.hProcess);
    const UniqueHandle<> thread(created.hThread);
    writer.Reset(); // only the converter writes now

    // Read as it comes, so that a converter with much to say never stalls on a full pipe.
    // The minute is measured on the clock: a wait that returns at once must not shorten it.
    char buffer[4096];
    const ULONGLONG deadline = ::GetTickCount64() + ConverterTimeoutMs;
    for (;;) {
        DWORD available = 0;
        while (::PeekNamedPipe(reader.Get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            DWORD read = 0;
            if (!::ReadFile(reader.Get(), buffer, sizeof buffer, &read, nullptr) || read == 0) {
                break;
            }
            run.output.append(buffer, read);
        }
        if (run.ended) {
            break;
        }
        const DWORD waited = ::WaitForSingleObject(process.Get(), 20);
        if (waited == WAIT_OBJECT_0) {
            run.ended = true; // one more pass drains what it wrote last
        } else if (waited == WAIT_FAILED) {
            run.waitFailed = true;
            run.error = ::GetLastError();
            ::TerminateProcess(process.Get(), 1);
            break;
        } else if (::GetTickCount64() >= deadline) {
            ::TerminateProcess(process.Get(), 1);
            ::WaitForSingleObject(process.Get(), 5000);
            break;
        }
    }
    ::GetExitCodeProcess(process.Get(), &run.exitCode);
    return run;
}

// The converter's message, on one line per line, indented.
void SayOutput(const std::string& output)
{
    std::size_t start = 0;
    while (start < output.size()) {
        const std::size_t end = std::min(output.find('\n', start), output.size());
        std::string line = output.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) { // in the converter's code page
            SayUtf8("      %s\n", Utf8(WideFrom(line, CP_ACP)).c_str());
        }
        start = end + 1;
    }
}

std::string DescribeRun(const CapturedRun& run)
{
    if (!run.started) {
        return "could not be started: " + SystemMessage(run.error);
    }
    if (run.detached) {
        return "was started detached, with no handle to wait on: it is not a Windows program";
    }
    if (run.waitFailed) {
        return "could not be waited for: " + SystemMessage(run.error);
    }
    if (!run.ended) {
        return "did not end within a minute and was stopped";
    }
    return "exits " + std::to_string(run.exitCode) + ": " + MeaningOfConverterExit(run.exitCode);
}

// What the library's settings name, found as the plug-in finds it.
struct Installation {
    std::string library;
    std::string settings;
    std::string setting; // empty when the settings name no converter
    std::size_t settingLength = 0; // in UTF-16 units, as the plug-in counts
    std::string converter;
};

// The plug-in reads no longer setting: cut, it would name another program.
constexpr std::size_t LongestSetting = 255;

Installation InstallationOf(const std::string& libraryPath)
{
    Installation found;
    found.library = FullPathOf(libraryPath);
    found.settings = FolderOf(found.library) + "Paperlens.ini";
    wchar_t value[1024] = {};
    found.settingLength = ::GetPrivateProfileStringW(L"Converters", L"PDF", L"", value, 1024, Wide(found.settings).c_str());
    found.setting = Utf8(value);
    if (!found.setting.empty() && found.settingLength <= LongestSetting) {
        found.converter = ConverterPathFor(found.library, found.setting);
    }
    // Run, as the plug-in runs it, by a path its ANSI code page holds where it has one: the
    // converter finds its data by its own path, read in that code page.
    wchar_t shortForm[MAX_PATH];
    const std::wstring converter = Wide(found.converter);
    const DWORD length = converter.empty() || IsAnsiExact(converter)
                             ? 0
                             : ::GetShortPathNameW(converter.c_str(), shortForm, MAX_PATH);
    if (length > 0 && length < MAX_PATH && IsAnsiExact(std::wstring_view(shortForm, length))) {
        found.converter = Utf8(std::wstring(shortForm, length));
    }
    return found;
}

// The line to write in Paperlens.ini: the converter found in the usual places under the
// plug-in's folder, else the release's default.
std::string SuggestedSettingLine(const Installation& found)
{
    for (const std::string& relative : UsualConvertersUnder(FolderOf(found.library))) {
        const std::string line = SettingLineFor(relative);
        if (!line.empty() && Wide(relative).size() <= LongestSetting) {
            return line;
        }
    }
    return SettingLineFor(UsualConverterPlaces().front());
}

// Gives the programs this tool starts without handles of their own (the library's
// converters) no standard output or error while it lives: the file manager shows them
// nowhere, and check shows the converter's message itself, once.
class QuietStandardOutput {
public:
    QuietStandardOutput()
        : output_(::GetStdHandle(STD_OUTPUT_HANDLE)), error_(::GetStdHandle(STD_ERROR_HANDLE)),
          nothing_(::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr))
    {
        std::fflush(stdout);
        std::fflush(stderr);
        if (nothing_) {
            ::SetStdHandle(STD_OUTPUT_HANDLE, nothing_.Get());
            ::SetStdHandle(STD_ERROR_HANDLE, nothing_.Get());
        }
    }
    ~QuietStandardOutput()
    {
        ::SetStdHandle(STD_OUTPUT_HANDLE, output_);
        ::SetStdHandle(STD_ERROR_HANDLE, error_);
    }
    QuietStandardOutput(const QuietStandardOutput&) = delete;
    QuietStandardOutput& operator=(const QuietStandardOutput&) = delete;

private:
    HANDLE output_; // the process's own, not owned here
    HANDLE error_;
    UniqueHandle<> nothing_;
};

// Runs the converter on a tiny document of its own with the encoding asked for.
bool Knows(const std::string& converter, const std::string& encoding, const TemporaryFolder& folder,
           CapturedRun* failed = nullptr)
{
    const std::string document = folder / "probe.pdf";
    const std::string target = folder / ("probe-" + encoding + ".txt");
    if (!Exists(document) && !WriteWhole(document, ProbeDocument())) {
        return false;
    }
    const CapturedRun run =
        RunCaptured(Quoted(converter) + " -enc " + encoding + " -layout " + Quoted(document) + " " + Quoted(target));
    const bool known = run.ended && run.exitCode == 0 && Exists(target);
    ::DeleteFileW(Wide(target).c_str());
    if (!known && failed) {
        *failed = run;
    }
    return known;
}

// The code page's map, as the plug-in writes it when the converter has none.
std::string CodePageMap(UINT codePage)
{
    std::string text(1 << 20, '\0');
    TextBuilder out(text.data(), text.size());
    AppendCodePageMap(out, codePage);
    text.resize(out.Overflowed() ? 0 : out.Size());
    return text;
}

// The data folder the converter reads its maps from, told by the converter: a probe map
// placed in each candidate folder in turn, asked for with a document that does not exist
// (exit 1: the map was found; 99: it was not). Empty when no candidate is the one; then
// `unwritable` names a maps folder the probe could not be written into, if any. With
// `makeMissing`, candidates that do not exist are made for the probe, and those that are
// not the one go again: a build that ships no data still reads a folder of its own.
std::string DataFolderOf(const std::string& converter, std::string& unwritable, bool makeMissing = false)
{
    std::string probe;
    std::vector<std::pair<int, std::string>> made; // folders made for the probe, outermost first
    const int level = DataFolderLevelOf(
        [&](int at) {
            const std::string data = DataFolderCandidateFor(converter, at);
            if (data.empty()) {
                return false;
            }
            const std::string maps = data + "\\unicodeMap";
            probe = maps + "\\~paperlens-probe-" + std::to_string(::GetCurrentProcessId());
            for (std::size_t end = FolderOf(data).size(); makeMissing && !IsFolder(maps);
                 end = maps.find('\\', end + 1)) {
                const std::string folder = maps.substr(0, end == std::string::npos ? maps.size() : end);
                if (!IsFolder(folder)) {
                    if (!::CreateDirectoryW(Wide(folder).c_str(), nullptr)) {
                        break;
                    }
                    made.emplace_back(at, folder);
                }
            }
            if (!IsFolder(maps)) {
                return false;
            }
            if (!WriteWhole(probe, "0020 20\n")) {
                unwritable = maps;
                return false;
            }
            return true;
        },
        [&] {
            const CapturedRun run = RunCaptured(Quoted(converter) + " -enc " + probe.substr(probe.rfind('\\') + 1) +
                                                " " + Quoted(probe + ".pdf"));
            return !run.ended || (run.exitCode != 1 && run.exitCode != 99) ? -1 : run.exitCode == 1 ? 1 : 0;
        },
        [&](int) { ::DeleteFileW(Wide(probe).c_str()); });
    for (auto folder = made.rbegin(); folder != made.rend(); ++folder) {
        if (folder->first != level) {
            ::RemoveDirectoryW(Wide(folder->second).c_str());
        }
    }
    return level < 0 ? std::string() : DataFolderCandidateFor(converter, level);
}

// Whether a file can be made in the folder, tried with one that goes again at once.
bool IsWritableFolder(const std::string& folder)
{
    const std::string trial = folder + "\\~paperlens-trial-" + std::to_string(::GetCurrentProcessId());
    const bool written = WriteWhole(trial, "");
    ::DeleteFileW(Wide(trial).c_str());
    return written;
}

// Why the converter's data folder could not be told, and what to do.
std::string NoDataFolder(const Installation& found, const std::string& unwritable)
{
    if (!unwritable.empty()) {
        return "the plug-in may not write into " + unwritable + ", where the converter keeps its encoding maps: "
               "it cannot tell which folder the converter reads, nor put the ANSI map there; let your user write "
               "into that folder, or run PaperlensHost encodings once as a user who may";
    }
    return "the converter reads its maps from none of the folders its builds use (share\\poppler beside it, or "
           "one or two folders up), so it cannot write ANSI or KOI8-R; unpack the converter's whole folder again" +
           std::string(IsAnsiExact(Wide(FolderOf(found.library)))
                           ? ""
                           : ", into a folder whose name uses only letters of this system's language");
}

enum class Placed { Wrote, Found, Failed };

Placed PlaceFile(const std::string& path, const std::string& content)
{
    std::string existing;
    if (ReadWhole(path, existing) && existing == content) {
        SayUtf8("found in place %s\n", path.c_str());
        return Placed::Found;
    }
    if (!CreateFolders(FolderOf(path).substr(0, FolderOf(path).size() - 1)) || !WriteWhole(path, content)) {
        SayUtf8("cannot write %s: %s\n", path.c_str(), SystemMessage(::GetLastError()).c_str());
        return Placed::Failed;
    }
    SayUtf8("wrote %s\n", path.c_str());
    return Placed::Wrote;
}

// Runs `-v` and says which family the converter belongs to.
ConverterFamily SayVersion(const std::string& converter, std::string& line)
{
    const CapturedRun run = RunCaptured(Quoted(converter) + " -v");
    line = VersionLineOf(run.output);
    const ConverterFamily family = ConverterFamilyOf(run.output);
    if (!run.started) {
        line = "the converter " + DescribeRun(run);
    }
    return family;
}

const char* NameOf(ConverterFamily family)
{
    return family == ConverterFamily::DataFolderMaps   ? "maps in its data folder"
           : family == ConverterFamily::ConfigFileMaps ? "maps named in its xpdfrc"
                                                       : "unknown";
}

} // namespace

int MakeEncodings(const std::wstring& libraryPath)
{
    const Installation found = InstallationOf(Utf8(libraryPath));
    if (found.converter.empty()) {
        SayUtf8("%s names no converter ([Converters] PDF=); run %s check to see why\n", found.settings.c_str(),
                ToolName().c_str());
        return 1;
    }
    if (!Exists(found.converter)) {
        SayUtf8("the converter %s does not exist; run %s check to see why\n", found.converter.c_str(),
                ToolName().c_str());
        return 1;
    }
    if (!IsWindowsProgram(found.converter)) {
        SayUtf8("%s: %s\n", found.converter.c_str(), NotAWindowsProgram);
        return 1;
    }
    std::string version;
    const ConverterFamily family = SayVersion(found.converter, version);
    SayUtf8("converter %s\n  %s (%s)\n", found.converter.c_str(), version.c_str(), NameOf(family));
    if (family == ConverterFamily::Unknown) {
        SayUtf8("its version output names no version of either converter family, so where it reads encoding maps is "
            "unknown\n");
        return 1;
    }
    TemporaryFolder scratch;
    if (!scratch.IsValid()) {
        SayUtf8("cannot create a temporary folder\n");
        return 1;
    }
    const UINT ansi = ::GetACP();
    std::string unwritable;
    std::string data = family == ConverterFamily::DataFolderMaps ? DataFolderOf(found.converter, unwritable) : "";
    if (family == ConverterFamily::DataFolderMaps && data.empty() && unwritable.empty()) {
        data = DataFolderOf(found.converter, unwritable, true);
    }
    if (family == ConverterFamily::DataFolderMaps && data.empty()) {
        SayUtf8("%s\n", NoDataFolder(found, unwritable).c_str());
        return 1;
    }
    if (!data.empty()) {
        SayUtf8("  reads its data from %s\n", data.c_str());
    }
    const std::string folder = family == ConverterFamily::DataFolderMaps ? data + "\\unicodeMap\\"
                                                                   : FolderOf(found.converter);
    const std::string suffix = family == ConverterFamily::DataFolderMaps ? "" : ".unicodeMap";
    struct Wanted {
        const char* name;
        UINT codePage;
    };
    int failures = 0;
    std::vector<std::string> xpdfrcLines;
    for (const Wanted& wanted : {Wanted{"ANSI", ansi}, Wanted{"KOI8-R", Koi8R}}) {
        const std::string path = folder + wanted.name + suffix;
        const std::string map = CodePageMap(wanted.codePage);
        std::string existing;
        const bool ours = ReadWhole(path, existing) && existing == map;
        // KOI8-R is the same everywhere: a converter that brings its own map keeps it.
        if (!ours && wanted.codePage == Koi8R && Knows(found.converter, wanted.name, scratch)) {
            SayUtf8("KOI8-R: the converter's own data has it\n");
            continue;
        }
        if (map.empty()) {
            SayUtf8("%s: code page %u holds no character this system can convert\n", wanted.name, wanted.codePage);
            ++failures;
            continue;
        }
        failures += PlaceFile(path, map) == Placed::Failed;
        const std::string quoted = path.find(' ') == std::string::npos ? path : Quoted(path);
        xpdfrcLines.push_back(std::string("unicodeMap ") + wanted.name + " " + quoted);
    }
    if (family == ConverterFamily::ConfigFileMaps && !xpdfrcLines.empty()) {
        const std::string xpdfrc = FolderOf(found.converter) + "xpdfrc";
        std::string existing;
        ReadWhole(xpdfrc, existing);
        failures += PlaceFile(xpdfrc, ConfigFileWith(existing, xpdfrcLines)) == Placed::Failed;
    }
    for (const char* name : {"ANSI", "KOI8-R"}) {
        CapturedRun run;
        if (!Knows(found.converter, name, scratch, &run)) {
            SayUtf8("the converter still does not know %s: it %s\n", name, DescribeRun(run).c_str());
            SayOutput(run.output);
            ++failures;
        }
    }
    if (failures == 0) {
        SayUtf8("the converter knows ANSI (code page %u) and KOI8-R\n", ansi);
    }
    return failures == 0 ? 0 : 1;
}

namespace {

// Windows answers error 193 for a library of the other width and for a file that is no
// program at all; the file's first bytes tell which.
std::string WhyNoImage(const std::string& library)
{
    std::string head;
    ReadWhole(library, head);
    const ImageKind kind = ImageKindOf(head.substr(0, 4096));
    if (kind == (sizeof(void*) == 8 ? ImageKind::Width32 : ImageKind::Width64)) {
        return "it is built for the other width; use PaperlensHost.exe for Paperlens.wcx and PaperlensHost64.exe "
               "for Paperlens.wcx64";
    }
    if (kind == ImageKind::OtherMachine) {
        return "it is a program library for another kind of processor; use the one from the release archive";
    }
    if (kind == ImageKind::NotAProgram) {
        return "it is no program library at all, but some other file under this name (damaged, cut short or "
               "saved over); unpack it again from the release archive";
    }
    return "it is built for this width, but Windows takes it for no valid program: it is damaged; unpack it "
           "again from the release archive";
}

// Counts what does not work, and says each on a line of its own.
class Findings {
public:
    void Problem(const std::string& text)
    {
        SayUtf8("  PROBLEM: %s\n", text.c_str());
        ++problems_;
    }
    int Problems() const { return problems_; }

private:
    int problems_ = 0;
};

std::vector<std::string> ProfileList(DWORD (*read)(wchar_t*, DWORD, const std::wstring&), const std::string& path)
{
    std::vector<wchar_t> buffer(32768);
    const DWORD length = read(buffer.data(), static_cast<DWORD>(buffer.size()), Wide(path));
    std::vector<std::string> items;
    for (std::size_t at = 0; at < length && buffer[at];) {
        const std::wstring item = buffer.data() + at;
        items.push_back(Utf8(item));
        at += item.size() + 1;
    }
    return items;
}

// Says what is wrong with the settings, the way a user would look for it.
void CheckSettings(const Installation& found, Findings& findings)
{
    SayUtf8("settings   %s: %s\n", found.settings.c_str(), Exists(found.settings) ? "found" : "missing");
    if (!Exists(found.settings)) {
        if (Exists(found.settings + ".txt")) {
            findings.Problem("it is missing, but Paperlens.ini.txt lies there: the file was saved with an extra "
                             ".txt (Windows may hide it); rename it to Paperlens.ini");
        } else {
            findings.Problem("it is missing: the plug-in refuses to load without it; create it beside the library "
                             "with the lines [Converters] and " + SuggestedSettingLine(found));
        }
        return;
    }
    if (found.settingLength > LongestSetting) {
        findings.Problem("its value PDF= is " + std::to_string(found.settingLength) +
                         " characters long: the plug-in reads at most " + std::to_string(LongestSetting) +
                         " and refuses to load with a longer one, which cut would name another program; "
                         "move the converter's folder so that its path is shorter");
        return;
    }
    if (!found.setting.empty()) {
        SayUtf8("setting    [Converters] PDF=%s\n", found.setting.c_str());
        return;
    }
    const auto sections = ProfileList(
        [](wchar_t* buffer, DWORD size, const std::wstring& path) {
            return ::GetPrivateProfileSectionNamesW(buffer, size, path.c_str());
        },
        found.settings);
    bool hasSection = false;
    std::string names;
    for (const std::string& name : sections) {
        hasSection = hasSection || ::lstrcmpiW(Wide(name).c_str(), L"Converters") == 0;
        names += (names.empty() ? "[" : ", [") + name + "]";
    }
    if (!hasSection) {
        findings.Problem("it has no section [Converters]" + (names.empty() ? "" : " (it has " + names + ")") +
                         ": the plug-in refuses to load; the section must be named [Converters]");
        return;
    }
    const auto keys = ProfileList(
        [](wchar_t* buffer, DWORD size, const std::wstring& path) {
            return ::GetPrivateProfileSectionW(L"Converters", buffer, size, path.c_str());
        },
        found.settings);
    std::string lines;
    for (const std::string& key : keys) {
        lines += (lines.empty() ? "" : ", ") + key;
    }
    findings.Problem("its section [Converters] gives no value PDF=" + (lines.empty() ? "" : " (it has " + lines + ")") +
                     ": the plug-in refuses to load; add the line " + SuggestedSettingLine(found));
}

void CheckConverter(const Installation& found, Findings& findings)
{
    if (found.converter.empty()) {
        return;
    }
    SayUtf8("converter  %s: %s\n", found.converter.c_str(), Exists(found.converter) ? "found" : "missing");
    if (!Exists(found.converter)) {
        const std::vector<std::string> usual = UsualConvertersUnder(FolderOf(found.library));
        if (usual.empty()) {
            findings.Problem("it does not exist: copy the converter's whole folder into the plug-in's folder and name "
                             "the program, from the plug-in's folder, in PDF= (Poppler 25.x unpacked as poppler: " +
                             SettingLineFor(UsualConverterPlaces().front()) + ")");
            return;
        }
        findings.Problem("it does not exist, but the plug-in's folder holds " +
                         std::string(usual.size() == 1 ? "a converter" : "converters") + " elsewhere");
        for (const std::string& relative : usual) {
            const std::string line = SettingLineFor(relative);
            if (line.empty() || Wide(relative).size() > LongestSetting) {
                SayUtf8("  found %s; its path cannot be a setting (it holds a space, or is too long): rename or move "
                        "its folder\n",
                        relative.c_str());
            } else {
                SayUtf8("  found %s; to use it, write in the section [Converters] of %s the line\n    %s\n",
                        relative.c_str(), found.settings.c_str(), line.c_str());
            }
        }
        return;
    }
    // Under Wine such a program would run detached, and nothing could wait for it to end.
    if (!IsWindowsProgram(found.converter)) {
        findings.Problem(NotAWindowsProgram);
        return;
    }
    // Its command interpreter would read such a path as another one.
    if (IsBatchFileName(Wide(found.converter)) && HoldsInterpreterCharacter(Wide(found.converter))) {
        findings.Problem("the converter is a batch file whose path holds one of % ! ^ & | < >, which its command "
                         "interpreter reads as its own: the plug-in does not run it; move it to a folder without them");
        return;
    }
    std::string version;
    const ConverterFamily family = SayVersion(found.converter, version);
    SayUtf8("version    %s (%s)\n", version.c_str(), NameOf(family));
    std::string unwritable;
    const std::string data = family == ConverterFamily::DataFolderMaps ? DataFolderOf(found.converter, unwritable) : "";
    if (family == ConverterFamily::DataFolderMaps) {
        SayUtf8("data       %s\n", data.empty() ? "not found" : data.c_str());
    }
    if (family == ConverterFamily::DataFolderMaps && data.empty()) {
        findings.Problem(NoDataFolder(found, unwritable));
    }
    TemporaryFolder scratch;
    std::string known;
    for (const char* name : {"ANSI", "KOI8-R", "UTF-8"}) {
        CapturedRun run;
        if (Knows(found.converter, name, scratch, &run)) {
            known += std::string(known.empty() ? "" : ", ") + name;
            continue;
        }
        // The plug-in puts the ANSI map in place itself, where it may write.
        const std::string maps = data + "\\unicodeMap";
        if (std::strcmp(name, "ANSI") == 0 && !data.empty()) {
            if (IsWritableFolder(maps)) {
                SayUtf8("           ANSI: no map yet; the plug-in writes it into %s at its first extraction\n",
                        maps.c_str());
            } else {
                findings.Problem("the converter has no ANSI map, and the plug-in may not write one into " + maps +
                                 ": let your user write into that folder, or run PaperlensHost encodings once as a "
                                 "user who may");
            }
            continue;
        }
        findings.Problem(std::string("the converter does not know the encoding ") + name + ": run on a test " +
                         "document it " + DescribeRun(run) +
                         (std::strcmp(name, "UTF-8") ? "; run " + ToolName() + " encodings " + Quoted(found.library)
                                                     : std::string()));
        SayOutput(run.output);
    }
    SayUtf8("encodings  %s\n", known.empty() ? "none of ANSI, KOI8-R, UTF-8" : (known + ": known").c_str());
}

// Extracts the four entries into a temporary folder (under `target` where it is given and
// can take them) as the host does, and says how each went.
void CheckDocument(const PluginLibrary& library, const Installation& found, const std::string& document,
                   const std::string& target, Findings& findings)
{
    SayUtf8("document   %s\n", document.c_str());
    // Through the entry points the file manager would call.
    const EntryPoints family = library.HasUnicode() ? EntryPoints::Unicode : EntryPoints::Ansi;
    const ListingW listing = ListDocument(library, family, Wide(document));
    if (!listing.handle) {
        findings.Problem("the library cannot open it: result " + std::to_string(listing.requestResult) + ", " +
                         MeaningOfResult(listing.requestResult));
        return;
    }
    std::string parent = target.empty() ? std::string() : FullPathOf(target);
    if (!parent.empty() && parent.back() != '\\') {
        parent += '\\';
    }
    TemporaryFolder scratch(parent);
    if (!scratch.IsValid()) {
        findings.Problem("cannot create a temporary folder to extract into");
        return;
    }
    std::vector<ExtractedEntryW> entries;
    {
        const QuietStandardOutput quiet;
        entries = ExtractDocument(library, family, Wide(document), Wide(scratch.Path()), DestinationStyle::DirectoryAndName);
    }
    // A converter that is missing or no Windows program, said above, fails every entry alike.
    const bool runnable = !found.converter.empty() && Exists(found.converter) && IsWindowsProgram(found.converter);
    bool allFailedAlike = !runnable && !entries.empty();
    for (const ExtractedEntryW& entry : entries) {
        allFailedAlike = allFailedAlike && entry.result != ResultSuccess && entry.result == entries.front().result;
    }
    if (allFailedAlike) {
        findings.Problem("every entry: result " + std::to_string(entries.front().result) + ", " +
                         MeaningOfResult(entries.front().result) + ", for the reason given above");
        return;
    }
    for (std::size_t place = 0; place < entries.size(); ++place) {
        const ExtractedEntryW& wide = entries[place];
        const ExtractedEntry entry = {Utf8(wide.name), Utf8(wide.target), wide.result};
        std::string text;
        const bool written = ReadWhole(entry.target, text);
        if (entry.result == ResultSuccess && written) {
            SayUtf8("  %-24s written, %u bytes\n", entry.name.c_str(), static_cast<unsigned>(text.size()));
            continue;
        }
        findings.Problem(entry.name + ": " +
                         (entry.result == ResultSuccess ? std::string("answered success, but nothing was written")
                                                        : "result " + std::to_string(entry.result) + ", " +
                                                              MeaningOfResult(entry.result)));
        if (!runnable) {
            continue; // said above; under Wine a program that is not a Windows one would run detached
        }
        ::DeleteFileW(wide.target.c_str());
        const std::string encoding = EncodingOfEntry(place);
        const CapturedRun run = RunCaptured(Quoted(found.converter) + (encoding.empty() ? "" : " -enc " + encoding) +
                                            " -layout " + Quoted(document) + " " + Quoted(entry.target));
        SayUtf8("    the converter, run the same way, %s\n", DescribeRun(run).c_str());
        SayOutput(run.output);
        ::DeleteFileW(wide.target.c_str());
    }
}

} // namespace

std::string WhyNoTargetFolder(const std::wstring& folder)
{
    const std::string name = Utf8(folder);
    const DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? "the folder " + name + " does not exist; create it first"
                   : "the folder " + name + " cannot be reached: " + SystemMessage(error);
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return name + " is a file, not a folder";
    }
    // A file of its own, gone when closed: the entries need the folder writable.
    const std::wstring probe = folder + (folder.empty() || folder.back() == L'\\' ? L"" : L"\\") +
                               L"PaperlensHost-" + std::to_wstring(::GetCurrentProcessId()) + L".probe";
    const UniqueHandle<> file(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!file) {
        return "nothing can be written into the folder " + name + ": " + SystemMessage(::GetLastError());
    }
    return std::string();
}

int CheckSetup(const std::wstring& libraryPath, const std::wstring& wideDocument, const std::wstring& wideFolder)
{
    Findings findings;
    const std::string document = Utf8(wideDocument);
    const Installation found = InstallationOf(Utf8(libraryPath));
    SayUtf8("library    %s\n", found.library.c_str());
    if (!Exists(found.library)) {
        findings.Problem("it does not exist");
        return 1;
    }
    if (Wide(found.library).size() >= PathBufferSize) {
        findings.Problem("its path is " + std::to_string(Wide(found.library).size()) +
                         " characters long: the plug-in refuses to load from a path of " +
                         std::to_string(PathBufferSize) + " characters or more; move its folder higher up");
    }
    CheckSettings(found, findings);
    CheckConverter(found, findings);

    std::string error;
    const int before = findings.Problems();
    const auto library = PluginLibrary::Load(Wide(found.library), error);
    if (library) {
        SayUtf8("loading    the library loads\n");
        SayUtf8("entries    %s\n", library->HasUnicode()
                                  ? "Unicode and ANSI entry points; the file manager calls the Unicode ones"
                                  : "ANSI entry points only");
    } else if (error.find(" 193") != std::string::npos) {
        findings.Problem("the library does not load (" + error + "): " + WhyNoImage(found.library));
    } else {
        findings.Problem("the library does not load (" + error + ")" +
                         (before > 0 ? ": for the reason given above" : ""));
    }
    std::string target;
    if (!wideFolder.empty()) {
        SayUtf8("folder     %s\n", Utf8(wideFolder).c_str());
        const std::string why = WhyNoTargetFolder(wideFolder);
        if (why.empty()) {
            target = Utf8(wideFolder);
        } else {
            findings.Problem(why + " (the entries are tried in a temporary folder instead)");
        }
    }
    if (library && !document.empty()) {
        CheckDocument(*library, found, document, target, findings);
    }
    if (findings.Problems() == 0) {
        SayUtf8("everything works\n");
        return 0;
    }
    SayUtf8("%d problem%s found\n", findings.Problems(), findings.Problems() == 1 ? "" : "s");
    return 1;
}
