// The host program among other processes: killed while it writes, starved
// of memory, racing other writers of the same output.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

#include "HostRun.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

pid_t Shell(const std::string& command) {
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    return pid;
}

std::string Quote(const std::string& path) { return "\"" + path + "\""; }

std::string Host() { return host_testing::HostCommand(); }

// The shell replaces itself with the program, so the process id is the
// program's own.
pid_t Start(const std::string& args, const std::string& prefix = "") { return Shell("exec " + prefix + Host() + " " + args); }

int Wait(pid_t pid) {
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    return status;
}

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

// The file the library writes for `turned`: the reference loop's pixels under
// the header it always writes.
std::vector<uint8_t> Written(const Picture& turned) {
    Header header;
    header.biXPelsPerMeter = header.biYPelsPerMeter = 3780;
    return EncodeBMP(turned, header);
}

struct Processes : testing::Test {
    TempDir dir;
    std::string input = dir.File("in.bmp"), output = dir.File("out.bmp");
    std::string args = Quote(input) + " " + Quote(output) + " 30 >/dev/null 2>&1";
    Picture picture = DistinctPicture(1600, 1200);
    std::vector<uint8_t> old = EncodeBMP(DistinctPicture(5, 3));
    void SetUp() override {
        WriteFile(input, EncodeBMP(picture));
        WriteFile(output, old);
    }
};

TEST_F(Processes, AKilledWriterLeavesTheOldOrTheNewPictureAndNothingElse) {
    if (!TakesUnnamedFiles(dir.path())) GTEST_SKIP() << "no unnamed files here: a kill leaves the named temporary";
    const std::vector<uint8_t> turned = Written(ReferenceRotate(picture, 30));
    // The quickest of a few whole runs: kills before it land while the program works.
    auto whole = std::chrono::microseconds::max();
    for (int run = 0; run < 3; ++run) {
        const auto begin = std::chrono::steady_clock::now();
        ASSERT_EQ(Wait(Start(args)), 0);
        whole = std::min(whole, std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - begin));
        ASSERT_EQ(ReadFile(output), turned);
    }

    std::mt19937 random(std::random_device{}());
    int killed = 0, named = 0;
    for (int run = 0; run < 64 && killed < 24; ++run) {
        WriteFile(output, old);
        const auto at = whole * int64_t(random() % 1000) / 1000;
        const pid_t pid = Start(args);
        std::this_thread::sleep_for(at);
        kill(pid, SIGKILL);
        const int status = Wait(pid);
        killed += WIFSIGNALED(status);
        const std::vector<uint8_t> now = ReadFile(output);
        EXPECT_TRUE(now == old || now == turned) << "killed after " << at.count() << " us: a torn output";
        // Between naming the complete picture and renaming it over the output
        // (a fraction of a millisecond) a kill leaves it under its temporary
        // name: whole, never part of one.
        for (const std::string& name : Names(dir.path()))
            if (name.rfind(".vintrel-", 0) == 0) {
                EXPECT_EQ(ReadFile(dir.File(name)), turned) << "killed after " << at.count() << " us: " << name;
                fs::remove(dir.File(name));
                ++named;
            }
        EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"in.bmp", "out.bmp"})) << "killed after " << at.count() << " us";
    }
    EXPECT_EQ(killed, 24) << "runs cut short";
    EXPECT_LE(named, 3) << "kills that found the picture named but not yet renamed";
}

// Under any limit the program either starts and ends in one of its defined
// outcomes, or cannot be loaded at all (the system's loader says so).
TEST_F(Processes, RealMemoryLimitsEndInADefinedOutcome) {
    if (host_testing::kSanitized || !std::string(host_testing::kEmulator).empty())
        GTEST_SKIP() << "sanitizers and emulators reserve more address space than any limit here";
    const std::vector<uint8_t> turned = Written(ReferenceRotate(picture, 30));
    const std::string read = "File has been read successfully.\n", cantWrite = read + "Error. File cant be written.\n";
    std::set<std::string> seen;
    for (uint64_t kib = 4096; kib <= 384 * 1024; kib += kib < 8192 ? 32 : kib / 2) {
        const std::string where = std::to_string(kib) + " KiB";
        const int status = Wait(Start(Quote(input) + " " + Quote(output) + " 30 >" + Quote(dir.File("o")) + " 2>" +
                                      Quote(dir.File("e")), "prlimit --as=" + std::to_string(kib << 10) + " "));
        const std::vector<uint8_t> o = ReadFile(dir.File("o")), e = ReadFile(dir.File("e"));
        const std::string out(o.begin(), o.end()), err(e.begin(), e.end());
        fs::remove(dir.File("o")), fs::remove(dir.File("e"));
        ASSERT_TRUE(WIFEXITED(status)) << where << ": signal " << WTERMSIG(status) << "\n" << out << err;
        const int code = WEXITSTATUS(status);
        // The loader's own refusal: its words differ with the C library and
        // the limit ("error while loading shared libraries", "cannot
        // allocate TLS data structures for initial thread").
        if (code == 127 && out.empty() && err.rfind("bmprotate2:", 0) != 0) continue;
        if (code == 0) {
            EXPECT_EQ(out, read + "File has been written successfully.\n") << where;
            EXPECT_EQ(ReadFile(output), turned) << where;
            WriteFile(output, old);
        } else {
            EXPECT_TRUE((code == 1 && (out == "File has invalid signature.\n" || out == cantWrite)) ||
                        ((code == 69 || code == 70) && out.empty() && std::count(err.begin(), err.end(), '\n') == 1))
                << where << ": status " << code << "\n" << out << err;
            // Memory, never the output, is what the library ran out of.
            if (code == 1) {
                EXPECT_EQ(err, "bmprotate2: " + input + ": not enough memory to hold the " +
                                   (out == cantWrite ? "turned " : "") + "picture\n")
                    << where;
            }
            EXPECT_EQ(ReadFile(output), old) << where << ": the output changed on a failure";
        }
        seen.insert(std::to_string(code) + " " + out);
        EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"in.bmp", "out.bmp"})) << where;
    }
    EXPECT_EQ(seen.count("0 " + read + "File has been written successfully.\n"), 1u) << "the largest limits suffice";
    EXPECT_GE(seen.size(), 3u) << "the limits reach the reader's and the writer's failures";
}

// Readers of the shared name see one whole picture at every moment.
TEST_F(Processes, WritersOfOneOutputNeverShowAPartialPicture) {
    std::vector<std::vector<uint8_t>> whole{old};
    std::vector<pid_t> writers;
    for (uint32_t w = 0; w < 4; ++w) {
        const Picture source = DistinctPicture(400 + 40 * w, 300 - 20 * w);
        const std::string in = dir.File("in" + std::to_string(w) + ".bmp");
        WriteFile(in, EncodeBMP(source));
        whole.push_back(Written(ReferenceRotate(source, 30)));
        writers.push_back(Shell("for i in 1 2 3 4 5 6; do " + Host() + " " + Quote(in) + " " + Quote(output) +
                                " 30 >/dev/null || exit 1; done"));
    }
    int reads = 0, torn = 0;
    for (size_t running = writers.size(); running > 0; ++reads) {
        for (pid_t& pid : writers) {
            int status = 0;
            if (pid < 0 || waitpid(pid, &status, WNOHANG) != pid) continue;
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer " << pid;
            pid = -1, --running;
        }
        torn += std::find(whole.begin(), whole.end(), ReadFile(output)) == whole.end();
    }
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    EXPECT_EQ(Names(dir.path()),
              (std::set<std::string>{"in.bmp", "out.bmp", "in0.bmp", "in1.bmp", "in2.bmp", "in3.bmp"}));
}

// A stop while a picture goes through a pipe, for "-" in or out: the
// scratch files go with it, and the program ends by the signal. Without a
// stop (0), -n keeps an output made while the program reads its picture.
struct StopCase {
    const char* name;
    int signal;
    bool writing;  // standard output, whose reader goes away; else standard input
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class Stops : public Processes, public testing::WithParamInterface<StopCase> {};

TEST_P(Stops, LeaveNoScratchAndEndByTheSignal) {
    const StopCase& c = GetParam();
    const std::string fifo = dir.File("fifo"), tmp = dir.File("tmp"), target = c.signal ? output : dir.File("new.bmp");
    fs::create_directory(tmp);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string redirect =
        c.writing ? Quote(input) + " - 30 >" : (c.signal ? "- " : "-n - ") + Quote(target) + " 30 <";
    const pid_t pid = Start(redirect + Quote(fifo) + " 2>" + Quote(dir.File("err")), "env TMPDIR=" + Quote(tmp) + " ");
    // The program's other end of the pipe: its reader, or its writer.
    const int end = open(fifo.c_str(), c.writing ? O_RDONLY : O_WRONLY);
    if (c.writing) {
        char block[4096];
        EXPECT_EQ(read(end, block, sizeof block), ssize_t(sizeof block)) << "the picture has begun";
    } else {
        // Once standard input is being saved, the scratch folder holds in.bmp.
        bool saving = false;
        for (int tries = 0; !saving && tries < 3000; ++tries, usleep(10000))
            for (const auto& entry : fs::directory_iterator(tmp))
                saving = saving || FileExists((entry.path() / "in.bmp").string());
        EXPECT_TRUE(saving);
    }
    if (c.signal == 0) {
        WriteFile(target, old);
        const std::vector<uint8_t> bytes = EncodeBMP(picture);
        EXPECT_EQ(write(end, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    } else if (c.signal != SIGPIPE) {
        kill(pid, c.signal);
        // The pipe stays until the stop is seen (a sanitizer's runtime may
        // hold the signal back), so that it is the first one.
        siginfo_t ended{};
        for (int tries = 0; tries < 1000; ++tries, usleep(10000))
            if (waitid(P_PID, id_t(pid), &ended, WEXITED | WNOHANG | WNOWAIT) != 0 || ended.si_pid != 0) break;
    }
    close(end);
    const int status = Wait(pid);
    EXPECT_TRUE(c.signal ? WIFSIGNALED(status) && WTERMSIG(status) == c.signal : status == 0) << status;
    if (c.signal == 0) {
        const std::vector<uint8_t> said = ReadFile(dir.File("err"));
        EXPECT_EQ(std::string(said.begin(), said.end()), "bmprotate2: " + target + ": exists, skipped\n");
    }
    EXPECT_TRUE(fs::is_empty(tmp)) << "a scratch file left";
    EXPECT_EQ(ReadFile(target), old);
    // new.bmp, made meanwhile, is kept.
    EXPECT_EQ(Names(dir.path()),
              (std::set<std::string>{"in.bmp", "out.bmp", "fifo", "tmp", "err", fs::path(target).filename().string()}));
}

INSTANTIATE_TEST_SUITE_P(Table, Stops,
                         testing::Values(StopCase{"InterruptWhileReading", SIGINT, false},
                                         StopCase{"TerminateWhileReading", SIGTERM, false},
                                         StopCase{"HangUpWhileReading", SIGHUP, false},
                                         StopCase{"InterruptWhileWriting", SIGINT, true},
                                         StopCase{"ReaderGone", SIGPIPE, true},
                                         StopCase{"NoClobberOutputAppearsMeanwhile", 0, false}),
                         [](const testing::TestParamInfo<StopCase>& p) { return std::string(p.param.name); });

}  // namespace

#endif
