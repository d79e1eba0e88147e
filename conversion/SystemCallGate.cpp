#include "SystemCallGate.h"

namespace {

// Static initialization: usable from the first call, with nothing to create or destroy.
SRWLOCK GateLock = SRWLOCK_INIT;

} // namespace

GateHold::GateHold() noexcept
{
    ::AcquireSRWLockExclusive(&GateLock);
}

GateHold::~GateHold()
{
    ::ReleaseSRWLockExclusive(&GateLock);
}
