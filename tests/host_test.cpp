// The command-line host: arguments, exit statuses, and that it loads and
// drives the real shared library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "HostRun.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

using namespace testing_support;
using namespace host_testing;
namespace fs = std::filesystem;

namespace {

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
    for (const char* folder : {"dir", "front", "back"}) fs::create_directory(dir.File(folder));
    for (const char* name : {"in.bmp", "other.bmp", "back/in.bmp"})
        WriteFile(dir.File(name), EncodeBMP(DistinctPicture(3, 3)));
    // Another name for a file: front/other.bmp for the input in.bmp,
    // back/other.bmp for back/in.bmp.
    for (const auto& [to, name] : {std::pair("in.bmp", "link.bmp"), std::pair("../in.bmp", "front/other.bmp"),
                                   std::pair("in.bmp", "back/other.bmp")})
#if defined(_WIN32)
        fs::create_hard_link(fs::path(dir.File(name)).parent_path() / to, dir.File(name));
#else
        fs::create_symlink(to, dir.File(name));
#endif
    const HostRun r = Host(dir, GetParam().args);
    EXPECT_EQ(std::tie(r.status, r.out), std::make_tuple(GetParam().status, std::string()));
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(GetParam().says), std::string::npos) << r.err;
    EXPECT_FALSE(FileExists(dir.File("out.bmp")));
    EXPECT_TRUE(fs::is_empty(dir.File("dir")));
    for (const char* name : {"in.bmp", "back/in.bmp"})
        EXPECT_EQ(ReadFile(dir.File(name)), EncodeBMP(DistinctPicture(3, 3))) << name;
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
    // Only the first `--` ends the options; the second is a picture's name.
    {"BatchSecondDoubleDash", "-q -a 30 -d dir -- --", 3, "--: File not found."},
    {"BatchValueMissing", "-a 30 in.bmp -d", 64, "'-d'"},
    {"BatchListMissing", "-a 30 -d dir -T absent.txt", 64, "absent.txt"},
    {"BatchNoOwnName", "-a 30 -d dir in.bmp dir/", 64, "'dir/'"},
    {"BatchSameNames", "-q -a 30 -d dir in.bmp b.bmp ./in.bmp c/b.bmp a/in.bmp", 64,
     "b.bmp'; 'in.bmp', './in.bmp' and 'a/in.bmp' would all be written to"},
    {"BatchSameFile", "-a 30 -d dir in.bmp absent.bmp link.bmp", 64, "'in.bmp' and 'link.bmp' are one file"},
    {"BatchSameFileThroughDotDot", "-a 30 -d dir dir/../link.bmp in.bmp", 64, "'dir/../link.bmp' and 'in.bmp' are"},
    {"BatchListHasNul", "-a 30 -d dir -T in.bmp", 64, "NUL in line 1"},
    {"BatchNoClobberValue", "-a 30 -d dir --no-clobber=yes in.bmp", 64, "-n takes no value"},
    {"NoClobberTwoArgs", "-n in.bmp out.bmp", 64, "ANGLE"},
    {"UnknownOption", "-x in.bmp out.bmp 30", 64, "unknown option '-x'"},
    {"UnknownOptionAlone", "-x", 64, "unknown option '-x'"},
    {"DoubleDashThenTwo", "-- in.bmp out.bmp", 64, "INPUT OUTPUT ANGLE"},
    // Outputs that are files of the batch already, through another name.
    {"BatchOutputIsAnotherInput", "-a 5 -d front in.bmp other.bmp", 64, "other.bmp' is the input 'in.bmp'"},
    {"BatchOutputsAreOneFile", "-a 5 -d back in.bmp other.bmp", 64, "other.bmp' are one file"},
};

INSTANTIATE_TEST_SUITE_P(
    Table, BadArguments, testing::ValuesIn(kBadArguments),
    [](const testing::TestParamInfo<ArgCase>& p) { return std::string(p.param.name); });

TEST(Host, RotatesThroughTheLibrary) {
    TempDir dir;
    const Picture picture = DistinctPicture(21, 11);
    WriteFile(dir.File("in.bmp"), EncodeBMP(picture));
    for (const char* angle : {"30", "+30", "-2147483648", "2147483647"}) {
        // "--" before the names, as shell tools take it.
        const std::string ends = angle[0] == '+' ? "-- " : "";
        const HostRun r = Host(dir, ends + "\"" + dir.File("in.bmp") + "\" \"" + dir.File("out.bmp") + "\" " + angle);
        EXPECT_EQ(r.status, 0) << angle << r.err;
        EXPECT_EQ(r.out, "File has been read successfully.\nFile has been written successfully.\n");
        EXPECT_EQ(DecodeWrittenBMP(ReadFile(dir.File("out.bmp"))), ReferenceRotate(picture, std::atoi(angle)));
    }
}

// "-" is standard input and standard output; with the picture on standard
// output the library's lines go to standard error.
TEST(Host, StandardInputAndOutput) {
    TempDir dir;
    const Picture picture = DistinctPicture(21, 11);
    WriteFile(dir.File("in.bmp"), EncodeBMP(picture));
    const std::string lines = std::string(kReadLine) + kWrittenLine;
    const HostRun file = Host(dir, "- out.bmp 30 <in.bmp");
    EXPECT_EQ(std::tie(file.status, file.out), std::make_tuple(0, lines)) << file.err;
    EXPECT_EQ(DecodeWrittenBMP(ReadFile(dir.File("out.bmp"))), ReferenceRotate(picture, 30));
    const std::string throughPipe = "-c '" + HostCommand() + " in.bmp /dev/stdout -30 | cat'";
    std::vector<std::string> forms = {"- - -30 <in.bmp", "in.bmp - -30"};
#if !defined(_WIN32)
    forms.push_back(throughPipe);
#endif
    // On Windows standard output must be in binary mode: text mode would put
    // a CR before each of the picture's LF bytes, which it has.
    for (const std::string& args : forms) {
        const HostRun r = args == throughPipe ? Host(dir, args, "sh") : Host(dir, args);
        EXPECT_EQ(std::tie(r.status, r.err), std::make_tuple(0, lines)) << args;
        EXPECT_GT(std::count(r.bytes.begin(), r.bytes.end(), '\n'), 0) << args;
        EXPECT_EQ(DecodeWrittenBMP(r.bytes), ReferenceRotate(picture, -30));
    }
    EXPECT_FALSE(FileExists(dir.File("-")));
}

#if !defined(_WIN32)
// Paths and own names longer than the library's name buffers, in both
// forms, and names that are bytes but not UTF-8.
TEST(Host, NamesLongerThanTheLibraryHoldsOrNotText) {
    TempDir dir;
    const std::string deep = std::string(120, 'd') + "/" + std::string(120, 'e');
    fs::create_directories(dir.File(deep));
    const std::string input = deep + "/" + std::string(230, 'p') + ".bmp", output = input + ".out";
    const Picture picture = DistinctPicture(9, 7);
    WriteFile(dir.File(input), EncodeBMP(picture));
    EXPECT_EQ(Host(dir, input + " " + output + " 30").status, 0);
    EXPECT_EQ(DecodeWrittenBMP(ReadFile(dir.File(output))), ReferenceRotate(picture, 30));
    // Replaced in its own folder, under an own name too long for the library: its mode kept.
    const auto mode = fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions(dir.File(input), mode);
    EXPECT_EQ(Host(dir, "-a 90 -d " + deep + " " + input).status, 0);
    EXPECT_EQ(DecodeWrittenBMP(ReadFile(dir.File(input))), ReferenceRotate(picture, 90));
    EXPECT_EQ(fs::status(dir.File(input)).permissions(), mode);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.File(deep)), fs::directory_iterator()), 2) << "a temporary left";

    WriteFile(dir.File("odd-\xFF\xFE.bmp"), EncodeBMP(picture));
    const HostRun odd = Host(dir, "\"$(printf 'odd-\\377\\376.bmp')\" \"$(printf 'out-\\303.bmp')\" 90");
    EXPECT_EQ(odd.status, 0) << odd.err;
    EXPECT_EQ(DecodeWrittenBMP(ReadFile(dir.File("out-\xC3.bmp"))), ReferenceRotate(picture, 90));
}
#endif

#if defined(_WIN32)
// Names beyond the system's ANSI code page (Windows-1252 under Wine), as input
// and as output: the manifest makes UTF-8 the program's own ANSI code page,
// in which the library reaches them; a copy whose manifest asks for no code
// page gives the reason.
TEST(Host, NamesBeyondTheAnsiCodePage) {
    TempDir dir;
    std::vector<uint8_t> program = ReadFile(HostProgram());
    const std::string setting = ">UTF-8</activeCodePage>";
    const auto at = std::search(program.begin(), program.end(), setting.begin(), setting.end());
    ASSERT_NE(at, program.end()) << "the manifest asks for no UTF-8 code page";
    std::copy_n("-----", 5, at + 1);
    const std::string legacy = dir.File(kProgramName);
    WriteFile(legacy, program);
    fs::copy_file(fs::path(HostProgram()).parent_path() / "VintrelBMPRotate2.DLL", dir.File("VintrelBMPRotate2.DLL"));
    const Picture picture = DistinctPicture(5, 3);
    WriteFile(dir.File("in.bmp"), EncodeBMP(picture));
    for (const std::string name : {"Gr\xC3\xB6\xC3\x9F" "e.bmp", "\xE5\x86\x99\xE7\x9C\x9F.bmp", "\xF0\x9F\x96\xBC.bmp"}) {
        WriteFile(dir.File(name), EncodeBMP(picture));
        for (const std::string& host : {HostProgram(), legacy}) {
            const bool reached = name[2] == '\xC3' || host != legacy;  // only the first is in Windows-1252
            const std::string output = name + (host == legacy ? ".legacy" : "") + ".out.bmp";
            for (const auto& [args, failed, status] : {std::make_tuple("\"" + name + "\" out.bmp 30", name, 3),
                                                       std::make_tuple("in.bmp \"" + output + "\" 30", output, 1)}) {
                const HostRun r = Host(dir, args, host);
                EXPECT_EQ(r.status, reached ? 0 : status) << args << " " << host;
                EXPECT_EQ(r.err, reached ? "" : "bmprotate2: " + failed + ": name cannot be represented in the ANSI code page\n");
            }
            EXPECT_EQ(FileExists(dir.File(output)), reached) << output;
            if (reached) {
                EXPECT_EQ(DecodeWrittenBMP(ReadFile(dir.File(output))), ReferenceRotate(picture, 30)) << output;
            }
        }
    }
}

// A file another program holds open without sharing, as a viewer may: the
// reason says so, the output is as it was, and none of the library's
// temporaries is left (Wine's ReplaceFile leaves an rf*.tmp of its own).
TEST(Host, FilesInUse) {
    TempDir dir;
    const std::vector<uint8_t> before = EncodeBMP(DistinctPicture(2, 2));
    WriteFile(dir.File("in.bmp"), EncodeBMP(DistinctPicture(3, 3)));
    WriteFile(dir.File("out.bmp"), before);
    for (const auto& [held, sharing, status] : {std::make_tuple("out.bmp", FILE_SHARE_READ, 1), std::make_tuple("in.bmp", 0, 3)}) {
        HANDLE file = CreateFileW(fs::u8path(dir.File(held)).c_str(), GENERIC_READ, DWORD(sharing), nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        const HostRun r = Host(dir, "in.bmp out.bmp 30");
        CloseHandle(file);
        EXPECT_EQ(r.status, status) << held;
        EXPECT_EQ(r.err, "bmprotate2: " + std::string(held) + ": in use by another program\n");
        EXPECT_EQ(ReadFile(dir.File("out.bmp")), before);
    }
    for (const auto& entry : fs::directory_iterator(dir.path()))
        EXPECT_NE(entry.path().filename().string().rfind(".vintrel-", 0), 0u) << entry.path();
}
#endif

// -n keeps an output that exists; a file is named in the line that says so.
TEST(Host, NoClobberKeepsTheOutput) {
    TempDir dir;
    WriteFile(dir.File("in.bmp"), EncodeBMP(DistinctPicture(3, 3)));
    WriteFile(dir.File("out.bmp"), EncodeBMP(DistinctPicture(2, 2)));
    const HostRun r = Host(dir, "--no-clobber in.bmp out.bmp 30");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "bmprotate2: out.bmp: exists, skipped\n");
    EXPECT_EQ(ReadFile(dir.File("out.bmp")), EncodeBMP(DistinctPicture(2, 2)));
}

#if !defined(_WIN32)
// What the bash completion offers where each form wants something.
TEST(Host, BashCompletion) {
    if (std::system("bash -c true >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs bash";
    TempDir dir;
    fs::create_directory(dir.File("folder"));
    WriteFile(dir.File("a.bmp"), {});
    WriteFile(dir.File("a.txt"), {});
    const std::pair<const char*, const char*> cases[] = {
        {"--no", "--no-clobber"}, {"-a 30 -d \"\"", "folder"}, {"-n in.bmp out.bmp \"\"", "-90 180 270 90"},
        {"\"\"", "a.bmp folder"}, {"in.bmp a", "a.bmp a.txt"}, {"-a 30 -d folder -T a", "a.bmp a.txt"}};
    for (const auto& [words, offered] : cases) {
        const HostRun r = Host(dir, std::string("-c '. \"") + VINTREL_COMPLETION +
                                        "\"; COMP_WORDS=(bmprotate2 " + words + "); COMP_CWORD=$((${#COMP_WORDS[@]}-1)); "
                                        "_bmprotate2; printf \"%s\\n\" \"${COMPREPLY[@]}\" | sort | xargs'", "bash");
        EXPECT_EQ(r.out, std::string(offered) + "\n") << words << r.err;
    }
}
#endif

TEST(Host, HelpAndVersion) {
    TempDir dir;
    const HostRun help = Host(dir, "--help");
    EXPECT_EQ(help.status, 0);
    for (const char* says : {"usage: bmprotate2 [-n] [--] INPUT OUTPUT ANGLE", "clockwise",
                             "bmprotate2 -a ANGLE -d DIR [-j N] [-n] [-q] [-0] -T LIST", "not lossless"})
        EXPECT_NE(help.out.find(says), std::string::npos) << says;
    const HostRun version = Host(dir, "--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("bmprotate2 1.0.0.1\nlibrary ", 0), 0u) << version.out;
    EXPECT_NE(version.out.find(", version 1.0.0.1\n"), std::string::npos) << version.out;
    for (const auto& same : {std::make_pair("-h", help), std::make_pair("-V", version)}) {
        const HostRun r = Host(dir, same.first);
        EXPECT_EQ(std::tie(r.status, r.out), std::make_tuple(0, same.second.out));
    }
#if !defined(_WIN32)
    for (const char* flag : {"--help", "--version"}) {
        const HostRun full = Host(dir, "-c '" + HostCommand() + " " + flag + " >/dev/full'", "sh");
        EXPECT_EQ(full.status, 74) << flag;
        EXPECT_NE(full.err.find("No space left"), std::string::npos) << full.err;
    }
#endif
}

// A library that cannot be loaded is reported, with where it was looked for.
// Beside the lonely copy of the program is a file of its name that is no
// library: the first file found is the one used, so no copy installed on the
// system stands in for it.
TEST(Host, MissingLibraryIsReported) {
    TempDir dir;
    fs::create_directory(dir.File("bin"));
    const std::string lonely = dir.File("bin/" + std::string(kProgramName));
    fs::copy_file(HostProgram(), lonely);
    fs::permissions(lonely, fs::perms::owner_all);
#if defined(_WIN32)
    const std::string library = "VintrelBMPRotate2.DLL";
    // A real one planted in the current folder, which a bare-name
    // LoadLibraryW would search: never taken.
    fs::copy_file(fs::path(HostProgram()).parent_path() / library, dir.File(library));
#else
    const std::string library = VINTREL_LIBRARY_SONAME;
#endif
    WriteFile(dir.File("bin/" + library), {'n', 'o', 't', ' ', 'a', ' ', 'l', 'i', 'b', 'r', 'a', 'r', 'y'});
    WriteFile(dir.File("in.bmp"), EncodeBMP(DistinctPicture(3, 3)));
    for (const char* args : {"in.bmp out.bmp 30", "-a 30 -d . -q in.bmp"}) {
        const HostRun r = Host(dir, args, lonely);
        EXPECT_EQ(std::tie(r.status, r.out), std::make_tuple(69, std::string()));
        EXPECT_EQ(r.err.rfind("bmprotate2: cannot load ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(library), std::string::npos) << r.err;
        EXPECT_FALSE(FileExists(dir.File("out.bmp")));
        EXPECT_EQ(ReadFile(dir.File("in.bmp")), EncodeBMP(DistinctPicture(3, 3)));
    }
    const HostRun version = Host(dir, "--version", lonely);
    EXPECT_NE(version.out.find("library: none can be loaded"), std::string::npos) << version.out;
#if !defined(_WIN32)
    // With nothing beside it, the system's search: a copy installed there,
    // or else the list of places looked in.
    fs::remove(dir.File("bin/" + library));
    void* installed = dlopen(VINTREL_LIBRARY_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (installed != nullptr) dlclose(installed);
    const HostRun r = Host(dir, "in.bmp out.bmp 30", lonely);
    EXPECT_EQ(r.status, installed != nullptr ? 0 : 69) << r.err;
    EXPECT_TRUE(installed != nullptr || r.err.find(", looked for in ") != std::string::npos) << r.err;
#endif
}

}  // namespace
