// Where a whole name's folder part ends, in the ANSI code page.
#pragma once

#include <cstddef>

namespace vintrel {
namespace replace {

// The length of the folder part of `path`, its last separator included.
size_t FolderLength(const char* path);

}  // namespace replace
}  // namespace vintrel
