// Safe replacement of the output (PlatformBeginOutput, PlatformEndOutput):
// the portable writing in Replace.cpp; where the output goes, and how it is
// put in place, in each system folder's own files, where the system's rules
// for links, owners, rights and durable renames live.
#pragma once

#include "platform/Platform.h"

namespace vintrel {
namespace replace {

// Portable (Replace.cpp).

// ".vintrel-" and 16 hex digits of a secure random number, ".tmp": a name
// nobody can foresee, short enough for any folder that holds the target.
constexpr size_t kFreshNameBytes = sizeof ".vintrel-0123456789abcdef.tmp";
bool FreshName(char (&name)[kFreshNameBytes]);

// Per system.

bool SecureRandom(uint8_t (&bytes)[8]);
// PlatformBeginOutput after its checks: `output` is reset, `name` is not empty.
bool Begin(const char* name, uint64_t bytes, PlatformOutput& output);
// PlatformEndOutput's commit or discard; output.file is open.
bool End(PlatformOutput& output, bool complete);
// Starts the device writing what the stream holds so far, without waiting.
// False only when the stream's flush fails; a refused hint is no failure.
bool StartWriteBack(PlatformOutput& output);

}  // namespace replace
}  // namespace vintrel
