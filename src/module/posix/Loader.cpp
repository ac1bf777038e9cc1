// The platform loader's side of ModuleEntry.h, linked into the shared library
// only: tests drive the steps themselves.
#include "module/ModuleEntry.h"

#include <dlfcn.h>

namespace {

// The instance handle of a shared object is its load address, as on Windows.
classlib::InstanceHandle Self() {
    Dl_info info{};
    return dladdr(reinterpret_cast<void*>(&Self), &info) != 0 ? info.dli_fbase : nullptr;
}

// Early step: before, and after, every constructor and destructor of default
// priority.
__attribute__((constructor(101))) void EarlyAttach() {
    vintrel::ModuleEarlyStep(Self(), vintrel::ProcessAttach, nullptr);
}
__attribute__((destructor(101))) void EarlyDetach() {
    vintrel::ModuleEarlyStep(Self(), vintrel::ProcessDetach, nullptr);
}

// Main step: this file is linked last, so its constructor runs after the
// others of default priority and its destructor before them. The dynamic
// loader cannot be told to refuse a load; a refused attach is undone at once
// with a detach, as Windows does, and the export still works.
bool attached = false;

__attribute__((constructor)) void MainAttach() {
    attached = vintrel::ModuleEntry(Self(), vintrel::ProcessAttach, nullptr) != 0;
    if (!attached) vintrel::ModuleEntry(Self(), vintrel::ProcessDetach, nullptr);
}
__attribute__((destructor)) void MainDetach() {
    if (attached) vintrel::ModuleEntry(Self(), vintrel::ProcessDetach, nullptr);
}

}  // namespace
