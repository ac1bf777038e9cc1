// The host program's system services on Linux.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../Host.h"
#include "../Utf8.h"

namespace host {

const char kSeparator = '/';

std::string Narrow(const Text& text) { return text; }

// Names stay bytes here.
bool FromUtf8(const std::string& utf8, Text& text) {
    text = utf8;
    return true;
}

namespace {

// The folder this program is in, with its '/'; "" when it cannot be told.
std::string ProgramFolder() {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return std::string();
    std::string dir(self, static_cast<size_t>(n));
    return dir.erase(dir.find_last_of('/') + 1);
}

// The file of the library that was there but could not be loaded, if one was.
std::string foundFile;

}  // namespace

BMPRotate2Fn LoadExport() {
    // Beside this program, then the installed layout, then the system's
    // search. The first file that is there is the one: one that cannot be
    // loaded is reported, never passed over for some other copy the system
    // has (an older one, maybe the very one it was put there to replace),
    // as Windows does with the DLL beside a program.
    const std::string dir = ProgramFolder();
    void* library = nullptr;
    foundFile.clear();
    if (!dir.empty())
        for (const std::string& file : {dir + VINTREL_LIBRARY_FILE, dir + "../lib/" VINTREL_LIBRARY_FILE}) {
            struct stat info;
            if (stat(file.c_str(), &info) != 0) continue;
            foundFile = file;
            library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
            break;
        }
    if (library == nullptr && foundFile.empty()) library = dlopen(VINTREL_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return nullptr;
    return reinterpret_cast<BMPRotate2Fn>(dlsym(library, "BMPRotate2"));
}

std::string LibraryNotLoaded() {
    const char* why = dlerror();  // the last try's
    const std::string said = why != nullptr ? why : "no BMPRotate2 in it";
    if (!foundFile.empty()) return said.rfind(foundFile, 0) == 0 ? said : foundFile + ": " + said;
    const std::string dir = ProgramFolder();
    return VINTREL_LIBRARY_FILE ", looked for in " + (dir.empty() ? std::string() : dir + ", " + dir + "../lib/ and ") +
           "the system's search path: " + said;
}

bool DescribeLibrary(BMPRotate2Fn rotate, std::string& file, std::string& version) {
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(rotate), &info) == 0 || info.dli_fname == nullptr) return false;
    char* real = realpath(info.dli_fname, nullptr);
    file = real != nullptr ? real : info.dli_fname;
    std::free(real);
    // The versioned file's name ends in its version: libX.so.1.0.0.1.
    const size_t so = file.rfind(".so.");
    version = so == std::string::npos ? "unknown" : file.substr(so + 4);
    return true;
}

std::string Shown(const Text& name) {
    std::string shown;
    uint32_t c;
    for (size_t at = 0; at < name.size();) {
        if (const size_t n = Utf8SequenceAt(name, at, c)) {
            shown.append(name, at, n);
            at += n;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\%03o", static_cast<unsigned char>(name[at++]));
            shown += escape;
        }
    }
    return shown;
}

// Names are bytes here: UTF-8 where they are text, and each byte that is
// not as U+DC80 to U+DCFF, which the library turns back into that byte.
std::u16string ToWide(const Text& text) {
    std::u16string wide;
    uint32_t c;
    for (size_t at = 0; at < text.size();) {
        const size_t n = Utf8SequenceAt(text, at, c);
        if (n == 0) {
            wide += static_cast<char16_t>(0xDC00 | static_cast<unsigned char>(text[at++]));
        } else if (c >= 0x10000) {
            wide += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            wide += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            wide += static_cast<char16_t>(c);
        }
        at += n;
    }
    return wide;
}

bool IsFolder(const Text& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

unsigned ProcessorsOnline() {
    const long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? static_cast<unsigned>(count) : 1u;
}

bool StderrIsTerminal() { return isatty(STDERR_FILENO) != 0; }

bool ReadWhole(const Text& path, std::string& bytes) {
    const bool standardInput = path == "-";
    const int fd = standardInput ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char block[65536];
    ssize_t got;
    while ((got = read(fd, block, sizeof block)) != 0) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;
        bytes.append(block, static_cast<size_t>(got));
    }
    if (!standardInput) close(fd);
    return got == 0;
}

size_t OwnNameStart(const Text& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

bool SameOwnName(const Text& a, const Text& b) { return a == b; }

bool IdentifyFile(const Text& path, FileId& id) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return false;
    id = FileId{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
    return true;
}
bool OwnNameLess(const Text& a, const Text& b) { return a < b; }

}  // namespace host
