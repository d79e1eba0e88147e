// Many listings and extractions later, the host process holds no more handles and no more
// memory than before.
//
// The bounds. Handles: any handle left behind per call would add at least one per listing
// (10,000) or per extraction (1,000); the allowance of a few covers handles Wine opens once
// on first use. Heap: every block left behind counts at least one byte, so a leak per call
// adds at least 10,000 bytes over the listings and 1,000 over the extractions; the
// allowances sit below those (the texts a call copies are hundreds of bytes, so a real
// leak overshoots them by far). Commit charge: a coarser view (whole pages, heap segments)
// that also sees memory taken outside the heaps, such as thread stacks.
#include "ResultCodes.h"
#include "StressSupport.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

constexpr int Listings = 10000;
constexpr int Extractions = 1000;
constexpr int HandleAllowance = 16;
constexpr std::size_t ListingHeapAllowance = 8192;    // < 1 byte per listing
constexpr std::size_t ExtractionHeapAllowance = 900;  // < 1 byte per extraction
constexpr std::size_t CommitAllowance = 256 * 1024;

struct Snapshot {
    int handles = 0;
    std::size_t heap = 0;
    std::size_t commit = 0;
};

Snapshot Take()
{
    Snapshot snapshot;
    snapshot.handles = CountHandles();
    snapshot.heap = HeapBytesInUse();
    snapshot.commit = PrivateBytes();
    return snapshot;
}

long long Grown(std::size_t before, std::size_t after)
{
    return static_cast<long long>(after) - static_cast<long long>(before);
}

// Reports a phase and checks that it left the handles, the heap and the commit charge flat.
void ExpectFlat(const char* phase, const Snapshot& before, const Snapshot& after, std::size_t heapAllowance)
{
    std::printf("%s: handles %d -> %d, heap in use %zu -> %zu (%+lld), commit %zu -> %zu (%+lld)\n", phase,
                before.handles, after.handles, before.heap, after.heap, Grown(before.heap, after.heap), before.commit,
                after.commit, Grown(before.commit, after.commit));
    std::fflush(stdout);
    SCOPED_TRACE(phase);
    EXPECT_LE(after.handles - before.handles, HandleAllowance);
    EXPECT_LE(Grown(before.heap, after.heap), static_cast<long long>(heapAllowance));
    EXPECT_LE(Grown(before.commit, after.commit), static_cast<long long>(CommitAllowance));
}

class Leaks : public testing::Test {
protected:
    void SetUp() override
    {
        library_ = install_.Load();
        ASSERT_NE(nullptr, library_);
        // A long path, so that any copy of it left behind weighs hundreds of bytes.
        const std::string folder = install_.Folder() + "\\" + std::string(90, 'f');
        ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
        document_ = folder + "\\" + std::string(60, 'd') + ".pdf";
        WriteFileWithTime(document_, 2015, 8, 9, 10, 11, 12);
        time_ = ExpectedDosTime(2015, 8, 9, 10, 11, 12);
    }

    void TearDown() override { library_.reset(); }

    // Lists the document `count` times; answers how many listings were not as they should be.
    int List(int count)
    {
        int faulty = 0;
        for (int i = 0; i < count; ++i) {
            const Listing listing = ListDocument(*library_, document_);
            faulty += listing.entries.size() == 5 && listing.entries[3].result == ResultSuccess &&
                              listing.entries[3].time == time_ && listing.entries[4].result == ResultNoMoreEntries
                          ? 0
                          : 1;
        }
        return faulty;
    }

    int Extract(int count)
    {
        int failed = 0;
        std::string folder = install_.Folder();
        for (int i = 0; i < count; ++i) {
            std::string path = document_;
            OpenRequest request = {path.data(), ModeExtract, 0};
            const ArchiveHandle handle = library_->OpenArchive(&request);
            HostHeaderRecord record;
            library_->ReadHeader(handle, &record.header);
            std::string name(record.header.EntryName, strnlen(record.header.EntryName, EntryNameSize));
            failed += library_->ProcessFile(handle, OperationExtract, folder.data(), name.data()) == ResultSuccess ? 0 : 1;
            library_->CloseArchive(handle);
        }
        return failed;
    }

    PluginInstall install_{"[Converters]\r\nPDF=conv.exe\r\n"};
    ScopedVariable noRecord_{"RECCONV_LOG", ""}; // the converter records nothing
    ScopedVariable write_{"RECCONV_WRITE", "1"}; // and writes its target, so that each extraction succeeds
    std::unique_ptr<PluginLibrary> library_;
    std::string document_;
    std::uint32_t time_ = 0;
};

TEST_F(Leaks, ListingsAndExtractionsLeaveHandlesAndMemoryFlat)
{
    // Whatever Wine and the runtimes set up on first use is set up here. GoogleTest starts a
    // thread of its own (a stack of commit charge) the first time a thread uses its
    // per-thread state, as a trace does: that happens here, not between two snapshots.
    { SCOPED_TRACE("warming up"); }
    ASSERT_EQ(0, List(200));
    ASSERT_EQ(0, Extract(10));

    const Snapshot start = Take();
    EXPECT_EQ(0, List(Listings));
    const Snapshot listed = Take();
    ExpectFlat("10,000 listings", start, listed, ListingHeapAllowance);

    EXPECT_EQ(0, Extract(Extractions));
    const Snapshot extracted = Take();
    ExpectFlat("1,000 extractions", listed, extracted, ExtractionHeapAllowance);
}

// Loading and unloading the library, as a host does with its plug-ins, leaves nothing
// behind either: the library brings no runtime that allocates at load. A load that leaves
// a block behind adds at least 1,000 bytes over the cycles; the allowance sits below that.
TEST(LoadLeaks, LoadsAndRefusedLoadsLeaveHandlesAndMemoryFlat)
{
    constexpr int Cycles = 1000;
    constexpr std::size_t LoadHeapAllowance = 900; // < 1 byte per load
    PluginInstall loads("[Converters]\r\nPDF=conv.exe\r\n", "conv.exe", "loads");
    PluginInstall refused("[Converters]\r\nTXT=conv.exe\r\n", "conv.exe", "refused");
    // Each load opens archives through both families and leaves them open, as a careless
    // host would: unloading gives their memory back.
    std::wstring document = WideFrom(loads.Folder() + "\\left open.pdf", CP_ACP);
    WriteWholeFile(loads.Folder() + "\\left open.pdf", "%PDF-1.4");
    const auto cycle = [&document](const PluginInstall& install, bool loadsAtAll) {
        int wrong = 0;
        for (int i = 0; i < Cycles; ++i) {
            const HMODULE module = ::LoadLibraryA(install.LibraryFile().c_str());
            wrong += (module != nullptr) != loadsAtAll;
            if (!module) {
                continue;
            }
            const auto openWide = reinterpret_cast<OpenArchiveWFunction>(
                reinterpret_cast<void (*)()>(::GetProcAddress(module, "OpenArchiveW")));
            for (int archive = 0; openWide && archive < 3; ++archive) {
                OpenRequestW request = {document.data(), ModeList, 0};
                wrong += openWide(&request) == nullptr;
            }
            ::FreeLibrary(module);
        }
        return wrong;
    };
    { SCOPED_TRACE("warming up"); }
    ASSERT_EQ(0, cycle(loads, true) + cycle(refused, false));

    const Snapshot start = Take();
    EXPECT_EQ(0, cycle(loads, true));
    const Snapshot loaded = Take();
    ExpectFlat("1,000 loads and unloads", start, loaded, LoadHeapAllowance);
    EXPECT_EQ(0, cycle(refused, false));
    ExpectFlat("1,000 refused loads", loaded, Take(), LoadHeapAllowance);
}

} // namespace
