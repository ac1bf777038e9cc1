#include "platform/Replace.h"

#include <cerrno>
#include <cstring>

#include "platform/FaultHook.h"
#include "platform/System.h"

namespace vintrel {
namespace replace {
namespace {

bool CopyPath(char (&to)[kPlatformPathBytes], const char* from) {
    const size_t n = std::strlen(from);
    if (n >= kPlatformPathBytes) return false;
    std::memcpy(to, from, n + 1);
    return true;
}

// ".vintrel-<16 hex digits>.tmp" beside the target: short enough for any
// folder that holds the target, and 64 bits nobody can guess.
bool TemporaryName(PlatformOutput& output) {
    uint8_t bytes[8];
    if (Fails(OpRandom) || !SecureRandom(bytes)) return false;
    static const char prefix[] = ".vintrel-";
    static const char suffix[] = ".tmp";
    const size_t keep = FolderLength(output.target);
    if (keep + (sizeof prefix - 1) + 16 + sizeof suffix > kPlatformPathBytes) return false;
    char* p = output.temporary;
    std::memcpy(p, output.target, keep);
    p += keep;
    std::memcpy(p, prefix, sizeof prefix - 1);
    p += sizeof prefix - 1;
    for (uint8_t b : bytes) {
        *p++ = "0123456789abcdef"[b >> 4];
        *p++ = "0123456789abcdef"[b & 15];
    }
    std::memcpy(p, suffix, sizeof suffix);
    return true;
}

// Errors that say "no new file in this folder", where writing in place is
// the fallback; any other failure to create one (no space, no handles) would
// fail the in-place write too, after emptying the target.
bool FolderTakesNoFile(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == ENOENT || error == ENOTDIR ||
           error == ENAMETOOLONG;
}

}  // namespace

size_t FolderLength(const char* path) {
    size_t keep = 0;
    for (size_t i = 0; path[i] != '\0'; ++i)
        if (sys::IsFolderSeparator(path[i])) keep = i + 1;
    return keep;
}

int CreateUnderFreshName(PlatformOutput& output, TemporaryOutcome& otherwise) {
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        otherwise = TemporaryOutcome::InPlace;
        if (attempt == 16 || !TemporaryName(output)) return -1;
        fd = Fails(OpOpen) ? -1 : OpenExclusive(output.temporary);
        if (fd < 0 && errno != EEXIST) {
            otherwise = FolderTakesNoFile(errno) ? TemporaryOutcome::InPlace : TemporaryOutcome::Failed;
            return -1;
        }
    }
    FileOpened();
    return fd;
}

TemporaryOutcome StreamOnTemporary(PlatformOutput& output, int fd) {
    output.file = Fails(OpOpen) ? nullptr : Buffered(StreamOn(fd));
    if (output.file != nullptr) return TemporaryOutcome::Created;
    return DiscardTemporary(output, fd, TemporaryOutcome::Failed);
}

TemporaryOutcome DiscardTemporary(PlatformOutput& output, int fd, TemporaryOutcome outcome) {
    CloseDescriptor(fd);
    FileClosed();
    RemoveFile(output.temporary);
    return outcome;
}

}  // namespace replace

using replace::TemporaryOutcome;

bool PlatformBeginOutput(const char* name, PlatformOutput& output) {
    output.file = nullptr;
    output.target[0] = output.temporary[0] = '\0';
    if (name == nullptr || name[0] == '\0') return false;
    if (replace::CopyPath(output.target, name)) {
        const TemporaryOutcome outcome = replace::CreateTemporary(output);
        if (outcome == TemporaryOutcome::Created) return true;
        if (outcome == TemporaryOutcome::Failed) {
            output.temporary[0] = '\0';
            return false;
        }
    }
    output.temporary[0] = '\0';
    output.file = PlatformOpen(name, "wb");
    return output.file != nullptr;
}

bool PlatformEndOutput(PlatformOutput& output, bool complete) {
    if (output.file == nullptr) return false;
    PlatformFile* file = output.file;
    output.file = nullptr;
    if (output.temporary[0] == '\0') return PlatformClose(file) && complete;
    bool ok = complete && replace::SyncFile(file);
    ok = PlatformClose(file) && ok;
    ok = ok && replace::RenameOver(output.temporary, output.target);
    if (!ok) replace::RemoveFile(output.temporary);
    output.temporary[0] = '\0';
    return ok;
}

}  // namespace vintrel
