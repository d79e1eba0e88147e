// Checks of the release archive as a user gets it: unpacked into an empty folder, with the
// recording converter where the example settings name the converter (the folder of Poppler
// for 64-bit Windows, copied in as poppler). The
// install description and the settings are read the way the host reads them, and the
// library of this program's width extracts the sample document through them.
#include "ConverterRecord.h"
#include "ResultCodes.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string TheFolder;
std::string TheLibraryPath;
std::string TheConverterPath;
std::string TheSamplePath;

constexpr const char* LibraryName = sizeof(void*) == 8 ? "Paperlens.wcx64" : "Paperlens.wcx";

std::string Unpacked(const std::string& name)
{
    return TheFolder + "\\" + name;
}

// No expected value looks like this, so a missing key can never pass for a present one.
constexpr const char* Missing = "<missing>";

std::string ProfileString(const std::string& file, const char* section, const char* key)
{
    char value[1024];
    ::GetPrivateProfileStringA(section, key, Missing, value, sizeof value, file.c_str());
    return value;
}

// The section names (null section) or the key names of a section, as the host lists them.
std::set<std::string> ProfileNames(const std::string& file, const char* section)
{
    char names[4096];
    const DWORD length = ::GetPrivateProfileStringA(section, nullptr, "", names, sizeof names, file.c_str());
    std::set<std::string> list;
    for (const char* name = names; name < names + length && *name; name += std::strlen(name) + 1) {
        list.insert(name);
    }
    return list;
}

std::vector<std::string> LinesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find("\r\n", start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The string-table file version of a library, read from its version resource.
std::string FileVersionOf(const std::string& path)
{
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) {
        return Missing;
    }
    std::vector<char> data(size);
    void* value = nullptr;
    UINT length = 0;
    if (!::GetFileVersionInfoA(path.c_str(), 0, size, data.data()) ||
        !::VerQueryValueA(data.data(), "\\StringFileInfo\\040904E4\\FileVersion", &value, &length) || length == 0) {
        return Missing;
    }
    return std::string(static_cast<const char*>(value), strnlen(static_cast<const char*>(value), length));
}

TEST(InstallDescription, OffersToInstallThePluginForPdfFiles)
{
    const std::string inf = Unpacked("pluginst.inf");
    EXPECT_EQ(std::set<std::string>{"plugininstall"}, ProfileNames(inf, nullptr));
    const std::set<std::string> keys = {"description", "type",   "file", "file64", "defaultdir", "defaultextension",
                                        "version"};
    EXPECT_EQ(keys, ProfileNames(inf, "plugininstall"));
    const std::pair<const char*, const char*> expected[] = {
        {"type", "wcx"},           {"file", "Paperlens.wcx"},    {"file64", "Paperlens.wcx64"},
        {"defaultdir", "paperlens"}, {"defaultextension", "pdf"}, {"version", "0.0.0.1"},
    };
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(value, ProfileString(inf, "plugininstall", key)) << key;
    }
}

TEST(InstallDescription, SaysInOneLineWhatThePluginDoes)
{
    const std::string description = ProfileString(Unpacked("pluginst.inf"), "plugininstall", "description");
    EXPECT_NE(Missing, description);
    EXPECT_NE(std::string::npos, description.find("PDF")) << description;
    // Installers show it in a dialog line and copy it into fixed buffers.
    EXPECT_LT(description.size(), 256u) << description;
}

TEST(InstallDescription, NamesLibrariesOfTheArchiveWithItsVersion)
{
    const std::string inf = Unpacked("pluginst.inf");
    const std::string version = ProfileString(inf, "plugininstall", "version");
    for (const char* key : {"file", "file64"}) {
        const std::string library = Unpacked(ProfileString(inf, "plugininstall", key));
        EXPECT_TRUE(FileExists(library)) << key << " names " << library;
        EXPECT_EQ(version, FileVersionOf(library)) << library;
    }
}

TEST(ExampleSettings, NameTheConverterAsUsersUnpackIt)
{
    const std::string ini = Unpacked("Paperlens.ini");
    EXPECT_EQ(std::set<std::string>{"Converters"}, ProfileNames(ini, nullptr));
    EXPECT_EQ(std::set<std::string>{"PDF"}, ProfileNames(ini, "Converters"));
    EXPECT_EQ("poppler\\Library\\bin\\pdftotext.exe", ProfileString(ini, "Converters", "PDF"));
}

TEST(ExampleSettings, ExplainTheValueInAComment)
{
    bool explained = false;
    for (const std::string& line : LinesOf(ReadWholeFile(Unpacked("Paperlens.ini")))) {
        explained = explained || (line.rfind(";", 0) == 0 && line.find("PDF") != std::string::npos);
    }
    EXPECT_TRUE(explained) << "no comment line speaks of the PDF key";
}

TEST(ArchiveTexts, AreAsciiWithWindowsLineEnds)
{
    for (const char* name : {"readme.txt", "Paperlens.ini", "pluginst.inf"}) {
        const std::string text = ReadWholeFile(Unpacked(name));
        ASSERT_GE(text.size(), 2u) << name;
        EXPECT_EQ("\r\n", text.substr(text.size() - 2)) << name << " does not end its last line";
        for (std::size_t i = 0; i < text.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            const bool lineEnd = (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ||
                                 (c == '\n' && i > 0 && text[i - 1] == '\r');
            // Plain ASCII reads the same in every code page a user's editor may assume.
            const bool plain = c >= 0x20 && c < 0x7F;
            if (!lineEnd && !plain) {
                ADD_FAILURE() << name << ": byte 0x" << std::hex << static_cast<int>(c) << " at offset " << std::dec
                              << i;
                break;
            }
        }
    }
}

struct EntryExpectation {
    const char* name;
    const char* encoding; // the word after -enc; null for none
};

constexpr EntryExpectation SampleEntries[] = {
    {"sample_a.txt", "ANSI"},
    {"sample_k.txt", "KOI8-R"},
    {"sample_u.txt", "UTF-8"},
    {"sample.txt", nullptr},
};

std::string ConvertedText(const EntryExpectation& entry)
{
    return std::string("converted:") + (entry.encoding ? entry.encoding : "default") + "\n\f";
}

TEST(UnpackedLibrary, ExtractsTheSampleThroughTheConverterBesideIt)
{
    std::string error;
    const auto library = PluginLibrary::Load(TheLibraryPath, error);
    ASSERT_NE(nullptr, library) << TheLibraryPath << ": " << error;
    ScratchFolder output;
    const std::string log = output / "record.log";
    ScopedVariable recording("RECCONV_LOG", log);
    ScopedVariable writing("RECCONV_WRITE", "1");

    const std::vector<ExtractedEntry> entries =
        ExtractDocument(*library, TheSamplePath, output.Path(), DestinationStyle::DirectoryAndName);
    const std::vector<ConverterRecord> records = ReadConverterRecords(log);
    ASSERT_EQ(4u, entries.size());
    ASSERT_EQ(4u, records.size());
    for (std::size_t i = 0; i < 4; ++i) {
        const EntryExpectation& expected = SampleEntries[i];
        const std::string target = output / expected.name;
        EXPECT_EQ(expected.name, entries[i].name);
        EXPECT_EQ(ResultSuccess, entries[i].result) << expected.name;
        EXPECT_EQ(ConvertedText(expected), ReadWholeFile(target)) << expected.name;
        std::vector<std::string> arguments = {TheConverterPath};
        if (expected.encoding) {
            arguments.insert(arguments.end(), {"-enc", expected.encoding});
        }
        arguments.insert(arguments.end(), {"-layout", TheSamplePath, target});
        EXPECT_EQ(arguments, records[i].arguments) << records[i].commandLine;
    }
}

TEST(UnpackedLibrary, TellsTheHost16ForEveryEntryWhenTheConverterIsMissing)
{
    PluginInstall install(ReadWholeFile(Unpacked("Paperlens.ini")), "");
    const auto library = install.Load();
    ASSERT_NE(nullptr, library);
    ScratchFolder output;
    const std::vector<ExtractedEntry> entries =
        ExtractDocument(*library, TheSamplePath, output.Path(), DestinationStyle::DirectoryAndName);
    ASSERT_EQ(4u, entries.size());
    for (const ExtractedEntry& entry : entries) {
        EXPECT_EQ(ResultCannotCreateOutput, entry.result) << entry.name;
        EXPECT_FALSE(FileExists(entry.target)) << entry.target;
    }
}

TEST(UnpackedLibrary, DoesNotLoadWithoutTheConverterSetting)
{
    std::string commentedOut = ReadWholeFile(Unpacked("Paperlens.ini"));
    const std::size_t key = commentedOut.find("\r\nPDF=");
    ASSERT_NE(std::string::npos, key);
    commentedOut.insert(key + 2, ";");
    for (const std::string& settings : {std::string(), commentedOut}) {
        PluginInstall install(settings);
        EXPECT_EQ(nullptr, install.Load()) << (settings.empty() ? "with no settings file" : settings);
    }
}

TEST(UnpackedLibrary, RunsAConverterInASubfolderNamedByItsRelativePath)
{
    PluginInstall install("[Converters]\r\nPDF=poppler\\bin\\pdftotext.exe\r\n", "");
    const std::string converter = install.Folder() + "\\poppler\\bin\\pdftotext.exe";
    ASSERT_TRUE(::CreateDirectoryA((install.Folder() + "\\poppler").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA((install.Folder() + "\\poppler\\bin").c_str(), nullptr));
    ASSERT_TRUE(::CopyFileA(TheConverterPath.c_str(), converter.c_str(), TRUE));
    const auto library = install.Load();
    ASSERT_NE(nullptr, library);
    ScratchFolder output;
    const std::string log = output / "record.log";
    ScopedVariable recording("RECCONV_LOG", log);
    ScopedVariable writing("RECCONV_WRITE", "1");

    const std::vector<ExtractedEntry> entries =
        ExtractDocument(*library, TheSamplePath, output.Path(), DestinationStyle::FullPath, "sample_u.txt");
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(ResultSuccess, entries[0].result);
    EXPECT_EQ(ConvertedText(SampleEntries[2]), ReadWholeFile(entries[0].target));
    const std::vector<ConverterRecord> records = ReadConverterRecords(log);
    ASSERT_EQ(1u, records.size());
    ASSERT_FALSE(records[0].arguments.empty());
    EXPECT_EQ(converter, records[0].arguments[0]);
}

} // namespace

// What the shared test files ask of the program that links them.
const std::string& LibraryPath()
{
    return TheLibraryPath;
}

const std::string& ConverterProgramPath()
{
    return TheConverterPath;
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--folder=", 9) == 0) {
            TheFolder = argv[i] + 9;
        } else if (std::strncmp(argv[i], "--sample=", 9) == 0) {
            TheSamplePath = argv[i] + 9;
        }
    }
    if (TheFolder.empty() || TheSamplePath.empty()) {
        std::fprintf(stderr, "usage: %s --folder=UNPACKED-ARCHIVE --sample=DOCUMENT [gtest options]\n", argv[0]);
        return 2;
    }
    TheLibraryPath = Unpacked(LibraryName);
    TheConverterPath = Unpacked(ProfileString(Unpacked("Paperlens.ini"), "Converters", "PDF"));
    if (!FileExists(TheConverterPath)) {
        std::fprintf(stderr, "put the recording converter into %s first\n", TheConverterPath.c_str());
        return 2;
    }
    return RUN_ALL_TESTS();
}
