// Running the command-line host as a user does, for the host tests.
#pragma once

#include <string>

#include "support/TestSupport.h"

namespace host_testing {

struct HostRun {
    int status;
    std::string out, err;        // line ends as on POSIX
    std::vector<uint8_t> bytes;  // standard output as written
};

std::string HostProgram();
extern const char kProgramName[];
// A cross build's program runs under the build's emulator ("" for none).
extern const char kEmulator[];
// Sanitizers reserve more address space than a memory limit leaves.
#if defined(VINTREL_SANITIZED)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// The program as a shell starts it: under the emulator, if any, and quoted.
std::string HostCommand();
// The program (or a copy of it, by path) run in `dir` with `args` (UTF-8),
// quoted as the shell wants them; a `program` named bare (sh, prlimit) is one of this
// machine's own and runs without the emulator.
HostRun Host(const testing_support::TempDir& dir, const std::string& args,
             const std::string& program = HostProgram());

}  // namespace host_testing
