#include "platform/FaultHook.h"
#include "platform/System.h"

namespace vintrel {

bool PlatformWideToNarrow(const char16_t* wide, char* narrow, size_t narrowSize) {
    narrow[0] = '\0';
    if (Fails(OpConvert)) return false;
    return sys::WideToNarrow(wide, narrow, narrowSize);
}

}  // namespace vintrel
