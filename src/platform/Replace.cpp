#include "platform/Replace.h"

#include <algorithm>
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

// Errors that say "no new file in this folder", where writing in place is
// the fallback; any other failure to create one (no space, no handles) would
// fail the in-place write too, after emptying the target.
bool FolderTakesNoFile(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == ENOENT || error == ENOTDIR ||
           error == ENAMETOOLONG;
}

}  // namespace

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

size_t FolderLength(const char* path) {
    size_t keep = 0;
    for (size_t i = 0; path[i] != '\0'; ++i)
        if (sys::IsFolderSeparator(path[i])) keep = i + 1;
    return keep;
}

int CreateUnderFreshName(PlatformOutput& output, TemporaryOutcome& otherwise) {
    int fd = OpenUnnamed(output);
    output.unnamed = fd >= 0;
    if (fd < 0 && !NoUnnamedFiles(errno)) {
        otherwise = FolderTakesNoFile(errno) ? TemporaryOutcome::InPlace : TemporaryOutcome::Failed;
        return -1;
    }
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
    output.file = Fails(OpOpen) ? nullptr : StreamOn(fd);
    if (output.file != nullptr) return TemporaryOutcome::Created;
    return DiscardTemporary(output, fd, TemporaryOutcome::Failed);
}

TemporaryOutcome DiscardTemporary(PlatformOutput& output, int fd, TemporaryOutcome outcome) {
    CloseDescriptor(fd);
    FileClosed();
    if (!output.unnamed) RemoveFile(output.temporary);
    output.unnamed = false;
    return outcome;
}

}  // namespace replace

using replace::TemporaryOutcome;

bool PlatformBeginOutput(const char* name, PlatformOutput& output) {
    output.file = nullptr;
    output.target[0] = output.temporary[0] = '\0';
    output.unnamed = output.replaces = false;
    output.setIdMode = 0;
    output.written = output.writtenBack = 0;
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
    output.replaces = false;
    output.file = PlatformOpen(name, "wb");
    return output.file != nullptr;
}

namespace {

// Stretches of 1 MiB keep the device busy from the start: on ext4 here,
// 4 MiB stretches left writes waiting on the device more often, and one
// sync at the end took twice as long as both.
constexpr uint64_t kStretch = uint64_t{1} << 20;

bool WritesBack(const PlatformOutput& output) {
    return output.replaces && (output.unnamed || output.temporary[0] != '\0');
}

}  // namespace

size_t PlatformOutputWrite(PlatformOutput& output, const void* from, size_t bytes) {
    const bool writesBack = WritesBack(output);
    size_t done = 0;
    while (done < bytes) {
        size_t step = bytes - done;
        if (writesBack) step = static_cast<size_t>(std::min<uint64_t>(step, kStretch - output.written % kStretch));
        const size_t put = PlatformWrite(static_cast<const uint8_t*>(from) + done, 1, step, output.file);
        done += put;
        output.written += put;
        if (put != step) break;
        if (writesBack && output.written % kStretch == 0 && !replace::StartWriteBack(output)) break;
    }
    return done;
}

bool PlatformCanGatherRows() { return sys::CanGatherRows(); }

bool PlatformOutputWriteRows(PlatformOutput& output, const uint8_t* rows, size_t rowBytes, uint32_t pad,
                             uint32_t count) {
    // The stream's buffer goes first: the rows go around it, to its file.
    if (!PlatformFlush(output.file)) return false;
    const bool writesBack = WritesBack(output);
    const size_t fileRow = rowBytes + pad;
    // Batches of about a stretch, so that write-back starts as often.
    uint32_t perBatch = static_cast<uint32_t>(fileRow < kStretch ? kStretch / fileRow : 1);
    if (perBatch > sys::kGatherRows) perBatch = sys::kGatherRows;
    for (uint32_t y = 0; y < count; y += perBatch) {
        const uint32_t n = count - y < perBatch ? count - y : perBatch;
        if (!sys::WriteRowsGathered(output.file, rows + y * rowBytes, rowBytes, pad, n)) return false;
        const uint64_t before = output.written;
        output.written += static_cast<uint64_t>(n) * fileRow;
        if (writesBack && output.written / kStretch != before / kStretch && !replace::StartWriteBack(output))
            return false;
    }
    return true;
}

bool PlatformEndOutput(PlatformOutput& output, bool complete) {
    if (output.file == nullptr) return false;
    PlatformFile* file = output.file;
    output.file = nullptr;
    if (output.temporary[0] == '\0' && !output.unnamed) return PlatformClose(file) && complete;
    // A new output is not synced: losing it in a power cut loses nothing
    // the input cannot give again. A replacement may be the only copy.
    bool ok = complete && replace::KeepSetIdBits(output, file) && (!output.replaces || replace::SyncFile(file));
    if (output.unnamed) ok = ok && replace::LinkTemporary(output, file);
    ok = PlatformClose(file) && ok;
    ok = ok && replace::RenameOver(output);
    if (!ok && output.temporary[0] != '\0') replace::RemoveFile(output.temporary);
    if (ok && output.replaces) replace::SyncFolder(output.target);
    output.temporary[0] = '\0';
    output.unnamed = false;
    return ok;
}

}  // namespace vintrel
