// The single form: one picture, INPUT OUTPUT ANGLE, and the library's own
// lines on standard output.
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "Host.h"

namespace host {

int StatusFor(int32_t result) {
    switch (result) {
        case 999: return ExitWritten;
        case -1: return ExitInvalidOrUnwritable;
        case -2: return ExitNot24Bit;
        case -3: return ExitNotFound;
        default: return ExitUnexpected;
    }
}

// A whole number in the signed 32-bit range, nothing else: no blanks, no
// fraction, no exponent.
bool ParseAngle(const char* text, int32_t& angle) {
    const char* p = text;
    if (*p == '+' || *p == '-') ++p;
    if (*p == '\0') return false;
    for (const char* q = p; *q != '\0'; ++q)
        if (*q < '0' || *q > '9') return false;
    errno = 0;
    const long long value = std::strtoll(text, nullptr, 10);
    if (errno != 0 || value < INT32_MIN || value > INT32_MAX) return false;
    angle = static_cast<int32_t>(value);
    return true;
}

int Fail(int status, const std::string& message) {
    std::fprintf(stderr, "bmprotate2: %s\n", message.c_str());
    return status;
}

int RunSingle(const std::vector<Text>& args) {
    int32_t angle = 0;
    if (!ParseAngle(Narrow(args[3]).c_str(), angle))
        return Fail(ExitUsage, "ANGLE must be a whole number from -2147483648 to 2147483647, not '" +
                                   Narrow(args[3]) + "'");
    std::u16string input, output;
    if (!ToWide(args[1], input) || !ToWide(args[2], output))
        return Fail(ExitUsage, "file names must be valid UTF-8");
    BMPRotate2Fn rotate = LoadExport();
    if (rotate == nullptr) return Fail(ExitNoLibrary, "cannot load " VINTREL_LIBRARY_FILE);
    return StatusFor(rotate(input.c_str(), output.c_str(), angle));
}

}  // namespace host
