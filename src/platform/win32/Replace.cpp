// Windows: links are not followed; a replacement keeps the old file's access
// list, owner, attributes and streams (ReplaceFile), a new output is renamed
// into place.
#include "platform/Replace.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/FaultHook.h"
#include "platform/win32/Windows.h"

namespace vintrel {
namespace replace {

// Only a regular file or a missing one is replaced through a temporary.
TemporaryOutcome CreateTemporary(PlatformOutput& output) {
    struct _stat64 info;
    if (Fails(OpStat) || _stat64(output.target, &info) != 0) {
        if (errno != ENOENT) return TemporaryOutcome::InPlace;
    } else if ((info.st_mode & _S_IFMT) != _S_IFREG || (info.st_mode & _S_IWRITE) == 0) {
        return TemporaryOutcome::InPlace;  // a device, or a read-only file the in-place open refuses as it always did
    } else {
        output.replaces = true;
    }
    TemporaryOutcome otherwise;
    const int fd = CreateUnderFreshName(output, otherwise);
    if (fd < 0) return otherwise;
    return StreamOnTemporary(output, fd);
}

bool SecureRandom(uint8_t (&bytes)[8]) {
    // RtlGenRandom, the system's cryptographic source, without linking bcrypt.
    using GenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);
    // Loaded only for this call if the process had not loaded it: nothing is
    // kept between calls.
    HMODULE advapi = LoadLibraryExA("advapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (advapi == nullptr) return false;
    const auto gen = reinterpret_cast<GenRandomFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(advapi, "SystemFunction036")));
    const bool ok = gen != nullptr && gen(bytes, sizeof bytes) != FALSE;
    FreeLibrary(advapi);
    return ok;
}

int OpenExclusive(const char* name) {
    return _open(name, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

PlatformFile* StreamOn(int fd) { return _fdopen(fd, "wb"); }

void CloseDescriptor(int fd) { _close(fd); }

bool RemoveFile(const char* name) { return !Fails(OpRemove) && _unlink(name) == 0; }

bool SyncFile(PlatformFile* file) {
    return !Fails(OpSync) && std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
}

// Windows has no set-ID bits.
bool KeepSetIdBits(const PlatformOutput&, PlatformFile*) { return true; }

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

// Temporaries always have a name here, and the rename of a replacement
// writes through, folder included.
int OpenUnnamed(const PlatformOutput&) {
    errno = EOPNOTSUPP;
    return -1;
}
bool NoUnnamedFiles(int) { return true; }
bool LinkTemporary(PlatformOutput&, PlatformFile*) { return false; }
void SyncFolder(const char*) {}
bool StartWriteBack(PlatformOutput&) { return true; }

}  // namespace replace
}  // namespace vintrel
