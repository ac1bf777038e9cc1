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
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
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

// Windows: the rename writes through, folder included; and written over in
// place, the stream has no buffer, where elsewhere what a failed write left
// in it never reaches the file.
#if defined(_WIN32)
constexpr bool kSyncsFolder = false, kDropsBuffered = false;
#else
constexpr bool kSyncsFolder = true, kDropsBuffered = true;
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
    // Refused at every try (EACCES), as by a folder that takes no new file:
    // the old file is then written over in place.
    PlatformOp refused = vintrel::OpKinds;
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

size_t Find(const std::vector<PlatformOp>& trace, PlatformOp op, size_t from = 0) {
    return size_t(std::find(trace.begin() + std::ptrdiff_t(std::min(from, trace.size())), trace.end(), op) - trace.begin());
}

TEST_P(EveryFault, GivesTheRightResultAndLosesNothing) {
    const Scene scene = GetParam();
#if defined(_WIN32)
    if (scene.output == Output::ThroughLink) GTEST_SKIP() << "links are not followed on Windows";
#endif
    struct Refusal {
        explicit Refusal(PlatformOp op) { vintrel::PlatformRefuse(op, EACCES); }
        ~Refusal() { vintrel::PlatformRefuse(vintrel::OpKinds, 0); }
    } refusal(scene.refused);
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
    // the canvas, the writer's opening (up to its stream) and its end.
    ASSERT_GE(points, 8u);
    ASSERT_EQ(trace[0], vintrel::OpConvert);
    ASSERT_EQ(trace[1], vintrel::OpConvert);
    const size_t readerClose = Find(trace, vintrel::OpClose, 4);
    const size_t pixels = Find(trace, vintrel::OpAlloc, 4);
    ASSERT_LT(pixels, readerClose);
    ASSERT_EQ(trace[readerClose + 1], vintrel::OpAlloc) << "the canvas follows the read";
    const size_t canvas = readerClose + 1;
    const size_t firstWrite = Find(trace, vintrel::OpWrite, canvas);
    ASSERT_LT(firstWrite, points);
    size_t stream = firstWrite;  // the last open before the first write
    while (stream > canvas && trace[stream] != vintrel::OpOpen) --stream;
    const size_t access = Find(trace, vintrel::OpAccess, canvas);  // whether the old file may be written
    const size_t created = Find(trace, vintrel::OpCreate, canvas);  // the temporary
    const bool replaces = scene.output != Output::Missing;
    const bool overwrites = scene.refused == vintrel::OpCreate;
    ASSERT_EQ(access < stream, replaces || !kSyncsFolder);
    ASSERT_LT(created, stream);
    const size_t overwriteOpen = Find(trace, vintrel::OpOpen, created);
    // Up to here nothing has reached the old file when a write fails.
    const size_t untouched =
        kDropsBuffered ? std::min(Find(trace, vintrel::OpWrite, firstWrite + 1), Find(trace, vintrel::OpFlush, firstWrite + 1))
                       : firstWrite;
    const size_t renamed = Find(trace, vintrel::OpRename, stream);  // after this the picture is in place
    EXPECT_EQ(renamed == points, overwrites);
    // Syncing pays only for a replacement: the file before the rename, the
    // folder after it (Windows: the rename writes through); written over, the
    // file once it is cut to length.
    EXPECT_EQ(std::count(trace.begin(), trace.begin() + std::ptrdiff_t(renamed), vintrel::OpSync), replaces ? 1 : 0);
    EXPECT_EQ(std::count(trace.begin() + std::ptrdiff_t(renamed), trace.end(), vintrel::OpSync),
              replaces && kSyncsFolder && !overwrites ? 1 : 0);
    EXPECT_EQ(Find(trace, vintrel::OpReserve) < points, overwrites);
    // Where files may have no name, the picture is written to one and named
    // at the end; a replacement starts its write-back every few MiB.
    EXPECT_EQ(std::count(trace.begin(), trace.end(), vintrel::OpLink),
              !overwrites && TakesUnnamedFiles(Stage(scene).dir.path()));
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

        int32_t result = -1;
        std::string printed = kUnwritable;
        // Once the old file is being written over, a failed write, flush, cut
        // or sync is the one case that may leave neither picture.
        bool window = false;
        if (at == 0) {
            result = -3, printed = kMissingLine;
        } else if (at == 1 || at == canvas) {
        } else if (at < 4 || at == pixels) {
            printed = kBadLine;
        } else if (at < readerClose && op != vintrel::OpAlloc) {
            result = -3, printed = kMissingLine;  // a failed seek or read is no end of file
        } else if (at <= readerClose) {
            // Padded rows are read one by one; a failed close of the input loses nothing.
            result = 999, printed = kOk;
        } else if (at <= stream) {
            // Whatever a temporary that stands in for the old file needs, the
            // old file can do without: it is written over instead. A file
            // system without unnamed files takes a named one.
            const bool standsIn = replaces && access < at && at < (overwrites ? overwriteOpen : stream);
            const bool named = at == created && scene.error == kNoUnnamed;
            if (standsIn || named) result = 999, printed = kOk;
        } else if (op == vintrel::OpWriteBack || op == vintrel::OpAlloc || (!overwrites && at > renamed)) {
            // A hint refused, padded rows one by one, a folder not synced: the picture is all the same.
            result = 999, printed = kOk;
        } else {
            window = overwrites && at > untouched;
        }
        EXPECT_EQ(o, (Outcome{result, printed})) << where;
        for (auto [folder, names] : stage.names) {
            // A new output appears beside the others; a link's target was there before.
            if (result == 999 && folder == stage.dir.path()) names.insert(fs::path(stage.output).filename().string());
            EXPECT_EQ(Names(folder), names) << where << ": no file left behind in " << folder;
        }
        if (result == 999) {
            EXPECT_EQ(DecodeWrittenBMP(ReadFile(stage.Written())), turned) << where;
        } else if (!window) {
            stage.ExpectUntouched(where);
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
    {"FolderRefusesNewFiles", Output::Existing, EIO, false, vintrel::OpCreate},
    {"LargeReplacement", Output::Existing, EIO, true},
    {"LargeNewOutput", Output::Missing, ENOSPC, true},
    {"LargeWrittenOver", Output::SameAsInput, ENOSPC, true, vintrel::OpCreate},
#if defined(__linux__)
    {"NoUnnamedFiles", Output::Existing, kNoUnnamed},
#endif
};

INSTANTIATE_TEST_SUITE_P(Table, EveryFault, testing::ValuesIn(kScenes),
                         [](const testing::TestParamInfo<Scene>& p) { return std::string(p.param.name); });

#if !defined(_WIN32)

struct stat Stat(const std::string& name) {
    struct stat info {};
    EXPECT_EQ(stat(name.c_str(), &info), 0) << name;
    return info;
}
ino_t Inode(const std::string& name) { return Stat(name).st_ino; }
mode_t Mode(const std::string& name) { return Stat(name).st_mode & 07777; }

struct Replace : testing::Test {
    void SetUp() override { WriteFile(input, EncodeBMP(picture)); }
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

// A replacement takes on the old file's access list and attributes; a file
// that had no access list gets none from its folder's default, which would
// give someone more than it did.
TEST_F(Replace, AccessListsAndAttributesAreKeptNeverWidened) {
    if (std::system("getfacl --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs setfacl and getfacl (Debian: acl)";
    const std::string plain = dir.File("plain.bmp");
    for (const std::string& name : {output, plain}) {
        WriteFile(name, {1, 2, 3});
        ASSERT_EQ(chmod(name.c_str(), 0600), 0);
    }
    if (std::system(("setfacl -m u:daemon:rw '" + output + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "no access lists on " << dir.path();
    ASSERT_EQ(std::system(("setfacl -d -m u:daemon:rwx,g::rwx,o::rwx '" + dir.path() + "'").c_str()), 0);
    const bool attributes = lsetxattr(output.c_str(), "user.note", "kept", 4, 0) == 0;
    // Each file's access list, as getfacl prints it, and its mode.
    const auto rights = [&] {
        const std::string listed = dir.File("acl.txt");
        EXPECT_EQ(std::system(("getfacl -cp '" + output + "' '" + plain + "' >'" + listed + "'").c_str()), 0);
        const std::vector<uint8_t> text = ReadFile(listed);
        return std::string(text.begin(), text.end()) + std::to_string(Mode(output)) + " " + std::to_string(Mode(plain));
    };
    const std::string before = rights();
    for (const std::string& name : {output, plain}) EXPECT_EQ(Rotate(input, name, 10).result, 999) << name;
    EXPECT_EQ(rights(), before);
    EXPECT_EQ(Mode(plain), 0600u);
    char note[8] = {};
    EXPECT_EQ(attributes ? lgetxattr(output.c_str(), "user.note", note, sizeof note) : 0, attributes ? 4 : 0);
    EXPECT_EQ(std::string(note), attributes ? "kept" : "");
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
    EXPECT_EQ(o, (Outcome{-1, kUnwritable}));
    EXPECT_EQ(ReadFile(locked), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(Mode(locked), 0444u);
    EXPECT_EQ(Names(folder), (std::set<std::string>{"in.bmp", "locked.bmp"}));
}

// A shared folder (sticky and writable by all, as /tmp) and what a user may
// have planted there, met by root: a link is followed, and a file or FIFO
// written, only when root or the folder's owner owns it, as the kernel's
// rule for such folders has it even where the system's setting is off.
struct Planting {
    const char* name;
    enum { Link, DanglingLink, File, Fifo } what;
    uid_t owner, folderOwner;
    bool written;
};

void PrintTo(const Planting& p, std::ostream* os) { *os << p.name; }

class SharedFolder : public testing::TestWithParam<Planting> {};

TEST_P(SharedFolder, TakesOnlyWhatTheKernelWouldFollow) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to plant files owned by another user";
    const Planting& p = GetParam();
    TempDir dir;
    const Picture picture = DistinctPicture(5, 4);
    const std::string shared = dir.File("shared"), secret = dir.File("private/secret"), planted = shared + "/out.bmp";
    WriteFile(dir.File("in.bmp"), EncodeBMP(picture));
    fs::create_directory(dir.File("private"));
    WriteFile(secret, {1, 2, 3});
    fs::create_directory(shared);
    ASSERT_TRUE(chmod(dir.File("private").c_str(), 0700) == 0 && chmod(secret.c_str(), 0600) == 0 &&
                chmod(shared.c_str(), 01777) == 0 && chown(shared.c_str(), p.folderOwner, p.folderOwner) == 0);
    int reader = -1;  // a FIFO's reader, so that a writer would not wait
    if (p.what == Planting::Link || p.what == Planting::DanglingLink)
        fs::create_symlink(p.what == Planting::Link ? secret : dir.File("private/new"), planted);
    else if (p.what == Planting::File)
        WriteFile(planted, {4, 5, 6});
    else if (mkfifo(planted.c_str(), 0666) == 0)
        reader = open(planted.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_EQ(lchown(planted.c_str(), p.owner, p.owner), 0);
    const std::set<std::string> before = Names(shared), hidden = Names(dir.File("private"));

    EXPECT_EQ(Rotate(dir.File("in.bmp"), planted, 0), (Outcome{p.written ? 999 : -1, p.written ? kOk : kUnwritable}));
    EXPECT_EQ(Names(shared), before);
    const bool file = p.what == Planting::File;
    char byte;
    if (p.what == Planting::Fifo) {
        EXPECT_EQ(read(reader, &byte, 1), p.written ? 1 : 0) << "what reached the FIFO";
    } else if (p.written) {
        const std::string written = p.what == Planting::Link ? secret : file ? planted : dir.File("private/new");
        EXPECT_EQ(DecodeWrittenBMP(ReadFile(written)), picture);
    } else {
        EXPECT_EQ(Names(dir.File("private")), hidden) << "nothing made where a link points";
        EXPECT_EQ(ReadFile(file ? planted : secret), (file ? std::vector<uint8_t>{4, 5, 6} : std::vector<uint8_t>{1, 2, 3}));
    }
    if (reader >= 0) close(reader);
    EXPECT_EQ(Mode(secret), 0600u) << "the secret's mode";
}

constexpr uid_t kNobody = 65534;

INSTANTIATE_TEST_SUITE_P(
    Table, SharedFolder,
    testing::Values(Planting{"OthersLinkNotFollowed", Planting::Link, kNobody, 0, false},
                    Planting{"OthersDanglingLinkMakesNothing", Planting::DanglingLink, kNobody, 0, false},
                    Planting{"OthersFileNotWritten", Planting::File, kNobody, 0, false},
                    Planting{"OthersFifoNotWritten", Planting::Fifo, kNobody, 0, false},
                    Planting{"OwnLinkFollowed", Planting::Link, 0, 0, true},
                    Planting{"OwnDanglingLinkFollowed", Planting::DanglingLink, 0, 0, true},
                    Planting{"FolderOwnersLinkFollowed", Planting::Link, kNobody, kNobody, true},
                    Planting{"FolderOwnersFileWritten", Planting::File, kNobody, kNobody, true}),
    [](const testing::TestParamInfo<Planting>& p) { return std::string(p.param.name); });

TEST_F(Replace, ALoopOfLinksCannotBeWritten) {
    fs::create_symlink("loop2", dir.File("loop1"));
    fs::create_symlink("loop1", dir.File("loop2"));
    EXPECT_EQ(Rotate(input, dir.File("loop1"), 0), (Outcome{-1, kUnwritable}));
    EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"in.bmp", "loop1", "loop2"}));
}

TEST_F(Replace, DevicesAreWrittenInPlace) {
    EXPECT_EQ(Rotate(input, "/dev/null", 30).result, 999);
    if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    EXPECT_EQ(Rotate(input, "/dev/full", 30), (Outcome{-1, kUnwritable}));
}

// A small file system, really full: the write fails for want of space, and
// the picture that was there (here the input itself) survives it, whether a
// temporary would replace it (root) or it is written over in place (nobody,
// who may not make files in root's folder, as when turning a picture of
// one's own there): its room is asked for before its first byte changes.
TEST_F(Replace, AFullFileSystemCostsNoPicture) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to mount a small tmpfs and to act as nobody";
    ASSERT_EQ(chmod(dir.path().c_str(), 0711), 0);
    for (const bool inPlace : {false, true}) {
        const std::string mnt = dir.File(inPlace ? "nobody" : "root");
        fs::create_directory(mnt);
        if (mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=128k,mode=0755") != 0)
            GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno) << "); needs CAP_SYS_ADMIN";
        struct Unmount {
            std::string at;
            ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
        } unmount{mnt};

        const Picture big = DistinctPicture(90, 90);  // 24 KiB; at 45 degrees about 48 KiB
        const std::string onDisk = mnt + "/pic.bmp";
        WriteFile(onDisk, EncodeBMP(big));
        if (inPlace) {
            ASSERT_EQ(chown(onDisk.c_str(), 65534, 65534), 0);
        }
        const ino_t inode = Inode(onDisk);
        {
            std::FILE* filler = std::fopen((mnt + "/filler").c_str(), "wb");
            ASSERT_NE(filler, nullptr);
            const std::vector<char> block(4096, 'f');
            while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() && std::fflush(filler) == 0) {
            }
            std::fclose(filler);
        }
        // As nobody, where asked, for the call alone.
        const auto call = [&](const std::string& to) {
            EXPECT_TRUE(!inPlace || (setegid(65534) == 0 && seteuid(65534) == 0));
            const Outcome o = Rotate(onDisk, to, 45);
            EXPECT_TRUE(!inPlace || (seteuid(0) == 0 && setegid(0) == 0));
            return o;
        };
        const Holdings before = Holdings::Now();
        for (const std::string& to : {onDisk, mnt + "/new.bmp"}) {
            const Outcome o = call(to);
            EXPECT_EQ(o, (Outcome{-1, kUnwritable})) << to;
        }
        EXPECT_EQ(Holdings::Now(), before);
        EXPECT_EQ(ReadFile(onDisk), EncodeBMP(big)) << "the only copy is intact";
        EXPECT_EQ(Names(mnt), (std::set<std::string>{"pic.bmp", "filler"}));

        fs::remove(mnt + "/filler");
        EXPECT_EQ(call(onDisk).result, 999);
        EXPECT_EQ(DecodeWrittenBMP(ReadFile(onDisk)), ReferenceRotate(big, 45));
        EXPECT_EQ(Inode(onDisk) == inode, inPlace) << "written over in place, or replaced";
    }
}

#endif

}  // namespace
