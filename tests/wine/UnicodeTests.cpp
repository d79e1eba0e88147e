// Documents, output folders and the library itself in folders whose names the ANSI code
// page cannot hold, through the Unicode entry points.
#include "ConverterRecord.h"
#include "ImportPatch.h"
#include "ResultCodes.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <set>

namespace {

std::wstring Wide(const std::string& ansi)
{
    return WideFrom(ansi, CP_ACP);
}

// What the converter wrote, or "<no file>".
std::string ReadWide(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES ? "<no file>" : ReadFileBytes(path);
}

std::set<std::wstring> NamesIn(const std::wstring& folder)
{
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (found.cFileName != std::wstring(L".") && found.cFileName != std::wstring(L"..")) {
                names.insert(found.cFileName);
            }
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    return names;
}

std::set<std::wstring> EntryNamesOf(const std::wstring& base)
{
    return {base + L"_a.txt", base + L"_k.txt", base + L"_u.txt", base + L".txt"};
}

// The library, with the recording converter and its settings, in a folder of any name.
class WideInstall {
public:
    explicit WideInstall(const std::wstring& name)
        : folder_(Wide(scratch_.Path()) + L"\\" + name)
    {
        const std::wstring built = Wide(LibraryPath().substr(0, LibraryPath().rfind('\\') + 1));
        const std::wstring library = Wide(LibraryPath().substr(LibraryPath().rfind('\\') + 1));
        ok_ = ::CreateDirectoryW(folder_.c_str(), nullptr) &&
              ::CopyFileW((built + library).c_str(), (folder_ + L"\\" + library).c_str(), FALSE) &&
              ::CopyFileW(Wide(ConverterProgramPath()).c_str(), (folder_ + L"\\conv.exe").c_str(), FALSE);
        library_ = folder_ + L"\\" + library;
        WriteWholeFile(scratch_ / "settings", "[Converters]\r\nPDF=conv.exe\r\n");
        ok_ = ok_ && ::MoveFileW(Wide(scratch_ / "settings").c_str(), (folder_ + L"\\Paperlens.ini").c_str());
    }

    bool Ok() const { return ok_; }
    const std::wstring& Folder() const { return folder_; }
    std::unique_ptr<PluginLibrary> Load() const
    {
        std::string error;
        return PluginLibrary::Load(library_, error);
    }
    // A folder beside the installation, made here.
    std::wstring MakeFolder(const std::wstring& name) const
    {
        const std::wstring folder = Wide(scratch_.Path()) + L"\\" + name;
        ::CreateDirectoryW(folder.c_str(), nullptr);
        return folder;
    }

private:
    ScratchFolder scratch_;
    std::wstring folder_;
    std::wstring library_;
    bool ok_ = false;
};

// The texts themselves, converted in such folders, are the end-to-end tests' (RealConverter).
TEST(Unicode, DocumentsAndTheLibraryInFoldersOfAnyNameGiveAllFourEntries)
{
    const WideInstall install(L"Плагины 灯台");
    ASSERT_TRUE(install.Ok());
    const auto library = install.Load();
    ASSERT_NE(nullptr, library) << "loaded from a folder the ANSI code page cannot name";
    ASSERT_TRUE(library->HasUnicode());
    const ScopedVariable writing("RECCONV_WRITE", "1");
    ScratchFolder logs;
    const ScopedVariable log("RECCONV_LOG", logs / "runs.log");

    const std::wstring documents = install.MakeFolder(L"Документы ノート");
    const std::wstring output = install.MakeFolder(L"Тексты");
    const std::string sample = ReadWholeFile(SamplePath());
    for (const std::wstring base : {L"Маяк заметки", L"灯台ノート", L"Lighthouse маяк 灯台"}) {
        SCOPED_TRACE(NarrowFrom(base, CP_UTF8));
        const std::wstring document = documents + L"\\" + base + L".pdf";
        ASSERT_TRUE(::CopyFileW(Wide(SamplePath()).c_str(), document.c_str(), FALSE));

        const ListingW listing = ListDocument(*library, EntryPoints::Unicode, document);
        ASSERT_EQ(5u, listing.entries.size());
        std::set<std::wstring> listed;
        for (const ListedEntryW& entry : listing.entries) {
            EXPECT_EQ("", entry.recordChanges);
            EXPECT_EQ(listing.entries[0].time, entry.time);
            listed.insert(entry.result == ResultSuccess ? entry.name : L"");
        }
        EXPECT_EQ(ResultNoMoreEntries, listing.entries[4].result);
        EXPECT_NE(UnreadDosTime, listing.entries[0].time) << "the document's own time";
        listed.erase(L"");
        EXPECT_EQ(EntryNamesOf(base), listed);

        std::map<std::wstring, std::string> texts;
        for (const ExtractedEntryW& entry :
             ExtractDocument(*library, EntryPoints::Unicode, document, output, DestinationStyle::DirectoryAndName)) {
            EXPECT_EQ(ResultSuccess, entry.result) << NarrowFrom(entry.name, CP_UTF8);
            texts[entry.name] = ReadWide(entry.target);
        }
        for (const auto& [name, text] : texts) {
            EXPECT_EQ(0u, text.rfind("converted:", 0)) << NarrowFrom(name, CP_UTF8) << ": " << text;
        }
        EXPECT_EQ(4u, texts.size());
        EXPECT_EQ(EntryNamesOf(base), NamesIn(output)) << "nothing left behind but the entries";
        RemoveTree(output);
        ::CreateDirectoryW(output.c_str(), nullptr);
    }
    EXPECT_EQ(3u, NamesIn(documents).size()) << "nothing left beside the documents";
    // Started by the short form of its path, which its code page holds: a converter finds its
    // data by its own path, read in that code page.
    for (const ConverterRecord& run : ReadConverterRecords(logs / "runs.log")) {
        ASSERT_FALSE(run.arguments.empty());
        EXPECT_EQ(std::string::npos, run.arguments[0].find_first_of("?\x80\xFF")) << run.arguments[0];
        EXPECT_NE(std::string::npos, run.arguments[0].find('~')) << run.arguments[0];
    }

    // The ANSI entry points of the same library, on a document the code page can name.
    ScratchFolder plain;
    const std::wstring report = Wide(plain / "report.pdf");
    ASSERT_TRUE(::CopyFileW(Wide(SamplePath()).c_str(), report.c_str(), FALSE));
    const auto extracted =
        ExtractDocument(*library, EntryPoints::Ansi, report, Wide(plain.Path()), DestinationStyle::FullPath);
    ASSERT_EQ(4u, extracted.size());
    for (const ExtractedEntryW& entry : extracted) {
        EXPECT_EQ(ResultSuccess, entry.result) << NarrowFrom(entry.name, CP_UTF8);
    }
    std::set<std::wstring> expected = EntryNamesOf(L"report");
    expected.insert(L"report.pdf");
    EXPECT_EQ(expected, NamesIn(Wide(plain.Path())));
}

// A volume that keeps no short names: GetShortPathNameW finds none.
std::atomic<int> ShortNameCalls{0};
DWORD WINAPI NoShortName(LPCWSTR, LPWSTR, DWORD)
{
    ++ShortNameCalls;
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

TEST(Unicode, WithoutShortNamesTheDocumentIsLinkedOrCopiedForTheRunAndNothingIsLeft)
{
    const WideInstall install(L"Плагины");
    ASSERT_TRUE(install.Ok());
    const auto library = install.Load();
    ASSERT_NE(nullptr, library);
    const ImportPatch noShortNames(library->Module(), "kernel32.dll", "GetShortPathNameW",
                                   reinterpret_cast<const void*>(&NoShortName));
    ASSERT_TRUE(noShortNames.Valid());
    ShortNameCalls = 0;

    const std::wstring documents = install.MakeFolder(L"Документы");
    const std::wstring document = documents + L"\\Маяк.pdf";
    ASSERT_TRUE(::CopyFileW(Wide(SamplePath()).c_str(), document.c_str(), FALSE));
    // Read-only, as documents on a read-only share or from a CD are: its stand-ins still go.
    ASSERT_TRUE(::SetFileAttributesW(document.c_str(), FILE_ATTRIBUTE_READONLY));
    ScratchFolder output; // a folder the code page can name holds the stand-in names
    const std::string log = output.Path() + "\\..\\record-" + std::to_string(::GetCurrentProcessId()) + ".log";
    ScopedVariable recording("RECCONV_LOG", log);
    ScopedVariable writing("RECCONV_WRITE", "1");
    for (const ExtractedEntryW& entry : ExtractDocument(*library, EntryPoints::Unicode, document, Wide(output.Path()),
                                                        DestinationStyle::DirectoryAndName)) {
        EXPECT_EQ(ResultSuccess, entry.result) << NarrowFrom(entry.name, CP_UTF8);
        EXPECT_EQ(0u, ReadWide(entry.target).rfind("converted:", 0)) << "moved to the real target";
    }
    EXPECT_GT(ShortNameCalls.load(), 0);
    const std::vector<ConverterRecord> records = ReadConverterRecords(log);
    ::DeleteFileA(log.c_str());
    ASSERT_EQ(4u, records.size());
    for (const ConverterRecord& record : records) {
        const std::string& documentArgument = record.arguments[record.arguments.size() - 2];
        const std::string& targetArgument = record.arguments.back();
        EXPECT_EQ(output.Path() + "\\~paperlens-", documentArgument.substr(0, output.Path().size() + 12));
        EXPECT_EQ(output.Path() + "\\~paperlens-", targetArgument.substr(0, output.Path().size() + 12));
    }
    EXPECT_EQ(EntryNamesOf(L"Маяк"), NamesIn(Wide(output.Path()))) << "no link, copy or stand-in name left";

    // An output folder the code page cannot name either: the stand-ins go to the user's
    // temporary folder, and the texts are moved into the target.
    const std::wstring unnamed = install.MakeFolder(L"Тексты");
    wchar_t temporary[MAX_PATH + 1];
    ASSERT_NE(0u, ::GetTempPathW(MAX_PATH + 1, temporary));
    const std::set<std::wstring> before = NamesIn(temporary);
    for (const ExtractedEntryW& entry :
         ExtractDocument(*library, EntryPoints::Unicode, document, unnamed, DestinationStyle::DirectoryAndName)) {
        EXPECT_EQ(ResultSuccess, entry.result) << NarrowFrom(entry.name, CP_UTF8);
        EXPECT_EQ(0u, ReadWide(entry.target).rfind("converted:", 0)) << NarrowFrom(entry.name, CP_UTF8);
    }
    ::DeleteFileA(log.c_str());
    EXPECT_EQ(EntryNamesOf(L"Маяк"), NamesIn(unnamed));
    EXPECT_EQ(before, NamesIn(temporary)) << "nothing left in the temporary folder";
    EXPECT_EQ(1u, NamesIn(documents).size());
    EXPECT_NE(0u, ::GetFileAttributesW(document.c_str()) & FILE_ATTRIBUTE_READONLY) << "the document keeps it";
    ::SetFileAttributesW(document.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Unicode, DocumentsPastMaxPathOpenListAndExtractThroughTheLongPathPrefix)
{
    ScratchFolder scratch;
    std::wstring folder = L"\\\\?\\" + Wide(scratch.Path());
    for (const wchar_t letter : {L'a', L'b', L'c'}) {
        folder += L"\\" + std::wstring(90, letter);
        ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    }
    const std::wstring document = folder + L"\\report.pdf";
    ASSERT_GT(document.size(), 300u);
    ASSERT_TRUE(::CopyFileW(Wide(SamplePath()).c_str(), document.c_str(), FALSE));
    PluginInstall install("[Converters]\r\nPDF=conv.exe\r\n");
    const auto library = install.Load();
    ASSERT_NE(nullptr, library);
    ScopedVariable writing("RECCONV_WRITE", "1");

    EXPECT_EQ(5u, ListDocument(*library, EntryPoints::Unicode, document).entries.size());
    // A destination folder ending in a backslash, as hosts hand it over.
    for (const ExtractedEntryW& entry : ExtractDocument(*library, EntryPoints::Unicode, document, folder + L"\\",
                                                        DestinationStyle::DirectoryAndName)) {
        EXPECT_EQ(ResultSuccess, entry.result) << NarrowFrom(entry.name, CP_UTF8) << ": written, or 16";
    }
    std::set<std::wstring> expected = EntryNamesOf(L"report");
    expected.insert(L"report.pdf");
    EXPECT_EQ(expected, NamesIn(folder));
    EXPECT_EQ(5u, ListDocument(*library, EntryPoints::Ansi, L"\\\\?\\" + Wide(SamplePath())).entries.size())
        << "the ANSI entry points take the prefix too";
}

} // namespace
