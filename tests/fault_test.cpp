// Faults: every operation of a call made to fail in turn, real full devices
// and file systems, and the way an output is replaced so that a failure
// never costs the picture that was there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
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

// What the layer holds, and the handles the process holds as the system
// counts them (not on Windows), before and after.
std::string Holdings() {
    const vintrel::PlatformTally t = vintrel::PlatformCount();
    std::string held = std::to_string(t.blocks) + " blocks, " + std::to_string(t.files) + " files";
#if !defined(_WIN32)
    const auto handles = std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
    held += ", " + std::to_string(handles) + " handles";
#endif
    return held;
}

// Runs its function when the scope ends.
template <typename F>
struct Finally {
    F f;
    ~Finally() { f(); }
};
template <typename F>
Finally(F) -> Finally<F>;

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
            names[dir.File("real")] = Names(dir.File("real"));
        }
#endif
        if (scene.output == Output::SameAsInput) output = input;
        names[dir.path()] = Names(dir.path());
    }
    // The file that gets the picture, and what it held.
    std::string Written() const { return scene.output == Output::ThroughLink ? dir.File("real/target.bmp") : output; }
    std::vector<uint8_t> Before() const { return scene.output == Output::SameAsInput ? EncodeBMP(picture) : previous; }

    Scene scene;
    TempDir dir;
    // Rows with pad: a block of rows, or one write per row and pad where the
    // block cannot be had. The large one has none: one read and few writes,
    // a file of some 4.3 MiB.
    Picture picture = scene.large ? DistinctPicture(1024, 780) : DistinctPicture(13, 7);
    // What the output held before: nothing where it is missing.
    std::vector<uint8_t> previous = std::vector<uint8_t>(scene.output == Output::Missing ? 0 : 4, 7);
    std::string input = dir.File("in.bmp");
    std::string output = dir.File("out.bmp");
    // Per folder a temporary could be left in (the output's, and the one that
    // holds the file a link names), before the call.
    std::map<std::string, std::set<std::string>> names;
};

class EveryFault : public testing::TestWithParam<Scene> {};

size_t Find(const std::vector<PlatformOp>& trace, PlatformOp op, size_t from = 0) {
    while (from < trace.size() && trace[from] != op) ++from;
    return from;
}

TEST_P(EveryFault, GivesTheRightResultAndLosesNothing) {
    const Scene scene = GetParam();
#if defined(_WIN32)
    if (scene.output == Output::ThroughLink) GTEST_SKIP() << "links are not followed on Windows";
#endif
    vintrel::PlatformRefuse(scene.refused, EACCES);
    Finally refusal{[] { vintrel::PlatformRefuse(vintrel::OpKinds, 0); }};

    // A clean run names every operation of the call, in order.
    const Stage clean(scene);
    const Picture turned = ReferenceRotate(clean.picture, 30);
    std::vector<PlatformOp> trace(4096);
    vintrel::PlatformFailAt(0, 0, trace.data(), trace.size());
    const Outcome o = Rotate(clean.input, clean.output, 30);
    const uint64_t points = vintrel::PlatformCount().operations;
    vintrel::PlatformFailAt(0, 0);
    ASSERT_EQ(o.result, 999);
    ASSERT_LE(points, trace.size());
    trace.resize(static_cast<size_t>(points));
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
    const size_t untouched = kDropsBuffered ? std::min(Find(trace, vintrel::OpWrite, firstWrite + 1),
                                                       Find(trace, vintrel::OpFlush, firstWrite + 1))
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
              !overwrites && TakesUnnamedFiles(clean.dir.path()));
    EXPECT_EQ(std::count(trace.begin(), trace.end(), vintrel::OpWriteBack) > 0, kWritesBack && scene.large && replaces);

    for (size_t at = 0; at < points; ++at) {
        const PlatformOp op = trace[at];
        const std::string where = std::to_string(at + 1) + "/" + std::to_string(points) + " (" +
                                  vintrel::PlatformOpName(op) + ")";
        Stage stage(scene);
        const std::string before = Holdings();
        vintrel::PlatformFailAt(at + 1, scene.error);
        const Outcome got = Rotate(stage.input, stage.output, 30);
        vintrel::PlatformFailAt(0, 0);
        EXPECT_EQ(Holdings(), before) << where << ": nothing held after the call";

        Outcome expected{-1, kUnwritable};
        // Once the old file is being written over, a failed write, flush, cut
        // or sync is the one case that may leave neither picture.
        bool window = false;
        if (at == 0) {
            expected = {-3, kMissingLine};
        } else if (at == 1 || at == canvas) {
        } else if (at < 4 || at == pixels) {
            expected.printed = kBadLine;
        } else if (at < readerClose && op != vintrel::OpAlloc) {
            expected = {-3, kMissingLine};  // a failed seek or read is no end of file
        } else if (at <= readerClose) {
            // Padded rows are read one by one; a failed close of the input loses nothing.
            expected = {999, kOk};
        } else if (at <= stream) {
            // Whatever a temporary that stands in for the old file needs, the
            // old file can do without: it is written over instead. A file
            // system without unnamed files takes a named one.
            const bool standsIn = replaces && access < at && at < (overwrites ? overwriteOpen : stream);
            const bool named = at == created && scene.error == kNoUnnamed;
            if (standsIn || named) expected = {999, kOk};
        } else if (op == vintrel::OpWriteBack || op == vintrel::OpAlloc || (!overwrites && at > renamed)) {
            // A hint refused, padded rows one by one, a folder not synced: the picture is all the same.
            expected = {999, kOk};
        } else {
            window = overwrites && at > untouched;
        }
        EXPECT_EQ(got, expected) << where;
        for (auto [folder, names] : stage.names) {
            // A new output appears beside the others; a link's target was there before.
            if (expected.result == 999 && folder == stage.dir.path())
                names.insert(fs::path(stage.output).filename().string());
            EXPECT_EQ(Names(folder), names) << where << ": no file left behind in " << folder;
        }
        if (expected.result == 999) {
            EXPECT_EQ(DecodeWrittenBMP(ReadFile(stage.Written())), turned) << where;
        } else if (!window) {
            EXPECT_EQ(FileExists(stage.output), scene.output != Output::Missing) << where;
            EXPECT_EQ(ReadFile(stage.Written()), stage.Before()) << where << ": the output must be as it was";
        }
#if !defined(_WIN32)
        if (scene.output == Output::ThroughLink) {
            EXPECT_EQ(fs::read_symlink(stage.output), "real/target.bmp") << where;
        }
#endif
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

constexpr uid_t kNobody = 65534;

// Makes the call as nobody where asked, as root again after it.
template <typename Call>
auto AsNobody(bool nobody, Call call) {
    EXPECT_TRUE(!nobody || (setegid(kNobody) == 0 && seteuid(kNobody) == 0));
    const auto result = call();
    EXPECT_TRUE(!nobody || (seteuid(0) == 0 && setegid(0) == 0));
    return result;
}

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
    __user_cap_data_struct was[2]{};
    ASSERT_EQ(syscall(SYS_capget, &header, was), 0);
    __user_cap_data_struct without[2]{was[0], was[1]};
    without[0].effective &= ~(1u << CAP_FSETID);
    ASSERT_EQ(syscall(SYS_capset, &header, without), 0);
    Finally restore{[&] { syscall(SYS_capset, &header, was); }};
#endif
    for (mode_t mode : std::initializer_list<mode_t>{0640, 0604, 0755, 0600, 04755, 02750, 01644, 07777}) {
        WriteFile(output, {1, 2, 3});
        ASSERT_EQ(chmod(output.c_str(), mode), 0);
        const ino_t old = Inode(output);
        EXPECT_EQ(Rotate(input, output, 90).result, 999);
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
    const auto shell = [](const std::string& command) { return std::system(command.c_str()); };
    if (shell("getfacl --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs setfacl and getfacl (Debian: acl)";
    const std::string plain = dir.File("plain.bmp");
    for (const std::string& name : {output, plain}) {
        WriteFile(name, {1, 2, 3});
        ASSERT_EQ(chmod(name.c_str(), 0600), 0);
    }
    if (shell("setfacl -m u:daemon:rw '" + output + "' 2>/dev/null") != 0) GTEST_SKIP() << "no ACLs on " << dir.path();
    ASSERT_EQ(shell("setfacl -d -m u:daemon:rwx,g::rwx,o::rwx '" + dir.path() + "'"), 0);
    lsetxattr(output.c_str(), "user.note", "kept", 4, 0);  // where the file system takes them
    // Each file's access list, as getfacl prints it, its mode, and the
    // output's attribute with its size (-1 where there is none).
    const auto rights = [&] {
        EXPECT_EQ(shell("getfacl -cp '" + output + "' '" + plain + "' >'" + dir.File("acl.txt") + "'"), 0);
        const std::vector<uint8_t> text = ReadFile(dir.File("acl.txt"));
        char note[8] = {};
        const auto size = lgetxattr(output.c_str(), "user.note", note, sizeof note);
        return std::string(text.begin(), text.end()) + std::to_string(Mode(output)) + " " +
               std::to_string(Mode(plain)) + " " + std::to_string(size) + note;
    };
    const std::string before = rights();
    for (const std::string& name : {output, plain}) EXPECT_EQ(Rotate(input, name, 10).result, 999) << name;
    EXPECT_EQ(rights(), before);
    EXPECT_EQ(Mode(plain), 0600u);
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
    ASSERT_EQ(chmod(dir.path().c_str(), 0711), 0);  // nobody may pass through to its own folder
    for (const std::string& name : {folder, in, locked}) ASSERT_EQ(root ? chown(name.c_str(), kNobody, kNobody) : 0, 0);
    EXPECT_EQ(AsNobody(root, [&] { return Rotate(in, locked, 90); }), (Outcome{-1, kUnwritable}));
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

class SharedFolder : public Replace, public testing::WithParamInterface<Planting> {};

TEST_P(SharedFolder, TakesOnlyWhatTheKernelWouldFollow) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to plant files owned by another user";
    const Planting& p = GetParam();
    const std::string shared = dir.File("shared"), secret = dir.File("private/secret"), planted = shared + "/out.bmp";
    fs::create_directory(dir.File("private"));
    WriteFile(secret, {1, 2, 3});
    fs::create_directory(shared);
    ASSERT_TRUE(chmod(dir.File("private").c_str(), 0700) == 0 && chmod(secret.c_str(), 0600) == 0 &&
                chmod(shared.c_str(), 01777) == 0 && chown(shared.c_str(), p.folderOwner, p.folderOwner) == 0);
    int reader = -1;  // a FIFO's reader, so that a writer would not wait
    if (p.what == Planting::Link || p.what == Planting::DanglingLink)
        fs::create_symlink(p.what == Planting::Link ? secret : dir.File("private/new"), planted);
    else if (p.what == Planting::File)
        WriteFile(planted, {1, 2, 3});
    else if (mkfifo(planted.c_str(), 0666) == 0)
        reader = open(planted.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_EQ(lchown(planted.c_str(), p.owner, p.owner), 0);
    const std::set<std::string> before = Names(shared), hidden = Names(dir.File("private"));

    EXPECT_EQ(Rotate(input, planted, 0), (Outcome{p.written ? 999 : -1, p.written ? kOk : kUnwritable}));
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
        EXPECT_EQ(ReadFile(file ? planted : secret), (std::vector<uint8_t>{1, 2, 3}));
    }
    if (reader >= 0) close(reader);
    EXPECT_EQ(Mode(secret), 0600u) << "the secret's mode";
}

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
        Finally unmount{[&] { umount2(mnt.c_str(), MNT_DETACH); }};

        const Picture big = DistinctPicture(90, 90);  // 24 KiB; at 45 degrees about 48 KiB
        const std::string onDisk = mnt + "/pic.bmp";
        WriteFile(onDisk, EncodeBMP(big));
        ASSERT_EQ(inPlace ? chown(onDisk.c_str(), kNobody, kNobody) : 0, 0);
        const ino_t inode = Inode(onDisk);
        // More than the room left: written until the file system is full.
        EXPECT_FALSE(std::ofstream(mnt + "/filler") << std::string(256 << 10, 'f')) << "the file system is full";
        const std::string before = Holdings();
        for (const std::string& to : {onDisk, mnt + "/new.bmp"})
            EXPECT_EQ(AsNobody(inPlace, [&] { return Rotate(onDisk, to, 45); }), (Outcome{-1, kUnwritable})) << to;
        EXPECT_EQ(Holdings(), before);
        EXPECT_EQ(ReadFile(onDisk), EncodeBMP(big)) << "the only copy is intact";
        EXPECT_EQ(Names(mnt), (std::set<std::string>{"pic.bmp", "filler"}));

        fs::remove(mnt + "/filler");
        EXPECT_EQ(AsNobody(inPlace, [&] { return Rotate(onDisk, onDisk, 45); }).result, 999);
        EXPECT_EQ(DecodeWrittenBMP(ReadFile(onDisk)), ReferenceRotate(big, 45));
        EXPECT_EQ(Inode(onDisk) == inode, inPlace) << "written over in place, or replaced";
    }
}

#endif

}  // namespace
