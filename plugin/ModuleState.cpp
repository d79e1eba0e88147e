#include "ModuleState.h"

#include <windows.h>

namespace {

// Constant-initialized: the library runs no constructors, and these are usable from the
// first notification on.
SRWLOCK SettingsLock = SRWLOCK_INIT;
ConverterSettings Settings;

SRWLOCK ArchiveLock = SRWLOCK_INIT;
ArchiveTable Archives;

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

// Nothing runs constructors in this library: its state must be constant-initialized.
static_assert((ConverterSettings{}, true));
static_assert((ArchiveTable{}, true));
