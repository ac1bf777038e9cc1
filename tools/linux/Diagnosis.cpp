// What the program finds out about files on Linux.
#include "../Diagnosis.h"

#include "platform/linux/Place.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace host {

namespace {

Trouble FromErrno(int error, Trouble otherwise) {
    switch (error) {
        case ENOENT: return Trouble::Missing;
        case ENOTDIR: return Trouble::NoFolder;
        case EACCES: case EPERM: return Trouble::Denied;
        case EISDIR: return Trouble::Folder;
        case ENOSPC: case EDQUOT: return Trouble::DiskFull;
        case EROFS: return Trouble::ReadOnly;
        case ENAMETOOLONG: return Trouble::TooLong;
        default: return otherwise;
    }
}

std::string FolderOf(const Text& path) {
    const size_t own = OwnNameStart(path);
    return own == 0 ? std::string(".") : path.substr(0, own);
}

}  // namespace

Trouble InputTrouble(const Text& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return FromErrno(errno, Trouble::ReadError);
    if (S_ISDIR(info.st_mode)) return Trouble::Folder;
    if (!S_ISREG(info.st_mode)) return Trouble::NotFile;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return FromErrno(errno, Trouble::ReadError);
    char byte;
    const bool read = pread(fd, &byte, 1, 0) >= 0;
    close(fd);
    return read ? Trouble::None : Trouble::ReadError;
}

bool ReadHead(const Text& path, size_t size, std::string& bytes) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    bytes.assign(size, '\0');
    const ssize_t got = pread(fd, &bytes[0], size, 0);
    close(fd);
    bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return got >= 0;
}

Trouble OutputTrouble(const Text& path, uint64_t bytes) {
    // Where the library would not go: a link or file another user planted
    // in a shared folder.
    vintrel::replace::Place place;
    if (!vintrel::replace::FindPlace(path.c_str(), place)) {
        if (errno == EACCES) return Trouble::Denied;
    } else {
        vintrel::replace::ClosePlace(place);
    }
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return Trouble::Folder;
    const std::string folder = FolderOf(path);
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return Trouble::NoFolder;
    const bool exists = access(path.c_str(), F_OK) == 0;
    if (exists && access(path.c_str(), W_OK) != 0) return FromErrno(errno, Trouble::Denied);
    if (access(folder.c_str(), W_OK | X_OK) != 0) {
        if (!exists) return FromErrno(errno, Trouble::Denied);
        // The old file is written over in place once its room is reserved:
        // what it lacks is the room beyond the blocks it already holds.
        struct statvfs room;
        if (stat(path.c_str(), &info) != 0 || statvfs(folder.c_str(), &room) != 0) return Trouble::None;
        const uint64_t held = static_cast<uint64_t>(info.st_blocks) * 512;
        const uint64_t free = static_cast<uint64_t>(room.f_bavail) * room.f_frsize;
        return bytes > held && bytes - held > free ? Trouble::DiskFull : Trouble::None;
    }
    // Room for the new picture: asked of the file system with a file of that
    // size that has no name and goes with its descriptor.
#if defined(O_TMPFILE)
    const int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) return FromErrno(errno, Trouble::None);
    const int error = posix_fallocate(fd, 0, static_cast<off_t>(bytes));
    close(fd);
    return error == 0 ? Trouble::None : FromErrno(error, Trouble::None);
#else
    (void)bytes;
    return Trouble::None;
#endif
}

bool Exists(const Text& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

}  // namespace host
