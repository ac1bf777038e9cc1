// Windows: links are not followed (MoveFileEx replaces the name itself); the
// rename of a replacement writes through before it returns. The new file
// keeps only the old one's name: its access list, owner, attributes and
// streams are those of any new file in the folder.
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

bool RenameOver(const PlatformOutput& output) {
    const DWORD durable = output.replaces ? MOVEFILE_WRITE_THROUGH : 0;
    return !Fails(OpRename) &&
           MoveFileExA(output.temporary, output.target, MOVEFILE_REPLACE_EXISTING | durable) != 0;
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
