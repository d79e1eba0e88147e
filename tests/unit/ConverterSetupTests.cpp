#include "ConverterSetup.h"

#include <gtest/gtest.h>

namespace {

TEST(ConverterSetup, FindsTheConverterAsThePluginDoes)
{
    EXPECT_EQ("C:\\p l\\pdftotext.exe", ConverterPathFor("C:\\p l\\Paperlens.wcx64", "pdftotext.exe -q"));
    EXPECT_EQ("C:\\p\\poppler\\bin\\pdftotext.exe", ConverterPathFor("C:\\p\\Paperlens.wcx", "poppler\\bin\\pdftotext.exe"));
    EXPECT_EQ("C:\\p\\", ConverterPathFor("C:\\p\\Paperlens.wcx", " pdftotext.exe")) << "a leading space leaves no word";
}

TEST(ConverterSetup, NamesTheDataFoldersTheKnownBuildsRead)
{
    const char* converter = "C:\\p\\Library\\bin\\pdftotext.exe";
    EXPECT_EQ("C:\\p\\Library\\bin\\share\\poppler", DataFolderCandidateFor(converter, 0));
    EXPECT_EQ("C:\\p\\Library\\share\\poppler", DataFolderCandidateFor(converter, 1));
    EXPECT_EQ("C:\\p\\share\\poppler", DataFolderCandidateFor(converter, 2));
    EXPECT_EQ("C:\\share\\poppler", DataFolderCandidateFor("C:\\p\\pdftotext.exe", 1));
    EXPECT_EQ("", DataFolderCandidateFor("C:\\p\\pdftotext.exe", 2)) << "nothing above the root";
    EXPECT_EQ("", DataFolderCandidateFor("pdftotext.exe", 0));
}

TEST(ConverterSetup, TakesTheDataFolderTheConverterSaysItReads)
{
    // The probe goes into each candidate that can take it, is asked for, and goes again.
    std::string seen;
    const auto level = [&](int placeable, int knownAt, int answer) {
        seen.clear();
        return DataFolderLevelOf([&](int at) { seen += "p" + std::to_string(at); return at >= placeable; },
                                 [&] { return seen.back() - '0' == knownAt ? 1 : answer; },
                                 [&](int at) { seen += "r" + std::to_string(at); });
    };
    EXPECT_EQ(2, level(0, 2, 0));
    EXPECT_EQ("p0r0p1r1p2r2", seen);
    EXPECT_EQ(1, level(1, 1, 0));
    EXPECT_EQ("p0p1r1", seen) << "a candidate without room is passed over";
    EXPECT_EQ(-1, level(0, 5, 0)) << "no candidate is the one";
    EXPECT_EQ(-1, level(0, 2, -1)) << "a converter that does not answer tells nothing";
    EXPECT_EQ("p0r0", seen);
}

TEST(ConverterSetup, TellsAProgramOfEitherWidthFromAnyOtherFile)
{
    // MZ, the PE header's offset 0x80 at 0x3C, "PE\0\0" there and the machine after it.
    const auto image = [](const char* machine) {
        return "MZ" + std::string(0x3A, '\0') + "\x80" + std::string(0x43, '\0') + std::string("PE\0\0", 4) +
               machine + std::string(0x100, '\0');
    };
    EXPECT_EQ(ImageKind::Width32, ImageKindOf(image("\x4C\x01")));
    EXPECT_EQ(ImageKind::Width64, ImageKindOf(image("\x64\x86")));
    EXPECT_EQ(ImageKind::OtherMachine, ImageKindOf(image("\xAA\xAA")));
    EXPECT_EQ(ImageKind::NotAProgram, ImageKindOf(image("\x4C\x01").substr(0, 0x84))) << "cut short";
    EXPECT_EQ(ImageKind::NotAProgram, ImageKindOf("MZ" + image("\x4C\x01"))) << "no PE header where it points";
}

TEST(ConverterSetup, TellsTheFamiliesApartByTheirVersionOutput)
{
    const char* dataFolder = "pdftotext version 22.12.0\nCopyright 2005-2022 The Developers\n";
    const char* configFile = "pdftotext version 4.04 [www.example.com]\r\nCopyright 1996-2022\r\n";
    EXPECT_EQ(ConverterFamily::DataFolderMaps, ConverterFamilyOf(dataFolder));
    EXPECT_EQ(ConverterFamily::DataFolderMaps, ConverterFamilyOf("pdftotext version 0.86.1\n"));
    EXPECT_EQ(ConverterFamily::ConfigFileMaps, ConverterFamilyOf(configFile));
    EXPECT_EQ(ConverterFamily::ConfigFileMaps, ConverterFamilyOf("pdftotext version 3.04\n"));
    EXPECT_EQ(ConverterFamily::Unknown, ConverterFamilyOf("pdftotext version 9.1\n"));
    EXPECT_EQ(ConverterFamily::Unknown, ConverterFamilyOf("Usage: conv [options] <file>\n"));
    EXPECT_EQ("pdftotext version 4.04 [www.example.com]", VersionLineOf(configFile));
    EXPECT_EQ("Usage: conv", VersionLineOf("\nUsage: conv\n"));
}

TEST(UnicodeMapText, JoinsRunsOfConsecutiveCharactersAndCodes)
{
    std::vector<CharacterCode> characters;
    for (std::uint16_t c = 0x20; c <= 0x7E; ++c) {
        characters.push_back({c, c, 1});
    }
    characters.push_back({0x00A0, 0xA0, 1}); // consecutive character, code jumps back: a new run
    characters.push_back({0x00A1, 0xA1, 1});
    characters.push_back({0x0402, 0x80, 1}); // both jump
    characters.push_back({0x20AC, 0x88, 1});
    characters.push_back({0x20AD, 0x8A, 1}); // consecutive character, code skips one
    characters.push_back({0x3000, 0x8140, 2});
    characters.push_back({0x3001, 0x8141, 2});
    characters.push_back({0x3002, 0x8142, 1}); // a code of another size ends the run
    EXPECT_EQ("0020 007e 20\n00a0 00a1 a0\n0402 80\n20ac 88\n20ad 8a\n3000 3001 8140\n3002 8142\n",
              UnicodeMapText(characters));
    EXPECT_EQ("ffff ff\n", UnicodeMapText({{0xFFFF, 0xFF, 1}}));
    EXPECT_EQ("", UnicodeMapText({}));
}

TEST(ConfigFileWith, AddsEachLineOnceAndKeepsWhatIsThere)
{
    const std::vector<std::string> lines = {"unicodeMap ANSI C:\\x\\ANSI.unicodeMap",
                                            "unicodeMap KOI8-R C:\\x\\KOI8-R.unicodeMap"};
    EXPECT_EQ("unicodeMap ANSI C:\\x\\ANSI.unicodeMap\r\nunicodeMap KOI8-R C:\\x\\KOI8-R.unicodeMap\r\n",
              ConfigFileWith("", lines))
        << "a new file";
    const std::string mine = "textEOL unix\nunicodeMap  ANSI C:\\x\\ANSI.unicodeMap\n";
    EXPECT_EQ(mine + "unicodeMap KOI8-R C:\\x\\KOI8-R.unicodeMap\n", ConfigFileWith(mine, lines))
        << "spacing aside, a present line is not added twice; LF stays LF";
    EXPECT_EQ("textEOL dos\r\n" + lines[0] + "\r\n", ConfigFileWith("textEOL dos", {lines[0]}))
        << "a last line without its end gets one first";
    const std::string full = ConfigFileWith("", lines);
    EXPECT_EQ(full, ConfigFileWith(full, lines)) << "a second run changes nothing";
}

TEST(ConfigFileWith, WhatItWritesNamesTheMapTheLibraryReads)
{
    const std::string xpdfrc =
        ConfigFileWith("unicodeMap KOI8-R C:\\old\\k\n", {"unicodeMap ANSI C:\\x\\a", "unicodeMap KOI8-R \"C:\\a b\\k\""});
    EXPECT_EQ("C:\\a b\\k", ConfigMapFileOf(xpdfrc, "KOI8-R")) << "the last line, unquoted";
    EXPECT_EQ("C:\\x\\a", ConfigMapFileOf(xpdfrc, "ANSI"));
    EXPECT_EQ("", ConfigMapFileOf(xpdfrc, "Latin2"));
}

// The converter's KOI8-R map as it ships, in part: ranges, codes of two and three bytes.
TEST(UnicodeMap, MapsAsTheConverterDoes)
{
    UnicodeMap map;
    ASSERT_TRUE(map.Parse("000a 0a\r\n000c 000d 0c\r\n0020 007e 20\r\n\r\n0410 0411 e1\r\n2014 2d2d\r\n2026 2e2e2e\r\n"));
    const auto mapped = [&](std::uint32_t c) {
        unsigned char bytes[4] = {};
        return std::string(reinterpret_cast<char*>(bytes), static_cast<std::size_t>(map.Map(c, bytes)));
    };
    EXPECT_EQ("\n", mapped('\n'));
    EXPECT_EQ("\r", mapped('\r'));
    EXPECT_EQ("A", mapped('A'));
    EXPECT_EQ("\xE2", mapped(0x0411));
    EXPECT_EQ("--", mapped(0x2014));
    EXPECT_EQ("...", mapped(0x2026));
    for (const std::uint32_t missing : {0x09u, 0x7Fu, 0x0412u, 0x2015u, 0x1F600u}) {
        EXPECT_EQ("", mapped(missing)) << missing;
    }
    EXPECT_FALSE(map.Parse("0020 zz\n")) << "garbage the converter would misread";
    EXPECT_FALSE(map.Parse("2153 3120332f3420\n")) << "a code longer than four bytes";
}

TEST(Utf8Reader, CarriesCharactersAcrossPiecesAndStopsAtMalformedText)
{
    const std::string text = "a\xD0\xBC\xE2\x80\x94\xF0\x9F\x98\x80";
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        Utf8Reader reader;
        std::vector<std::uint32_t> read;
        const auto keep = [&](std::uint32_t c) { read.push_back(c); };
        const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
        ASSERT_TRUE(reader.Read(bytes, cut, keep) && reader.Read(bytes + cut, text.size() - cut, keep)) << cut;
        EXPECT_TRUE(reader.Finished());
        EXPECT_EQ((std::vector<std::uint32_t>{'a', 0x043C, 0x2014, 0x1F600}), read) << cut;
    }
    for (const std::string bad : {"\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF5", "\xD0" "a"}) {
        Utf8Reader reader;
        EXPECT_FALSE(reader.Read(reinterpret_cast<const unsigned char*>(bad.data()), bad.size(), [](std::uint32_t) {}))
            << bad.size();
    }
    Utf8Reader cutShort;
    EXPECT_TRUE(cutShort.Read(reinterpret_cast<const unsigned char*>("\xE2\x80"), 2, [](std::uint32_t) {}));
    EXPECT_FALSE(cutShort.Finished());
}

// Character by character only where the converter's layout counts the same columns.
TEST(LayoutCheck, TakesOnlyCharactersOfOneByteWrittenLeftToRight)
{
    EXPECT_TRUE(LayoutCheck::Take('a', 1));
    EXPECT_TRUE(LayoutCheck::Take(0x201C, 1));
    EXPECT_FALSE(LayoutCheck::Take(0x2014, 2)) << "the columns right of it, on any line, would shift";
    EXPECT_FALSE(LayoutCheck::Take(0x043C, 0)) << "left out: one column fewer";
    EXPECT_FALSE(LayoutCheck::Take(0x05D0, 1)) << "right to left, turned around in UTF-8 only";
}

TEST(MeaningOfResult, NamesEveryCodeTheLibraryAnswers)
{
    for (const int code : {0, 10, 13, 15, 16, 19, 21, 24}) {
        EXPECT_NE(MeaningOfResult(99), MeaningOfResult(code)) << code;
    }
}

TEST(EncodingOfEntry, FollowsTheEntrysPlaceAsThePluginDoes)
{
    EXPECT_EQ("ANSI", EncodingOfEntry(0));
    EXPECT_EQ("KOI8-R", EncodingOfEntry(1));
    EXPECT_EQ("UTF-8", EncodingOfEntry(2));
    EXPECT_EQ("", EncodingOfEntry(3)) << "invoice_a.txt, the fourth entry of invoice_a.pdf";
}

} // namespace
