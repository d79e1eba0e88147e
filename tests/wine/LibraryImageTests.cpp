// The library as a file: what it exports, imports and carries as resources, and the
// calling convention of its entry points.
#include "PeImage.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <set>
#include <vector>

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The width the library's name promises; the image tests also check the other width's
// library from a program of this one.
bool LibraryIs64Bit()
{
    const std::string& path = LibraryPath();
    return path.size() > 6 && Lower(path.substr(path.size() - 6)) == ".wcx64";
}

TEST(LibraryImage, ExportsTheThirteenEntryPointsUndecorated)
{
    const PeImage image = ReadPeFile(LibraryPath());
    ASSERT_TRUE(image.valid) << image.error;
    EXPECT_EQ(LibraryIs64Bit(), image.is64) << LibraryPath();
    const std::set<std::string> expected = {"CloseArchive",       "GetPackerCaps",      "OpenArchive",
                                            "ProcessFile",        "ReadHeader",         "SetChangeVolProc",
                                            "SetProcessDataProc", "OpenArchiveW",       "ReadHeaderExW",
                                            "ProcessFileW",       "SetChangeVolProcW",  "SetProcessDataProcW",
                                            "GetBackgroundFlags"};
    const std::set<std::string> exported(image.exportedNames.begin(), image.exportedNames.end());
    EXPECT_EQ(expected, exported);
    EXPECT_EQ(expected.size(), image.exportedNames.size()) << "no name exported twice";
}

TEST(LibraryImage, ImportsSystemLibrariesOnly)
{
    // The reader must see the imports of a program it knows, or an empty answer proves nothing.
    char self[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
    const PeImage host = ReadPeFile(self);
    ASSERT_TRUE(host.valid) << host.error;
    std::set<std::string> hostImports;
    for (const std::string& name : host.importedLibraries) {
        hostImports.insert(Lower(name));
    }
    ASSERT_EQ(1u, hostImports.count("kernel32.dll"));

    const PeImage image = ReadPeFile(LibraryPath());
    ASSERT_TRUE(image.valid) << image.error;
    std::set<std::string> imports;
    for (const std::string& name : image.importedLibraries) {
        imports.insert(Lower(name));
    }
    EXPECT_EQ((std::set<std::string>{"kernel32.dll", "msvcrt.dll"}), imports)
        << "the C and C++ runtimes are linked in; nothing but system libraries is imported";
}

TEST(LibraryImage, ImportsOnlyWhatItsOwnCodeCallsAndHooksNothing)
{
    const PeImage image = ReadPeFile(LibraryPath());
    ASSERT_TRUE(image.valid) << image.error;
    EXPECT_FALSE(image.hasTlsDirectory) << "no callback of the library runs at the host's thread starts and ends";
    std::set<std::string> imported;
    for (const std::string& function : image.importedFunctions) {
        imported.insert(Lower(function.substr(0, function.find('!'))) + function.substr(function.find('!')));
    }
    // Each one called by the library's own code; no runtime brings any in with it.
    const std::set<std::string> expected = {
        "kernel32.dll!AcquireSRWLockExclusive", "kernel32.dll!ReleaseSRWLockExclusive", // module-wide state
        "kernel32.dll!GetModuleFileNameW", "kernel32.dll!GetPrivateProfileStringW",   // settings
        "kernel32.dll!SetThreadErrorMode", "kernel32.dll!SetLastError", "kernel32.dll!GetLastError", // box-free calls
        "kernel32.dll!CreateProcessW", "kernel32.dll!WaitForSingleObject", "kernel32.dll!GetExitCodeProcess",
        "kernel32.dll!CloseHandle", "kernel32.dll!ResumeThread", "kernel32.dll!TerminateProcess",
        "kernel32.dll!CreateJobObjectW", "kernel32.dll!SetInformationJobObject", "kernel32.dll!AssignProcessToJobObject",
        "kernel32.dll!TerminateJobObject", // the converter, in its job
        "kernel32.dll!CreateFileA", "kernel32.dll!CreateFileW", "kernel32.dll!GetFileType",
        "kernel32.dll!SetFilePointer", "kernel32.dll!ReadFile", "kernel32.dll!GetFileTime",
        "kernel32.dll!FileTimeToLocalFileTime", "kernel32.dll!FileTimeToSystemTime", // time
        "kernel32.dll!GetFileAttributesA", "kernel32.dll!GetFileAttributesW", "kernel32.dll!DeleteFileW",
        "kernel32.dll!GetFileInformationByHandle", "kernel32.dll!GetFileAttributesExW", // documents and targets
        "kernel32.dll!GetShortPathNameW", "kernel32.dll!CreateHardLinkW", "kernel32.dll!CopyFileW",
        "kernel32.dll!MoveFileExW", "kernel32.dll!GetCurrentProcessId", "kernel32.dll!GetTempPathW",
        "kernel32.dll!FindFirstFileW", "kernel32.dll!FindNextFileW", "kernel32.dll!FindClose",
        "kernel32.dll!OpenProcess", "kernel32.dll!GetComputerNameW", "kernel32.dll!SetFileAttributesW",
        "kernel32.dll!SetFilePointerEx", "kernel32.dll!DuplicateHandle", "kernel32.dll!GetCurrentProcess", "kernel32.dll!GetDiskFreeSpaceExW",
        // paths the converter can open, what ended runs left, and the texts kept
        "kernel32.dll!GetACP", "kernel32.dll!GetCPInfo", "kernel32.dll!MultiByteToWideChar",
        "kernel32.dll!WideCharToMultiByte", // code page
        "kernel32.dll!GetProcessHeap", "kernel32.dll!HeapAlloc", "kernel32.dll!HeapFree", // run-time sized texts
        "kernel32.dll!CreatePipe", "kernel32.dll!PeekNamedPipe", "kernel32.dll!SetHandleInformation",
        "kernel32.dll!InitializeProcThreadAttributeList", "kernel32.dll!UpdateProcThreadAttribute",
        "kernel32.dll!DeleteProcThreadAttributeList", // the converter's -v
        "kernel32.dll!WriteFile", "kernel32.dll!GetFileSizeEx", // entries from one text
    };
    // Text and record copies and comparisons, which the compiler may also do inline, width by width.
    const std::set<std::string> inlinable = {"msvcrt.dll!memchr", "msvcrt.dll!memcmp", "msvcrt.dll!memcpy",
                                             "msvcrt.dll!strlen", "msvcrt.dll!wcslen"};
    std::set<std::string> calls = imported;
    for (const std::string& name : inlinable) {
        calls.erase(name);
    }
    EXPECT_EQ(expected, calls);
    for (const std::string& name : imported) {
        EXPECT_TRUE(expected.count(name) || inlinable.count(name)) << name << " is imported";
    }
    EXPECT_EQ(imported.size(), image.importedFunctions.size()) << "no function imported twice";
}

TEST(LibraryImage, IsSmall)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ASSERT_TRUE(::GetFileAttributesExA(LibraryPath().c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(0u, data.nFileSizeHigh);
    EXPECT_LT(data.nFileSizeLow, 64u * 1024u) << "a few hundred lines of logic and no runtime";
}

std::string VersionString(const std::vector<char>& info, const std::string& name)
{
    void* value = nullptr;
    UINT size = 0;
    const std::string key = "\\StringFileInfo\\040904E4\\" + name;
    if (!::VerQueryValueA(info.data(), key.c_str(), &value, &size) || !value) {
        return "<absent>";
    }
    return static_cast<const char*>(value);
}

TEST(LibraryImage, CarriesTheVersionResource)
{
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(LibraryPath().c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version resource, error " << ::GetLastError();
    std::vector<char> info(size);
    ASSERT_TRUE(::GetFileVersionInfoA(LibraryPath().c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize));
    ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), fixedSize);
    EXPECT_EQ(0x00000000u, fixed->dwFileVersionMS);
    EXPECT_EQ(0x00000001u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00000000u, fixed->dwProductVersionMS);
    EXPECT_EQ(0x00000001u, fixed->dwProductVersionLS);

    WORD* translations = nullptr;
    UINT translationSize = 0;
    ASSERT_TRUE(::VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                                 &translationSize));
    ASSERT_EQ(4u, translationSize) << "one string table";
    EXPECT_EQ(0x0409, translations[0]);
    EXPECT_EQ(1252, translations[1]);

    const std::string name = LibraryIs64Bit() ? "Paperlens.wcx64" : "Paperlens.wcx";
    EXPECT_EQ(name, VersionString(info, "FileDescription"));
    EXPECT_EQ("0.0.0.1", VersionString(info, "FileVersion"));
    EXPECT_EQ(name, VersionString(info, "OriginalFilename"));
}

BOOL CALLBACK CollectType(HMODULE, LPSTR type, LONG_PTR collected)
{
    auto* types = reinterpret_cast<std::vector<std::uintptr_t>*>(collected);
    types->push_back(IS_INTRESOURCE(type) ? reinterpret_cast<std::uintptr_t>(type) : 0);
    return TRUE;
}

TEST(LibraryImage, HoldsNoResourceButTheVersion)
{
    const HMODULE data = ::LoadLibraryExA(LibraryPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, data);
    std::vector<std::uintptr_t> types;
    ::EnumResourceTypesA(data, CollectType, reinterpret_cast<LONG_PTR>(&types));
    ::FreeLibrary(data);
    EXPECT_EQ((std::vector<std::uintptr_t>{reinterpret_cast<std::uintptr_t>(RT_VERSION)}), types)
        << "named types show as 0";
}

#if (defined(_M_IX86) || defined(__i386__)) && !defined(PAPERLENS_IMAGE_ONLY)

// Pushes four words, calls `function` and answers how far the stack pointer moved. A
// standard-call function with n word arguments removes those n and leaves 4 - n behind.
std::intptr_t StackMoveAroundCall(const void* function, const std::uintptr_t (&words)[4])
{
    std::intptr_t moved = 0;
#if defined(_MSC_VER)
    const std::uintptr_t* w = words;
    __asm {
        mov esi, w
        mov edi, function
        mov ebx, esp
        push dword ptr [esi + 12]
        push dword ptr [esi + 8]
        push dword ptr [esi + 4]
        push dword ptr [esi]
        call edi
        mov eax, esp
        sub eax, ebx
        mov esp, ebx
        mov moved, eax
    }
#else
    asm volatile(
        "movl %%esp, %%ebx\n\t"
        "pushl 12(%[w])\n\t"
        "pushl 8(%[w])\n\t"
        "pushl 4(%[w])\n\t"
        "pushl (%[w])\n\t"
        "call *%[f]\n\t"
        "movl %%esp, %[moved]\n\t"
        "subl %%ebx, %[moved]\n\t"
        "movl %%ebx, %%esp\n\t"
        : [moved] "=&d"(moved)
        : [w] "S"(words), [f] "D"(function)
        : "eax", "ebx", "ecx", "memory", "cc");
#endif
    return moved;
}

TEST(LibraryImage, EntryPointsRemoveTheirOwnArguments)
{
    const PluginLibrary& library = Library();
    HostHeaderRecord record;
    const std::uintptr_t header = reinterpret_cast<std::uintptr_t>(&record.header);
    // A standard-call callee leaves the unused words; a caller-cleans callee would leave all 16 bytes.
    EXPECT_EQ(-12, StackMoveAroundCall(reinterpret_cast<const void*>(library.OpenArchive), {0, 0, 0, 0}));
    EXPECT_EQ(-8, StackMoveAroundCall(reinterpret_cast<const void*>(library.ReadHeader), {10, header, 0, 0}));
    EXPECT_EQ(0, StackMoveAroundCall(reinterpret_cast<const void*>(library.ProcessFile), {10, 0, 0, 0}));
    EXPECT_EQ(-12, StackMoveAroundCall(reinterpret_cast<const void*>(library.CloseArchive), {10, 0, 0, 0}));
    EXPECT_EQ(-8, StackMoveAroundCall(reinterpret_cast<const void*>(library.SetChangeVolProc), {10, 0, 0, 0}));
    EXPECT_EQ(-8, StackMoveAroundCall(reinterpret_cast<const void*>(library.SetProcessDataProc), {10, 0, 0, 0}));
}

#endif

} // namespace
