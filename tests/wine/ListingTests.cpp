// Opening and listing documents through the library's exports.
#include "ResultCodes.h"
#include "TestEnvironment.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
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

TEST(Environment, LocalTimeIsNotUniversalTime)
{
    TIME_ZONE_INFORMATION zone;
    ::GetTimeZoneInformation(&zone);
    EXPECT_NE(0, zone.Bias) << "run the tests in a time zone other than UTC, so that local time shows";
}

TEST(Listing, ListsFourEntriesWithTheDocumentsLocalTime)
{
    ScratchFolder folder;
    const std::string document = folder / "report.pdf";
    WriteFileWithTime(document, 2011, 3, 21, 9, 41, 17);
    const Listing listing = ListDocument(Library(), document);
    EXPECT_EQ(ListingHandle, listing.handle);
    EXPECT_FALSE(listing.requestResultWritten) << "RequestResult is written only on failure";
    EXPECT_EQ((std::vector<std::string>{"report_a.txt", "report_k.txt", "report_u.txt", "report.txt"}),
              NamesOf(listing));
    ExpectWellFormed(listing, ExpectedDosTime(2011, 3, 21, 9, 41, 17));
    EXPECT_NE(ExpectedDosTime(2011, 3, 21, 9, 41, 17), 0x3E754D28u) << "local time must differ from UTC here";
}

TEST(Listing, EachDocumentCarriesItsOwnTime)
{
    ScratchFolder folder;
    const std::string older = folder / "older.pdf";
    const std::string newer = folder / "newer.pdf";
    WriteFileWithTime(older, 1999, 12, 31, 23, 59, 58);
    WriteFileWithTime(newer, 2024, 7, 1, 12, 0, 1);
    ExpectWellFormed(ListDocument(Library(), older), ExpectedDosTime(1999, 12, 31, 23, 59, 58));
    ExpectWellFormed(ListDocument(Library(), newer), ExpectedDosTime(2024, 7, 1, 12, 0, 1));
}

TEST(Listing, NamesComeFromTheLastComponentWithoutItsExtension)
{
    ScratchFolder folder;
    struct Case {
        std::string file;
        std::string firstEntry;
        std::string lastEntry;
    } cases[] = {
        {"report.final.pdf", "report.final_a.txt", "report.final.txt"},
        {"README", "README_a.txt", "README.txt"},
        {".pdf", "_a.txt", ".txt"},
        {"notes_k.pdf", "notes_k_a.txt", "notes_k.txt"},
    };
    for (const Case& c : cases) {
        WriteFileWithTime(folder / c.file, 2020, 2, 29, 8, 30, 0);
        const Listing listing = ListDocument(Library(), folder / c.file);
        const std::vector<std::string> names = NamesOf(listing);
        ASSERT_EQ(4u, names.size()) << c.file;
        EXPECT_EQ(c.firstEntry, names.front()) << c.file;
        EXPECT_EQ(c.lastEntry, names.back()) << c.file;
        ExpectWellFormed(listing, ExpectedDosTime(2020, 2, 29, 8, 30, 0));
    }
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

TEST(Listing, ALongNameIsCutTo259Characters)
{
    const std::string base(300, 'x');
    const Listing listing = ListDocument(Library(), "C:\\no\\such\\folder\\" + base + ".pdf");
    ASSERT_EQ(5u, listing.entries.size());
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(std::string(259, 'x'), listing.entries[static_cast<std::size_t>(i)].name);
        EXPECT_EQ("", listing.entries[static_cast<std::size_t>(i)].recordChanges);
    }
    const std::string fits(253, 'y'); // 253 + "_a.txt" is exactly 259
    const Listing exact = ListDocument(Library(), fits + ".pdf");
    ASSERT_EQ(5u, exact.entries.size());
    EXPECT_EQ(fits + "_a.txt", exact.entries[0].name);
    EXPECT_EQ(fits + "_k.t", std::string(exact.entries[1].name.substr(0, 257)));
    EXPECT_EQ(fits + ".txt", exact.entries[3].name);
}

TEST(Listing, ADocumentNameEndingInABackslashListsBareSuffixes)
{
    const Listing listing = ListDocument(Library(), "C:\\no\\such\\folder\\");
    EXPECT_EQ((std::vector<std::string>{"_a.txt", "_k.txt", "_u.txt", ".txt"}), NamesOf(listing));
    ExpectWellFormed(listing, UnreadDosTime);
}

TEST(Modes, ListingAnswersTheFixedHandle10)
{
    EXPECT_EQ(ListingHandle, ListDocument(Library(), "C:\\a.pdf", ModeList).handle);
    EXPECT_EQ(ListingHandle, ListDocument(Library(), "C:\\a.pdf", ModeList).handle);
}

TEST(Modes, ExtractionAnswersFreshPositiveNumbers)
{
    const Listing first = ListDocument(Library(), "C:\\a.pdf", ModeExtract);
    const Listing second = ListDocument(Library(), "C:\\a.pdf", ModeExtract);
    EXPECT_GT(first.handle, 0);
    EXPECT_LE(first.handle, 32767);
    EXPECT_GT(second.handle, 0);
    EXPECT_LE(second.handle, 32767);
    EXPECT_NE(first.handle, second.handle);
    EXPECT_FALSE(first.requestResultWritten);
    EXPECT_EQ((std::vector<std::string>{"a_a.txt", "a_k.txt", "a_u.txt", "a.txt"}), NamesOf(second));
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

TEST(Modes, AnUnsupportedModeStillReplacesTheDocumentButNotThePosition)
{
    const PluginLibrary& library = Library();
    std::string first = "C:\\first.pdf";
    OpenRequest request = {first.data(), ModeList, 0};
    ASSERT_NE(nullptr, library.OpenArchive(&request));
    HostHeaderRecord record;
    ASSERT_EQ(ResultSuccess, library.ReadHeader(nullptr, &record.header));
    std::string second = "C:\\second.pdf";
    request = {second.data(), 2, 0};
    ASSERT_EQ(nullptr, library.OpenArchive(&request));
    ASSERT_EQ(ResultSuccess, library.ReadHeader(nullptr, &record.header));
    EXPECT_STREQ("second_k.txt", record.header.EntryName);
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
    const PluginLibrary& library = Library();
    std::string path = "C:\\wrap.pdf";
    OpenRequest request = {path.data(), ModeList, 0};
    const ArchiveHandle handle = library.OpenArchive(&request);
    HostHeaderRecord record;
    int listed = 0;
    for (int call = 0; call < 140000; ++call) {
        listed += library.ReadHeader(handle, &record.header) == ResultSuccess;
    }
    EXPECT_EQ(4, listed) << "more calls than a 16-bit counter holds, and only the four entries";
    request = {path.data(), ModeList, 0};
    library.OpenArchive(&request);
    EXPECT_EQ(ResultSuccess, library.ReadHeader(handle, &record.header)) << "a new open starts again";
    EXPECT_STREQ("wrap_a.txt", record.header.EntryName);
}

TEST(Time, AnUnreadableTimeShowsAsFirstOfJanuary1980)
{
    ScratchFolder folder;
    WriteFileWithTime(folder / "there.pdf", 2011, 3, 21, 9, 41, 17);
    const std::string unreadable[] = {
        folder / "missing.pdf",
        folder / "th*re.pdf", // the wildcard would match the file; it is not looked for
        folder / "th?re.pdf",
        "",
        "C:\\" + std::string(300, 'z') + "\\there.pdf",
    };
    for (const std::string& path : unreadable) {
        ExpectWellFormed(ListDocument(Library(), path), UnreadDosTime);
    }
}

TEST(Time, APathTooLongForTheBufferIsNotCutToAnotherFile)
{
    // The first 255 characters of this path name an existing file; that file's time must not show.
    ScratchFolder folder;
    std::string path = folder.Path() + "\\";
    const std::string name(255 - path.size(), 'f');
    WriteFileWithTime(path + name, 2012, 1, 2, 3, 4, 6);
    ExpectWellFormed(ListDocument(Library(), path + name + "-longer.pdf"), UnreadDosTime);
    {
        SCOPED_TRACE("a path of 255 characters is read");
        ExpectWellFormed(ListDocument(Library(), path + name), ExpectedDosTime(2012, 1, 2, 3, 4, 6));
    }
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
    const PluginLibrary& library = Library();
    EXPECT_EQ(nullptr, library.OpenArchive(nullptr));
    EXPECT_EQ(ResultNoMoreEntries, library.ReadHeader(nullptr, nullptr));
    std::string path = "C:\\n.pdf";
    OpenRequest request = {path.data(), ModeList, 0};
    library.OpenArchive(&request);
    EXPECT_EQ(ResultNoMoreEntries, library.ReadHeader(nullptr, nullptr));
    HostHeaderRecord record;
    EXPECT_EQ(ResultSuccess, library.ReadHeader(nullptr, &record.header));
    EXPECT_STREQ("n_a.txt", record.header.EntryName) << "a null header consumes no entry";
}

TEST(BadInput, ANullDocumentNameIsTheEmptyText)
{
    const PluginLibrary& library = Library();
    HostOpenRecord open;
    FillWithPattern(&open, sizeof open, 5);
    open.request.ArchiveNamePtr = nullptr;
    open.request.RequestMode = ModeList;
    const HostOpenRecord before = open;
    EXPECT_EQ(reinterpret_cast<ArchiveHandle>(static_cast<std::intptr_t>(ListingHandle)),
              library.OpenArchive(&open.request));
    EXPECT_EQ("", OpenRecordChanges(before, open, false));
    std::vector<std::string> names;
    HostHeaderRecord record;
    while (library.ReadHeader(nullptr, &record.header) == ResultSuccess) {
        names.push_back(record.header.EntryName);
        EXPECT_EQ(UnreadDosTime, record.header.EntryTime);
    }
    EXPECT_EQ((std::vector<std::string>{"_a.txt", "_k.txt", "_u.txt", ".txt"}), names);
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
    // The state survives the close, and the callbacks are never called.
    EXPECT_EQ(ResultSuccess, library.ReadHeader(handle, &record.header));
    EXPECT_STREQ("c_k.txt", record.header.EntryName);
    EXPECT_EQ(ExpectedDosTime(2001, 9, 8, 7, 6, 4), record.header.EntryTime);
    library.SetChangeVolProc(nullptr, nullptr);
    library.SetProcessDataProc(nullptr, nullptr);
    ExpectWellFormed(ListDocument(Library(), path), ExpectedDosTime(2001, 9, 8, 7, 6, 4));
    EXPECT_EQ(0, CallbackCalls.load());
    EXPECT_EQ(384, library.GetPackerCaps());
}

TEST(Threads, TwoHostThreadsNeverSeeAHalfRewrittenDocument)
{
    ScratchFolder folder;
    const std::string alpha = folder / "alpha.pdf";
    const std::string beta = folder / (std::string(200, 'b') + ".pdf");
    WriteFileWithTime(alpha, 2002, 2, 2, 2, 2, 2);
    WriteFileWithTime(beta, 2022, 12, 22, 22, 22, 22);
    const std::uint32_t alphaTime = ExpectedDosTime(2002, 2, 2, 2, 2, 2);
    const std::uint32_t betaTime = ExpectedDosTime(2022, 12, 22, 22, 22, 22);
    std::atomic<int> torn{0};
    auto worker = [&](std::string path) {
        const PluginLibrary& library = Library();
        for (int i = 0; i < 300; ++i) {
            OpenRequest request = {path.data(), ModeList, 0};
            library.OpenArchive(&request);
            HostHeaderRecord record;
            if (library.ReadHeader(nullptr, &record.header) != ResultSuccess) {
                continue; // the other thread read the entries of this open; a fair outcome
            }
            const std::string name = record.header.EntryName;
            const bool isAlpha = name.rfind("alpha", 0) == 0 && record.header.EntryTime == alphaTime;
            const bool isBeta = name.rfind(std::string(200, 'b'), 0) == 0 && record.header.EntryTime == betaTime;
            torn += !(isAlpha || isBeta);
        }
    };
    std::thread a(worker, alpha);
    std::thread b(worker, beta);
    a.join();
    b.join();
    EXPECT_EQ(0, torn.load()) << "a name of one document with the time of the other, or a broken name";
}

} // namespace
