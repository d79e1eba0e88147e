// What the host is told when the real converter, through the stand-in, cannot do its work.
#include "ResultCodes.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

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

} // namespace
