// The single form: one picture, INPUT OUTPUT ANGLE, the library's own lines
// on standard output, and the program's reason on standard error.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "Diagnosis.h"
#include "Host.h"
#include "LibraryNames.h"
#include "StandardStreams.h"
#include "Reasons.h"
#include "Signals.h"

namespace host {

namespace {

// What the picture needs made for it (a scratch folder for "-", names for
// the library), gone however it ends: at once on a stop, which then ends
// the program as the signal would have.
struct Job {
    Text scratch;
    LibraryNames names;
    ~Job() { Clear(); }
    void Clear() {
        names.Finish(false);
        if (!scratch.empty()) RemoveScratch(scratch);
        scratch.clear();
    }
    void EndIfStopped() {
        if (const int signal = StopSignal()) {
            Clear();
            EndBySignal(signal);
        }
    }
    Text File(const char* name) const { return scratch + kSeparator + Text(name, name + std::char_traits<char>::length(name)); }
};

}  // namespace

int RunSingle(const Text& in, const Text& out, const Text& angleText, bool noClobber) {
    int32_t angle = 0;
    if (!ParseAngle(Narrow(angleText).c_str(), angle))
        return Fail(ExitUsage, "ANGLE must be a whole number from -2147483648 to 2147483647, not '" +
                                   Narrow(angleText) + "'");
    const Text dash(1, '-');
    const bool fromStdin = in == dash, toStdout = out == dash || NamesStandardOutput(out);
    BMPRotate2Fn rotate = LoadExport();
    if (rotate == nullptr) return Fail(ExitNoLibrary, "cannot load " + LibraryNotLoaded());
    // Kept if it exists now; if it appears while the picture is turned, too.
    const bool keep = noClobber && !toStdout;
    if (keep && Exists(out)) return Fail(ExitWritten, Shown(out) + ": exists, skipped");

    WatchStops(true);
    Job job;
    if ((fromStdin || toStdout) && !MakeScratch(job.scratch))
        return Fail(ExitSoftware, "cannot make a scratch folder for '-'");
    const Text input = fromStdin ? job.File("in.bmp") : in, output = toStdout ? job.File("out.bmp") : out;
    if (fromStdin) {
        const Saved saved = SaveStandardInput(input);
        const int error = errno;
        job.EndIfStopped();
        if (saved == Saved::ReadFailed) return Fail(ExitNotFound, "-: standard input cannot be read");
        if (saved == Saved::WriteFailed)
            return Fail(ExitSoftware, "-: cannot be saved in the scratch folder: " + std::string(std::strerror(error)));
    }
    if (!job.names.Open(input, output, keep)) return Fail(ExitSoftware, "cannot make a scratch folder for a long name");
    int32_t result;
    {
        std::optional<LinesToStderr> lines;
        if (toStdout) lines.emplace();
        result = rotate(job.names.input(), job.names.output(), angle);
    }
    job.EndIfStopped();
    const LibraryNames::Placed placed = job.names.Finish(result == 999);
    if (result != 999) {
        const Cause cause = CauseOf(input, output, result, angle);
        return Fail(StatusFor(result), Shown(cause.ofOutput ? out : in) + ": " + cause.why);
    }
    if (placed == LibraryNames::Placed::Kept) return Fail(ExitWritten, Shown(out) + ": exists, skipped");
    if (placed == LibraryNames::Placed::Failed) return Fail(ExitInvalidOrUnwritable, Shown(out) + ": cannot be written");
    const bool sent = !toStdout || SendToStandardOutput(output);
    job.EndIfStopped();
    return sent ? ExitWritten : Fail(ExitOutputFailed, "-: standard output cannot be written");
}

}  // namespace host
