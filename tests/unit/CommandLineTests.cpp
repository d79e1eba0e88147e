#include "CommandLine.h"
#include "ConverterPath.h"

#include "ResultCodes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Runs a builder twice, as the library does: once to measure, once into storage that fits.
template <class Build>
std::string Built(Build build)
{
    TextBuilder measure(nullptr, 0);
    build(measure);
    std::string text(measure.Size() + 1, '#');
    TextBuilder builder(text.data(), text.size());
    build(builder);
    EXPECT_FALSE(builder.Overflowed());
    EXPECT_EQ('\0', text.back());
    text.pop_back();
    return text;
}

std::string TargetPathOf(std::string_view directory, std::string_view name)
{
    return Built([&](TextBuilder& out) { AppendTargetPath(out, directory, name); });
}

std::string BuildCommandLine(std::string_view converter, std::string_view option, std::string_view document,
                             std::string_view target)
{
    return Built([&](TextBuilder& out) { AppendCommandLine(out, converter, option, document, target); });
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
    EXPECT_EQ("C:\\temp\\report_k.txt", TargetPathOf("C:\\temp", "report_k.txt"));
    EXPECT_EQ("report_k.txt", TargetPathOf("", "report_k.txt"));
    EXPECT_EQ("C:\\temp\\r.txt", TargetPathOf("C:\\temp\\", "r.txt")) << "one separator, not two";
    EXPECT_EQ("\\\\?\\C:\\t\\r.txt", TargetPathOf("\\\\?\\C:\\t\\", "r.txt"));
    EXPECT_EQ("C:\\temp\\", TargetPathOf("C:\\temp", ""));
}

TEST(TagOf, ReadsTheTwoCharactersSixBeforeTheEnd)
{
    EXPECT_EQ("_k", TagOf("C:\\temp\\report_k.txt"));
    EXPECT_EQ("rt", TagOf("C:\\temp\\report.txt"));
    EXPECT_EQ("_a", TagOf("_a.txt")) << "exactly six characters";
    EXPECT_EQ("", TagOf("a.txt")) << "shorter than six: no tag";
    EXPECT_EQ("", TagOf(""));
    EXPECT_EQ("_u", TagOf("x_u.TXT")) << "only the tag's own case counts";
}

TEST(EncodingOptionFor, MapsTheThreeTagsExactly)
{
    EXPECT_EQ(" -enc ANSI", EncodingOptionFor("_a"));
    EXPECT_EQ(" -enc KOI8-R", EncodingOptionFor("_k"));
    EXPECT_EQ(" -enc UTF-8", EncodingOptionFor("_u"));
    EXPECT_EQ("", EncodingOptionFor("_K")) << "case counts";
    EXPECT_EQ("", EncodingOptionFor("rt"));
    EXPECT_EQ("", EncodingOptionFor(""));
    EXPECT_EQ("", EncodingOptionFor("_"));
    // The entry last listed decides; the target's tag only where none has been listed.
    EXPECT_EQ("", EncodingOptionOf(3, L"C:\\t\\invoice_a.txt")) << "the fourth entry of invoice_a.pdf";
    EXPECT_EQ(" -enc KOI8-R", EncodingOptionOf(1, L"C:\\t\\copy.txt")) << "an entry copied out under a new name";
    EXPECT_EQ(" -enc UTF-8", EncodingOptionOf(-1, L"x_u.txt"));
}

TEST(BuildCommandLine, QuotesTheConverterAndBothPaths)
{
    EXPECT_EQ("\"C:\\plugins\\conv.exe\" -enc KOI8-R -layout \"D:\\docs\\report.pdf\" \"C:\\temp\\report_k.txt\"",
              BuildCommandLine("C:\\plugins\\conv.exe", " -enc KOI8-R", "D:\\docs\\report.pdf",
                               "C:\\temp\\report_k.txt"));
    EXPECT_EQ("\"C:\\Program Files\\p\\conv.exe\" -layout \"D:\\my docs\\r.pdf\" \"r.txt\"",
              BuildCommandLine("C:\\Program Files\\p\\conv.exe", "", "D:\\my docs\\r.pdf", "r.txt"));
    EXPECT_EQ("\"\" -layout \"\" \"\"", BuildCommandLine("", "", "", ""));
}

TEST(BuildCommandLine, DoublesClosingBackslashesSoTheQuoteStillEndsTheArgument)
{
    EXPECT_EQ("\"C:\\p\\conv.exe\" -layout \"D:\\docs\\\\\" \"C:\\t\\x_a.txt\"",
              BuildCommandLine("C:\\p\\conv.exe", "", "D:\\docs\\", "C:\\t\\x_a.txt"));
    EXPECT_EQ("\"c\" -layout \"d\" \"C:\\t\\\\\\\\\"", BuildCommandLine("c", "", "d", "C:\\t\\\\"))
        << "two closing backslashes become four";
    EXPECT_EQ("\"c\" -layout \"\\\\\" \"\"", BuildCommandLine("c", "", "\\", ""));
}

TEST(BuildCommandLine, KeepsALongLineWhole)
{
    const std::string target = "C:\\" + std::string(400, 't') + "_u.txt";
    const std::string line = BuildCommandLine("C:\\p\\conv.exe", EncodingOptionFor(TagOf(target)), "D:\\d.pdf", target);
    EXPECT_EQ(3u + 400u + 6u + 1u, line.size() - line.rfind(" \"") - 2) << "the target and its closing quote are all there";
    EXPECT_EQ('"', line.back());
}

TEST(HoldsQuote, FindsADoubleQuoteAnywhere)
{
    EXPECT_FALSE(HoldsQuote("C:\\docs\\report.pdf"));
    EXPECT_TRUE(HoldsQuote("C:\\docs\\a\" -o \"b.pdf"));
    EXPECT_TRUE(HoldsQuote("\""));
    EXPECT_FALSE(HoldsQuote(""));
}

TEST(PluginDirectoryOf, KeepsTheClosingBackslash)
{
    EXPECT_EQ("C:\\plugins\\", PluginDirectoryOf("C:\\plugins\\Paperlens.wcx"));
    EXPECT_EQ("C:\\", PluginDirectoryOf("C:\\Paperlens.wcx"));
    EXPECT_EQ("", PluginDirectoryOf("Paperlens.wcx"));
}

TEST(FirstWordOf, TakesTheSettingUpToItsFirstSpace)
{
    EXPECT_EQ("conv.exe", FirstWordOf("conv.exe"));
    EXPECT_EQ("conv.exe", FirstWordOf("conv.exe -x -y"));
    EXPECT_EQ("", FirstWordOf(" conv.exe")) << "a leading space: no word";
    EXPECT_EQ("", FirstWordOf(""));
    EXPECT_EQ("\"my", FirstWordOf("\"my conv.exe\"")) << "quotes are not honoured";
    EXPECT_EQ("sub\\conv.exe\t-x", FirstWordOf("sub\\conv.exe\t-x")) << "only a space ends the word";
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

} // namespace

namespace {

std::wstring WideBuilt(void (*build)(WideTextBuilder&, const void*), const void* context)
{
    WideTextBuilder measure(nullptr, 0);
    build(measure, context);
    std::wstring text(measure.Size() + 1, L'#');
    WideTextBuilder builder(text.data(), text.size());
    build(builder, context);
    EXPECT_FALSE(builder.Overflowed());
    text.pop_back();
    return text;
}

TEST(WideCommandLine, IsTheSameLineInUtf16)
{
    const auto line = WideBuilt(
        [](WideTextBuilder& out, const void*) {
            AppendCommandLine(out, L"C:\\Плагины\\conv.exe", EncodingOptionFor(TagOf(std::wstring_view(L"C:\\t\\Маяк_k.txt"))),
                              L"D:\\docs\\", L"C:\\t\\Маяк_k.txt");
        },
        nullptr);
    EXPECT_EQ(L"\"C:\\Плагины\\conv.exe\" -enc KOI8-R -layout \"D:\\docs\\\\\" \"C:\\t\\Маяк_k.txt\"", line);
    EXPECT_TRUE(HoldsQuote(std::wstring_view(L"a\"b")));
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
    const auto name = [](std::wstring_view folder) {
        return WideBuilt([](WideTextBuilder& out, const void* f) {
            AppendTemporaryName(out, *static_cast<const std::wstring_view*>(f), 4021, 17, L".txt");
        }, &folder);
    };
    EXPECT_EQ(L"C:\\out\\~paperlens-4021-17.txt", name(L"C:\\out"));
    EXPECT_EQ(L"C:\\~paperlens-4021-17.txt", name(L"C:\\"));
    EXPECT_EQ(L"~paperlens-4021-17.txt", name(L""));
    unsigned long process = 0;
    EXPECT_TRUE(ProcessOfTemporaryName(L"~paperlens-4021-17.pdf", process));
    EXPECT_EQ(4021u, process);
    for (const wchar_t* other : {L"~paperlens-4021-17.doc", L"~paperlens-4021.txt", L"~paperlens--17.txt",
                                 L"~paperlens-99999999999-1.txt", L"~paperlens-notes.txt", L"paperlens-1-1.txt"}) {
        EXPECT_FALSE(ProcessOfTemporaryName(other, process)) << "no temporary name of ours";
    }
}

} // namespace
