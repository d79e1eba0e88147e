// What goes wrong around the library: converters that die or do nothing, documents that
// vanish or are locked under it, destinations that cannot be written, settings files that
// are not settings. Each gives its defined answer, shows nothing and crashes nothing.
#include "ConverterRecord.h"
#include "ResultCodes.h"
#include "StressSupport.h"
#include "TestEnvironment.h"
#include "UniqueHandle.h"

#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

std::string SettingsNaming(const std::string& converter)
{
    return "[Converters]\r\nPDF=" + converter + "\r\n";
}

// Writes the settings file byte for byte (the install's own writer deletes it when empty).
void WriteRawSettings(const PluginInstall& install, const std::string& bytes)
{
    const std::string path = install.Folder() + "\\Paperlens.ini";
    UniqueHandle<> file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
    ASSERT_TRUE(file.IsValid());
    DWORD written = 0;
    ASSERT_TRUE(bytes.empty() ||
                ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

// Makes the library read its settings again, as any thread start does.
void Notify()
{
    std::thread([] {}).join();
}

DWORD FindProcessNamed(const std::string& name)
{
    UniqueHandle<> snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot && ::Process32First(snapshot.Get(), &entry); more;
         more = ::Process32Next(snapshot.Get(), &entry)) {
        if (_stricmp(entry.szExeFile, name.c_str()) == 0) {
            return entry.th32ProcessID;
        }
    }
    return 0;
}

// A library installed with the recording converter under a name of the test's choosing.
class Faults : public testing::Test {
protected:
    explicit Faults(const std::string& converter = "conv.exe")
        : converter_(converter), install_(SettingsNaming(converter), converter)
    {
    }

    void SetUp() override
    {
        library_ = install_.Load();
        ASSERT_NE(nullptr, library_);
        document_ = install_.Folder() + "\\report.pdf";
        WriteFileWithTime(document_, 2012, 6, 30, 23, 59, 59);
    }

    void TearDown() override
    {
        EXPECT_EQ(0, VisibleWindowsOfThisProcess()) << "the library showed a window";
        library_.reset();
    }

    struct Opened {
        ArchiveHandle handle = nullptr;
        std::string name;
    };

    // Opens the document for extraction and reads its first entry, as the host does.
    Opened OpenForExtraction(const std::string& document)
    {
        std::string path = document;
        OpenRequest request = {path.data(), ModeExtract, 0};
        Opened opened;
        opened.handle = library_->OpenArchive(&request);
        HostHeaderRecord record;
        EXPECT_EQ(ResultSuccess, library_->ReadHeader(opened.handle, &record.header));
        opened.name.assign(record.header.EntryName, strnlen(record.header.EntryName, EntryNameSize));
        return opened;
    }

    int Extract(const Opened& opened, std::string directory, std::string name)
    {
        const int result = library_->ProcessFile(opened.handle, OperationExtract, directory.data(), name.data());
        EXPECT_EQ(ResultSuccess, library_->CloseArchive(opened.handle));
        return result;
    }

    // A whole extraction of the first entry of the document into `directory`.
    int ExtractInto(const std::string& directory)
    {
        const Opened opened = OpenForExtraction(document_);
        return Extract(opened, directory, opened.name);
    }

    std::vector<ConverterRecord> Records() const { return ReadConverterRecords(log_); }

    std::string converter_;
    PluginInstall install_;
    std::string log_ = install_.Folder() + "\\record.log";
    ScopedVariable recording_{"RECCONV_LOG", log_};
    ScopedVariable write_{"RECCONV_WRITE", "1"};
    std::unique_ptr<PluginLibrary> library_;
    std::string document_;
};

class KilledConverter : public Faults {
protected:
    // A name no other test's converter has, so that the one to kill can be found by name.
    KilledConverter() : Faults("killed-converter-" + std::to_string(::GetCurrentProcessId()) + ".exe") {}
};

TEST_F(KilledConverter, EndsTheWaitWithAWriteErrorAndNoTarget)
{
    {
        // The library asks the converter its version at its first extraction: asked now, so
        // that the process the killer finds is the conversion.
        ScopedVariable unrecorded("RECCONV_LOG", "");
        ASSERT_EQ(ResultSuccess, ExtractInto(install_.Folder()));
    }
    // Generous bounds, so that a slow machine cannot make the kill come too late: the
    // converter would sleep a minute, the killer looks for it for 30 s.
    ScopedVariable sleep("RECCONV_SLEEP_MS", "60000");
    const UINT modeBefore = ::GetErrorMode();
    std::atomic<bool> killed{false};
    Clock::time_point killedAt;
    std::thread killer([&] {
        const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(30);
        while (!killed && Clock::now() < giveUp) {
            if (const DWORD id = FindProcessNamed(converter_)) {
                UniqueHandle<> process(::OpenProcess(PROCESS_TERMINATE, FALSE, id));
                ::Sleep(200); // well inside its run
                // Taken before the kill: the waiting thread may wake before this one does.
                const Clock::time_point killing = Clock::now();
                if (process && ::TerminateProcess(process.Get(), 77)) {
                    killedAt = killing;
                    killed = true;
                }
            }
            ::Sleep(10);
        }
    });
    const Clock::time_point started = Clock::now();
    const int result = ExtractInto(install_.Folder());
    const Clock::time_point returned = Clock::now();
    killer.join();
    ASSERT_TRUE(killed.load()) << "the test never found the converter to kill";
    EXPECT_EQ(ResultWriteError, result) << "killed with an exit code the converter never gives";
    EXPECT_GE(returned, killedAt) << "returned before the converter ended";
    EXPECT_LT(returned - started, std::chrono::seconds(45)) << "still waited for the converter's whole sleep";
    EXPECT_FALSE(FileExists(install_.Folder() + "\\report_a.txt"));
    EXPECT_TRUE(Records().empty()) << "a killed converter records nothing";
    EXPECT_EQ(modeBefore, ::GetErrorMode()) << "the host's error mode changed";

    // The library is whole again: the next extraction runs at once.
    ScopedVariable quick("RECCONV_SLEEP_MS", "0");
    EXPECT_EQ(ResultSuccess, ExtractInto(install_.Folder()));
    EXPECT_EQ(1u, Records().size());
    EXPECT_TRUE(FileExists(install_.Folder() + "\\report_a.txt"));
}

TEST_F(Faults, ADocumentDeletedBetweenOpenAndExtraction)
{
    const Opened opened = OpenForExtraction(document_);
    ASSERT_TRUE(::DeleteFileA(document_.c_str()));
    EXPECT_EQ(ResultSuccess, Extract(opened, install_.Folder(), opened.name)) << "the converter started";
    const std::vector<ConverterRecord> records = Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(document_, records[0].arguments[records[0].arguments.size() - 2])
        << "the converter is told the path the host opened, and finds out for itself";

    // Opened again, the missing document is refused.
    const Listing listing = ListDocument(*library_, document_);
    EXPECT_EQ(0, listing.handle);
    EXPECT_EQ(ResultCannotOpen, listing.requestResult);
}

TEST_F(Faults, ADocumentLockedWithoutSharingBetweenOpenAndExtraction)
{
    const Opened opened = OpenForExtraction(document_);
    {
        UniqueHandle<> locker(::CreateFileA(document_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(locker.IsValid());
        const Clock::time_point started = Clock::now();
        EXPECT_EQ(ResultSuccess, Extract(opened, install_.Folder(), opened.name));
        EXPECT_LT(Clock::now() - started, std::chrono::seconds(10)) << "waited on the lock";
    }
    EXPECT_EQ(1u, Records().size());
}

TEST_F(Faults, ADestinationThatDoesNotExistOrCannotBeWritten)
{
    const std::string aFile = install_.Folder() + "\\plain-file";
    WriteFileWithTime(aFile, 2020, 1, 1, 0, 0, 0);
    // A drive letter with nothing behind it.
    std::string noDrive;
    for (char letter = 'Q'; letter <= 'Y' && noDrive.empty(); ++letter) {
        const std::string root = std::string(1, letter) + ":\\";
        if (::GetDriveTypeA(root.c_str()) == DRIVE_NO_ROOT_DIR) {
            noDrive = root + "out";
        }
    }
    ASSERT_FALSE(noDrive.empty());
    const std::string destinations[] = {install_.Folder() + "\\missing", install_.Folder() + "\\missing\\deeper",
                                        aFile, noDrive};
    for (const std::string& destination : destinations) {
        EXPECT_EQ(ResultCannotCreateOutput, ExtractInto(destination)) << destination << ": exit code 0, no target";
        EXPECT_FALSE(FileExists(destination + "\\report_a.txt")) << destination;
    }
    const std::vector<ConverterRecord> records = Records();
    ASSERT_EQ(4u, records.size());
    for (const ConverterRecord& record : records) {
        EXPECT_TRUE(record.writeRequested);
        EXPECT_FALSE(record.targetWritten) << record.arguments.back();
    }
    EXPECT_EQ(ResultSuccess, ExtractInto(install_.Folder())) << "and a good destination still works";
    EXPECT_TRUE(FileExists(install_.Folder() + "\\report_a.txt"));
}

// A backslash before a closing quote escapes it for the converter's runtime unless it is
// doubled; then the next argument's words would reach the converter as options. A document
// path ending in one names no file and never gets that far.
TEST_F(Faults, PathsEndingInABackslashReachTheConverterAsTheyAre)
{
    for (std::string document : {install_.Folder() + "\\", document_ + "\\\\"}) {
        OpenRequest request = {document.data(), ModeExtract, 0};
        EXPECT_EQ(nullptr, library_->OpenArchive(&request)) << document;
        EXPECT_EQ(ResultCannotOpen, request.RequestResult) << document;
    }
    std::string folder = install_.Folder();
    // The converter cannot write a name ending in a backslash, hence 16; what counts is
    // what it was told.
    EXPECT_EQ(ResultCannotCreateOutput, Extract(OpenForExtraction(document_), folder, "out -f 3 -l 4 x\\"));
    // The folder itself as the target cannot be removed: nothing runs.
    EXPECT_EQ(ResultCannotCreateOutput, Extract(OpenForExtraction(document_), folder, ""));
    const std::vector<ConverterRecord> records = Records();
    ASSERT_EQ(1u, records.size());
    // In the encoding of the entry listed before it, the first.
    const std::vector<std::string> expected = {install_.Converter(), "-enc", "ANSI", "-layout", document_,
                                               folder + "\\out -f 3 -l 4 x\\"};
    EXPECT_EQ(expected, records[0].arguments) << records[0].commandLine;
}

// Settings files that hold no setting: the library refuses to load, quietly.
TEST(BadSettings, TextThatIsNotSettingsEmptyOrBinaryRefusesTheLoad)
{
    std::mt19937 random(static_cast<unsigned>(StressSeed()));
    std::string binary(4096, '\0');
    for (char& c : binary) {
        c = static_cast<char>(random());
    }
    std::string bigText;
    while (bigText.size() < (1u << 20)) {
        bigText += "PDF conv.exe [Converters PDF:conv.exe ;[Converters]\r\n=\r\n";
    }
    const std::string unreadable[] = {
        "",                                                    // empty
        "PDF=conv.exe\r\n",                                    // no section
        "[Converters\r\nPDF=conv.exe\r\n",                     // an unclosed section name
        "Converters]\r\nPDF=conv.exe\r\n",
        "[Converters]\r\nPDF conv.exe\r\n",                    // no equals sign
        "[Converters]\r\n=conv.exe\r\n",                       // no key
        "[ Convert ers ]\r\nPDF=conv.exe\r\n",
        std::string("\0[Converters]\r\nPDF=conv.exe\r\n", 29), // a NUL before it all
        binary,
        bigText,
    };
    int index = 0;
    for (const std::string& settings : unreadable) {
        SCOPED_TRACE("settings file " + std::to_string(index++));
        PluginInstall install(SettingsNaming("conv.exe"));
        WriteRawSettings(install, settings);
        ::SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(nullptr, install.Load());
        EXPECT_EQ(static_cast<DWORD>(ERROR_DLL_INIT_FAILED), ::GetLastError()) << "refused by the library itself";
    }
    // A folder where the file should be.
    PluginInstall install(SettingsNaming("conv.exe"));
    ASSERT_TRUE(::DeleteFileA((install.Folder() + "\\Paperlens.ini").c_str()));
    ASSERT_TRUE(::CreateDirectoryA((install.Folder() + "\\Paperlens.ini").c_str(), nullptr));
    EXPECT_EQ(nullptr, install.Load());
    EXPECT_EQ(0, VisibleWindowsOfThisProcess());
}

TEST_F(Faults, SettingsSpoiledWhileLoadedStopExtractionUntilMended)
{
    const auto refused = [&](const std::string& why) {
        Notify();
        EXPECT_EQ(ResultCannotCreateOutput, ExtractInto(install_.Folder())) << why;
        EXPECT_TRUE(Records().empty()) << why;
    };
    WriteRawSettings(install_, std::string("\x01\x02\x03\0\xff", 5));
    refused("binary settings");
    WriteRawSettings(install_, "");
    refused("empty settings");
    WriteRawSettings(install_, "[Converters]\r\nPDF=" + std::string(300, 'c') + ".exe\r\n");
    refused("a name cut at 255 characters names no program");
    WriteRawSettings(install_, "[Converters]\r\nPDF=co\"nv.exe\r\n");
    refused("a quote in the converter's name");
    {
        WriteRawSettings(install_, SettingsNaming("conv.exe"));
        UniqueHandle<> locker(::CreateFileA((install_.Folder() + "\\Paperlens.ini").c_str(), GENERIC_READ, 0, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(locker.IsValid());
        refused("settings held open without sharing");
    }
    Notify();
    EXPECT_EQ(ResultSuccess, ExtractInto(install_.Folder())) << "mended, it extracts again";
    EXPECT_EQ(1u, Records().size());
}

} // namespace
