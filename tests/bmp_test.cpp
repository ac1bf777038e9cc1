// The file format: header rules and their messages, rows, padding, files
// that end early, and what the writer puts down.
#include <gtest/gtest.h>

#include <functional>

#include "bmp/BMPFile.h"
#include "support/Call.h"

using namespace testing_support;

namespace {

std::vector<uint8_t> With(std::function<void(Header&)> edit, uint32_t w = 5, uint32_t h = 3) {
    Header header;
    edit(header);
    return EncodeBMP(DistinctPicture(w, h), header);
}

const std::string kOk = std::string(kReadLine) + kWrittenLine;

// Reads back what was put in, for every pad length and for headers that put
// the rows elsewhere than offset 54.
struct Layout {
    uint32_t width, height, offBits, biSize;
};

void PrintTo(const Layout& l, std::ostream* os) { *os << l.width << "x" << l.height << "@" << l.offBits; }

class Rows : public testing::TestWithParam<Layout> {};

TEST_P(Rows, ReadGivesFilePixelsAndRoundTrips) {
    const Layout l = GetParam();
    TempDir dir;
    const Picture picture = DistinctPicture(l.width, l.height);
    Header header;
    header.bfOffBits = l.offBits;
    header.biSize = l.biSize;
    // Pad bytes are not pixels, nor is what some writers leave after the rows.
    std::vector<uint8_t> file = EncodeBMP(picture, header, 0xEE);
    file.resize(file.size() + 3 * l.width + 8, 0xEE);
    WriteFile(dir.File("in.bmp"), file);

    vintrel::BMPImage image{};
    ASSERT_EQ(vintrel::ReadBMP(dir.File("in.bmp").c_str(), &image), vintrel::ReadOk);
    ASSERT_EQ(image.width, l.width);
    ASSERT_EQ(image.height, l.height);
    EXPECT_EQ(std::vector<uint8_t>(image.pixels, image.pixels + picture.bytes.size()), picture.bytes);

    ASSERT_EQ(vintrel::WriteBMP(dir.File("out.bmp").c_str(), &image), vintrel::WriteOk);
    vintrel::ReleasePixels(image);
    const std::vector<uint8_t> written = ReadFile(dir.File("out.bmp"));
    EXPECT_EQ(written.size(), 54 + l.height * (3 * l.width + l.width % 4));
    EXPECT_EQ(DecodeWrittenBMP(written), picture);
}

INSTANTIATE_TEST_SUITE_P(Table, Rows,
                         testing::Values(Layout{1, 3, 54, 40}, Layout{2, 2, 54, 40}, Layout{3, 5, 54, 40},
                                         Layout{4, 2, 54, 40}, Layout{5, 1, 54, 40}, Layout{7, 9, 54, 40},
                                         Layout{3, 4, 54 + 68, 108}, Layout{6, 3, 54 + 84, 124},
                                         Layout{2, 3, 200, 40},
                                         Layout{1001, 300, 54, 40}),  // padded rows in several blocks
                         [](const testing::TestParamInfo<Layout>& p) {
                             return std::to_string(p.param.width) + "x" + std::to_string(p.param.height) + "_rows_at_" +
                                    std::to_string(p.param.offBits);
                         });

TEST(Reader, RowsPastTheEndOfTheFileAreBlack) {
    for (uint32_t offset : {1000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        TempDir dir;
        std::vector<uint8_t> file = EncodeBMP(DistinctPicture(4, 2));
        for (int k = 0; k < 4; ++k) file[10 + size_t(k)] = uint8_t(offset >> (8 * k));
        WriteFile(dir.File("in.bmp"), file);
        vintrel::BMPImage image{};
        ASSERT_EQ(vintrel::ReadBMP(dir.File("in.bmp").c_str(), &image), vintrel::ReadOk) << offset;
        EXPECT_EQ(std::vector<uint8_t>(image.pixels, image.pixels + 24), std::vector<uint8_t>(24, 0)) << offset;
        vintrel::ReleasePixels(image);
    }
}

TEST(Reader, OffsetInsideTheHeaderReadsFromThere) {
    TempDir dir;
    Header header;
    header.bfOffBits = 0;
    std::vector<uint8_t> file = EncodeBMP(DistinctPicture(4, 1), header);
    WriteFile(dir.File("in.bmp"), file);
    vintrel::BMPImage image{};
    ASSERT_EQ(vintrel::ReadBMP(dir.File("in.bmp").c_str(), &image), vintrel::ReadOk);
    EXPECT_EQ(std::vector<uint8_t>(image.pixels, image.pixels + 12), std::vector<uint8_t>(file.begin(), file.begin() + 12));
    vintrel::ReleasePixels(image);
}

TEST(Writer, EmptyPicturesAreTheHeaderAlone) {
    for (auto size : {std::pair<uint32_t, uint32_t>{0, 0}, {0, 5}, {5, 0}}) {
        TempDir dir;
        vintrel::BMPImage image{size.first, size.second, nullptr};
        ASSERT_EQ(vintrel::WriteBMP(dir.File("out.bmp").c_str(), &image), vintrel::WriteOk);
        const std::vector<uint8_t> file = ReadFile(dir.File("out.bmp"));
        ASSERT_EQ(file.size(), 54u);
        const Picture p = DecodeWrittenBMP(file);
        EXPECT_EQ(p.width, size.first);
        EXPECT_EQ(p.height, size.second);
    }
}

TEST(Writer, RefusesAPictureWithPixelsButNoBuffer) {
    TempDir dir;
    WriteFile(dir.File("out.bmp"), {1, 2, 3});
    vintrel::BMPImage image{3, 2, nullptr};
    EXPECT_EQ(vintrel::WriteBMP(dir.File("out.bmp").c_str(), &image), vintrel::WriteOpenFailed);
    EXPECT_EQ(ReadFile(dir.File("out.bmp")), (std::vector<uint8_t>{1, 2, 3})) << "the output is not touched";
    EXPECT_EQ(vintrel::WriteBMP(dir.File("new.bmp").c_str(), &image), vintrel::WriteOpenFailed);
    EXPECT_FALSE(FileExists(dir.File("new.bmp")));
}

#if !defined(_WIN32)
TEST(Writer, ReportsAFullDevice) {
    if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    // Small enough to sit in the stream buffer: only the flush can fail.
    vintrel::BMPImage image{2, 2, nullptr};
    ASSERT_TRUE(vintrel::AttachPixels(image));
    EXPECT_EQ(vintrel::WriteBMP("/dev/full", &image), vintrel::WriteOpenFailed);
    vintrel::ReleasePixels(image);
    // Large enough that the rows themselves fail.
    image = vintrel::BMPImage{1001, 1000, nullptr};
    ASSERT_TRUE(vintrel::AttachPixels(image));
    EXPECT_EQ(vintrel::WriteBMP("/dev/full", &image), vintrel::WriteOpenFailed);
    vintrel::ReleasePixels(image);
}
#endif

// Hostile headers, one field at a time, with the result each must give. The
// sizes claimed are never backed by rows, so the pictures that read are
// black; the angle keeps every canvas that is made small.
struct Hostile {
    std::string name;
    std::vector<uint8_t> file;
    int32_t angle;
    int32_t status;  // ReadBMP's
    int32_t result;  // BMPRotate2's
    bool needs64Bit = false;  // a multi-gigabyte (lazily mapped) buffer
};

void PrintTo(const Hostile& c, std::ostream* os) { *os << c.name; }

std::vector<Hostile> HostileFiles() {
    std::vector<Hostile> cases;
    auto field = [&](const std::string& name, std::function<void(Header&)> edit, int32_t status) {
        cases.push_back(Hostile{name, With(edit), 30, status, status == 0 ? 999 : status == 2 ? -2 : -1});
    };
    // Fields the reader does not examine: any value reads.
    for (uint32_t v : {0u, 1u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        const std::string n = "_" + std::to_string(v);
        field("bfSize" + n, [=](Header& h) { h.bfSize = v; }, 0);
        field("bfReserved1" + n, [=](Header& h) { h.bfReserved1 = uint16_t(v); }, 0);
        field("bfReserved2" + n, [=](Header& h) { h.bfReserved2 = uint16_t(v); }, 0);
        field("biSize" + n, [=](Header& h) { h.biSize = v; }, 0);
        field("biSizeImage" + n, [=](Header& h) { h.biSizeImage = v; }, 0);
        field("biXPelsPerMeter" + n, [=](Header& h) { h.biXPelsPerMeter = int32_t(v); }, 0);
        field("biYPelsPerMeter" + n, [=](Header& h) { h.biYPelsPerMeter = int32_t(v); }, 0);
        field("biClrUsed" + n, [=](Header& h) { h.biClrUsed = v; }, 0);
        field("biClrImportant" + n, [=](Header& h) { h.biClrImportant = v; }, 0);
    }
    // Fields it does: every wrong value is refused, the bit count first.
    for (uint16_t v : std::initializer_list<uint16_t>{0, 1, 4, 8, 16, 23, 25, 32, 0xFFFF})
        field("biBitCount_" + std::to_string(v), [=](Header& h) { h.biBitCount = v; }, 2);
    for (uint16_t v : std::initializer_list<uint16_t>{0, 0x424D, 0x4D41, 0x4D43, 0x4142, 0xFFFF})
        field("bfType_" + std::to_string(v), [=](Header& h) { h.bfType = v; }, 1);
    for (uint32_t v : {1u, 2u, 3u, 4u, 5u, 6u, 0x80000000u, 0xFFFFFFFFu})
        field("biCompression_" + std::to_string(v), [=](Header& h) { h.biCompression = v; }, 1);
    for (uint16_t v : std::initializer_list<uint16_t>{0, 2, 0x100, 0xFFFF})
        field("biPlanes_" + std::to_string(v), [=](Header& h) { h.biPlanes = v; }, 1);
    field("biBitCountCheckedBeforeSignature", [](Header& h) { h.bfType = 0, h.biBitCount = 8; }, 2);
    // Row offsets anywhere: rows are read from there, or are black.
    for (uint32_t v : {0u, 20u, 53u, 55u, 54u + 60u, 0x80000000u, 0xFFFFFFFFu}) {
        std::vector<uint8_t> file = EncodeBMP(DistinctPicture(5, 3));  // rows at 54 whatever the field says
        for (int k = 0; k < 4; ++k) file[10 + size_t(k)] = uint8_t(v >> (8 * k));
        cases.push_back(Hostile{"bfOffBits_" + std::to_string(v), file, 30, 0, 999});
    }

    // Sizes at the edges. At 90 degrees the canvas is the picture on its side
    // (plus a trace row where the cosine, about 1.8e-9, adds up).
    auto size = [&](const std::string& name, int32_t w, int32_t h, int32_t status, int32_t result, int32_t angle = 90,
                    bool needs64 = false) {
        Header header;
        header.biWidth = w, header.biHeight = h;
        std::vector<uint8_t> file = HeaderBytes(header);
        file.resize(file.size() + 10, 0x5A);  // a few bytes of row
        cases.push_back(Hostile{name, file, angle, status, result, needs64});
    };
    const int32_t kMax = INT32_MAX, kMin = INT32_MIN;
    size("0x0", 0, 0, 0, 999);
    size("0x3", 0, 3, 0, 999);
    size("3x0", 3, 0, 0, 999);
    size("1x1", 1, 1, 0, 999);
    size("32768x3", 32768, 3, 0, 999);
    size("3x32768", 3, 32768, 0, 999);
    size("65536x3", 65536, 3, 0, 999);
    size("3x65536", 3, 65536, 0, 999);
    size("maxx1", kMax, 1, 1, -1);
    size("1xmax", 1, kMax, 1, -1);
    size("0xmax_CanvasTooLarge", 0, kMax, 0, -1);  // nothing to hold; its canvas cannot be written
    size("maxx0_CanvasTooLarge", kMax, 0, 0, -1);
    size("maxxmax", kMax, kMax, 1, -1);
    size("minus1x3", -1, 3, 1, -1);
    size("3xminus1", 3, -1, 1, -1);
    size("minx3", kMin, 3, 1, -1);
    size("3xmin", 3, kMin, 1, -1);
    size("minxmin", kMin, kMin, 1, -1);
    // Zero pixel bytes, so only the sign check stands between this and a
    // canvas billions of rows high.
    size("0xminus3", 0, -3, 1, -1);
    // Products that wrap in 32 bits: width * height to 1, 3 * width * height
    // to 2 and to 131072; none may become a small buffer.
    size("WrapsTo1_641x6700417", 641, 6700417, 1, -1);
    size("TripleWrapsTo2_1431655766x3", 1431655766, 3, 1, -1);
    size("TripleWraps_65536x21846", 65536, 21846, 1, -1);
    size("TripleWrapsTo0_65536x65536", 65536, 65536, 1, -1);
    size("TripleWrapsSmall_37838x37838", 37838, 37838, 1, -1);
    // 3.2e9 bytes: held on 64-bit targets; its canvas at 45 degrees is not.
    size("32768x32768_CanvasTooLarge", 32768, 32768, 0, -1, 45, true);
    return cases;
}

class HostileHeaders : public testing::TestWithParam<Hostile> {};

TEST_P(HostileHeaders, GiveTheirResultAndTouchNothingElse) {
    const Hostile& c = GetParam();
    if (c.needs64Bit && sizeof(void*) < 8) GTEST_SKIP() << "needs a 64-bit address space";
    TempDir dir;
    WriteFile(dir.File("in.bmp"), c.file);
    vintrel::BMPImage image{7, 7, nullptr};
    EXPECT_EQ(vintrel::ReadBMP(dir.File("in.bmp").c_str(), &image), c.status);
    EXPECT_EQ(image.pixels == nullptr, !vintrel::HasPixels(image)) << "a buffer exactly when there are pixels";
    vintrel::ReleasePixels(image);

    WriteFile(dir.File("out.bmp"), {3, 1, 4});
    const Outcome o = Rotate(dir.File("in.bmp"), dir.File("out.bmp"), c.angle);
    EXPECT_EQ(o.result, c.result);
    const std::string printed = c.status == 2   ? kDepthLine
                                : c.status == 1 ? kBadLine
                                : c.result == 999 ? kOk
                                                  : std::string(kReadLine) + kUnwritableLine;
    EXPECT_EQ(o.printed, printed);
    if (c.result != 999) {
        EXPECT_EQ(ReadFile(dir.File("out.bmp")), (std::vector<uint8_t>{3, 1, 4}));
    } else {
        const Picture written = DecodeWrittenBMP(ReadFile(dir.File("out.bmp")));
        EXPECT_EQ(written.width, ReferenceCanvasWidth(image.width, image.height, c.angle));
        EXPECT_EQ(written.height, ReferenceCanvasHeight(image.width, image.height, c.angle));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, HostileHeaders, testing::ValuesIn(HostileFiles()),
                         [](const testing::TestParamInfo<Hostile>& p) { return p.param.name; });

// A file cut at every length, inside the header and inside the rows: a
// header cut short is checked as zeros; rows cut short end in black.
TEST(Reader, FilesCutAtEveryLength) {
    for (const Picture& picture : {DistinctPicture(3, 4), DistinctPicture(4, 2)}) {
        const std::vector<uint8_t> whole = EncodeBMP(picture);
        const size_t stride = picture.width * 3 + picture.width % 4;
        for (size_t length = 0; length <= whole.size(); ++length) {
            TempDir dir;
            WriteFile(dir.File("in.bmp"), std::vector<uint8_t>(whole.begin(), whole.begin() + long(length)));
            vintrel::BMPImage image{};
            const int32_t status = vintrel::ReadBMP(dir.File("in.bmp").c_str(), &image);
            const Outcome o = Rotate(dir.File("in.bmp"), dir.File("out.bmp"), 0);
            if (length < 54) {
                EXPECT_EQ(status, vintrel::ReadNot24Bit) << length;
                EXPECT_EQ(o, (Outcome{-2, kDepthLine})) << length;
                continue;
            }
            Picture expected = picture;
            for (uint32_t y = 0; y < picture.height; ++y)
                for (uint32_t i = 0; i < picture.width * 3; ++i)
                    if (54 + y * stride + i >= length) expected.bytes[y * picture.width * 3 + i] = 0;
            ASSERT_EQ(status, vintrel::ReadOk) << length;
            EXPECT_EQ(std::vector<uint8_t>(image.pixels, image.pixels + expected.bytes.size()), expected.bytes)
                << length;
            vintrel::ReleasePixels(image);
            EXPECT_EQ(o.result, 999) << length;
            EXPECT_EQ(DecodeWrittenBMP(ReadFile(dir.File("out.bmp"))), expected) << length;
        }
    }
}

TEST(Format, StoredFileBytesSaturates) {
    EXPECT_EQ(vintrel::StoredFileBytes(0, 0), 54u);
    EXPECT_EQ(vintrel::StoredFileBytes(1, 1), 58u);
    EXPECT_EQ(vintrel::StoredFileBytes(5, 3), 54u + 3u * 16u);
    EXPECT_EQ(vintrel::StoredFileBytes(UINT32_MAX, UINT32_MAX), UINT64_MAX);
}

}  // namespace
