#include <cstdlib>

#include "platform/FaultHook.h"
#include "platform/System.h"

namespace vintrel {

void* PlatformAlloc(size_t bytes) { return Fails(OpAlloc) ? nullptr : CountBlock(std::malloc(bytes)); }

void* PlatformAllocZeroed(size_t bytes) {
    return Fails(OpAlloc) ? nullptr : CountBlock(sys::AdviseLargePages(std::calloc(1, bytes), bytes));
}

void PlatformFree(void* block) {
    ForgetBlock(block);
    std::free(block);
}

}  // namespace vintrel
