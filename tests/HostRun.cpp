// Running the host program through the system's shell, output to files.
#include "HostRun.h"

#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/wait.h>
#endif

using namespace testing_support;

namespace host_testing {

#if defined(_WIN32)
// Beside this test program, as the build puts it.
std::string HostProgram() {
    char self[MAX_PATH];
    const std::string path(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
    return path.substr(0, path.find_last_of("\\/") + 1) + VINTREL_HOST;
}
const char kProgramName[] = "bmprotate2.exe";

// Text-mode standard output ends lines with CR LF here; the lines are what
// is compared.
static std::string Lines(std::string text) {
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
    return text;
}
#else
std::string HostProgram() { return VINTREL_HOST; }
const char kProgramName[] = "bmprotate2";
static std::string Lines(std::string text) { return text; }
#endif

// A cross build's program runs under the build's emulator, named outright:
// the shell cannot be relied on to find one by itself.
#ifndef VINTREL_HOST_EMULATOR
#define VINTREL_HOST_EMULATOR ""
#endif
const char kEmulator[] = VINTREL_HOST_EMULATOR;

// Output goes to files, never pipes: helper processes of some runners keep
// pipes open long after the program ends. The command is the same for a
// POSIX shell and for cmd.exe.
namespace {
std::string Emulated(const std::string& program) {
    const std::string emulator = kEmulator;
    return emulator + (emulator.empty() ? "" : " ") + "\"" + program + "\"";
}
}  // namespace

std::string HostCommand() { return Emulated(HostProgram()); }

HostRun Host(const TempDir& dir, const std::string& args, const std::string& program) {
    const std::string out = dir.File("stdout.txt"), err = dir.File("stderr.txt");
#if defined(_WIN32)
    const std::string cd = "cd /d \"";
#else
    const std::string cd = "cd \"";
#endif
    const bool own = program.find_first_of("/\\") == std::string::npos && program != HostProgram();
    const std::string run = own ? "\"" + program + "\"" : Emulated(program);
    const std::string command = cd + dir.path() + "\" && " + run + " " + args + " >\"" + out + "\" 2>\"" + err + "\"";
#if defined(_WIN32)
    // As UTF-16: a narrow command would pass through the ANSI code page.
    const std::u16string wide = U16(command);
    int status = _wsystem(reinterpret_cast<const wchar_t*>(wide.c_str()));
#else
    int status = std::system(command.c_str());
    status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    const std::vector<uint8_t> o = ReadFile(out), e = ReadFile(err);
    const std::string bytes(o.begin(), o.end());
    return HostRun{status, Lines(bytes), Lines(std::string(e.begin(), e.end())), bytes};
}

}  // namespace host_testing
