#include "ModuleState.h"

#include <windows.h>

namespace {

// Constant-initialized: the library runs no constructors, and these are usable from the
// first notification on.
SRWLOCK SettingsLock = SRWLOCK_INIT;
ConverterSettings Settings;

SRWLOCK ArchiveLock = SRWLOCK_INIT;
ArchiveTable Archives;

// 0 until asked, 1 while being asked, then 2 + the family.
constexpr LONG FamilyNotAsked = 0;
constexpr LONG FamilyBeingAsked = 1;
constexpr LONG FamilyKnown = 2;
LONG volatile Family = FamilyNotAsked;

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

void CopyConverterSettings(ConverterSettings& copy) noexcept
{
    ExclusiveHold hold(SettingsLock);
    copy = Settings;
}

void ReplaceConverterSettings(const ConverterSettings& settings) noexcept
{
    ExclusiveHold hold(SettingsLock);
    // Another converter may be of another family: it is asked anew at its first extraction.
    if (Settings.ConverterPath.Text() != settings.ConverterPath.Text()) {
        ::InterlockedExchange(&Family, FamilyNotAsked);
    }
    Settings = settings;
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

bool TakeConverterFamilyQuestion(ConverterFamily& family) noexcept
{
    const LONG state = ::InterlockedCompareExchange(&Family, FamilyBeingAsked, FamilyNotAsked);
    family = state >= FamilyKnown ? static_cast<ConverterFamily>(state - FamilyKnown) : ConverterFamily::Unknown;
    return state == FamilyNotAsked;
}

void KeepConverterFamily(ConverterFamily family) noexcept
{
    ::InterlockedExchange(&Family, FamilyKnown + static_cast<LONG>(family));
}

void ReturnConverterFamilyQuestion() noexcept
{
    ::InterlockedExchange(&Family, FamilyNotAsked);
}

// Nothing runs constructors in this library: its state must be constant-initialized.
static_assert((ConverterSettings{}, true));
static_assert((ArchiveTable{}, true));
