#include "platform/FaultHook.h"
#include "platform/Replace.h"
#include "platform/System.h"

namespace vintrel {

// The pixels move in large calls of their own (blocks of padded rows); the
// buffer serves the header. Where the system honours the size asked for
// (glibc does not without a caller's buffer), small writes gather in it.
PlatformFile* replace::Buffered(PlatformFile* file) {
    if (file != nullptr) std::setvbuf(file, nullptr, _IOFBF, size_t{256} << 10);
    return file;
}

PlatformFile* PlatformOpen(const char* name, const char* mode) {
    if (name == nullptr || name[0] == '\0') return nullptr;
    return Fails(OpOpen) ? nullptr : CountFile(replace::Buffered(std::fopen(name, mode)));
}

size_t PlatformRead(void* into, size_t size, size_t count, PlatformFile* file) {
    return Fails(OpRead) ? 0 : std::fread(into, size, count, file);
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
