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
static const char kCd[] = "cd /d \"";

// Text-mode standard output ends lines with CR LF here; the lines are what
// is compared.
static std::string Lines(std::string text) {
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
    return text;
}
#else
std::string HostProgram() { return VINTREL_HOST; }
const char kProgramName[] = "bmprotate2";
static const char kCd[] = "cd \"";
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
static std::string Emulated(const std::string& program) {
    const std::string emulator = kEmulator;
    return emulator + (emulator.empty() ? "" : " ") + "\"" + program + "\"";
}

std::string HostCommand() { return Emulated(HostProgram()); }

HostRun Host(const TempDir& dir, const std::string& args, const std::string& program) {
    const std::string out = dir.File("stdout.txt"), err = dir.File("stderr.txt");
    const bool own = program.find_first_of("/\\") == std::string::npos && program != HostProgram();
    const std::string run = own ? "\"" + program + "\"" : Emulated(program);
    const std::string command = kCd + dir.path() + "\" && " + run + " " + args + " >\"" + out + "\" 2>\"" + err + "\"";
#if defined(_WIN32)
    // As UTF-16: a narrow command would pass through the ANSI code page.
    int status = _wsystem(reinterpret_cast<const wchar_t*>(U16(command).c_str()));
#else
    int status = std::system(command.c_str());
    status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    const std::vector<uint8_t> o = ReadFile(out), e = ReadFile(err);
    return HostRun{status, Lines(std::string(o.begin(), o.end())), Lines(std::string(e.begin(), e.end())), o};
}

}  // namespace host_testing
