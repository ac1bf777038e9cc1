// Standard input and output as pictures on Linux.
#include "../StandardStreams.h"

#include "../Signals.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace host {

namespace {

// A stop ends the copy, for it to be seen: one that interrupts a read or a
// write, or comes between two (a partial write, say).
Saved Copy(int from, int to) {
    char block[65536];
    for (;;) {
        if (StopSignal() != 0) return Saved::ReadFailed;
        const ssize_t got = read(from, block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return got == 0 ? Saved::Whole : Saved::ReadFailed;
        for (ssize_t sent = 0; sent < got;) {
            if (StopSignal() != 0) return Saved::WriteFailed;
            const ssize_t put = write(to, block + sent, static_cast<size_t>(got - sent));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) return Saved::WriteFailed;
            sent += put;
        }
    }
}

}  // namespace

bool MakeScratch(Text& folder) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/bmprotate2-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) return false;
    folder = pattern;
    return true;
}

void RemoveScratch(const Text& folder) {
    if (DIR* d = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(d))
            if (entry->d_name[0] != '.' || (entry->d_name[1] != '\0' && entry->d_name[1] != '.'))
                unlink((folder + "/" + entry->d_name).c_str());
        closedir(d);
    }
    rmdir(folder.c_str());
}

Saved SaveStandardInput(const Text& path) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return Saved::WriteFailed;
    const Saved saved = Copy(STDIN_FILENO, fd);
    const int error = errno;
    if (close(fd) != 0 && saved == Saved::Whole) return Saved::WriteFailed;
    errno = error;
    return saved;
}

bool NamesStandardOutput(const Text& path) {
    struct stat named, out;
    return stat(path.c_str(), &named) == 0 && fstat(STDOUT_FILENO, &out) == 0 && !S_ISREG(out.st_mode) &&
           named.st_dev == out.st_dev && named.st_ino == out.st_ino;
}

bool SendToStandardOutput(const Text& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool copied = Copy(fd, STDOUT_FILENO) == Saved::Whole;
    close(fd);
    return copied;
}

LinesToStderr::LinesToStderr() : saved_(-1) {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    if (saved_ >= 0) dup2(STDERR_FILENO, STDOUT_FILENO);
}

LinesToStderr::~LinesToStderr() {
    std::fflush(stdout);
    if (saved_ < 0) return;
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
}

}  // namespace host
