#include "platform/linux/Place.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/FaultHook.h"

namespace vintrel {
namespace replace {
namespace {

// The kernel gives up on the 41st link of one name, and so do we.
constexpr int kMaxLinks = 40;

int OpenFolder(int at, const char* path) {
    if (Fails(OpOpen)) return -1;
    const int fd = openat(at, path, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) FileOpened();
    return fd;
}

void CloseFolder(int& fd) {
    if (fd < 0) return;
    close(fd);
    FileClosed();
    fd = -1;
}

// `path`'s folder opened relative to `at` (the current folder for a bare
// name) into place.folder, its own name into place.own. `path` is cut at
// its last slash for the open, and mended after it.
bool Enter(int at, char* path, Place& place) {
    char* slash = std::strrchr(path, '/');
    const char* own = slash == nullptr ? path : slash + 1;
    const size_t ownBytes = std::strlen(own);
    if (ownBytes == 0) {
        errno = EISDIR;  // "folder/": a folder, never a file to write
        return false;
    }
    if (ownBytes >= sizeof place.own) {
        errno = ENAMETOOLONG;
        return false;
    }
    int folder;
    if (slash == nullptr) {
        folder = OpenFolder(at, ".");
    } else {
        const char first = slash[1];
        slash[1] = '\0';  // with its slash: "/" stays the root
        folder = OpenFolder(at, path);
        slash[1] = first;
    }
    if (folder < 0) return false;
    CloseFolder(place.folder);
    place.folder = folder;
    std::memcpy(place.own, own, ownBytes + 1);
    return true;
}

bool SharedFolder(const struct stat& folder) { return (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH); }

// Whether the link `linkOwner` owns, in place.folder, may be followed.
bool MayFollow(const Place& place, uid_t linkOwner) {
    struct stat folder;
    if (Fails(OpStat) || fstat(place.folder, &folder) != 0) return false;
    if (!SharedFolder(folder) || linkOwner == geteuid() || linkOwner == folder.st_uid) return true;
    errno = EACCES;
    return false;
}

// A file in a shared folder that neither the caller nor the folder's owner
// owns: the kernel will not open one there to create it (a regular file or
// a FIFO), for it may have been planted to catch what is written.
bool Planted(const Place& place) {
    if (S_ISDIR(place.file.st_mode)) return false;  // never written: it fails as a folder
    struct stat folder;
    if (Fails(OpStat) || fstat(place.folder, &folder) != 0) return true;  // unknown: not risked
    return SharedFolder(folder) && place.file.st_uid != geteuid() && place.file.st_uid != folder.st_uid;
}

bool Walk(const char* name, Place& place) {
    // The name, then each link's contents: one buffer, for a small stack.
    char path[kLinkBytes];
    const size_t length = std::strlen(name);
    if (length >= sizeof path) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memcpy(path, name, length + 1);
    if (!Enter(AT_FDCWD, path, place)) return false;
    for (int links = 0;; ++links) {
        struct stat at;
        if (Fails(OpStat) || fstatat(place.folder, place.own, &at, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) return false;
            place.kind = Kind::Missing;
            return true;
        }
        if (!S_ISLNK(at.st_mode)) {
            place.kind = S_ISREG(at.st_mode) ? Kind::Regular : Kind::Other;
            place.file = at;
            return true;
        }
        if (links == kMaxLinks) {
            errno = ELOOP;
            return false;
        }
        if (!MayFollow(place, at.st_uid)) return false;
        const ssize_t n = Fails(OpReadLink) ? -1 : readlinkat(place.folder, place.own, path, sizeof path);
        if (n < 0) return false;
        if (n == 0 || static_cast<size_t>(n) >= sizeof path) {
            errno = n == 0 ? ENOENT : ENAMETOOLONG;
            return false;
        }
        path[n] = '\0';
        // A relative link goes on from the folder that holds it.
        if (!Enter(path[0] == '/' ? AT_FDCWD : place.folder, path, place)) return false;
    }
}

}  // namespace

bool FindPlace(const char* name, Place& place) {
    place.folder = -1;
    place.own[0] = '\0';
    if (!Walk(name, place)) {
        const int error = errno;
        CloseFolder(place.folder);
        errno = error;
        return false;
    }
    // The kernel's own walk, with its own rules, must end where ours did.
    struct stat kernel;
    const bool found = !Fails(OpStat) && stat(name, &kernel) == 0;
    const int error = errno;
    bool agrees = false;
    if (place.kind == Kind::Missing) {
        if (!found && error == ENOENT) return true;
        // Names that lead through /proc (/dev/stdout) end at no name of a
        // folder: the kernel reaches the pipe or device they stand for.
        if (found && !S_ISREG(kernel.st_mode)) {
            CloseFolder(place.folder);
            place.kind = Kind::Other;
            place.file = kernel;
            return true;
        }
    } else {
        agrees = found && SameFile(kernel, place.file);
    }
    if (agrees && !Planted(place)) {
        if (place.kind == Kind::Other) CloseFolder(place.folder);
        return true;
    }
    CloseFolder(place.folder);
    // Planted, changed under us, or the kernel's own refusal.
    errno = agrees ? EACCES : found || error == ENOENT ? EAGAIN : error;
    return false;
}

void ClosePlace(Place& place) { CloseFolder(place.folder); }

}  // namespace replace
}  // namespace vintrel
