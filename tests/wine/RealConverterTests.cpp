// End to end: the library beside a real converter, extracting the sample documents' text in
// each encoding after the command-line host taught it ANSI. The 32-bit library runs the
// Windows build of the converter, installed (by the build) as users install it: its folder
// as "poppler" beside the library (bin\pdftotext.exe with its DLLs, share\poppler beside
// bin) and PDF=poppler\bin\pdftotext.exe. No 64-bit Windows build of it is to be had, so the
// 64-bit library runs the stand-in instead, which hands the work to the machine's own
// pdftotext with every argument as it arrives.
#include "ConverterRecord.h"
#include "ResultCodes.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <map>

namespace {

constexpr bool WindowsBuild = sizeof(void*) == 4;

bool Holds(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::string Sample(const std::string& name)
{
    return SamplePath().substr(0, SamplePath().rfind('\\') + 1) + name;
}

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
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

class RealConverter : public testing::Test {
protected:
    void SetUp() override
    {
        if (!FileExists(Converter())) {
            GTEST_SKIP() << "no converter " << Converter() << " (scripts/setup.sh fetches the Windows one)";
        }
        RemoveMaps();
    }
    void TearDown() override { RemoveMaps(); }

    // Each test starts without the maps the host writes, with the data the converter ships:
    // the stand-in's share folder gets the machine's KOI8-R map, where a Windows build keeps
    // it and the library reads it; the Windows build keeps (or gets back) its own.
    static void RemoveMaps()
    {
        if (!WindowsBuild) {
            RemoveTree(Folder() + "share");
            for (const std::string& folder : {Folder() + "share", Folder() + "share\\poppler", MapFolder()}) {
                ::CreateDirectoryA(folder.c_str(), nullptr);
            }
            ::CopyFileA("Z:\\usr\\share\\poppler\\unicodeMap\\KOI8-R", (MapFolder() + "KOI8-R").c_str(), FALSE);
            return;
        }
        if (FileExists(DataFolder() + "-aside")) {
            RemoveTree(DataFolder());
            ::MoveFileA((DataFolder() + "-aside").c_str(), DataFolder().c_str());
        }
        ::DeleteFileA((MapFolder() + "ANSI").c_str());
    }
    static std::string Folder() { return LibraryPath().substr(0, LibraryPath().rfind('\\') + 1); }
    static std::string Converter()
    {
        return Folder() + (WindowsBuild ? "poppler\\bin\\pdftotext.exe" : "pdftotext.exe");
    }
    static std::string DataFolder() { return Folder() + "poppler\\share"; }
    static std::string MapFolder()
    {
        return Folder() + (WindowsBuild ? "poppler\\" : "") + "share\\poppler\\unicodeMap\\";
    }
    static HostRun Host(const std::string& command) { return RunHostTool(command + " " + Quoted(LibraryPath())); }

    // Extracts the four entries of `document` with the recording converter in the converter's
    // place, handing each run on to the converter with its arguments as they came: the four
    // results, and the options of each conversion run, in order ("-enc UTF-8").
    static std::pair<std::vector<int>, std::vector<std::string>> RunsOfTheFourEntries(const std::string& document,
                                                                                   const std::string& folder)
    {
        const std::string real = Converter().substr(0, Converter().rfind('\\') + 1) + "pdftotext-real.exe";
        const std::string log = folder + "\\runs.log";
        ::DeleteFileA(log.c_str());
        const ScopedVariable record("RECCONV_LOG", log);
        const ScopedVariable run("RECCONV_RUN", real);
        const ScopedVariable version("RECCONV_VERSION", "pdftotext version 0.51.0\n"); // should the load ask
        EXPECT_TRUE(::MoveFileA(Converter().c_str(), real.c_str()));
        EXPECT_TRUE(::CopyFileA(ConverterProgramPath().c_str(), Converter().c_str(), FALSE));
        std::vector<int> results;
        for (const ExtractedEntry& entry : ExtractDocument(Library(), document, folder, DestinationStyle::DirectoryAndName)) {
            results.push_back(entry.result);
        }
        ::DeleteFileA(Converter().c_str());
        EXPECT_TRUE(::MoveFileA(real.c_str(), Converter().c_str()));
        return {results, ConversionOptions(ReadConverterRecords(log))};
    }

    // Checks all four entries of every sample byte for byte against the converter's own
    // output, run directly with each entry's encoding, and the ANSI one against the UTF-8 one
    // in the code page, which it is only where no character left out moves another.
    static void ExpectEveryEntryIsWhatTheConverterWrites()
    {
        for (const std::string& document :
             {SamplePath(), Sample("western.pdf"), Sample("quotes.pdf"), Sample("pages.pdf"), Sample("blank.pdf")}) {
            ExpectEveryEntryIsWhatTheConverterWrites(document);
        }
    }
    static void ExpectEveryEntryIsWhatTheConverterWrites(const std::string& document)
    {
        SCOPED_TRACE(document);
        ScratchFolder folder;
        const auto texts = ExtractAll(document, folder.Path());
        ASSERT_EQ(4u, texts.size());
        std::string base = document.substr(document.rfind('\\') + 1);
        base.erase(base.rfind('.'));
        for (const auto& [suffix, options] : std::map<std::string, std::string>{
                 {"_a.txt", "-enc ANSI "}, {"_k.txt", "-enc KOI8-R "}, {"_u.txt", "-enc UTF-8 "}, {".txt", ""}}) {
            const auto& entry = texts.at(base + suffix);
            EXPECT_EQ(ResultSuccess, entry.first) << suffix;
            const std::string direct = folder / ("direct" + suffix);
            const HostRun run = RunProgram(Quoted(Converter()) + " " + options + "-layout " + Quoted(document) + " " +
                                           Quoted(direct));
            EXPECT_EQ(0u, run.exitCode) << run.output;
            EXPECT_EQ(ReadWholeFile(direct), entry.second) << suffix;
        }
        const std::string& utf8 = texts.at(base + "_u.txt").second;
        const bool quotes = base == "quotes" || base == "pages";
        ASSERT_TRUE(Holds(utf8, base == "blank" ? "\f" : quotes ? "\xE2\x80\x9CKeep" : "lighthouse")) << utf8;
        // Not so where a table moves: in western.pdf the ligatures the ANSI text leaves out move
        // it, in pages.pdf (its middle page) the Cyrillic.
        if (base != "western" && base != "pages") {
            EXPECT_EQ(InCodePage(utf8, ::GetACP()), texts.at(base + "_a.txt").second) << "ANSI";
        } else {
            EXPECT_NE(InCodePage(utf8, ::GetACP()), texts.at(base + "_a.txt").second) << "ANSI";
        }
    }
};

TEST_F(RealConverter, EncodingsMakesAllFourEntriesRightWithTheConvertersOwnData)
{
    ASSERT_EQ(1252u, ::GetACP()) << "Wine's ANSI code page here";
    const HostRun first = Host("encodings");
    EXPECT_EQ(0u, first.exitCode) << first.output;
    EXPECT_TRUE(Holds(first.output, "wrote " + MapFolder() + "ANSI")) << first.output;
    EXPECT_TRUE(Holds(first.output, "KOI8-R: the converter's own data has it")) << first.output;
    EXPECT_FALSE(Holds(first.output, "wrote " + MapFolder() + "KOI8-R")) << "the converter's own map is kept";

    const HostRun again = Host("encodings");
    EXPECT_EQ(0u, again.exitCode) << again.output;
    EXPECT_TRUE(Holds(again.output, "found in place " + MapFolder() + "ANSI")) << again.output;
    EXPECT_FALSE(Holds(again.output, "wrote")) << again.output;

    ExpectEveryEntryIsWhatTheConverterWrites();
    ScratchFolder folder;
    using Runs = std::pair<std::vector<int>, std::vector<std::string>>;
    EXPECT_EQ(Runs({0, 0, 0, 0}, {"-enc UTF-8"}), RunsOfTheFourEntries(Sample("quotes.pdf"), folder.Path()))
        << "all four entries of quotes.pdf from one run";
    EXPECT_EQ(Runs({0, 0, 0, 0}, {"-enc UTF-8", "-f 2 -l 2 -enc ANSI", "-f 2 -l 2 -enc KOI8-R"}),
              RunsOfTheFourEntries(Sample("pages.pdf"), folder.Path()))
        << "pages.pdf's middle page alone again for ANSI and KOI8-R";
    const std::string western = ExtractAll(Sample("western.pdf"), folder.Path()).at("western_a.txt").second;
    EXPECT_TRUE(Holds(western, "\x93Harbour\x94 menu \x96 fish at 12 \x80 \x97 is \x91" "fine\x92\x85"))
        << "code page 1252, not Latin-1: " << western;
}

TEST_F(RealConverter, EncodingsWritesKoi8RWhereTheConverterHasNoData)
{
    // The stand-in reads its own folder alone; the Windows build goes without the data it ships.
    const ScopedVariable ownDataOnly("PDFTOTEXT_SHIM_DATA", "own");
    if (WindowsBuild) {
        ASSERT_TRUE(::MoveFileA(DataFolder().c_str(), (DataFolder() + "-aside").c_str()));
    } else {
        ASSERT_TRUE(::DeleteFileA((MapFolder() + "KOI8-R").c_str()));
    }
    const HostRun before = Host("check");
    EXPECT_EQ(1u, before.exitCode) << before.output;
    EXPECT_TRUE(Holds(before.output, "does not know the encoding ANSI")) << before.output;
    EXPECT_TRUE(Holds(before.output, "does not know the encoding KOI8-R")) << before.output;

    const HostRun made = Host("encodings");
    EXPECT_EQ(0u, made.exitCode) << made.output;
    EXPECT_TRUE(Holds(made.output, "wrote " + MapFolder() + "KOI8-R")) << made.output;
    ExpectEveryEntryIsWhatTheConverterWrites();
    ScratchFolder folder;
    const auto texts = ExtractAll(SamplePath(), folder.Path());
    EXPECT_EQ(InCodePage(texts.at("sample_u.txt").second, Koi8R), texts.at("sample_k.txt").second) << "KOI8-R";
}

// One run finds the document damaged, and tells every entry so, with or without the maps.
TEST_F(RealConverter, ADamagedDocumentLeavesNoTargetAndIsABadArchive)
{
    ScratchFolder folder;
    const std::string broken = folder / "broken.pdf";
    const std::string sample = ReadWholeFile(SamplePath());
    ASSERT_GT(sample.size(), 1000u);
    WriteWholeFile(broken, sample.substr(0, 400) + std::string(600, '\x7F'));
    EXPECT_EQ((std::pair<std::vector<int>, std::vector<std::string>>({13, 13, 13, 13}, {"-enc UTF-8"})),
              RunsOfTheFourEntries(broken, folder.Path()));
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
