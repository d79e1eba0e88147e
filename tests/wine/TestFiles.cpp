#include "TestEnvironment.h"

#include "DosTime.h"
#include "UniqueHandle.h"

#include <gtest/gtest.h>

#include <stdexcept>

// In UTF-16, so that names of any script go too.
void RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(path.c_str());
            }
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    ::RemoveDirectoryW(folder.c_str());
}

void RemoveTree(const std::string& folder)
{
    RemoveTree(WideFrom(folder, CP_ACP));
}

ScratchFolder::ScratchFolder()
{
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    static unsigned serial = 0;
    for (;;) {
        path_ = std::string(temp) + "paperlens-" + std::to_string(::GetCurrentProcessId()) + "-" +
                std::to_string(++serial);
        if (::CreateDirectoryA(path_.c_str(), nullptr)) {
            return;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            throw std::runtime_error("cannot create " + path_);
        }
    }
}

ScratchFolder::~ScratchFolder()
{
    RemoveTree(path_);
}

void WriteFileWithTime(const std::string& path, const SYSTEMTIME& utc)
{
    UniqueHandle<> file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.IsValid()) << "cannot create " << path << ": error " << ::GetLastError();
    const char content[] = "%PDF-1.4 not really a document\n";
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file.Get(), content, sizeof content - 1, &written, nullptr));
    FILETIME time;
    ASSERT_TRUE(::SystemTimeToFileTime(&utc, &time));
    ASSERT_TRUE(::SetFileTime(file.Get(), nullptr, nullptr, &time)) << "error " << ::GetLastError();
}

namespace {

SYSTEMTIME MakeSystemTime(int year, int month, int day, int hour, int minute, int second)
{
    SYSTEMTIME t = {};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    return t;
}

} // namespace

void WriteFileWithTime(const std::string& path, int year, int month, int day, int hour, int minute, int second)
{
    WriteFileWithTime(path, MakeSystemTime(year, month, day, hour, minute, second));
}

std::uint32_t ExpectedDosTime(const SYSTEMTIME& utc)
{
    // Local time is UTC less the zone's offset in force now (winter or summer), worked out
    // here from the zone rather than with the conversion call the library makes.
    TIME_ZONE_INFORMATION zone;
    const DWORD state = ::GetTimeZoneInformation(&zone);
    const LONG bias = zone.Bias + (state == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : zone.StandardBias);
    FILETIME time;
    SYSTEMTIME fields;
    if (!::SystemTimeToFileTime(&utc, &time)) {
        ADD_FAILURE() << "the test cannot convert its own time";
        return 0;
    }
    const std::uint64_t ticks = (std::uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime) -
                                static_cast<std::uint64_t>(std::int64_t{bias} * 60 * 10000000);
    const FILETIME local = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    if (!::FileTimeToSystemTime(&local, &fields)) {
        ADD_FAILURE() << "the test cannot convert its own time";
        return 0;
    }
    // Packed here by hand rather than by the code under test.
    return static_cast<std::uint32_t>((fields.wYear - 1980) << 25 | fields.wMonth << 21 | fields.wDay << 16 |
                                      fields.wHour << 11 | fields.wMinute << 5 | fields.wSecond / 2);
}

std::uint32_t ExpectedDosTime(int year, int month, int day, int hour, int minute, int second)
{
    return ExpectedDosTime(MakeSystemTime(year, month, day, hour, minute, second));
}

bool UnderEmulation()
{
    return ::GetEnvironmentVariableA("PAPERLENS_UNDER_EMULATION", nullptr, 0) != 0;
}

std::string ReadWholeFile(const std::string& path)
{
    UniqueHandle<> file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string content;
    if (!file) {
        return content;
    }
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        content.append(buffer, read);
    }
    return content;
}

void WriteWholeFile(const std::string& path, const std::string& bytes)
{
    UniqueHandle<> file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
    DWORD written = 0;
    if (!file || !::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
        throw std::runtime_error("cannot write " + path);
    }
}

bool FileExists(const std::string& path)
{
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

ScopedVariable::ScopedVariable(const std::string& name, const std::string& value) : name_(name)
{
    char old[4096];
    const DWORD length = ::GetEnvironmentVariableA(name.c_str(), old, sizeof old);
    hadValue_ = length > 0 && length < sizeof old;
    if (hadValue_) {
        oldValue_.assign(old, length);
    }
    ::SetEnvironmentVariableA(name.c_str(), value.c_str());
}

ScopedVariable::~ScopedVariable()
{
    ::SetEnvironmentVariableA(name_.c_str(), hadValue_ ? oldValue_.c_str() : nullptr);
}

PluginInstall::PluginInstall(const std::string& settings, const std::string& converterName,
                             const std::string& subfolder)
    : folder_(scratch_.Path())
{
    if (!subfolder.empty()) {
        folder_ += "\\" + subfolder;
        if (!::CreateDirectoryA(folder_.c_str(), nullptr)) {
            throw std::runtime_error("cannot create " + folder_);
        }
    }
    if (!::CopyFileA(LibraryPath().c_str(), LibraryFile().c_str(), FALSE) ||
        (!converterName.empty() &&
         !::CopyFileA(ConverterProgramPath().c_str(), Converter(converterName).c_str(), FALSE))) {
        throw std::runtime_error("cannot install the library into " + folder_);
    }
    // The data folder a converter of the data-folder family keeps beside it.
    if (!converterName.empty()) {
        const std::string converter = Converter(converterName);
        std::string data = converter.substr(0, converter.rfind('\\'));
        for (const char* part : {"\\share", "\\poppler", "\\unicodeMap"}) {
            ::CreateDirectoryA((data += part).c_str(), nullptr);
        }
    }
    WriteSettings(settings);
}

std::string PluginInstall::LibraryFile() const
{
    return folder_ + (sizeof(void*) == 8 ? "\\Paperlens.wcx64" : "\\Paperlens.wcx");
}

void PluginInstall::WriteSettings(const std::string& settings) const
{
    const std::string path = folder_ + "\\Paperlens.ini";
    if (settings.empty()) {
        ::DeleteFileA(path.c_str());
        return;
    }
    UniqueHandle<> file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file || !::WriteFile(file.Get(), settings.data(), static_cast<DWORD>(settings.size()), &written, nullptr)) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::unique_ptr<PluginLibrary> PluginInstall::Load() const
{
    std::string error;
    return PluginLibrary::Load(LibraryFile(), error);
}

int CountHandles()
{
    int count = 0;
    for (std::uintptr_t value = 4; value < 0x20000; value += 4) {
        DWORD flags = 0;
        count += ::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    }
    return count;
}

HostRun RunHostTool(const std::string& arguments)
{
    return RunHostTool(WideFrom(arguments, CP_ACP));
}

HostRun RunHostTool(const std::wstring& arguments)
{
    const std::string library = LibraryPath();
    return RunProgram(L"\"" + WideFrom(library.substr(0, library.rfind('\\') + 1), CP_ACP) + L"PaperlensHost.exe\" " +
                      arguments);
}

HostRun RunProgram(std::string line)
{
    return RunProgram(WideFrom(line, CP_ACP));
}

HostRun RunProgram(std::wstring line)
{
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        throw std::runtime_error("cannot create a pipe");
    }
    UniqueHandle<> reader(readEnd);
    UniqueHandle<> writer(writeEnd);
    ::SetHandleInformation(reader.Get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writer.Get();
    startup.hStdError = writer.Get();
    PROCESS_INFORMATION created = {};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &created)) {
        throw std::runtime_error("cannot run " + NarrowFrom(line, CP_UTF8) + ": error " + std::to_string(::GetLastError()));
    }
    const UniqueHandle<> process(created.hProcess);
    const UniqueHandle<> thread(created.hThread);
    writer.Reset(); // the end of the output shows once the host has gone
    HostRun run;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(reader.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
        run.output.append(buffer, read);
    }
    ::WaitForSingleObject(process.Get(), INFINITE);
    ::GetExitCodeProcess(process.Get(), &run.exitCode);
    return run;
}

std::string InCodePage(const std::string& utf8, UINT codePage)
{
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                               wide.data(), static_cast<int>(wide.size()))));
    std::string bytes;
    for (const wchar_t character : wide) {
        char byte[4];
        BOOL defaulted = FALSE;
        const int size = ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, &character, 1, byte, sizeof byte,
                                               nullptr, &defaulted);
        if (size > 0 && !defaulted) {
            bytes.append(byte, static_cast<std::size_t>(size));
        }
    }
    return bytes;
}
