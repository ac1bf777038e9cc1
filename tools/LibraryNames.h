// The names the library is given for one picture, and how its output is put
// under its own name afterwards (linux/LibraryNames.cpp,
// windows/LibraryNames.cpp).
#pragma once

#include <string>

#include "Host.h"

namespace host {

// The library's own name buffers hold this many bytes of a name's system form.
constexpr size_t kLibraryNameBytes = 199;

// A name the library can hold stands for itself; a longer one reaches the
// same file through a descriptor opened here (Linux). With no-clobber the
// picture is made under a fresh name beside the output, and put under the
// output's own name only where no file has it by then: an output that
// appears while the picture is turned is kept.
class LibraryNames {
public:
    LibraryNames();
    ~LibraryNames();
    LibraryNames(const LibraryNames&) = delete;
    LibraryNames& operator=(const LibraryNames&) = delete;
    // False, with nothing left behind, when what the names need cannot be
    // made (a scratch folder, a random name).
    bool Open(const Text& input, const Text& output, bool noClobber);
    const char16_t* input() const { return input_.c_str(); }
    const char16_t* output() const { return output_.c_str(); }
    enum class Placed { Written, Kept, Failed };
    // After the call: a written picture under its own name (Written), or
    // left out because a file has that name (Kept), or lost (Failed; the
    // output is then as it was). Whatever was made for the names goes.
    Placed Finish(bool written);

private:
    struct State;
    State* state_;
    std::u16string input_, output_;
};

}  // namespace host
