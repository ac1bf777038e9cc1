// The stand-in class library's failures on purpose, for the tests: asked by
// ClassLibrary.cpp, armed only where TestControls.cpp is linked (the tests);
// what ships links NoTestControls.cpp, where nothing fails.
#pragma once

namespace classlib {

bool InitialisationRefused();
bool AllocationFails();

// Test controls (TestControls.cpp only); both off at start.
void RefuseInitialisation(bool refuse);
void FailAllocation(bool fail);

}  // namespace classlib
