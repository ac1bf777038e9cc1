// What the program finds out about files by itself: why a picture failed,
// and whether an output exists (linux/Diagnosis.cpp, windows/Diagnosis.cpp).
#pragma once

#include <cstdint>
#include <string>

#include "Host.h"

namespace host {

// The causes a picture's failure is put down to, as the manual lists them.
enum class Trouble {
    None, Missing, Denied, Folder, NotFile, ReadError, NoFolder, DiskFull, ReadOnly, TooLong,
    // Windows: a wildcard that matched nothing, a name the ANSI code page
    // cannot hold, a file another program holds open.
    NoMatch, NotInCodePage, InUse
};

// Why `path` cannot be opened and read, if it cannot.
Trouble InputTrouble(const Text& path);
// Up to `size` bytes from the start of `path` (fewer when it is shorter).
bool ReadHead(const Text& path, size_t size, std::string& bytes);
// Why `bytes` more cannot be written as `path`, if it cannot; a check only,
// which leaves nothing behind.
Trouble OutputTrouble(const Text& path, uint64_t bytes);
bool Exists(const Text& path);

}  // namespace host
