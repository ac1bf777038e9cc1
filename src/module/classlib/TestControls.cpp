#include "module/classlib/TestControls.h"

namespace classlib {
namespace {

bool refuseInit = false;
bool failAlloc = false;

}  // namespace

bool InitialisationRefused() { return refuseInit; }
bool AllocationFails() { return failAlloc; }
void RefuseInitialisation(bool refuse) { refuseInit = refuse; }
void FailAllocation(bool fail) { failAlloc = fail; }

}  // namespace classlib
