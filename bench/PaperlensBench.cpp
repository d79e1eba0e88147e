// The plug-in's own cost: each of its operations timed side by side with the bare system
// calls the operation cannot do without, in one run, as medians over many rounds.
//
//   PaperlensBench [--library=PATH] [--converter=PATH] [--quick]
//                  [--installed=LIBRARY --document=PDF]
//
// Without arguments it uses the library of its own build tree (..\plugin\) and the quick
// converter beside it; the slow converter, which takes a known time, is always the one
// beside it. --quick runs few rounds, to show that the program works. With --installed (a
// library installed beside a real converter, as its Paperlens.ini names it) and
// --document, it also extracts all four entries of that document against one run of that
// converter.
#include "PluginHost.h"
#include "ResultCodes.h"
#include "UniqueHandle.h"
#include "WindowsPath.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

double Frequency()
{
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart);
}

double Now()
{
    static const double frequency = Frequency();
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / frequency;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Seconds per call of each, one batch of each per round, the order swapped every round so
// that drift, caches and the scheduler treat both alike.
template <class A, class B>
std::pair<double, double> SideBySide(int rounds, int batch, A&& a, B&& b)
{
    std::vector<double> timesA, timesB;
    const auto time = [batch](auto& call) {
        const double start = Now();
        for (int i = 0; i < batch; ++i) {
            call();
        }
        return (Now() - start) / batch;
    };
    for (int round = 0; round < rounds; ++round) {
        if (round % 2 == 0) {
            timesA.push_back(time(a));
            timesB.push_back(time(b));
        } else {
            timesB.push_back(time(b));
            timesA.push_back(time(a));
        }
    }
    return {Median(timesA), Median(timesB)};
}

std::string Directory(const std::string& path)
{
    return path.substr(0, path.rfind('\\') + 1);
}

std::string OwnDirectory()
{
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return Directory(std::string(path, length));
}

void WriteWholeFile(const std::string& path, const std::string& content)
{
    UniqueHandle<> file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
    DWORD written = 0;
    if (!file || !::WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr)) {
        throw std::runtime_error("cannot write " + path);
    }
}

// The file's bytes, as the host reads an entry it extracted.
std::string ReadWholeFile(const std::string& path)
{
    const UniqueHandle<> file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    std::string content;
    char buffer[65536];
    DWORD read = 0;
    while (file && ::ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        content.append(buffer, read);
    }
    return content;
}

// A folder of its own holding a copy of the library, its settings, the quick converter and
// a document; removed at the end.
class Installation {
public:
    Installation(const std::string& library, const std::string& converter)
    {
        char temp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "paperlens-bench-" + std::to_string(::GetCurrentProcessId());
        if (!::CreateDirectoryA(folder_.c_str(), nullptr)) {
            throw std::runtime_error("cannot create " + folder_);
        }
        libraryFile_ = folder_ + (sizeof(void*) == 8 ? "\\Paperlens.wcx64" : "\\Paperlens.wcx");
        if (!::CopyFileA(library.c_str(), libraryFile_.c_str(), FALSE) ||
            !::CopyFileA(converter.c_str(), Converter().c_str(), FALSE)) {
            throw std::runtime_error("cannot install " + library + " and " + converter + " into " + folder_);
        }
        WriteWholeFile(Settings(), "[Converters]\r\nPDF=quick.exe\r\n");
        WriteWholeFile(Document(), "%PDF-1.4\n" + std::string(4096, 'x'));
    }
    ~Installation()
    {
        for (const std::string& file : {libraryFile_, Converter(), Settings(), Document()}) {
            ::DeleteFileA(file.c_str());
        }
        ::RemoveDirectoryA(folder_.c_str());
    }
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

    const std::string& Folder() const { return folder_; }
    const std::string& Library() const { return libraryFile_; }
    std::string Converter() const { return folder_ + "\\quick.exe"; }
    std::string Settings() const { return folder_ + "\\Paperlens.ini"; }
    std::string Document() const { return folder_ + "\\bench.pdf"; }

private:
    std::string folder_;
    std::string libraryFile_;
};

// The bare calls a listing needs: open, read of the first bytes, file time, close.
void BareFileCalls(const std::string& path)
{
    SECURITY_ATTRIBUTES notInherited = {sizeof notInherited, nullptr, FALSE};
    UniqueHandle<> file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &notInherited,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    char bytes[128];
    DWORD read = 0;
    ::ReadFile(file.Get(), bytes, sizeof bytes, &read, nullptr);
    FILETIME written;
    ::GetFileTime(file.Get(), nullptr, nullptr, &written);
}

// Every system call a listing makes, made directly: the bare ones, the file type and the
// seek before the read, the local time, and the error mode set and restored around each
// of the five box-free calls.
void AllTheListingsSystemCalls(const std::string& path)
{
    DWORD mode = 0;
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &mode);
    SECURITY_ATTRIBUTES notInherited = {sizeof notInherited, nullptr, FALSE};
    UniqueHandle<> file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &notInherited,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ::SetThreadErrorMode(mode, nullptr);
    for (int call = 0; call < 4; ++call) {
        ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &mode);
        ::SetThreadErrorMode(mode, nullptr);
    }
    ::GetFileType(file.Get());
    ::SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN);
    char bytes[128];
    DWORD read = 0;
    ::ReadFile(file.Get(), bytes, sizeof bytes, &read, nullptr);
    FILETIME written, local;
    SYSTEMTIME fields;
    ::GetFileTime(file.Get(), nullptr, nullptr, &written);
    ::FileTimeToLocalFileTime(&written, &local);
    ::FileTimeToSystemTime(&local, &fields);
}

void ErrorModeAroundFiveCalls()
{
    for (int call = 0; call < 5; ++call) {
        DWORD mode = 0;
        ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &mode);
        ::SetThreadErrorMode(mode, nullptr);
    }
}

void LocalTimeOf(const FILETIME& written)
{
    FILETIME local;
    SYSTEMTIME fields;
    ::FileTimeToLocalFileTime(&written, &local);
    ::FileTimeToSystemTime(&local, &fields);
}

void RunAndWait(const std::string& commandLine)
{
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    SECURITY_ATTRIBUTES notInherited = {sizeof notInherited, nullptr, FALSE};
    PROCESS_INFORMATION created = {};
    if (!::CreateProcessA(nullptr, line.data(), &notInherited, &notInherited, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                          nullptr, &startup, &created)) {
        throw std::runtime_error("cannot run " + commandLine);
    }
    const UniqueHandle<> thread(created.hThread);
    const UniqueHandle<> process(created.hProcess);
    ::WaitForSingleObject(process.Get(), INFINITE);
}

using EntryFunction = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);

// The library's entry function, where Windows calls it.
EntryFunction EntryOf(HMODULE module)
{
    const auto* base = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return reinterpret_cast<EntryFunction>(
        reinterpret_cast<std::uintptr_t>(base + nt->OptionalHeader.AddressOfEntryPoint));
}

double ThreadStartAndEnd(int count)
{
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        const double start = Now();
        std::thread([] {}).join();
        times.push_back(Now() - start);
    }
    return Median(times);
}

void PrintRatio(const char* what, double plugin, const char* against, double bare, double target, double unit,
                const char* unitName)
{
    std::printf("%-58s %9.2f %s\n", what, plugin * unit, unitName);
    std::printf("%-58s %9.2f %s\n", against, bare * unit, unitName);
    if (target > 0) {
        std::printf("%-58s %9.3f   (target at most %.2f: %s)\n\n", "  ratio", plugin / bare, target,
                    plugin / bare <= target ? "met" : "missed");
    } else {
        std::printf("%-58s %9.3f\n\n", "  ratio", plugin / bare);
    }
}

// The cancel row's callback: asks to stop once the run has gone on for CancelAfter seconds.
constexpr double CancelAfter = 0.3;
double CancelStart = 0;
double CancelAnswered = 0;

int PAPERLENS_CALL CancelAfterAWhile(char*, int)
{
    if (Now() - CancelStart < CancelAfter) {
        return 1;
    }
    CancelAnswered = Now();
    return 0;
}

// Extractions through a converter that takes a known time: two threads on two documents
// side by side against one thread doing the same two in turn, and the time from the host's
// callback answering 0 to ProcessFile's return.
void SlowConverterRows(const PluginLibrary& plugin, const Installation& install, const std::string& slowConverter,
                       bool quick)
{
    const std::string converter = install.Folder() + "\\slow.exe";
    const std::string second = install.Folder() + "\\bench-second.pdf";
    if (!::CopyFileA(slowConverter.c_str(), converter.c_str(), FALSE)) {
        throw std::runtime_error("cannot install " + slowConverter);
    }
    WriteWholeFile(second, "%PDF-1.4\n" + std::string(4096, 'y'));
    WriteWholeFile(install.Settings(), "[Converters]\r\nPDF=slow.exe\r\n");
    std::thread([] {}).join(); // a thread's start makes the library read its settings again
    const auto extract = [&](const std::string& document, const char* entry, ProcessDataCallback callback) {
        std::string path = document;
        OpenRequest request = {path.data(), ModeExtract, 0};
        const ArchiveHandle handle = plugin.OpenArchive(&request);
        plugin.SetProcessDataProc(handle, callback);
        EntryHeader header;
        plugin.ReadHeader(handle, &header);
        std::string folder = install.Folder();
        std::string name = entry;
        CancelStart = Now();
        const int result = plugin.ProcessFile(handle, OperationExtract, folder.data(), name.data());
        plugin.CloseArchive(handle);
        return result;
    };

    constexpr int ConverterMs = 500;
    ::SetEnvironmentVariableA("PAPERLENS_BENCH_SLEEP_MS", std::to_string(ConverterMs).c_str());
    const auto both = [&](bool sideBySide) {
        int results[2] = {-1, -1};
        if (sideBySide) {
            std::thread first([&] { results[0] = extract(install.Document(), "one_a.txt", nullptr); });
            results[1] = extract(second, "two_a.txt", nullptr);
            first.join();
        } else {
            results[0] = extract(install.Document(), "one_a.txt", nullptr);
            results[1] = extract(second, "two_a.txt", nullptr);
        }
        if (results[0] != ResultSuccess || results[1] != ResultSuccess) {
            throw std::runtime_error("an extraction through the slow converter answered " + std::to_string(results[0]) +
                                     " and " + std::to_string(results[1]));
        }
    };
    const auto twoDocuments = SideBySide(quick ? 1 : 5, 1, [&] { both(true); }, [&] { both(false); });
    PrintRatio("two threads extracting from two documents side by side", twoDocuments.first,
               "  one thread extracting the same two in turn (500 ms each)", twoDocuments.second, 0.6, 1e3, "ms");

    ::SetEnvironmentVariableA("PAPERLENS_BENCH_SLEEP_MS", "30000");
    std::vector<double> stops;
    for (int round = 0; round < (quick ? 1 : 5); ++round) {
        CancelAnswered = 0;
        const int result = extract(install.Document(), "stopped_a.txt", CancelAfterAWhile);
        const double returned = Now();
        if (result != ResultAborted || CancelAnswered == 0) {
            throw std::runtime_error("the extraction the host stopped answered " + std::to_string(result));
        }
        stops.push_back(returned - CancelAnswered);
    }
    const double stop = Median(stops);
    std::printf("%-58s %9.2f ms   (target at most 300 ms: %s)\n\n",
                "the host's cancel: from its callback's 0 to ProcessFile's end", stop * 1e3,
                stop <= 0.3 ? "met" : "missed");

    ::SetEnvironmentVariableA("PAPERLENS_BENCH_SLEEP_MS", nullptr);
    WriteWholeFile(install.Settings(), "[Converters]\r\nPDF=quick.exe\r\n");
    std::thread([] {}).join();
    for (const char* file : {"slow.exe", "bench-second.pdf", "one_a.txt", "two_a.txt", "stopped_a.txt"}) {
        ::DeleteFileA((install.Folder() + "\\" + file).c_str());
    }
}

// A host extracting all four entries of a real document, the way a search does, against one
// run of the same converter on it, made directly.
void WholeDocumentRow(const std::string& libraryPath, const std::string& document, bool quick)
{
    std::string error;
    const auto plugin = PluginLibrary::Load(libraryPath, error);
    if (!plugin) {
        throw std::runtime_error("cannot load " + libraryPath + ": " + error);
    }
    const std::string folder = Directory(libraryPath);
    char setting[256] = {};
    ::GetPrivateProfileStringA("Converters", "PDF", "", setting, sizeof setting, (folder + "Paperlens.ini").c_str());
    const std::string converter = folder + std::string(setting).substr(0, std::string(setting).find(' '));
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    const std::string output = std::string(temp) + "paperlens-bench-" + std::to_string(::GetCurrentProcessId()) + "-texts";
    ::CreateDirectoryA(output.c_str(), nullptr);
    const std::string direct = output + "\\direct.txt";
    std::vector<std::string> texts; // the entries of the last search, as the host reads them
    const auto search = [&](bool keep) {
        const std::vector<ExtractedEntry> entries =
            ExtractDocument(*plugin, document, output, DestinationStyle::DirectoryAndName);
        // A document that does not open lists nothing: no time of a search to show.
        if (entries.size() != 4) {
            throw std::runtime_error(document + " listed " + std::to_string(entries.size()) + " entries, not 4");
        }
        texts.clear();
        for (const ExtractedEntry& entry : entries) {
            if (entry.result != ResultSuccess) {
                throw std::runtime_error("extracting " + entry.name + " answered " + std::to_string(entry.result));
            }
            texts.push_back(entry.target);
            if (!keep) {
                ::DeleteFileA(entry.target.c_str());
            }
        }
    };
    // A first search: the document written anew each time, so that no kept text serves it.
    FILETIME written = {};
    {
        const UniqueHandle<> file(::CreateFileA(document.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
        ::GetFileTime(file.Get(), nullptr, nullptr, &written);
    }
    const auto viaPlugin = [&] {
        ULARGE_INTEGER time = {{written.dwLowDateTime, written.dwHighDateTime}};
        time.QuadPart += 20000000; // two seconds on
        written = {time.LowPart, time.HighPart};
        const UniqueHandle<> file(::CreateFileA(document.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
        if (!file || !::SetFileTime(file.Get(), nullptr, nullptr, &written)) {
            throw std::runtime_error("cannot write the time of " + document);
        }
        search(false);
    };
    const auto byHand = [&] {
        RunAndWait("\"" + converter + "\" -layout \"" + document + "\" \"" + direct + "\"");
        // The converter's own run counts only when it wrote the text.
        if (!::DeleteFileA(direct.c_str())) {
            throw std::runtime_error("the converter wrote no text of " + document);
        }
    };
    const auto times = SideBySide(quick ? 1 : 7, 1, viaPlugin, byHand);
    // The same document searched again in the same load, each entry into a new file as the
    // host's search does, against reading the four entries' bytes.
    search(true);
    std::vector<std::string> kept;
    for (const std::string& text : texts) {
        kept.push_back(text + ".kept");
        if (!::MoveFileExA(text.c_str(), kept.back().c_str(), MOVEFILE_REPLACE_EXISTING)) {
            throw std::runtime_error("cannot keep " + text);
        }
    }
    const auto again = SideBySide(quick ? 1 : 21, 1, [&] { search(false); }, [&] {
        for (const std::string& text : kept) {
            if (ReadWholeFile(text).empty()) {
                throw std::runtime_error("no text in " + text);
            }
        }
    });
    // The floor under any extraction: the host's target written, here the same bytes to new files.
    std::vector<std::string> contents;
    for (const std::string& text : kept) {
        contents.push_back(ReadWholeFile(text));
    }
    const auto writing = SideBySide(quick ? 1 : 21, 1, [&] {
        for (std::size_t i = 0; i < kept.size(); ++i) {
            WriteWholeFile(kept[i] + ".copy", contents[i]);
            ::DeleteFileA((kept[i] + ".copy").c_str()); // as the search removes its entries
        }
    }, [&] {
        for (const std::string& text : kept) {
            ReadWholeFile(text);
        }
    });
    for (const std::string& text : kept) {
        ::DeleteFileA(text.c_str());
    }
    ::RemoveDirectoryA(output.c_str());
    std::printf("%s\n", document.c_str());
    PrintRatio("a search: all four entries of the document extracted", times.first,
               "  one run of the converter on it, directly", times.second, 1.3, 1e3, "ms");
    PrintRatio("a second search of the same document, in the same load", again.first,
               "  reading the four entries' bytes from their files", again.second, 1.5, 1e3, "ms");
    PrintRatio("  (four new files of those bytes, written and removed", writing.first,
               "   against reading them: the floor)", writing.second, 0, 1e3, "ms");
}

} // namespace

int main(int argc, char** argv)
{
    std::string library = OwnDirectory() + "..\\plugin\\" + (sizeof(void*) == 8 ? "Paperlens.wcx64" : "Paperlens.wcx");
    std::string converter = OwnDirectory() + "QuickConverter.exe";
    bool quick = false;
    std::string installed;
    std::string realDocument;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--library=", 10) == 0) {
            library = WindowsPathOf(argv[i] + 10);
        } else if (std::strncmp(argv[i], "--converter=", 12) == 0) {
            converter = WindowsPathOf(argv[i] + 12);
        } else if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else if (std::strncmp(argv[i], "--installed=", 12) == 0) {
            installed = WindowsPathOf(argv[i] + 12);
        } else if (std::strncmp(argv[i], "--document=", 11) == 0) {
            realDocument = WindowsPathOf(argv[i] + 11);
        } else {
            std::fprintf(stderr, "usage: %s [--library=PATH] [--converter=PATH] [--quick] [--installed=LIBRARY "
                         "--document=PDF]\n", argv[0]);
            return 2;
        }
    }
    try {
        const Installation install(library, converter);
        std::string error;
        auto plugin = PluginLibrary::Load(install.Library(), error);
        if (!plugin) {
            std::fprintf(stderr, "cannot load %s: %s\n", install.Library().c_str(), error.c_str());
            return 1;
        }
        std::printf("%d-bit library, medians of side-by-side rounds%s\n\n", static_cast<int>(sizeof(void*) * 8),
                    quick ? " (quick run: few rounds, figures rough)" : "");
        const std::string document = install.Document();

        // 1. Listing one document.
        const auto list = [&] {
            std::string path = document;
            OpenRequest request = {path.data(), ModeList, 0};
            const ArchiveHandle handle = plugin->OpenArchive(&request);
            EntryHeader header;
            for (int i = 0; i < 5; ++i) {
                plugin->ReadHeader(handle, &header);
            }
        };
        const int listRounds = quick ? 21 : 301;
        const auto listing = SideBySide(listRounds, 20, list, [&] { BareFileCalls(document); });
        PrintRatio("listing: OpenArchive and five ReadHeader calls", listing.first,
                   "  the bare calls: open, read of the first bytes, file time, close", listing.second, 1.2, 1e6,
                   "us");
        // Where the difference goes.
        const auto allCalls = SideBySide(listRounds, 20, list, [&] { AllTheListingsSystemCalls(document); });
        FILETIME written = {};
        {
            UniqueHandle<> file(::CreateFileA(document.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
            ::GetFileTime(file.Get(), nullptr, nullptr, &written);
        }
        UniqueHandle<> open(::CreateFileA(document.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        const auto parts = SideBySide(listRounds, 50, ErrorModeAroundFiveCalls, [&] { LocalTimeOf(written); });
        const auto typeAndSeek = SideBySide(listRounds, 50, [&] {
            ::GetFileType(open.Get());
            ::SetFilePointer(open.Get(), 0, nullptr, FILE_BEGIN);
        }, [] {});
        std::printf("  where the listing's time goes (us per listing):\n");
        std::printf("    the bare calls                                        %9.2f\n", listing.second * 1e6);
        std::printf("    file type and seek before the read                    %9.2f\n",
                    typeAndSeek.first * 1e6);
        std::printf("    local time of the file time                           %9.2f\n", parts.second * 1e6);
        std::printf("    %-54s%9.2f\n", "thread error mode around five box-free calls", parts.first * 1e6);
        std::printf("    all its system calls made directly                    %9.2f\n", allCalls.second * 1e6);
        std::printf("    the rest: the plug-in's own work (locks, texts)       %9.2f\n",
                    (allCalls.first - allCalls.second) * 1e6);
        std::printf("    against all its system calls made directly: ratio     %9.3f\n\n",
                    allCalls.first / allCalls.second);

        // 2. A whole document through a real converter.
        if (!installed.empty() && !realDocument.empty()) {
            WholeDocumentRow(installed, realDocument, quick);
        } else {
            std::printf("a search through a real document: not run (no --installed and --document)\n\n");
        }

        // 3. Extractions side by side, and the host's cancel.
        SlowConverterRows(*plugin, install, OwnDirectory() + "SlowConverter.exe", quick);

        // 4. Extracting one entry through a converter that exits at once.
        std::string path = document;
        OpenRequest request = {path.data(), ModeExtract, 0};
        const ArchiveHandle handle = plugin->OpenArchive(&request);
        EntryHeader header;
        plugin->ReadHeader(handle, &header);
        std::string folder = install.Folder();
        std::string name = "bench_a.txt";
        const std::string commandLine = "\"" + install.Converter() + "\" -enc ANSI -layout \"" + document + "\" \"" +
                                        folder + "\\" + name + "\"";
        const auto extraction = SideBySide(quick ? 5 : 101, 1, [&] {
            if (plugin->ProcessFile(handle, OperationExtract, folder.data(), name.data()) != ResultSuccess) {
                throw std::runtime_error("the extraction failed");
            }
        }, [&] { RunAndWait(commandLine); });
        PrintRatio("extraction: ProcessFile, a converter that exits at once", extraction.first,
                   "  CreateProcessA and a wait for the same command, directly", extraction.second, 1.05, 1e3, "ms");

        // 5. The entry function at each thread notification.
        const EntryFunction entry = EntryOf(plugin->Module());
        char value[256];
        const std::string settings = install.Settings();
        const auto notification = SideBySide(quick ? 21 : 301, 10, [&] {
            entry(reinterpret_cast<HINSTANCE>(plugin->Module()), DLL_THREAD_ATTACH, nullptr);
            entry(reinterpret_cast<HINSTANCE>(plugin->Module()), DLL_THREAD_DETACH, nullptr);
        }, [&] {
            ::GetPrivateProfileStringA("Converters", "PDF", "not found", value, sizeof value, settings.c_str());
            ::GetPrivateProfileStringA("Converters", "PDF", "not found", value, sizeof value, settings.c_str());
        });
        PrintRatio("entry function, per thread notification", notification.first / 2,
                   "  one GetPrivateProfileStringA call", notification.second / 2, 0, 1e6, "us");
        // The same seen from a real thread: its start and end with the library and without.
        const int threads = quick ? 50 : 1000;
        ThreadStartAndEnd(threads / 10);
        const double withLibrary = ThreadStartAndEnd(threads);
        const HMODULE module = plugin->Module();
        plugin.reset();
        if (::GetModuleHandleA(install.Library().c_str()) != nullptr) {
            std::printf("  (the library stayed loaded: %p)\n", static_cast<void*>(module));
        }
        const double withoutLibrary = ThreadStartAndEnd(threads);
        std::printf("  a thread's start and end: %.2f us with the library loaded, %.2f us without;\n"
                    "  so each of its two notifications costs about %.2f us\n",
                    withLibrary * 1e6, withoutLibrary * 1e6, (withLibrary - withoutLibrary) / 2 * 1e6);
        ::DeleteFileA((install.Folder() + "\\bench_a.txt").c_str());
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "benchmark failed: %s\n", failure.what());
        return 1;
    }
    return 0;
}
