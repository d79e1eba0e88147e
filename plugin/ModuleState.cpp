#include "ModuleState.h"

#include "ConverterPath.h"
#include "ConverterSetting.h"

#include <windows.h>

namespace {

// Constant-initialized: the library runs no constructors, and these are usable from the
// first notification on.
SRWLOCK SettingsLock = SRWLOCK_INIT;
ConverterSettings Settings;
HMODULE Module = nullptr;   // the library, set at process attach
LONG volatile Stale = 0;    // 1 when a notification asked for the settings to be read again

SRWLOCK ArchiveLock = SRWLOCK_INIT;
ArchiveTable Archives;

SRWLOCK CacheLock = SRWLOCK_INIT;
TextCache Kept;

// The facts of the converter last asked about, under a lock of their own: held to copy them.
enum class Question { NotAsked, BeingAsked, Answered };
SRWLOCK FactsLock = SRWLOCK_INIT;
WideFixedText<2 * PathBufferSize> AskedConverter;
Question FactsState = Question::NotAsked;
ConverterFacts Facts;

class ExclusiveHold {
public:
    explicit ExclusiveHold(SRWLOCK& lock) noexcept : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveHold() { ::ReleaseSRWLockExclusive(&lock_); }
    ExclusiveHold(const ExclusiveHold&) = delete;
    ExclusiveHold& operator=(const ExclusiveHold&) = delete;

private:
    SRWLOCK& lock_;
};

} // namespace

bool LoadConverterSettings(void* module) noexcept
{
    Module = static_cast<HMODULE>(module);
    wchar_t modulePath[PathBufferSize];
    const DWORD length = ::GetModuleFileNameW(Module, modulePath, PathBufferSize);
    // A cut path would name a shallower folder, and the converter would be looked for there.
    if (length == 0 || length >= PathBufferSize) {
        return false;
    }
    ConverterSettings settings;
    settings.PluginDirectory.Assign(PluginDirectoryOf(std::wstring_view(modulePath, length)));
    const SettingText setting = ReadConverterSetting(settings.PluginDirectory.Text(), L"PDF");
    if (setting.Text() == SettingNotFound) {
        settings.ConverterPath.Assign(SettingNotFound);
        ReplaceConverterSettings(settings);
        return false;
    }
    // Both parts are under 256 units, so the path always fits.
    settings.ConverterPath.Assign({settings.PluginDirectory.Text(), FirstWordOf(setting.Text())});
    ReplaceConverterSettings(settings);
    return true;
}

void MarkConverterSettingsStale() noexcept
{
    ::InterlockedExchange(&Stale, 1);
}

void RefreshConverterSettings() noexcept
{
    // Cleared first: a notification during the read marks them again.
    if (::InterlockedExchange(&Stale, 0) != 0) {
        LoadConverterSettings(Module);
    }
}

void CopyConverterSettings(ConverterSettings& copy) noexcept
{
    ExclusiveHold hold(SettingsLock);
    copy = Settings;
}

void ReplaceConverterSettings(const ConverterSettings& settings) noexcept
{
    ExclusiveHold hold(SettingsLock);
    Settings = settings;
}

TextCacheHold::TextCacheHold() noexcept
{
    ::AcquireSRWLockExclusive(&CacheLock);
}

TextCacheHold::~TextCacheHold()
{
    ::ReleaseSRWLockExclusive(&CacheLock);
}

TextCache& TextCacheHold::Cache() noexcept
{
    return Kept;
}

ArchiveTableHold::ArchiveTableHold() noexcept
{
    ::AcquireSRWLockExclusive(&ArchiveLock);
}

ArchiveTableHold::~ArchiveTableHold()
{
    ::ReleaseSRWLockExclusive(&ArchiveLock);
}

ArchiveTable& ArchiveTableHold::Table() noexcept
{
    return Archives;
}

bool TakeConverterQuestion(std::wstring_view converter, ConverterFacts& facts) noexcept
{
    ExclusiveHold hold(FactsLock);
    const bool same = AskedConverter.Text() == converter;
    if (same && FactsState == Question::Answered) {
        facts = Facts;
        return false;
    }
    facts = ConverterFacts();
    if (same && FactsState == Question::BeingAsked) {
        return false;
    }
    // Another converter may be of another family and read another folder.
    if (!AskedConverter.Assign(converter)) {
        return false; // too long to be told apart: asked about by no one
    }
    FactsState = Question::BeingAsked;
    return true;
}

void KeepConverterFacts(std::wstring_view converter, const ConverterFacts& facts) noexcept
{
    ExclusiveHold hold(FactsLock);
    if (AskedConverter.Text() == converter && FactsState == Question::BeingAsked) {
        Facts = facts;
        FactsState = Question::Answered;
    }
}

void ReturnConverterQuestion(std::wstring_view converter) noexcept
{
    ExclusiveHold hold(FactsLock);
    if (AskedConverter.Text() == converter && FactsState == Question::BeingAsked) {
        FactsState = Question::NotAsked;
    }
}

// Nothing runs constructors in this library: its state must be constant-initialized.
static_assert((ConverterSettings{}, true));
static_assert((ArchiveTable{}, true));
static_assert((ConverterFacts{}, true));
static_assert((TextCache{}, true));
