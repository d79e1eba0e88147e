// Opening and listing documents through the library's exports.
#include "ResultCodes.h"
#include "TestEnvironment.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

namespace {

std::vector<std::string> NamesOf(const Listing& listing)
{
    std::vector<std::string> names;
    for (const ListedEntry& entry : listing.entries) {
        if (entry.result == ResultSuccess) {
            names.push_back(entry.name);
        }
    }
    return names;
}

// Every entry of a listing: the result codes in order, its time, sizes 1, and the records
// untouched outside the written fields.
void ExpectWellFormed(const Listing& listing, std::uint32_t time)
{
    EXPECT_EQ("", listing.openRecordChanges);
    ASSERT_EQ(5u, listing.entries.size()) << "four entries, then 10";
    for (std::size_t i = 0; i < listing.entries.size(); ++i) {
        const ListedEntry& entry = listing.entries[i];
        EXPECT_EQ(i < 4 ? ResultSuccess : ResultNoMoreEntries, entry.result) << "call " << i;
        EXPECT_EQ(1, entry.packedSize) << "call " << i;
        EXPECT_EQ(1, entry.unpackedSize) << "call " << i;
        EXPECT_EQ(time, entry.time) << std::hex << "call " << i << ": 0x" << entry.time << " ("
                                    << FormatDosTime(entry.time) << "), expected 0x" << time << " ("
                                    << FormatDosTime(time) << ")";
        EXPECT_EQ("", entry.recordChanges) << "call " << i;
    }
    EXPECT_EQ(ResultSuccess, listing.closeResult);
}

TEST(Listing, ListsFourEntriesWithTheDocumentsLocalTime)
{
    // Windows turns a file time into local time with the zone's offset in force now. In
    // New York, where the runner sets the clock, 2011-03-21 09:41:17 UTC is 04:41:17 in
    // winter (0x3E752528: year 31, month 3, day 21; hour 4, minute 41, 17/2 = 8) and
    // 05:41:17 in summer (0x3E752D28). UTC itself would be 0x3E754D28.
    TIME_ZONE_INFORMATION zone;
    const bool summer = ::GetTimeZoneInformation(&zone) == TIME_ZONE_ID_DAYLIGHT;
    ASSERT_EQ(300, zone.Bias) << "run the tests in America/New_York, so that local time shows";
    ScratchFolder folder;
    const std::string document = folder / "report.pdf";
    WriteFileWithTime(document, 2011, 3, 21, 9, 41, 17);
    const Listing listing = ListDocument(Library(), document);
    EXPECT_NE(0, listing.handle);
    EXPECT_FALSE(listing.requestResultWritten) << "RequestResult is written only on failure";
    EXPECT_EQ((std::vector<std::string>{"report_a.txt", "report_k.txt", "report_u.txt", "report.txt"}),
              NamesOf(listing));
    ExpectWellFormed(listing, summer ? 0x3E752D28u : 0x3E752528u);
}

TEST(Listing, APathWithoutBackslashIsTheWholeName)
{
    ScratchFolder folder;
    WriteFileWithTime(folder / "report.pdf", 2015, 5, 5, 5, 5, 4);
    char previous[MAX_PATH];
    ::GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryA(folder.Path().c_str()));
    const Listing listing = ListDocument(Library(), "report.pdf");
    ::SetCurrentDirectoryA(previous);
    EXPECT_EQ((std::vector<std::string>{"report_a.txt", "report_k.txt", "report_u.txt", "report.txt"}),
              NamesOf(listing));
    {
        SCOPED_TRACE("the relative path is opened for its time");
        ExpectWellFormed(listing, ExpectedDosTime(2015, 5, 5, 5, 5, 4));
    }
}

TEST(Listing, ALongestPathListsItsWholeName)
{
    // 255 characters is the longest path kept; its entry names fit the 260-byte field whole.
    ScratchFolder folder;
    const std::string path = folder.Path() + "\\";
    const std::string base(255 - path.size() - 4, 'y');
    WriteFileWithTime(path + base + ".pdf", 2012, 1, 2, 3, 4, 6);
    const Listing listing = ListDocument(Library(), path + base + ".pdf");
    EXPECT_EQ((std::vector<std::string>{base + "_a.txt", base + "_k.txt", base + "_u.txt", base + ".txt"}),
              NamesOf(listing));
    ExpectWellFormed(listing, ExpectedDosTime(2012, 1, 2, 3, 4, 6));
}

// The name ReadHeader, an ANSI call, writes for the first entry of a copy of the sample
// opened by OpenArchiveW as `document`: a host may mix the families.
std::string AnsiNameOfWideArchive(const std::wstring& document)
{
    std::wstring path = document;
    ::CopyFileW(WideFrom(SamplePath(), CP_ACP).c_str(), path.c_str(), FALSE);
    OpenRequestW request = {path.data(), ModeList, 0};
    const ArchiveHandle handle = Library().OpenArchiveW(&request);
    HostHeaderRecord record;
    EXPECT_EQ(ResultSuccess, Library().ReadHeader(handle, &record.header)) << "opened: " << request.RequestResult;
    Library().CloseArchive(handle);
    return std::string(record.header.EntryName, strnlen(record.header.EntryName, EntryNameSize));
}

TEST(Listing, ANameTooLongForTheAnsiFieldIsCutNotEmptied)
{
    ScratchFolder folder; // the longest name, no extension
    EXPECT_EQ(std::string(255, 'n') + "_a.t", AnsiNameOfWideArchive(WideFrom(folder / std::string(255, 'n'), CP_ACP)));
}

// Under code page 932 (the plugin-cp932 run, in a Japanese locale), where the second byte
// of a character may equal a backslash.
TEST(DoubleByte, BaseNamesAndCutNamesKeepTheirCharactersWhole)
{
    if (!std::getenv("PAPERLENS_CODE_PAGE") && ::GetACP() != 932) {
        GTEST_SKIP() << "runs under code page 932: ctest -R plugin-cp932";
    }
    ASSERT_EQ(932u, ::GetACP());
    ScratchFolder folder;
    const std::string hyouji = "\x95\x5C\x8E\xA6"; // 表示: the second byte of 表 is a backslash
    WriteFileWithTime(folder / (hyouji + ".pdf"), 2020, 2, 29, 8, 30, 0);
    EXPECT_EQ((std::vector<std::string>{hyouji + "_a.txt", hyouji + "_k.txt", hyouji + "_u.txt", hyouji + ".txt"}),
              NamesOf(ListDocument(Library(), folder / (hyouji + ".pdf"))));
    // 252 + 2 bytes of base name and the suffix cut to 259 bytes, 表 whole.
    EXPECT_EQ(std::string(252, 'n') + "\x95\x5C_a.tx",
              AnsiNameOfWideArchive(WideFrom(folder.Path(), CP_ACP) + L"\\" + std::wstring(252, L'n') + L"表"));
}

TEST(Listing, APathWithForwardSlashesNamesTheLastComponent)
{
    ScratchFolder folder;
    WriteFileWithTime(folder / "report.pdf", 2015, 5, 5, 5, 5, 4);
    std::string forward = folder / "report.pdf";
    std::replace(forward.begin(), forward.end(), '\\', '/');
    EXPECT_EQ((std::vector<std::string>{"report_a.txt", "report_k.txt", "report_u.txt", "report.txt"}),
              NamesOf(ListDocument(Library(), forward)));
}

TEST(Open, RefusesWhatIsNotAnExistingFileAndChangesNothing)
{
    ScratchFolder folder;
    WriteFileWithTime(folder / "there.pdf", 2011, 3, 21, 9, 41, 17);
    ::CreateDirectoryA((folder / "folder.pdf").c_str(), nullptr);
    std::string nearlyThere = folder.Path() + "\\";
    nearlyThere += std::string(255 - nearlyThere.size(), 'f');
    WriteFileWithTime(nearlyThere, 2012, 1, 2, 3, 4, 6);
    const std::string refused[] = {
        folder / "missing.pdf",
        folder / "folder.pdf",
        folder.Path() + "\\",
        folder / "th*re.pdf", // the wildcard would match the file; it is not looked for
        folder / "th?re.pdf",
        "",
        nearlyThere + "-longer.pdf", // its first 255 characters name a file; no cut path is opened
        "C:\\" + std::string(300, 'z') + "\\there.pdf",
    };
    for (int mode : {ModeList, ModeExtract}) {
        for (const std::string& path : refused) {
            const Listing listing = ListDocument(Library(), path, mode);
            EXPECT_EQ(0, listing.handle) << path << ", mode " << mode;
            EXPECT_EQ(ResultCannotOpen, listing.requestResult) << path;
            EXPECT_EQ("", listing.openRecordChanges) << path;
        }
    }
    EXPECT_EQ(ResultNotSupported, ListDocument(Library(), folder / "missing.pdf", 2).requestResult)
        << "an unsupported mode is answered first";
}

TEST(Modes, BothModesAnswerFreshNumbers)
{
    ScratchFolder folder;
    WriteFileWithTime(folder / "a.pdf", 2011, 3, 21, 9, 41, 17);
    std::set<std::intptr_t> handles;
    for (int mode : {ModeList, ModeExtract, ModeList, ModeExtract}) {
        const Listing listing = ListDocument(Library(), folder / "a.pdf", mode);
        EXPECT_NE(0, listing.handle);
        EXPECT_FALSE(listing.requestResultWritten);
        EXPECT_EQ((std::vector<std::string>{"a_a.txt", "a_k.txt", "a_u.txt", "a.txt"}), NamesOf(listing));
        handles.insert(listing.handle);
    }
    EXPECT_EQ(4u, handles.size());
}

TEST(Modes, AnyOtherModeIsNotSupported)
{
    for (int mode : {2, -1, 0x7FFFFFFF}) {
        const Listing listing = ListDocument(Library(), "C:\\a.pdf", mode);
        EXPECT_EQ(0, listing.handle) << "mode " << mode;
        EXPECT_EQ(ResultNotSupported, listing.requestResult) << "mode " << mode;
        EXPECT_EQ("", listing.openRecordChanges) << "mode " << mode;
        EXPECT_TRUE(listing.entries.empty());
    }
}

TEST(Handles, EachOpenArchiveKeepsItsOwnDocumentAndPosition)
{
    ScratchFolder folder;
    WriteFileWithTime(folder / "first.pdf", 2001, 1, 1, 1, 1, 2);
    WriteFileWithTime(folder / "second.pdf", 2002, 2, 2, 2, 2, 2);
    const PluginLibrary& library = Library();
    std::string first = folder / "first.pdf";
    std::string second = folder / "second.pdf";
    OpenRequest request = {first.data(), ModeList, 0};
    const ArchiveHandle one = library.OpenArchive(&request);
    HostHeaderRecord record;
    ASSERT_EQ(ResultSuccess, library.ReadHeader(one, &record.header));
    request = {second.data(), 2, 0};
    ASSERT_EQ(nullptr, library.OpenArchive(&request)) << "an unsupported mode changes nothing";
    request = {second.data(), ModeExtract, 0};
    const ArchiveHandle two = library.OpenArchive(&request);
    ASSERT_NE(nullptr, two);
    ASSERT_EQ(ResultSuccess, library.ReadHeader(two, &record.header));
    EXPECT_STREQ("second_a.txt", record.header.EntryName);
    EXPECT_EQ(ExpectedDosTime(2002, 2, 2, 2, 2, 2), record.header.EntryTime);
    ASSERT_EQ(ResultSuccess, library.ReadHeader(one, &record.header));
    EXPECT_STREQ("first_k.txt", record.header.EntryName);
    EXPECT_EQ(ExpectedDosTime(2001, 1, 1, 1, 1, 2), record.header.EntryTime);
    EXPECT_EQ(ResultSuccess, library.CloseArchive(one));
    EXPECT_EQ(ResultSuccess, library.CloseArchive(two));
}

TEST(Handles, AnUnknownHandleListsNothingAndWritesNothing)
{
    ScratchFolder folder;
    WriteFileWithTime(folder / "k.pdf", 2001, 1, 1, 1, 1, 2);
    const PluginLibrary& library = Library();
    std::string path = folder / "k.pdf";
    OpenRequest request = {path.data(), ModeList, 0};
    const ArchiveHandle closed = library.OpenArchive(&request);
    ASSERT_EQ(ResultSuccess, library.CloseArchive(closed));
    for (const ArchiveHandle handle : {closed, ArchiveHandle(), reinterpret_cast<ArchiveHandle>(-1),
                                       reinterpret_cast<ArchiveHandle>(static_cast<std::intptr_t>(0x7FFFFFF0))}) {
        HostHeaderRecord record;
        FillWithPattern(&record, sizeof record, 9);
        const HostHeaderRecord before = record;
        EXPECT_EQ(ResultNoMoreEntries, library.ReadHeader(handle, &record.header)) << handle;
        EXPECT_EQ(0, std::memcmp(&before, &record, sizeof record)) << handle;
        EXPECT_EQ(ResultSuccess, library.CloseArchive(handle));
    }
}

TEST(Handles, AHostThatNeverClosesLosesOnlyItsOldestArchives)
{
    ScratchFolder folder;
    WriteFileWithTime(folder / "many.pdf", 2001, 1, 1, 1, 1, 2);
    const PluginLibrary& library = Library();
    std::string path = folder / "many.pdf";
    std::vector<ArchiveHandle> handles;
    for (int i = 0; i < 1000; ++i) {
        OpenRequest request = {path.data(), ModeList, 0};
        handles.push_back(library.OpenArchive(&request));
        ASSERT_NE(nullptr, handles.back()) << "open " << i << " was refused";
    }
    HostHeaderRecord record;
    EXPECT_EQ(ResultSuccess, library.ReadHeader(handles.back(), &record.header));
    EXPECT_STREQ("many_a.txt", record.header.EntryName);
    EXPECT_EQ(ResultNoMoreEntries, library.ReadHeader(handles.front(), &record.header)) << "long dropped";
    int open = 0;
    for (const ArchiveHandle handle : handles) {
        open += library.ReadHeader(handle, &record.header) == ResultSuccess;
        library.CloseArchive(handle);
    }
    EXPECT_GE(open, 64) << "at least 64 archives stay open at once";
    EXPECT_LT(open, 1000);
}

TEST(EntryIndex, TheCallAnswering10WritesTimeAndSizesButNotTheName)
{
    ScratchFolder folder;
    WriteFileWithTime(folder / "d.pdf", 2010, 10, 10, 10, 10, 10);
    const PluginLibrary& library = Library();
    std::string path = folder / "d.pdf";
    OpenRequest request = {path.data(), ModeList, 0};
    const ArchiveHandle handle = library.OpenArchive(&request);
    HostHeaderRecord record;
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(ResultSuccess, library.ReadHeader(handle, &record.header));
    }
    FillWithPattern(&record, sizeof record, 77);
    const HostHeaderRecord before = record;
    EXPECT_EQ(ResultNoMoreEntries, library.ReadHeader(handle, &record.header));
    EXPECT_EQ(0, std::memcmp(before.header.EntryName, record.header.EntryName, EntryNameSize));
    EXPECT_EQ(1, record.header.PackedSize);
    EXPECT_EQ(1, record.header.UnpackedSize);
    EXPECT_EQ(ExpectedDosTime(2010, 10, 10, 10, 10, 10), record.header.EntryTime);
    EXPECT_EQ("", HeaderRecordChanges(before, record, false));
}

TEST(EntryIndex, NeverWrapsBackToTheFirstEntry)
{
    ScratchFolder folder;
    WriteFileWithTime(folder / "wrap.pdf", 2010, 10, 10, 10, 10, 10);
    const PluginLibrary& library = Library();
    std::string path = folder / "wrap.pdf";
    OpenRequest request = {path.data(), ModeList, 0};
    const ArchiveHandle handle = library.OpenArchive(&request);
    HostHeaderRecord record;
    int listed = 0;
    for (int call = 0; call < 140000; ++call) {
        listed += library.ReadHeader(handle, &record.header) == ResultSuccess;
    }
    EXPECT_EQ(4, listed) << "more calls than a 16-bit counter holds, and only the four entries";
    request = {path.data(), ModeList, 0};
    const ArchiveHandle again = library.OpenArchive(&request);
    EXPECT_EQ(ResultNoMoreEntries, library.ReadHeader(handle, &record.header)) << "the first archive is at its end";
    EXPECT_EQ(ResultSuccess, library.ReadHeader(again, &record.header)) << "a new open starts again";
    EXPECT_STREQ("wrap_a.txt", record.header.EntryName);
    library.CloseArchive(handle);
    library.CloseArchive(again);
}

TEST(Time, ADocumentOlderThan1980ShowsAs1980)
{
    ScratchFolder folder;
    WriteFileWithTime(folder / "old.pdf", 1970, 6, 15, 12, 0, 0);
    const Listing listing = ListDocument(Library(), folder / "old.pdf");
    ASSERT_FALSE(listing.entries.empty());
    EXPECT_EQ(1980, 1980 + static_cast<int>(listing.entries[0].time >> 25)) << FormatDosTime(listing.entries[0].time);
    EXPECT_EQ("1980-06-15", FormatDosTime(listing.entries[0].time).substr(0, 10));
}

TEST(Time, ADocumentHeldOpenWithSharingStillGivesItsTime)
{
    ScratchFolder folder;
    const std::string path = folder / "shared.pdf";
    WriteFileWithTime(path, 2013, 4, 5, 6, 7, 8);
    UniqueHandle<> writer(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer.IsValid());
    ExpectWellFormed(ListDocument(Library(), path), ExpectedDosTime(2013, 4, 5, 6, 7, 8));
}

TEST(Time, ADocumentHeldOpenWithoutSharingGivesNoTime)
{
    ScratchFolder folder;
    const std::string path = folder / "held.pdf";
    WriteFileWithTime(path, 2013, 4, 5, 6, 7, 8);
    {
        UniqueHandle<> holder(::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder.IsValid());
        ExpectWellFormed(ListDocument(Library(), path), UnreadDosTime);
    }
    {
        SCOPED_TRACE("free again, the time is read");
        ExpectWellFormed(ListDocument(Library(), path), ExpectedDosTime(2013, 4, 5, 6, 7, 8));
    }
}

TEST(Time, ADocumentWhoseFirstBytesAreLockedGivesNoTime)
{
    ScratchFolder folder;
    const std::string path = folder / "locked.pdf";
    WriteFileWithTime(path, 2013, 4, 5, 6, 7, 8);
    UniqueHandle<> locker(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(locker.IsValid());
    ASSERT_TRUE(::LockFile(locker.Get(), 0, 0, 16, 0));
    UniqueHandle<> reader(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    char bytes[16];
    DWORD read = 0;
    if (::ReadFile(reader.Get(), bytes, sizeof bytes, &read, nullptr)) {
        GTEST_SKIP() << "this system does not refuse reads of a locked range (Wine does not), so the case cannot show";
    }
    ExpectWellFormed(ListDocument(Library(), path), UnreadDosTime);
}

TEST(Time, TheDocumentIsNotLeftOpen)
{
    ScratchFolder folder;
    const std::string path = folder / "closed.pdf";
    WriteFileWithTime(path, 2013, 4, 5, 6, 7, 8);
    ListDocument(Library(), path);
    UniqueHandle<> exclusive(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(exclusive.IsValid()) << "an exclusive open succeeds only if the plug-in closed its handle";
    exclusive.Reset();
    EXPECT_TRUE(::DeleteFileA(path.c_str()));
}

TEST(BadInput, NullRecordsCrashNothing)
{
    ScratchFolder folder;
    WriteFileWithTime(folder / "n.pdf", 2010, 10, 10, 10, 10, 10);
    const PluginLibrary& library = Library();
    EXPECT_EQ(nullptr, library.OpenArchive(nullptr));
    EXPECT_EQ(ResultNoMoreEntries, library.ReadHeader(nullptr, nullptr));
    std::string path = folder / "n.pdf";
    OpenRequest request = {path.data(), ModeList, 0};
    const ArchiveHandle handle = library.OpenArchive(&request);
    EXPECT_EQ(ResultNoMoreEntries, library.ReadHeader(handle, nullptr));
    HostHeaderRecord record;
    EXPECT_EQ(ResultSuccess, library.ReadHeader(handle, &record.header));
    EXPECT_STREQ("n_a.txt", record.header.EntryName) << "a null header consumes no entry";
    library.CloseArchive(handle);
}

TEST(BadInput, ANullDocumentNameIsTheEmptyTextAndRefused)
{
    const PluginLibrary& library = Library();
    HostOpenRecord open;
    FillWithPattern(&open, sizeof open, 5);
    open.request.ArchiveNamePtr = nullptr;
    open.request.RequestMode = ModeList;
    const HostOpenRecord before = open;
    EXPECT_EQ(nullptr, library.OpenArchive(&open.request));
    EXPECT_EQ(ResultCannotOpen, open.request.RequestResult);
    EXPECT_EQ("", OpenRecordChanges(before, open, true));
}

int PAPERLENS_CALL CountingCallback(char*, int);
std::atomic<int> CallbackCalls{0};
int PAPERLENS_CALL CountingCallback(char*, int)
{
    ++CallbackCalls;
    return 0;
}

TEST(NoOps, CapabilitiesCloseAndCallbacksChangeNothing)
{
    const PluginLibrary& library = Library();
    EXPECT_EQ(384, library.GetPackerCaps());
    ASSERT_NE(nullptr, library.GetBackgroundFlags);
    EXPECT_EQ(1, library.GetBackgroundFlags()) << "extraction is safe on the host's background threads";
    ScratchFolder folder;
    WriteFileWithTime(folder / "c.pdf", 2001, 9, 8, 7, 6, 4);
    std::string path = folder / "c.pdf";
    OpenRequest request = {path.data(), ModeExtract, 0};
    const ArchiveHandle handle = library.OpenArchive(&request);
    library.SetChangeVolProc(handle, CountingCallback);
    library.SetProcessDataProc(handle, CountingCallback);
    HostHeaderRecord record;
    ASSERT_EQ(ResultSuccess, library.ReadHeader(handle, &record.header));
    EXPECT_EQ(ResultSuccess, library.CloseArchive(handle));
    EXPECT_EQ(ResultSuccess, library.CloseArchive(nullptr));
    EXPECT_EQ(ResultNoMoreEntries, library.ReadHeader(handle, &record.header)) << "closed";
    library.SetChangeVolProc(nullptr, nullptr);
    library.SetProcessDataProc(nullptr, nullptr);
    ExpectWellFormed(ListDocument(Library(), path), ExpectedDosTime(2001, 9, 8, 7, 6, 4));
    EXPECT_EQ(0, CallbackCalls.load());
    EXPECT_EQ(384, library.GetPackerCaps());
}

} // namespace
