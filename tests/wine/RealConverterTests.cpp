// End to end: the library installed as users install it, beside the Windows build of the
// converter of its width (installed by the build): its folder as "poppler" beside the
// library, holding share\poppler and the program, which the 32-bit Poppler 0.51 keeps in
// bin\pdftotext.exe and the 64-bit Poppler 25.11.0 in Library\bin\pdftotext.exe, named so
// by Paperlens.ini. The sample documents' entries are checked first as unpacked, then after
// the command-line host's encodings.
#include "ConverterRecord.h"
#include "ResultCodes.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

namespace {

constexpr bool Poppler051 = sizeof(void*) == 4;

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

std::wstring Wide(const std::string& ansi)
{
    return WideFrom(ansi, CP_ACP);
}

// Entry suffix ("_a.txt") -> (result, text).
using EntryTexts = std::map<std::string, std::pair<int, std::string>>;

// Extracts every entry of `document` through one family of entry points into `folder`.
EntryTexts ExtractAll(const PluginLibrary& library, EntryPoints family, const std::wstring& document,
                      const std::wstring& folder)
{
    const std::wstring name = document.substr(document.rfind(L'\\') + 1);
    const std::size_t base = name.rfind(L'.');
    const DestinationStyle style =
        family == EntryPoints::Ansi ? DestinationStyle::DirectoryAndName : DestinationStyle::FullPath;
    EntryTexts texts;
    for (const ExtractedEntryW& entry : ExtractDocument(library, family, document, folder, style)) {
        const bool written = ::GetFileAttributesW(entry.target.c_str()) != INVALID_FILE_ATTRIBUTES;
        texts[NarrowFrom(entry.name.substr(base), CP_UTF8)] = {entry.result,
                                                               written ? ReadFileBytes(entry.target) : "<no file>"};
    }
    return texts;
}

EntryTexts ExtractAll(const std::string& document, const std::string& folder)
{
    return ExtractAll(Library(), EntryPoints::Ansi, Wide(document), Wide(folder));
}

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

    // Each test starts as unpacked: the data the converter ships, and no ANSI map anywhere
    // (a map written beside the program's folder, where no build reads it, goes too).
    static void RemoveMaps()
    {
        if (FileExists(DataFolder() + "-aside")) {
            RemoveTree(DataFolder());
            ::MoveFileA((DataFolder() + "-aside").c_str(), DataFolder().c_str());
        }
        ::DeleteFileA((MapFolder() + "ANSI").c_str());
        RemoveTree(Folder() + "poppler\\Library\\share");
    }
    static std::string Folder() { return LibraryPath().substr(0, LibraryPath().rfind('\\') + 1); }
    static std::string ProgramFolder() { return Folder() + (Poppler051 ? "poppler\\bin\\" : "poppler\\Library\\bin\\"); }
    static std::string Converter() { return ProgramFolder() + "pdftotext.exe"; }
    static std::string DataFolder() { return Folder() + "poppler\\share"; }
    static std::string MapFolder() { return DataFolder() + "\\poppler\\unicodeMap\\"; }
    static HostRun Host(const std::string& command) { return RunHostTool(command + " " + Quoted(LibraryPath())); }

    // Extracts the four entries of `document` with the recording converter in the converter's
    // place, handing each run on to the converter with its arguments as they came: the four
    // results, and the options of each conversion run, in order ("-enc UTF-8").
    static std::pair<std::vector<int>, std::vector<std::string>> RunsOfTheFourEntries(const std::string& document,
                                                                                   const std::string& folder)
    {
        const std::string real = ProgramFolder() + "pdftotext-real.exe";
        const std::string log = folder + "\\runs.log";
        ::DeleteFileA(log.c_str());
        const ScopedVariable record("RECCONV_LOG", log);
        const ScopedVariable run("RECCONV_RUN", real);
        const ScopedVariable version( // should the load ask
            "RECCONV_VERSION", Poppler051 ? "pdftotext version 0.51.0\n" : "pdftotext version 25.11.0\n");
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

    // Every entry of every sample, through both families of entry points of the library under test.
    static void ExpectEveryEntryIsWhatTheConverterWrites()
    {
        for (const std::string& document :
             {SamplePath(), Sample("western.pdf"), Sample("quotes.pdf"), Sample("pages.pdf"), Sample("blank.pdf")}) {
            ExpectEveryEntryIsWhatTheConverterWrites(Library(), Wide(document), document, Converter(), true);
        }
    }
    // Extracts every entry of `document` through the Unicode entry points of `library`, and
    // through the ANSI ones too when `ansiToo`, and checks each byte for byte against what
    // `converter` writes of `plain` (the same document under a name it can open), run directly
    // with the entry's encoding after the extractions, which may have given it a map it needs;
    // and the ANSI entry against the UTF-8 one in the code page, which it is only where no
    // character left out moves another.
    static void ExpectEveryEntryIsWhatTheConverterWrites(const PluginLibrary& library, const std::wstring& document,
                                                         const std::string& plain, const std::string& converter,
                                                         bool ansiToo, bool mapsMayFail = false)
    {
        SCOPED_TRACE(NarrowFrom(document, CP_UTF8));
        ScratchFolder folder;
        std::map<std::string, EntryTexts> families;
        for (const auto& [name, family] : {std::pair("Unicode", EntryPoints::Unicode), std::pair("ANSI", EntryPoints::Ansi)}) {
            if (family == EntryPoints::Unicode || ansiToo) {
                const std::string into = folder / name;
                ::CreateDirectoryA(into.c_str(), nullptr);
                families[name] = ExtractAll(library, family, document, Wide(into));
            }
        }
        for (const auto& [suffix, options] : std::map<std::string, std::string>{
                 {"_a.txt", "-enc ANSI "}, {"_k.txt", "-enc KOI8-R "}, {"_u.txt", "-enc UTF-8 "}, {".txt", ""}}) {
            const std::string direct = folder / ("direct" + suffix);
            const HostRun run =
                RunProgram(Quoted(converter) + " " + options + "-layout " + Quoted(plain) + " " + Quoted(direct));
            EXPECT_EQ(0u, run.exitCode) << suffix << " run directly: " << run.output;
            for (const auto& [family, texts] : families) {
                ASSERT_EQ(4u, texts.size()) << family;
                const auto& entry = texts.at(suffix);
                // An entry its converter cannot write answers an error, never a success.
                if (mapsMayFail && (suffix == "_a.txt" || suffix == "_k.txt") && entry.first != ResultSuccess) {
                    EXPECT_EQ("<no file>", entry.second) << suffix << " through the " << family << " entry points";
                    continue;
                }
                EXPECT_EQ(ResultSuccess, entry.first) << suffix << " through the " << family << " entry points";
                EXPECT_EQ(ReadWholeFile(direct), entry.second) << suffix << " through the " << family << " entry points";
            }
        }
        std::string base = plain.substr(plain.rfind('\\') + 1);
        base.erase(base.rfind('.'));
        const std::string& utf8 = families.at("Unicode").at("_u.txt").second;
        const bool quotes = base == "quotes" || base == "pages";
        ASSERT_TRUE(Holds(utf8, base == "blank" ? "\f" : quotes ? "\xE2\x80\x9CKeep" : "lighthouse")) << utf8;
        // Not so where a table moves: in western.pdf the ligatures the ANSI text leaves out move
        // it, in pages.pdf (its middle page) the Cyrillic.
        const std::string& ansi = families.at("Unicode").at("_a.txt").second;
        if (mapsMayFail && ansi == "<no file>") {
            return;
        }
        if (base != "western" && base != "pages") {
            EXPECT_EQ(InCodePage(utf8, ::GetACP()), ansi) << "ANSI";
        } else {
            EXPECT_NE(InCodePage(utf8, ::GetACP()), ansi) << "ANSI";
        }
    }
};

TEST_F(RealConverter, EveryEntryIsTheConvertersOwnAsUnpackedAndAfterEncodings)
{
    ASSERT_EQ(1252u, ::GetACP()) << "Wine's ANSI code page here";
    const HostRun unpacked = Host("check");
    EXPECT_EQ(0u, unpacked.exitCode) << "the converter as unpacked is a good setup: " << unpacked.output;
    RemoveMaps();
    ExpectEveryEntryIsWhatTheConverterWrites();

    RemoveMaps();
    const HostRun first = Host("encodings");
    EXPECT_EQ(0u, first.exitCode) << first.output;
    EXPECT_TRUE(Holds(first.output, "wrote " + MapFolder() + "ANSI")) << first.output;
    EXPECT_TRUE(Holds(first.output, "KOI8-R: the converter's own data has it")) << first.output;
    EXPECT_FALSE(Holds(first.output, "wrote " + MapFolder() + "KOI8-R")) << "the converter's own map is kept";

    const HostRun again = Host("encodings");
    EXPECT_EQ(0u, again.exitCode) << again.output;
    EXPECT_TRUE(Holds(again.output, "found in place " + MapFolder() + "ANSI")) << again.output;
    EXPECT_FALSE(Holds(again.output, "wrote")) << again.output;
    const HostRun checked = Host("check");
    EXPECT_EQ(0u, checked.exitCode) << checked.output;

    ExpectEveryEntryIsWhatTheConverterWrites();
    ScratchFolder folder;
    using Runs = std::pair<std::vector<int>, std::vector<std::string>>;
    EXPECT_EQ(Runs({0, 0, 0, 0}, {"-enc UTF-8"}), RunsOfTheFourEntries(Sample("quotes.pdf"), folder.Path()))
        << "all four entries of quotes.pdf from one run";
    EXPECT_EQ(Runs({0, 0, 0, 0}, {"-enc UTF-8", "-f 2 -l 2 -enc ANSI", "-f 2 -l 2 -enc KOI8-R"}),
              RunsOfTheFourEntries(Sample("pages.pdf"), folder.Path()))
        << "pages.pdf's middle page alone again for ANSI and KOI8-R";
    const std::string western = ExtractAll(Sample("western.pdf"), folder.Path()).at("_a.txt").second;
    EXPECT_TRUE(Holds(western, "\x93Harbour\x94 menu \x96 fish at 12 \x80 \x97 is \x91" "fine\x92\x85"))
        << "code page 1252, not Latin-1: " << western;
}

TEST_F(RealConverter, EncodingsWritesKoi8RWhereTheConverterHasNoData)
{
    ASSERT_TRUE(::MoveFileA(DataFolder().c_str(), (DataFolder() + "-aside").c_str()));
    const HostRun before = Host("check");
    EXPECT_EQ(1u, before.exitCode) << before.output;
    EXPECT_TRUE(Holds(before.output, "does not know the encoding KOI8-R")) << before.output;

    const HostRun made = Host("encodings");
    EXPECT_EQ(0u, made.exitCode) << made.output;
    EXPECT_TRUE(Holds(made.output, "wrote " + MapFolder() + "KOI8-R")) << made.output;
    ExpectEveryEntryIsWhatTheConverterWrites();
    ScratchFolder folder;
    const auto texts = ExtractAll(SamplePath(), folder.Path());
    EXPECT_EQ(InCodePage(texts.at("_u.txt").second, Koi8R), texts.at("_k.txt").second) << "KOI8-R";
}

// The library and its converter in a folder the ANSI code page cannot name, as where a user
// profile is named in another script: documents named in Cyrillic and Japanese through the
// Unicode entry points, and one the code page names through the ANSI ones too.
TEST_F(RealConverter, InAFolderNamedInCyrillicAndJapaneseEveryEntryIsTheConvertersOwnOrAnError)
{
    ScratchFolder scratch;
    const std::wstring folder = Wide(scratch.Path()) + L"\\Плагины 灯台";
    const std::wstring library = Wide(LibraryPath().substr(LibraryPath().rfind('\\') + 1));
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    for (const std::wstring& file : {library, std::wstring(L"Paperlens.ini")}) {
        ASSERT_TRUE(::CopyFileW((Wide(Folder()) + file).c_str(), (folder + L"\\" + file).c_str(), FALSE));
    }
    const HostRun copied = RunProgram(L"xcopy /E /I /Q /Y \"" + Wide(Folder()) + L"poppler\" \"" + folder + L"\\poppler\"");
    ASSERT_EQ(0u, copied.exitCode) << copied.output;
    std::string error;
    const auto plugin = PluginLibrary::Load(folder + L"\\" + library, error);
    ASSERT_NE(nullptr, plugin) << error;
    // What the converter writes is checked by the installed copy, with the ANSI map encodings
    // writes (the library's own). The library starts the converter by the short form of its
    // path, by which it finds its data on Windows; under Wine CreateProcessW hands the program
    // its long path all the same, so there its ANSI and KOI8-R entries may only fail, and
    // never pass another text for its own.
    const HostRun encodings = Host("encodings");
    ASSERT_EQ(0u, encodings.exitCode) << encodings.output;
    const std::string converter = Converter();
    const std::wstring documents = folder + L"\\Документы ノート";
    ASSERT_TRUE(::CreateDirectoryW(documents.c_str(), nullptr));
    for (const std::wstring base : {L"Маяк заметки", L"灯台ノート"}) {
        const std::wstring document = documents + L"\\" + base + L".pdf";
        ASSERT_TRUE(::CopyFileW(Wide(Sample("pages.pdf")).c_str(), document.c_str(), FALSE));
        ExpectEveryEntryIsWhatTheConverterWrites(*plugin, document, Sample("pages.pdf"), converter, false, true);
    }
    ExpectEveryEntryIsWhatTheConverterWrites(*plugin, Wide(SamplePath()), SamplePath(), converter, true, true);
}

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
    const auto& utf8 = texts.at("_u.txt");
    EXPECT_EQ(ResultSuccess, utf8.first);
    EXPECT_TRUE(Holds(utf8.second, "\xD0\xBC\xD0\xB0\xD1\x8F\xD0\xBA")) << "маяк: " << utf8.second;
}

TEST_F(RealConverter, CheckPassesAGoodSetupAndShowsTheConvertersMessageWhenAnEntryFails)
{
    const std::string library = Quoted(LibraryPath());
    ASSERT_EQ(0u, RunHostTool("encodings " + library).exitCode);
    const HostRun good = RunHostTool("check " + library + " " + Quoted(SamplePath()));
    EXPECT_EQ(0u, good.exitCode) << good.output;
    for (const char* line : {"version    pdftotext version ", "(maps in its data folder)", "encodings  ANSI, KOI8-R, UTF-8: known",
                             "sample_a.txt             written, ", "sample.txt               written, ",
                             "everything works"}) {
        EXPECT_NE(std::string::npos, good.output.find(line)) << line << "\n" << good.output;
    }

    ScratchFolder scratch;
    const std::string damaged = scratch / "damaged.pdf";
    WriteWholeFile(damaged, ReadWholeFile(SamplePath()).substr(0, 400));
    const HostRun bad = RunHostTool("check " + library + " " + Quoted(damaged));
    EXPECT_EQ(1u, bad.exitCode) << bad.output;
    EXPECT_NE(std::string::npos, bad.output.find("the converter, run the same way, exits 1: it could not open the "
                                                 "document"))
        << bad.output;
    EXPECT_NE(std::string::npos, bad.output.find("4 problems found")) << bad.output;
}

TEST_F(RealConverter, ADocumentTheConverterCannotReadIsABadArchive)
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

TEST_F(RealConverter, AnOutputTheConverterCannotCreateIsReported)
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
