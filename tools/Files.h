// What the program finds out about files by itself: why a picture failed,
// whether an output exists, and names the library can hold
// (posix/Files.cpp, windows/Files.cpp).
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

// The library's own name buffers hold this many bytes of a name's system form.
constexpr size_t kLibraryNameBytes = 199;

// The names to give the library for one picture: the paths themselves when
// it can hold them, else short ones that reach the same files.
class LibraryNames {
public:
    LibraryNames();
    ~LibraryNames();
    LibraryNames(const LibraryNames&) = delete;
    LibraryNames& operator=(const LibraryNames&) = delete;
    // False when a name is not valid UTF-8.
    bool Open(const Text& input, const Text& output);
    const char16_t* input() const { return input_.c_str(); }
    const char16_t* output() const { return output_.c_str(); }
    // After the call: puts a written output under its own name. False when
    // that fails; the output is then absent or as it was.
    bool Finish(bool written);

private:
    struct State;
    State* state_;
    std::u16string input_, output_;
};

}  // namespace host
