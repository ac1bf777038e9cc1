// POSIX: symbolic links are followed to the file they name, which is replaced
// with its owner and mode; the rename is atomic within a folder.
#include "platform/Replace.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/FaultHook.h"

namespace vintrel {
namespace replace {
namespace {

enum class Kind { Regular, Missing, Other };

// Follows symbolic links from output.target to the file they finally name,
// leaving that name in output.target.
Kind Resolve(PlatformOutput& output, struct stat& info) {
    for (int hops = 0; hops < 40; ++hops) {
        if (Fails(OpStat) || lstat(output.target, &info) != 0) return errno == ENOENT ? Kind::Missing : Kind::Other;
        if (S_ISREG(info.st_mode)) return Kind::Regular;
        if (!S_ISLNK(info.st_mode)) return Kind::Other;
        char link[kPlatformPathBytes];
        const ssize_t n = Fails(OpReadLink) ? -1 : readlink(output.target, link, sizeof link);
        if (n <= 0 || static_cast<size_t>(n) >= sizeof link) return Kind::Other;
        link[n] = '\0';
        // A relative link is relative to the folder that holds it.
        const size_t keep = link[0] == '/' ? 0 : FolderLength(output.target);
        if (keep + static_cast<size_t>(n) >= kPlatformPathBytes) return Kind::Other;
        std::memcpy(output.target + keep, link, static_cast<size_t>(n) + 1);
    }
    return Kind::Other;  // a loop of links: the in-place open reports it
}

// Owner first: changing it clears the set-user-ID bits, which the mode then
// puts back. A replacement that cannot look like the original is not made.
bool TakeOwnerAndMode(int fd, const struct stat& was) {
    if (Fails(OpChmod)) return false;
    return fchown(fd, was.st_uid, was.st_gid) == 0 && fchmod(fd, was.st_mode & 07777) == 0;
}

}  // namespace

TemporaryOutcome CreateTemporary(PlatformOutput& output) {
    struct stat info;
    const Kind kind = Resolve(output, info);
    if (kind == Kind::Other) return TemporaryOutcome::InPlace;
    // A file the caller may not write is not replaced behind its back: the
    // in-place open refuses it, as it always did.
    if (kind == Kind::Regular && (Fails(OpStat) || faccessat(AT_FDCWD, output.target, W_OK, AT_EACCESS) != 0))
        return TemporaryOutcome::InPlace;
    output.replaces = kind == Kind::Regular;
    TemporaryOutcome otherwise;
    const int fd = CreateUnderFreshName(output, otherwise);
    if (fd < 0) return otherwise;
    if (kind == Kind::Regular && !TakeOwnerAndMode(fd, info))
        return DiscardTemporary(output, fd, TemporaryOutcome::InPlace);
    if (kind == Kind::Regular && (info.st_mode & (S_ISUID | S_ISGID)) != 0) output.setIdMode = info.st_mode & 07777;
    return StreamOnTemporary(output, fd);
}

bool SecureRandom(uint8_t (&bytes)[8]) { return getrandom(bytes, sizeof bytes, 0) == static_cast<ssize_t>(sizeof bytes); }

// 0666 under the umask: what a new file written in place would get.
int OpenExclusive(const char* name) { return open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666); }

PlatformFile* StreamOn(int fd) { return fdopen(fd, "wb"); }

void CloseDescriptor(int fd) { close(fd); }

bool RemoveFile(const char* name) { return !Fails(OpRemove) && unlink(name) == 0; }

bool SyncFile(PlatformFile* file) { return !Fails(OpSync) && std::fflush(file) == 0 && fsync(fileno(file)) == 0; }

bool KeepSetIdBits(const PlatformOutput& output, PlatformFile* file) {
    if (output.setIdMode == 0) return true;
    return !Fails(OpChmod) && std::fflush(file) == 0 && fchmod(fileno(file), output.setIdMode) == 0;
}

bool RenameOver(const PlatformOutput& output) {
    return !Fails(OpRename) && std::rename(output.temporary, output.target) == 0;
}

namespace {

// The folder that holds `path`, as a name open() takes.
void FolderOf(const char* path, char (&folder)[kPlatformPathBytes]) {
    const size_t keep = FolderLength(path);
    if (keep == 0) {
        std::memcpy(folder, ".", 2);
        return;
    }
    std::memcpy(folder, path, keep);
    folder[keep] = '\0';
}

}  // namespace

int OpenUnnamed(const PlatformOutput& output) {
#if defined(O_TMPFILE)
    char folder[kPlatformPathBytes];
    FolderOf(output.target, folder);
    // 0666 under the umask, as for a named one.
    return Fails(OpOpen) ? -1 : open(folder, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
#else
    (void)output;
    errno = EOPNOTSUPP;
    return -1;
#endif
}

bool NoUnnamedFiles(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

bool LinkTemporary(PlatformOutput& output, PlatformFile* file) {
#if defined(O_TMPFILE)
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fileno(file));
    for (int attempt = 0; attempt < 16 && TemporaryName(output); ++attempt) {
        if (Fails(OpLink)) break;
        if (linkat(AT_FDCWD, self, AT_FDCWD, output.temporary, AT_SYMLINK_FOLLOW) == 0) return true;
        // Without /proc, the direct way (which may need privileges).
        if (errno == ENOENT && linkat(fileno(file), "", AT_FDCWD, output.temporary, AT_EMPTY_PATH) == 0) return true;
        if (errno != EEXIST) break;
    }
#else
    (void)file;
#endif
    output.temporary[0] = '\0';
    return false;
}

void SyncFolder(const char* path) {
    char folder[kPlatformPathBytes];
    FolderOf(path, folder);
    const int fd = Fails(OpOpen) ? -1 : open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    FileOpened();
    if (!Fails(OpSync)) fsync(fd);
    Fails(OpClose);
    close(fd);
    FileClosed();
}

bool StartWriteBack(PlatformOutput& output) {
    if (!PlatformFlush(output.file)) return false;
#if defined(SYNC_FILE_RANGE_WRITE)
    // A hint only: some file systems refuse it (EINVAL, ENOSYS, ESPIPE), and
    // the sync before the rename is what makes the replacement durable.
    if (!Fails(OpWriteBack))
        sync_file_range(fileno(output.file), static_cast<off_t>(output.writtenBack),
                        static_cast<off_t>(output.written - output.writtenBack), SYNC_FILE_RANGE_WRITE);
#endif
    output.writtenBack = output.written;
    return true;
}

}  // namespace replace
}  // namespace vintrel
