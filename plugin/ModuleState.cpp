#include "ModuleState.h"

#include <windows.h>

namespace {

SRWLOCK ArchiveLock = SRWLOCK_INIT;
ArchiveState Archive;

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
