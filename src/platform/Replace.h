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
// A fresh unpredictable name beside output.target, in output.temporary.
bool TemporaryName(PlatformOutput& output);
// A new file beside output.target: unnamed where the system has such files
// (output.unnamed), else under an unpredictable name, created exclusively.
// Its descriptor, or -1 with `otherwise` saying what to do.
int CreateUnderFreshName(PlatformOutput& output, TemporaryOutcome& otherwise);
// The stream on the new file `fd`; Created, or Failed with it removed.
TemporaryOutcome StreamOnTemporary(PlatformOutput& output, int fd);
// Closes and removes the new file; `outcome` passes through.
TemporaryOutcome DiscardTemporary(PlatformOutput& output, int fd, TemporaryOutcome outcome);

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
// Puts back the set-ID bits of output.setIdMode once everything is written:
// a write by a caller without the privilege to keep them clears them.
bool KeepSetIdBits(const PlatformOutput& output, PlatformFile* file);
bool RenameOver(const PlatformOutput& output);
// A file with no name in the target's folder, which a killed process cannot
// leave behind: its descriptor, or -1 with errno, where NoUnnamedFiles(errno)
// says the system or the file system has none.
int OpenUnnamed(const PlatformOutput& output);
bool NoUnnamedFiles(int error);
// Names the complete unnamed file freshly beside the target, for the rename.
bool LinkTemporary(PlatformOutput& output, PlatformFile* file);
// Makes a rename in `path`'s folder durable. The picture is in place by
// then, so a failure here is no failed write and is not reported.
void SyncFolder(const char* path);
// Starts the device writing what the stream holds so far, without waiting.
// False only when the stream's flush fails; a refused hint is no failure.
bool StartWriteBack(PlatformOutput& output);

}  // namespace replace
}  // namespace vintrel
