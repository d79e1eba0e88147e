// End to end: the library beside the stand-in converter, which hands the work to the
// machine's own pdftotext with every argument as it arrives, extracting the sample
// documents' text in each encoding after the command-line host taught it ANSI.
#include "ResultCodes.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <map>

namespace {

bool Holds(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Extracts every entry of `document` into `folder`; entry name -> (result, text).
std::map<std::string, std::pair<int, std::string>> ExtractAll(const std::string& document, const std::string& folder)
{
    std::map<std::string, std::pair<int, std::string>> texts;
    for (const ExtractedEntry& entry : ExtractDocument(Library(), document, folder, DestinationStyle::DirectoryAndName)) {
        texts[entry.name] = {entry.result, FileExists(entry.target) ? ReadWholeFile(entry.target) : "<no file>"};
    }
    return texts;
}


std::string Sample(const std::string& name)
{
    return SamplePath().substr(0, SamplePath().rfind('\\') + 1) + name;
}

// The stand-in beside the library reads its encoding maps from share\poppler\unicodeMap
// there, as a Windows build of the converter does: each test starts without any.
class RealConverter : public testing::Test {
protected:
    void SetUp() override { RemoveTree(Folder() + "share"); }
    void TearDown() override { RemoveTree(Folder() + "share"); }

    static std::string Folder() { return LibraryPath().substr(0, LibraryPath().rfind('\\') + 1); }
    static std::string MapFolder() { return Folder() + "share\\poppler\\unicodeMap\\"; }
    static std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

    // Checks all four entries byte for byte against the UTF-8 one in each entry's code page.
    static void ExpectEveryEntryIsTheTextInItsEncoding(const std::string& document)
    {
        SCOPED_TRACE(document);
        ScratchFolder folder;
        const auto texts = ExtractAll(document, folder.Path());
        ASSERT_EQ(4u, texts.size());
        std::string base = document.substr(document.rfind('\\') + 1);
        base.erase(base.rfind('.'));
        for (const auto& [name, entry] : texts) {
            EXPECT_EQ(ResultSuccess, entry.first) << name;
        }
        const std::string& utf8 = texts.at(base + "_u.txt").second;
        ASSERT_TRUE(Holds(utf8, "lighthouse")) << utf8;
        EXPECT_EQ(InCodePage(utf8, ::GetACP()), texts.at(base + "_a.txt").second) << "ANSI";
        EXPECT_EQ(InCodePage(utf8, Koi8R), texts.at(base + "_k.txt").second) << "KOI8-R";
        EXPECT_EQ(utf8, texts.at(base + ".txt").second) << "the converter's own default is UTF-8";
    }
};

TEST_F(RealConverter, EncodingsMakesAllFourEntriesRightWithTheConvertersOwnData)
{
    ASSERT_EQ(1252u, ::GetACP()) << "Wine's ANSI code page here";
    const HostRun first = RunHostTool("encodings " + Quoted(LibraryPath()));
    EXPECT_EQ(0u, first.exitCode) << first.output;
    EXPECT_TRUE(Holds(first.output, "wrote " + MapFolder() + "ANSI")) << first.output;
    EXPECT_TRUE(Holds(first.output, "KOI8-R: the converter's own data has it")) << first.output;
    EXPECT_FALSE(FileExists(MapFolder() + "KOI8-R"));

    const HostRun again = RunHostTool("encodings " + Quoted(LibraryPath()));
    EXPECT_EQ(0u, again.exitCode) << again.output;
    EXPECT_TRUE(Holds(again.output, "found in place " + MapFolder() + "ANSI")) << again.output;
    EXPECT_FALSE(Holds(again.output, "wrote")) << again.output;

    // Debian's KOI8-R spells some punctuation out ("--" for a dash), so only the sample,
    // which has none, matches code page 20866 exactly here.
    ExpectEveryEntryIsTheTextInItsEncoding(SamplePath());
    ScratchFolder folder;
    const std::string western = ExtractAll(Sample("western.pdf"), folder.Path()).at("western_a.txt").second;
    EXPECT_TRUE(Holds(western, "\x93Harbour\x94 menu \x96 fish at 12 \x80 \x97 is \x91" "fine\x92\x85"))
        << "code page 1252, not Latin-1: " << western;
}

TEST_F(RealConverter, EncodingsWritesKoi8RWhereTheConverterHasNoData)
{
    const ScopedVariable ownDataOnly("PDFTOTEXT_SHIM_DATA", "own");
    const HostRun before = RunHostTool("check " + Quoted(LibraryPath()));
    EXPECT_EQ(1u, before.exitCode) << before.output;
    EXPECT_TRUE(Holds(before.output, "does not know the encoding ANSI")) << before.output;
    EXPECT_TRUE(Holds(before.output, "does not know the encoding KOI8-R")) << before.output;

    const HostRun made = RunHostTool("encodings " + Quoted(LibraryPath()));
    EXPECT_EQ(0u, made.exitCode) << made.output;
    EXPECT_TRUE(Holds(made.output, "wrote " + MapFolder() + "KOI8-R")) << made.output;
    ExpectEveryEntryIsTheTextInItsEncoding(SamplePath());
    ExpectEveryEntryIsTheTextInItsEncoding(Sample("western.pdf"));
}

TEST_F(RealConverter, ADamagedDocumentLeavesNoTargetAndIsABadArchive)
{
    ScratchFolder folder;
    const std::string broken = folder / "broken.pdf";
    const std::string sample = ReadWholeFile(SamplePath());
    ASSERT_GT(sample.size(), 1000u);
    WriteWholeFile(broken, sample.substr(0, 400) + std::string(600, '\x7F'));
    // Without a map for ANSI the converter stops at the encoding, before the document.
    const auto unmapped = ExtractAll(broken, folder.Path());
    ASSERT_EQ(4u, unmapped.size());
    EXPECT_EQ(ResultWriteError, unmapped.at("broken_a.txt").first);
    EXPECT_EQ(ResultBadArchive, unmapped.at("broken_u.txt").first);

    ASSERT_EQ(0u, RunHostTool("encodings " + Quoted(LibraryPath())).exitCode);
    const auto texts = ExtractAll(broken, folder.Path());
    ASSERT_EQ(4u, texts.size());
    for (const auto& [name, entry] : texts) {
        EXPECT_EQ(ResultBadArchive, entry.first) << name;
        EXPECT_EQ("<no file>", entry.second) << name;
    }
}

TEST_F(RealConverter, PathsWithSpacesAndWesternAccentsReachTheConverterIntact)
{
    ScratchFolder folder;
    const std::string documents = folder / "docs \xE9t\xE9";
    const std::string output = folder / "out \xFC";
    ASSERT_TRUE(::CreateDirectoryA(documents.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA(output.c_str(), nullptr));
    const std::string document = documents + "\\rapport \xFC" "ber.pdf";
    ASSERT_TRUE(::CopyFileA(SamplePath().c_str(), document.c_str(), FALSE));
    const auto texts = ExtractAll(document, output);
    ASSERT_EQ(4u, texts.size());
    const auto& utf8 = texts.at("rapport \xFC" "ber_u.txt");
    EXPECT_EQ(ResultSuccess, utf8.first);
    EXPECT_TRUE(Holds(utf8.second, "\xD0\xBC\xD0\xB0\xD1\x8F\xD0\xBA")) << "маяк: " << utf8.second;
}

} // namespace
