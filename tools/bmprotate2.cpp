// bmprotate2 INPUT OUTPUT ANGLE: the command-line host of the library. It
// loads the library the way an application does, by file name at run time,
// and resolves the export by name.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "VintrelBMPRotate2.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

enum ExitStatus {
    ExitWritten = 0,
    ExitInvalidOrUnwritable = 1,
    ExitNot24Bit = 2,
    ExitNotFound = 3,
    ExitUnexpected = 4,
    ExitUsage = 64,
    ExitNoLibrary = 69,
};

const char kUsage[] = "usage: bmprotate2 INPUT OUTPUT ANGLE  (bmprotate2 --help for more)\n";
const char kHelp[] =
    "usage: bmprotate2 INPUT OUTPUT ANGLE\n"
    "\n"
    "Turns the 24-bit BMP picture INPUT by ANGLE degrees about its centre and\n"
    "writes it as a new 24-bit BMP file OUTPUT (which may be INPUT). The canvas\n"
    "is the turned picture's bounding box; uncovered corners are white.\n"
    "\n"
    "ANGLE  a whole number of degrees, -2147483648 to 2147483647; a positive\n"
    "       angle turns the displayed picture clockwise, a negative one\n"
    "       anticlockwise.\n"
    "\n"
    "Exit status:\n"
    "  0   the picture was written\n"
    "  1   the input's signature, compression or plane count is wrong, the\n"
    "      picture is too large, or the output could not be written\n"
    "  2   the input is not 24 bits per pixel\n"
    "  3   the input file cannot be opened\n"
    "  4   the library returned a result this program does not know\n"
    "  64  wrong arguments\n"
    "  69  the library cannot be loaded\n"
    "\n"
    "  --help     this text\n"
    "  --version  the library's version\n";

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

#if defined(_WIN32)

using Text = std::wstring;
std::string Narrow(const Text& text) {
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

BMPRotate2Fn LoadExport() {
    // Beside this program first, as an application ships its DLL.
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, n);
    path.erase(path.find_last_of(L"\\/") + 1);
    HMODULE library = LoadLibraryW((path + L"" VINTREL_LIBRARY_FILE_W).c_str());
    if (library == nullptr) library = LoadLibraryW(L"" VINTREL_LIBRARY_FILE_W);
    if (library == nullptr) return nullptr;
    return reinterpret_cast<BMPRotate2Fn>(reinterpret_cast<void*>(GetProcAddress(library, "BMPRotate2")));
}

bool ToWide(const Text& text, std::u16string& wide) {
    wide.assign(text.begin(), text.end());
    return true;
}

#else

using Text = std::string;
std::string Narrow(const Text& text) { return text; }

BMPRotate2Fn LoadExport() {
    // Beside this program, then the installed layout, then the system's search.
    std::string dir;
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        dir.assign(self, static_cast<size_t>(n));
        dir.erase(dir.find_last_of('/') + 1);
    }
    void* library = nullptr;
    if (!dir.empty()) {
        library = dlopen((dir + VINTREL_LIBRARY_FILE).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) library = dlopen((dir + "../lib/" VINTREL_LIBRARY_FILE).c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (library == nullptr) library = dlopen(VINTREL_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return nullptr;
    return reinterpret_cast<BMPRotate2Fn>(dlsym(library, "BMPRotate2"));
}

// Strict UTF-8 to UTF-16; a name that is not UTF-8 cannot be passed on.
bool ToWide(const Text& text, std::u16string& wide) {
    wide.clear();
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    for (size_t i = 0; i < size;) {
        const unsigned char lead = s[i];
        uint32_t c;
        size_t extra;
        if (lead < 0x80) { c = lead; extra = 0; }
        else if (lead >= 0xC2 && lead <= 0xDF) { c = lead & 0x1Fu; extra = 1; }
        else if (lead >= 0xE0 && lead <= 0xEF) { c = lead & 0x0Fu; extra = 2; }
        else if (lead >= 0xF0 && lead <= 0xF4) { c = lead & 0x07u; extra = 3; }
        else return false;
        if (extra > 0 && i + extra >= size) return false;
        for (size_t k = 1; k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            c = (c << 6) | (s[i + k] & 0x3Fu);
        }
        static const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (c < least[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        if (c >= 0x10000) {
            wide += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            wide += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            wide += static_cast<char16_t>(c);
        }
        i += extra + 1;
    }
    return true;
}

#endif

int Run(int argc, const Text* args) {
    if (argc == 2 && Narrow(args[1]) == "--help") {
        std::fputs(kHelp, stdout);
        return ExitWritten;
    }
    if (argc == 2 && Narrow(args[1]) == "--version") {
        std::printf("VintrelBMPRotate2 %s\n", VINTREL_VERSION);
        return ExitWritten;
    }
    if (argc != 4) {
        std::fputs(kUsage, stderr);
        return ExitUsage;
    }
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

// More than four arguments is a usage error whatever they are; eight keep
// the count honest without holding them all.
template <typename Char>
int Main(int argc, Char** argv) {
    Text args[8];
    const int used = argc < 8 ? argc : 8;
    for (int i = 0; i < used; ++i) args[i] = argv[i];
    return Run(used, args);
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) { return Main(argc, argv); }
#else
int main(int argc, char** argv) { return Main(argc, argv); }
#endif
