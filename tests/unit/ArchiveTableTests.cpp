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
    const int a = table->Open(Named("a.pdf"));
    const int b = table->Open(Named("b.pdf"));
    EXPECT_NE(a, b);
    EXPECT_TRUE(IsFileNumberRegistered(a) && IsFileNumberRegistered(b)) << "no draw gives out a number in use";
    ASSERT_NE(nullptr, table->Find(a));
    EXPECT_EQ("a.pdf", table->Find(a)->ArchivePath.View());
    EXPECT_EQ("b.pdf", table->Find(b)->ArchivePath.View());

    EXPECT_TRUE(table->Close(a));
    EXPECT_FALSE(IsFileNumberRegistered(a));
    EXPECT_EQ(nullptr, table->Find(a)) << "closed";
    EXPECT_FALSE(table->Close(a));
    EXPECT_EQ(nullptr, table->Find(0));
    EXPECT_EQ(nullptr, table->Find(-1));
    EXPECT_EQ(nullptr, table->Find(LastFileNumber + 1));
    table->Close(b);
}

TEST(ArchiveTable, DropsTheArchiveUsedLongestAgoWhenFull)
{
    auto table = std::make_unique<ArchiveTable>();
    std::set<int> handles;
    int first = 0;
    int second = 0;
    for (std::size_t i = 0; i < ArchiveCapacity; ++i) {
        const int handle = table->Open(Named("x.pdf"));
        first = i == 0 ? handle : first;
        second = i == 1 ? handle : second;
        handles.insert(handle);
    }
    EXPECT_EQ(ArchiveCapacity, handles.size());
    ASSERT_NE(nullptr, table->Find(first)) << "used again: now the newest";

    const int extra = table->Open(Named("y.pdf"));
    EXPECT_EQ(nullptr, table->Find(second)) << "the one used longest ago went";
    EXPECT_FALSE(IsFileNumberRegistered(second));
    EXPECT_NE(nullptr, table->Find(first));
    EXPECT_EQ("y.pdf", table->Find(extra)->ArchivePath.View());
    handles.erase(second);
    handles.insert(extra);
    for (int handle : handles) {
        EXPECT_TRUE(table->Close(handle)) << handle;
    }
}

} // namespace
