#include "platform/Platform.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vintrel {
namespace {

// Zero-initialised at load, no constructor: the hook costs nothing until a
// test arms it.
struct Hook {
    uint64_t operations;
    uint64_t failAt;
    int error;
    PlatformOp* trace;
    size_t traceCapacity;
    int64_t blocks;
    int64_t files;
};
Hook hook;

// Every system call of the layer asks first; true means "fail this one",
// with errno set as the test asked.
bool Fails(PlatformOp op) {
    const uint64_t n = ++hook.operations;
    if (hook.trace != nullptr && n <= hook.traceCapacity) hook.trace[n - 1] = op;
    if (n != hook.failAt) return false;
    errno = hook.error;
    return true;
}

void* Counted(void* block) {
    if (block != nullptr) ++hook.blocks;
    return block;
}

PlatformFile* Counted(PlatformFile* file) {
    if (file != nullptr) ++hook.files;
    return file;
}

// Pictures are large and each byte is first touched once, in order: with 2 MiB
// pages a 36 MB picture costs some 18 page faults instead of 9000, which is
// most of the time a whole call takes. Only a hint; refused, nothing changes.
void* Huge(void* block, size_t bytes) {
#if defined(MADV_HUGEPAGE)
    constexpr uintptr_t kPage = uintptr_t{2} << 20;
    if (block != nullptr && bytes >= 2 * kPage) {
        const uintptr_t begin = (reinterpret_cast<uintptr_t>(block) + kPage - 1) & ~(kPage - 1);
        const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(kPage - 1);
        if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
#else
    (void)bytes;
#endif
    return block;
}

// Rows move in one call each; a larger buffer than the default keeps a padded
// row and its pad from costing a system call apiece.
PlatformFile* Buffered(PlatformFile* file) {
    if (file != nullptr) std::setvbuf(file, nullptr, _IOFBF, size_t{256} << 10);
    return file;
}

}  // namespace

void PlatformFailAt(uint64_t nth, int error, PlatformOp* trace, size_t traceCapacity) {
    hook.operations = 0;
    hook.failAt = nth;
    hook.error = error;
    hook.trace = trace;
    hook.traceCapacity = traceCapacity;
}

PlatformTally PlatformCount() { return PlatformTally{hook.operations, hook.blocks, hook.files}; }

const char* PlatformOpName(PlatformOp op) {
    static const char* const names[OpKinds] = {"alloc",  "open",   "read", "write",    "seek",
                                               "flush",  "sync",   "close", "rename",  "remove",
                                               "stat",   "readlink", "random", "chmod", "convert",
                                               "link",   "writeback"};
    return op >= 0 && op < OpKinds ? names[op] : "?";
}

void* PlatformAlloc(size_t bytes) { return Fails(OpAlloc) ? nullptr : Counted(std::malloc(bytes)); }
void* PlatformAllocZeroed(size_t bytes) {
    return Fails(OpAlloc) ? nullptr : Counted(Huge(std::calloc(1, bytes), bytes));
}
void PlatformFree(void* block) {
    if (block != nullptr) --hook.blocks;
    std::free(block);
}

PlatformFile* PlatformOpen(const char* name, const char* mode) {
    if (name == nullptr || name[0] == '\0') return nullptr;
    return Fails(OpOpen) ? nullptr : Counted(Buffered(std::fopen(name, mode)));
}

size_t PlatformRead(void* into, size_t size, size_t count, PlatformFile* file) {
    return Fails(OpRead) ? 0 : std::fread(into, size, count, file);
}

size_t PlatformWrite(const void* from, size_t size, size_t count, PlatformFile* file) {
    return Fails(OpWrite) ? 0 : std::fwrite(from, size, count, file);
}

bool PlatformSeek(PlatformFile* file, int64_t offset, PlatformSeekOrigin origin) {
    if (Fails(OpSeek)) return false;
    const int whence = origin == SeekFromStart ? SEEK_SET : SEEK_CUR;
#if defined(_WIN32)
    // long is 32 bits here; offsets up to 2^32 - 1 must still seek.
    return _fseeki64(file, offset, whence) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), whence) == 0;
#endif
}

bool PlatformFlush(PlatformFile* file) { return !Fails(OpFlush) && std::fflush(file) == 0; }

bool PlatformClose(PlatformFile* file) {
    const bool failed = Fails(OpClose);
    // The handle is gone whatever fclose says.
    const bool closed = std::fclose(file) == 0;
    --hook.files;
    return closed && !failed;
}

void PlatformPrintLine(const char* text) {
    std::fputs(text, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

namespace {

// The folder part of `path`, with its separator: its length.
size_t FolderLength(const char* path) {
    size_t keep = 0;
    for (size_t i = 0; path[i] != '\0'; ++i) {
#if defined(_WIN32)
        if (path[i] == '\\' || path[i] == '/' || path[i] == ':') keep = i + 1;
#else
        if (path[i] == '/') keep = i + 1;
#endif
    }
    return keep;
}

bool CopyPath(char (&to)[kPlatformPathBytes], const char* from) {
    const size_t n = std::strlen(from);
    if (n >= kPlatformPathBytes) return false;
    std::memcpy(to, from, n + 1);
    return true;
}

// ".vintrel-<16 hex digits>.tmp" beside the target: short enough for any
// folder that holds the target, and 64 bits nobody can guess.
bool SecureRandom(uint8_t (&bytes)[8]);
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

enum class Made { Temporary, InPlace, Failed };

bool RemoveFile(const char* name);

}  // namespace

#if defined(_WIN32)

namespace {

bool SecureRandom(uint8_t (&bytes)[8]) {
    // RtlGenRandom, the system's cryptographic source, without linking bcrypt.
    using GenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);
    // Loaded only for this call if the process had not loaded it: nothing is
    // kept between calls.
    HMODULE advapi = LoadLibraryA("advapi32.dll");
    if (advapi == nullptr) return false;
    const auto gen = reinterpret_cast<GenRandomFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(advapi, "SystemFunction036")));
    const bool ok = gen != nullptr && gen(bytes, sizeof bytes) != FALSE;
    FreeLibrary(advapi);
    return ok;
}

bool RemoveFile(const char* name) { return !Fails(OpRemove) && _unlink(name) == 0; }

// Links are not followed here: MoveFileEx replaces the name itself. Only a
// regular file or a missing one is replaced through a temporary.
Made CreateTemporary(PlatformOutput& output) {
    struct _stat64 info;
    if (Fails(OpStat) || _stat64(output.target, &info) != 0) {
        if (errno != ENOENT) return Made::InPlace;
    } else if ((info.st_mode & _S_IFMT) != _S_IFREG || (info.st_mode & _S_IWRITE) == 0) {
        return Made::InPlace;  // a device, or a read-only file the in-place open refuses as it always did
    } else {
        output.replaces = true;
    }
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        if (attempt == 16 || !TemporaryName(output)) return Made::InPlace;
        fd = Fails(OpOpen) ? -1
                           : _open(output.temporary, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                   _S_IREAD | _S_IWRITE);
        if (fd < 0 && errno != EEXIST) return FolderTakesNoFile(errno) ? Made::InPlace : Made::Failed;
    }
    ++hook.files;
    output.file = Fails(OpOpen) ? nullptr : Buffered(_fdopen(fd, "wb"));
    if (output.file != nullptr) return Made::Temporary;
    _close(fd);
    --hook.files;
    RemoveFile(output.temporary);
    return Made::Failed;
}

bool SyncFile(PlatformFile* file) {
    return !Fails(OpSync) && std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
}

bool RenameOver(const PlatformOutput& output) {
    const DWORD durable = output.replaces ? MOVEFILE_WRITE_THROUGH : 0;
    return !Fails(OpRename) && MoveFileExA(output.temporary, output.target, MOVEFILE_REPLACE_EXISTING | durable) != 0;
}

// Temporaries always have a name here; the rename writes through.
bool LinkTemporary(PlatformOutput&, PlatformFile*) { return false; }
void SyncFolder(const char*) {}
bool StartWriteBack(PlatformOutput&) { return true; }

}  // namespace

#else

namespace {

bool SecureRandom(uint8_t (&bytes)[8]) { return getrandom(bytes, sizeof bytes, 0) == static_cast<ssize_t>(sizeof bytes); }

bool RemoveFile(const char* name) { return !Fails(OpRemove) && unlink(name) == 0; }

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
bool LookLike(int fd, const struct stat& was) {
    if (Fails(OpChmod)) return false;
    return fchown(fd, was.st_uid, was.st_gid) == 0 && fchmod(fd, was.st_mode & 07777) == 0;
}

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

// A file with no name in the target's folder, or -1 with errno: EOPNOTSUPP
// (and the like) where the system or the file system has no such files.
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

Made CreateTemporary(PlatformOutput& output) {
    struct stat info;
    const Kind kind = Resolve(output, info);
    if (kind == Kind::Other) return Made::InPlace;
    // A file the caller may not write is not replaced behind its back: the
    // in-place open refuses it, as it always did.
    if (kind == Kind::Regular && (Fails(OpStat) || faccessat(AT_FDCWD, output.target, W_OK, AT_EACCESS) != 0))
        return Made::InPlace;
    output.replaces = kind == Kind::Regular;
    int fd = OpenUnnamed(output);
    output.unnamed = fd >= 0;
    if (fd < 0 && !NoUnnamedFiles(errno)) return FolderTakesNoFile(errno) ? Made::InPlace : Made::Failed;
    for (int attempt = 0; fd < 0; ++attempt) {
        if (attempt == 16 || !TemporaryName(output)) return Made::InPlace;
        // 0666 under the umask: what a new file written in place would get.
        fd = Fails(OpOpen) ? -1
                           : open(output.temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return FolderTakesNoFile(errno) ? Made::InPlace : Made::Failed;
    }
    ++hook.files;
    Made made = Made::Failed;
    if (kind == Kind::Regular && !LookLike(fd, info)) {
        made = Made::InPlace;
    } else {
        output.file = Fails(OpOpen) ? nullptr : Buffered(fdopen(fd, "wb"));
        if (output.file != nullptr) return Made::Temporary;
    }
    close(fd);
    --hook.files;
    if (!output.unnamed) RemoveFile(output.temporary);
    output.unnamed = false;
    return made;
}

bool SyncFile(PlatformFile* file) { return !Fails(OpSync) && std::fflush(file) == 0 && fsync(fileno(file)) == 0; }

bool RenameOver(const PlatformOutput& output) {
    return !Fails(OpRename) && std::rename(output.temporary, output.target) == 0;
}

// Gives the complete unnamed file a fresh unpredictable name beside the
// target, for the rename to move over it.
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

// Makes a rename in `path`'s folder durable. The picture is in place
// already, so a failure here is no failed write.
void SyncFolder(const char* path) {
    char folder[kPlatformPathBytes];
    FolderOf(path, folder);
    const int fd = Fails(OpOpen) ? -1 : open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ++hook.files;
    if (!Fails(OpSync)) fsync(fd);
    Fails(OpClose);
    close(fd);
    --hook.files;
}

// Starts the device writing what the stream has written so far, without
// waiting for it.
bool StartWriteBack(PlatformOutput& output) {
    if (!PlatformFlush(output.file)) return false;
#if defined(SYNC_FILE_RANGE_WRITE)
    if (Fails(OpWriteBack) ||
        sync_file_range(fileno(output.file), static_cast<off_t>(output.writtenBack),
                        static_cast<off_t>(output.written - output.writtenBack), SYNC_FILE_RANGE_WRITE) != 0)
        return false;
#endif
    output.writtenBack = output.written;
    return true;
}

}  // namespace

#endif

bool PlatformBeginOutput(const char* name, PlatformOutput& output) {
    output.file = nullptr;
    output.target[0] = output.temporary[0] = '\0';
    output.unnamed = output.replaces = false;
    output.written = output.writtenBack = 0;
    if (name == nullptr || name[0] == '\0') return false;
    if (CopyPath(output.target, name)) {
        const Made made = CreateTemporary(output);
        if (made == Made::Temporary) return true;
        if (made == Made::Failed) {
            output.temporary[0] = '\0';
            return false;
        }
    }
    output.temporary[0] = '\0';
    output.replaces = false;
    output.file = PlatformOpen(name, "wb");
    return output.file != nullptr;
}

size_t PlatformOutputWrite(PlatformOutput& output, const void* from, size_t bytes) {
    // Stretches of a few MiB keep the device busy without a system call per row.
    constexpr uint64_t kStretch = uint64_t{4} << 20;
    const bool writesBack = output.replaces && (output.unnamed || output.temporary[0] != '\0');
    size_t done = 0;
    while (done < bytes) {
        size_t step = bytes - done;
        if (writesBack) step = static_cast<size_t>(std::min<uint64_t>(step, kStretch - output.written % kStretch));
        const size_t put = PlatformWrite(static_cast<const uint8_t*>(from) + done, 1, step, output.file);
        done += put;
        output.written += put;
        if (put != step) break;
        if (writesBack && output.written % kStretch == 0 && !StartWriteBack(output)) break;
    }
    return done;
}

bool PlatformEndOutput(PlatformOutput& output, bool complete) {
    if (output.file == nullptr) return false;
    PlatformFile* file = output.file;
    output.file = nullptr;
    if (output.temporary[0] == '\0' && !output.unnamed) return PlatformClose(file) && complete;
    // A new output is not synced: losing it in a power cut loses nothing
    // the input cannot give again. A replacement may be the only copy.
    bool ok = complete && (!output.replaces || SyncFile(file));
    if (output.unnamed) ok = ok && LinkTemporary(output, file);
    ok = PlatformClose(file) && ok;
    ok = ok && RenameOver(output);
    if (!ok && output.temporary[0] != '\0') RemoveFile(output.temporary);
    if (ok && output.replaces) SyncFolder(output.target);
    output.temporary[0] = '\0';
    output.unnamed = false;
    return ok;
}

#if defined(_WIN32)

bool PlatformWideToNarrow(const char16_t* wide, char* narrow, size_t narrowSize) {
    narrow[0] = '\0';
    if (Fails(OpConvert)) return false;
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");
    const wchar_t* source = reinterpret_cast<const wchar_t*>(wide);
    // Code page 0 is the system's ANSI code page; characters without a narrow
    // form become its default character. Not the "best fit": that would turn
    // "\u0142odz.bmp" into "lodz.bmp", some other file, perhaps one to be
    // overwritten. A UTF-8 ANSI code page has a form for everything and takes
    // no flags.
    const DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int needed = WideCharToMultiByte(CP_ACP, flags, source, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0 || static_cast<size_t>(needed) > narrowSize) return false;
    if (WideCharToMultiByte(CP_ACP, flags, source, -1, narrow, needed, nullptr, nullptr) != needed) {
        narrow[0] = '\0';
        return false;
    }
    return true;
}

#else

bool PlatformWideToNarrow(const char16_t* wide, char* narrow, size_t narrowSize) {
    narrow[0] = '\0';
    if (Fails(OpConvert)) return false;
    size_t used = 0;
    auto put = [&](uint32_t byte) {
        if (used + 1 >= narrowSize) return false;  // keep room for the NUL
        narrow[used++] = static_cast<char>(byte);
        return true;
    };
    for (size_t i = 0; wide[i] != 0; ++i) {
        uint32_t c = wide[i];
        if (c >= 0xD800 && c <= 0xDBFF && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00u);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = '?';  // an unpaired surrogate has no UTF-8 form
        }
        bool ok;
        if (c < 0x80) {
            ok = put(c);
        } else if (c < 0x800) {
            ok = put(0xC0 | (c >> 6)) && put(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            ok = put(0xE0 | (c >> 12)) && put(0x80 | ((c >> 6) & 0x3F)) && put(0x80 | (c & 0x3F));
        } else {
            ok = put(0xF0 | (c >> 18)) && put(0x80 | ((c >> 12) & 0x3F)) &&
                 put(0x80 | ((c >> 6) & 0x3F)) && put(0x80 | (c & 0x3F));
        }
        if (!ok) {
            narrow[0] = '\0';
            return false;
        }
    }
    narrow[used] = '\0';
    return true;
}

#endif

}  // namespace vintrel
