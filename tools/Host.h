// What the parts of the host program share: exit statuses, the text type of
// arguments, and the few system services every form needs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "VintrelBMPRotate2.h"

namespace host {

enum ExitStatus {
    ExitWritten = 0,
    ExitInvalidOrUnwritable = 1,
    ExitNot24Bit = 2,
    ExitNotFound = 3,
    ExitUnexpected = 4,
    ExitUsage = 64,
    ExitNoLibrary = 69,
    ExitSoftware = 70,
    ExitOutputFailed = 74,
};

// Arguments as the system hands them over: bytes on Linux, UTF-16 on
// Windows.
#if defined(_WIN32)
using Text = std::wstring;
#else
using Text = std::string;
#endif

int StatusFor(int32_t result);
// One line on standard error, prefixed with the program's name.
int Fail(int status, const std::string& message);
bool ParseAngle(const char* text, int32_t& angle);

// System services (linux/System.cpp, windows/System.cpp).
std::string Narrow(const Text& text);  // for option words
// A name for a message: bytes that are not UTF-8 as \ooo escapes.
std::string Shown(const Text& name);
// A name as the library takes it: any name the system has.
std::u16string ToWide(const Text& text);
bool FromUtf8(const std::string& utf8, Text& text);  // names read from a list
BMPRotate2Fn LoadExport();
// The library's file, where it was looked for and why it could not be loaded.
std::string LibraryNotLoaded();
// The file the export was loaded from and its version, for --version.
bool DescribeLibrary(BMPRotate2Fn rotate, std::string& file, std::string& version);
bool IsFolder(const Text& path);
unsigned ProcessorsOnline();
bool StderrIsTerminal();
// The whole of a file, or of standard input for "-".
bool ReadWhole(const Text& path, std::string& bytes);
// Where a path's own name starts; the separator put between a folder and a name.
size_t OwnNameStart(const Text& path);
extern const Text::value_type kSeparator;
// Own names that would be one file in a folder.
bool SameOwnName(const Text& a, const Text& b);
bool OwnNameLess(const Text& a, const Text& b);
// The file a name stands for, links followed: one file, one FileId.
struct FileId {
    uint64_t volume, index;
};
bool IdentifyFile(const Text& path, FileId& id);

int RunSingle(const Text& input, const Text& output, const Text& angle, bool noClobber);
int RunBatch(const std::vector<Text>& args);
bool IsBatchOption(const Text& arg);

}  // namespace host
