#include "platform/FaultHook.h"

#include <cerrno>

namespace vintrel {
namespace {

// Constant-initialised at load, no constructor: the hook costs nothing until
// a test arms it.
struct Hook {
    uint64_t operations;
    uint64_t failAt;
    int error;
    PlatformOp* trace;
    size_t traceCapacity;
    int64_t blocks;
    int64_t files;
    PlatformOp refused;
    int refusedError;
};
Hook hook = {0, 0, 0, nullptr, 0, 0, 0, OpKinds, 0};

}  // namespace

bool Fails(PlatformOp op) {
    const uint64_t n = ++hook.operations;
    if (hook.trace != nullptr && n <= hook.traceCapacity) hook.trace[n - 1] = op;
    if (op == hook.refused) {
        errno = hook.refusedError;
        return true;
    }
    if (n != hook.failAt) return false;
    errno = hook.error;
    return true;
}

void* CountBlock(void* block) {
    if (block != nullptr) ++hook.blocks;
    return block;
}

void ForgetBlock(void* block) {
    if (block != nullptr) --hook.blocks;
}

PlatformFile* CountFile(PlatformFile* file) {
    if (file != nullptr) ++hook.files;
    return file;
}

void FileOpened() { ++hook.files; }
void FileClosed() { --hook.files; }

void PlatformFailAt(uint64_t nth, int error, PlatformOp* trace, size_t traceCapacity) {
    hook.operations = 0;
    hook.failAt = nth;
    hook.error = error;
    hook.trace = trace;
    hook.traceCapacity = traceCapacity;
}

void PlatformRefuse(PlatformOp kind, int error) {
    hook.refused = kind;
    hook.refusedError = error;
}

PlatformTally PlatformCount() { return PlatformTally{hook.operations, hook.blocks, hook.files}; }

const char* PlatformOpName(PlatformOp op) {
    static const char* const names[OpKinds] = {"alloc",  "open",   "read", "write",    "seek",
                                               "flush",  "sync",   "close", "rename",  "remove",
                                               "stat",   "readlink", "random", "chmod", "convert",
                                               "link",   "writeback", "attribute", "reserve", "truncate",
                                               "access", "create"};
    return op >= 0 && op < OpKinds ? names[op] : "?";
}

}  // namespace vintrel
