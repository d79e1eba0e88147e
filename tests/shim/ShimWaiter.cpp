// Test and demo scaffolding, never shipped: the Windows half of the stand-in converter.
// Installed as pdftotext.exe beside the library, with pdftotext-shim.sh beside it. Wine
// starts a Unix script detached, with no process handle to wait on, so this program
// starts the script, waits for the line the script appends to a log when it has finished,
// and exits with the script's code: the plug-in then waits on a real Windows process. A Unix
// program cannot write into a Windows pipe either, so pdftotext's messages come back through
// a file and go out on this program's standard error, where the real converter writes them.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle) noexcept : handle_(handle) {}
    ~OwnedHandle()
    {
        if (handle_ && handle_ != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle_);
        }
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    HANDLE Get() const noexcept { return handle_; }

private:
    HANDLE handle_;
};

// The command line after the program's own name, as Windows splits the first token.
const char* ArgumentsOf(const char* line)
{
    bool quoted = false;
    for (; *line; ++line) {
        if (*line == '"') {
            quoted = !quoted;
        } else if (!quoted && (*line == ' ' || *line == '\t')) {
            break;
        }
    }
    while (*line == ' ' || *line == '\t') {
        ++line;
    }
    return line;
}

// The first 64 KiB are enough: the log holds one line, code first, and messages are short.
std::string ReadSmallFile(const std::string& path)
{
    const OwnedHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    static char buffer[65536];
    DWORD read = 0;
    if (file.Get() == INVALID_HANDLE_VALUE || !::ReadFile(file.Get(), buffer, sizeof buffer - 1, &read, nullptr)) {
        return {};
    }
    return std::string(buffer, read);
}

} // namespace

int main()
{
    constexpr DWORD GiveUpAfterMs = 120000;
    // Its own folder in UTF-16, so that it runs from a folder of any name; its arguments
    // as the converter's runtime reads them, in the ANSI code page.
    wchar_t self[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return 3;
    }
    std::wstring folder(self, length);
    folder.erase(folder.rfind(L'\\') + 1);

    char temp[MAX_PATH];
    char log[MAX_PATH];
    if (!::GetTempPathA(MAX_PATH, temp) || !::GetTempFileNameA(temp, "p2t", 0, log)) {
        return 3;
    }
    char output[MAX_PATH];
    if (!::GetTempFileNameA(temp, "p2o", 0, output)) {
        ::DeleteFileA(log);
        return 3;
    }
    ::SetEnvironmentVariableA("PDFTOTEXT_SHIM_LOG", log);
    ::SetEnvironmentVariableA("PDFTOTEXT_SHIM_OUTPUT", output);
    const std::string arguments = ArgumentsOf(::GetCommandLineA());
    std::wstring wideArguments(arguments.size(), L'\0');
    wideArguments.resize(static_cast<std::size_t>(::MultiByteToWideChar(
        CP_ACP, 0, arguments.data(), static_cast<int>(arguments.size()), wideArguments.data(),
        static_cast<int>(wideArguments.size()))));
    // The script beside this program, or, for a copy in a folder made by a Windows program
    // (which cannot give a copied script the permission to run), the one the test names.
    std::wstring script = folder + L"pdftotext-shim.sh";
    wchar_t named[MAX_PATH];
    if (::GetFileAttributesW(script.c_str()) == INVALID_FILE_ATTRIBUTES &&
        ::GetEnvironmentVariableW(L"PDFTOTEXT_SHIM_SCRIPT", named, MAX_PATH) - 1u < MAX_PATH - 1u) {
        script = named;
    }
    std::wstring line = L"\"" + script + L"\" " + wideArguments;

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created = {};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &created)) {
        ::DeleteFileA(log);
        ::DeleteFileA(output);
        return 3;
    }
    if (created.hProcess) { // on Windows proper, or a Wine that gives one
        const OwnedHandle process(created.hProcess);
        const OwnedHandle thread(created.hThread);
        ::WaitForSingleObject(process.Get(), INFINITE);
    }
    int code = 4;
    for (DWORD waited = 0; waited < GiveUpAfterMs; waited += 10) {
        const std::string written = ReadSmallFile(log);
        if (written.size() > 3 && written.compare(0, 3, "rc=") == 0 && written.find('\n') != std::string::npos) {
            code = std::atoi(written.c_str() + 3);
            break;
        }
        ::Sleep(10);
    }
    ::DeleteFileA(log);
    const std::string messages = ReadSmallFile(output);
    ::DeleteFileA(output);
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), messages.data(), static_cast<DWORD>(messages.size()), &written,
                nullptr);
    return code;
}
