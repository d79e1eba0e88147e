#include "FixedField.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(CopyToField, CopiesAndTerminatesLeavingTheRestAsItWas)
{
    char field[8];
    std::memset(field, '#', sizeof field);
    CopyToField(field, sizeof field, "abc");
    EXPECT_EQ(std::string("abc\0####", 8), std::string(field, 8));
}

TEST(CopyToField, KeepsAtMostSizeLessOne)
{
    char field[5];
    CopyToField(field, sizeof field, "abcdefgh");
    EXPECT_EQ(std::string("abcd\0", 5), std::string(field, 5));
    char one[1] = {'#'};
    CopyToField(one, sizeof one, "abc");
    EXPECT_EQ('\0', one[0]) << "a one-byte field holds the terminator alone";
}

TEST(CopyToField, StopsAtAnEmbeddedNul)
{
    char field[8];
    std::memset(field, '#', sizeof field);
    CopyToField(field, sizeof field, {std::string_view("ab\0cd", 5), "xy"});
    EXPECT_EQ(std::string("ab\0#####", 8), std::string(field, 8)) << "nothing after the NUL, not even the next piece";
}

TEST(CopyToField, JoinsPiecesAndCutsAcrossThem)
{
    char field[6];
    CopyToField(field, sizeof field, {"abc", "", "def"});
    EXPECT_STREQ("abcde", field);
}

TEST(CopyToField, ToleratesNoField)
{
    CopyToField(static_cast<char*>(nullptr), 10, "abc");
    char field[1] = {'#'};
    CopyToField(field, 0, "abc");
    EXPECT_EQ('#', field[0]) << "a zero-size field is not written";
}

TEST(TextAt, NullIsTheEmptyText)
{
    EXPECT_EQ("", TextAt(static_cast<const char*>(nullptr)));
    EXPECT_EQ("abc", TextAt("abc"));
    EXPECT_EQ(L"", TextAt(static_cast<const wchar_t*>(nullptr)));
}

} // namespace
