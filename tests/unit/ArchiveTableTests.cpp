#include "ArchiveTable.h"
#include "TextCache.h"
#include "FileNumbers.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace {

ArchiveState Named(const char* path)
{
    ArchiveState state;
    state.ArchivePath.Assign(path);
    return state;
}

TEST(ArchiveTable, KeepsEachArchiveUnderItsOwnNumber)
{
    auto table = std::make_unique<ArchiveTable>();
    ArchiveState gone;
    const std::uint32_t a = table->Open(Named("a.pdf"), gone);
    FileNumberCounter = a - 1; // as if the counter had gone round: its next draw is a's number
    const std::uint32_t b = table->Open(Named("b.pdf"), gone);
    EXPECT_EQ(a + 1, b) << "a number still open is passed over";
    ASSERT_NE(nullptr, table->Find(a));
    EXPECT_EQ("a.pdf", table->Find(a)->ArchivePath.Text());
    EXPECT_EQ("b.pdf", table->Find(b)->ArchivePath.Text());

    EXPECT_TRUE(table->Close(a, gone));
    EXPECT_EQ("a.pdf", gone.ArchivePath.Text());
    EXPECT_EQ(nullptr, table->Find(a)) << "closed";
    EXPECT_FALSE(table->Close(a, gone));
    EXPECT_EQ(nullptr, table->Find(0));
    EXPECT_EQ(nullptr, table->Find(-1));
    if (sizeof(std::intptr_t) > 4) {
        EXPECT_EQ(nullptr, table->Find(static_cast<std::intptr_t>((std::uint64_t{1} << 32) + b)))
            << "a 64-bit handle is not cut to its low 32 bits";
    }
    FileNumberCounter = 0x7FFFFFFFu; // next comes 2^31: a negative pointer-sized value on a 32-bit host
    const std::uint32_t high = table->Open(Named("c.pdf"), gone);
    const auto highHandle = static_cast<std::intptr_t>(static_cast<std::uintptr_t>(high));
    ASSERT_NE(nullptr, table->Find(highHandle));
    EXPECT_EQ("c.pdf", table->Find(highHandle)->ArchivePath.Text());
    EXPECT_TRUE(table->Close(highHandle, gone));
    table->Close(b, gone);
}

TEST(ArchiveTable, DropsTheArchiveUsedLongestAgoWhenFull)
{
    auto table = std::make_unique<ArchiveTable>();
    ArchiveState gone;
    std::set<std::uint32_t> handles;
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    for (std::size_t i = 0; i < ArchiveCapacity; ++i) {
        const std::uint32_t handle = table->Open(Named("x.pdf"), gone);
        first = i == 0 ? handle : first;
        second = i == 1 ? handle : second;
        handles.insert(handle);
    }
    EXPECT_EQ(ArchiveCapacity, handles.size());
    ASSERT_NE(nullptr, table->Find(first)) << "used again: now the newest";

    const std::uint32_t extra = table->Open(Named("y.pdf"), gone);
    EXPECT_EQ(nullptr, table->Find(second)) << "the one used longest ago went";
    EXPECT_EQ("x.pdf", gone.ArchivePath.Text()) << "handed back, for its memory to go";
    EXPECT_NE(nullptr, table->Find(first));
    EXPECT_EQ("y.pdf", table->Find(extra)->ArchivePath.Text());
    handles.erase(second);
    handles.insert(extra);
    for (std::uint32_t handle : handles) {
        EXPECT_TRUE(table->Close(handle, gone)) << handle;
    }
}

} // namespace

// The kept texts: one maker per document, the bounds, and the text used longest ago first.
TEST(TextCache, KeepsEachDocumentsTextOnceWithinItsBoundsDroppingTheOldest)
{
    static TextCache cache; // far too large for the stack
    const auto key = [](std::uint64_t file) {
        TextKey k;
        k.file = file;
        return k;
    };
    wchar_t name[] = L"t";
    const auto file = [&](std::uint64_t bytes) { return KeptFile{name, nullptr, bytes}; };
    KeptText text;
    Released dropped;
    ASSERT_EQ(TextCache::Claim::Make, cache.Find(key(1), text, dropped));
    EXPECT_EQ(TextCache::Claim::BeingMade, cache.Find(key(1), text, dropped)) << "no second run meanwhile";
    ASSERT_TRUE(cache.Keep(key(1), file(100), 1000, dropped));
    EXPECT_EQ(TextCache::Claim::Kept, cache.Find(key(1), text, dropped));
    EXPECT_EQ(100u, text.text.bytes);
    TextKey changed = key(1);
    changed.written = 7;
    EXPECT_EQ(TextCache::Claim::Make, cache.Find(changed, text, dropped)) << "the document changed";
    cache.Forget(changed);

    // Room for 150 bytes: the second text pushes the first out.
    ASSERT_EQ(TextCache::Claim::Make, cache.Find(key(2), text, dropped));
    ASSERT_TRUE(cache.Keep(key(2), file(100), 150, dropped));
    EXPECT_EQ(1u, dropped.count);
    EXPECT_EQ(1u, cache.Count());
    EXPECT_FALSE(cache.KeepPages(key(2), {1, 1, 2, file(60)}, 150, dropped)) << "no room for the pages beside it";
    ASSERT_TRUE(cache.KeepPages(key(2), {1, 1, 2, file(40)}, 150, dropped));
    KeptFile pages;
    EXPECT_TRUE(cache.FindPages(key(2), 1, 1, 2, pages));
    EXPECT_FALSE(cache.FindPages(key(2), 2, 1, 2, pages)) << "another encoding's";

    // More documents than it keeps: the one used longest ago goes.
    dropped = Released();
    for (std::uint64_t i = 10; i < 10 + KeptDocumentsMost; ++i) {
        ASSERT_EQ(TextCache::Claim::Make, cache.Find(key(i), text, dropped)) << i;
        ASSERT_TRUE(cache.Keep(key(i), file(1), KeptBytesMost, dropped)) << i;
        dropped = Released();
    }
    EXPECT_EQ(KeptDocumentsMost, cache.Count());
    EXPECT_EQ(TextCache::Claim::Make, cache.Find(key(2), text, dropped)) << "dropped, the oldest";
    EXPECT_EQ(TextCache::Claim::Kept, cache.Find(key(10 + KeptDocumentsMost - 1), text, dropped));
    while (cache.DropAny(dropped)) {
        dropped = Released();
    }
    EXPECT_EQ(0u, cache.Count());
}
