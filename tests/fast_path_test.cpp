// Every fast kernel this machine can run, forced one at a time, against the
// plain per-pixel loop of support/: pictures of every small shape (SIMD tails,
// one pixel, one row, none), angles on both sides of each multiple of 45
// (where runs end on razor edges and tiles change shape), huge angles, and
// pictures larger than the caches.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "rotate/Rotate.h"
#include "rotate/RotateFast.h"
#include "support/TestSupport.h"
#include "trig/Trig.h"

using namespace testing_support;
using vintrel::RotateKernel;

namespace vintrel {
void PrintTo(RotateKernel k, std::ostream* os) { *os << RotateKernelName(k); }
}  // namespace vintrel

namespace {

const RotateKernel kKernels[] = {RotateKernel::Scalar, RotateKernel::SSE2, RotateKernel::AVX2, RotateKernel::AVX512,
                                 RotateKernel::NEON};

std::string KernelName(RotateKernel k) { return vintrel::RotateKernelName(k); }

// The stage as RotateImage runs it, with `kernel` forced. The canvas starts
// out neither black nor white, so a pixel the kernel skips shows.
Picture Fast(const Picture& picture, int32_t angle, RotateKernel kernel) {
    const double r = static_cast<double>(angle) * vintrel::DegreesToRadians;
    const double c = vintrel::CorrectlyRoundedCos(r), s = vintrel::CorrectlyRoundedSin(r);
    const vintrel::Canvas canvas = vintrel::CanvasFor(picture.width, picture.height, c, s);
    vintrel::BMPImage source{picture.width, picture.height, nullptr};
    vintrel::BMPImage destination{canvas.width, canvas.height, nullptr};
    Picture out{canvas.width, canvas.height, {}};
    if (!vintrel::AttachPixels(source) || !vintrel::AttachPixels(destination)) {
        ADD_FAILURE() << "no buffer for " << picture.width << "x" << picture.height;
    } else {
        if (!picture.bytes.empty()) std::memcpy(source.pixels, picture.bytes.data(), picture.bytes.size());
        const size_t bytes = size_t(canvas.width) * canvas.height * 3;
        if (bytes != 0) std::memset(destination.pixels, 0x5A, bytes);
        vintrel::RotatePixelsFast(source, destination, c, s, kernel);
        out.bytes.assign(destination.pixels, destination.pixels + bytes);
    }
    vintrel::ReleasePixels(source);
    vintrel::ReleasePixels(destination);
    return out;
}

// Empty when equal, else where and how the first difference shows.
std::string Difference(const Picture& got, const Picture& expected) {
    if (got.width != expected.width || got.height != expected.height)
        return "canvas " + std::to_string(got.width) + "x" + std::to_string(got.height) + ", expected " +
               std::to_string(expected.width) + "x" + std::to_string(expected.height);
    size_t differing = 0, first = 0;
    for (size_t k = 0; k < got.bytes.size(); k += 3)
        if (std::memcmp(&got.bytes[k], &expected.bytes[k], 3) != 0 && differing++ == 0) first = k / 3;
    if (differing == 0) return "";
    return std::to_string(differing) + " pixels differ, first at (" + std::to_string(first % got.width) + ", " +
           std::to_string(first / got.width) + ")";
}

std::vector<int32_t> AnglesNearEveryEighth() {
    std::vector<int32_t> angles;
    for (int32_t k = -8; k <= 8; ++k)
        for (int32_t d = -2; d <= 2; ++d) angles.push_back(45 * k + d);
    // Past one turn cos rounds to 1 - 2^-53 and below while sin is about
    // 1e-8: within rounding of 1, where x may repeat or skip a pixel.
    for (int32_t huge : {540, 720, -720, 1080, 123456789, -987654321, 875146050, -875146051, INT32_MAX, INT32_MIN,
                         INT32_MAX - 45,
                         437321728})  // the last one found by the fuzzer: a 1x9 run ran past the source
        angles.push_back(huge);
    return angles;
}

struct Size {
    uint32_t w, h;
};

std::string SizeName(Size s) { return std::to_string(s.w) + "x" + std::to_string(s.h); }
void PrintTo(Size s, std::ostream* os) { *os << SizeName(s); }

class FastKernel : public testing::TestWithParam<std::tuple<RotateKernel, Size>> {
protected:
    void SetUp() override {
        if (!vintrel::KernelAvailable(std::get<0>(GetParam())))
            GTEST_SKIP() << KernelName(std::get<0>(GetParam())) << " is not available here";
    }
};

TEST_P(FastKernel, EqualsThePlainLoopAtEveryAngle) {
    const RotateKernel kernel = std::get<0>(GetParam());
    const Picture picture = DistinctPicture(std::get<1>(GetParam()).w, std::get<1>(GetParam()).h);
    for (int32_t angle : AnglesNearEveryEighth()) {
        const std::string difference = Difference(Fast(picture, angle, kernel), ReferenceRotate(picture, angle));
        EXPECT_EQ(difference, "") << "at " << angle << " degrees";
    }
}

// Widths 1 to 17 leave every remainder of the 2-, 4- and 8-pixel steps; the
// larger ones span several tiles, and 0-sized pictures give white canvases.
INSTANTIATE_TEST_SUITE_P(
    Shapes, FastKernel,
    testing::Combine(testing::ValuesIn(kKernels),
                     testing::Values(Size{1, 1}, Size{1, 9}, Size{9, 1}, Size{2, 2}, Size{3, 5}, Size{4, 3},
                                     Size{5, 4}, Size{7, 7}, Size{8, 8}, Size{9, 10}, Size{10, 9}, Size{11, 3},
                                     Size{13, 12}, Size{16, 9}, Size{17, 17}, Size{31, 33}, Size{64, 65},
                                     Size{100, 60}, Size{257, 129}, Size{0, 10}, Size{10, 0})),
    [](const testing::TestParamInfo<std::tuple<RotateKernel, Size>>& p) {
        return KernelName(std::get<0>(p.param)) + "_" + SizeName(std::get<1>(p.param));
    });

// Sanitizers and emulators run this suite slowly: they get a picture that
// still spans several column chunks but not the caches.
bool RunsSlowly() {
#if defined(VINTREL_TESTS_RUN_SLOWLY)
    return true;
#else
    const char* slow = std::getenv("VINTREL_TESTS_RUN_SLOWLY");
    return slow != nullptr && slow[0] != '\0' && slow[0] != '0';
#endif
}

class LargePicture : public testing::TestWithParam<RotateKernel> {};

TEST_P(LargePicture, EqualsThePlainLoop) {
    const RotateKernel kernel = GetParam();
    if (!vintrel::KernelAvailable(kernel)) GTEST_SKIP() << KernelName(kernel) << " is not available here";
    // 2400x1800 and its canvases (about 40 MB together at 30 degrees) are
    // larger than this machine's caches, and more than 2048 columns wide.
    const Size size = RunsSlowly() ? Size{2100, 40} : Size{2400, 1800};
    const Picture picture = DistinctPicture(size.w, size.h);
    // Near 0 and 180 degrees rows are copied stretch by stretch, long ones;
    // at 180 and 360 degrees and their negatives cos is exactly -1 or 1 and
    // x is walked from mark to mark.
    for (int32_t angle : {30, 90, 270, -1, 0, 1, 179, 180, 181, -180, 360, -360, 540, 720}) {
        const std::string difference = Difference(Fast(picture, angle, kernel), ReferenceRotate(picture, angle));
        EXPECT_EQ(difference, "") << SizeName(size) << " at " << angle << " degrees";
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, LargePicture, testing::ValuesIn(kKernels),
                         [](const testing::TestParamInfo<RotateKernel>& p) { return KernelName(p.param); });

// Otherwise a target whose vector kernel failed to build in (the AVX2 one
// in the Windows DLL, say) would skip its tests above and pass.
TEST(FastPath, VectorKernelsAreBuiltWhereTheTargetHasThem) {
#if defined(__x86_64__) || (defined(__i386__) && defined(__SSE2__))
    EXPECT_TRUE(vintrel::KernelBuilt(RotateKernel::SSE2));
    EXPECT_TRUE(vintrel::KernelBuilt(RotateKernel::AVX2));
#if defined(__x86_64__)
    EXPECT_TRUE(vintrel::KernelBuilt(RotateKernel::AVX512));
#endif
#elif defined(__aarch64__)
    EXPECT_TRUE(vintrel::KernelBuilt(RotateKernel::NEON));
#else
    GTEST_SKIP() << "no vector kernel for this target";
#endif
}

}  // namespace
