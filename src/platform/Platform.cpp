#include "platform/Platform.h"

#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace vintrel {

void* PlatformAlloc(size_t bytes) { return std::malloc(bytes); }
void* PlatformAllocZeroed(size_t bytes) { return std::calloc(1, bytes); }
void PlatformFree(void* block) { std::free(block); }

PlatformFile* PlatformOpen(const char* name, const char* mode) {
    if (name == nullptr || name[0] == '\0') return nullptr;
    return std::fopen(name, mode);
}

size_t PlatformRead(void* into, size_t size, size_t count, PlatformFile* file) {
    return std::fread(into, size, count, file);
}

size_t PlatformWrite(const void* from, size_t size, size_t count, PlatformFile* file) {
    return std::fwrite(from, size, count, file);
}

bool PlatformSeek(PlatformFile* file, int64_t offset, PlatformSeekOrigin origin) {
    const int whence = origin == SeekFromStart ? SEEK_SET : SEEK_CUR;
#if defined(_WIN32)
    // long is 32 bits here; offsets up to 2^32 - 1 must still seek.
    return _fseeki64(file, offset, whence) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), whence) == 0;
#endif
}

bool PlatformFlush(PlatformFile* file) { return std::fflush(file) == 0; }
bool PlatformClose(PlatformFile* file) { return std::fclose(file) == 0; }

void PlatformPrintLine(const char* text) {
    std::fputs(text, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

#if defined(_WIN32)

bool PlatformWideToNarrow(const char16_t* wide, char* narrow, size_t narrowSize) {
    narrow[0] = '\0';
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");
    const wchar_t* source = reinterpret_cast<const wchar_t*>(wide);
    // Code page 0 is the system's ANSI code page; characters without a narrow
    // form become its default character. Not the "best fit": that would turn
    // "\u0142odz.bmp" into "lodz.bmp", some other file, perhaps one to be
    // overwritten. A UTF-8 ANSI code page has a form for everything and takes
    // no flags.
    const DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int needed = WideCharToMultiByte(CP_ACP, flags, source, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0 || static_cast<size_t>(needed) > narrowSize) return false;
    if (WideCharToMultiByte(CP_ACP, flags, source, -1, narrow, needed, nullptr, nullptr) != needed) {
        narrow[0] = '\0';
        return false;
    }
    return true;
}

#else

bool PlatformWideToNarrow(const char16_t* wide, char* narrow, size_t narrowSize) {
    narrow[0] = '\0';
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

#endif

}  // namespace vintrel
