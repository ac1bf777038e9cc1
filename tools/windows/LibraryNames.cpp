// Names the library can hold, on Windows: the paths themselves (a longer one
// the library refuses, and the reason says so). With no-clobber the picture
// is made under a fresh name beside the output, then moved under its own
// name by a move that never replaces a file.
#define _CRT_RAND_S
#include "../LibraryNames.h"

#include <windows.h>

#include <cstdlib>

namespace host {

struct LibraryNames::State {
    Text own, fresh;
};

LibraryNames::LibraryNames() : state_(new State) {}

LibraryNames::~LibraryNames() {
    Finish(false);
    delete state_;
}

bool LibraryNames::Open(const Text& input, const Text& output, bool noClobber) {
    Text out = output;
    const Text own = output.substr(OwnNameStart(output));
    if (noClobber && !own.empty() && own != L"." && own != L"..") {
        Text fresh = L".bmprotate2-";
        for (int half = 0; half < 2; ++half) {
            unsigned int random = 0;
            if (rand_s(&random) != 0) return false;
            wchar_t hex[9];
            swprintf(hex, 9, L"%08x", random);
            fresh += hex;
        }
        state_->own = output;
        state_->fresh = out = output.substr(0, OwnNameStart(output)) + fresh + L".bmp";
    }
    input_ = ToWide(input);
    output_ = ToWide(out);
    return true;
}

LibraryNames::Placed LibraryNames::Finish(bool written) {
    State& s = *state_;
    Placed placed = written ? Placed::Written : Placed::Failed;
    if (!s.fresh.empty()) {
        const bool moved = written && MoveFileExW(s.fresh.c_str(), s.own.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
        const DWORD error = GetLastError();
        if (!moved) DeleteFileW(s.fresh.c_str());
        if (written && !moved)
            placed = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? Placed::Kept : Placed::Failed;
        s.fresh.clear();
    }
    return placed;
}

}  // namespace host
