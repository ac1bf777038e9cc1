// Stand-in for the application class library that loads extension modules:
// the least of it that a module needs to join and leave the chain of
// extension modules. One process-wide module state; no threads, so no
// per-thread data and no locks.
//
// Protocol, as a loader drives it:
//   early step:   the module moves the state's runtime-class and class-factory
//                 lists into their saved slots and leaves both lists empty;
//   static init:  whatever the module's static objects register lands in the
//                 now empty lists;
//   InitExtensionModule: hands those registrations to the module's record and
//                 puts the saved lists back; nonzero on success;
//   ClassLibraryAlloc + ConstructDynLinkLibrary: a registration object that
//                 links the module into the chain; the class library owns it;
//   TermExtensionModule: unlinks and releases the module's registrations.
//
// For tests: TestControls.h makes initialisations fail and allocations
// return null.
#pragma once

#include <cstddef>
#include <cstdint>

namespace classlib {

using InstanceHandle = void*;

struct RuntimeClass {
    const char* name;
    RuntimeClass* next;
};

struct ClassFactory {
    const char* name;
    ClassFactory* next;
};

struct ExtensionModuleRecord {
    int initialized;
    InstanceHandle module;
    RuntimeClass* firstSharedClass;
    ClassFactory* firstSharedFactory;
};

// One link of the chain of extension modules.
struct DynLinkLibrary {
    InstanceHandle module;
    RuntimeClass* classes;
    ClassFactory* factories;
    int system;
    DynLinkLibrary* next;
};
// The size a module allocates for one registration object.
constexpr size_t kDynLinkLibraryBytes = 64;
static_assert(sizeof(DynLinkLibrary) <= kDynLinkLibraryBytes, "registration object outgrew its block");

struct ModuleState {
    RuntimeClass* classList;
    ClassFactory* factoryList;
    RuntimeClass* savedClassList;
    ClassFactory* savedFactoryList;
    DynLinkLibrary* libraryList;  // the chain, newest first
};

ModuleState* CurrentModuleState();

// Nonzero on success. Initialising a record twice is accepted and changes
// nothing. A refusal still puts the saved lists back, so that the
// application's own registrations are never lost to a module that failed.
int InitExtensionModule(ExtensionModuleRecord& record, InstanceHandle instance);

// A block of `bytes` bytes, or null.
void* ClassLibraryAlloc(size_t bytes);

// Builds the registration object in `block` (kDynLinkLibraryBytes, from
// ClassLibraryAlloc) and links it at the head of the chain. From here on the
// class library owns the block.
DynLinkLibrary* ConstructDynLinkLibrary(void* block, const ExtensionModuleRecord& record, int system);

// Unlinks and releases every registration of the record's module and clears
// the record. With no threads there is no per-thread data for `all` to choose
// between, so it is accepted and has no effect. An uninitialised record is
// left alone.
void TermExtensionModule(ExtensionModuleRecord& record, int all);

}  // namespace classlib
