// Stands in for the converter in tests: records how it was started, then behaves as the
// environment tells it. The plug-in fixes the command line, so all instructions come from
// environment variables the test sets in the host process (the converter inherits them).
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601  // GetErrorMode
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    ~OwnedHandle()
    {
        if (Valid()) {
            CloseHandle(handle_);
        }
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

std::uint64_t Now()
{
    FILETIME time;
    GetSystemTimeAsFileTime(&time);
    return static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

// An empty variable and a missing one must stay distinguishable, hence the flag. Both
// read 0 characters; only a missing one sets ERROR_ENVVAR_NOT_FOUND.
bool ReadVariable(const char* name, std::string& value)
{
    value.clear();
    SetLastError(ERROR_SUCCESS);
    DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    for (;;) {
        if (size == 0) {
            return GetLastError() != ERROR_ENVVAR_NOT_FOUND;
        }
        std::string buffer(size, '\0');
        SetLastError(ERROR_SUCCESS);
        DWORD length = GetEnvironmentVariableA(name, &buffer[0], size);
        if (length < size) {
            if (length == 0) {
                return GetLastError() != ERROR_ENVVAR_NOT_FOUND;
            }
            buffer.resize(length);
            value = buffer;
            return true;
        }
        size = length;  // grew between the calls
    }
}

// Accepts a plain decimal number, optionally negative for exit codes such as -1.
bool ParseNumber(const std::string& text, std::uint64_t& value)
{
    if (text.empty()) {
        return false;
    }
    bool negative = text[0] == '-';
    std::size_t at = negative ? 1 : 0;
    if (at == text.size()) {
        return false;
    }
    std::uint64_t result = 0;
    for (; at < text.size(); ++at) {
        char c = text[at];
        if (c < '0' || c > '9') {
            return false;
        }
        std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (result > (UINT64_MAX - digit) / 10) {
            return false;
        }
        result = result * 10 + digit;
    }
    value = negative ? 0 - result : result;
    return true;
}

std::uint64_t NumberVariable(const char* name, std::uint64_t fallback)
{
    std::string text;
    std::uint64_t value = 0;
    if (ReadVariable(name, text) && ParseNumber(text, value)) {
        return value;
    }
    return fallback;
}

// Only these four bytes would break the line framing or the escape itself.
std::string Escape(const std::string& value)
{
    std::string escaped;
    escaped.reserve(value.size());
    for (char c : value) {
        switch (c) {
        case '\\': escaped += "\\\\"; break;
        case '\n': escaped += "\\n"; break;
        case '\r': escaped += "\\r"; break;
        case '\0': escaped += "\\0"; break;
        default: escaped += c; break;
        }
    }
    return escaped;
}

class RecordText {
public:
    void Add(const char* key, const std::string& value)
    {
        text_ += key;
        text_ += '=';
        text_ += Escape(value);
        text_ += '\n';
    }
    void Add(const char* key, std::uint64_t value) { Add(key, std::to_string(value)); }
    void Add(const char* key, bool value) { Add(key, std::string(value ? "1" : "0")); }

    std::string Finish() { return text_ + "--\n"; }

private:
    std::string text_;
};

std::string CurrentDirectory()
{
    DWORD size = GetCurrentDirectoryA(0, nullptr);
    for (;;) {
        if (size == 0) {
            return std::string();
        }
        std::string buffer(size, '\0');
        DWORD length = GetCurrentDirectoryA(size, &buffer[0]);
        if (length < size) {
            buffer.resize(length);
            return buffer;
        }
        size = length;
    }
}

bool WriteTarget(const std::string& path, const std::string& encoding)
{
    OwnedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        return false;
    }
    std::string content = "converted:" + encoding + "\n\f"; // ends as the converters end every text
    std::string hex;
    // A run of some pages alone (-f) writes RECCONV_PAGE_TEXT where the test gives one.
    const bool pages = std::string(GetCommandLineA()).find(" -f ") != std::string::npos;
    if ((pages && ReadVariable("RECCONV_PAGE_TEXT", hex)) || ReadVariable("RECCONV_TEXT", hex)) {
        content.clear();
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
            content += static_cast<char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16));
        }
    }
    DWORD written = 0;
    return WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) != FALSE &&
           written == content.size();
}

// One WriteFile on an append-only handle, so records of parallel runs never interleave.
void AppendRecord(const std::string& path, const std::string& record)
{
    OwnedHandle log(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!log.Valid()) {
        return;
    }
    DWORD written = 0;
    WriteFile(log.Get(), record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
}

// A copy of this program that only sleeps as long, records nothing and writes nothing: a
// process the converter started, for tests of what ends with it.
bool StartChild()
{
    char self[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    for (const char* name : {"RECCONV_CHILD", "RECCONV_LOG", "RECCONV_WRITE"}) {
        SetEnvironmentVariableA(name, nullptr);
    }
    std::string line = "\"" + std::string(self, length) + "\" child";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &created)) {
        return false;
    }
    CloseHandle(created.hThread);
    CloseHandle(created.hProcess);
    return true;
}

// The program named runs with this one's arguments exactly as they came; its exit code.
DWORD RunWithOwnArguments(const std::string& program)
{
    const std::string own = GetCommandLineA();
    const std::size_t end = own.empty() ? 0 : own[0] == '"' ? own.find('"', 1) : own.find(' ');
    std::string line = "\"" + program + "\"" + (end == std::string::npos ? "" : own.substr(end + (own[0] == '"')));
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &created)) {
        return 98;
    }
    OwnedHandle thread(created.hThread);
    OwnedHandle process(created.hProcess);
    DWORD exitCode = 97;
    WaitForSingleObject(process.Get(), INFINITE);
    GetExitCodeProcess(process.Get(), &exitCode);
    return exitCode;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::uint64_t startTime = Now();
    RecordText record;
    // Asked its version, it says RECCONV_VERSION on its standard error, as the converters
    // do; that run is recorded only when the test gave a version, so that the tests of
    // conversions alone count conversions.
    std::string version;
    const bool versionGiven = ReadVariable("RECCONV_VERSION", version);
    // Nothing else of its instructions applies to that run: no sleep, child, target or exit code.
    const bool askedVersion = argc == 2 && std::string(argv[1]) == "-v";
    if (askedVersion) {
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), version.data(), static_cast<DWORD>(version.size()), &written, nullptr);
        if (!versionGiven) {
            return 0;
        }
    }

    // Asked for an encoding with a document that does not exist, it answers as the converters
    // of the data-folder family do, which look the encoding up first: 1 with a map of it in
    // share\poppler\unicodeMap beside the program, 99 without; recorded as the version is.
    if (argc == 4 && std::string(argv[1]) == "-enc" && GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES) {
        char program[MAX_PATH] = {};
        GetModuleFileNameA(nullptr, program, MAX_PATH);
        std::string map(program);
        map = map.substr(0, map.rfind('\\') + 1) + "share\\poppler\\unicodeMap\\" + argv[2];
        return GetFileAttributesA(map.c_str()) == INVALID_FILE_ATTRIBUTES ? 99 : 1;
    }
    record.Add("cmdline", std::string(GetCommandLineA()));
    record.Add("argc", static_cast<std::uint64_t>(argc));
    for (int i = 0; i < argc; ++i) {
        record.Add("arg", std::string(argv[i]));
    }
    record.Add("cwd", CurrentDirectory());

    std::string probe;
    bool probeSet = ReadVariable("RECCONV_PROBE", probe);
    record.Add("probe_set", probeSet);
    record.Add("probe", probe);

    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    GetStartupInfoA(&startup);
    record.Add("startup_flags", static_cast<std::uint64_t>(startup.dwFlags));
    record.Add("show_window", static_cast<std::uint64_t>(startup.wShowWindow));

    // The handle is only looked at, never closed: it is not ours, and may not even exist.
    std::string handleText;
    std::uint64_t handleValue = 0;
    bool handleSet = ReadVariable("RECCONV_HANDLE", handleText) && ParseNumber(handleText, handleValue);
    DWORD handleFlags = 0;
    bool handleValid = handleSet &&
                       GetHandleInformation(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(handleValue)), &handleFlags) != FALSE;
    if (!handleValid) {
        handleFlags = 0;
    }
    record.Add("handle_set", handleSet);
    record.Add("handle_value", handleValue);
    record.Add("handle_valid", handleValid);
    record.Add("handle_flags", static_cast<std::uint64_t>(handleFlags));
    record.Add("handle_inherit", (handleFlags & HANDLE_FLAG_INHERIT) != 0);

    record.Add("error_mode", static_cast<std::uint64_t>(GetErrorMode()));
    record.Add("pid", static_cast<std::uint64_t>(GetCurrentProcessId()));
    BOOL inJob = FALSE;
    record.Add("in_job", IsProcessInJob(GetCurrentProcess(), nullptr, &inJob) && inJob);

    std::string encoding = "default";
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "-enc") {
            encoding = argv[i + 1];
            break;
        }
    }
    record.Add("encoding", encoding);

    const DWORD sleepMs = askedVersion ? 0 : static_cast<DWORD>(NumberVariable("RECCONV_SLEEP_MS", 0));
    DWORD exitCode = askedVersion ? 0 : static_cast<DWORD>(NumberVariable("RECCONV_EXIT", 0));
    record.Add("sleep_ms", static_cast<std::uint64_t>(sleepMs));
    std::string write;
    const bool writeRequested = !askedVersion && ReadVariable("RECCONV_WRITE", write) && write != "0";
    // A target written at once, then left as it is: a partly written text.
    const bool writtenEarly = writeRequested && write == "early" && argc > 1 && WriteTarget(argv[argc - 1], encoding);
    std::string child;
    record.Add("child_started", !askedVersion && ReadVariable("RECCONV_CHILD", child) && child != "0" && StartChild());
    if (sleepMs > 0) {
        Sleep(sleepMs);
    }

    // With RECCONV_RUN, the converter named there does the work: a real converter's runs, counted.
    std::string program;
    if (!askedVersion && ReadVariable("RECCONV_RUN", program)) {
        exitCode = RunWithOwnArguments(program);
    }
    // Written after the sleep, so a caller that does not wait finds no target yet.
    bool targetWritten = writtenEarly || (writeRequested && argc > 1 && WriteTarget(argv[argc - 1], encoding));
    record.Add("write_requested", writeRequested);
    record.Add("target_written", targetWritten);

    record.Add("exit_code", static_cast<std::uint64_t>(exitCode));
    record.Add("start_time", startTime);
    record.Add("end_time", Now());

    std::string logPath;
    if (ReadVariable("RECCONV_LOG", logPath) && !logPath.empty()) {
        AppendRecord(logPath, record.Finish());
    }
    return static_cast<int>(exitCode);
}
