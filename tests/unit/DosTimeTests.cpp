#include "DosTime.h"

#include <gtest/gtest.h>

namespace {

std::uint32_t Pack(int year, int month, int day, int hour, int minute, int second)
{
    return PackDosDateTime(day, month, year, hour, minute, second);
}

TEST(PackDosDateTime, PacksEachFieldIntoItsBits)
{
    EXPECT_EQ(0x3E754D28u, Pack(2011, 3, 21, 9, 41, 17));
    EXPECT_EQ(0x00210000u, Pack(1980, 1, 1, 0, 0, 0)) << "the earliest time the form can hold";
    EXPECT_EQ(0xFF9FBF7Du, Pack(2107, 12, 31, 23, 59, 59)) << "the latest";
}

TEST(PackDosDateTime, StoresSecondsHalved)
{
    EXPECT_EQ(29u, Pack(2011, 3, 21, 9, 41, 59) & 0x1F);
    EXPECT_EQ(0u, Pack(2011, 3, 21, 9, 41, 1) & 0x1F);
    EXPECT_EQ(1u, Pack(2011, 3, 21, 9, 41, 2) & 0x1F);
}

TEST(PackDosDateTime, UnreadTimePacksToFirstOfJanuary1980)
{
    // Six zero fields: what a document whose time cannot be read carries.
    EXPECT_EQ(0x00210000u, Pack(0, 0, 0, 0, 0, 0));
}

TEST(PackDosDateTime, ClampsEveryFieldInsteadOfSpilling)
{
    const std::uint32_t base = Pack(2011, 3, 21, 9, 41, 16);
    EXPECT_EQ(Pack(1980, 3, 21, 9, 41, 16), Pack(1970, 3, 21, 9, 41, 16)) << "1970 shows as 1980, not 2098";
    EXPECT_EQ(Pack(2107, 3, 21, 9, 41, 16), Pack(2300, 3, 21, 9, 41, 16));
    EXPECT_EQ(Pack(2011, 12, 21, 9, 41, 16), Pack(2011, 13, 21, 9, 41, 16));
    EXPECT_EQ(Pack(2011, 1, 21, 9, 41, 16), Pack(2011, -4, 21, 9, 41, 16));
    EXPECT_EQ(Pack(2011, 3, 31, 9, 41, 16), Pack(2011, 3, 40, 9, 41, 16));
    EXPECT_EQ(Pack(2011, 3, 21, 23, 41, 16), Pack(2011, 3, 21, 31, 41, 16));
    EXPECT_EQ(Pack(2011, 3, 21, 9, 59, 16), Pack(2011, 3, 21, 9, 64, 16));
    EXPECT_EQ(Pack(2011, 3, 21, 9, 41, 58), Pack(2011, 3, 21, 9, 41, 62));
    EXPECT_EQ(Pack(2011, 3, 21, 9, 41, 0), Pack(2011, 3, 21, 9, 41, -7));
    // Out-of-range values leave the other fields as they were.
    EXPECT_EQ(base & ~(0x7Fu << 25), Pack(9999, 3, 21, 9, 41, 16) & ~(0x7Fu << 25));
    EXPECT_EQ(base & ~(0x1Fu << 11), Pack(2011, 3, 21, 1000, 41, 16) & ~(0x1Fu << 11));
}

TEST(UnpackDosDateTime, ReadsBackWhatWasPacked)
{
    const CalendarFields t = UnpackDosDateTime(0x3E754D28u);
    EXPECT_EQ(2011, t.year);
    EXPECT_EQ(3, t.month);
    EXPECT_EQ(21, t.day);
    EXPECT_EQ(9, t.hour);
    EXPECT_EQ(41, t.minute);
    EXPECT_EQ(16, t.second);
}

} // namespace
