// bmprotate2: the command-line host of the library. It loads the library
// the way an application does, by file name at run time, and resolves the
// export by name. One picture (INPUT OUTPUT ANGLE) or many (-a ANGLE -d DIR).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <exception>
#include <new>

#include "Host.h"
#include "Worker.h"

namespace host {
namespace {

const char kUsage[] = "usage: bmprotate2 [-n] [--] INPUT OUTPUT ANGLE  (bmprotate2 --help for more)\n";
const char kHelp[] =
    "usage: bmprotate2 [-n] [--] INPUT OUTPUT ANGLE\n"
    "       bmprotate2 -a ANGLE -d DIR [-j N] [-n] [-q] FILE...\n"
    "       bmprotate2 -a ANGLE -d DIR [-j N] [-n] [-q] [-0] -T LIST\n"
    "\n"
    "Turns the 24-bit BMP picture INPUT by ANGLE degrees about its centre and\n"
    "writes it as a new 24-bit BMP file OUTPUT (which may be INPUT). The canvas\n"
    "is the turned picture's bounding box; uncovered corners are white.\n"
    "A turn is not lossless, not even by 90 degrees: a row or column shifts by\n"
    "one and an edge turns white, so turning a picture in place again and again\n"
    "wears it down. Keep the original.\n"
    "\n"
    "ANGLE  a whole number of degrees, -2147483648 to 2147483647; a positive\n"
    "       angle turns the displayed picture clockwise, a negative one\n"
    "       anticlockwise.\n"
    "INPUT '-' is standard input; OUTPUT '-' is standard output (binary on\n"
    "Windows; elsewhere /dev/stdout on a pipe counts as '-'), and the library's\n"
    "lines then go to standard error. Names of any length are taken (on\n"
    "Windows 199 bytes at most).\n"
    "The library's lines go to standard output; a picture that fails adds\n"
    "'bmprotate2: FILE: reason' on standard error.\n"
    "\n"
    "The second form turns every FILE and writes it as DIR/<its own name>\n"
    "(DIR may be the inputs' own folder). Nothing goes to standard output; a\n"
    "picture that fails gives one line on standard error, 'FILE: ', the\n"
    "library's last line for it and the reason; a summary line ends the run.\n"
    "On Windows the program expands * and ? in FILE itself.\n"
    "On a terminal a progress line is redrawn in place. Ctrl-C (SIGINT),\n"
    "SIGTERM or SIGHUP hands out no more pictures, lets those begun finish, says\n"
    "how many were not done and ends by the signal (on Windows it ends the run\n"
    "at once).\n"
    "  -a, --angle ANGLE        the angle, as above\n"
    "  -d, --output-dir DIR     an existing folder for the turned pictures\n"
    "  -j, --jobs N             worker processes (default: processors online)\n"
    "  -n, --no-clobber         keep every output that exists (both forms)\n"
    "  -q, --quiet              no progress line and no summary\n"
    "  -T, --files-from LIST    the names, one per line ('-': standard input),\n"
    "                           in UTF-8, or UTF-16 with a byte order mark\n"
    "  -0, --null               the lists are NUL-separated (find -print0)\n"
    "  --                       what follows are names, even if they start with -\n"
    "Its exit status is 0 when every picture was written or kept, else the\n"
    "status below of the first picture, in the order given, that failed.\n"
    "\n"
    "Exit status:\n"
    "  0   the picture was written (or kept by -n)\n"
    "  1   the input's signature, compression or plane count is wrong, the\n"
    "      picture is too large, or the output could not be written\n"
    "  2   the input is not 24 bits per pixel\n"
    "  3   the input file cannot be opened or read\n"
    "  4   the library returned a result this program does not know\n"
    "  64  wrong arguments\n"
    "  69  the library cannot be loaded\n"
    "  70  this program failed: out of memory, no scratch folder for '-', or a\n"
    "      worker process could not be started or ended before its picture\n"
    "  74  standard output could not be written\n"
    "  130 stopped by Ctrl-C (128 + the signal's number for another)\n"
    "\n"
    "  -h, --help     this text\n"
    "  -V, --version  the program's version and the library's\n";

// Output the program owes its caller: a write that fails is an error, not
// a silent success.
int Written(const char* what) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return ExitWritten;
    return Fail(ExitOutputFailed, std::string("cannot write the ") + what + " to standard output: " + std::strerror(errno));
}

int ShowVersion() {
    std::printf("bmprotate2 %s\n", VINTREL_VERSION);
    std::string file, version;
    const BMPRotate2Fn rotate = LoadExport();
    if (rotate != nullptr && DescribeLibrary(rotate, file, version))
        std::printf("library %s, version %s\n", file.c_str(), version.c_str());
    else
        std::printf("library: none can be loaded (%s)\n", LibraryNotLoaded().c_str());
    return Written("version");
}

bool Is(const Text& arg, const char* shortName, const char* longName) {
    const std::string word = Narrow(arg);
    return word == shortName || word == longName;
}

int Run(const std::vector<Text>& args) {
    const size_t count = args.size();
    if (count == 2 && Is(args[1], "-h", "--help")) {
        std::fputs(kHelp, stdout);
        return Written("help");
    }
    if (count == 2 && Is(args[1], "-V", "--version")) return ShowVersion();
#if defined(_WIN32)
    if (count == 2 && Narrow(args[1]) == kWorkerSwitch) return RunWorkerProcess();
#endif
    // The single form, [-n] [--] INPUT OUTPUT ANGLE: its options come first,
    // "-" alone is a name, and "--" ends the options, as in any shell tool,
    // so that a name may start with '-'. A batch option makes it the batch form.
    size_t at = 1;
    bool noClobber = false;
    for (; at < count; ++at) {
        const std::string word = Narrow(args[at]);
        if (word == "--") {
            ++at;
            break;
        }
        if (word.size() < 2 || word[0] != '-') break;
        if (Is(args[at], "-n", "--no-clobber")) {
            noClobber = true;
            continue;
        }
        if (IsBatchOption(args[at])) return RunBatch(args);
        return Fail(ExitUsage, "unknown option '" + word + "' (bmprotate2 --help for more)");
    }
    if (count - at != 3) {
        std::fputs(kUsage, stderr);
        return ExitUsage;
    }
    return RunSingle(args[at], args[at + 1], args[at + 2], noClobber);
}

// Out of memory ends the program at once with its own status. Throwing
// std::bad_alloc is no way out: with the address space this short, the
// runtime may have no room for the exception itself, and then it aborts.
[[noreturn]] void OutOfMemory() {
    std::fputs("bmprotate2: out of memory\n", stderr);
    std::_Exit(ExitSoftware);
}

// Whatever goes wrong, the program answers with a status of its own, never a
// signal: nothing thrown leaves main.
template <typename Char>
int Main(int argc, Char** argv) {
    std::set_new_handler(OutOfMemory);
    try {
        std::vector<Text> args(argv, argv + argc);
        return Run(args);
    } catch (const std::exception&) {  // out of memory never arrives here: OutOfMemory has ended the program
        std::fputs("bmprotate2: internal error\n", stderr);
    }
    return ExitSoftware;
}

}  // namespace
}  // namespace host

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) { return host::Main(argc, argv); }
#else
int main(int argc, char** argv) { return host::Main(argc, argv); }
#endif
