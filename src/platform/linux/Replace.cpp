// Linux: the output found as the kernel follows links (Place.cpp), then
// replaced by a temporary in its own folder, or written over in place where
// no temporary can stand in for it; every step on descriptors.
#include "platform/Replace.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/FaultHook.h"
#include "platform/linux/Attributes.h"
#include "platform/linux/Place.h"

namespace vintrel {
namespace replace {
namespace {

int Opened(int fd) {
    if (fd >= 0) FileOpened();
    return fd;
}

// `op`: OpCreate for the temporary, which the fault sweep tells apart.
int OpenAt(int folder, const char* name, int flags, mode_t mode = 0, PlatformOp op = OpOpen) {
    return Fails(op) ? -1 : Opened(openat(folder, name, flags | O_CLOEXEC, mode));
}

void Close(int fd) {
    close(fd);
    FileClosed();
}

// Keeps errno across the cleanup of a failure.
bool Failed(int fd) {
    const int error = errno;
    if (fd >= 0) Close(fd);
    errno = error;
    return false;
}

// The stream over `fd`, which it then owns.
bool StreamOn(PlatformOutput& output, int fd) {
    output.file = Fails(OpOpen) ? nullptr : fdopen(fd, "wb");
    return output.file != nullptr;
}

// An unnamed file in the target's folder, or else one created exclusively
// under a fresh name there: its descriptor, or -1 with errno.
int CreateTemporary(PlatformOutput& output, mode_t mode) {
#if defined(O_TMPFILE)
    const int fd = OpenAt(output.folder, ".", O_TMPFILE | O_WRONLY, mode, OpCreate);
    output.unnamed = fd >= 0;
    // Only a file system without unnamed files is worth a named one.
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
#endif
    for (int attempt = 0; attempt < 16; ++attempt) {
        char fresh[kFreshNameBytes];
        if (!FreshName(fresh)) return -1;
        const int named = OpenAt(output.folder, fresh, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, mode, OpCreate);
        if (named >= 0) std::memcpy(output.temporary, fresh, sizeof fresh);
        if (named >= 0 || errno != EEXIST) return named;
    }
    return -1;
}

void RemoveTemporary(PlatformOutput& output) {
    if (output.temporary[0] != '\0' && !Fails(OpRemove)) unlinkat(output.folder, output.temporary, 0);
    output.temporary[0] = '\0';
    output.unnamed = false;
}

// The stream over the temporary `fd`, or false with it gone.
bool StreamOnTemporary(PlatformOutput& output, int fd) {
    if (StreamOn(output, fd)) return true;
    Close(fd);
    RemoveTemporary(output);
    return false;
}

// Owner first: changing it clears the set-ID bits, which the mode then puts
// back; the access list before the mode, which is then its own again.
bool TakeOn(int temporary, int old, const struct stat& was) {
    if (Fails(OpChmod) || fchown(temporary, was.st_uid, was.st_gid) != 0) return false;
    if (!CarryAttributes(old, temporary)) return false;
    return !Fails(OpChmod) && fchmod(temporary, was.st_mode & 07777) == 0;
}

// The old file written over: room for all of the new one is reserved before
// its first byte changes, so that a full disk fails with it whole.
bool Overwrite(PlatformOutput& output, const struct stat& was, uint64_t bytes) {
    const int fd = OpenAt(output.folder, output.target, O_WRONLY | O_NOFOLLOW | O_NOCTTY);
    struct stat now;
    if (fd < 0 || Fails(OpStat) || fstat(fd, &now) != 0) return Failed(fd);
    if (!SameFile(now, was)) {
        errno = EAGAIN;
        return Failed(fd);
    }
    output.overwrites = true;
    output.kept = static_cast<uint64_t>(now.st_size);
    if (!Fails(OpReserve) && fallocate(fd, 0, 0, static_cast<off_t>(bytes)) == 0 && StreamOn(output, fd)) return true;
    // A failed reservation may have grown the file; its bytes are as they were.
    const int error = errno;
    [[maybe_unused]] const int cut = ftruncate(fd, now.st_size);
    errno = error;
    return Failed(fd);
}

// A temporary that looks like the old file: owner, attributes and mode read
// from the file itself. Its descriptor, or -1 with nothing left over.
int TakeTemporary(PlatformOutput& output, const struct stat& found) {
    const int old = OpenAt(output.folder, output.target, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    struct stat was;
    if (old < 0 || Fails(OpStat) || fstat(old, &was) != 0 || !SameFile(was, found)) {
        Failed(old);
        return -1;
    }
    // Private until it looks like the old file.
    int temporary = CreateTemporary(output, 0600);
    if (temporary >= 0 && !TakeOn(temporary, old, was)) {
        Close(temporary);
        RemoveTemporary(output);
        temporary = -1;
    }
    Close(old);
    return temporary;
}

bool BeginReplacement(PlatformOutput& output, const struct stat& found, uint64_t bytes) {
    // A file the caller may not write is not replaced behind its back.
    if (Fails(OpAccess) || faccessat(output.folder, output.target, W_OK, AT_EACCESS) != 0) return false;
    output.replaces = true;
    if ((found.st_mode & (S_ISUID | S_ISGID)) != 0) output.setIdMode = found.st_mode & 07777;
    const int temporary = TakeTemporary(output, found);
    return temporary < 0 ? Overwrite(output, found, bytes) : StreamOnTemporary(output, temporary);
}

bool BeginNew(PlatformOutput& output) {
    const int fd = CreateTemporary(output, 0666);  // under the umask, as any new file
    return fd >= 0 && StreamOnTemporary(output, fd);
}

// A device or pipe: opened as the kernel finds it, never created or cut.
bool BeginAsItIs(const char* name, const struct stat& found, PlatformOutput& output) {
    const int fd = Fails(OpOpen) ? -1 : Opened(open(name, O_WRONLY | O_NOCTTY | O_CLOEXEC));
    struct stat now;
    if (fd < 0 || Fails(OpStat) || fstat(fd, &now) != 0) return Failed(fd);
    if (!SameFile(now, found) || S_ISREG(now.st_mode)) errno = EAGAIN;
    else if (StreamOn(output, fd)) return true;
    return Failed(fd);
}

bool SyncFile(PlatformFile* file) { return !Fails(OpSync) && std::fflush(file) == 0 && fsync(fileno(file)) == 0; }

// Writes by a caller without the privilege to keep them clear the set-ID
// bits: put back once everything is written.
bool KeepSetIdBits(const PlatformOutput& output, PlatformFile* file) {
    if (output.setIdMode == 0) return true;
    return !Fails(OpChmod) && std::fflush(file) == 0 && fchmod(fileno(file), output.setIdMode) == 0;
}

// Names the complete unnamed file freshly beside the target, for the rename.
bool LinkTemporary(PlatformOutput& output, PlatformFile* file) {
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fileno(file));
    for (int attempt = 0; attempt < 16; ++attempt) {
        char fresh[kFreshNameBytes];
        if (!FreshName(fresh) || Fails(OpLink)) return false;
        bool linked = linkat(AT_FDCWD, self, output.folder, fresh, AT_SYMLINK_FOLLOW) == 0;
        // Without /proc, the direct way (which may need privileges).
        if (!linked && errno == ENOENT) linked = linkat(fileno(file), "", output.folder, fresh, AT_EMPTY_PATH) == 0;
        if (linked) std::memcpy(output.temporary, fresh, sizeof fresh);
        if (linked || errno != EEXIST) return linked;
    }
    return false;
}

// Makes the rename durable. The picture is in place by then, so a failure
// here is no failed write and is not reported.
void SyncFolder(const PlatformOutput& output) {
    const int fd = OpenAt(output.folder, ".", O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    if (!Fails(OpSync)) fsync(fd);
    Fails(OpClose);
    Close(fd);
}

bool Commit(PlatformOutput& output, PlatformFile* file, bool complete) {
    // A new output is not synced: losing it in a power cut loses nothing
    // the input cannot give again. A replacement may be the only copy.
    bool ok = complete && KeepSetIdBits(output, file) && (!output.replaces || SyncFile(file));
    if (output.unnamed) ok = ok && LinkTemporary(output, file);
    ok = PlatformClose(file) && ok;
    ok = ok && !Fails(OpRename) && renameat(output.folder, output.temporary, output.folder, output.target) == 0;
    if (!ok) RemoveTemporary(output);
    if (ok && output.replaces) SyncFolder(output);
    return ok;
}

bool EndOverwrite(PlatformOutput& output, PlatformFile* file, bool complete) {
    const int fd = fileno(file);
    bool ok = complete && KeepSetIdBits(output, file) && std::fflush(file) == 0 && !Fails(OpTruncate) &&
              ftruncate(fd, static_cast<off_t>(output.written)) == 0 && SyncFile(file);
    if (!complete) {
        // Whatever is still buffered never reaches the old file; if nothing
        // did, it is whole again at its own length.
        __fpurge(file);
        if (lseek(fd, 0, SEEK_CUR) == 0) {
            [[maybe_unused]] const int cut = ftruncate(fd, static_cast<off_t>(output.kept));
        }
    }
    return PlatformClose(file) && ok;
}

bool BeginOnce(const char* name, uint64_t bytes, PlatformOutput& output) {
    Place place;
    if (!FindPlace(name, place)) return false;
    if (place.kind == Kind::Other) return BeginAsItIs(name, place.file, output);
    output.folder = place.folder;
    std::memcpy(output.target, place.own, sizeof place.own);
    const bool begun =
        place.kind == Kind::Missing ? BeginNew(output) : BeginReplacement(output, place.file, bytes);
    if (begun) return true;
    const int error = errno;
    Close(output.folder);
    output.folder = -1;
    errno = error;
    return false;
}

}  // namespace

// A file that changes while it is looked at (EAGAIN) is another writer's
// replacement landing, most likely: looked at again, a few times.
bool Begin(const char* name, uint64_t bytes, PlatformOutput& output) {
    for (int attempt = 1;; ++attempt) {
        if (BeginOnce(name, bytes, output)) return true;
        if (errno != EAGAIN || attempt == 8) return false;
        output.replaces = output.overwrites = output.unnamed = false;
        output.setIdMode = 0;
    }
}

bool End(PlatformOutput& output, bool complete) {
    PlatformFile* file = output.file;
    output.file = nullptr;
    bool ok;
    if (output.overwrites)
        ok = EndOverwrite(output, file, complete);
    else if (output.folder < 0)
        ok = PlatformClose(file) && complete;
    else
        ok = Commit(output, file, complete);
    if (output.folder >= 0) Close(output.folder);
    output.folder = -1;
    output.target[0] = output.temporary[0] = '\0';
    return ok;
}

bool SecureRandom(uint8_t (&bytes)[8]) { return getrandom(bytes, sizeof bytes, 0) == static_cast<ssize_t>(sizeof bytes); }

bool StartWriteBack(PlatformOutput& output) {
    if (!PlatformFlush(output.file)) return false;
    // A hint only: some file systems refuse it (EINVAL, ENOSYS, ESPIPE), and
    // the sync at the end is what makes the replacement durable.
    if (!Fails(OpWriteBack))
        sync_file_range(fileno(output.file), static_cast<off_t>(output.writtenBack),
                        static_cast<off_t>(output.written - output.writtenBack), SYNC_FILE_RANGE_WRITE);
    output.writtenBack = output.written;
    return true;
}

}  // namespace replace
}  // namespace vintrel
