// What the host is told when the real converter, through the stand-in, cannot do its work.
#include "ConverterRecord.h"
#include "ResultCodes.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

// A folder or file the build prepared, named by an environment variable of the test run.
std::string Prepared(const char* variable)
{
    const char* path = std::getenv(variable);
    return path && *path ? WindowsPathOf(path) : std::string();
}

// Extracts the UTF-8 entry of `document` into `folder`: its result, and whether a target was left.
std::pair<int, bool> ExtractUtf8(const std::string& document, const std::string& folder)
{
    const std::string name = document.substr(document.rfind('\\') + 1, document.rfind('.') - document.rfind('\\') - 1);
    const std::vector<ExtractedEntry> entries =
        ExtractDocument(Library(), document, folder, DestinationStyle::DirectoryAndName, name + "_u.txt");
    if (entries.size() != 1) {
        return {-1, false};
    }
    return {entries[0].result, FileExists(entries[0].target)};
}

TEST(ConverterFailure, ADocumentTheConverterCannotReadIsABadArchive)
{
    ScratchFolder folder;
    const std::string sample = ReadWholeFile(SamplePath());
    ASSERT_GT(sample.size(), 1000u);
    WriteWholeFile(folder / "truncated.pdf", sample.substr(0, sample.size() / 3));
    WriteWholeFile(folder / "empty.pdf", "");
    WriteWholeFile(folder / "text.pdf", "Plain text, not a document.\r\n");
    const std::string encrypted = Prepared("PAPERLENS_ENCRYPTED_SAMPLE");
    ASSERT_FALSE(encrypted.empty()) << "the build makes a copy of the sample with a user password";
    for (const std::string& document :
         {folder / "truncated.pdf", folder / "empty.pdf", folder / "text.pdf", encrypted}) {
        const auto [result, written] = ExtractUtf8(document, folder.Path());
        EXPECT_EQ(ResultBadArchive, result) << document;
        EXPECT_FALSE(written) << document;
    }
}

TEST(ConverterFailure, AnOutputTheConverterCannotCreateIsReported)
{
    ScratchFolder folder;
    const std::string document = folder / "sample.pdf";
    ASSERT_TRUE(::CopyFileA(SamplePath().c_str(), document.c_str(), FALSE));
    const std::string readOnly = Prepared("PAPERLENS_READONLY_FOLDER");
    ASSERT_FALSE(readOnly.empty()) << "the test run prepares a folder nobody may write into";
    for (const std::string& destination : {folder / "missing", readOnly}) {
        const auto [result, written] = ExtractUtf8(document, destination);
        EXPECT_EQ(ResultCannotCreateOutput, result) << destination;
        EXPECT_FALSE(written) << destination;
    }
    EXPECT_EQ((std::pair<int, bool>{ResultSuccess, true}), ExtractUtf8(document, folder.Path()))
        << "the same document into a folder that takes it";
}

// A converter whose maps folder may not be written: neither the probe that tells which folder
// it reads nor the ANSI map goes there, the KOI8-R entry is the converter's own run, and
// check names the folder.
TEST(ConverterFailure, AMapsFolderNobodyMayWriteIntoIsNamedAndNoMapIsTakenFromIt)
{
    const std::string folder = Prepared("PAPERLENS_READONLY_DATA");
    ASSERT_FALSE(folder.empty()) << "the test run prepares the folder";
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
