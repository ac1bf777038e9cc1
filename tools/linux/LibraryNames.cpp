// Names the library can hold, on Linux: a path too long for it reaches its
// file through a descriptor opened here (/proc/self/fd/N), and an own name
// too long even for that through a link of our own, in a private scratch
// folder, to /proc/self/fd/N/OWN: the library then replaces the output as it
// replaces any other. No name here is one another user could foresee.
#include "../LibraryNames.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "../StandardStreams.h"

namespace host {

namespace {

std::string Descriptor(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// ".bmprotate2-" and 16 hex digits of a secure random number, ".bmp".
bool FreshName(std::string& name) {
    unsigned char bytes[8];
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) return false;
    name = ".bmprotate2-";
    for (const unsigned char b : bytes) {
        name += "0123456789abcdef"[b >> 4];
        name += "0123456789abcdef"[b & 15];
    }
    name += ".bmp";
    return true;
}

// The picture made under `fresh` put under `own` only where no file has
// that name: 0, or errno (EEXIST: kept).
int PutInPlace(int folder, const char* fresh, const char* own) {
    if (renameat2(folder, fresh, folder, own, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without such a rename: a second name, which link never
    // puts over a file; without links either, the name claimed first.
    if (linkat(folder, fresh, folder, own, 0) == 0) {
        unlinkat(folder, fresh, 0);
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP) return errno;
    const int claim = openat(folder, own, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (claim < 0) return errno;
    close(claim);
    if (renameat(folder, fresh, folder, own) == 0) return 0;
    const int error = errno;
    unlinkat(folder, own, 0);
    return error;
}

}  // namespace

struct LibraryNames::State {
    int input = -1;
    int folder = -1;   // the output's folder, where the name goes through it
    int scratch = -1;  // a private folder with a link to the output
    Text scratchPath;
    std::string own, fresh;  // with no-clobber: the output's own name, and the one it is made under
};

LibraryNames::LibraryNames() : state_(new State) {}

LibraryNames::~LibraryNames() {
    Finish(false);
    delete state_;
}

bool LibraryNames::Open(const Text& input, const Text& output, bool noClobber) {
    State& s = *state_;
    std::string in = input, out = output;
    // A name that opens nothing here is passed as it is: it then fails in
    // the library like any other.
    if (in.size() > kLibraryNameBytes) {
        s.input = open(in.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (s.input >= 0) in = Descriptor(s.input);
    }
    const size_t ownAt = OwnNameStart(out);
    const std::string own = out.substr(ownAt);
    const bool isFile = !own.empty() && own != "." && own != "..";
    if (isFile && (noClobber || out.size() > kLibraryNameBytes)) {
        const std::string folderName = ownAt == 0 ? "." : out.substr(0, ownAt);
        s.folder = open(folderName.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    if (s.folder >= 0) {
        const std::string folder = Descriptor(s.folder) + "/";
        if (noClobber) {
            if (!FreshName(s.fresh)) return false;
            s.own = own;
            out = folder + s.fresh;
        } else if (folder.size() + own.size() <= kLibraryNameBytes) {
            out = folder + own;
        } else {
            if (!MakeScratch(s.scratchPath)) return false;
            s.scratch = open(s.scratchPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (s.scratch < 0 || symlinkat((folder + own).c_str(), s.scratch, "out") != 0) return false;
            out = Descriptor(s.scratch) + "/out";
        }
    }
    input_ = ToWide(in);
    output_ = ToWide(out);
    return true;
}

LibraryNames::Placed LibraryNames::Finish(bool written) {
    State& s = *state_;
    Placed placed = written ? Placed::Written : Placed::Failed;
    if (!s.fresh.empty()) {
        const int error = written ? PutInPlace(s.folder, s.fresh.c_str(), s.own.c_str()) : ENOENT;
        if (error != 0) unlinkat(s.folder, s.fresh.c_str(), 0);
        if (written && error != 0) placed = error == EEXIST ? Placed::Kept : Placed::Failed;
        s.fresh.clear();
    }
    CloseFd(s.input);
    CloseFd(s.folder);
    CloseFd(s.scratch);
    if (!s.scratchPath.empty()) RemoveScratch(s.scratchPath);
    s.scratchPath.clear();
    return placed;
}

}  // namespace host
