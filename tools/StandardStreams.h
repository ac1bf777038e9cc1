// "-" as a picture: standard input saved whole to a scratch file first (the
// library seeks), the picture written to a scratch file and then sent to
// standard output (linux/StandardStreams.cpp, windows/StandardStreams.cpp).
#pragma once

#include "Host.h"

namespace host {

// A fresh folder of its own in the system's temporary folder.
bool MakeScratch(Text& folder);
// The folder and whatever is left in it.
void RemoveScratch(const Text& folder);
enum class Saved { Whole, ReadFailed, WriteFailed };
// Standard input copied whole to the new file `path`; errno says why not.
Saved SaveStandardInput(const Text& path);
// A name such as /dev/stdout for the pipe or terminal standard output is:
// the picture written there would come with the library's lines.
bool NamesStandardOutput(const Text& path);
bool SendToStandardOutput(const Text& path);

// While one lives, what is written to standard output goes to standard
// error: the library's lines, when the picture is what standard output
// carries.
class LinesToStderr {
public:
    LinesToStderr();
    ~LinesToStderr();
    LinesToStderr(const LinesToStderr&) = delete;
    LinesToStderr& operator=(const LinesToStderr&) = delete;

private:
    int saved_;
};

}  // namespace host
