#include "platform/linux/Attributes.h"

#include <sys/xattr.h>

#include <cerrno>
#include <cstring>

#include "platform/FaultHook.h"

namespace vintrel {
namespace replace {
namespace {

constexpr char kAccessList[] = "system.posix_acl_access";

// The attribute `name` of `from` onto `to`.
bool CarryOne(int from, int to, const char* name) {
    const ssize_t size = Fails(OpAttribute) ? -1 : fgetxattr(from, name, nullptr, 0);
    if (size < 0) return false;
    void* value = PlatformAlloc(size > 0 ? static_cast<size_t>(size) : 1);
    if (value == nullptr) return false;
    const ssize_t got = Fails(OpAttribute) ? -1 : fgetxattr(from, name, value, static_cast<size_t>(size));
    const bool ok = got == size && !Fails(OpAttribute) && fsetxattr(to, name, value, static_cast<size_t>(size), 0) == 0;
    PlatformFree(value);
    return ok;
}

// Without these the new file would give someone more, or its owner less.
bool Needed(const char* name) {
    return std::strncmp(name, "user.", 5) == 0 || std::strncmp(name, "system.", 7) == 0;
}

}  // namespace

bool CarryAttributes(int from, int to) {
    const ssize_t listed = Fails(OpAttribute) ? -1 : flistxattr(from, nullptr, 0);
    if (listed < 0) return errno == ENOTSUP;  // a file system without them: none to carry
    char* names = nullptr;
    if (listed > 0 && (names = static_cast<char*>(PlatformAlloc(static_cast<size_t>(listed)))) == nullptr) return false;
    const ssize_t got = listed > 0 && !Fails(OpAttribute) ? flistxattr(from, names, static_cast<size_t>(listed)) : 0;
    bool ok = got == listed, hadAccessList = false;
    for (ssize_t at = 0; ok && at < got; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
        const char* name = names + at;
        hadAccessList = hadAccessList || std::strcmp(name, kAccessList) == 0;
        ok = CarryOne(from, to, name) || !Needed(name);
    }
    PlatformFree(names);
    if (ok && !hadAccessList && (Fails(OpAttribute) || fremovexattr(to, kAccessList) != 0))
        ok = errno == ENODATA || errno == ENOTSUP;
    return ok;
}

}  // namespace replace
}  // namespace vintrel
