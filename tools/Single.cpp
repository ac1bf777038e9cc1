// The single form: one picture, INPUT OUTPUT ANGLE, the library's own lines
// on standard output, and the program's reason on standard error.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "Files.h"
#include "Host.h"
#include "Pipes.h"
#include "Reasons.h"

namespace host {

namespace {

// Removes the scratch folder however the picture ends.
struct Scratch {
    Text folder;
    ~Scratch() {
        if (!folder.empty()) RemoveScratch(folder);
    }
    Text File(const char* name) const { return folder + kSeparator + Text(name, name + std::char_traits<char>::length(name)); }
};

}  // namespace

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

int RunSingle(const Text& in, const Text& out, const Text& angleText, bool noClobber) {
    int32_t angle = 0;
    if (!ParseAngle(Narrow(angleText).c_str(), angle))
        return Fail(ExitUsage, "ANGLE must be a whole number from -2147483648 to 2147483647, not '" +
                                   Narrow(angleText) + "'");
    std::u16string wide;
    for (const Text* name : {&in, &out})
        if (!ToWide(*name, wide)) return Fail(ExitUsage, "'" + Shown(*name) + "': the name is not valid UTF-8");
    const Text dash(1, '-');
    const bool fromStdin = in == dash, toStdout = out == dash || NamesStandardOutput(out);
    if (toStdout && !kPictureOnStdout) return Fail(ExitUsage, "'-' as OUTPUT is not available on this system");
    BMPRotate2Fn rotate = LoadExport();
    if (rotate == nullptr) return Fail(ExitNoLibrary, "cannot load " + LibraryNotLoaded());
    if (noClobber && !toStdout && Exists(out)) return Fail(ExitWritten, Shown(out) + ": exists, skipped");

    Scratch scratch;
    if ((fromStdin || toStdout) && !MakeScratch(scratch.folder))
        return Fail(ExitSoftware, "cannot make a scratch folder for '-'");
    const Text input = fromStdin ? scratch.File("in.bmp") : in, output = toStdout ? scratch.File("out.bmp") : out;
    if (fromStdin && !SaveStandardInput(input)) return Fail(ExitNotFound, "-: standard input cannot be read");
    LibraryNames names;
    names.Open(input, output);
    int32_t result;
    {
        std::optional<LinesToStderr> lines;
        if (toStdout) lines.emplace();
        result = rotate(names.input(), names.output(), angle);
    }
    const bool placed = names.Finish(result == 999);
    if (result != 999) {
        const Cause cause = CauseOf(input, output, result, angle);
        return Fail(StatusFor(result), Shown(cause.ofOutput ? out : in) + ": " + cause.why);
    }
    if (!placed) return Fail(ExitInvalidOrUnwritable, Shown(out) + ": cannot be written");
    if (toStdout && !SendToStandardOutput(output))
        return Fail(ExitOutputFailed, "-: standard output cannot be written");
    return ExitWritten;
}

}  // namespace host
