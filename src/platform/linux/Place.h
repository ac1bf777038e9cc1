// Where a name leads: the folder that holds the file it ends at, and that
// file's own name there, with links followed only as the kernel follows
// them in shared folders.
#pragma once

#include <sys/stat.h>

#include "platform/Platform.h"

namespace vintrel {
namespace replace {

enum class Kind { Regular, Missing, Other };

struct Place {
    Kind kind;
    int folder;                   // the holding folder, opened for paths only (O_PATH); -1 for Other
    char own[kPlatformNameBytes];  // the file's own name in it
    struct stat file;             // Regular and Other: what the kernel found there
};

// Each link on the way is read from the folder it sits in, and followed
// only when that folder is not sticky and writable by others, or the
// caller or the folder's owner owns the link: the kernel's rule for shared
// folders, held to here even where the system's setting is off. Then the
// kernel itself follows the name, and must arrive at the same file: a race
// or a rule of its own ends it there. Other names a device or pipe, which
// names without a folder (/dev/stdout, through /proc) may reach too.
// A file found in such a folder is written only when the caller or the
// folder's owner owns it, as the kernel opens one there for creation.
// False with errno (EACCES for a link not followed or a file not written)
// and nothing open when the name leads nowhere a file may be written.
bool FindPlace(const char* name, Place& place);

void ClosePlace(Place& place);

inline bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace replace
}  // namespace vintrel
