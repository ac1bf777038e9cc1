#include <cstdio>

#include "platform/FaultHook.h"
#include "platform/System.h"

namespace vintrel {

PlatformFile* PlatformOpen(const char* name, const char* mode) {
    if (name == nullptr || name[0] == '\0') return nullptr;
    return Fails(OpOpen) ? nullptr : CountFile(std::fopen(name, mode));
}

size_t PlatformRead(void* into, size_t size, size_t count, PlatformFile* file, bool& failed) {
    if (Fails(OpRead)) {
        failed = true;
        return 0;
    }
    const size_t got = std::fread(into, size, count, file);
    if (got != count && std::ferror(file)) failed = true;
    return got;
}

size_t PlatformWrite(const void* from, size_t size, size_t count, PlatformFile* file) {
    return Fails(OpWrite) ? 0 : std::fwrite(from, size, count, file);
}

bool PlatformSeek(PlatformFile* file, int64_t offset, PlatformSeekOrigin origin) {
    if (Fails(OpSeek)) return false;
    return sys::SeekStream(file, offset, origin == SeekFromStart ? SEEK_SET : SEEK_CUR);
}

bool PlatformFlush(PlatformFile* file) { return !Fails(OpFlush) && std::fflush(file) == 0; }

bool PlatformClose(PlatformFile* file) {
    const bool failed = Fails(OpClose);
    // The handle is gone whatever fclose says.
    const bool closed = std::fclose(file) == 0;
    FileClosed();
    return closed && !failed;
}

void PlatformPrintLine(const char* text) {
    std::fputs(text, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace vintrel
