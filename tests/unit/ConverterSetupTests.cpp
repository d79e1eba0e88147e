#include "ConverterSetup.h"

#include <gtest/gtest.h>

namespace {

TEST(ConverterSetup, FindsTheConverterAsThePluginDoes)
{
    EXPECT_EQ("C:\\p l\\pdftotext.exe", ConverterPathFor("C:\\p l\\Paperlens.wcx64", "pdftotext.exe -q"));
    EXPECT_EQ("C:\\p\\poppler\\bin\\pdftotext.exe", ConverterPathFor("C:\\p\\Paperlens.wcx", "poppler\\bin\\pdftotext.exe"));
    EXPECT_EQ("C:\\p\\", ConverterPathFor("C:\\p\\Paperlens.wcx", " pdftotext.exe")) << "a leading space leaves no word";
}

TEST(ConverterSetup, PlacesDataFolderMapsWhereTheConverterLooks)
{
    EXPECT_EQ("C:\\p\\Library\\share\\poppler\\unicodeMap", DataFolderMapsFor("C:\\p\\Library\\bin\\pdftotext.exe"));
    EXPECT_EQ("C:\\p\\Library\\share\\poppler\\unicodeMap", DataFolderMapsFor("C:\\p\\Library\\BIN\\pdftotext.exe"));
    EXPECT_EQ("C:\\p\\share\\poppler\\unicodeMap", DataFolderMapsFor("C:\\p\\pdftotext.exe"));
    EXPECT_EQ("C:\\p\\bins\\share\\poppler\\unicodeMap", DataFolderMapsFor("C:\\p\\bins\\pdftotext.exe"));
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
