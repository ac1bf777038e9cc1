// The host's batch form: many pictures by worker processes, the failures,
// the summary, the exit status, a killed worker and the progress line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "HostRun.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace testing_support;
using namespace host_testing;
namespace fs = std::filesystem;

namespace {

// How a run ends: its status, and what it says.
using Outcome = std::pair<int, std::string>;

Outcome Ends(const TempDir& dir, const std::string& args, const std::string& program = HostProgram()) {
    const HostRun r = Host(dir, args, program);
    return {r.status, r.err};
}

// Each test's own folder, with an empty `out` in it.
struct HostBatch : testing::Test {
    TempDir dir;
    void SetUp() override { fs::create_directory(dir.File("out")); }
};

#if !defined(_WIN32)
std::string Text(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFile(path);
    return {bytes.begin(), bytes.end()};
}

// The host started directly, so that its workers are its children. It says
// what it says into stderr.txt, or to `terminal` (closed here once the host
// has it); that becomes its controlling terminal if `controlling`, so that ^C
// reaches it and its workers.
pid_t StartHost(const TempDir& dir, const std::string& args, int terminal = -1, bool controlling = false) {
    const std::string command = "cd \"" + dir.path() + "\" && exec " + kEmulator + " \"" + HostProgram() + "\" " + args;
    const int err = terminal >= 0 ? terminal : open(dir.File("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const pid_t pid = fork();
    if (pid == 0) {
        if (controlling) {
            setsid();
            ioctl(terminal, TIOCSCTTY, 0);
            dup2(terminal, 0);
        }
        dup2(err, 2);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(err);
    return pid;
}

// The host's worker that waits in a FIFO's open (for a writer), or -1 after
// half a minute without one.
pid_t WorkerInFifoOpen(pid_t host) {
    for (int tries = 0; tries < 3000; ++tries, usleep(10000)) {
        for (const auto& process : fs::directory_iterator("/proc")) {
            const std::string stat = Text(process.path() / "stat");
            const size_t name = stat.rfind(") ");
            if (name != std::string::npos && std::atoi(stat.c_str() + name + 4) == host &&
                Text(process.path() / "wchan") == "wait_for_partner")
                return std::stoi(process.path().filename());
        }
    }
    return -1;
}

// How the host ended, once it has: its exit status or minus the signal that
// ended it, and what it said into stderr.txt.
Outcome Ended(const TempDir& dir, pid_t host) {
    int status = 0;
    EXPECT_EQ(waitpid(host, &status, 0), host);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status), Text(dir.File("stderr.txt"))};
}
#endif

// Many sizes, names beyond ASCII, and every kind of failure, in one batch:
// each written picture against the plain loop, every failure's line, the
// summary, and the status of the first failure in the order given.
TEST_F(HostBatch, MixedBatch) {
    Header eightBit, badSignature;
    eightBit.biBitCount = 8;
    badSignature.bfType = 0;
    const std::vector<std::pair<std::string, Picture>> good = {
        {"a.bmp", DistinctPicture(1, 1)}, {"b.bmp", DistinctPicture(64, 48)}, {"bild-\xC3\xA4.bmp", DistinctPicture(17, 5)},
        {"\xE7\x94\xBB\xE5\x83\x8F.bmp", DistinctPicture(2, 300)},
#if !defined(_WIN32)  // names are bytes here, not always UTF-8
        {"\xFF\xC3.bmp", DistinctPicture(3, 2)},
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
    const std::string eightBitSays =
        "8bit.bmp: File has invalid resolution. Program works only with 24-bits bmp format. (8 bits per pixel, not a "
        "24-bit BMP)";
    EXPECT_EQ(lines, (std::vector<std::string>{eightBitSays, "absent.bmp: File not found. (no such file)",
                                               "sig.bmp: File has invalid signature. (not a BMP file)"}));
    EXPECT_EQ(r.err.find('\r'), std::string::npos) << "no progress outside a terminal";
    for (const auto& g : good)
        EXPECT_EQ(DecodeWrittenBMP(ReadFile(dir.File("out/" + g.first))), ReferenceRotate(g.second, -30)) << g.first;
    EXPECT_FALSE(FileExists(dir.File("out/8bit.bmp")) || FileExists(dir.File("out/absent.bmp")));

#if !defined(_WIN32)
    // The first picture given fails last (a FIFO, which cannot be read as a
    // file, opened by its worker only once the later picture's failure is
    // out): the status is still its own.
    ASSERT_EQ(mkfifo(dir.File("late.bmp").c_str(), 0600), 0);
    const pid_t host = StartHost(dir, "-j 2 -a 30 -d out late.bmp 8bit.bmp");
    std::string seen;
    for (int tries = 0; seen.find('\n') == std::string::npos && tries < 3000; ++tries, usleep(10000))
        seen = Text(dir.File("stderr.txt"));
    EXPECT_EQ(seen, eightBitSays + "\n");
    // Without blocking: a reader that never came must not hang the test.
    int fifo = -1;
    for (int tries = 0; fifo < 0 && tries < 3000; ++tries, usleep(10000))
        fifo = open(dir.File("late.bmp").c_str(), O_WRONLY | O_NONBLOCK);
    if (fifo < 0) kill(host, SIGKILL);
    ASSERT_GE(fifo, 0) << "the worker never opened late.bmp";
    close(fifo);
    EXPECT_EQ(Ended(dir, host), (Outcome{3, eightBitSays + "\nlate.bmp: File not found. (not a regular file)\n"
                                                         "2 pictures: 0 written, 2 failed\n"}))
        << "the status of late.bmp, first in the order given";
#endif

    // Into the inputs' own folder, from a NUL-separated list: each picture
    // replaced, quietly. There a CR is part of a name, even at its end (no
    // such name on Windows).
    std::string list0("a.bmp\0b.bmp\0", 12);
#if !defined(_WIN32)
    const Picture withCR = DistinctPicture(4, 3);
    WriteFile(dir.File("c.bmp\r"), EncodeBMP(withCR));
    list0 += std::string("c.bmp\r\0", 7);
#endif
    WriteFile(dir.File("list0"), std::vector<uint8_t>(list0.begin(), list0.end()));
    const HostRun again = Host(dir, "--quiet --jobs=3 --angle=90 --output-dir=. --null -T list0");
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out + again.err, "");
    for (size_t i = 0; i < 2; ++i)
        EXPECT_EQ(DecodeWrittenBMP(ReadFile(dir.File(good[i].first))), ReferenceRotate(good[i].second, 90));
#if !defined(_WIN32)
    EXPECT_EQ(DecodeWrittenBMP(ReadFile(dir.File("c.bmp\r"))), ReferenceRotate(withCR, 90));
    EXPECT_EQ(ReadFile(dir.File("c.bmp")), EncodeBMP(good.back().second)) << "turned in place of 'c.bmp\\r'";
#endif

    // With -n every output that exists is kept, each said, and counted; kept
    // before any worker sees it, second in a round of handing out too, its
    // input, absent, is never looked at. Two names that name no file are not
    // one file.
    const std::string absent = "absent.bmp: File not found. (no such file)\n",
                      sum = "2 pictures: 0 written, 1 skipped, 1 failed\n";
    EXPECT_EQ(Ends(dir, "-n -a 30 -d ./ a.bmp absent.bmp"),
              (Outcome{3, "a.bmp: ./a.bmp exists, skipped\n" + absent + sum}));
    EXPECT_EQ(DecodeWrittenBMP(ReadFile(dir.File("a.bmp"))), ReferenceRotate(good[0].second, 90));
    WriteFile(dir.File("out/gone.bmp"), {7, 7});
    const std::string keptOutput = fs::path("out/gone.bmp").make_preferred().string();
    EXPECT_EQ(Ends(dir, "-n -j 2 -a 30 -d out absent.bmp gone.bmp"),
              (Outcome{3, "gone.bmp: " + keptOutput + " exists, skipped\n" + absent + sum}));
    EXPECT_EQ(ReadFile(dir.File("out/gone.bmp")), (std::vector<uint8_t>{7, 7}));
    EXPECT_EQ(Ends(dir, "-q -j 1 -a 30 -d out absent.bmp gone.bmp"),
              (Outcome{3, absent + "gone.bmp: File not found. (no such file)\n"}));
}

// Pictures named as people name them on Windows: wildcards (expanded by the
// shell on Linux, by the program's start-up code on Windows), and lists as the
// tools there write them: UTF-8 with a byte order mark (Notepad), UTF-16 with
// one (PowerShell 5's `>`), Notepad's "ANSI" (Windows-1252 under Wine) and
// cmd's `dir /b >`, in the console's OEM code page (437 under Wine). Names
// are bytes on Linux, where the last two name no file.
TEST_F(HostBatch, NamedAsOnWindows) {
    const Picture picture = DistinctPicture(3, 5);
    const std::string umlaut = "Gr\xC3\xB6\xC3\x9F" "e.bmp", wide = "\xE5\x86\x99\xE7\x9C\x9F.bmp";
    for (const std::string& name : {std::string("a.bmp"), std::string("b.bmp"), umlaut, wide})
        WriteFile(dir.File(name), EncodeBMP(picture));
    std::string utf16 = "\xFF\xFE";
    for (const char16_t unit : U16("a.bmp\r\n" + wide + "\r\n")) utf16 += {char(unit & 0xFF), char(unit >> 8)};
    const struct {
        const char* args;
        std::string list;
        int status;
        std::vector<std::string> written;  // in byte order
        const char* says;
    } cases[] = {
        {"*.bmp", "", 0, {umlaut, "a.bmp", "b.bmp", wide}, ""},
        {"?.bmp", "", 0, {"a.bmp", "b.bmp"}, ""},
        {"-T list.txt", "\xEF\xBB\xBF" "a.bmp\r\n" + umlaut + "\n", 0, {umlaut, "a.bmp"}, ""},
        {"-T list.txt", utf16, 0, {"a.bmp", wide}, ""},
        {"-T list.txt", "\xFF\xFE" "a", 64, {}, "begins as UTF-16 but is not"},
        // Lists in a legacy code page: read in it on Windows; bytes elsewhere,
        // which name no file here.
#if defined(_WIN32)
        {"-T list.txt", "a.bmp\r\nGr\xF6\xDF" "e.bmp\r\n", 0, {umlaut, "a.bmp"}, ""},
        {"-T list.txt", "Gr\x94\xE1" "e.bmp\r\n", 0, {umlaut}, ""},
        {"zz*.bmp", "", 3, {}, "zz*.bmp: File not found. (no file matches)\n"},
#else
        {"-T list.txt", "a.bmp\r\nGr\xF6\xDF" "e.bmp\r\n", 3, {"a.bmp"}, ""},
        {"-T list.txt", "Gr\x94\xE1" "e.bmp\r\n", 3, {}, ""},
        {"zz*.bmp", "", 3, {}, "zz*.bmp: File not found. (no such file)\n"},
#endif
    };
    for (const auto& c : cases) {
        fs::remove_all(dir.File("out"));
        fs::create_directory(dir.File("out"));
        WriteFile(dir.File("list.txt"), std::vector<uint8_t>(c.list.begin(), c.list.end()));
        const HostRun r = Host(dir, std::string("-q -a 30 -d out ") + c.args);
        EXPECT_EQ(r.status, c.status) << c.args << " " << c.list << ": " << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.list << ": " << r.err;
        std::vector<std::string> made;
        for (const auto& entry : fs::directory_iterator(dir.File("out")))
            made.push_back(entry.path().filename().u8string());
        std::sort(made.begin(), made.end());
        EXPECT_EQ(made, c.written) << c.args << " " << c.list;
        for (const std::string& name : made)
            EXPECT_EQ(DecodeWrittenBMP(ReadFile(dir.File("out/" + name))), ReferenceRotate(picture, 30)) << name;
    }
}

#if !defined(_WIN32)
// A link another user planted in a shared folder (sticky, writable by all,
// as /tmp) is not followed, in either form, and the reason says why.
TEST_F(HostBatch, PlantedLinksInASharedFolderAreRefused) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to plant a link owned by another user";
    const Picture picture = DistinctPicture(6, 4);
    for (const char* folder : {"private", "shared"}) fs::create_directory(dir.File(folder));
    for (const char* name : {"holiday.bmp", "a.bmp", "private/secret"}) WriteFile(dir.File(name), EncodeBMP(picture));
    fs::create_symlink(dir.File("private/secret"), dir.File("shared/holiday.bmp"));
    ASSERT_TRUE(chmod(dir.File("shared").c_str(), 01777) == 0 &&
                lchown(dir.File("shared/holiday.bmp").c_str(), 65534, 65534) == 0);

    EXPECT_EQ(Ends(dir, "-a 30 -d shared holiday.bmp a.bmp"),
              (Outcome{1, "holiday.bmp: Error. File cant be written. (shared/holiday.bmp: permission denied)\n"
                          "2 pictures: 1 written, 1 failed\n"}));
    EXPECT_EQ(DecodeWrittenBMP(ReadFile(dir.File("shared/a.bmp"))), ReferenceRotate(picture, 30));
    EXPECT_EQ(Ends(dir, "a.bmp shared/holiday.bmp 0"),
              (Outcome{1, "bmprotate2: shared/holiday.bmp: permission denied\n"}));
    EXPECT_EQ(ReadFile(dir.File("private/secret")), EncodeBMP(picture));
}

// A worker killed while it opens a picture (a FIFO nobody writes): that
// picture fails, the rest are done, and the run ends in a summary. With one
// worker and the FIFO second to last, the last picture needs the worker
// started in the killed one's place.
TEST_F(HostBatch, KilledWorker) {
    const Picture picture = DistinctPicture(40, 30);
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) WriteFile(dir.File(name), EncodeBMP(picture));
    ASSERT_EQ(mkfifo(dir.File("stuck.bmp").c_str(), 0600), 0);
    for (const std::string args : {"-j 2 -a 30 -d out a.bmp stuck.bmp b.bmp c.bmp",
                                   "-j 1 -a 30 -d out a.bmp b.bmp stuck.bmp c.bmp"}) {
        fs::remove_all(dir.File("out"));
        fs::create_directory(dir.File("out"));
        const pid_t host = StartHost(dir, args);
        // The worker waits in the FIFO's open for a writer that never comes.
        const pid_t worker = WorkerInFifoOpen(host);
        EXPECT_TRUE(worker > 0 && kill(worker, SIGKILL) == 0) << args;
        EXPECT_EQ(Ended(dir, host), (Outcome{70, "stuck.bmp: worker process killed by signal 9 (Killed)\n"
                                                 "4 pictures: 3 written, 1 failed\n"}))
            << args;
        for (const char* name : {"a.bmp", "b.bmp", "c.bmp"})
            EXPECT_EQ(DecodeWrittenBMP(ReadFile(dir.File(std::string("out/") + name))), ReferenceRotate(picture, 30))
                << args << ": " << name;
    }
}

// Out of memory in the host itself: its own line and status, never a signal.
TEST_F(HostBatch, OwnOutOfMemoryIsAStatus) {
    if (std::string(kEmulator) != "" || kSanitized || std::system("prlimit --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs prlimit (Debian: util-linux), and the program run natively without sanitizers";
    std::string list;
    for (int i = 0; i < 1000000; ++i) list += "folder/picture-" + std::to_string(i) + ".bmp\n";
    WriteFile(dir.File("list.txt"), std::vector<uint8_t>(list.begin(), list.end()));
    EXPECT_EQ(Ends(dir, "--as=50331648 \"" + HostProgram() + "\" -a 30 -d out -T list.txt", "prlimit"),
              (Outcome{70, "bmprotate2: out of memory\n"}));
}

// Ctrl-C typed on the batch's terminal while a worker is on the second of
// four pictures: that one is finished, no more are handed out, the progress
// line goes, the summary says two were not done, and the program ends by
// SIGINT leaving nothing half made.
TEST_F(HostBatch, InterruptedOnATerminal) {
    const Picture picture = DistinctPicture(9, 9);
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) WriteFile(dir.File(name), EncodeBMP(picture));
    ASSERT_EQ(mkfifo(dir.File("stuck.bmp").c_str(), 0600), 0);
    int terminal = -1, side = -1;
    ASSERT_EQ(openpty(&terminal, &side, nullptr, nullptr, nullptr), 0);
    const pid_t host = StartHost(dir, "-j 1 -a 30 -d out a.bmp stuck.bmp b.bmp c.bmp", side, true);
    EXPECT_GT(WorkerInFifoOpen(host), 0);
    ASSERT_EQ(write(terminal, "\x03", 1), 1);
    // The terminal echoes ^C once it has sent the signal; only then may the picture end.
    std::string seen;
    char block[256];
    ssize_t got;
    while (seen.find("^C") == std::string::npos && (got = read(terminal, block, sizeof block)) > 0)
        seen.append(block, size_t(got));
    const int fifo = open(dir.File("stuck.bmp").c_str(), O_WRONLY | O_NONBLOCK);
    if (fifo >= 0) close(fifo);
    while ((got = read(terminal, block, sizeof block)) > 0) seen.append(block, size_t(got));
    close(terminal);
    EXPECT_EQ(Ended(dir, host).first, -SIGINT);
    EXPECT_NE(seen.find("stuck.bmp: File not found. (not a regular file)\r\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find(" \r4 pictures: 1 written, 1 failed, 2 not done\r\n"), std::string::npos) << seen;
    std::vector<std::string> made;
    for (const auto& entry : fs::directory_iterator(dir.File("out"))) made.push_back(entry.path().filename().string());
    EXPECT_EQ(made, std::vector<std::string>{"a.bmp"});
    EXPECT_EQ(DecodeWrittenBMP(ReadFile(dir.File("out/a.bmp"))), ReferenceRotate(picture, 30));
}

// On a terminal the progress line is drawn, then cleared before the summary;
// -q draws nothing.
TEST_F(HostBatch, ProgressOnATerminal) {
    WriteFile(dir.File("a.bmp"), EncodeBMP(DistinctPicture(9, 9)));
    WriteFile(dir.File("b.bmp"), EncodeBMP(DistinctPicture(5, 9)));
    for (const bool quiet : {false, true}) {
        int terminal = -1, side = -1;
        ASSERT_EQ(openpty(&terminal, &side, nullptr, nullptr, nullptr), 0);
        const pid_t host = StartHost(dir, std::string(quiet ? "-q " : "") + "-a 30 -d out a.bmp b.bmp", side);
        std::string seen;
        char block[256];
        for (ssize_t got; (got = read(terminal, block, sizeof block)) > 0;) seen.append(block, size_t(got));
        close(terminal);
        EXPECT_EQ(Ended(dir, host).first, 0) << seen;
        EXPECT_EQ(seen.empty(), quiet) << seen;
        if (!quiet) {
            EXPECT_EQ(seen.rfind("\r0/2 pictures", 0), 0u) << seen;
            EXPECT_NE(seen.find(" \r2 pictures: 2 written, 0 failed\r\n"), std::string::npos) << seen;
        }
    }
}
#endif

}  // namespace
