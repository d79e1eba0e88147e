// Host threads listing and extracting at once while the settings file changes between two
// converters and other threads come and go, each start and end a notification that makes
// the library read its settings again.
#include "ConverterRecord.h"
#include "CallWatch.h"
#include "ResultCodes.h"
#include "StressSupport.h"
#include "TestEnvironment.h"
#include "UniqueHandle.h"

#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* FirstConverter = "conv.exe";
constexpr const char* SecondConverter = "another-converter.exe"; // a different length shows a mixture
constexpr const char* EntryTails[] = {"_a.txt", "_k.txt", "_u.txt", ".txt"};

std::string SettingsNaming(const char* converter)
{
    return std::string("[Converters]\r\nPDF=") + converter + "\r\n";
}

// Replaces the settings file in one rename, so that a reader finds the old file or the
// new one, never a missing or half-written one. A reader holding the file open makes the
// rename fail for a moment; it is tried again.
bool ReplaceSettings(const PluginInstall& install, const std::string& settings, int serial)
{
    const std::string temporary = install.Folder() + "\\settings-" + std::to_string(serial) + ".tmp";
    {
        UniqueHandle<> file(::CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!file || !::WriteFile(file.Get(), settings.data(), static_cast<DWORD>(settings.size()), &written,
                                  nullptr)) {
            return false;
        }
    }
    const std::string settingsFile = install.Folder() + "\\Paperlens.ini";
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (::MoveFileExA(temporary.c_str(), settingsFile.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            return true;
        }
        ::Sleep(1);
    }
    ::DeleteFileA(temporary.c_str());
    return false;
}

struct Document {
    std::string path;
    std::uint32_t time = 0;
    std::vector<std::string> names; // in listing order
};

Document MakeDocument(const std::string& folder, const std::string& base, int day)
{
    Document document;
    document.path = folder + "\\" + base + ".pdf";
    WriteFileWithTime(document.path, 2019, 10, day, 14, 5, 36);
    document.time = ExpectedDosTime(2019, 10, day, 14, 5, 36);
    for (const char* tail : EntryTails) {
        document.names.push_back(base + tail);
    }
    return document;
}

// Each running process chosen by `chosen`, as Windows lists it.
template <typename Choice>
std::vector<PROCESSENTRY32> RunningProcesses(Choice chosen)
{
    UniqueHandle<> snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    std::vector<PROCESSENTRY32> found;
    for (BOOL more = snapshot && ::Process32First(snapshot.Get(), &entry); more;
         more = ::Process32Next(snapshot.Get(), &entry)) {
        if (chosen(entry)) {
            found.push_back(entry);
        }
    }
    return found;
}

std::vector<DWORD> RunningProcessesNamed(const std::string& name)
{
    std::vector<DWORD> found;
    for (const PROCESSENTRY32& entry :
         RunningProcesses([&](const PROCESSENTRY32& e) { return _stricmp(e.szExeFile, name.c_str()) == 0; })) {
        found.push_back(entry.th32ProcessID);
    }
    return found;
}

struct Extraction {
    std::string document;
    std::string target;
    int result = -1;
};

// Empty when the entries are the document's own, in order, each with its time, and then
// the end; otherwise what differs.
std::string ListingFaults(const Document& document, const std::vector<ListedEntry>& entries)
{
    std::string fault;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ListedEntry& entry = entries[i];
        fault += entry.recordChanges;
        const bool last = i == document.names.size();
        if (entry.result != (last ? ResultNoMoreEntries : ResultSuccess)) {
            fault += " result " + std::to_string(entry.result) + " for entry " + std::to_string(i);
        } else if (!last && entry.name != document.names[i]) {
            fault += " " + entry.name + " listed for " + document.names[i];
        }
        if (entry.time != document.time) {
            fault += " " + entry.name + " with another time " + FormatDosTime(entry.time);
        }
    }
    if (entries.size() != document.names.size() + 1) {
        fault += " " + std::to_string(entries.size()) + " headers read";
    }
    return fault;
}

// Every extractor and lister works on the document other than its neighbour's at each
// round, so two documents are open, listed and converted at the same time throughout.
TEST(Threads, ListAndExtractTwoDocumentsAtOnceWhileTheSettingChangesAndThreadsComeAndGo)
{
    PluginInstall install(SettingsNaming(FirstConverter), FirstConverter);
    ASSERT_TRUE(::CopyFileA(ConverterProgramPath().c_str(), install.Converter(SecondConverter).c_str(), FALSE));
    const std::string converters[] = {install.Converter(FirstConverter), install.Converter(SecondConverter)};
    const std::string log = install.Folder() + "\\record.log";
    ScopedVariable recording("RECCONV_LOG", log);
    // Long enough that the converters of different threads run side by side.
    ScopedVariable sleep("RECCONV_SLEEP_MS", "30");
    ScopedVariable write("RECCONV_WRITE", "1");
    const std::vector<Document> documents = {MakeDocument(install.Folder(), "first", 3),
                                             MakeDocument(install.Folder(), "a-second-document-with-a-longer-name", 4)};
    auto library = install.Load();
    ASSERT_NE(nullptr, library);
    auto watch = std::make_unique<CallWatch>(library->Module());
    ASSERT_TRUE(watch->Valid()) << "the library imports its process and file calls by name";

    // At least 3 s and 20 extractions, so that each converter's turn comes with near
    // certainty (each extraction meets either setting), and at most 20 s.
    constexpr std::size_t EnoughExtractions = 20;
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::vector<Extraction> extractions;
    std::vector<std::string> listingFaults; // extractors' headers included
    std::atomic<int> listings{0}, threadsStarted{0}, rewrites{0}, failedRewrites{0};

    auto extractor = [&](int thread) {
        std::string folder = install.Folder();
        for (int n = 0; !stop; ++n) {
            const Document& document = documents[static_cast<std::size_t>((n + thread) % 2)];
            std::string path = document.path;
            OpenRequest request = {path.data(), ModeExtract, 0};
            const ArchiveHandle handle = library->OpenArchive(&request);
            // The whole listing, with the entry the round extracts taken in passing.
            std::vector<ListedEntry> entries;
            Extraction extraction{document.path, "", -1};
            for (int call = 0; call < 6; ++call) {
                HostHeaderRecord record;
                ListedEntry entry;
                entry.result = library->ReadHeader(handle, &record.header);
                entry.name.assign(record.header.EntryName, strnlen(record.header.EntryName, EntryNameSize));
                entry.time = record.header.EntryTime;
                entries.push_back(entry);
                if (entry.result != ResultSuccess) {
                    break;
                }
                if (call == n % 4) {
                    std::string name = "t" + std::to_string(thread) + "-" + std::to_string(n) + EntryTails[call];
                    extraction.target = folder + "\\" + name;
                    extraction.result = library->ProcessFile(handle, OperationExtract, folder.data(), name.data());
                } else {
                    library->ProcessFile(handle, OperationSkip, nullptr, nullptr);
                }
            }
            library->CloseArchive(handle);
            const std::string fault = ListingFaults(document, entries);
            const std::lock_guard<std::mutex> hold(lock);
            extractions.push_back(extraction);
            if (!fault.empty()) {
                listingFaults.push_back("extractor: " + fault);
            }
        }
    };
    auto lister = [&](int thread) {
        for (int n = 0; !stop; ++n) {
            const Document& document = documents[static_cast<std::size_t>((n + thread) % 2)];
            const Listing listing = ListDocument(*library, document.path);
            std::string fault = listing.openRecordChanges + ListingFaults(document, listing.entries);
            if (listing.handle == 0) {
                fault += " handle " + std::to_string(listing.handle);
            }
            ++listings;
            if (!fault.empty()) {
                const std::lock_guard<std::mutex> hold(lock);
                listingFaults.push_back(fault);
            }
        }
    };
    auto rewriter = [&] {
        for (int serial = 0; !stop; ++serial) {
            if (ReplaceSettings(install, SettingsNaming(serial % 2 ? FirstConverter : SecondConverter), serial)) {
                ++rewrites;
            } else {
                ++failedRewrites;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    };
    auto churner = [&] {
        while (!stop) {
            std::thread([] {}).join();
            ++threadsStarted;
        }
    };

    std::vector<std::thread> threads;
    threads.emplace_back(extractor, 0);
    threads.emplace_back(extractor, 1);
    threads.emplace_back(extractor, 2);
    threads.emplace_back(lister, 0);
    threads.emplace_back(lister, 1);
    threads.emplace_back(rewriter);
    threads.emplace_back(churner);
    const Clock::time_point started = Clock::now();
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const Clock::duration elapsed = Clock::now() - started;
        std::size_t done = 0;
        {
            const std::lock_guard<std::mutex> hold(lock);
            done = extractions.size();
        }
        if ((elapsed >= std::chrono::seconds(3) && done >= EnoughExtractions) || elapsed >= std::chrono::seconds(20)) {
            break;
        }
    }
    stop = true;
    // The library waits for a converter without a time-out. Should one never end, say so
    // and end it, rather than leave the test to hang until CTest's limit. Should the threads
    // still not return (a call that never comes back), end the test as failed.
    std::atomic<bool> joined{false};
    std::vector<std::string> stuck;
    std::thread watchdog([&] {
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(60);
        const Clock::time_point lastDeadline = deadline + std::chrono::seconds(60);
        while (!joined && Clock::now() < deadline) {
            ::Sleep(100);
        }
        // Threads queued behind a stuck one may start theirs next: end those too.
        while (!joined) {
            if (Clock::now() >= lastDeadline) {
                std::fprintf(stderr, "FAILED: the threads had not returned from the library 120 s after the end; "
                                     "ending the test\n");
                std::fflush(stderr);
                ::TerminateProcess(::GetCurrentProcess(), 1);
            }
            for (const char* name : {FirstConverter, SecondConverter}) {
                for (const DWORD id : RunningProcessesNamed(name)) {
                    stuck.push_back(std::string(name) + " " + std::to_string(id));
                    std::fprintf(stderr, "ending %s, still running 60 s after the end\n", stuck.back().c_str());
                    UniqueHandle<> converter(::OpenProcess(PROCESS_TERMINATE, FALSE, id));
                    if (converter) {
                        ::TerminateProcess(converter.Get(), 97);
                    }
                }
            }
            ::Sleep(500);
        }
    });
    for (std::thread& thread : threads) {
        thread.join();
    }
    joined = true;
    watchdog.join();
    EXPECT_TRUE(stuck.empty()) << stuck.size() << " converters had not ended 60 s after the end, the first: "
                               << stuck[0];
    const CallWatch::Counts seen = watch->Seen();
    watch.reset();
    library.reset();

    std::printf("extractions %zu, listings %d, settings rewritten %d times, threads started and ended %d\n",
                extractions.size(), listings.load(), rewrites.load(), threadsStarted.load());
    EXPECT_GE(extractions.size(), EnoughExtractions) << "too slow for the test to mean much";
    EXPECT_EQ(0, failedRewrites.load());
    EXPECT_GT(rewrites.load(), 20);
    EXPECT_GT(threadsStarted.load(), 100) << "too few notifications for the test to mean much";
    EXPECT_GT(listings.load(), 0);
    EXPECT_TRUE(listingFaults.empty()) << listingFaults.size() << " faulty listings, the first:" << listingFaults[0];

    // A converter start that Wine itself fails (ERROR_INTERNAL_ERROR) is Wine's failure: it
    // is reported as such, and the library must answer it as a converter that did not start.
    if (seen.wineInternalErrors != 0) {
        std::printf("WINE FAILURE, not the library's: Wine's CreateProcessW failed %d of %d converter starts with "
                    "ERROR_INTERNAL_ERROR (1359)\n",
                    seen.wineInternalErrors, seen.creations);
    }
    EXPECT_LE(seen.wineInternalErrors * 20, seen.creations) << "Wine failed more than one start in 20";
    std::map<std::string, std::string> documentOfTarget;
    int notStarted = 0;
    for (const Extraction& extraction : extractions) {
        documentOfTarget[extraction.target] = extraction.document;
        if (extraction.result == ResultCannotCreateOutput && notStarted < seen.wineInternalErrors) {
            ++notStarted;
            continue;
        }
        EXPECT_EQ(ResultSuccess, extraction.result) << extraction.target << ": there was always a converter";
        EXPECT_TRUE(FileExists(extraction.target)) << extraction.target;
    }
    const std::vector<ConverterRecord> records = ReadConverterRecords(log);
    EXPECT_EQ(extractions.size() - static_cast<std::size_t>(notStarted), records.size());
    std::set<std::string> targetsSeen;
    bool converterSeen[2] = {false, false};
    for (const ConverterRecord& record : records) {
        ASSERT_FALSE(record.arguments.empty());
        const std::string target = record.arguments.back();
        const auto asked = documentOfTarget.find(target);
        if (asked == documentOfTarget.end()) {
            ADD_FAILURE() << "a target no thread asked for: " << record.commandLine;
            continue;
        }
        EXPECT_TRUE(targetsSeen.insert(target).second) << "converted twice: " << target;
        bool whole = false;
        for (int c = 0; c < 2; ++c) {
            const std::string line = Quoted(converters[c]) + OptionForTarget(target) + " -layout " +
                                     Quoted(asked->second) + " " + Quoted(target);
            if (record.commandLine == line) {
                whole = true;
                converterSeen[c] = true;
            }
        }
        EXPECT_TRUE(whole) << "names neither converter nor the document opened for " << target << " whole: "
                           << record.commandLine;
    }
    EXPECT_TRUE(converterSeen[0] && converterSeen[1]) << "the rewritten setting never took effect";

    // One wait for each converter, and none holds up the others: converters run side by
    // side, and documents open while they run. Every start and open keeps boxes off. Starts
    // beyond one per extraction ask the converter its version: once per load, and again
    // each time the setting names the other converter (at most once per extraction, and
    // never more often than the setting was rewritten), each waited for in slices of 100 ms.
    const int conversions = static_cast<int>(extractions.size()) - notStarted;
    const int questions = seen.creations - static_cast<int>(extractions.size());
    EXPECT_GE(questions, 1);
    EXPECT_LE(questions, std::min(static_cast<int>(extractions.size()), rewrites.load()) + 1);
    EXPECT_LE(conversions + questions, seen.processWaits);
    EXPECT_GE(conversions + 50 * questions, seen.processWaits);
    EXPECT_GT(seen.overlappingWaits, 0) << "no two converters ever ran at once";
    EXPECT_GT(seen.opensDuringWait, 0) << "no document was opened while a converter ran";
    EXPECT_EQ(0, seen.callsWithBoxes) << "a start or open let Windows show a box";
}

std::string BusyHostProgram()
{
    char self[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path(self, length);
    return path.substr(0, path.rfind('\\') + 1) + "PaperlensBusyHost.exe";
}

// Starts the busy host on the installation's library and document. It writes to a file
// rather than to this test's output, which a converter it leaves half started would inherit.
PROCESS_INFORMATION StartBusyHost(const PluginInstall& install, const std::string& document, const char* milliseconds)
{
    std::string line = Quoted(BusyHostProgram()) + " " + Quoted(install.LibraryFile()) + " " + Quoted(document) +
                       " " + Quoted(install.Folder()) + " " + milliseconds;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    const UniqueHandle<> output(::CreateFileA((install.Folder() + "\\busy-host.txt").c_str(), GENERIC_WRITE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inheritable,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output.Get();
    startup.hStdError = output.Get();
    PROCESS_INFORMATION created = {};
    EXPECT_TRUE(output && ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                           &created))
        << line;
    return created;
}

// What the host started that still runs, found by its parent, not its name: Wine names a
// process only once it has started.
std::vector<PROCESSENTRY32> ProcessesStartedBy(DWORD host)
{
    return RunningProcesses([&](const PROCESSENTRY32& e) { return e.th32ParentProcessID == host; });
}

// Ends whatever the host started that still runs. One whose creation an ending host never
// completed stays half started for good (on Windows too: its first thread is never
// resumed). Left running, it would also keep Wine's server up, and with it this test's output open.
void EndProcessesStartedBy(DWORD host)
{
    for (const PROCESSENTRY32& left : ProcessesStartedBy(host)) {
        UniqueHandle<> straggler(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, left.th32ProcessID));
        const bool ended = straggler && ::TerminateProcess(straggler.Get(), 98) &&
                           ::WaitForSingleObject(straggler.Get(), 5000) == WAIT_OBJECT_0;
        std::printf("%s process %lu ('%s'), left by the host's end\n", ended ? "ended" : "COULD NOT END",
                    static_cast<unsigned long>(left.th32ProcessID), left.szExeFile);
        EXPECT_TRUE(ended) << "process " << left.th32ProcessID << " outlives the test";
    }
}

TEST(Threads, TheHostProcessEndsCleanlyWhileThreadsAreBusyInTheLibrary)
{
    constexpr const char* converter = "busy-exit-converter.exe";
    PluginInstall install(SettingsNaming(converter), converter);
    const std::string document = install.Folder() + "\\busy.pdf";
    WriteFileWithTime(document, 2021, 2, 3, 4, 5, 6);
    const std::string log = install.Folder() + "\\record.log";
    ScopedVariable recording("RECCONV_LOG", log);
    ScopedVariable sleep("RECCONV_SLEEP_MS", "100"); // so that the end finds a thread waiting

    // Under user-mode emulation each thread needs longer to show progress.
    const PROCESS_INFORMATION created = StartBusyHost(install, document, UnderEmulation() ? "6000" : "1500");
    const UniqueHandle<> thread(created.hThread);
    const UniqueHandle<> process(created.hProcess);
    ASSERT_TRUE(process);
    const DWORD waited = ::WaitForSingleObject(process.Get(), 30000);
    if (waited != WAIT_OBJECT_0) {
        ::TerminateProcess(process.Get(), 99);
    }
    ASSERT_EQ(WAIT_OBJECT_0, waited) << "the host did not end within 30 s of being told to";
    std::printf("%s", ReadWholeFile(install.Folder() + "\\busy-host.txt").c_str());
    DWORD exitCode = 0;
    ASSERT_TRUE(::GetExitCodeProcess(process.Get(), &exitCode));
    EXPECT_EQ(3u, exitCode) << "3: ended through its own return with every thread busy; 4: a thread made no "
                               "progress; other codes: a crash";

    // A converter started just before the end may still run; let it finish its record.
    for (int i = 0; i < 100 && !ProcessesStartedBy(created.dwProcessId).empty(); ++i) {
        ::Sleep(50);
    }
    EndProcessesStartedBy(created.dwProcessId);
    const std::vector<ConverterRecord> records = ReadConverterRecords(log);
    EXPECT_FALSE(records.empty());
    for (const ConverterRecord& record : records) {
        EXPECT_EQ(install.Converter(converter), record.arguments.front());
    }
}

// The converter runs in a job that ends it when the job's last handle closes: a host that
// dies mid-extraction takes its converter with it.
TEST(Threads, AHostKilledDuringAnExtractionLeavesNoConverterRunning)
{
    const std::string converter = "orphan-" + std::to_string(::GetCurrentProcessId()) + ".exe";
    PluginInstall install(SettingsNaming(converter.c_str()), converter);
    const std::string document = install.Folder() + "\\killed.pdf";
    WriteFileWithTime(document, 2021, 2, 3, 4, 5, 6);
    ScopedVariable sleep("RECCONV_SLEEP_MS", "30000");
    ScopedVariable noRecord("RECCONV_LOG", "");
    const PROCESS_INFORMATION created = StartBusyHost(install, document, "60000");
    const UniqueHandle<> thread(created.hThread);
    const UniqueHandle<> host(created.hProcess);
    std::size_t running = 0;
    for (int i = 0; i < 300 && host && running == 0; ++i) {
        ::Sleep(50);
        running = RunningProcessesNamed(converter).size();
    }
    ::TerminateProcess(host.Get(), 9);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(host.Get(), 10000));
    for (int i = 0; i < 60 && !RunningProcessesNamed(converter).empty(); ++i) {
        ::Sleep(50);
    }
    const std::size_t left = RunningProcessesNamed(converter).size();
    EndProcessesStartedBy(created.dwProcessId);
    ASSERT_GT(running, 0u) << "the host never started its converter";
    EXPECT_EQ(0u, left) << "converters outlived their host by 3 s";
}

// The texts a host keeps are held open with delete-on-close: killed, it leaves none behind.
TEST(Threads, AHostKilledWhileItKeepsTextsLeavesNoneOfThem)
{
    PluginInstall install(SettingsNaming("conv.exe"));
    const std::string document = install.Folder() + "\\kept.pdf";
    WriteFileWithTime(document, 2021, 2, 3, 4, 5, 6);
    ScopedVariable version("RECCONV_VERSION", "pdftotext version 25.11.0\n");
    ScopedVariable write("RECCONV_WRITE", "1");
    ScopedVariable noRecord("RECCONV_LOG", "");
    const PROCESS_INFORMATION created = StartBusyHost(install, document, "60000");
    const UniqueHandle<> thread(created.hThread);
    const UniqueHandle<> host(created.hProcess);
    char temporary[MAX_PATH + 1];
    ASSERT_NE(0u, ::GetTempPathA(MAX_PATH + 1, temporary));
    // The host's own texts: ~paperlens-<machine>-<its process>-...
    const std::string mark = "-" + std::to_string(created.dwProcessId) + "-";
    const auto kept = [&] {
        std::size_t count = 0;
        WIN32_FIND_DATAA found;
        const HANDLE search = ::FindFirstFileA((std::string(temporary) + "~paperlens-*").c_str(), &found);
        for (bool more = search != INVALID_HANDLE_VALUE; more; more = ::FindNextFileA(search, &found)) {
            count += std::string(found.cFileName).find(mark) != std::string::npos;
        }
        if (search != INVALID_HANDLE_VALUE) {
            ::FindClose(search);
        }
        return count;
    };
    // A text is the converter's file until its run ends; one a host killed mid-run leaves
    // goes at a later conversion's sweep. Wait until the host alone holds its texts.
    std::size_t before = 0;
    for (int i = 0, quiet = 0; i < 300 && quiet < 3; ++i) {
        ::Sleep(50);
        const std::size_t now = kept();
        quiet = now != 0 && now == before && ProcessesStartedBy(created.dwProcessId).empty() ? quiet + 1 : 0;
        before = now;
    }
    ::TerminateProcess(host.Get(), 9);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(host.Get(), 10000));
    std::size_t after = kept();
    for (int i = 0; i < 60 && after != 0; ++i) {
        ::Sleep(50);
        after = kept();
    }
    EndProcessesStartedBy(created.dwProcessId);
    ASSERT_GT(before, 0u) << "the host kept no text";
    EXPECT_EQ(0u, after) << "texts outlived their host by 3 s";
}

} // namespace
