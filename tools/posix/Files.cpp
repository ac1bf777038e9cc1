// What the program finds out about files on POSIX, and names the library can
// hold: a path too long for it reaches the file through a descriptor opened
// here, as /proc/self/fd/N for the input and /proc/self/fd/N/OWN in the
// output's folder N.
#include "../Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
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
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return Trouble::Folder;
    const std::string folder = FolderOf(path);
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return Trouble::NoFolder;
    if (access(folder.c_str(), W_OK | X_OK) != 0) return FromErrno(errno, Trouble::Denied);
    if (access(path.c_str(), F_OK) == 0 && access(path.c_str(), W_OK) != 0) return FromErrno(errno, Trouble::Denied);
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

struct LibraryNames::State {
    int input = -1, folder = -1;
    std::string shortOwn, longOwn;
};

LibraryNames::LibraryNames() : state_(new State) {}

LibraryNames::~LibraryNames() {
    if (state_->input >= 0) close(state_->input);
    if (state_->folder >= 0) close(state_->folder);
    delete state_;
}

bool LibraryNames::Open(const Text& input, const Text& output) {
    std::string in = input, out = output;
    // A name the library cannot hold, or that opens nothing here, is passed
    // as it is: it then fails in the library like any other.
    if (in.size() > kLibraryNameBytes) {
        state_->input = open(in.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (state_->input >= 0) in = "/proc/self/fd/" + std::to_string(state_->input);
    }
    if (out.size() > kLibraryNameBytes) {
        const size_t own = OwnNameStart(out);
        state_->folder = open(FolderOf(out).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (state_->folder >= 0) {
            const std::string folder = "/proc/self/fd/" + std::to_string(state_->folder) + "/";
            state_->longOwn = out.substr(own);
            if (folder.size() + state_->longOwn.size() > kLibraryNameBytes) {
                // Written under a short fresh name, then renamed to its own.
                static std::atomic<unsigned> serial{0};
                state_->shortOwn = ".bmprotate2-" + std::to_string(getpid()) + "-" + std::to_string(serial++) + ".bmp";
                out = folder + state_->shortOwn;
            } else {
                out = folder + state_->longOwn;
            }
        }
    }
    return ToWide(in, input_) && ToWide(out, output_);
}

bool LibraryNames::Finish(bool written) {
    if (state_->shortOwn.empty()) return true;
    const int folder = state_->folder;
    const std::string name = state_->shortOwn;
    const char* from = name.c_str();
    state_->shortOwn.clear();
    if (!written) {
        unlinkat(folder, from, 0);
        return true;
    }
    // A file replaced keeps its owner and mode, as the library keeps them,
    // and is the old picture or the new one after a power cut: the new one
    // is on disk before the rename, and the rename after it.
    struct stat info;
    if (fstatat(folder, state_->longOwn.c_str(), &info, 0) == 0) {
        const int fd = openat(folder, from, O_RDONLY | O_CLOEXEC);
        if (fd < 0 || fchown(fd, info.st_uid, info.st_gid) != 0 || fchmod(fd, info.st_mode & 07777) != 0 ||
            fsync(fd) != 0) {
            if (fd >= 0) close(fd);
            unlinkat(folder, from, 0);
            return false;
        }
        close(fd);
    }
    if (renameat(folder, from, folder, state_->longOwn.c_str()) != 0) {
        unlinkat(folder, from, 0);
        return false;
    }
    const int synced = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (synced >= 0) {
        fsync(synced);
        close(synced);
    }
    return true;
}

}  // namespace host
