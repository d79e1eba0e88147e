#include "EntryNames.h"
#include "HostRecords.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(ArchiveBaseNameOf, TakesTheLastComponentWithoutItsExtension)
{
    EXPECT_EQ("report", ArchiveBaseNameOf("C:\\docs\\report.pdf"));
    EXPECT_EQ("report.final", ArchiveBaseNameOf("C:\\docs\\report.final.pdf")) << "only the last dot goes";
    EXPECT_EQ("report", ArchiveBaseNameOf("report.pdf")) << "no backslash: the whole path";
    EXPECT_EQ("README", ArchiveBaseNameOf("D:\\x\\README")) << "no dot: the whole name";
    EXPECT_EQ("", ArchiveBaseNameOf("D:\\x\\.pdf")) << "only an extension";
    EXPECT_EQ("notes_k", ArchiveBaseNameOf("D:\\x\\notes_k.pdf")) << "a name ending like a tag stays whole";
    EXPECT_EQ("", ArchiveBaseNameOf("D:\\x\\")) << "ends with a backslash";
    EXPECT_EQ("", ArchiveBaseNameOf(""));
    EXPECT_EQ("b", ArchiveBaseNameOf("a.dir\\b")) << "a dot in a folder name is not an extension";
    EXPECT_EQ("report", ArchiveBaseNameOf("Z:/docs/report.pdf")) << "Windows takes forward slashes too";
    EXPECT_EQ("report", ArchiveBaseNameOf("Z:\\docs/x\\report.pdf"));
    EXPECT_EQ("report", ArchiveBaseNameOf("C:report.pdf")) << "drive-relative";
    EXPECT_EQ("", ArchiveBaseNameOf("C:"));
}

TEST(IsDocumentPathAcceptable, RefusesEmptyWildcardAndTooLongPaths)
{
    EXPECT_TRUE(IsDocumentPathAcceptable("C:\\docs\\report.pdf", 256));
    EXPECT_FALSE(IsDocumentPathAcceptable("", 256));
    EXPECT_FALSE(IsDocumentPathAcceptable("C:\\docs\\*.pdf", 256));
    EXPECT_FALSE(IsDocumentPathAcceptable("C:\\docs\\r?.pdf", 256));
    EXPECT_TRUE(IsDocumentPathAcceptable(std::string(255, 'p'), 256));
    EXPECT_FALSE(IsDocumentPathAcceptable(std::string(256, 'p'), 256)) << "no room for the NUL";
    EXPECT_TRUE(IsDocumentPathAcceptable("\\\\?\\C:\\docs\\report.pdf", 256)) << "the prefix's ? is no wildcard";
    EXPECT_TRUE(IsDocumentPathAcceptable(std::wstring_view(L"\\\\?\\UNC\\srv\\docs\\report.pdf"), 256));
    EXPECT_FALSE(IsDocumentPathAcceptable("\\\\?\\C:\\docs\\r?.pdf", 256));
}

TEST(WriteEntryName, NamesTheFourEntriesInOrder)
{
    const char* expected[] = {"report_a.txt", "report_k.txt", "report_u.txt", "report.txt"};
    for (int index = 0; index < EntryCount; ++index) {
        char field[EntryNameSize];
        WriteEntryName(field, sizeof field, "report", index);
        EXPECT_STREQ(expected[index], field) << "entry " << index;
    }
}

TEST(WriteEntryName, CutsALongNameTo259AndKeepsTheTailOfTheField)
{
    const std::string base(300, 'n');
    char field[EntryNameSize + 8];
    std::memset(field, '#', sizeof field);
    WriteEntryName(field, EntryNameSize, base, 0);
    EXPECT_EQ(259u, std::strlen(field));
    EXPECT_EQ(std::string(259, 'n'), field);
    EXPECT_EQ('#', field[EntryNameSize]) << "nothing written past the field";

    const std::string nearly(255, 'm'); // 255 + "_a.txt" is 261: the suffix is cut
    WriteEntryName(field, EntryNameSize, nearly, 0);
    EXPECT_EQ(nearly + "_a.t", field);
}

TEST(AnsiCharacters, DoubleByteNamesSplitAndCutBetweenCharacters)
{
    AnsiCharacters shiftJis; // code page 932
    shiftJis.AddLeadBytes(0x81, 0x9F);
    shiftJis.AddLeadBytes(0xE0, 0xFC);
    const std::string hyouji = "\x95\x5C\x8E\xA6"; // 表示: the second byte of 表 is a backslash
    EXPECT_EQ(hyouji, ArchiveBaseNameOf("C:\\docs\\" + hyouji + ".pdf", shiftJis));
    EXPECT_EQ("\x8E\xA6", ArchiveBaseNameOf("C:\\docs\\" + hyouji + ".pdf")) << "read byte by byte";

    char field[EntryNameSize];
    WriteEntryName(field, EntryNameSize, std::string(258, 'n') + hyouji, 0, shiftJis);
    EXPECT_EQ(std::string(258, 'n'), field) << "the character that would end at byte 260 goes whole";
    AnsiCharacters utf8;
    utf8.SetUtf8();
    WriteEntryName(field, EntryNameSize, std::string(257, 'n') + "\xE8\xA1\xA8", 0, utf8);
    EXPECT_EQ(std::string(257, 'n'), field);

    wchar_t wide[8];
    WriteEntryName(wide, 8, L"abcdef\xD83D\xDCC4", 0); // a pair of UTF-16 units
    EXPECT_EQ(std::wstring(L"abcdef"), wide) << "no half of a surrogate pair";
}

TEST(WriteEntryName, EmptyBaseNameGivesTheBareSuffixes)
{
    char field[EntryNameSize];
    WriteEntryName(field, sizeof field, "", 3);
    EXPECT_STREQ(".txt", field);
    WriteEntryName(field, sizeof field, "", 1);
    EXPECT_STREQ("_k.txt", field);
}

} // namespace

namespace {

TEST(WideEntryNames, FollowTheSameRulesAndCutAt1023Units)
{
    EXPECT_EQ(L"Маяк заметки", ArchiveBaseNameOf(std::wstring_view(L"Z:/Документы/Маяк заметки.pdf")));
    EXPECT_EQ(L"灯台ノート", ArchiveBaseNameOf(std::wstring_view(L"C:灯台ノート.pdf")));
    wchar_t field[WideEntryNameSize + 2];
    field[WideEntryNameSize] = L'#';
    WriteEntryName(field, WideEntryNameSize, L"灯台", 1);
    EXPECT_EQ(std::wstring(L"灯台_k.txt"), field);
    const std::wstring longName(1100, L'м');
    WriteEntryName(field, WideEntryNameSize, longName, 0);
    EXPECT_EQ(std::wstring(1023, L'м'), field);
    EXPECT_EQ(L'#', field[WideEntryNameSize]) << "nothing written past the field";
    EXPECT_FALSE(IsDocumentPathAcceptable(std::wstring(32767, L'p'), 32767));
    EXPECT_TRUE(IsDocumentPathAcceptable(std::wstring(32766, L'p'), 32767));
}

} // namespace
