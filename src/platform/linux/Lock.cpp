#include <pthread.h>

#include "platform/Platform.h"

namespace vintrel {
namespace {

// Constant-initialised, so a call that comes before (or during) the
// module's static initialisation still finds it ready.
pthread_mutex_t callLock = PTHREAD_MUTEX_INITIALIZER;

}  // namespace

// A default mutex locked by a thread that does not hold it cannot fail.
void PlatformLockCall() { pthread_mutex_lock(&callLock); }
void PlatformUnlockCall() { pthread_mutex_unlock(&callLock); }

}  // namespace vintrel
