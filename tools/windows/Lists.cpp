// Lists in the system's own code pages. Notepad's "ANSI" and PowerShell 5's
// -Encoding Default write the ANSI code page; cmd's `dir /b > list.txt`
// writes its console's, the OEM one: each name is read in the ANSI code page
// unless only its reading in the console's names a file.
#include "../Lists.h"

#include "../Diagnosis.h"
#include "CodePages.h"

namespace host {

namespace {

// One name of the list, separator and CR aside, as UTF-16.
Text Read(const std::string& bytes, unsigned ansi, unsigned console) {
    const Text asAnsi = FromCodePage(ansi, bytes);
    if (console == ansi || Exists(asAnsi)) return asAnsi;
    const Text asConsole = FromCodePage(console, bytes);
    return Exists(asConsole) ? asConsole : asAnsi;
}

}  // namespace

void LegacyListToUtf8(std::string& bytes) {
    const unsigned ansi = SystemAnsiCodePage(), console = ConsoleCodePage();
    std::string utf8;
    for (size_t start = 0; start <= bytes.size();) {
        size_t end = bytes.find_first_of(std::string("\n\0", 2), start);
        if (end == std::string::npos) end = bytes.size();
        size_t stop = end;
        if (stop > start && bytes[stop - 1] == '\r') --stop;
        utf8 += Narrow(Read(bytes.substr(start, stop - start), ansi, console));
        utf8.append(bytes, stop, end - stop + (end < bytes.size() ? 1 : 0));
        start = end + 1;
    }
    bytes.swap(utf8);
}

}  // namespace host
