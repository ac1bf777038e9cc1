#include "platform/System.h"

namespace vintrel {
namespace sys {

// File names are bytes here, UTF-8 where they are text: U+DC80 to U+DCFF
// stand for the bytes that are not, as the host program's names and
// Python's surrogateescape have them.
bool WideToNarrow(const char16_t* wide, char* narrow, size_t narrowSize) {
    size_t used = 0;
    auto put = [&](uint32_t byte) {
        if (used + 1 >= narrowSize) return false;  // keep room for the NUL
        narrow[used++] = static_cast<char>(byte);
        return true;
    };
    bool ok = true;
    for (size_t i = 0; ok && wide[i] != 0; ++i) {
        uint32_t c = wide[i];
        if (c >= 0xD800 && c <= 0xDBFF && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00u);
            ++i;
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            ok = put(c & 0xFF);
            continue;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            ok = false;  // any other unpaired surrogate names no file, not some other one
            continue;
        }
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
    }
    narrow[ok ? used : 0] = '\0';
    return ok;
}

}  // namespace sys
}  // namespace vintrel
