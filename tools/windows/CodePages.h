// The code pages a name meets on Windows: the process's ANSI code page, which
// the library converts names to (UTF-8 under this program's manifest, from
// Windows 10 1903 on), and the system's own, in which older tools write.
#pragma once

#include <string>

#include "../Host.h"

namespace host {

// Whether every character of `name` has a form in the process's ANSI code
// page: the library then reaches the file it names, never a look-alike.
bool HasAnsiForm(const Text& name);
// The system's ANSI code page, whatever this process's manifest says: the one
// Notepad's "ANSI" and PowerShell 5's -Encoding Default write.
unsigned SystemAnsiCodePage();
// The code page cmd writes a redirected command's output in: its console's,
// else the system's OEM code page.
unsigned ConsoleCodePage();
// `bytes` in code page `codePage` as UTF-16.
Text FromCodePage(unsigned codePage, const std::string& bytes);

}  // namespace host
