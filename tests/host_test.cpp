// The command-line host: arguments, exit statuses, and that it loads and
// drives the real shared library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "HostRun.h"

using namespace testing_support;
using namespace host_testing;

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
    std::filesystem::create_directory(dir.File("bin"));
    const std::string lonely = dir.File("bin/" + std::string(kProgramName));
    std::filesystem::copy_file(HostProgram(), lonely);
#if defined(_WIN32)
    // Planted in the current folder, which a bare-name LoadLibraryW searches.
    std::filesystem::copy_file(std::filesystem::path(HostProgram()).parent_path() / "VintrelBMPRotate2.DLL",
                               dir.File("VintrelBMPRotate2.DLL"));
#endif
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

}  // namespace
