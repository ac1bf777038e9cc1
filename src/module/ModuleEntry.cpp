#include "module/ModuleEntry.h"

namespace vintrel {

classlib::ExtensionModuleRecord ExtensionModule = {0, nullptr, nullptr, nullptr};

int ModuleEarlyStep(classlib::InstanceHandle, uint32_t reason, void*) {
    if (reason == ProcessAttach) {
        classlib::ModuleState* const state = classlib::CurrentModuleState();
        state->savedClassList = state->classList;
        state->savedFactoryList = state->factoryList;
        state->classList = nullptr;
        state->factoryList = nullptr;
    }
    return 1;
}

int ModuleEntry(classlib::InstanceHandle instance, uint32_t reason, void*) {
    if (reason == ProcessAttach) {
        if (!classlib::InitExtensionModule(ExtensionModule, instance)) return 0;
        if (void* block = classlib::ClassLibraryAlloc(classlib::kDynLinkLibraryBytes))
            classlib::ConstructDynLinkLibrary(block, ExtensionModule, 0);
    } else if (reason == ProcessDetach) {
        classlib::TermExtensionModule(ExtensionModule, 0);
    }
    return 1;
}

}  // namespace vintrel
