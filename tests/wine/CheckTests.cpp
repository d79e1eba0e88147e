// The command-line host's check, on a good setup and on the broken ones users make.
#include "TestEnvironment.h"

#include <gtest/gtest.h>

namespace {

const std::string GoodSettings = "[Converters]\r\nPDF=pdftotext.exe\r\n";

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

std::size_t CountOf(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

struct BrokenSetup {
    const char* what;
    std::string settings;
    bool longPath;
    const char* namedCause;
    const char* converterFrom = nullptr; // a program copied in as the converter ("" the recording one)
    const char* converterAt = "pdftotext.exe";
};

TEST(Check, NamesTheCauseOfEachBrokenSetup)
{
    const BrokenSetup setups[] = {
        {"no settings file", "", false, "it is missing: the plug-in refuses to load"},
        {"a misspelt section", "[Convertres]\r\nPDF=pdftotext.exe\r\n", false,
         "it has no section [Converters] (it has [Convertres])"},
        {"no PDF key", "[Converters]\r\nPFD=pdftotext.exe\r\n", false, "gives no value PDF= (it has PFD=pdftotext.exe)"},
        {"settings saved as Paperlens.ini.txt", "", false, "Paperlens.ini.txt lies there"},
        {"a library path of 257 characters", GoodSettings, true,
         "characters long: the plug-in refuses to load from a path of 256 characters or more"},
        {"no converter", GoodSettings, false, "it does not exist: copy the converter's whole folder"},
        {"a Unix program for the converter, which ends at once", GoodSettings, false,
         "the converter is not a Windows program; the plug-in needs a Windows build of pdftotext", "Z:\\bin\\true"},
        {"a converter not where the setting says", GoodSettings, false,
         "the line\r\n    PDF=poppler\\Library\\bin\\pdftotext.exe\r\n", "", "poppler\\Library\\bin\\pdftotext.exe"},
        {"a setting too long to read whole", "[Converters]\r\nPDF=" + std::string(256, 'c') + "\r\n", false,
         "its value PDF= is 256 characters long: the plug-in reads at most 255"},
        {"a library that is no program", GoodSettings, false, "it is no program library at all"},
    };
    for (const BrokenSetup& setup : setups) {
        SCOPED_TRACE(setup.what);
        const PluginInstall install(setup.settings, "");
        if (std::string(setup.what).find(".txt") != std::string::npos) {
            WriteWholeFile(install.Folder() + "\\Paperlens.ini.txt", GoodSettings);
        }
        if (setup.converterFrom) {
            const std::string at = install.Folder() + "\\" + setup.converterAt;
            for (std::size_t slash = at.find('\\', install.Folder().size() + 1); slash != std::string::npos;
                 slash = at.find('\\', slash + 1)) {
                ::CreateDirectoryA(at.substr(0, slash).c_str(), nullptr);
            }
            const std::string from = *setup.converterFrom ? setup.converterFrom : ConverterProgramPath();
            ASSERT_TRUE(::CopyFileA(from.c_str(), at.c_str(), FALSE)) << at;
        }
        std::string library = install.LibraryFile();
        const bool noProgram = std::string(setup.what).find("no program") != std::string::npos;
        if (noProgram) {
            WriteWholeFile(library, GoodSettings); // Windows refuses it as it refuses the other width
        }
        if (setup.longPath) {
            // Its settings path, two characters shorter, still fits the A calls' 260.
            const std::string name = library.substr(library.rfind('\\'));
            const std::string folder = install.Folder() + "\\" + std::string(256 - install.Folder().size() - name.size(), 'p');
            ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
            ASSERT_TRUE(::CopyFileA(library.c_str(), (folder + name).c_str(), FALSE));
            WriteWholeFile(folder + "\\Paperlens.ini", GoodSettings);
            library = folder + name;
            ASSERT_EQ(257u, library.size());
        }
        const HostRun run = RunHostTool("check " + Quoted(library) + " " + Quoted(SamplePath()));
        EXPECT_EQ(1u, run.exitCode) << run.output;
        // Each cause said once, and the entries it fails not each on their own.
        EXPECT_EQ(1u, CountOf(run.output, setup.namedCause)) << run.output;
        EXPECT_EQ(std::string::npos, run.output.find("within a minute")) << run.output;
        const bool loads = setup.settings == GoodSettings && !setup.longPath && !noProgram;
        EXPECT_EQ(loads, run.output.find("the library loads") != std::string::npos) << run.output;
        EXPECT_EQ(loads ? 1u : 0u, CountOf(run.output, "result 16, the output file cannot be created")) << run.output;
    }
}

} // namespace

namespace {

TEST(HostTool, ChecksALibraryInAFolderOfAnyNameAndShowsItsPathAsItIs)
{
    const PluginInstall install(GoodSettings, "");
    const std::wstring folder = WideFrom(install.Folder(), CP_ACP) + L"\\Плагины";
    const std::string libraryName = install.LibraryFile().substr(install.Folder().size());
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    for (const std::string& name : {libraryName, std::string("\\Paperlens.ini")}) {
        const std::wstring from = WideFrom(install.Folder() + name, CP_ACP);
        ASSERT_TRUE(::CopyFileW(from.c_str(), (folder + WideFrom(name, CP_ACP)).c_str(), FALSE));
    }
    const std::wstring library = folder + WideFrom(libraryName, CP_ACP);
    const std::string output = RunHostTool(L"check \"" + library + L"\"").output;
    for (const std::string& line : {"library    " + NarrowFrom(library, CP_UTF8), std::string("the library loads"),
                                    NarrowFrom(folder, CP_UTF8) + "\\pdftotext.exe: missing"}) {
        EXPECT_NE(std::string::npos, output.find(line)) << line << "\n" << output;
    }
}

TEST(HostTool, SpeaksPlainWordsAndUtf8ThroughAPipe)
{
    ScratchFolder folder;
    const std::string document = folder / "rapport \xFC" "ber.pdf"; // ü in code page 1252
    ASSERT_TRUE(::CopyFileA(SamplePath().c_str(), document.c_str(), FALSE));
    const HostRun list = RunHostTool("list \"" + LibraryPath() + "\" \"" + document + "\"");
    EXPECT_EQ(0u, list.exitCode) << list.output;
    EXPECT_NE(std::string::npos, list.output.find("  rapport \xC3\xBC" "ber_u.txt ")) << list.output;
    EXPECT_NE(std::string::npos, list.output.find("4 entries")) << list.output;
    EXPECT_EQ(std::string::npos, list.output.find("ReadHeader")) << list.output;

    const HostRun missing =
        RunHostTool("extract \"" + LibraryPath() + "\" \"" + document + "\" \"" + folder.Path() + "\" nothing.txt");
    EXPECT_EQ(1u, missing.exitCode) << missing.output;
    EXPECT_NE(std::string::npos, missing.output.find("has no entry named nothing.txt")) << missing.output;

    // A target folder that is not there: said once, before anything is converted.
    const std::string nowhere = Quoted(folder / "nowhere");
    const std::string quoted = Quoted(LibraryPath()) + " " + Quoted(document) + " " + nowhere;
    for (const std::string& command : {"extract " + quoted, "check " + quoted}) {
        const HostRun run = RunHostTool(command);
        EXPECT_EQ(1u, run.exitCode) << run.output;
        EXPECT_EQ(1u, CountOf(run.output, "the folder " + folder / "nowhere" + " does not exist")) << run.output;
        EXPECT_EQ(std::string::npos, run.output.find("FAILED")) << run.output;
    }

    // Entries that fail are no search done: not "not found" (1), nor found (0).
    const HostRun search = RunHostTool("search " + Quoted(LibraryPath()) + " " + Quoted(document) + " harbour");
    EXPECT_EQ(2u, search.exitCode) << search.output;

    // The tool names itself as it is called, as the release calls its 64-bit one.
    const std::string renamed = folder / "PaperlensHost64.exe";
    ASSERT_TRUE(::CopyFileA((LibraryPath().substr(0, LibraryPath().rfind('\\') + 1) + "PaperlensHost.exe").c_str(),
                            renamed.c_str(), FALSE));
    const HostRun usage = RunProgram(Quoted(renamed));
    EXPECT_EQ(2u, usage.exitCode);
    EXPECT_EQ(0u, usage.output.find("usage: PaperlensHost64.exe <command>")) << usage.output;
}

} // namespace
