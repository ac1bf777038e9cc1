// The command-line host: arguments, exit statuses, and that it loads and
// drives the real shared library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "support/TestSupport.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
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
#if defined(VINTREL_SANITIZED)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
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
    const char* says = "";  // in the line, where it matters
};

void PrintTo(const ArgCase& c, std::ostream* os) { *os << c.name; }

class BadArguments : public testing::TestWithParam<ArgCase> {};

TEST_P(BadArguments, GiveOneLineOnStandardErrorAndTouchNoFile) {
    TempDir dir;
    WriteFile(dir.File("in.bmp"), EncodeBMP(DistinctPicture(3, 3)));
    std::filesystem::create_directory(dir.File("dir"));
    const HostRun r = Host(dir, GetParam().args);
    EXPECT_EQ(r.status, GetParam().status);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(GetParam().says), std::string::npos) << r.err;
    EXPECT_FALSE(FileExists(dir.File("out.bmp")));
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("dir")));
}

const ArgCase kBadArguments[] = {
    {"None", "", 64}, {"TwoArgs", "in.bmp out.bmp", 64}, {"FiveArgs", "in.bmp out.bmp 1 2", 64},
    {"Fraction", "in.bmp out.bmp 3.5", 64}, {"Exponent", "in.bmp out.bmp 1e3", 64},
    {"Empty", "in.bmp out.bmp \"\"", 64}, {"Word", "in.bmp out.bmp abc", 64},
    {"Blank", "in.bmp out.bmp \" 30\"", 64}, {"Sign", "in.bmp out.bmp -", 64},
    {"AboveInt32", "in.bmp out.bmp 2147483648", 64}, {"BelowInt32", "in.bmp out.bmp -2147483649", 64},
    // The batch form refuses before it touches anything.
    {"BatchNoPictures", "-a 30 -d dir", 64, "no pictures"}, {"BatchNoAngle", "-d dir in.bmp", 64, "ANGLE"},
    {"BatchNoDir", "--angle 30 in.bmp", 64, "DIR"}, {"BatchDirMissing", "-a 30 -d absent in.bmp", 64, "folder"},
    {"BatchDirIsAFile", "-a 30 --output-dir=in.bmp in.bmp", 64, "folder"},
    {"BatchAngleFraction", "-a 1.5 -d dir in.bmp", 64, "'1.5'"},
    {"BatchAngleAboveInt32", "-a 2147483648 -d dir in.bmp", 64, "ANGLE"},
    {"BatchJobsZero", "-j 0 -a 30 -d dir in.bmp", 64, "'0'"},
    {"BatchJobsWord", "--jobs=two -a 30 -d dir in.bmp", 64, "'two'"},
    {"BatchJobsNegative", "-j -2 -a 30 -d dir in.bmp", 64, "'-2'"},
    {"BatchUnknownOption", "-a 30 -d dir -x in.bmp", 64, "'-x'"},
    {"BatchValueMissing", "-a 30 in.bmp -d", 64, "'-d'"},
    {"BatchListMissing", "-a 30 -d dir -T absent.txt", 64, "absent.txt"},
    {"BatchNoOwnName", "-a 30 -d dir in.bmp dir/", 64, "'dir/'"},
    {"BatchSameNames", "-q -a 30 -d dir in.bmp b.bmp ./in.bmp c/b.bmp a/in.bmp", 64,
     "b.bmp'; 'in.bmp', './in.bmp' and 'a/in.bmp' would all be written to"},
#if !defined(_WIN32)  // Windows passes arguments as UTF-16: there is no bad UTF-8 to give
    {"NotUtf8", "\"$(printf '\\377')\" out.bmp 30", 64},
    {"BatchNotUtf8", "-a 30 -d dir in.bmp \"$(printf '\\377')\"", 64, "UTF-8"},
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
    EXPECT_NE(help.out.find("bmprotate2 -a ANGLE -d DIR [-j N] [-q] -T LIST"), std::string::npos);
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
    for (const std::string& args : {"\"" + dir.File("in.bmp") + "\" \"" + dir.File("out.bmp") + "\" 30",
                                    "-a 30 -d \"" + dir.path() + "\" -q \"" + dir.File("in.bmp") + "\""}) {
        const HostRun r = Host(dir, args, lonely);
        EXPECT_EQ(r.status, 69);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("cannot load"), std::string::npos) << r.err;
        EXPECT_FALSE(FileExists(dir.File("out.bmp")));
        EXPECT_EQ(ReadFile(dir.File("in.bmp")), EncodeBMP(DistinctPicture(3, 3)));
    }
}

// Many sizes, names beyond ASCII, and every kind of failure, in one batch:
// each written picture against the plain loop, every failure's line, the
// summary, and the status of the first failure in the order given.
TEST(HostBatch, MixedBatch) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("out"));
    Header eightBit;
    eightBit.biBitCount = 8;
    Header badSignature;
    badSignature.bfType = 0;
    const std::vector<std::pair<std::string, Picture>> good = {
        {"a.bmp", DistinctPicture(1, 1)}, {"b.bmp", DistinctPicture(64, 48)}, {"bild-\xC3\xA4.bmp", DistinctPicture(17, 5)},
#if !defined(_WIN32)  // beyond the ANSI code page the library converts names to there
        {"\xE7\x94\xBB\xE5\x83\x8F.bmp", DistinctPicture(2, 300)},
#endif
        {"c.bmp", DistinctPicture(333, 7)}};
    for (const auto& g : good) WriteFile(dir.File(g.first), EncodeBMP(g.second));
    WriteFile(dir.File("8bit.bmp"), EncodeBMP(DistinctPicture(2, 2), eightBit));
    WriteFile(dir.File("sig.bmp"), EncodeBMP(DistinctPicture(2, 2), badSignature));
    std::string list = good[0].first + "\n8bit.bmp\n" + good[1].first + "\r\nsig.bmp\n\nabsent.bmp\n";
    for (size_t i = 2; i < good.size(); ++i) list += good[i].first + "\n";
    WriteFile(dir.File("list.txt"), std::vector<uint8_t>(list.begin(), list.end()));

    const HostRun r = Host(dir, "-j 2 -a -30 -d out -T list.txt");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = r.err.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(r.err.substr(at, end - at));
    ASSERT_FALSE(lines.empty()) << r.err;
    EXPECT_EQ(lines.back(), std::to_string(good.size() + 3) + " pictures: " + std::to_string(good.size()) +
                                " written, 3 failed");
    lines.pop_back();
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "8bit.bmp: File has invalid resolution. Program works only with 24-bits bmp format.",
                         "absent.bmp: File not found.", "sig.bmp: File has invalid signature."}));
    EXPECT_EQ(r.err.find('\r'), std::string::npos) << "no progress outside a terminal";
    for (const auto& g : good)
        EXPECT_EQ(DecodeWrittenBMP(ReadFile(dir.File("out/" + g.first))), ReferenceRotate(g.second, -30)) << g.first;
    EXPECT_FALSE(FileExists(dir.File("out/8bit.bmp")) || FileExists(dir.File("out/absent.bmp")));

    // Into the inputs' own folder: each picture replaced, quietly.
    const HostRun again = Host(dir, "--quiet --jobs=3 --angle=90 --output-dir=. a.bmp b.bmp");
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out + again.err, "");
    for (size_t i = 0; i < 2; ++i)
        EXPECT_EQ(DecodeWrittenBMP(ReadFile(dir.File(good[i].first))), ReferenceRotate(good[i].second, 90));
}

#if !defined(_WIN32)
// The host started directly, so that its workers are its children.
pid_t StartHost(const TempDir& dir, const std::string& args, int errFd) {
    const std::string emulator = VINTREL_HOST_EMULATOR;
    const std::string command = "cd \"" + dir.path() + "\" && exec " + emulator + " \"" + HostProgram() + "\" " + args;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(errFd, 2);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// A worker killed while it opens a picture (a FIFO nobody writes): that
// picture fails, the other worker does the rest, and the run ends in a summary.
TEST(HostBatch, KilledWorker) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("out"));
    const Picture picture = DistinctPicture(40, 30);
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) WriteFile(dir.File(name), EncodeBMP(picture));
    ASSERT_EQ(mkfifo(dir.File("stuck.bmp").c_str(), 0600), 0);
    const int err = open(dir.File("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const pid_t host = StartHost(dir, "-j 2 -a 30 -d out a.bmp stuck.bmp b.bmp c.bmp", err);
    close(err);
    // The worker waits in the FIFO's open for a writer that never comes.
    int killed = 0;
    for (int tries = 0; killed == 0 && tries < 3000; ++tries, usleep(10000)) {
        for (const auto& process : std::filesystem::directory_iterator("/proc")) {
            const std::string pid = process.path().filename();
            if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
            const std::vector<uint8_t> stat = ReadFile(process.path() / "stat"), wchan = ReadFile(process.path() / "wchan");
            const std::string line(stat.begin(), stat.end());
            const size_t name = line.rfind(") ");
            if (name == std::string::npos || std::atoi(line.c_str() + name + 4) != host ||
                std::string(wchan.begin(), wchan.end()) != "wait_for_partner")
                continue;
            killed += kill(std::stoi(pid), SIGKILL) == 0;
        }
    }
    EXPECT_EQ(killed, 1);
    int status = 0;
    ASSERT_EQ(waitpid(host, &status, 0), host);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 70);
    const std::vector<uint8_t> e = ReadFile(dir.File("stderr.txt"));
    EXPECT_EQ(std::string(e.begin(), e.end()),
              "stuck.bmp: worker process killed by signal 9 (Killed)\n4 pictures: 3 written, 1 failed\n");
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"})
        EXPECT_EQ(DecodeWrittenBMP(ReadFile(dir.File(std::string("out/") + name))), ReferenceRotate(picture, 30));
}

// Out of memory in the host itself: its own line and status, never a signal.
TEST(HostBatch, OwnOutOfMemoryIsAStatus) {
    if (std::string(VINTREL_HOST_EMULATOR) != "" || kSanitized || std::system("prlimit --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs prlimit, and the program run natively without sanitizers";
    TempDir dir;
    std::filesystem::create_directory(dir.File("out"));
    std::string list;
    for (int i = 0; i < 1000000; ++i) list += "folder/picture-" + std::to_string(i) + ".bmp\n";
    WriteFile(dir.File("list.txt"), std::vector<uint8_t>(list.begin(), list.end()));
    const HostRun r = Host(dir, "--as=50331648 \"" + HostProgram() + "\" -a 30 -d out -T list.txt", "prlimit");
    EXPECT_EQ(r.status, 70);
    EXPECT_EQ(r.err, "bmprotate2: out of memory\n");
}

// On a terminal the progress line is drawn, then cleared before the summary;
// -q draws nothing.
TEST(HostBatch, ProgressOnATerminal) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("out"));
    WriteFile(dir.File("a.bmp"), EncodeBMP(DistinctPicture(9, 9)));
    WriteFile(dir.File("b.bmp"), EncodeBMP(DistinctPicture(5, 9)));
    for (const bool quiet : {false, true}) {
        int terminal = -1, side = -1;
        ASSERT_EQ(openpty(&terminal, &side, nullptr, nullptr, nullptr), 0);
        const pid_t host = StartHost(dir, std::string(quiet ? "-q " : "") + "-a 30 -d out a.bmp b.bmp", side);
        close(side);
        std::string seen;
        char block[256];
        for (ssize_t got; (got = read(terminal, block, sizeof block)) > 0;) seen.append(block, size_t(got));
        close(terminal);
        int status = -1;
        waitpid(host, &status, 0);
        EXPECT_EQ(status, 0) << seen;
        if (quiet) {
            EXPECT_EQ(seen, "");
        } else {
            EXPECT_EQ(seen.rfind("\r0/2 pictures", 0), 0u) << seen;
            EXPECT_NE(seen.find(" \r2 pictures: 2 written, 0 failed\r\n"), std::string::npos) << seen;
        }
    }
}
#endif

}  // namespace
