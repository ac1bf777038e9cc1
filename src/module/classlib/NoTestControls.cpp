// What ships: the class library never fails on purpose, and no control to
// make it is there.
#include "module/classlib/TestControls.h"

namespace classlib {

bool InitialisationRefused() { return false; }
bool AllocationFails() { return false; }

}  // namespace classlib
