#include "ConverterLaunch.h"

#include "BoxFreeCall.h"
#include "ProgramKind.h"
#include "UniqueHandle.h"

#include <windows.h>

namespace {

constexpr DWORD DosHeaderSize = 64;
// The exit code of a converter ended at the host's request.
constexpr UINT CancelledExitCode = 0xC000013A; // as for a console program ended by Ctrl+C
// How long an ended job's process is given to be gone before the target is removed.
constexpr DWORD EndingGraceMs = 5000;

bool IsWindowsImage(HANDLE file) noexcept
{
    unsigned char head[DosHeaderSize];
    DWORD read = 0;
    std::uint32_t offset = 0;
    if (!BoxFreeCall([&] { return ::ReadFile(file, head, DosHeaderSize, &read, nullptr); }).value ||
        !ImageHeaderOffsetOf(head, read, offset)) {
        return false;
    }
    const auto seek = BoxFreeCall([&] { return ::SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN); });
    if (offset > 0x7FFFFFFFu || (seek.value == INVALID_SET_FILE_POINTER && seek.lastError != NO_ERROR)) {
        return false;
    }
    unsigned char signature[4];
    return BoxFreeCall([&] { return ::ReadFile(file, signature, sizeof signature, &read, nullptr); }).value &&
           IsImageSignature(signature, read);
}

// A job that ends every process in it when its last handle closes.
UniqueHandle<> KillingJob() noexcept
{
    UniqueHandle<> job(BoxFreeCall([] { return ::CreateJobObjectW(nullptr, nullptr); }).value);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job && !::SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        job.Reset();
    }
    return job;
}

} // namespace

bool IsWaitableProgram(const wchar_t* path) noexcept
{
    if (IsBatchFileName(path)) {
        return true;
    }
    const UniqueHandle<> file(BoxFreeCall([path] {
        return ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }).value);
    return file && IsWindowsImage(file.Get());
}

LaunchResult RunCommandLine(wchar_t* commandLine, const RunWatch& watch) noexcept
{
    LaunchResult result;
    const UniqueHandle<> job = KillingJob();
    if (!job) {
        result.error = ::GetLastError() ? ::GetLastError() : ERROR_GEN_FAILURE;
        return result;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW; // and no standard handles
    startup.wShowWindow = SW_HIDE;
    SECURITY_ATTRIBUTES notInherited = {sizeof notInherited, nullptr, FALSE};
    PROCESS_INFORMATION created = {};
    // Suspended until it is in the job, so that nothing it starts can escape the job.
    const auto creation = BoxFreeCall([&] {
        return ::CreateProcessW(nullptr, commandLine, &notInherited, &notInherited, FALSE,
                                NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED, nullptr, nullptr, &startup, &created);
    });
    // Declared so that the process's handle closes first, then its first thread's.
    const UniqueHandle<> thread(creation.value ? created.hThread : nullptr);
    const UniqueHandle<> process(creation.value ? created.hProcess : nullptr);
    if (!creation.value || !process) {
        // Without a handle (Wine's way with a Unix program) there is nothing to wait on.
        result.error = creation.lastError ? creation.lastError : ERROR_BAD_EXE_FORMAT;
        return result;
    }
    if (!::AssignProcessToJobObject(job.Get(), process.Get()) || ::ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
        result.error = ::GetLastError() ? ::GetLastError() : ERROR_GEN_FAILURE;
        ::TerminateProcess(process.Get(), CancelledExitCode);
        return result;
    }
    result.started = true;

    const DWORD slice = watch.keepGoing ? WatchIntervalMs : INFINITE;
    for (;;) {
        const DWORD waited = ::WaitForSingleObject(process.Get(), slice);
        if (waited == WAIT_OBJECT_0) {
            break;
        }
        if (waited != WAIT_TIMEOUT) {
            return result; // no end seen: the job's close ends it, and no exit code is claimed
        }
        if (!watch.keepGoing(watch.context)) {
            ::TerminateJobObject(job.Get(), CancelledExitCode);
            ::WaitForSingleObject(process.Get(), EndingGraceMs);
            result.cancelled = true;
            return result;
        }
    }
    DWORD exitCode = 0;
    if (::GetExitCodeProcess(process.Get(), &exitCode) && exitCode != STILL_ACTIVE) {
        result.exitCodeKnown = true;
        result.exitCode = exitCode;
    }
    return result; // the job's close ends whatever the converter left running
}
