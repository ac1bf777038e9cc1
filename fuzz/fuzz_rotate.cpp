// libFuzzer: the whole call; the last 4 bytes of an input are the angle.
#include <cstdio>

#include "FuzzEntries.h"

// The library's console lines would drown the fuzzer's own report.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return std::freopen("/dev/null", "w", stdout) != nullptr ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vintrel_fuzz::RotateEntry(data, size);
    return 0;
}
