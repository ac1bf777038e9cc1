// Load and unload as an extension module of the application class library.
//
// The loader calls, for process attach (reason 1):
//   ModuleEarlyStep, then the runtime's static initialisation, then ModuleEntry;
// and for process detach (reason 0), the other way round:
//   ModuleEntry, then the runtime's termination (exit functions, last
//   registered first), then ModuleEarlyStep.
// Thread attach and detach (2, 3) need nothing. Both steps return 1 to accept
// the load and 0 to refuse it; only ModuleEntry ever refuses, when the class
// library will not initialise the module. Rotation needs none of this: the
// export works whether or not the module is registered.
#pragma once

#include <cstdint>

#include "module/classlib/ClassLibrary.h"

namespace vintrel {

enum ModuleReason : uint32_t {
    ProcessDetach = 0,
    ProcessAttach = 1,
    ThreadAttach = 2,
    ThreadDetach = 3,
};

// This module's record in the class library: all zero until it is loaded.
extern classlib::ExtensionModuleRecord ExtensionModule;

// Before static initialisation: the class lists go to their saved slots, so
// that what static objects register is this module's alone.
int ModuleEarlyStep(classlib::InstanceHandle instance, uint32_t reason, void* reserved);

// Attach: initialise the record and join the chain (a registration object
// that cannot be allocated is passed over). Detach: leave it.
int ModuleEntry(classlib::InstanceHandle instance, uint32_t reason, void* reserved);

}  // namespace vintrel
