// The platform loader's side of ModuleEntry.h, linked into the shared library
// only: tests drive the steps themselves.
//
// The steps' order comes from priorities and exit functions, never from the
// order in which files are linked:
//   attach: the early step is a constructor of priority 101, before every
//     other constructor of the module; then the module's static
//     initialisation, which runs at priorities 102 to 65533 (a static object
//     that needs a constructor takes one with init_priority: the build's
//     check of what ships refuses a constructor of default priority, whose
//     place among the others the link would decide); then the main step at
//     65534.
//   detach: the main step is an exit function that the attach registers
//     after every static object's destructor, so it runs before them (last
//     registered, first run), at exit() and at dlclose() alike; the early
//     step is a destructor of priority 101, after the runtime's termination.
#include "module/ModuleEntry.h"

#include <dlfcn.h>

namespace {

// The instance handle of a shared object is its load address, as on Windows.
classlib::InstanceHandle Self() {
    Dl_info info{};
    return dladdr(reinterpret_cast<void*>(&Self), &info) != 0 ? info.dli_fbase : nullptr;
}

__attribute__((constructor(101))) void EarlyAttach() {
    vintrel::ModuleEarlyStep(Self(), vintrel::ProcessAttach, nullptr);
}
__attribute__((destructor(101))) void EarlyDetach() {
    vintrel::ModuleEarlyStep(Self(), vintrel::ProcessDetach, nullptr);
}

// An exit function registered with this shared object's handle runs when it
// is unloaded, or at exit if it never is. Registered by the handle outright:
// a sanitizer's atexit() passes none, and would run it after the unload.
extern "C" __attribute__((visibility("hidden"))) void* __dso_handle;
extern "C" int __cxa_atexit(void (*function)(void*), void* argument, void* dso);

void MainDetach(void*) { vintrel::ModuleEntry(Self(), vintrel::ProcessDetach, nullptr); }

// The dynamic loader cannot be told to refuse a load; a refused attach is
// undone at once with a detach, as Windows does, and the export still works.
// So is one whose detach could not be registered: it could never leave the
// chain.
__attribute__((constructor(65534))) void MainAttach() {
    if (vintrel::ModuleEntry(Self(), vintrel::ProcessAttach, nullptr) == 0 ||
        __cxa_atexit(MainDetach, nullptr, &__dso_handle) != 0)
        MainDetach(nullptr);
}

}  // namespace
