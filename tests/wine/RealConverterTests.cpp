// End to end: the library beside the stand-in converter, which hands the work to the
// machine's own pdftotext, extracting the sample document's text in each encoding.
#include "ResultCodes.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <map>

namespace {

const std::string LighthouseUtf8 = "\xD0\xBC\xD0\xB0\xD1\x8F\xD0\xBA"; // маяк
const std::string LighthouseKoi8 = "\xCD\xC1\xD1\xCB";
const std::string CafeLatin1 = "caf\xE9";
const std::string CafeUtf8 = "caf\xC3\xA9";

bool Holds(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Extracts every entry of `document` into `folder`; entry name -> (result, text).
std::map<std::string, std::pair<int, std::string>> ExtractAll(const std::string& document, const std::string& folder)
{
    std::map<std::string, std::pair<int, std::string>> texts;
    for (const ExtractedEntry& entry : ExtractDocument(Library(), document, folder, DestinationStyle::DirectoryAndName)) {
        texts[entry.name] = {entry.result, FileExists(entry.target) ? ReadWholeFile(entry.target) : "<no file>"};
    }
    return texts;
}

TEST(RealConverter, EachEntryHoldsTheTextInItsEncoding)
{
    ScratchFolder folder;
    const auto texts = ExtractAll(SamplePath(), folder.Path());
    ASSERT_EQ(4u, texts.size());
    for (const auto& [name, entry] : texts) {
        EXPECT_EQ(ResultSuccess, entry.first) << name;
        EXPECT_TRUE(Holds(entry.second, "lighthouse")) << name << ": " << entry.second;
    }
    const std::string& utf8 = texts.at("sample_u.txt").second;
    EXPECT_TRUE(Holds(utf8, LighthouseUtf8)) << "Russian in UTF-8";
    EXPECT_TRUE(Holds(utf8, CafeUtf8));

    const std::string& koi8 = texts.at("sample_k.txt").second;
    EXPECT_TRUE(Holds(koi8, LighthouseKoi8)) << "Russian in KOI8-R";
    EXPECT_FALSE(Holds(koi8, LighthouseUtf8));

    const std::string& ansi = texts.at("sample_a.txt").second;
    EXPECT_TRUE(Holds(ansi, CafeLatin1)) << "the Western code page";
    EXPECT_FALSE(Holds(ansi, LighthouseKoi8));
    EXPECT_FALSE(Holds(ansi, LighthouseUtf8)) << "Cyrillic has no place in the Western code page";

    EXPECT_EQ(utf8, texts.at("sample.txt").second) << "the converter's own default is UTF-8";
}

TEST(RealConverter, ADamagedDocumentLeavesNoTargetAndIsABadArchive)
{
    ScratchFolder folder;
    const std::string broken = folder / "broken.pdf";
    const std::string sample = ReadWholeFile(SamplePath());
    ASSERT_GT(sample.size(), 1000u);
    WriteWholeFile(broken, sample.substr(0, 400) + std::string(600, '\x7F'));
    const auto texts = ExtractAll(broken, folder.Path());
    ASSERT_EQ(4u, texts.size());
    for (const auto& [name, entry] : texts) {
        EXPECT_EQ(ResultBadArchive, entry.first) << name;
        EXPECT_EQ("<no file>", entry.second) << name;
    }
}

TEST(RealConverter, PathsWithSpacesAndWesternAccentsReachTheConverterIntact)
{
    ScratchFolder folder;
    const std::string documents = folder / "docs \xE9t\xE9";
    const std::string output = folder / "out \xFC";
    ASSERT_TRUE(::CreateDirectoryA(documents.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA(output.c_str(), nullptr));
    const std::string document = documents + "\\rapport \xFC" "ber.pdf";
    ASSERT_TRUE(::CopyFileA(SamplePath().c_str(), document.c_str(), FALSE));
    const auto texts = ExtractAll(document, output);
    ASSERT_EQ(4u, texts.size());
    const auto& utf8 = texts.at("rapport \xFC" "ber_u.txt");
    EXPECT_EQ(ResultSuccess, utf8.first);
    EXPECT_TRUE(Holds(utf8.second, LighthouseUtf8)) << utf8.second;
}

} // namespace
