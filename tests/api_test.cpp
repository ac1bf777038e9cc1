// The export as callers see it: results, the console lines, names, and the
// files it leaves behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "api/Pipeline.h"
#include "support/Call.h"

#if defined(_WIN32)
#include <windows.h>

#include "platform/windows/Folders.h"
#endif

using namespace testing_support;

namespace {

const std::string kOk = std::string(kReadLine) + kWrittenLine;
const std::string kUnwritable = std::string(kReadLine) + kUnwritableLine;

class Files : public testing::Test {
protected:
    void SetUp() override { WriteFile(input, EncodeBMP(picture)); }
    TempDir dir;
    Picture picture = DistinctPicture(13, 7);
    std::string input = dir.File("in.bmp");
    std::string output = dir.File("out.bmp");
};

TEST_F(Files, WritesThePictureTurned) {
    for (int32_t angle : {0, 30, -45, 90, 180, 270, 100}) {
        EXPECT_EQ(Rotate(input, output, angle), (Outcome{999, kOk})) << angle;
        EXPECT_EQ(DecodeWrittenBMP(ReadFile(output)), ReferenceRotate(picture, angle)) << angle;
    }
    EXPECT_EQ(vintrel::SourceImage, nullptr) << "nothing is kept between calls";
    EXPECT_EQ(vintrel::RotatedImage, nullptr);
}

TEST_F(Files, OutputMayBeTheInput) {
    const Outcome o = Rotate(input, input, 30);
    EXPECT_EQ(o.result, 999);
    EXPECT_EQ(DecodeWrittenBMP(ReadFile(input)), ReferenceRotate(picture, 30));
}

// A folder is a name that cannot be opened as a file, not an empty one.
TEST_F(Files, MissingInputPrintsOneLineAndTouchesNothing) {
    WriteFile(output, {9, 9, 9});
    for (const std::string& name : {dir.File("absent.bmp"), dir.path()}) {
        EXPECT_EQ(Rotate(name, output, 30), (Outcome{-3, kMissingLine})) << name;
        EXPECT_EQ(ReadFile(output), (std::vector<uint8_t>{9, 9, 9})) << name;
    }
}

TEST_F(Files, UnwritableOutputsFailAfterTheRead) {
    for (const std::string& name : {std::string(), dir.File("no/such/folder/out.bmp"), dir.path()}) {
        EXPECT_EQ(Rotate(input, name, 30), (Outcome{-1, kUnwritable})) << name;
    }
}

TEST_F(Files, NullNamesAreFilesThatCannotBeOpened) {
    const std::u16string in = U16(input), out = U16(output);
    Outcome o = Rotate(nullptr, out.c_str(), 30);
    EXPECT_EQ(o, (Outcome{-3, kMissingLine}));
    o = Rotate(in.c_str(), nullptr, 30);
    EXPECT_EQ(o, (Outcome{-1, kUnwritable}));
    EXPECT_FALSE(FileExists(output));
}

// A name of exactly `bytes` bytes in this folder.
std::string NameOfLength(const TempDir& dir, size_t bytes) {
    std::string name = dir.path() + "/";
    name += std::string(bytes - name.size() - 4, 'n') + ".bmp";
    return name;
}

TEST_F(Files, NamesUpTo199BytesAreTakenWhole) {
    const std::string name199 = NameOfLength(dir, 199);
    WriteFile(name199, EncodeBMP(picture));
    EXPECT_EQ(Rotate(name199, name199, 90).result, 999);
    EXPECT_EQ(DecodeWrittenBMP(ReadFile(name199)), ReferenceRotate(picture, 90));
}

TEST_F(Files, LongerNamesAreNeverShortened) {
    // Both the 200-byte name and the file its first 199 bytes would name exist.
    const std::string name200 = NameOfLength(dir, 200);
    const std::string cut = name200.substr(0, 199);
    WriteFile(name200, EncodeBMP(picture));
    WriteFile(cut, EncodeBMP(picture));
    Outcome o = Rotate(name200, output, 0);
    EXPECT_EQ(o, (Outcome{-3, kMissingLine}));

    const std::string out200 = name200.substr(0, name200.size() - 5) + "o.bmp";
    o = Rotate(input, out200, 0);
    EXPECT_EQ(o, (Outcome{-1, kUnwritable}));
    EXPECT_FALSE(FileExists(out200));
    EXPECT_EQ(ReadFile(cut), EncodeBMP(picture)) << "the shortened name is not written either";
}

#if defined(_WIN32)
// Narrow names are in the ANSI code page; these tests expect Windows-1252,
// what Wine gives an English or C locale.
bool AnsiIsWindows1252() { return GetACP() == 1252; }
#endif

TEST_F(Files, NonAsciiNames) {
#if defined(_WIN32)
    if (!AnsiIsWindows1252()) GTEST_SKIP() << "ANSI code page " << GetACP();
    const std::string name = dir.File("p\xC3\xAF" "cture-\xC3\x9F\xC3\xB8.bmp");
#else
    const std::string name = dir.File("p\xC3\xAF" "cture-\xE6\x97\xA5\xE6\x9C\xAC-\xF0\x9F\x98\x80.bmp");
#endif
    WriteFile(name, EncodeBMP(picture));
    const std::string out = dir.File("\xC3\xA9t\xC3\xA9.bmp");
    EXPECT_EQ(Rotate(name, out, 45).result, 999);
    EXPECT_EQ(DecodeWrittenBMP(ReadFile(out)), ReferenceRotate(picture, 45));
}

#if defined(_WIN32)
// A character the code page lacks is never replaced by a look-alike: that
// would be some other file.
TEST_F(Files, NoLookAlikeForCharactersWithoutANarrowForm) {
    if (!AnsiIsWindows1252()) GTEST_SKIP() << "ANSI code page " << GetACP();
    WriteFile(dir.File("lodz.bmp"), EncodeBMP(picture));
    Outcome o = Rotate(dir.File("\xC5\x82odz.bmp"), output, 0);
    EXPECT_EQ(o, (Outcome{-3, kMissingLine}));
    o = Rotate(input, dir.File("\xC5\x82odz.bmp"), 90);
    EXPECT_EQ(o, (Outcome{-1, kUnwritable}));
    EXPECT_EQ(ReadFile(dir.File("lodz.bmp")), EncodeBMP(picture));
}
#endif

#if defined(_WIN32)
// In a double-byte code page a character's second byte may be '\' (表 is
// 0x95 0x5C in Shift_JIS): the temporary still goes in the output's own
// folder. Run by names_in_a_double_byte_code_page. (Wine's own CreateFileA
// cannot open such a name, so only the folder is asked here.)
TEST(DoubleByteNames, KeepTheirFolder) {
    if (GetACP() != 932) GTEST_SKIP() << "ANSI code page " << GetACP() << ", not 932";
    EXPECT_EQ(vintrel::replace::FolderLength("sub\\\x95\x5C.bmp"), 4u);
    EXPECT_EQ(vintrel::replace::FolderLength("\x95\x5C\\x\\\x95\x5C"), 5u);
    EXPECT_EQ(vintrel::replace::FolderLength("C:\x95\x5C"), 2u);
}
#endif

TEST_F(Files, CanvasTooLargeToWriteLeavesTheOutputAlone) {
    if (sizeof(void*) < 8) GTEST_SKIP() << "a 2.7 GB source cannot be held on a 32-bit process";
    // 30000 x 30000 reads (2.7e9 pixel bytes, no rows in the file: all black);
    // at 45 degrees its canvas would need a file of 5.4e9 bytes.
    Header header;
    header.biWidth = header.biHeight = 30000;
    WriteFile(input, HeaderBytes(header));
    WriteFile(output, {4, 5, 6});
    EXPECT_EQ(Rotate(input, output, 45), (Outcome{-1, kUnwritable}));
    EXPECT_EQ(ReadFile(output), (std::vector<uint8_t>{4, 5, 6}));
}

// Names in the system's narrow encoding: the ANSI code page on Windows
// (tested where it is Windows-1252), where characters without a narrow form
// become '?', which no file name holds; bytes elsewhere, UTF-8 where they are
// text and U+DC80 to U+DCFF standing for the bytes that are not. An unpaired
// surrogate names no file, and a name that needs more than 199 bytes is
// refused whole (left empty), never shortened.
struct Conversion {
    const char* name;
    std::u16string wide;
    std::string narrow;
    bool null = false;  // no name at all
};

void PrintTo(const Conversion& c, std::ostream* os) { *os << c.name; }

std::vector<Conversion> Conversions() {
    const char16_t lowAlone[] = {u'x', 0xDC00, u'y', 0}, highLast[] = {u'x', 0xD83D, 0};
    std::vector<Conversion> cases = {{"Plain", u"plain.bmp", "plain.bmp"},
                                     {"LowSurrogateAlone", lowAlone, ""},
                                     {"HighSurrogateLast", highLast, ""},
                                     {"Null", u"", "", true}};
#if defined(_WIN32)
    // One byte each in Windows-1252.
    cases.push_back({"NonAscii", u"\u00e9\u0142\u65e5", "\xE9??"});
    cases.push_back({"LongestThatFits", std::u16string(199, u'\u00e9'), std::string(199, '\xE9')});
    cases.push_back({"OneByteTooMany", std::u16string(200, u'\u00e9'), ""});
#else
    cases.push_back({"NonAscii", u"\u00e9\u65e5\U0001F600", "\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80"});
    const char16_t escaped[] = {u'a', 0xDCFF, 0xDC80, u'.', 0};
    cases.push_back({"BytesThatAreNotText", escaped, "a\xFF\x80."});
    // Three bytes each: 66 make 198 bytes.
    std::string longest;
    for (int i = 0; i < 66; ++i) longest += "\xE6\x97\xA5";
    cases.push_back({"LongestThatFits", std::u16string(66, u'\u65e5'), longest});
    cases.push_back({"ThreeBytesTooMany", std::u16string(67, u'\u65e5'), ""});
#endif
    return cases;
}

class Names : public testing::TestWithParam<Conversion> {};

TEST_P(Names, ConvertToTheSystemsNarrowForm) {
#if defined(_WIN32)
    if (!AnsiIsWindows1252()) GTEST_SKIP() << "ANSI code page " << GetACP();
#endif
    const Conversion& c = GetParam();
    char narrow[vintrel::kNameBytes] = "stale";
    vintrel::ConvertName(c.null ? nullptr : c.wide.c_str(), narrow);
    EXPECT_EQ(std::string(narrow), c.narrow);
}

INSTANTIATE_TEST_SUITE_P(Table, Names, testing::ValuesIn(Conversions()),
                         [](const testing::TestParamInfo<Conversion>& p) { return std::string(p.param.name); });

#if !defined(_WIN32)
// Names at the edges, as input and as output: the UTF-8 name each stands
// for, or none (never a shortened one).
struct NameCase {
    const char* name;
    size_t asciiBytes;       // folder + '/' + ASCII filler, this many bytes in all
    std::u16string tail;     // then these units
    std::string narrowTail;  // their UTF-8 form; empty: the name is refused
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class NameEdges : public testing::TestWithParam<NameCase> {};

TEST_P(NameEdges, NameTheFileTheyStandFor) {
    const NameCase& c = GetParam();
    TempDir dir;
    std::string ascii = dir.path() + "/";
    ascii += std::string(c.asciiBytes - ascii.size(), 'n');
    const std::u16string wide = U16(ascii) + c.tail;
    const std::string narrow = c.narrowTail.empty() ? "" : ascii + c.narrowTail;
    const Picture picture = DistinctPicture(6, 5);
    const std::string other = dir.File("other.bmp");
    if (!narrow.empty()) WriteFile(narrow, EncodeBMP(picture));
    // What a name refused would have named had its odd units become '?'.
    const std::string lookalike = ascii + "?";
    if (narrow.empty()) WriteFile(lookalike, EncodeBMP(DistinctPicture(2, 2)));
    WriteFile(other, EncodeBMP(picture));
    const std::u16string otherWide = U16(other);

    const std::u16string scratch = U16(dir.File("scratch.bmp"));
    Outcome o = Rotate(wide.c_str(), scratch.c_str(), 90);
    EXPECT_EQ(o.result, narrow.empty() ? -3 : 999);
    if (!narrow.empty()) std::filesystem::remove(narrow);
    const size_t files = size_t(std::distance(std::filesystem::directory_iterator(dir.path()), {}));
    o = Rotate(otherWide.c_str(), wide.c_str(), 90);
    if (narrow.empty()) {
        EXPECT_EQ(o, (Outcome{-1, kUnwritable}));
        EXPECT_EQ(size_t(std::distance(std::filesystem::directory_iterator(dir.path()), {})), files);
        EXPECT_EQ(ReadFile(lookalike), EncodeBMP(DistinctPicture(2, 2)));
    } else {
        EXPECT_EQ(o.result, 999);
        EXPECT_EQ(DecodeWrittenBMP(ReadFile(narrow)), ReferenceRotate(picture, 90));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, NameEdges,
    testing::Values(NameCase{"TwoByteCharacterEndsAt199", 197, u"\u00e9", "\xC3\xA9"},
                    NameCase{"TwoByteCharacterCrosses199", 198, u"\u00e9", ""},
                    NameCase{"FourByteCharacterEndsAt199", 195, u"\U0001F600", "\xF0\x9F\x98\x80"},
                    NameCase{"FourByteCharacterCrosses199", 196, u"\U0001F600", ""},
                    NameCase{"HighSurrogateLast", 100, std::u16string(1, char16_t(0xD83D)), ""},
                    NameCase{"LowSurrogateThenPair", 100, std::u16string{char16_t(0xDE00), 0xD83D, 0xDE00}, ""},
                    NameCase{"TwoHighSurrogates", 100, std::u16string{char16_t(0xD800), 0xD800, u'b'}, ""},
                    NameCase{"ByteNotTextEndsAt199", 198, std::u16string(1, char16_t(0xDCFE)), "\xFE"},
                    NameCase{"ByteNotTextCrosses199", 199, std::u16string(1, char16_t(0xDCFE)), ""},
                    NameCase{"NonAsciiOf199", 199 - 3 * 60, std::u16string(60, u'\u65e5'),
                             [] {
                                 std::string s;
                                 for (int i = 0; i < 60; ++i) s += "\xE6\x97\xA5";
                                 return s;
                             }()}),
    [](const testing::TestParamInfo<NameCase>& p) { return std::string(p.param.name); });
#endif

}  // namespace
