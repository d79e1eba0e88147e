#include "FileNumbers.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

// The counter is module-wide; step it to a known place first.
void DrawUntil(int number)
{
    for (int i = 0; i <= LastFileNumber && DrawFileNumber() != number; ++i) {
    }
}

TEST(FileNumbers, AdvanceByOneAndWrapFrom32767ToOne)
{
    DrawUntil(LastFileNumber - 1);
    EXPECT_EQ(LastFileNumber, DrawFileNumber());
    EXPECT_EQ(1, DrawFileNumber());
    EXPECT_EQ(2, DrawFileNumber());
}

TEST(FileNumbers, SkipNumbersHeldByOpenFiles)
{
    DrawUntil(99);
    std::optional<FileRegistration> open;
    open.emplace();
    EXPECT_EQ(100, open->Number()) << "a registration draws the next number";
    EXPECT_TRUE(IsFileNumberRegistered(100));

    DrawUntil(99);
    EXPECT_EQ(101, DrawFileNumber()) << "100 is held by an open file";

    open.reset();
    EXPECT_FALSE(IsFileNumberRegistered(100)) << "closing frees the number";
    DrawUntil(99);
    EXPECT_EQ(100, DrawFileNumber());
}

TEST(FileNumbers, RegistrationsLeaveTheListInAnyOrder)
{
    std::optional<FileRegistration> first, second, third;
    first.emplace();
    second.emplace();
    third.emplace();
    const int a = first->Number(), b = second->Number(), c = third->Number();
    second.reset();
    EXPECT_TRUE(IsFileNumberRegistered(a));
    EXPECT_FALSE(IsFileNumberRegistered(b));
    EXPECT_TRUE(IsFileNumberRegistered(c));
    first.reset();
    third.reset();
    EXPECT_FALSE(IsFileNumberRegistered(a));
    EXPECT_FALSE(IsFileNumberRegistered(c));
}

} // namespace
