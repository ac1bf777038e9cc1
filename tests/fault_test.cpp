// Faults: every operation of a call made to fail in turn, real full devices
// and file systems, and the way an output is replaced so that a failure
// never costs the picture that was there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "platform/Platform.h"
#include "support/Call.h"

#if defined(__linux__)
#include <linux/capability.h>
#include <sys/syscall.h>
#endif
#if !defined(_WIN32)
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace testing_support;
namespace fs = std::filesystem;
using vintrel::PlatformOp;

namespace {

const std::string kOk = std::string(kReadLine) + kWrittenLine;
const std::string kUnwritable = std::string(kReadLine) + kUnwritableLine;

std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

// Handles the process holds, as the system counts them.
size_t OpenHandles() {
#if defined(_WIN32)
    return 0;
#else
    size_t n = 0;
    for (auto it = fs::directory_iterator("/proc/self/fd"); it != fs::directory_iterator(); ++it) ++n;
    return n;
#endif
}

// What the layer holds, and what the system says is open, before and after.
struct Holdings {
    int64_t blocks, files;
    size_t handles;
    static Holdings Now() {
        const vintrel::PlatformTally t = vintrel::PlatformCount();
        return Holdings{t.blocks, t.files, OpenHandles()};
    }
    bool operator==(const Holdings& o) const { return blocks == o.blocks && files == o.files && handles == o.handles; }
};

std::ostream& operator<<(std::ostream& os, const Holdings& h) {
    return os << h.blocks << " blocks, " << h.files << " files, " << h.handles << " handles";
}

#if defined(_WIN32)
constexpr bool kSyncsFolder = false;
#else
constexpr bool kSyncsFolder = true;
#endif
#if defined(__linux__)
constexpr int kNoUnnamed = EOPNOTSUPP;  // a file system without unnamed files: the named temporary
constexpr bool kWritesBack = true;
#else
constexpr int kNoUnnamed = -1;
constexpr bool kWritesBack = false;
#endif

enum class Output { Existing, Missing, SameAsInput, ThroughLink };

struct Scene {
    const char* name;
    Output output;
    int error;  // errno of the injected fault
    bool large = false;  // a picture whose file is written back in stretches while it is written
};

void PrintTo(const Scene& s, std::ostream* os) { *os << s.name; }

// One folder set up afresh for every run: the input, and the output the
// scene asks for.
struct Stage {
    explicit Stage(const Scene& s) : scene(s) {
        WriteFile(input, EncodeBMP(picture));
        if (scene.output == Output::Existing) WriteFile(output, previous);
#if !defined(_WIN32)
        if (scene.output == Output::ThroughLink) {
            fs::create_directory(dir.File("real"));
            WriteFile(dir.File("real/target.bmp"), previous);
            fs::create_symlink("real/target.bmp", output);
        }
#endif
        if (scene.output == Output::SameAsInput) output = input;
        for (const std::string& folder : Folders()) names[folder] = Names(folder);
    }
    // Every folder a temporary could be left in: the output's, and the one
    // that holds the file a link names.
    std::vector<std::string> Folders() const {
        if (scene.output == Output::ThroughLink) return {dir.path(), dir.File("real")};
        return {dir.path()};
    }
    // The file that gets the picture, and what it held.
    std::string Written() const { return scene.output == Output::ThroughLink ? dir.File("real/target.bmp") : output; }
    std::vector<uint8_t> Before() const {
        if (scene.output == Output::SameAsInput) return EncodeBMP(picture);
        return scene.output == Output::Missing ? std::vector<uint8_t>{} : previous;
    }
    void ExpectUntouched(const std::string& where) const {
        if (scene.output == Output::Missing) {
            EXPECT_FALSE(FileExists(output)) << where;
        } else {
            EXPECT_EQ(ReadFile(Written()), Before()) << where << ": the output must be as it was";
        }
#if !defined(_WIN32)
        if (scene.output == Output::ThroughLink) {
            EXPECT_EQ(fs::read_symlink(output), "real/target.bmp") << where;
        }
#endif
    }

    Scene scene;
    TempDir dir;
    // Rows with pad: a block of rows, or one write per row and pad where the
    // block cannot be had. The large one has none: one read and few writes,
    // a file of some 4.3 MiB.
    Picture picture = scene.large ? DistinctPicture(1024, 780) : DistinctPicture(13, 7);
    std::vector<uint8_t> previous{7, 7, 7, 7};
    std::string input = dir.File("in.bmp");
    std::string output = dir.File("out.bmp");
    std::map<std::string, std::set<std::string>> names;  // per folder, before the call
};

class EveryFault : public testing::TestWithParam<Scene> {};

TEST_P(EveryFault, GivesTheRightResultAndLosesNothing) {
    const Scene scene = GetParam();
#if defined(_WIN32)
    if (scene.output == Output::ThroughLink) GTEST_SKIP() << "links are not followed on Windows";
#endif
    const Picture turned = ReferenceRotate(Stage(scene).picture, 30);

    // A clean run names every operation of the call, in order.
    std::vector<PlatformOp> trace(4096);
    uint64_t points = 0;
    {
        Stage stage(scene);
        vintrel::PlatformFailAt(0, 0, trace.data(), trace.size());
        const Outcome o = Rotate(stage.input, stage.output, 30);
        points = vintrel::PlatformCount().operations;
        vintrel::PlatformFailAt(0, 0);
        ASSERT_EQ(o.result, 999);
        ASSERT_LE(points, trace.size());
        trace.resize(static_cast<size_t>(points));
    }
    // Landmarks: names, the two records, the reader (ending with its close),
    // the canvas, the writer.
    ASSERT_GE(points, 8u);
    ASSERT_EQ(trace[0], vintrel::OpConvert);
    ASSERT_EQ(trace[1], vintrel::OpConvert);
    size_t readerClose = 4, pixels = 4;
    while (readerClose < points && trace[readerClose] != vintrel::OpClose) ++readerClose;
    while (pixels < readerClose && trace[pixels] != vintrel::OpAlloc) ++pixels;
    ASSERT_LT(pixels, readerClose);
    ASSERT_EQ(trace[readerClose + 1], vintrel::OpAlloc) << "the canvas follows the read";
    const size_t canvas = readerClose + 1;
    size_t temporary = canvas;  // the writer's first open makes its temporary file
    while (temporary < points && trace[temporary] != vintrel::OpOpen) ++temporary;
    const auto renamed = std::find(trace.begin(), trace.end(), vintrel::OpRename);
    ASSERT_NE(renamed, trace.end());
    // Syncing pays only for a replacement: the file before the rename, the
    // folder after it (Windows: the rename writes through).
    const bool replaces = scene.output != Output::Missing;
    EXPECT_EQ(std::count(trace.begin(), renamed, vintrel::OpSync), replaces ? 1 : 0);
    EXPECT_EQ(std::count(renamed, trace.end(), vintrel::OpSync), replaces && kSyncsFolder ? 1 : 0);
    const size_t placed = size_t(renamed - trace.begin());  // after this the picture is in place
    // Where files may have no name, the picture is written to one and named
    // at the end; a replacement starts its write-back every few MiB.
    EXPECT_EQ(std::count(trace.begin(), trace.end(), vintrel::OpLink), TakesUnnamedFiles(Stage(scene).dir.path()));
    EXPECT_EQ(std::count(trace.begin(), trace.end(), vintrel::OpWriteBack) > 0, kWritesBack && scene.large && replaces);

    for (size_t at = 0; at < points; ++at) {
        const PlatformOp op = trace[at];
        const std::string where = std::to_string(at + 1) + "/" + std::to_string(points) + " (" +
                                  vintrel::PlatformOpName(op) + ")";
        Stage stage(scene);
        const Holdings before = Holdings::Now();
        vintrel::PlatformFailAt(at + 1, scene.error);
        const Outcome o = Rotate(stage.input, stage.output, 30);
        vintrel::PlatformFailAt(0, 0);
        EXPECT_EQ(Holdings::Now(), before) << where << ": nothing held after the call";

        int32_t result = 0;
        std::string printed;
        const bool writerFallsBack =
            op == vintrel::OpStat || op == vintrel::OpReadLink || (op == vintrel::OpRandom && at < temporary) ||
            op == vintrel::OpChmod || (at == temporary && (scene.error == EACCES || scene.error == kNoUnnamed)) ||
            (op == vintrel::OpAlloc && at > canvas) ||  // padded rows go one by one
            op == vintrel::OpWriteBack;                 // a hint refused costs nothing
        if (at == 0) {
            result = -3, printed = kMissingLine;
        } else if (at == 1 || at == canvas) {
            result = -1, printed = kUnwritable;
        } else if (at < 4 || at == pixels) {
            result = -1, printed = kBadLine;
        } else if (at < readerClose && op != vintrel::OpAlloc) {
            result = -3, printed = kMissingLine;  // a failed seek or read is no end of file
        } else if (at <= readerClose || writerFallsBack || at > placed) {
            // Padded rows are read one by one; a failed close of the input
            // loses nothing; the writer writes in place or without hints; a
            // folder that cannot be synced has the picture all the same.
            result = 999, printed = kOk;
        } else {
            result = -1, printed = kUnwritable;
        }
        EXPECT_EQ(o.result, result) << where;
        EXPECT_EQ(o.printed, printed) << where;
        for (auto [folder, names] : stage.names) {
            // A new output appears beside the others; a link's target was there before.
            if (result == 999 && folder == stage.dir.path()) names.insert(fs::path(stage.output).filename().string());
            EXPECT_EQ(Names(folder), names) << where << ": no file left behind in " << folder;
        }
        if (result != 999) {
            stage.ExpectUntouched(where);
        } else {
            const Picture written = DecodeWrittenBMP(ReadFile(stage.Written()));
            EXPECT_EQ(written, turned) << where;
        }
    }
    std::cout << "[ faults   ] " << points << " fault points injected\n";
    RecordProperty("fault_points", std::to_string(points));
}

const Scene kScenes[] = {
    {"ExistingOutput", Output::Existing, EIO},
    {"NewOutput", Output::Missing, EIO},
    {"OutputIsTheInput", Output::SameAsInput, ENOSPC},
    {"OutputThroughLink", Output::ThroughLink, EIO},
    {"FolderRefusesNewFiles", Output::Existing, EACCES},
    {"LargeReplacement", Output::Existing, EIO, true},
    {"LargeNewOutput", Output::Missing, ENOSPC, true},
#if defined(__linux__)
    {"NoUnnamedFiles", Output::Existing, kNoUnnamed},
#endif
};

INSTANTIATE_TEST_SUITE_P(Table, EveryFault, testing::ValuesIn(kScenes),
                         [](const testing::TestParamInfo<Scene>& p) { return std::string(p.param.name); });

#if !defined(_WIN32)

struct Replace : testing::Test {
    void SetUp() override { WriteFile(input, EncodeBMP(picture)); }
    ino_t Inode(const std::string& name) {
        struct stat info {};
        EXPECT_EQ(stat(name.c_str(), &info), 0) << name;
        return info.st_ino;
    }
    mode_t Mode(const std::string& name) {
        struct stat info {};
        EXPECT_EQ(stat(name.c_str(), &info), 0) << name;
        return info.st_mode & 07777;
    }
    TempDir dir;
    Picture picture = DistinctPicture(9, 5);
    std::string input = dir.File("in.bmp");
    std::string output = dir.File("out.bmp");
};

TEST_F(Replace, ARenamedCompleteFileThatKeepsThePermissionBits) {
#if defined(__linux__)
    // As a caller without CAP_FSETID, whose writes clear the set-ID bits
    // (root's do not): dropped from this thread for the loop.
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct was[2]{}, without[2]{};
    ASSERT_EQ(syscall(SYS_capget, &header, was), 0);
    std::copy(was, was + 2, without);
    without[0].effective &= ~(1u << CAP_FSETID);
    ASSERT_EQ(syscall(SYS_capset, &header, without), 0);
    struct Restore {
        __user_cap_header_struct& header;
        __user_cap_data_struct* was;
        ~Restore() { syscall(SYS_capset, &header, was); }
    } restore{header, was};
#endif
    for (mode_t mode : std::initializer_list<mode_t>{0640, 0604, 0755, 0600, 04755, 02750, 01644, 07777}) {
        WriteFile(output, {1, 2, 3});
        ASSERT_EQ(chmod(output.c_str(), mode), 0);
        const ino_t old = Inode(output);
        const Outcome o = Rotate(input, output, 90);
        EXPECT_EQ(o.result, 999);
        EXPECT_EQ(DecodeWrittenBMP(ReadFile(output)), ReferenceRotate(picture, 90));
        EXPECT_EQ(Mode(output), mode) << std::oct << mode;
        EXPECT_NE(Inode(output), old) << "a new file was renamed over the old one";
    }
    EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"in.bmp", "out.bmp"}));
}

TEST_F(Replace, ANewFileGetsTheModeOfTheUmask) {
    const mode_t mask = umask(027);
    const Outcome o = Rotate(input, output, 0);
    umask(mask);
    EXPECT_EQ(o.result, 999);
    EXPECT_EQ(Mode(output), 0640u);
}

TEST_F(Replace, LinksKeepPointingAndTheirTargetGetsThePicture) {
    fs::create_directories(dir.File("a/b"));
    WriteFile(dir.File("a/b/pic.bmp"), {5});
    fs::create_symlink("b/pic.bmp", dir.File("a/rel"));  // relative to its own folder
    fs::create_symlink(dir.File("a/rel"), dir.File("abs"));  // a chain: absolute, then relative
    fs::create_symlink("a/b/new.bmp", dir.File("dangling"));
    for (const char* link : {"a/rel", "abs"}) {
        EXPECT_EQ(Rotate(input, dir.File(link), 45).result, 999) << link;
        EXPECT_TRUE(fs::is_symlink(dir.File(link))) << link;
        EXPECT_EQ(DecodeWrittenBMP(ReadFile(dir.File("a/b/pic.bmp"))), ReferenceRotate(picture, 45)) << link;
    }
    EXPECT_EQ(fs::read_symlink(dir.File("abs")), dir.File("a/rel"));
    EXPECT_EQ(Rotate(input, dir.File("dangling"), 180).result, 999);
    EXPECT_EQ(fs::read_symlink(dir.File("dangling")), "a/b/new.bmp");
    EXPECT_EQ(DecodeWrittenBMP(ReadFile(dir.File("a/b/new.bmp"))), ReferenceRotate(picture, 180));
    EXPECT_EQ(Names(dir.File("a/b")), (std::set<std::string>{"pic.bmp", "new.bmp"}));
}

// A read-only file in a folder the caller may write to is still refused,
// as the in-place open always refused it, and stays as it was.
TEST_F(Replace, AFileTheCallerMayNotWriteIsNotReplaced) {
    const bool root = geteuid() == 0;  // root writes anything: the call runs as nobody
    const std::string folder = dir.File("mine");
    fs::create_directory(folder);
    const std::string in = folder + "/in.bmp", locked = folder + "/locked.bmp";
    WriteFile(in, EncodeBMP(picture));
    WriteFile(locked, {1, 2, 3});
    ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
    if (root) {
        ASSERT_EQ(chmod(dir.path().c_str(), 0711), 0);
        for (const std::string& name : {folder, in, locked}) ASSERT_EQ(chown(name.c_str(), 65534, 65534), 0);
        ASSERT_EQ(setegid(65534), 0);
        ASSERT_EQ(seteuid(65534), 0);
    }
    const Outcome o = Rotate(in, locked, 90);
    if (root) {
        ASSERT_EQ(seteuid(0), 0);
        ASSERT_EQ(setegid(0), 0);
    }
    EXPECT_EQ(o.result, -1);
    EXPECT_EQ(o.printed, kUnwritable);
    EXPECT_EQ(ReadFile(locked), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(Mode(locked), 0444u);
    EXPECT_EQ(Names(folder), (std::set<std::string>{"in.bmp", "locked.bmp"}));
}

TEST_F(Replace, ALoopOfLinksCannotBeWritten) {
    fs::create_symlink("loop2", dir.File("loop1"));
    fs::create_symlink("loop1", dir.File("loop2"));
    const Outcome o = Rotate(input, dir.File("loop1"), 0);
    EXPECT_EQ(o.result, -1);
    EXPECT_EQ(o.printed, kUnwritable);
    EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"in.bmp", "loop1", "loop2"}));
}

TEST_F(Replace, DevicesAreWrittenInPlace) {
    EXPECT_EQ(Rotate(input, "/dev/null", 30).result, 999);
    if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    const Outcome o = Rotate(input, "/dev/full", 30);
    EXPECT_EQ(o.result, -1);
    EXPECT_EQ(o.printed, kUnwritable);
}

// A small file system, really full: the write fails for want of space, and
// the picture that was there (here the input itself) survives it.
TEST_F(Replace, AFullFileSystemCostsNoPicture) {
    const std::string mnt = dir.File("mnt");
    fs::create_directory(mnt);
    if (mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=128k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno) << "); needs root with CAP_SYS_ADMIN";
    struct Unmount {
        std::string at;
        ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
    } unmount{mnt};

    const Picture big = DistinctPicture(90, 90);  // 24 KiB; at 45 degrees about 48 KiB
    const std::string onDisk = mnt + "/pic.bmp";
    WriteFile(onDisk, EncodeBMP(big));
    {
        std::FILE* filler = std::fopen((mnt + "/filler").c_str(), "wb");
        ASSERT_NE(filler, nullptr);
        const std::vector<char> block(4096, 'f');
        while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() && std::fflush(filler) == 0) {
        }
        std::fclose(filler);
    }
    const Holdings before = Holdings::Now();
    for (const std::string& to : {onDisk, mnt + "/new.bmp"}) {
        const Outcome o = Rotate(onDisk, to, 45);
        EXPECT_EQ(o.result, -1) << to;
        EXPECT_EQ(o.printed, kUnwritable) << to;
    }
    EXPECT_EQ(Holdings::Now(), before);
    EXPECT_EQ(ReadFile(onDisk), EncodeBMP(big)) << "the only copy is intact";
    EXPECT_EQ(Names(mnt), (std::set<std::string>{"pic.bmp", "filler"}));

    fs::remove(mnt + "/filler");
    EXPECT_EQ(Rotate(onDisk, onDisk, 45).result, 999);
    EXPECT_EQ(DecodeWrittenBMP(ReadFile(onDisk)), ReferenceRotate(big, 45));
}

#endif

}  // namespace
