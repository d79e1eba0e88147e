#include "ArchiveTable.h"

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

TEST(ArchiveTable, KeepsEachArchiveUnderItsOwnRegisteredNumber)
{
    auto table = std::make_unique<ArchiveTable>();
    ArchiveState gone;
    const int a = table->Open(Named("a.pdf"), gone);
    const int b = table->Open(Named("b.pdf"), gone);
    EXPECT_NE(a, b);
    EXPECT_TRUE(IsFileNumberRegistered(a) && IsFileNumberRegistered(b)) << "no draw gives out a number in use";
    ASSERT_NE(nullptr, table->Find(a));
    EXPECT_EQ("a.pdf", table->Find(a)->ArchivePath.Text());
    EXPECT_EQ("b.pdf", table->Find(b)->ArchivePath.Text());

    EXPECT_TRUE(table->Close(a, gone));
    EXPECT_EQ("a.pdf", gone.ArchivePath.Text());
    EXPECT_FALSE(IsFileNumberRegistered(a));
    EXPECT_EQ(nullptr, table->Find(a)) << "closed";
    EXPECT_FALSE(table->Close(a, gone));
    EXPECT_EQ(nullptr, table->Find(0));
    EXPECT_EQ(nullptr, table->Find(-1));
    EXPECT_EQ(nullptr, table->Find(LastFileNumber + 1));
    table->Close(b, gone);
}

TEST(ArchiveTable, DropsTheArchiveUsedLongestAgoWhenFull)
{
    auto table = std::make_unique<ArchiveTable>();
    ArchiveState gone;
    std::set<int> handles;
    int first = 0;
    int second = 0;
    for (std::size_t i = 0; i < ArchiveCapacity; ++i) {
        const int handle = table->Open(Named("x.pdf"), gone);
        first = i == 0 ? handle : first;
        second = i == 1 ? handle : second;
        handles.insert(handle);
    }
    EXPECT_EQ(ArchiveCapacity, handles.size());
    ASSERT_NE(nullptr, table->Find(first)) << "used again: now the newest";

    const int extra = table->Open(Named("y.pdf"), gone);
    EXPECT_EQ(nullptr, table->Find(second)) << "the one used longest ago went";
    EXPECT_EQ("x.pdf", gone.ArchivePath.Text()) << "handed back, for its memory to go";
    EXPECT_FALSE(IsFileNumberRegistered(second));
    EXPECT_NE(nullptr, table->Find(first));
    EXPECT_EQ("y.pdf", table->Find(extra)->ArchivePath.Text());
    handles.erase(second);
    handles.insert(extra);
    for (int handle : handles) {
        EXPECT_TRUE(table->Close(handle, gone)) << handle;
    }
}

} // namespace
