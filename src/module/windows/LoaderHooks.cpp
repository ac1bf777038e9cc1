// The platform loader's side of ModuleEntry.h, linked into the shared library
// only: tests drive the steps themselves.
#include "module/ModuleEntry.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// The C runtime's own entry: static initialisation and DllMain on attach,
// DllMain and termination on detach.
extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE instance, DWORD reason, LPVOID reserved);

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    return vintrel::ModuleEntry(instance, reason, reserved);
}

// The DLL's entry point (linked with --entry): the early step wraps the
// runtime, as the class library's raw entry does.
extern "C" BOOL WINAPI VintrelDllEntry(HANDLE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) vintrel::ModuleEarlyStep(instance, reason, reserved);
    const BOOL accepted = DllMainCRTStartup(instance, reason, reserved);
    if (reason == DLL_PROCESS_DETACH) vintrel::ModuleEarlyStep(instance, reason, reserved);
    return accepted;
}
