#include "platform/System.h"

namespace vintrel {
namespace sys {

// File names are UTF-8 here.
bool WideToNarrow(const char16_t* wide, char* narrow, size_t narrowSize) {
    size_t used = 0;
    auto put = [&](uint32_t byte) {
        if (used + 1 >= narrowSize) return false;  // keep room for the NUL
        narrow[used++] = static_cast<char>(byte);
        return true;
    };
    for (size_t i = 0; wide[i] != 0; ++i) {
        uint32_t c = wide[i];
        if (c >= 0xD800 && c <= 0xDBFF && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00u);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = '?';  // an unpaired surrogate has no UTF-8 form
        }
        bool ok;
        if (c < 0x80) {
            ok = put(c);
        } else if (c < 0x800) {
            ok = put(0xC0 | (c >> 6)) && put(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            ok = put(0xE0 | (c >> 12)) && put(0x80 | ((c >> 6) & 0x3F)) && put(0x80 | (c & 0x3F));
        } else {
            ok = put(0xF0 | (c >> 18)) && put(0x80 | ((c >> 12) & 0x3F)) &&
                 put(0x80 | ((c >> 6) & 0x3F)) && put(0x80 | (c & 0x3F));
        }
        if (!ok) {
            narrow[0] = '\0';
            return false;
        }
    }
    narrow[used] = '\0';
    return true;
}

}  // namespace sys
}  // namespace vintrel
