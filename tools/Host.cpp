// What the forms share: statuses, angles and the program's own lines.
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

}  // namespace host
