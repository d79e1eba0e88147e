#include "CommandLine.h"
#include "ConverterPath.h"
#include "ProgramKind.h"

#include "ResultCodes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

// Runs a builder twice, as the library does: once to measure, once into storage that fits.
template <class Build>
std::wstring Built(Build build)
{
    WideTextBuilder measure(nullptr, 0);
    build(measure);
    std::wstring text(measure.Size() + 1, L'#');
    WideTextBuilder builder(text.data(), text.size());
    build(builder);
    EXPECT_FALSE(builder.Overflowed());
    EXPECT_EQ(L'\0', text.back());
    text.pop_back();
    return text;
}

std::wstring TargetPathOf(std::wstring_view directory, std::wstring_view name)
{
    return Built([&](WideTextBuilder& out) { AppendTargetPath(out, directory, name); });
}

std::wstring BuildCommandLine(std::wstring_view converter, std::string_view option, std::wstring_view document,
                              std::wstring_view target)
{
    return Built([&](WideTextBuilder& out) { AppendCommandLine(out, converter, option, document, target); });
}

TEST(TextBuilder, RefusesWhatDoesNotFitAndStillMeasuresIt)
{
    char storage[8];
    TextBuilder builder(storage, sizeof storage);
    builder.Append("abc").Append(2, '\\');
    EXPECT_EQ("abc\\\\", builder.Text());
    EXPECT_STREQ("abc\\\\", storage);
    builder.Append("xyz"); // 8 characters and a NUL do not fit in 8
    EXPECT_TRUE(builder.Overflowed());
    EXPECT_EQ(8u, builder.Size());
    EXPECT_EQ("", builder.Text()) << "an overflowed text is never read";
    EXPECT_STREQ("", storage);

    FixedText<4> text;
    EXPECT_TRUE(text.Assign({"a", "bc"}));
    EXPECT_EQ("abc", text.Text());
    EXPECT_FALSE(text.Assign("abcd"));
    EXPECT_TRUE(text.Empty());
}

TEST(TargetPathOf, JoinsWithOneBackslashOnlyWhenThereIsADirectory)
{
    EXPECT_EQ(L"C:\\temp\\report_k.txt", TargetPathOf(L"C:\\temp", L"report_k.txt"));
    EXPECT_EQ(L"report_k.txt", TargetPathOf(L"", L"report_k.txt"));
    EXPECT_EQ(L"C:\\temp\\r.txt", TargetPathOf(L"C:\\temp\\", L"r.txt")) << "one separator, not two";
    EXPECT_EQ(L"\\\\?\\C:\\t\\r.txt", TargetPathOf(L"\\\\?\\C:\\t\\", L"r.txt"));
    EXPECT_EQ(L"C:\\temp\\", TargetPathOf(L"C:\\temp", L""));
}

TEST(TagOf, ReadsTheTwoCharactersSixBeforeTheEnd)
{
    EXPECT_EQ(L"_k", TagOf(L"C:\\temp\\report_k.txt"));
    EXPECT_EQ(L"rt", TagOf(L"C:\\temp\\report.txt"));
    EXPECT_EQ(L"_a", TagOf(L"_a.txt")) << "exactly six characters";
    EXPECT_EQ(L"", TagOf(L"a.txt")) << "shorter than six: no tag";
    EXPECT_EQ(L"", TagOf(L""));
    EXPECT_EQ(L"_u", TagOf(L"x_u.TXT")) << "only the tag's own case counts";
}

TEST(EncodingOptionFor, MapsTheThreeTagsExactly)
{
    EXPECT_EQ(" -enc ANSI", EncodingOptionFor(L"_a"));
    EXPECT_EQ(" -enc KOI8-R", EncodingOptionFor(L"_k"));
    EXPECT_EQ(" -enc UTF-8", EncodingOptionFor(L"_u"));
    EXPECT_EQ("", EncodingOptionFor(L"_K")) << "case counts";
    EXPECT_EQ("", EncodingOptionFor(L"rt"));
    EXPECT_EQ("", EncodingOptionFor(L""));
    EXPECT_EQ("", EncodingOptionFor(L"_"));
    // The entry last listed decides; the target's tag only where none has been listed.
    EXPECT_EQ("", EncodingOptionOf(3, L"C:\\t\\invoice_a.txt")) << "the fourth entry of invoice_a.pdf";
    EXPECT_EQ(" -enc KOI8-R", EncodingOptionOf(1, L"C:\\t\\copy.txt")) << "an entry copied out under a new name";
    EXPECT_EQ(" -enc UTF-8", EncodingOptionOf(-1, L"x_u.txt"));
}

TEST(BuildCommandLine, QuotesTheConverterAndBothPaths)
{
    EXPECT_EQ(L"\"C:\\plugins\\conv.exe\" -enc KOI8-R -layout \"D:\\docs\\report.pdf\" \"C:\\temp\\report_k.txt\"",
              BuildCommandLine(L"C:\\plugins\\conv.exe", " -enc KOI8-R", L"D:\\docs\\report.pdf",
                               L"C:\\temp\\report_k.txt"));
    EXPECT_EQ(L"\"C:\\Program Files\\p\\conv.exe\" -layout \"D:\\my docs\\r.pdf\" \"r.txt\"",
              BuildCommandLine(L"C:\\Program Files\\p\\conv.exe", "", L"D:\\my docs\\r.pdf", L"r.txt"));
    EXPECT_EQ(L"\"C:\\Плагины\\conv.exe\" -enc UTF-8 -layout \"D:\\Маяк.pdf\" \"C:\\t\\Маяк_u.txt\"",
              BuildCommandLine(L"C:\\Плагины\\conv.exe", " -enc UTF-8", L"D:\\Маяк.pdf", L"C:\\t\\Маяк_u.txt"))
        << "characters outside ASCII go in as they are";
    EXPECT_EQ(L"\"\" -layout \"\" \"\"", BuildCommandLine(L"", "", L"", L""));
}

TEST(BuildCommandLine, DoublesClosingBackslashesSoTheQuoteStillEndsTheArgument)
{
    EXPECT_EQ(L"\"C:\\p\\conv.exe\" -layout \"D:\\docs\\\\\" \"C:\\t\\x_a.txt\"",
              BuildCommandLine(L"C:\\p\\conv.exe", "", L"D:\\docs\\", L"C:\\t\\x_a.txt"));
    EXPECT_EQ(L"\"c\" -layout \"d\" \"C:\\t\\\\\\\\\"", BuildCommandLine(L"c", "", L"d", L"C:\\t\\\\"))
        << "two closing backslashes become four";
    EXPECT_EQ(L"\"c\" -layout \"\\\\\" \"\"", BuildCommandLine(L"c", "", L"\\", L""));
}

TEST(BuildCommandLine, KeepsALongLineWhole)
{
    const std::wstring target = L"C:\\" + std::wstring(400, L't') + L"_u.txt";
    const std::wstring line =
        BuildCommandLine(L"C:\\p\\conv.exe", EncodingOptionFor(TagOf(target)), L"D:\\d.pdf", target);
    EXPECT_EQ(3u + 400u + 6u + 1u, line.size() - line.rfind(L" \"") - 2) << "the target and its closing quote are all there";
    EXPECT_EQ(L'"', line.back());
    EXPECT_NE(std::wstring::npos, line.find(L" -enc UTF-8 ")) << "the tag read from the target chose the option";
}

TEST(HoldsQuote, FindsADoubleQuoteAnywhere)
{
    EXPECT_FALSE(HoldsQuote(L"C:\\docs\\report.pdf"));
    EXPECT_TRUE(HoldsQuote(L"C:\\docs\\a\" -o \"b.pdf"));
    EXPECT_TRUE(HoldsQuote(L"\""));
    EXPECT_FALSE(HoldsQuote(L""));
}

TEST(PluginDirectoryOf, KeepsTheClosingBackslash)
{
    EXPECT_EQ(L"C:\\plugins\\", PluginDirectoryOf(L"C:\\plugins\\Paperlens.wcx"));
    EXPECT_EQ(L"C:\\", PluginDirectoryOf(L"C:\\Paperlens.wcx"));
    EXPECT_EQ(L"", PluginDirectoryOf(L"Paperlens.wcx"));
}

TEST(FirstWordOf, TakesTheSettingUpToItsFirstSpace)
{
    EXPECT_EQ(L"conv.exe", FirstWordOf(L"conv.exe"));
    EXPECT_EQ(L"conv.exe", FirstWordOf(L"conv.exe -x -y"));
    EXPECT_EQ(L"", FirstWordOf(L" conv.exe")) << "a leading space: no word";
    EXPECT_EQ(L"", FirstWordOf(L""));
    EXPECT_EQ(L"\"my", FirstWordOf(L"\"my conv.exe\"")) << "quotes are not honoured";
    EXPECT_EQ(L"sub\\conv.exe\t-x", FirstWordOf(L"sub\\conv.exe\t-x")) << "only a space ends the word";
}

TEST(ProgramKind, TellsAWindowsImageOrBatchFileFromAnythingElse)
{
    const auto bytes = [](const std::string& text) { return reinterpret_cast<const unsigned char*>(text.data()); };
    const std::string image = "MZ" + std::string(58, '\0') + "\x80\x01\0\0"s; // image header at 0x180
    std::uint32_t offset = 0;
    EXPECT_TRUE(ImageHeaderOffsetOf(bytes(image), image.size(), offset) && offset == 0x180u);
    for (const std::string& other : {"\x7F" "ELF"s + std::string(60, '\0'), "#!/bin/sh\n" + std::string(60, ' '),
                                     "ZM" + image.substr(2), image.substr(0, 63)}) {
        EXPECT_FALSE(ImageHeaderOffsetOf(bytes(other), other.size(), offset)) << other.substr(0, 4);
    }
    EXPECT_TRUE(IsImageSignature(bytes("PE\0\0"s), 4) && !IsImageSignature(bytes("PE\0\0"s), 3));
    EXPECT_FALSE(IsImageSignature(bytes("PE\0\1"s), 4));
    EXPECT_TRUE(IsBatchFileName(L"C:\\p\\conv.bat") && IsBatchFileName(L"C:\\p\\CONV.Cmd"));
    EXPECT_FALSE(IsBatchFileName(L"C:\\p\\conv.bat.exe") || IsBatchFileName(L"bat"));
    EXPECT_TRUE(TakesExeAppended(L"C:\\my.plugins\\pdftotext"));
    EXPECT_FALSE(TakesExeAppended(L"C:\\plugins\\pdftotext.exe") || TakesExeAppended(L"C:\\plugins\\"));
}

TEST(ResultOfConversion, TrustsExitCodeZeroOnlyWithTheTargetWritten)
{
    EXPECT_EQ(ResultSuccess, ResultOfConversion(0, true));
    EXPECT_EQ(ResultCannotCreateOutput, ResultOfConversion(0, false));
    EXPECT_EQ(ResultBadArchive, ResultOfConversion(1, false)) << "the document could not be opened";
    EXPECT_EQ(ResultCannotCreateOutput, ResultOfConversion(2, false)) << "the output could not be opened";
    EXPECT_EQ(ResultBadArchive, ResultOfConversion(3, true)) << "not permitted to read the document";
    EXPECT_EQ(ResultWriteError, ResultOfConversion(99, true)) << "any other failure";
    EXPECT_EQ(ResultWriteError, ResultOfConversion(0xC0000005ul, false)) << "a crash";
}

TEST(TemporaryName, SitsInTheTargetsFolder)
{
    EXPECT_EQ(L"C:\\out", FolderOf(L"C:\\out\\Маяк_u.txt"));
    EXPECT_EQ(L"C:\\", FolderOf(L"C:\\Маяк_u.txt")) << "the root keeps its backslash";
    EXPECT_EQ(L"C:", FolderOf(L"C:Маяк_u.txt"));
    EXPECT_EQ(L"", FolderOf(L"Маяк_u.txt")) << "the current folder";
    EXPECT_EQ(L"Z:/out", FolderOf(L"Z:/out/x.txt"));
    EXPECT_EQ(L"\\\\?\\C:\\", FolderOf(L"\\\\?\\C:\\x.txt"));
    EXPECT_EQ(L"\\\\?\\UNC\\srv\\share", FolderOf(L"\\\\?\\UNC\\srv\\share\\x.txt"));
    const TemporaryOwner owner = {0x0A1B2C3D, 4021, 0x7FFE0001};
    const auto name = [&](std::wstring_view folder) {
        return Built([&](WideTextBuilder& out) { AppendTemporaryName(out, folder, owner, 17, L".txt"); });
    };
    EXPECT_EQ(L"C:\\out\\~paperlens-0a1b2c3d-4021-7ffe0001-17.txt", name(L"C:\\out"));
    EXPECT_EQ(L"C:\\~paperlens-0a1b2c3d-4021-7ffe0001-17.txt", name(L"C:\\"));
    EXPECT_EQ(L"~paperlens-0a1b2c3d-4021-7ffe0001-17.txt", name(L""));
    TemporaryOwner read;
    EXPECT_TRUE(OwnerOfTemporaryName(L"~paperlens-0a1b2c3d-4021-7ffe0001-17.pdf", read));
    EXPECT_EQ((std::vector<unsigned long>{0x0A1B2C3D, 4021, 0x7FFE0001}),
              (std::vector<unsigned long>{read.machine, read.process, read.copy}));
    EXPECT_TRUE(OwnerOfTemporaryName(L"~paperlens-00000000-7-00000000-4000000000.map", read) && read.process == 7u)
        << "numbers run to 32 bits";
    for (const wchar_t* other : {L"~paperlens-0a1b2c3d-4021-7ffe0001-17.doc", L"~paperlens-4021-17.txt",
                                 L"~paperlens-0a1b2c3d-4021-7ffe0001.txt", L"~paperlens-0A1B2C3D-4021-7ffe0001-1.txt",
                                 L"~paperlens-0a1b2c3d-99999999999-7ffe0001-1.txt", L"paperlens-0a1b2c3d-1-7ffe0001-1.txt"}) {
        EXPECT_FALSE(OwnerOfTemporaryName(other, read)) << "no temporary name of ours";
    }
    EXPECT_EQ(MachineTokenOf(L"Harbour-PC"), MachineTokenOf(L"HARBOUR-pc")) << "computer names know no case";
    EXPECT_NE(MachineTokenOf(L"HARBOUR-PC"), MachineTokenOf(L"HARBOUR-PD"));
    EXPECT_EQ(0x811C9DC5u, MachineTokenOf(L"")) << "FNV-1a's offset basis";
}

} // namespace
