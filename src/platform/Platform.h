// The library's only door to the system: heap, buffered file streams, the
// console and file-name conversion. Everything above this layer is portable
// logic; everything system-specific lives behind it, so it can be replaced
// or made to fail in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "limits/Limits.h"

namespace vintrel {

// Process heap. PlatformFree accepts null.
void* PlatformAlloc(size_t bytes);
void* PlatformAllocZeroed(size_t bytes);
void PlatformFree(void* block);

// Buffered binary streams. An empty name never opens.
using PlatformFile = std::FILE;
PlatformFile* PlatformOpen(const char* name, const char* mode);
// Sets `failed` (and never clears it) when the system reports an error, so
// that a file that ends early, which only reads fewer items, can be told
// from one that cannot be read.
size_t PlatformRead(void* into, size_t size, size_t count, PlatformFile* file, bool& failed);
size_t PlatformWrite(const void* from, size_t size, size_t count, PlatformFile* file);
enum PlatformSeekOrigin : int { SeekFromStart = 0, SeekFromCurrent = 1 };
bool PlatformSeek(PlatformFile* file, int64_t offset, PlatformSeekOrigin origin);
bool PlatformFlush(PlatformFile* file);
bool PlatformClose(PlatformFile* file);  // false if buffered data was lost

// A new file put in place of `name` without ever leaving it half written.
//
// Links are followed only as the kernel follows them in shared folders,
// whatever the system's own setting says: a link in a sticky folder that
// others may write is followed only when the caller or the folder's owner
// owns it, and a file there that neither of them owns is not written;
// nothing is then written or created anywhere (EACCES). Where the name ends
// at a regular file or at none, the stream goes to a temporary file in that
// file's folder: on Linux an unnamed one (O_TMPFILE), which a killed process
// cannot leave behind; elsewhere, or where the file system has none, one
// created exclusively under an unpredictable name. PlatformEndOutput names it
// (if unnamed) and renames it over the target only when the caller says
// every byte went down, and removes it otherwise, so a failure leaves the
// target as it was.
//
// A replacement takes on what the old file had: on Linux its owner,
// permission bits, access list and extended attributes (security ones where
// the caller may set them); on Windows its access list, owner, attributes,
// creation time and streams (ReplaceFile). Other hard links to the old file
// keep the old picture. It is made durable: synced before the rename, its
// folder synced after it. A new file is not synced: a power cut takes
// nothing from it that the input cannot give again.
//
// Where no temporary can stand in for the old file (the folder takes no new
// file; its owner, access list or attributes cannot be given to one), the
// old file is written over in place: room for all `bytes` is reserved first,
// so that a full disk or a quota fails with the old picture whole, and the
// file is cut to its new length and synced last. Only an I/O error or a
// crash while it is written over can then leave it neither picture; a file
// system that cannot reserve room is not written over at all. A device or a
// pipe is written as it is.
struct PlatformOutput {
    PlatformFile* file;
    int folder;                          // the target's folder, where folders are opened; else -1
    char target[kPlatformNameBytes];     // the target: its own name in `folder`, else its whole name
    char temporary[kPlatformNameBytes];  // the temporary's, likewise; empty while it has none
    bool unnamed;                        // a temporary with no name yet
    bool replaces;                       // an existing file gets the picture: the write must be durable
    bool overwrites;                     // that file is written over in place, cut to length at the end
    unsigned setIdMode;                  // the old file's mode, where it has set-ID bits that writes clear
    uint64_t kept;                       // in place: the old file's length, put back if nothing was written
    uint64_t written, writtenBack;       // bytes so far; bytes whose write-back has started
};
// `bytes`: the length of the whole new file.
bool PlatformBeginOutput(const char* name, uint64_t bytes, PlatformOutput& output);
// Writes to the output's stream. For a replacement, write-back of each
// finished stretch starts while the rest is written, so that the final sync
// waits only for the tail (Linux; elsewhere the sync at the end does it all).
size_t PlatformOutputWrite(PlatformOutput& output, const void* from, size_t bytes);
// Where the system can write scattered pieces in one call (writev):
// `count` rows of `rowBytes` bytes, one after another in memory from `rows`,
// each followed in the file by `pad` (below 4) zero bytes, written straight
// from the picture with the write-back of PlatformOutputWrite. False when a
// write failed. Elsewhere the caller copies rows and pads through a block.
bool PlatformCanGatherRows();
bool PlatformOutputWriteRows(PlatformOutput& output, const uint8_t* rows, size_t rowBytes, uint32_t pad,
                             uint32_t count);
// Closes the stream and, with a temporary, commits or discards it. True only
// when `complete` and the picture is now under the target's name.
bool PlatformEndOutput(PlatformOutput& output, bool complete);

// Held for the whole of a call, so that calls from several threads run one
// after another. Statically initialised: nothing allocated, no thread made.
void PlatformLockCall();
void PlatformUnlockCall();

// One console line on standard output, line feed appended, flushed at once so
// that it is out before the caller returns.
void PlatformPrintLine(const char* text);

// Converts a NUL-terminated UTF-16 name to the system's narrow encoding for
// file names: bytes on Linux, UTF-8 where they are UTF-8 and U+DC80 to U+DCFF
// standing for the bytes 0x80 to 0xFF that are not (as Python's
// surrogateescape has them); the ANSI code page on Windows, where a character
// with no narrow form becomes its default character, which no file name
// holds. Any other unpaired surrogate names no file: refused. Returns false,
// and leaves `narrow` empty, when the result with its NUL needs more than
// `narrowSize` bytes or cannot be made at all.
bool PlatformWideToNarrow(const char16_t* wide, char* narrow, size_t narrowSize);

// Test hook (FaultHook.cpp), in the object library vintrel_fault_hook that
// the tests link and never in the shared library, which links the inert
// vintrel_no_faults (NoFaults.cpp) instead.
// Every call the layer makes to the system is one numbered operation; tests
// make the n-th one from now fail (with `error` as errno), and count the heap
// blocks and files the layer holds, which are 0 between calls.
enum PlatformOp : int {
    OpAlloc, OpOpen, OpRead, OpWrite, OpSeek, OpFlush, OpSync, OpClose,
    OpRename, OpRemove, OpStat, OpReadLink, OpRandom, OpChmod, OpConvert, OpLink, OpWriteBack,
    OpAttribute, OpReserve, OpTruncate, OpAccess, OpCreate, OpKinds
};
struct PlatformTally {
    uint64_t operations;  // since the last PlatformFailAt
    int64_t blocks;       // heap blocks handed out and not yet freed
    int64_t files;        // files opened and not yet closed
};
// Operation `nth` (1-based, counted from this call) fails; 0 fails none. When
// `trace` is given, the kind of each operation is logged there, up to
// `traceCapacity` entries.
void PlatformFailAt(uint64_t nth, int error, PlatformOp* trace = nullptr, size_t traceCapacity = 0);
// Every operation of `kind` fails with `error` from now on, as a system that
// refuses it always would; OpKinds refuses none again.
void PlatformRefuse(PlatformOp kind, int error);
PlatformTally PlatformCount();
const char* PlatformOpName(PlatformOp op);

}  // namespace vintrel
