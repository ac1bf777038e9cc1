// Safe replacement of the output (PlatformBeginOutput, PlatformEndOutput):
// the portable steps in Replace.cpp, and what each system folder supplies
// in its own Replace.cpp, where the system's rules for links, owners,
// permissions and durable renames live.
#pragma once

#include "platform/Platform.h"

namespace vintrel {
namespace replace {

enum class TemporaryOutcome { Created, InPlace, Failed };

// Portable (Replace.cpp).

// The folder part of `path`, with its separator: its length.
size_t FolderLength(const char* path);
// A new file beside output.target under an unpredictable name, created
// exclusively: its descriptor, or -1 with `otherwise` saying what to do.
int CreateUnderFreshName(PlatformOutput& output, TemporaryOutcome& otherwise);
// The stream on the new file `fd`; Created, or Failed with it removed.
TemporaryOutcome StreamOnTemporary(PlatformOutput& output, int fd);
// Closes and removes the new file; `outcome` passes through.
TemporaryOutcome DiscardTemporary(PlatformOutput& output, int fd, TemporaryOutcome outcome);
// The stream buffer every file gets (Streams.cpp).
PlatformFile* Buffered(PlatformFile* file);

// Per system.

// Follows the system's rules for what may be replaced, then creates the
// temporary with CreateUnderFreshName and opens it with StreamOnTemporary.
TemporaryOutcome CreateTemporary(PlatformOutput& output);
bool SecureRandom(uint8_t (&bytes)[8]);
int OpenExclusive(const char* name);  // -1 with errno on failure
PlatformFile* StreamOn(int fd);
void CloseDescriptor(int fd);
bool RemoveFile(const char* name);
// Everything written is on the storage before the rename.
bool SyncFile(PlatformFile* file);
bool RenameOver(const char* from, const char* to);

}  // namespace replace
}  // namespace vintrel
