#include "platform/Platform.h"
#include "platform/windows/Windows.h"

namespace vintrel {
namespace {

// Constant-initialised, so a call that comes before (or during) the
// module's static initialisation still finds it ready.
SRWLOCK callLock = SRWLOCK_INIT;

}  // namespace

void PlatformLockCall() { AcquireSRWLockExclusive(&callLock); }
void PlatformUnlockCall() { ReleaseSRWLockExclusive(&callLock); }

}  // namespace vintrel
