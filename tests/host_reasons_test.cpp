// The program's reasons: each the library's own verdict in words, for the
// status and the line the library gave, whatever the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <tuple>

#include "HostRun.h"

#if defined(__linux__)
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace testing_support;
using namespace host_testing;
namespace fs = std::filesystem;

namespace {

const std::string kWriteFailed = std::string(kReadLine) + kUnwritableLine;

// "8 bits per pixel, ..." and "32 bits per pixel, ..." are one reason.
std::string AnyBits(const std::string& reason) {
    const size_t digits = reason.find_first_not_of("0123456789");
    const bool bits = digits > 0 && digits != std::string::npos && reason.compare(digits, 5, " bits") == 0;
    return bits ? "N" + reason.substr(digits) : reason;
}

// A 2x2 picture under a header so changed; or, `claiming` a picture, the
// header alone and 12 bytes.
std::vector<uint8_t> Made(void (*change)(Header&), bool claiming = false) {
    Header header;
    change(header);
    std::vector<uint8_t> file = claiming ? HeaderBytes(header) : EncodeBMP(DistinctPicture(2, 2), header);
    if (claiming) file.resize(file.size() + 12, 0x5A);
    return file;
}

TEST(Reasons, StatusLineAndReasonPerVerdictAndForEveryFile) {
    TempDir dir;
    std::vector<uint8_t> cut = EncodeBMP(DistinctPicture(2, 2));
    cut.resize(53);
    // Headers made to reach each verdict, the order of the checks among them.
    const std::pair<const char*, std::vector<uint8_t>> files[] = {
        {"ok.bmp", Made([](Header&) {})},
        {"sig.bmp", Made([](Header& h) { h.bfType = 0; })},
        {"8bitsig.bmp", Made([](Header& h) { h.bfType = 0, h.biBitCount = 8; })},  // the bit count first
        {"8bit.bmp", Made([](Header& h) { h.biBitCount = 8; })},
        {"comp.bmp", Made([](Header& h) { h.biCompression = 3; })},
        {"planes.bmp", Made([](Header& h) { h.biPlanes = 2; })},
        {"top.bmp", Made([](Header& h) { h.biHeight = -2; })},
        {"negw.bmp", Made([](Header& h) { h.biWidth = -2; })},
        {"empty.bmp", {}},
        {"four.bmp", {'B', 'M', 0, 0}},
        {"cut.bmp", cut},
        {"huge.bmp", Made([](Header& h) { h.biWidth = h.biHeight = 40000; }, true)},
        // Fewer than 2^32 pixel bytes, yet its file would be 4 GiB and 54 bytes.
        {"tall.bmp", Made([](Header& h) { h.biWidth = 1, h.biHeight = 1 << 30; }, true)},
        // Held at once; at 45 degrees its canvas's file would be 15 GB.
        {"wide.bmp", Made([](Header& h) { h.biWidth = 100000, h.biHeight = 1; }, true)},
        {"big.bmp", EncodeBMP(DistinctPicture(200, 200))}};
    for (const auto& [name, bytes] : files) WriteFile(dir.File(name), bytes);
    fs::create_directory(dir.File("folder"));
    const struct {
        std::string args;
        int status;
        std::string lines, reason;      // lines: the library's, on standard output
        const char* program = nullptr;  // the program itself, or this one of the machine's
    } cases[] = {
        {"sig.bmp out.bmp 0", 1, kBadLine, "sig.bmp: not a BMP file"},
        {"8bitsig.bmp out.bmp 0", 2, kDepthLine, "8bitsig.bmp: 8 bits per pixel, not a 24-bit BMP"},
        {"8bit.bmp out.bmp 0", 2, kDepthLine, "8bit.bmp: 8 bits per pixel, not a 24-bit BMP"},
        {"comp.bmp out.bmp 0", 1, kBadLine, "comp.bmp: compressed, not a plain 24-bit BMP"},
        {"planes.bmp out.bmp 0", 1, kBadLine, "planes.bmp: plane count is not 1"},
        {"top.bmp out.bmp 0", 1, kBadLine, "top.bmp: top-down picture (negative height)"},
        {"negw.bmp out.bmp 0", 1, kBadLine, "negw.bmp: negative width"},
        {"empty.bmp out.bmp 0", 2, kDepthLine, "empty.bmp: shorter than a BMP header (54 bytes)"},
        {"four.bmp out.bmp 0", 2, kDepthLine, "four.bmp: shorter than a BMP header (54 bytes)"},
        {"cut.bmp out.bmp 0", 2, kDepthLine, "cut.bmp: shorter than a BMP header (54 bytes)"},
        {"huge.bmp out.bmp 0", 1, kBadLine, "huge.bmp: picture too large for a BMP file"},
        {"tall.bmp out.bmp 0", 1, kBadLine, "tall.bmp: picture too large for a BMP file"},
        {"wide.bmp out.bmp 45", 1, kWriteFailed, "out.bmp: turned picture too large for a BMP file"},
        {"absent.bmp out.bmp 0", 3, kMissingLine, "absent.bmp: no such file"},
        {"folder out.bmp 0", 3, kMissingLine, "folder: is a folder"},
        {"ok.bmp no/out.bmp 0", 1, kWriteFailed, "no/out.bmp: folder of the output does not exist"},
        {"ok.bmp folder 0", 1, kWriteFailed, "folder: is a folder"},
#if !defined(_WIN32)
        // A read that fails is no end of the input; the library is never called.
        {"- out.bmp 0 <folder", 3, "", "-: standard input cannot be read"},
        // Standard input that cannot be saved for the library (here for a
        // file size limit, as for a full disk) is the scratch folder's failure.
        {"-c 'trap \"\" XFSZ; ulimit -f 4; exec " + HostCommand() + " - out.bmp 2 <big.bmp'", 70, "",
         "-: cannot be saved in the scratch folder: File too large", "sh"},
#endif
    };
    // The reasons each library line may come with: the table's (any bit count), or memory.
    std::map<std::string, std::set<std::string>> belongs{
        {kBadLine, {"not enough memory to hold the picture"}},
        {kUnwritableLine, {"not enough memory to hold the turned picture"}}};
    for (const auto& c : cases) {
        const HostRun r = c.program ? Host(dir, c.args, c.program) : Host(dir, c.args);
        EXPECT_EQ(r.status, c.status) << c.args;
        EXPECT_EQ(r.out, c.lines) << c.args;
        EXPECT_EQ(r.err, "bmprotate2: " + c.reason + "\n") << c.args;
        if (!c.lines.empty())
            belongs[c.lines.substr(c.lines.find_last_of('\n', c.lines.size() - 2) + 1)].insert(
                AnyBits(c.reason.substr(c.reason.find(": ") + 2)));
    }
    EXPECT_FALSE(FileExists(dir.File("out.bmp")));

    // Every kept fuzzing input and every crafted header, in one batch: each
    // failure's reason is one that belongs to the library's line for it.
    fs::rename(dir.File("folder"), dir.File("out"));
    std::string names;
    size_t count = 0;
    std::vector<fs::path> folders{dir.path()};
#if !defined(_WIN32)
    folders.push_back(fs::path(VINTREL_FUZZ_DIR) / "corpus" / "read");
#endif
    for (const fs::path& folder : folders)
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.is_regular_file()) names += " \"" + entry.path().string() + "\"", ++count;
    ASSERT_GE(count, 14u);
    const HostRun r = Host(dir, "-q -j 2 -a 45 -d out" + names);
    // NAME: the library's last line (its line feed gone), then the reason, the output's named before it.
    size_t failures = 0;
    for (size_t at = 0, end; (end = r.err.find('\n', at)) != std::string::npos; at = end + 1, ++failures) {
        const std::string text = r.err.substr(at, end - at);
        const size_t colon = text.find(": "), open = text.find(" (", colon);
        const bool known = colon != std::string::npos && open != std::string::npos && text.back() == ')';
        ASSERT_TRUE(known) << "not NAME: LINE (REASON): " << text;
        const std::string said = text.substr(colon + 2, open - colon - 2);
        std::string reason = text.substr(open + 2, text.size() - open - 3);
        if (reason.rfind("out/", 0) == 0 || reason.rfind("out\\", 0) == 0) reason.erase(0, reason.find(": ") + 2);
        EXPECT_EQ(belongs[said + "\n"].count(AnyBits(reason)), 1u) << text;
    }
    EXPECT_GE(failures, 13u) << r.err;  // every crafted file but ok.bmp, and more
}

}  // namespace

#if defined(__linux__)
// nobody's picture in root's folder is written over in place; on a full
// file system it stays whole, and the reason is the disk, not the folder.
TEST(Reasons, AFullDiskWhenWrittenOverInPlace) {
    TempDir dir;
    const std::string mnt = dir.File("full"), pic = mnt + "/pic.bmp";
    const std::string asNobody = "-c 'exec setpriv --reuid=65534 --regid=65534 --clear-groups " + HostCommand();
    fs::create_directory(mnt);
    if (geteuid() != 0 || chmod(dir.path().c_str(), 0711) != 0 ||
        mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=128k,mode=0755") != 0)
        GTEST_SKIP() << "needs root, to mount a small tmpfs and to run the program as nobody";
    const std::shared_ptr<void> unmount(nullptr, [&](void*) { umount2(mnt.c_str(), MNT_DETACH); });
    if (Host(dir, asNobody + " -V'", "sh").status != 0) GTEST_SKIP() << "nobody may not run the program from its build folder";
    const std::vector<uint8_t> old = EncodeBMP(DistinctPicture(90, 90));
    WriteFile(pic, old);
    ASSERT_EQ(chown(pic.c_str(), 65534, 65534), 0);
    std::ofstream(mnt + "/filler", std::ios::binary) << std::string(128 * 1024, '\0');  // as much as fits
    const HostRun r = Host(dir, asNobody + " full/pic.bmp full/pic.bmp 45'", "sh");
    EXPECT_EQ(std::tie(r.status, r.err), std::make_tuple(1, std::string("bmprotate2: full/pic.bmp: disk full\n")));
    EXPECT_EQ(ReadFile(pic), old);
}
#endif
