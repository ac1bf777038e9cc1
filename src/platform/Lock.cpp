#include "platform/Platform.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace vintrel {
namespace {

// Constant-initialised, so a call that comes before (or during) the
// module's static initialisation still finds it ready.
#if defined(_WIN32)
SRWLOCK callLock = SRWLOCK_INIT;
#else
pthread_mutex_t callLock = PTHREAD_MUTEX_INITIALIZER;
#endif

}  // namespace

#if defined(_WIN32)
void PlatformLockCall() { AcquireSRWLockExclusive(&callLock); }
void PlatformUnlockCall() { ReleaseSRWLockExclusive(&callLock); }
#else
// A default mutex locked by a thread that does not hold it cannot fail.
void PlatformLockCall() { pthread_mutex_lock(&callLock); }
void PlatformUnlockCall() { pthread_mutex_unlock(&callLock); }
#endif

}  // namespace vintrel
