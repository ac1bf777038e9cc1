#include "module/classlib/ClassLibrary.h"

#include <cstdlib>
#include <new>

#include "module/classlib/TestControls.h"

namespace classlib {
namespace {

ModuleState state = {nullptr, nullptr, nullptr, nullptr, nullptr};

}  // namespace

ModuleState* CurrentModuleState() { return &state; }

int InitExtensionModule(ExtensionModuleRecord& record, InstanceHandle instance) {
    if (record.initialized) return 1;
    RuntimeClass* const ownClasses = state.classList;
    ClassFactory* const ownFactories = state.factoryList;
    state.classList = state.savedClassList;
    state.factoryList = state.savedFactoryList;
    state.savedClassList = nullptr;
    state.savedFactoryList = nullptr;
    if (InitialisationRefused()) return 0;
    record = ExtensionModuleRecord{1, instance, ownClasses, ownFactories};
    return 1;
}

void* ClassLibraryAlloc(size_t bytes) { return AllocationFails() ? nullptr : std::malloc(bytes); }

DynLinkLibrary* ConstructDynLinkLibrary(void* block, const ExtensionModuleRecord& record, int system) {
    auto* library = new (block) DynLinkLibrary{record.module, record.firstSharedClass,
                                               record.firstSharedFactory, system, state.libraryList};
    state.libraryList = library;
    return library;
}

void TermExtensionModule(ExtensionModuleRecord& record, int /*all*/) {
    if (!record.initialized) return;
    for (DynLinkLibrary** link = &state.libraryList; *link != nullptr;) {
        DynLinkLibrary* const library = *link;
        if (library->module == record.module) {
            *link = library->next;
            std::free(library);
        } else {
            link = &library->next;
        }
    }
    record = ExtensionModuleRecord{0, nullptr, nullptr, nullptr};
}

}  // namespace classlib
