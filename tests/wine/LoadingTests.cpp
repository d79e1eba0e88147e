// Loading the library with settings of its own: where it looks for the converter, and when
// it refuses to load.
#include "ConverterRecord.h"
#include "ImportPatch.h"
#include "ResultCodes.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// Extracts one entry of a fresh document through `library`; the converter records into `log`.
int ExtractOne(const PluginLibrary& library, const PluginInstall& install)
{
    std::string document = install.Folder() + "\\doc.pdf";
    WriteFileWithTime(document, 2020, 1, 1, 0, 0, 0);
    OpenRequest request = {document.data(), ModeExtract, 0};
    const ArchiveHandle handle = library.OpenArchive(&request);
    HostHeaderRecord record;
    library.ReadHeader(handle, &record.header);
    std::string folder = install.Folder();
    std::string name = "doc_a.txt";
    const int result = library.ProcessFile(handle, OperationExtract, folder.data(), name.data());
    library.CloseArchive(handle);
    return result;
}

struct ConverterRun {
    int result = -1;
    std::vector<ConverterRecord> records;
};

ConverterRun ExtractWithRecording(const PluginLibrary& library, const PluginInstall& install)
{
    const std::string log = install.Folder() + "\\record.log";
    ::DeleteFileA(log.c_str());
    ScopedVariable recording("RECCONV_LOG", log);
    ScopedVariable write("RECCONV_WRITE", "1");
    ConverterRun run;
    run.result = ExtractOne(library, install);
    run.records = ReadConverterRecords(log);
    return run;
}

TEST(Loading, TheConverterIsTheSettingsFileNameInThePluginFolder)
{
    for (const char* settings : {"[Converters]\r\nPDF=conv.exe\r\n", "[Converters]\r\nPDF=conv.exe -x -y\r\n",
                                 "[Other]\r\nPDF=wrong.exe\r\n[Converters]\r\nPDF=conv.exe\r\n"}) {
        PluginInstall install(settings);
        const auto library = install.Load();
        ASSERT_NE(nullptr, library) << settings;
        const ConverterRun run = ExtractWithRecording(*library, install);
        EXPECT_EQ(ResultSuccess, run.result) << settings;
        ASSERT_EQ(1u, run.records.size()) << settings;
        EXPECT_EQ(install.Converter(), run.records[0].arguments[0]) << settings;
        EXPECT_EQ(std::string::npos, run.records[0].commandLine.find("-x")) << "the setting's options are dropped";
    }
}

TEST(Loading, AFolderWithSpacesRunsTheConverterInIt)
{
    PluginInstall install("[Converters]\r\nPDF=conv.exe\r\n", "conv.exe", "Program Files");
    // The shorter prefix an unquoted path would try first.
    const std::string decoy = install.Folder().substr(0, install.Folder().rfind('\\')) + "\\Program.exe";
    ASSERT_TRUE(::CopyFileA(ConverterProgramPath().c_str(), decoy.c_str(), FALSE));
    const auto library = install.Load();
    ASSERT_NE(nullptr, library);
    const ConverterRun run = ExtractWithRecording(*library, install);
    ASSERT_EQ(1u, run.records.size());
    EXPECT_EQ(install.Converter(), run.records[0].arguments[0]) << "not " << decoy;
}

TEST(Loading, ASettingThatNamesNoProgramLoadsButCannotExtract)
{
    // A leading space leaves no first word, and an empty value is no word either: the
    // converter path is the bare folder.
    for (const char* settings : {"[Converters]\r\nPDF=\" conv.exe\"\r\n", "[Converters]\r\nPDF=\r\n"}) {
        PluginInstall install(settings);
        const auto library = install.Load();
        ASSERT_NE(nullptr, library) << settings;
        const ConverterRun run = ExtractWithRecording(*library, install);
        EXPECT_EQ(ResultCannotCreateOutput, run.result) << settings;
        EXPECT_TRUE(run.records.empty()) << settings;
    }
}

TEST(Loading, NoSettingRefusesTheLoad)
{
    const std::string refused[] = {
        "",                                          // no settings file
        "[Other]\r\nPDF=conv.exe\r\n",               // no section
        "[Converters]\r\nTXT=conv.exe\r\n",          // no key
        "[Converters]\r\nPDF=not found\r\n",         // the marker itself
        "[Converters]\r\nPDF=\"not found\"\r\n",
        // A setting that does not fit whole: cut, it would name another program.
        "[Converters]\r\nPDF=" + std::string(252, 'c') + ".exe-v2.exe\r\n",
    };
    for (const std::string& settings : refused) {
        PluginInstall install(settings);
        EXPECT_EQ(nullptr, install.Load()) << "loaded with settings \"" << settings << "\"";
    }
    PluginInstall install("[Converters]\r\nPDF=not found.exe\r\n");
    EXPECT_NE(nullptr, install.Load()) << "only the exact marker is refused";
    PluginInstall longest("[Converters]\r\nPDF=conv.exe " + std::string(246, 'x') + "\r\n");
    EXPECT_NE(nullptr, longest.Load()) << "a setting of 255 characters fits";
}

// The library's calls of the file and profile functions, counted.
std::atomic<int> FileCalls{0};
DWORD WINAPI CountedProfile(LPCWSTR section, LPCWSTR key, LPCWSTR fallback, LPWSTR value, DWORD size, LPCWSTR file)
{
    ++FileCalls;
    return ::GetPrivateProfileStringW(section, key, fallback, value, size, file);
}

HANDLE WINAPI CountedCreate(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                            DWORD flags, HANDLE model)
{
    ++FileCalls;
    return ::CreateFileW(name, access, share, security, disposition, flags, model);
}

DWORD WINAPI CountedAttributes(LPCWSTR name)
{
    ++FileCalls;
    return ::GetFileAttributesW(name);
}

// The library entry function runs under the loader lock: at a thread's start and end it
// touches no file (a plug-in on a drive that stops answering would stop every thread start
// of the host), and the edited setting is read at the next extraction.
TEST(Loading, AnEditedSettingTakesEffectAtTheNextThreadStart)
{
    PluginInstall install("[Converters]\r\nPDF=conv.exe\r\n");
    ASSERT_TRUE(::CopyFileA(ConverterProgramPath().c_str(), install.Converter("other.exe").c_str(), FALSE));
    const auto library = install.Load();
    ASSERT_NE(nullptr, library);
    install.WriteSettings("[Converters]\r\nPDF=other.exe\r\n");
    {
        const ImportPatch profile(library->Module(), "kernel32.dll", "GetPrivateProfileStringW",
                                  reinterpret_cast<const void*>(&CountedProfile));
        const ImportPatch create(library->Module(), "kernel32.dll", "CreateFileW",
                                 reinterpret_cast<const void*>(&CountedCreate));
        const ImportPatch attributes(library->Module(), "kernel32.dll", "GetFileAttributesW",
                                     reinterpret_cast<const void*>(&CountedAttributes));
        ASSERT_TRUE(profile.Valid() && create.Valid() && attributes.Valid());
        FileCalls = 0;
        std::thread([] {}).join();
        EXPECT_EQ(0, FileCalls.load()) << "file or profile calls at a thread's start and end";
    }
    const ConverterRun run = ExtractWithRecording(*library, install);
    ASSERT_EQ(1u, run.records.size());
    EXPECT_EQ(install.Converter("other.exe"), run.records[0].arguments[0]);

    install.WriteSettings("[Converters]\r\nTXT=none\r\n");
    std::thread([] {}).join();
    const ConverterRun without = ExtractWithRecording(*library, install);
    EXPECT_EQ(ResultCannotCreateOutput, without.result) << "no setting any more: nothing to run";
    EXPECT_TRUE(without.records.empty());
}

} // namespace
