// Extraction through the exports, with the recording converter in the converter's place:
// what it is given, how it is started, and what the host is told.
#include "CommandLine.h"
#include "ConverterRecord.h"
#include "CallWatch.h"
#include "ImportPatch.h"
#include "ResultCodes.h"
#include "TestEnvironment.h"
#include "UniqueHandle.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* Settings = "[Converters]\r\nPDF=conv.exe\r\n";

int RunningProcessesNamed(const char* name)
{
    UniqueHandle<> snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int found = 0;
    for (BOOL more = snapshot && ::Process32First(snapshot.Get(), &entry); more;
         more = ::Process32Next(snapshot.Get(), &entry)) {
        found += _stricmp(entry.szExeFile, name) == 0;
    }
    return found;
}

// What the host's progress callbacks heard. Once StopAfter has passed since the first call
// and the converter's child runs (or 10 s have), they answer 0; until then, 1.
struct ProgressCall { bool wide; std::string name; int size; DWORD thread; Clock::time_point at; };
std::vector<ProgressCall> ProgressCalls;
Clock::duration StopAfter = Clock::duration::max();
Clock::time_point StoppedAt;
int ConvertersAtStop = 0;

int Heard(ProgressCall call)
{
    ProgressCalls.push_back(call);
    const Clock::duration running = call.at - ProgressCalls.front().at;
    if (running < StopAfter ||
        ((ConvertersAtStop = RunningProcessesNamed("conv.exe")) < 2 && running < std::chrono::seconds(10))) {
        return 1;
    }
    StoppedAt = Clock::now();
    return 0;
}

int PAPERLENS_CALL HearProgress(char* name, int size)
{
    return Heard({false, name, size, ::GetCurrentThreadId(), Clock::now()});
}

int PAPERLENS_CALL HearProgressW(wchar_t* name, int size)
{
    return Heard({true, NarrowFrom(name, CP_UTF8), size, ::GetCurrentThreadId(), Clock::now()});
}

// A library installed with the recording converter, which records into the folder.
class Extraction : public testing::Test {
protected:
    void SetUp() override
    {
        library_ = install_.Load();
        ASSERT_NE(nullptr, library_) << "the installed library did not load";
    }
    void TearDown() override { library_.reset(); }

    std::vector<ConverterRecord> Records() const { return ReadConverterRecords(logPath_); }

    std::string Document(const std::string& name) const
    {
        const std::string path = install_.Folder() + "\\" + name;
        WriteFileWithTime(path, 2011, 3, 21, 9, 41, 17);
        return path;
    }

    // Opens `document` for extraction, reads one header and extracts it with these arguments.
    int ExtractFirst(const std::string& document, const char* directory, const char* name, int operation = OperationExtract)
    {
        std::string path = document;
        OpenRequest request = {path.data(), ModeExtract, 0};
        const ArchiveHandle handle = library_->OpenArchive(&request);
        HostHeaderRecord record;
        library_->ReadHeader(handle, &record.header);
        std::string dir = directory ? directory : "";
        std::string file = name ? name : "";
        const int result = library_->ProcessFile(handle, operation, directory ? dir.data() : nullptr,
                                                 name ? file.data() : nullptr);
        library_->CloseArchive(handle);
        return result;
    }

    PluginInstall install_{Settings};
    std::string logPath_ = install_.Folder() + "\\record.log";
    ScopedVariable log_{"RECCONV_LOG", logPath_};
    ScopedVariable write_{"RECCONV_WRITE", "1"};
    std::unique_ptr<PluginLibrary> library_;
};

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

TEST_F(Extraction, RunsTheConverterOncePerEntryWithTheEntrysEncoding)
{
    const std::string document = Document("report.pdf");
    for (DestinationStyle style : {DestinationStyle::DirectoryAndName, DestinationStyle::FullPath}) {
        ::DeleteFileA(logPath_.c_str());
        const std::vector<ExtractedEntry> entries = ExtractDocument(*library_, document, install_.Folder(), style);
        ASSERT_EQ(4u, entries.size());
        const std::vector<ConverterRecord> records = Records();
        ASSERT_EQ(4u, records.size());
        const char* options[] = {" -enc ANSI", " -enc KOI8-R", " -enc UTF-8", ""};
        const char* encodings[] = {"ANSI", "KOI8-R", "UTF-8", "default"};
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(ResultSuccess, entries[i].result);
            const std::string target = install_.Folder() + "\\" + entries[i].name;
            EXPECT_EQ(Quoted(install_.Converter()) + options[i] + " -layout " + Quoted(document) + " " + Quoted(target),
                      records[i].commandLine);
            std::vector<std::string> arguments = {install_.Converter()};
            if (i < 3) {
                arguments.push_back("-enc");
                arguments.push_back(encodings[i]);
            }
            arguments.insert(arguments.end(), {"-layout", document, target});
            EXPECT_EQ(arguments, records[i].arguments);
            EXPECT_EQ(std::string("converted:") + encodings[i] + "\n\f", ReadWholeFile(target))
                << "the converter wrote the target the host named";
        }
    }
}

// A converter of the data-folder family (its default is UTF-8) writes the document's UTF-8
// text once, into the user's temporary folder; every entry is written from it, and so are
// the entries of a later archive of the same document while it is unchanged. The text goes
// when the library is unloaded.
TEST_F(Extraction, OneRunOfTheConverterServesEveryArchiveOfAnUnchangedDocument)
{
    const ScopedVariable version("RECCONV_VERSION", "pdftotext version 0.51.0\n");
    const ScopedVariable text("RECCONV_TEXT", "c2b04320c3b72032c2b20a0c"); // "°C ÷ 2²\n\f"
    const std::string document = Document("report.pdf");
    const std::string folder = install_.Folder();
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    const std::string maps = folder + "\\share\\poppler\\unicodeMap";
    std::string kept;
    for (int archive = 0; archive < 4; ++archive) {
        SCOPED_TRACE(archive);
        ::DeleteFileA(logPath_.c_str());
        if (archive == 2) {
            WriteFileWithTime(document, 2011, 3, 21, 9, 41, 19); // the same bytes, written anew
        } else if (archive == 3) {
            // Replaced by another file of the same size and time.
            WriteFileWithTime(document + ".new", 2011, 3, 21, 9, 41, 19);
            ASSERT_TRUE(::MoveFileExA((document + ".new").c_str(), document.c_str(), MOVEFILE_REPLACE_EXISTING));
        }
        for (const ExtractedEntry& entry : ExtractDocument(*library_, document, folder, DestinationStyle::DirectoryAndName)) {
            EXPECT_EQ(ResultSuccess, entry.result) << entry.name;
        }
        std::vector<ConverterRecord> records = Records();
        ASSERT_EQ(archive == 0 ? 2u : archive == 1 ? 0u : 1u, records.size())
            << "the version once per load, then one run per document as it is";
        if (archive == 0) {
            EXPECT_EQ((std::vector<std::string>{install_.Converter(), "-v"}), records[0].arguments);
        }
        if (!records.empty()) {
            const std::vector<std::string>& run = records.back().arguments;
            ASSERT_EQ(6u, run.size());
            EXPECT_EQ((std::vector<std::string>{install_.Converter(), "-enc", "UTF-8", "-layout", document}),
                      std::vector<std::string>(run.begin(), run.begin() + 5));
            EXPECT_EQ(0u, run[5].find(std::string(temp) + "~paperlens-")) << run[5];
            kept = run[5];
        }
        EXPECT_TRUE(FileExists(kept)) << "kept while the library is loaded";
        EXPECT_EQ("\xC2\xB0" "C \xC3\xB7 2\xC2\xB2\n\f", ReadWholeFile(folder + "\\report_u.txt"));
        EXPECT_EQ(ReadWholeFile(folder + "\\report_u.txt"), ReadWholeFile(folder + "\\report.txt"));
        EXPECT_EQ("\xB0" "C \xF7 2\xB2\n\f", ReadWholeFile(folder + "\\report_a.txt")) << "code page 1252";
        // Without the converter's own KOI8-R map, code page 20866; then with it, the map.
        EXPECT_EQ(archive == 0 ? "\x9C" "C \x9F 2\x9D\n\f" : "*C / 22\n\f", ReadWholeFile(folder + "\\report_k.txt"));
        // The ANSI map the library wrote there, the code page's.
        EXPECT_EQ("0000 007f 00\n", ReadWholeFile(maps + "\\ANSI").substr(0, 13));
        WriteWholeFile(maps + "\\KOI8-R", "000a 0a\r\n000c 0c\r\n0020 007e 20\r\n00b0 2a\r\n00b2 32\r\n00f7 2f\r\n");
    }
    library_.reset();
    EXPECT_FALSE(FileExists(kept)) << "the kept texts go with the library";
}

// A page the text cannot be turned into the entry's encoding for is the converter's own, run
// for that page alone, and taken only when it holds that page's text, spaces and line ends
// apart; otherwise the entry is written by its own run.
TEST_F(Extraction, APageTheTextCannotTellIsRunAloneAndTakenOnlyWhenItHoldsThatPage)
{
    const ScopedVariable version("RECCONV_VERSION", "pdftotext version 0.51.0\n");
    // Three pages, the second with a letter code page 1252 lacks.
    const std::string text = "one\n\f\xD0\xB6 two\n\fthree\n\f";
    const ScopedVariable written("RECCONV_TEXT", "6f6e650a0cd0b62074776f0a0c74687265650a0c");
    const std::string folder = install_.Folder();
    const struct {
        const char* pageRun; // in hexadecimal
        std::string entry;
    } cases[] = {
        {"20202074776f0d0a0c", "one\n\f   two\r\n\fthree\n\f"}, // "   two\r\n\f": laid out otherwise
        {"7477780a0c", text},                                 // "twx\n\f": another text
        {"74776f0a0c74687265650a0c", text},                   // "two\n\fthree\n\f": a page more
    };
    for (const auto& [pageRun, entry] : cases) {
        SCOPED_TRACE(pageRun);
        const ScopedVariable pages("RECCONV_PAGE_TEXT", pageRun);
        ::DeleteFileA(logPath_.c_str());
        // A document of its own per case: a kept text would serve the next.
        for (const ExtractedEntry& extracted :
             ExtractDocument(*library_, Document(std::string("r") + pageRun + ".pdf"), folder, DestinationStyle::DirectoryAndName)) {
            EXPECT_EQ(ResultSuccess, extracted.result) << extracted.name;
        }
        std::vector<std::string> expected = {"-enc UTF-8", "-f 2 -l 2 -enc ANSI"};
        if (entry == text) {
            expected.push_back("-enc ANSI"); // the entry's own run, which writes the whole text
        }
        EXPECT_EQ(expected, ConversionOptions(Records()));
        EXPECT_EQ(entry, ReadWholeFile(folder + "\\r" + pageRun + "_a.txt"));
        EXPECT_EQ("one\n\f\xD6 two\n\fthree\n\f", ReadWholeFile(folder + "\\r" + pageRun + "_k.txt")) << "code page 20866";
    }
}

// The run's exit code answers every entry: no second run for a document it cannot read.
TEST_F(Extraction, ADocumentTheConverterCannotReadIsABadArchiveOnEveryEntryAfterOneRun)
{
    const ScopedVariable version("RECCONV_VERSION", "pdftotext version 24.02.0\n");
    const ScopedVariable exitCode("RECCONV_EXIT", "1");
    for (const ExtractedEntry& entry :
         ExtractDocument(*library_, Document("r.pdf"), install_.Folder(), DestinationStyle::DirectoryAndName)) {
        EXPECT_EQ(ResultBadArchive, entry.result) << entry.name;
        EXPECT_FALSE(FileExists(entry.target)) << entry.name;
    }
    EXPECT_EQ(2u, Records().size()) << "the version, then one run";
}

// The host's progress callback may close the archive while its text is being made: the
// entry is still written from that text, which then goes.
const PluginLibrary* ClosingLibrary = nullptr;
ArchiveHandle ClosingHandle = nullptr;

int PAPERLENS_CALL CloseTheArchive(char*, int)
{
    if (ClosingHandle) {
        ClosingLibrary->CloseArchive(std::exchange(ClosingHandle, nullptr));
    }
    return 1;
}

TEST_F(Extraction, AnArchiveClosedWhileItsTextIsMadeStillGetsItsEntryAndTheTextGoes)
{
    const ScopedVariable version("RECCONV_VERSION", "pdftotext version 0.51.0\n");
    const ScopedVariable sleep("RECCONV_SLEEP_MS", "300");
    // The version asked first, so that the callback closes the archive during the text's
    // run, not during the version question (a slow machine hears the host then too).
    ASSERT_EQ(ResultSuccess, ExtractFirst(Document("other.pdf"), install_.Folder().c_str(), "other_a.txt"));
    std::string path = Document("r.pdf");
    OpenRequest request = {path.data(), ModeExtract, 0};
    ClosingLibrary = library_.get();
    ClosingHandle = library_->OpenArchive(&request);
    const ArchiveHandle handle = ClosingHandle;
    library_->SetProcessDataProc(handle, CloseTheArchive);
    HostHeaderRecord record;
    library_->ReadHeader(handle, &record.header);
    std::string folder = install_.Folder();
    std::string name = "r_a.txt";
    EXPECT_EQ(ResultSuccess, library_->ProcessFile(handle, OperationExtract, folder.data(), name.data()));
    EXPECT_EQ(nullptr, ClosingHandle) << "the callback never ran";
    EXPECT_EQ("converted:UTF-8\n\f", ReadWholeFile(folder + "\\r_a.txt"));
    const std::vector<ConverterRecord> records = Records();
    ASSERT_EQ(3u, records.size()) << "the version, the other's text and this text, no run of the entry's own";
    library_.reset();
    EXPECT_FALSE(FileExists(records[2].arguments.back())) << "the text outlived the library";
}

// A converter whose default is not UTF-8 writes the default entry itself.
// A thread extracting while another's converter makes the archive's text runs its own
// converter for its entry: it never waits for the other thread's.
TEST_F(Extraction, AnEntryExtractedWhileAnotherThreadMakesTheTextRunsItsOwnConverter)
{
    const ScopedVariable version("RECCONV_VERSION", "pdftotext version 0.51.0\n");
    const std::string document = Document("r.pdf");
    std::string folder = install_.Folder();
    std::string path = document;
    OpenRequest request = {path.data(), ModeExtract, 0};
    const ArchiveHandle handle = library_->OpenArchive(&request);
    HostHeaderRecord record;
    library_->ReadHeader(handle, &record.header);
    ScopedVariable sleep("RECCONV_SLEEP_MS", "1500");
    std::thread making([&] {
        std::string name = "r_a.txt";
        EXPECT_EQ(ResultSuccess, library_->ProcessFile(handle, OperationExtract, folder.data(), name.data()));
    });
    for (int i = 0; i < 500 && RunningProcessesNamed("conv.exe") == 0; ++i) {
        ::Sleep(10);
    }
    ::Sleep(200); // past the version question, into the text's run
    library_->ReadHeader(handle, &record.header);
    std::string name = "r_k.txt";
    EXPECT_EQ(ResultSuccess, library_->ProcessFile(handle, OperationExtract, folder.data(), name.data()));
    making.join();
    library_->CloseArchive(handle);
    const std::vector<ConverterRecord> records = Records();
    ASSERT_EQ(3u, records.size()) << "the version, the text, and the entry's own run";
    const ConverterRecord& own = records[2].encoding == "KOI8-R" ? records[2] : records[1];
    const ConverterRecord& text = records[2].encoding == "KOI8-R" ? records[1] : records[2];
    EXPECT_EQ("UTF-8", text.encoding);
    EXPECT_EQ("KOI8-R", own.encoding);
    EXPECT_EQ(folder + "\\r_k.txt", own.arguments.back());
    EXPECT_LT(own.startTime, text.endTime) << "waited for the other thread's converter";
}

TEST_F(Extraction, TheDefaultEntryOfAConverterWhoseDefaultIsNotUtf8IsItsOwnRun)
{
    {
        // First a converter whose default is UTF-8; the setting then names another one, whose
        // family is asked anew.
        const ScopedVariable first("RECCONV_VERSION", "pdftotext version 0.51.0\n");
        ExtractDocument(*library_, Document("q.pdf"), install_.Folder(), DestinationStyle::DirectoryAndName);
    }
    ASSERT_TRUE(::CopyFileA((install_.Folder() + "\\conv.exe").c_str(), (install_.Folder() + "\\other.exe").c_str(), FALSE));
    install_.WriteSettings("[Converters]\r\nPDF=other.exe\r\n");
    std::thread([] {}).join(); // a thread's start makes the library read its settings again
    ASSERT_TRUE(::DeleteFileA(logPath_.c_str()));
    const ScopedVariable version("RECCONV_VERSION", "pdftotext version 4.04 [www.example.com]\n");
    ExtractDocument(*library_, Document("r.pdf"), install_.Folder(), DestinationStyle::DirectoryAndName);
    const std::vector<ConverterRecord> records = Records();
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ("UTF-8", records[1].encoding);
    EXPECT_EQ("default", records[2].encoding);
    EXPECT_EQ(install_.Folder() + "\\r.txt", records[2].arguments.back());
    EXPECT_EQ("converted:default\n\f", ReadWholeFile(install_.Folder() + "\\r.txt"));
    EXPECT_EQ("converted:UTF-8\n\f", ReadWholeFile(install_.Folder() + "\\r_k.txt"));
}

TEST_F(Extraction, EachEntryTakesItsOwnEncodingWhateverTheTargetIsCalled)
{
    // invoice_a.pdf's fourth entry is invoice_a.txt, whose name carries the ANSI tag.
    ExtractDocument(*library_, Document("invoice_a.pdf"), install_.Folder(), DestinationStyle::DirectoryAndName);
    const std::vector<ConverterRecord> records = Records();
    ASSERT_EQ(4u, records.size());
    const char* encodings[] = {"ANSI", "KOI8-R", "UTF-8", "default"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(encodings[i], records[i].encoding) << records[i].commandLine;
    }
    EXPECT_EQ("converted:default\n\f", ReadWholeFile(install_.Folder() + "\\invoice_a.txt"));
}

TEST_F(Extraction, ANullOrEmptyDirectoryMakesTheNameTheWholeTarget)
{
    const std::string document = Document("r.pdf");
    char previous[MAX_PATH];
    ::GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryA(install_.Folder().c_str()));
    EXPECT_EQ(ResultSuccess, ExtractFirst(document, nullptr, "bare_u.txt"));
    EXPECT_EQ(ResultSuccess, ExtractFirst(document, "", "empty_a.txt"));
    ::SetCurrentDirectoryA(previous);
    const std::vector<ConverterRecord> records = Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ("bare_u.txt", records[0].arguments.back());
    EXPECT_EQ("ANSI", records[0].encoding) << "the entry listed, r_a.txt, not the name's tag";
    EXPECT_EQ("empty_a.txt", records[1].arguments.back());
    EXPECT_EQ("ANSI", records[1].encoding);
    EXPECT_TRUE(FileExists(install_.Folder() + "\\bare_u.txt")) << "written in the host's current folder";
}

TEST_F(Extraction, OnlyTheExtractOperationStartsAConverter)
{
    const std::string document = Document("r.pdf");
    const std::string folder = install_.Folder();
    for (int operation : {OperationSkip, OperationTest, 3, -1}) {
        EXPECT_EQ(ResultSuccess, ExtractFirst(document, folder.c_str(), "r_a.txt", operation)) << operation;
    }
    EXPECT_TRUE(Records().empty());
    EXPECT_FALSE(FileExists(folder + "\\r_a.txt"));
}

TEST_F(Extraction, TheConvertersExitCodeAndTheTargetDecideTheResult)
{
    const struct {
        const char* exitCode;
        const char* writes;
        int result;
    } cases[] = {
        {"0", "1", ResultSuccess},
        {"0", "0", ResultCannotCreateOutput}, // "success" with nothing written
        {"1", "0", ResultBadArchive},         // could not open the document
        {"2", "0", ResultCannotCreateOutput}, // could not open its output
        {"3", "0", ResultBadArchive},         // not permitted to read the document
        {"99", "1", ResultWriteError},        // any other failure, whatever it left behind
        {"-1", "0", ResultWriteError},
    };
    const std::string document = Document("r.pdf");
    for (const auto& c : cases) {
        ScopedVariable exitCode("RECCONV_EXIT", c.exitCode);
        ScopedVariable writes("RECCONV_WRITE", c.writes);
        ::DeleteFileA(logPath_.c_str());
        EXPECT_EQ(c.result, ExtractFirst(document, install_.Folder().c_str(), "r_a.txt"))
            << "exit code " << c.exitCode << ", target written " << c.writes;
        const std::vector<ConverterRecord> records = Records();
        ASSERT_EQ(1u, records.size());
        EXPECT_EQ(std::stoul(c.exitCode), records[0].exitCode);
    }
}

TEST_F(Extraction, ATargetLeftFromAnEarlierRunIsNeverTakenForThisRunsText)
{
    const std::string document = Document("r.pdf");
    const std::string target = install_.Folder() + "\\r_a.txt";
    WriteWholeFile(target, "stale text");
    ScopedVariable writes("RECCONV_WRITE", "0");
    EXPECT_EQ(ResultCannotCreateOutput, ExtractFirst(document, install_.Folder().c_str(), "r_a.txt"));
    EXPECT_FALSE(FileExists(target)) << "removed before the run";
    EXPECT_EQ(1u, Records().size());

    WriteWholeFile(target, "stale text");
    {
        // Held open without delete sharing: it cannot be removed, so nothing runs.
        const UniqueHandle<> holder(::CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder.IsValid());
        EXPECT_EQ(ResultCannotCreateOutput, ExtractFirst(document, install_.Folder().c_str(), "r_a.txt"));
    }
    EXPECT_EQ("stale text", ReadWholeFile(target));
    EXPECT_EQ(1u, Records().size()) << "no second run";
}

TEST_F(Extraction, RemovesTheTemporaryFilesOfThisMachinesEndedProcessesFromTheFolder)
{
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(::GetComputerNameW(computer, &size));
    char here[9];
    std::snprintf(here, sizeof here, "%08x", MachineTokenOf(std::wstring_view(computer, size)));
    // Process numbers are small multiples of 4: no process has this one.
    const std::string ended = install_.Folder() + "\\~paperlens-" + here + "-4294967292-00000000-3";
    const std::string living =
        install_.Folder() + "\\~paperlens-" + here + "-" + std::to_string(::GetCurrentProcessId()) + "-00000000-3.txt";
    // Another machine's, in a folder both share: its process number means nothing here.
    const std::string elsewhere = install_.Folder() + "\\~paperlens-" +
                                  (here == std::string("0badf00d") ? "0badf00e" : "0badf00d") + "-4294967292-00000000-3.pdf";
    const std::string readOnly = ended + "0.pdf"; // a copy of a read-only document, left behind
    for (const std::string& path : {ended + ".pdf", ended + ".txt", living, elsewhere, readOnly}) {
        WriteWholeFile(path, "left");
    }
    ASSERT_TRUE(::SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(ResultSuccess, ExtractFirst(Document("r.pdf"), install_.Folder().c_str(), "r_a.txt"));
    EXPECT_FALSE(FileExists(ended + ".pdf") || FileExists(ended + ".txt") || FileExists(readOnly));
    EXPECT_TRUE(FileExists(living)) << "a running process's own";
    EXPECT_TRUE(FileExists(elsewhere)) << "another machine's";
}

TEST_F(Extraction, TheDocumentItselfIsNeverTheTarget)
{
    const std::string document = Document("same_a.txt");
    const std::string spellings[][2] = {
        {install_.Folder(), "same_a.txt"},
        {install_.Folder() + "\\.", "same_a.txt"},
        {"", install_.Folder() + "\\..\\" + install_.Folder().substr(install_.Folder().rfind('\\') + 1) + "\\same_a.txt"},
    };
    for (const auto& spelling : spellings) {
        EXPECT_EQ(ResultCannotCreateOutput, ExtractFirst(document, spelling[0].c_str(), spelling[1].c_str()))
            << spelling[0] << " + " << spelling[1];
    }
    EXPECT_TRUE(Records().empty());
    EXPECT_TRUE(FileExists(document));
}

TEST_F(Extraction, AnUnknownHandleRunsNothing)
{
    const std::string document = Document("r.pdf");
    std::string path = document;
    OpenRequest request = {path.data(), ModeExtract, 0};
    const ArchiveHandle closed = library_->OpenArchive(&request);
    ASSERT_EQ(ResultSuccess, library_->CloseArchive(closed));
    std::string folder = install_.Folder();
    std::string name = "r_a.txt";
    for (const ArchiveHandle handle : {closed, ArchiveHandle()}) {
        EXPECT_EQ(ResultCannotOpen, library_->ProcessFile(handle, OperationExtract, folder.data(), name.data()));
        EXPECT_EQ(ResultSuccess, library_->ProcessFile(handle, OperationSkip, folder.data(), name.data()));
    }
    EXPECT_TRUE(Records().empty());
}

TEST_F(Extraction, ProcessFileReturnsOnlyWhenTheConverterHasEnded)
{
    ScopedVariable sleep("RECCONV_SLEEP_MS", "700");
    FILETIME before, after;
    ::GetSystemTimeAsFileTime(&before);
    EXPECT_EQ(ResultSuccess, ExtractFirst(Document("r.pdf"), install_.Folder().c_str(), "r_a.txt"));
    ::GetSystemTimeAsFileTime(&after);
    const std::vector<ConverterRecord> records = Records();
    ASSERT_EQ(1u, records.size());
    const auto asNumber = [](const FILETIME& t) { return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
    EXPECT_LE(records[0].endTime, asNumber(after));
    EXPECT_GE(asNumber(after) - asNumber(before), 7000000u) << "at least the converter's 700 ms";
}

TEST_F(Extraction, ALongCommandLineReachesTheConverterWhole)
{
    const std::string document = Document("r.pdf");
    const std::string folder = install_.Folder() + "\\" + std::string(120, 'd');
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    const std::string name = std::string(80, 'n') + "_a.txt";
    ASSERT_EQ(ResultSuccess, ExtractFirst(document, folder.c_str(), name.c_str()));
    const std::vector<ConverterRecord> records = Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_GT(records[0].commandLine.size(), 300u);
    EXPECT_EQ(Quoted(folder + "\\" + name), records[0].commandLine.substr(records[0].commandLine.rfind(" \"") + 1));
    EXPECT_EQ("converted:ANSI\n\f", ReadWholeFile(folder + "\\" + name));
}

TEST_F(Extraction, ACommandLineTooLongForWindowsIsNotRunAndIsReported)
{
    const std::string name = std::string(40000, 'n') + "_u.txt";
    EXPECT_EQ(ResultCannotCreateOutput, ExtractFirst(Document("r.pdf"), install_.Folder().c_str(), name.c_str()));
    EXPECT_TRUE(Records().empty());
}

TEST_F(Extraction, APathHoldingADoubleQuoteIsNotRun)
{
    const std::string document = Document("r.pdf");
    EXPECT_EQ(ResultCannotCreateOutput, ExtractFirst(document, install_.Folder().c_str(), "x\" -o \"y_a.txt"));
    EXPECT_EQ(ResultCannotCreateOutput, ExtractFirst(document, "C:\\a\" b", "y_a.txt"));
    EXPECT_EQ(ResultCannotOpen, ExtractFirst(install_.Folder() + "\\r\".pdf", install_.Folder().c_str(), "y_a.txt"))
        << "no such document opens";
    EXPECT_TRUE(Records().empty());
}

TEST_F(Extraction, TheConverterSharesTheHostsEnvironmentAndCurrentFolder)
{
    ScopedVariable probe("RECCONV_PROBE", "from the host");
    ScratchFolder elsewhere;
    char previous[MAX_PATH];
    ::GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryA(elsewhere.Path().c_str()));
    ExtractFirst(Document("r.pdf"), install_.Folder().c_str(), "r_a.txt");
    ::SetCurrentDirectoryA(previous);
    const std::vector<ConverterRecord> records = Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_TRUE(records[0].probeSet);
    EXPECT_EQ("from the host", records[0].probe);
    std::string folder = records[0].currentDirectory;
    if (!folder.empty() && folder.back() == '\\') {
        folder.pop_back();
    }
    EXPECT_EQ(elsewhere.Path(), folder) << "the host's current folder, not the plug-in's";
}

// Windows before 10 knows no attribute to create a process in a job: the library then puts
// the converter in its job before it runs.
BOOL WINAPI NoJobAttribute(LPPROC_THREAD_ATTRIBUTE_LIST list, DWORD flags, DWORD_PTR attribute, PVOID value,
                           SIZE_T size, PVOID previous, PSIZE_T returned)
{
    if (attribute == 0x2000D) {
        ::SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    return ::UpdateProcThreadAttribute(list, flags, attribute, value, size, previous, returned);
}

TEST_F(Extraction, TheConverterRunsHiddenInAJobWhetherWindowsCreatesItThereOrNot)
{
    BOOL hostInJob = TRUE;
    ASSERT_TRUE(::IsProcessInJob(::GetCurrentProcess(), nullptr, &hostInJob) && !hostInJob);
    for (const bool attribute : {true, false}) {
        SCOPED_TRACE(attribute);
        ::DeleteFileA(logPath_.c_str());
        std::unique_ptr<ImportPatch> older;
        if (!attribute) {
            older = std::make_unique<ImportPatch>(library_->Module(), "kernel32.dll", "UpdateProcThreadAttribute",
                                                  reinterpret_cast<const void*>(&NoJobAttribute));
            ASSERT_TRUE(older->Valid());
        }
        EXPECT_EQ(ResultSuccess, ExtractFirst(Document("r.pdf"), install_.Folder().c_str(), "r_a.txt"));
        const std::vector<ConverterRecord> records = Records();
        ASSERT_EQ(1u, records.size());
        EXPECT_TRUE(records[0].inJob);
        EXPECT_EQ(static_cast<std::uint32_t>(STARTF_USESHOWWINDOW), records[0].startupFlags)
            << "the show-window value and nothing else: no standard handles";
        EXPECT_EQ(static_cast<std::uint32_t>(SW_HIDE), records[0].showWindow);
    }
}

TEST_F(Extraction, TheConverterInheritsNoHandleOfTheHost)
{
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    UniqueHandle<> event(::CreateEventA(&inheritable, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event.IsValid());
    ScopedVariable handle("RECCONV_HANDLE", std::to_string(reinterpret_cast<std::uintptr_t>(event.Get())));

    // First prove the converter can tell: started with inheritance, it sees the handle.
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created = {};
    std::string line = Quoted(install_.Converter()) + " -layout \"a\" \"b\"";
    ASSERT_TRUE(::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, install_.Folder().c_str(),
                                 &startup, &created));
    const UniqueHandle<> thread(created.hThread);
    const UniqueHandle<> process(created.hProcess);
    ::WaitForSingleObject(process.Get(), INFINITE);

    ExtractFirst(Document("r.pdf"), install_.Folder().c_str(), "r_a.txt");
    const std::vector<ConverterRecord> records = Records();
    ASSERT_EQ(2u, records.size());
    ASSERT_TRUE(records[0].handleValid && records[0].handleInherit) << "the check itself sees an inherited handle";
    EXPECT_FALSE(records[1].handleValid && records[1].handleInherit) << "the converter received the host's handle";
}

TEST_F(Extraction, LeavesNoHandleOfTheHostOpen)
{
    const std::string document = Document("r.pdf");
    ExtractDocument(*library_, document, install_.Folder(), DestinationStyle::DirectoryAndName);
    const int before = CountHandles();
    for (int i = 0; i < 10; ++i) {
        ExtractDocument(*library_, document, install_.Folder(), DestinationStyle::DirectoryAndName);
    }
    EXPECT_EQ(44u, Records().size());
    EXPECT_EQ(before, CountHandles()) << "40 extractions later";
}

// Two documents on two threads: the first one's converter takes 4 s. Meanwhile the host
// sets its own error mode, and the second thread opens, lists, extracts and closes.
TEST_F(Extraction, AConverterRunningForOneThreadHoldsUpNoOtherAndTheHostKeepsItsErrorMode)
{
    const std::string slow = Document("slow.pdf");
    const std::string quick = Document("quick.pdf");
    const std::string folder = install_.Folder();
    {
        // The converter's version, asked once per load, asked now: the first wait below is the conversion's.
        ScopedVariable unrecorded("RECCONV_LOG", "");
        ASSERT_EQ(ResultSuccess, ExtractFirst(quick, folder.c_str(), "quick_u.txt"));
    }
    const UINT modeBefore = ::GetErrorMode();
    CallWatch watch(library_->Module());
    ASSERT_TRUE(watch.Valid());
    std::thread first;
    {
        ScopedVariable sleep("RECCONV_SLEEP_MS", "4000");
        first = std::thread([&] { EXPECT_EQ(ResultSuccess, ExtractFirst(slow, folder.c_str(), "slow_a.txt")); });
        for (int i = 0; i < 1000 && watch.Seen().processWaits == 0; ++i) {
            ::Sleep(10);
        }
    }
    ::SetErrorMode(SEM_NOGPFAULTERRORBOX);
    const Clock::time_point started = Clock::now();
    const Listing listing = ListDocument(*library_, quick);
    const Clock::duration listed = Clock::now() - started;
    const int result = ExtractFirst(quick, folder.c_str(), "quick_u.txt");
    FILETIME done;
    ::GetSystemTimeAsFileTime(&done);
    first.join();
    const UINT modeAfter = ::GetErrorMode();
    ::SetErrorMode(modeBefore);

    EXPECT_EQ(5u, listing.entries.size());
    EXPECT_LT(listed, std::chrono::seconds(1)) << "opening, listing and closing waited";
    EXPECT_EQ(ResultSuccess, result);
    const std::vector<ConverterRecord> records = Records();
    ASSERT_EQ(2u, records.size());
    const ConverterRecord& slowRun = records[0].arguments.back() == folder + "\\slow_a.txt" ? records[0] : records[1];
    EXPECT_LT((std::uint64_t{done.dwHighDateTime} << 32) | done.dwLowDateTime, slowRun.endTime)
        << "the second thread's work waited for the first thread's converter";
    EXPECT_EQ(static_cast<UINT>(SEM_NOGPFAULTERRORBOX), modeAfter) << "the host's own error mode was lost";
    EXPECT_EQ(0, watch.Seen().callsWithBoxes) << "a start or open let Windows show a box";
}

// The host's progress callbacks of an archive: the one of the caller's family hears the
// entry's name with size 0 at least every 250 ms, on the caller's thread. Answering 0 after
// 300 ms ends a converter that would run 30 s, the child it started and its partly written
// text at once; the archive goes on, and a whole run ends with the bytes written.
TEST_F(Extraction, TheHostsProgressCallbackHearsOfEachRunAndCanStopIt)
{
    const ScopedVariable version("RECCONV_VERSION", "pdftotext version 0.51.0\n");
    std::wstring document = WideFrom(Document("r.pdf"), CP_ACP);
    std::string folder = install_.Folder();
    OpenRequestW request = {document.data(), ModeExtract, 0};
    const ArchiveHandle handle = library_->OpenArchiveW(&request);
    library_->SetProcessDataProc(handle, HearProgress);
    library_->SetProcessDataProcW(handle, HearProgressW);
    HostHeaderRecordW record;
    library_->ReadHeaderExW(handle, &record.header);
    ProgressCalls.clear();
    StopAfter = std::chrono::milliseconds(300);
    int result = -1;
    {
        ScopedVariable sleep("RECCONV_SLEEP_MS", "30000");
        ScopedVariable child("RECCONV_CHILD", "1");
        ScopedVariable early("RECCONV_WRITE", "early");
        std::string name = "r_a.txt";
        result = library_->ProcessFile(handle, OperationExtract, folder.data(), name.data());
    }
    const Clock::time_point returned = Clock::now();
    StopAfter = Clock::duration::max();
    EXPECT_EQ(ResultAborted, result);
    EXPECT_EQ(2, ConvertersAtStop) << "the converter and its child ran when the host said stop";
    EXPECT_LT(returned - StoppedAt, std::chrono::seconds(1));
    for (int i = 0; i < 20 && RunningProcessesNamed("conv.exe") != 0; ++i) {
        ::Sleep(50);
    }
    EXPECT_EQ(0, RunningProcessesNamed("conv.exe")) << "a converter process outlived the stop";
    EXPECT_FALSE(FileExists(folder + "\\r_a.txt")) << "the partly written text is removed";
    ASSERT_EQ(1u, Records().size()) << "the version alone: the stopped run records nothing";
    ASSERT_GE(ProgressCalls.size(), 3u);
    // No callback can interrupt a converter's start: on a busy machine it takes a few hundred
    // milliseconds by itself (seen: 336), under user-mode emulation about half a second. A
    // library calling back once a second, or only after the run, still fails.
    const auto longestGap = std::chrono::milliseconds(UnderEmulation() ? 1500 : 500);
    for (std::size_t i = 0; i < ProgressCalls.size(); ++i) {
        const ProgressCall& call = ProgressCalls[i];
        EXPECT_TRUE(!call.wide && call.name == "r_a.txt" && call.size == 0) << call.wide << call.name << call.size;
        EXPECT_EQ(::GetCurrentThreadId(), call.thread);
        EXPECT_LE(call.at - ProgressCalls[i ? i - 1 : 0].at, longestGap) << "call " << i;
    }

    ProgressCalls.clear();
    library_->ReadHeaderExW(handle, &record.header);
    std::wstring wideFolder = WideFrom(folder, CP_ACP);
    std::wstring name = L"r_k.txt";
    EXPECT_EQ(ResultSuccess, library_->ProcessFileW(handle, OperationExtract, wideFolder.data(), name.data()));
    library_->CloseArchive(handle);
    EXPECT_EQ("converted:UTF-8\n\f", ReadWholeFile(folder + "\\r_k.txt"));
    EXPECT_EQ(2u, Records().size()) << "the stopped run left no text: the next extraction ran again";
    ASSERT_FALSE(ProgressCalls.empty());
    EXPECT_TRUE(ProgressCalls.back().wide && ProgressCalls.back().name == "r_k.txt");
    EXPECT_EQ(17, ProgressCalls.back().size) << "the bytes written, at the end";
}

// Nothing is started that Windows cannot wait on to its end: under Wine a Unix program
// would run detached. A batch file runs in its interpreter, and a name without an
// extension is run with ".exe", as Windows does.
TEST_F(Extraction, OnlyAConverterWindowsCanWaitOnIsRun)
{
    const std::string document = Document("r.pdf");
    const std::string folder = install_.Folder();
    const std::string image = ReadWholeFile(install_.Converter());
    // None at all, a Unix program, a script, and an MZ header naming no image.
    for (const std::string& bytes : {std::string(), std::string("\x7F" "ELF\x02\x01\x01", 7) + std::string(120, '\0'),
                                     std::string("#!/bin/sh\nexec /usr/bin/pdftotext \"$@\"\n"), "MZ" + std::string(120, '\0')}) {
        ::DeleteFileA(install_.Converter().c_str());
        if (!bytes.empty()) {
            WriteWholeFile(install_.Converter(), bytes);
        }
        EXPECT_EQ(ResultCannotCreateOutput, ExtractFirst(document, folder.c_str(), "r_a.txt")) << bytes.substr(0, 4);
        EXPECT_FALSE(FileExists(folder + "\\r_a.txt"));
    }
    EXPECT_TRUE(Records().empty());

    WriteWholeFile(install_.Converter("real.exe"), image);
    WriteWholeFile(install_.Converter("conv.cmd"), "@\"%~dp0real.exe\" %*\r\n");
    for (const char* setting : {"conv.cmd", "real"}) {
        install_.WriteSettings(std::string("[Converters]\r\nPDF=") + setting + "\r\n");
        std::thread([] {}).join(); // a thread's start makes the library read its settings again
        EXPECT_EQ(ResultSuccess, ExtractFirst(document, folder.c_str(), "r_a.txt")) << setting;
    }
    EXPECT_EQ(2u, Records().size());
}

// Two copies of the library in one host (two folders, or an old and a new version), their
// extractions interleaved: each archive's text is its own document's.
TEST_F(Extraction, TwoCopiesOfTheLibraryInOneHostKeepTheirTextsApart)
{
    const ScopedVariable version("RECCONV_VERSION", "pdftotext version 25.11.0\n");
    const PluginInstall other(Settings);
    const auto second = other.Load();
    ASSERT_NE(nullptr, second);
    struct Open {
        const PluginLibrary& library;
        ArchiveHandle handle;
        HostHeaderRecord header;
    };
    const auto open = [](const PluginLibrary& library, std::string document) {
        OpenRequest request = {document.data(), ModeExtract, 0};
        return Open{library, library.OpenArchive(&request), {}};
    };
    // The next entry, extracted with `text` (hexadecimal) as what the converter writes.
    const auto next = [&](Open& archive, const char* text) {
        const ScopedVariable written("RECCONV_TEXT", text);
        std::string folder = install_.Folder();
        std::string name = "entry.txt";
        archive.library.ReadHeader(archive.handle, &archive.header.header);
        const int result = archive.library.ProcessFile(archive.handle, OperationExtract, folder.data(), name.data());
        return result == ResultSuccess ? ReadWholeFile(folder + "\\entry.txt") : "failed";
    };
    Open first = open(*library_, Document("x.pdf"));
    Open later = open(*second, Document("y.pdf"));
    EXPECT_EQ("x\n\f", next(first, "780a0c"));
    EXPECT_EQ("y\n\f", next(later, "790a0c"));
    for (int entry = 1; entry < 4; ++entry) {
        EXPECT_EQ("x\n\f", next(first, "7a0a0c")) << "entry " << entry << " of x.pdf, from its own text";
    }
    first.library.CloseArchive(first.handle);
    later.library.CloseArchive(later.handle);
}

// The converter ends every text with its last page's form feed and exits 0 on a full disk:
// a text without one is cut short, and every entry then takes its own run.
TEST_F(Extraction, ATextCutShortServesNoEntry)
{
    const ScopedVariable version("RECCONV_VERSION", "pdftotext version 25.11.0\n");
    const ScopedVariable cut("RECCONV_TEXT", "6f6e650a0c74"); // "one\n\ft"
    for (const ExtractedEntry& entry :
         ExtractDocument(*library_, Document("r.pdf"), install_.Folder(), DestinationStyle::DirectoryAndName)) {
        EXPECT_EQ(ResultSuccess, entry.result) << entry.name << ", its own run's";
    }
    EXPECT_EQ((std::vector<std::string>{"-enc UTF-8", "-enc ANSI", "-enc KOI8-R", "-enc UTF-8", ""}),
              ConversionOptions(Records()));
}

// A batch converter gets its arguments through the command interpreter, which expands %NAME%
// even inside quotes: a document or target whose path holds such a character goes to it
// under a stand-in name.
TEST(Batch, ADocumentNamedWithPercentSignsReachesABatchConverterAsItself)
{
    PluginInstall install("[Converters]\r\nPDF=conv.cmd\r\n");
    WriteWholeFile(install.Converter("conv.cmd"), "@\"%~dp0conv.exe\" %*\r\n");
    const auto library = install.Load();
    ASSERT_NE(nullptr, library);
    const std::string folder = install.Folder() + "\\50% %PATH% off";
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    const std::string document = folder + "\\report %OS%.pdf";
    WriteFileWithTime(document, 2011, 3, 21, 9, 41, 17);
    const ScopedVariable log("RECCONV_LOG", install.Folder() + "\\record.log");
    const ScopedVariable write("RECCONV_WRITE", "1");
    for (const ExtractedEntry& entry : ExtractDocument(*library, document, folder, DestinationStyle::DirectoryAndName)) {
        EXPECT_EQ(ResultSuccess, entry.result) << entry.name;
        EXPECT_EQ(0u, ReadWholeFile(entry.target).rfind("converted:", 0)) << entry.name;
    }
    const std::vector<ConverterRecord> records = ReadConverterRecords(install.Folder() + "\\record.log");
    ASSERT_EQ(4u, records.size());
    for (const ConverterRecord& record : records) {
        for (std::size_t i = record.arguments.size() - 2; i < record.arguments.size(); ++i) {
            EXPECT_EQ(std::string::npos, record.arguments[i].find('%')) << record.arguments[i];
            EXPECT_NE(std::string::npos, record.arguments[i].find("~paperlens-")) << record.arguments[i];
        }
    }
}

// A converter whose maps folder may not be written: neither the probe that tells which folder
// it reads nor the ANSI map goes there, the KOI8-R entry is the converter's own run, and
// check names the folder.
TEST(DataFolder, AMapsFolderNobodyMayWriteIntoIsNamedAndNoMapIsTakenFromIt)
{
    const char* prepared = std::getenv("PAPERLENS_READONLY_DATA");
    ASSERT_TRUE(prepared && *prepared) << "the test run prepares the folder";
    const std::string folder = WindowsPathOf(prepared);
    const std::string library = folder + (sizeof(void*) == 8 ? "\\Paperlens.wcx64" : "\\Paperlens.wcx");
    const std::string maps = folder + "\\share\\poppler\\unicodeMap";
    ASSERT_TRUE(::CopyFileA(LibraryPath().c_str(), library.c_str(), FALSE));
    ASSERT_TRUE(::CopyFileA(ConverterProgramPath().c_str(), (folder + "\\conv.exe").c_str(), FALSE));
    WriteWholeFile(folder + "\\Paperlens.ini", "[Converters]\r\nPDF=conv.exe\r\n");
    const ScopedVariable version("RECCONV_VERSION", "pdftotext version 25.11.0\n");
    const ScopedVariable write("RECCONV_WRITE", "1");
    ScratchFolder output;
    const ScopedVariable log("RECCONV_LOG", output / "runs.log");
    {
        std::string error;
        const std::unique_ptr<PluginLibrary> loaded = PluginLibrary::Load(library, error);
        ASSERT_TRUE(loaded) << error;
        for (const ExtractedEntry& entry : ExtractDocument(*loaded, SamplePath(), output.Path(), DestinationStyle::DirectoryAndName)) {
            EXPECT_EQ(ResultSuccess, entry.result) << entry.name;
        }
    }
    const std::vector<std::string> options = ConversionOptions(ReadConverterRecords(output / "runs.log"));
    EXPECT_NE(options.end(), std::find(options.begin(), options.end(), "-enc KOI8-R")) << "where it reads KOI8-R is not known";
    EXPECT_FALSE(FileExists(maps + "\\ANSI"));
    const HostRun check = RunHostTool("check \"" + library + "\"");
    EXPECT_NE(std::string::npos, check.output.find("may not write into " + maps)) << check.output;
    for (const char* name : {"\\Paperlens.ini", "\\conv.exe", sizeof(void*) == 8 ? "\\Paperlens.wcx64" : "\\Paperlens.wcx"}) {
        ::DeleteFileA((folder + name).c_str());
    }
}

} // namespace
