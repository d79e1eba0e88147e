// A converter that takes a known time: it sleeps PAPERLENS_BENCH_SLEEP_MS milliseconds
// (500 when unset), then writes a line of text to its target, the last argument, as a
// converter does; exit code 0 only when the text was written.
#include <windows.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "-v") == 0) {
        return 0; // asked its version, it names none, at once
    }
    char value[32] = {};
    const DWORD length = ::GetEnvironmentVariableA("PAPERLENS_BENCH_SLEEP_MS", value, sizeof value);
    ::Sleep(length > 0 && length < sizeof value ? static_cast<DWORD>(std::strtoul(value, nullptr, 10)) : 500);
    if (argc < 2) {
        return 2;
    }
    const HANDLE target = ::CreateFileA(argv[argc - 1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                        nullptr);
    if (target == INVALID_HANDLE_VALUE) {
        return 2;
    }
    static const char text[] = "the text of the document\r\n";
    DWORD written = 0;
    const BOOL wrote = ::WriteFile(target, text, sizeof text - 1, &written, nullptr);
    ::CloseHandle(target);
    return wrote && written == sizeof text - 1 ? 0 : 2;
}
