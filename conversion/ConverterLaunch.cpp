#include "ConverterLaunch.h"

#include "BoxFreeCall.h"
#include "HeapText.h"
#include "ProgramKind.h"
#include "UniqueHandle.h"

#include <windows.h>

namespace {

constexpr DWORD DosHeaderSize = 64;
// The exit code of a converter ended at the host's request.
constexpr UINT CancelledExitCode = 0xC000013A; // as for a console program ended by Ctrl+C
// How long an ended job's process is given to be gone before the target is removed.
constexpr DWORD EndingGraceMs = 5000;
// How long a converter is given to say its version, in watch intervals, and how much of
// what it says is read.
constexpr int VersionWatches = 50;
constexpr DWORD VersionOutputSize = 4096;

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

// Windows 10's attribute that makes a process a member of jobs as it is created. Not every
// SDK this builds with names it.
constexpr DWORD_PTR JobListAttribute = 0x2000D;

// The attributes a converter is created with: its job, where Windows takes it at creation
// (from Windows 10 on), and the one handle it is to inherit, if any, and no other.
class CreationAttributes {
public:
    CreationAttributes(HANDLE* job, HANDLE* inherited) noexcept
    {
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 2, 0, &size);
        HeapText memory(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(memory.Data());
        if (memory.Size() == 0 || !::InitializeProcThreadAttributeList(list, 2, 0, &size)) {
            return;
        }
        memory_.Swap(memory);
        list_ = list;
        inJob_ = ::UpdateProcThreadAttribute(list_, 0, JobListAttribute, job, sizeof *job, nullptr, nullptr) != FALSE;
        if (*inherited && !::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                                       sizeof *inherited, nullptr, nullptr)) {
            ::DeleteProcThreadAttributeList(list_);
            list_ = nullptr;
        }
    }
    ~CreationAttributes()
    {
        if (list_) {
            ::DeleteProcThreadAttributeList(list_);
        }
    }
    CreationAttributes(const CreationAttributes&) = delete;
    CreationAttributes& operator=(const CreationAttributes&) = delete;

    // Null when the list could not be made.
    LPPROC_THREAD_ATTRIBUTE_LIST Get() const noexcept { return list_; }
    // Whether the process is created in the job, rather than put there after.
    bool InJob() const noexcept { return list_ && inJob_; }

private:
    HeapText memory_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
    bool inJob_ = false;
};

// The version question's watch: the host's own, asked each interval, and a few seconds.
struct VersionWatch {
    const RunWatch& host;
    int left;
    bool stopped;
};

bool StillAsking(void* context) noexcept
{
    VersionWatch& watch = *static_cast<VersionWatch*>(context);
    watch.stopped = watch.host.keepGoing && !watch.host.keepGoing(watch.host.context);
    return !watch.stopped && --watch.left > 0;
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
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup.StartupInfo;
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW; // and no standard handles but the output asked for
    startup.StartupInfo.wShowWindow = SW_HIDE;
    HANDLE output = watch.output;
    HANDLE jobHandle = job.Get();
    const CreationAttributes attributes(&jobHandle, &output);
    DWORD flags = NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED;
    if (output && !attributes.Get()) {
        result.error = ERROR_NOT_ENOUGH_MEMORY;
        return result;
    }
    if (attributes.InJob() || output) {
        startup.StartupInfo.cb = sizeof startup;
        startup.lpAttributeList = attributes.Get();
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
    if (output) {
        startup.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdOutput = output;
        startup.StartupInfo.hStdError = output;
    }
    SECURITY_ATTRIBUTES notInherited = {sizeof notInherited, nullptr, FALSE};
    PROCESS_INFORMATION created = {};
    // Suspended until it is in the job, so that nothing it starts can escape the job. Created
    // in the job where Windows can, so that a host that dies meanwhile leaves nothing behind.
    const auto creation = BoxFreeCall([&] {
        return ::CreateProcessW(nullptr, commandLine, &notInherited, &notInherited, output != nullptr, flags, nullptr,
                                nullptr, &startup.StartupInfo, &created);
    });
    // Declared so that the process's handle closes first, then its first thread's.
    const UniqueHandle<> thread(creation.value ? created.hThread : nullptr);
    const UniqueHandle<> process(creation.value ? created.hProcess : nullptr);
    if (!creation.value || !process) {
        // Without a handle (Wine's way with a Unix program) there is nothing to wait on.
        result.error = creation.lastError ? creation.lastError : ERROR_BAD_EXE_FORMAT;
        return result;
    }
    if ((!attributes.InJob() && !::AssignProcessToJobObject(job.Get(), process.Get())) ||
        ::ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
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

LaunchResult AskConverter(wchar_t* commandLine, const RunWatch& host, void* output, bool& stopped) noexcept
{
    VersionWatch asking = {host, VersionWatches, false};
    RunWatch watch;
    watch.keepGoing = StillAsking;
    watch.context = &asking;
    watch.output = output;
    const LaunchResult run = RunCommandLine(commandLine, watch);
    stopped = asking.stopped;
    return run;
}

ConverterFamily AskConverterFamily(std::wstring_view converter, const RunWatch& host, bool& stopped) noexcept
{
    stopped = false;
    WideHeapText line;
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!line.Build([&](WideTextBuilder& out) {
            out.Append(1, L'"').Append(converter).Append(std::wstring_view(L"\" -v"));
        }) ||
        !::CreatePipe(&readEnd, &writeEnd, nullptr, VersionOutputSize * 16)) {
        return ConverterFamily::Unknown;
    }
    const UniqueHandle<> reader(readEnd);
    UniqueHandle<> writer(writeEnd);
    if (!::SetHandleInformation(writer.Get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) {
        return ConverterFamily::Unknown;
    }
    const LaunchResult run = AskConverter(line.Data(), host, writer.Get(), stopped);
    writer.Reset();
    // Only what is there once the program has ended: a process another thread of the host
    // started meanwhile may have inherited the pipe's other end, and a read waiting for the
    // pipe's end would wait for that process too.
    char said[VersionOutputSize];
    DWORD size = 0;
    DWORD available = 0;
    DWORD read = 0;
    while (size < sizeof said && ::PeekNamedPipe(reader.Get(), nullptr, 0, nullptr, &available, nullptr) &&
           available > 0 && ::ReadFile(reader.Get(), said + size, sizeof said - size, &read, nullptr) && read > 0) {
        size += read;
    }
    return run.exitCodeKnown ? ConverterFamilyOf(std::string_view(said, size)) : ConverterFamily::Unknown;
}
