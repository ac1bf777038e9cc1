// The command-line host: arguments, exit statuses, and that it loads and
// drives the real shared library.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/TestSupport.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/wait.h>
#endif

using namespace testing_support;

namespace {

struct HostRun {
    int status;
    std::string out, err;
};

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
std::string Lines(std::string text) {
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
    return text;
}
#else
std::string HostProgram() { return VINTREL_HOST; }
const char kProgramName[] = "bmprotate2";
std::string Lines(std::string text) { return text; }
#endif

// A cross build's program runs under the build's emulator, named outright:
// the shell cannot be relied on to find one by itself.
#ifndef VINTREL_HOST_EMULATOR
#define VINTREL_HOST_EMULATOR ""
#endif

// Output goes to files, never pipes: helper processes of some runners keep
// pipes open long after the program ends. The command is the same for a
// POSIX shell and for cmd.exe.
HostRun Host(const TempDir& dir, const std::string& args, const std::string& program = HostProgram()) {
    const std::string out = dir.File("stdout.txt"), err = dir.File("stderr.txt");
#if defined(_WIN32)
    const std::string cd = "cd /d \"";
#else
    const std::string cd = "cd \"";
#endif
    const std::string emulator = VINTREL_HOST_EMULATOR;
    const std::string command = cd + dir.path() + "\" && " + emulator + (emulator.empty() ? "" : " ") + "\"" +
                                program + "\" " + args + " >\"" + out + "\" 2>\"" + err + "\"";
    int status = std::system(command.c_str());
#if !defined(_WIN32)
    status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    const std::vector<uint8_t> o = ReadFile(out), e = ReadFile(err);
    return HostRun{status, Lines(std::string(o.begin(), o.end())), Lines(std::string(e.begin(), e.end()))};
}

struct ArgCase {
    const char* name;
    std::string args;
    int status;
};

void PrintTo(const ArgCase& c, std::ostream* os) { *os << c.name; }

class BadArguments : public testing::TestWithParam<ArgCase> {};

TEST_P(BadArguments, GiveOneLineOnStandardErrorAndTouchNoFile) {
    TempDir dir;
    WriteFile(dir.File("in.bmp"), EncodeBMP(DistinctPicture(3, 3)));
    const HostRun r = Host(dir, GetParam().args);
    EXPECT_EQ(r.status, GetParam().status);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(FileExists(dir.File("out.bmp")));
}

const ArgCase kBadArguments[] = {
    {"None", "", 64}, {"TwoArgs", "in.bmp out.bmp", 64}, {"FiveArgs", "in.bmp out.bmp 1 2", 64},
    {"Fraction", "in.bmp out.bmp 3.5", 64}, {"Exponent", "in.bmp out.bmp 1e3", 64},
    {"Empty", "in.bmp out.bmp \"\"", 64}, {"Word", "in.bmp out.bmp abc", 64},
    {"Blank", "in.bmp out.bmp \" 30\"", 64}, {"Sign", "in.bmp out.bmp -", 64},
    {"AboveInt32", "in.bmp out.bmp 2147483648", 64}, {"BelowInt32", "in.bmp out.bmp -2147483649", 64},
#if !defined(_WIN32)  // Windows passes arguments as UTF-16: there is no bad UTF-8 to give
    {"NotUtf8", "\"$(printf '\\377')\" out.bmp 30", 64},
#endif
};

INSTANTIATE_TEST_SUITE_P(
    Table, BadArguments, testing::ValuesIn(kBadArguments),
    [](const testing::TestParamInfo<ArgCase>& p) { return std::string(p.param.name); });

TEST(Host, RotatesThroughTheLibrary) {
    TempDir dir;
    const Picture picture = DistinctPicture(21, 11);
    WriteFile(dir.File("in.bmp"), EncodeBMP(picture));
    for (const char* angle : {"30", "+30", "-2147483648", "2147483647"}) {
        const HostRun r = Host(dir, "\"" + dir.File("in.bmp") + "\" \"" + dir.File("out.bmp") + "\" " + angle);
        EXPECT_EQ(r.status, 0) << angle << r.err;
        EXPECT_EQ(r.out, "File has been read successfully.\nFile has been written successfully.\n");
        EXPECT_EQ(DecodeWrittenBMP(ReadFile(dir.File("out.bmp"))), ReferenceRotate(picture, std::atoi(angle)));
    }
}

TEST(Host, ExitStatusPerResult) {
    TempDir dir;
    Header eightBit;
    eightBit.biBitCount = 8;
    Header badSignature;
    badSignature.bfType = 0;
    WriteFile(dir.File("8bit.bmp"), EncodeBMP(DistinctPicture(2, 2), eightBit));
    WriteFile(dir.File("sig.bmp"), EncodeBMP(DistinctPicture(2, 2), badSignature));
    WriteFile(dir.File("ok.bmp"), EncodeBMP(DistinctPicture(2, 2)));
    const std::string out = " \"" + dir.File("out.bmp") + "\" 0";
    EXPECT_EQ(Host(dir, "\"" + dir.File("sig.bmp") + "\"" + out).status, 1);
    EXPECT_EQ(Host(dir, "\"" + dir.File("8bit.bmp") + "\"" + out).status, 2);
    EXPECT_EQ(Host(dir, "\"" + dir.File("absent.bmp") + "\"" + out).status, 3);
    EXPECT_EQ(Host(dir, "\"" + dir.File("ok.bmp") + "\" \"" + dir.path() + "/no/dir.bmp\" 0").status, 1);
    EXPECT_FALSE(FileExists(dir.File("out.bmp")));
}

TEST(Host, HelpAndVersion) {
    TempDir dir;
    const HostRun help = Host(dir, "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: bmprotate2 INPUT OUTPUT ANGLE"), std::string::npos);
    EXPECT_NE(help.out.find("clockwise"), std::string::npos);
    EXPECT_NE(help.out.find("69"), std::string::npos);
    const HostRun version = Host(dir, "--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "VintrelBMPRotate2 1.0.0.1\n");
}

TEST(Host, MissingLibraryIsReported) {
    TempDir dir;
    const std::string lonely = dir.File(kProgramName);
    std::filesystem::copy_file(HostProgram(), lonely);
    std::filesystem::permissions(lonely, std::filesystem::perms::owner_all);
    WriteFile(dir.File("in.bmp"), EncodeBMP(DistinctPicture(3, 3)));
    const HostRun r = Host(dir, "\"" + dir.File("in.bmp") + "\" \"" + dir.File("out.bmp") + "\" 30", lonely);
    EXPECT_EQ(r.status, 69);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("cannot load"), std::string::npos) << r.err;
    EXPECT_FALSE(FileExists(dir.File("out.bmp")));
}

}  // namespace
