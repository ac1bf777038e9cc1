// libFuzzer: any bytes as a file for the reader.
#include <cstdio>

#include "FuzzEntries.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vintrel_fuzz::ReadEntry(data, size);
    return 0;
}
