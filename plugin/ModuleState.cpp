#include "ModuleState.h"

#include <windows.h>

namespace {

SRWLOCK ArchiveLock = SRWLOCK_INIT;
ArchiveState Archive;

SRWLOCK SettingsLock = SRWLOCK_INIT;
ConverterSettings Settings;

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

ArchiveStateHold::ArchiveStateHold() noexcept
{
    ::AcquireSRWLockExclusive(&ArchiveLock);
}

ArchiveStateHold::~ArchiveStateHold()
{
    ::ReleaseSRWLockExclusive(&ArchiveLock);
}

ArchiveState& ArchiveStateHold::State() noexcept
{
    return Archive;
}

ConverterSettings CopyConverterSettings()
{
    ExclusiveHold hold(SettingsLock);
    return Settings;
}

void ReplaceConverterSettings(ConverterSettings& settings) noexcept
{
    ExclusiveHold hold(SettingsLock);
    Settings.PluginDirectory.swap(settings.PluginDirectory);
    Settings.ConverterPath.swap(settings.ConverterPath);
}
