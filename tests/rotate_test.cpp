// The turn itself: canvas sizes, exact pixels against the plain loop of
// support/, and the pinned cases whose numbers come from working the formula
// by hand.
#include <gtest/gtest.h>

#include <cstring>

#include "rotate/Rotate.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

// Runs the stage on a copy of `picture` and hands back the canvas.
Picture Turn(const Picture& picture, int32_t angle) {
    vintrel::BMPImage source{picture.width, picture.height, nullptr};
    EXPECT_TRUE(vintrel::AttachPixels(source));
    if (!picture.bytes.empty()) std::memcpy(source.pixels, picture.bytes.data(), picture.bytes.size());
    vintrel::BMPImage destination{123, 456, nullptr};
    vintrel::RotateImage(&source, &destination, angle);
    Picture out{destination.width, destination.height, {}};
    if (destination.pixels != nullptr)
        out.bytes.assign(destination.pixels, destination.pixels + size_t(out.width) * out.height * 3);
    vintrel::ReleasePixels(source);
    vintrel::ReleasePixels(destination);
    return out;
}

struct CanvasCase {
    uint32_t w, h;
    int32_t angle;
    uint32_t cw, ch;
};

std::string AngleName(int32_t angle) { return angle < 0 ? "minus" + std::to_string(-int64_t(angle)) : std::to_string(angle); }

void PrintTo(const CanvasCase& c, std::ostream* os) { *os << c.w << "x" << c.h << "@" << c.angle; }

class CanvasSizes : public testing::TestWithParam<CanvasCase> {};

TEST_P(CanvasSizes, MatchTheTurnedPicture) {
    const CanvasCase c = GetParam();
    const Picture out = Turn(DistinctPicture(c.w, c.h), c.angle);
    EXPECT_EQ(out.width, c.cw);
    EXPECT_EQ(out.height, c.ch);
}

// 180, 270, 100, 135 and 91 turn cosines negative: their canvases are the
// turned picture's box, not the cropped or negative sizes of the plain
// formula.
INSTANTIATE_TEST_SUITE_P(
    Table, CanvasSizes,
    testing::Values(CanvasCase{100, 60, 30, 116, 101}, CanvasCase{100, 60, 45, 113, 113},
                    CanvasCase{100, 60, -30, 116, 101}, CanvasCase{100, 60, 90, 60, 100},
                    CanvasCase{100, 60, -90, 60, 100}, CanvasCase{100, 60, 360, 100, 60},
                    CanvasCase{100, 60, 450, 60, 100}, CanvasCase{100, 60, 180, 100, 60},
                    CanvasCase{100, 60, 270, 60, 100}, CanvasCase{100, 60, 100, 76, 108},
                    CanvasCase{100, 60, 135, 113, 113}, CanvasCase{640, 480, 45, 791, 791},
                    CanvasCase{640, 480, 1, 648, 491}, CanvasCase{1, 1, 0, 1, 1}, CanvasCase{1, 1, 45, 1, 1},
                    CanvasCase{1, 1, 90, 1, 1}, CanvasCase{1, 1, 91, 1, 1}, CanvasCase{1, 1, 270, 1, 1},
                    CanvasCase{0, 0, 30, 0, 0}, CanvasCase{10, 0, 45, 7, 7}, CanvasCase{0, 10, 0, 0, 10}),
    [](const testing::TestParamInfo<CanvasCase>& p) {
        return std::to_string(p.param.w) + "x" + std::to_string(p.param.h) + "_at_" + AngleName(p.param.angle);
    });

struct Size {
    uint32_t w, h;
};

void PrintTo(const Size& s, std::ostream* os) { *os << s.w << "x" << s.h; }

class ExactPixels : public testing::TestWithParam<std::tuple<Size, int32_t>> {};

TEST_P(ExactPixels, EqualThePlainLoop) {
    const Size size = std::get<0>(GetParam());
    const int32_t angle = std::get<1>(GetParam());
    const Picture picture = DistinctPicture(size.w, size.h);
    const Picture expected = ReferenceRotate(picture, angle);
    const Picture got = Turn(picture, angle);
    ASSERT_EQ(got.width, expected.width);
    ASSERT_EQ(got.height, expected.height);
    size_t differing = 0;
    for (size_t k = 0; k < got.bytes.size(); k += 3)
        differing += std::memcmp(&got.bytes[k], &expected.bytes[k], 3) != 0;
    EXPECT_EQ(differing, 0u) << "pixels differing from the plain loop";
}

INSTANTIATE_TEST_SUITE_P(
    Grid, ExactPixels,
    testing::Combine(testing::Values(Size{1, 1}, Size{1, 7}, Size{7, 1}, Size{2, 2}, Size{3, 5}, Size{4, 3},
                                     Size{16, 9}, Size{37, 23}, Size{100, 60}, Size{255, 129}, Size{301, 300}),
                     testing::Values(0, 1, -1, 30, 45, -45, 90, -90, 100, 135, 180, 270, 360, -360, 720,
                                     123456789, -987654321, INT32_MAX, INT32_MIN)),
    [](const testing::TestParamInfo<std::tuple<Size, int32_t>>& p) {
        const Size size = std::get<0>(p.param);
        return std::to_string(size.w) + "x" + std::to_string(size.h) + "_at_" + AngleName(std::get<1>(p.param));
    });

TEST(Rotation, ZeroDegreesIsTheIdentity) {
    for (Size s : {Size{1, 1}, Size{5, 3}, Size{64, 17}}) {
        const Picture picture = DistinctPicture(s.w, s.h);
        EXPECT_EQ(Turn(picture, 0), picture) << s.w << "x" << s.h;
    }
}

TEST(Rotation, QuarterTurnOfFourByThree) {
    // The degree constant falls short of pi/180, so cos 90 is a hair above 0:
    // row 0 keeps one source pixel and row 3 starts at source (0, 0).
    const Picture picture = DistinctPicture(4, 3);
    const Picture out = Turn(picture, 90);
    ASSERT_EQ(out.width, 3u);
    ASSERT_EQ(out.height, 4u);
    const uint8_t white[3] = {255, 255, 255};
    EXPECT_EQ(0, std::memcmp(out.At(0, 0), picture.At(3, 0), 3));
    EXPECT_EQ(0, std::memcmp(out.At(1, 0), white, 3));
    EXPECT_EQ(0, std::memcmp(out.At(2, 0), white, 3));
    EXPECT_EQ(0, std::memcmp(out.At(0, 3), picture.At(0, 0), 3));
}

struct FullTurn {
    int32_t angle;
    size_t moved;
    uint32_t x, y;  // destination pixel that shows source (0, 0)
};

void PrintTo(const FullTurn& t, std::ostream* os) { *os << t.angle; }

class FullTurns : public testing::TestWithParam<FullTurn> {};

TEST_P(FullTurns, AreNotTheIdentity) {
    const FullTurn t = GetParam();
    const Picture picture = DistinctPicture(100, 60);
    const Picture out = Turn(picture, t.angle);
    ASSERT_EQ(out.width, 100u);
    ASSERT_EQ(out.height, 60u);
    size_t moved = 0, white = 0;
    for (size_t k = 0; k < out.bytes.size(); k += 3) {
        moved += std::memcmp(&out.bytes[k], &picture.bytes[k], 3) != 0;
        white += out.bytes[k] == 255 && out.bytes[k + 1] == 255 && out.bytes[k + 2] == 255;
    }
    EXPECT_EQ(moved, t.moved);
    EXPECT_EQ(white, 0u);
    EXPECT_EQ(0, std::memcmp(out.At(t.x, t.y), picture.At(0, 0), 3));
}

INSTANTIATE_TEST_SUITE_P(Table, FullTurns,
                         testing::Values(FullTurn{360, 4440, 1, 0}, FullTurn{-360, 4400, 0, 1},
                                         FullTurn{720, 4440, 1, 0}),
                         [](const testing::TestParamInfo<FullTurn>& p) { return AngleName(p.param.angle); });

TEST(Rotation, PictureWithoutPixelsGivesWhiteCanvas) {
    const Picture out = Turn(DistinctPicture(10, 0), 45);
    ASSERT_EQ(out.bytes.size(), 7u * 7u * 3u);
    EXPECT_EQ(out.bytes, std::vector<uint8_t>(out.bytes.size(), 255));
}

TEST(Rotation, CanvasTooLargeToStoreGetsNoBuffer) {
    // The source needs no pixels for this: the stage must stop before the loop.
    vintrel::BMPImage source{1u << 30, 0, nullptr};
    vintrel::BMPImage destination{};
    vintrel::RotateImage(&source, &destination, 45);
    EXPECT_GT(destination.width, 700000000u);
    EXPECT_GT(destination.height, 700000000u);
    EXPECT_EQ(destination.pixels, nullptr);

    // One row whose file is just over 2^32 - 1 bytes (54 + 3w = 2^32 + 26).
    source = vintrel::BMPImage{1431655756, 1, nullptr};
    destination = vintrel::BMPImage{};
    vintrel::RotateImage(&source, &destination, 0);
    EXPECT_EQ(destination.width, 1431655756u);
    EXPECT_EQ(destination.height, 1u);
    EXPECT_EQ(destination.pixels, nullptr);
}

}  // namespace
