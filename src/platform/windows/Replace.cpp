// Windows: links are not followed; a replacement keeps the old file's access
// list, owner, attributes and streams (ReplaceFile), a new output is renamed
// into place, and a file no temporary can be made beside is written over in
// place with its room reserved first.
#include "platform/Replace.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/FaultHook.h"
#include "platform/windows/Folders.h"
#include "platform/windows/Windows.h"

namespace vintrel {
namespace replace {

// Stepped by the code page's characters, for in a double-byte one a second
// byte may be '\'.
size_t FolderLength(const char* path) {
    size_t keep = 0;
    for (size_t i = 0; path[i] != '\0'; ++i) {
        if (IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(path[i])) && path[i + 1] != '\0') {
            ++i;
            continue;
        }
        if (path[i] == '\\' || path[i] == '/' || path[i] == ':') keep = i + 1;
    }
    return keep;
}

namespace {

// The stream over `fd`, which it then owns.
bool StreamOn(PlatformOutput& output, int fd) {
    output.file = Fails(OpOpen) ? nullptr : _fdopen(fd, "wb");
    return output.file != nullptr;
}

void CloseDescriptor(int fd) {
    _close(fd);
    FileClosed();
}

// A fresh name beside the target, created exclusively: its descriptor, or
// -1 with errno.
int CreateTemporary(PlatformOutput& output) {
    const size_t keep = FolderLength(output.target);
    if (keep + kFreshNameBytes > sizeof output.temporary) {
        errno = ENAMETOOLONG;
        return -1;
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        char fresh[kFreshNameBytes];
        if (!FreshName(fresh)) return -1;
        std::memcpy(output.temporary, output.target, keep);
        std::memcpy(output.temporary + keep, fresh, sizeof fresh);
        const int fd = Fails(OpCreate) ? -1
                                       : _open(output.temporary, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                             _S_IREAD | _S_IWRITE);
        if (fd >= 0) {
            FileOpened();
            return fd;
        }
        if (errno != EEXIST) break;
    }
    output.temporary[0] = '\0';
    return -1;
}

// The old file written over: room for all of the new one is reserved before
// its first byte changes, so that a full disk fails with it whole. The
// stream is unbuffered: nothing of a failed write waits to reach the file.
bool Overwrite(PlatformOutput& output, uint64_t bytes) {
    const int fd = Fails(OpOpen) ? -1 : _open(output.target, _O_WRONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) return false;
    FileOpened();
    const int64_t kept = _lseeki64(fd, 0, SEEK_END);
    const bool reserved = kept >= 0 && _lseeki64(fd, 0, SEEK_SET) == 0 && !Fails(OpReserve) &&
                          (static_cast<uint64_t>(kept) >= bytes || _chsize_s(fd, static_cast<int64_t>(bytes)) == 0);
    if (!reserved) {
        const int error = errno;
        if (kept >= 0) _chsize_s(fd, kept);
        CloseDescriptor(fd);
        errno = error;
        return false;
    }
    output.overwrites = true;
    output.kept = static_cast<uint64_t>(kept);
    if (StreamOn(output, fd)) {
        setvbuf(output.file, nullptr, _IONBF, 0);
        return true;
    }
    _chsize_s(fd, kept);
    CloseDescriptor(fd);
    return false;
}

bool SyncFile(PlatformFile* file) {
    return !Fails(OpSync) && std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
}

// A replacement takes the old file's place with ReplaceFile, which keeps its
// access list, owner, attributes, creation time and streams; where that
// cannot be done (a file system without it, a path too long for it) and the
// old file is untouched, the name alone is replaced, written through.
bool RenameOver(const PlatformOutput& output) {
    if (Fails(OpRename)) return false;
    if (output.replaces) {
        char target[MAX_PATH], temporary[MAX_PATH];  // Wine's ReplaceFile takes full paths only
        const DWORD t = GetFullPathNameA(output.target, MAX_PATH, target, nullptr);
        const DWORD n = GetFullPathNameA(output.temporary, MAX_PATH, temporary, nullptr);
        if (t > 0 && t < MAX_PATH && n > 0 && n < MAX_PATH &&
            ReplaceFileA(target, temporary, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS,
                         nullptr, nullptr) != 0)
            return true;
    }
    const DWORD durable = output.replaces ? MOVEFILE_WRITE_THROUGH : 0;
    return MoveFileExA(output.temporary, output.target, MOVEFILE_REPLACE_EXISTING | durable) != 0;
}

bool EndOverwrite(PlatformOutput& output, PlatformFile* file, bool complete) {
    const int fd = _fileno(file);
    bool ok = complete && std::fflush(file) == 0 && !Fails(OpTruncate) &&
              _chsize_s(fd, static_cast<int64_t>(output.written)) == 0 && SyncFile(file);
    // Nothing written over: whole again at its own length.
    if (!complete && _telli64(fd) == 0) _chsize_s(fd, static_cast<int64_t>(output.kept));
    return PlatformClose(file) && ok;
}

}  // namespace

bool Begin(const char* name, uint64_t bytes, PlatformOutput& output) {
    const size_t length = std::strlen(name);
    if (length >= sizeof output.target) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memcpy(output.target, name, length + 1);
    // Only a regular file or a missing one is replaced through a temporary;
    // a device is written as it is.
    struct _stat64 info;
    if (Fails(OpAccess) || _stat64(output.target, &info) != 0) {
        if (errno != ENOENT) return false;
    } else if ((info.st_mode & _S_IFMT) != _S_IFREG) {
        return (output.file = PlatformOpen(name, "wb")) != nullptr;
    } else if ((info.st_mode & _S_IWRITE) == 0) {
        errno = EACCES;  // read-only: not replaced behind the caller's back
        return false;
    } else {
        output.replaces = true;
    }
    const int fd = CreateTemporary(output);
    if (fd < 0) return output.replaces && Overwrite(output, bytes);
    if (StreamOn(output, fd)) return true;
    CloseDescriptor(fd);
    _unlink(output.temporary);
    output.temporary[0] = '\0';
    return false;
}

bool End(PlatformOutput& output, bool complete) {
    PlatformFile* file = output.file;
    output.file = nullptr;
    if (output.overwrites) return EndOverwrite(output, file, complete);
    if (output.temporary[0] == '\0') return PlatformClose(file) && complete;
    // The rename of a replacement writes through, folder included.
    bool ok = complete && (!output.replaces || SyncFile(file));
    ok = PlatformClose(file) && ok;
    ok = ok && RenameOver(output);
    if (!ok && !Fails(OpRemove)) _unlink(output.temporary);
    output.temporary[0] = '\0';
    return ok;
}

bool SecureRandom(uint8_t (&bytes)[8]) {
    // RtlGenRandom, the system's cryptographic source, without linking bcrypt.
    using GenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);
    // Most processes have it loaded already (and Windows 7 without KB2533623
    // knows no search flags); else it is loaded from the system folder only
    // for this call: nothing is kept between calls.
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    const bool loaded = advapi == nullptr;
    if (loaded) advapi = LoadLibraryExA("advapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (advapi == nullptr) return false;
    const auto gen = reinterpret_cast<GenRandomFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(advapi, "SystemFunction036")));
    const bool ok = gen != nullptr && gen(bytes, sizeof bytes) != FALSE;
    if (loaded) FreeLibrary(advapi);
    return ok;
}

bool StartWriteBack(PlatformOutput&) { return true; }

}  // namespace replace
}  // namespace vintrel
