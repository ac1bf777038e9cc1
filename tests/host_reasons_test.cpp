// The program's reasons: each the library's own verdict in words, for the
// status and the line the library gave, whatever the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "HostRun.h"

using namespace testing_support;
using namespace host_testing;
namespace fs = std::filesystem;

namespace {

const char kRead[] = "File has been read successfully.";
const char kInvalid[] = "File has invalid signature.";
const char kNot24[] = "File has invalid resolution. Program works only with 24-bits bmp format.";
const char kNotFound[] = "File not found.";
const char kUnwritable[] = "Error. File cant be written.";

std::vector<uint8_t> Claiming(int32_t width, int32_t height) {
    Header header;
    header.biWidth = width, header.biHeight = height;
    std::vector<uint8_t> file = HeaderBytes(header);
    file.resize(file.size() + 12, 0x5A);
    return file;
}

// Headers made to reach each verdict, the order of the checks among them.
void WriteCraftedFiles(const TempDir& dir) {
    const struct {
        const char* name;
        void (*change)(Header&);
    } made[] = {{"ok.bmp", [](Header&) {}},
                {"sig.bmp", [](Header& h) { h.bfType = 0; }},
                {"8bitsig.bmp", [](Header& h) { h.bfType = 0, h.biBitCount = 8; }},  // the bit count first
                {"8bit.bmp", [](Header& h) { h.biBitCount = 8; }},
                {"comp.bmp", [](Header& h) { h.biCompression = 3; }},
                {"planes.bmp", [](Header& h) { h.biPlanes = 2; }},
                {"top.bmp", [](Header& h) { h.biHeight = -2; }},
                {"negw.bmp", [](Header& h) { h.biWidth = -2; }}};
    for (const auto& m : made) {
        Header header;
        m.change(header);
        WriteFile(dir.File(m.name), EncodeBMP(DistinctPicture(2, 2), header));
    }
    WriteFile(dir.File("empty.bmp"), {});
    WriteFile(dir.File("four.bmp"), {'B', 'M', 0, 0});
    std::vector<uint8_t> cut = EncodeBMP(DistinctPicture(2, 2));
    cut.resize(53);
    WriteFile(dir.File("cut.bmp"), cut);
    WriteFile(dir.File("huge.bmp"), Claiming(40000, 40000));
    // Fewer than 2^32 pixel bytes, yet its file would be 4 GiB and 54 bytes.
    WriteFile(dir.File("tall.bmp"), Claiming(1, 1 << 30));
    // Held at once; at 45 degrees its canvas's file would be 15 GB.
    WriteFile(dir.File("wide.bmp"), Claiming(100000, 1));
    fs::create_directory(dir.File("folder"));
}

TEST(Reasons, StatusLineAndReasonPerVerdict) {
    TempDir dir;
    WriteCraftedFiles(dir);
    const struct {
        std::string args;
        int status;
        const char* lines;  // the library's, on standard output
        std::string reason;
    } cases[] = {
        {"sig.bmp out.bmp 0", 1, kInvalid, "sig.bmp: not a BMP file"},
        {"8bitsig.bmp out.bmp 0", 2, kNot24, "8bitsig.bmp: 8 bits per pixel, not a 24-bit BMP"},
        {"8bit.bmp out.bmp 0", 2, kNot24, "8bit.bmp: 8 bits per pixel, not a 24-bit BMP"},
        {"comp.bmp out.bmp 0", 1, kInvalid, "comp.bmp: compressed, not a plain 24-bit BMP"},
        {"planes.bmp out.bmp 0", 1, kInvalid, "planes.bmp: plane count is not 1"},
        {"top.bmp out.bmp 0", 1, kInvalid, "top.bmp: top-down picture (negative height)"},
        {"negw.bmp out.bmp 0", 1, kInvalid, "negw.bmp: negative width"},
        {"empty.bmp out.bmp 0", 2, kNot24, "empty.bmp: shorter than a BMP header (54 bytes)"},
        {"four.bmp out.bmp 0", 2, kNot24, "four.bmp: shorter than a BMP header (54 bytes)"},
        {"cut.bmp out.bmp 0", 2, kNot24, "cut.bmp: shorter than a BMP header (54 bytes)"},
        {"huge.bmp out.bmp 0", 1, kInvalid, "huge.bmp: picture too large for a BMP file"},
        {"tall.bmp out.bmp 0", 1, kInvalid, "tall.bmp: picture too large for a BMP file"},
        {"wide.bmp out.bmp 45", 1, kUnwritable, "out.bmp: turned picture too large for a BMP file"},
        {"absent.bmp out.bmp 0", 3, kNotFound, "absent.bmp: no such file"},
        {"folder out.bmp 0", 3, kNotFound, "folder: is a folder"},
        {"ok.bmp no/out.bmp 0", 1, kUnwritable, "no/out.bmp: folder of the output does not exist"},
        {"ok.bmp folder 0", 1, kUnwritable, "folder: is a folder"},
#if !defined(_WIN32)
        // A read that fails is no end of the input; the library is never called.
        {"- out.bmp 0 <folder", 3, "", "-: standard input cannot be read"},
#endif
    };
    for (const auto& c : cases) {
        const HostRun r = Host(dir, c.args);
        EXPECT_EQ(r.status, c.status) << c.args;
        const std::string lines = c.lines == kUnwritable ? std::string(kRead) + "\n" + kUnwritable : c.lines;
        EXPECT_EQ(r.out, lines.empty() ? "" : lines + "\n") << c.args;
        EXPECT_EQ(r.err, "bmprotate2: " + c.reason + "\n") << c.args;
    }
    EXPECT_FALSE(FileExists(dir.File("out.bmp")));
}

#if !defined(_WIN32)
// Standard input that cannot be saved for the library (here a file size
// limit, as a full disk would) is the scratch folder's failure, never the
// input's.
TEST(Reasons, StandardInputThatCannotBeSaved) {
    TempDir dir;
    WriteFile(dir.File("in.bmp"), EncodeBMP(DistinctPicture(200, 200)));
    const HostRun r = Host(dir, "-c 'trap \"\" XFSZ; ulimit -f 4; exec " + HostCommand() + " - out.bmp 2 <in.bmp'", "sh");
    EXPECT_EQ(r.status, 70);
    EXPECT_EQ(r.err.rfind("bmprotate2: -: cannot be saved in the scratch folder: ", 0), 0u) << r.err;
    EXPECT_FALSE(FileExists(dir.File("out.bmp")));
}
#endif

// Every kept fuzzing input and every crafted header, in one batch: each
// failure's reason is one that belongs to the library's line for it.
TEST(Reasons, AgreeWithTheLibraryForEveryFile) {
    TempDir dir;
    WriteCraftedFiles(dir);
    fs::remove(dir.File("folder"));
    fs::create_directory(dir.File("out"));
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
    const std::string shortOf = "shorter than a BMP header (54 bytes)";
    const std::map<std::string, std::set<std::string>> belongs = {
        {kNot24, {shortOf, "8 bits per pixel, not a 24-bit BMP", "32 bits per pixel, not a 24-bit BMP",
                  "0 bits per pixel, not a 24-bit BMP"}},
        {kInvalid, {"not a BMP file", "compressed, not a plain 24-bit BMP", "plane count is not 1",
                    "top-down picture (negative height)", "negative width", "picture too large for a BMP file",
                    "not enough memory to hold the picture"}},
        {kUnwritable, {"turned picture too large for a BMP file", "not enough memory to hold the turned picture"}},
    };
    const HostRun r = Host(dir, "-q -j 2 -a 45 -d out" + names);
    size_t failures = 0;
    for (size_t at = 0, end; (end = r.err.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = r.err.substr(at, end - at);
        bool known = false;
        for (const auto& [said, reasons] : belongs) {
            const size_t from = line.find(": " + said + " (");
            if (from == std::string::npos) continue;
            std::string reason = line.substr(from + said.size() + 4, line.size() - from - said.size() - 5);
            const size_t own = reason.find(": ");
            if (reason.rfind("out", 0) == 0 && (reason[3] == '/' || reason[3] == '\\') && own != std::string::npos)
                reason.erase(0, own + 2);
            EXPECT_EQ(reasons.count(reason), 1u) << line;
            known = true;
        }
        EXPECT_TRUE(known) << "a line no library line starts: " << line;
        ++failures;
    }
    EXPECT_GE(failures, 13u) << r.err;  // every crafted file but ok.bmp, and more
}

}  // namespace
