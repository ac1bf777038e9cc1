#include "rotate/Rotate.h"

#include <cfloat>
#include <cstring>

#include "bmp/BMPLayout.h"
#include "rotate/RotateFast.h"
#include "trig/Trig.h"

// Pictures depend on every double operation rounding to double on its own:
// no extended precision (x87), no value-changing optimisation. The fused
// multiply-add is kept out by -ffp-contract=off and a test of the objects.
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD != 0
#error "Rotate.cpp needs doubles evaluated in double precision (32-bit x86: -msse2 -mfpmath=sse)"
#endif
#ifdef __FAST_MATH__
#error "Rotate.cpp relies on IEEE rounding of each operation; build it without -ffast-math"
#endif

namespace vintrel {
namespace {

// Conversion toward zero, saturating where the value has no int32 form.
int32_t Trunc(double x) {
    if (!(x > -2147483649.0)) return INT32_MIN;
    if (!(x < 2147483648.0)) return INT32_MAX;
    return static_cast<int32_t>(x);
}

int32_t LargerOf(int32_t a, int32_t b) { return a > b ? a : b; }

uint32_t CountOf(int32_t size) { return size > 0 ? static_cast<uint32_t>(size) : 0u; }

}  // namespace

Canvas CanvasFor(uint32_t width, uint32_t height, double c, double s) {
    // |c| keeps the canvas the turned picture's bounding box for angles whose
    // cosine is negative; where c >= 0 this is the plain formula.
    const double w = static_cast<double>(width), h = static_cast<double>(height);
    const double ac = c < 0 ? -c : c;
    const int32_t cw = LargerOf(Trunc(w * ac - h * s), Trunc(w * ac + h * s));
    const int32_t ch = LargerOf(Trunc(w * s + h * ac), Trunc(h * ac - w * s));
    return Canvas{CountOf(cw), CountOf(ch)};
}

void RotatePixels(const BMPImage& source, BMPImage& destination, double c, double s) {
    const double halfW = static_cast<double>(source.width / 2);
    const double halfH = static_cast<double>(source.height / 2);
    const double limitX = static_cast<double>(source.width);
    const double limitY = static_cast<double>(source.height);
    const int32_t centreX = static_cast<int32_t>(destination.width / 2);
    const int32_t centreY = static_cast<int32_t>(destination.height / 2);
    static const uint8_t white[3] = {255, 255, 255};
    if (!HasPixels(source)) {
        // -1 < v < 0 truncates to 0, which an empty picture does not have.
        std::memset(destination.pixels, 255, 3u * static_cast<size_t>(destination.width) * destination.height);
        return;
    }
    for (uint32_t i = 0; i < destination.height; ++i) {
        const double yd = static_cast<double>(static_cast<int32_t>(i) - centreY);
        for (uint32_t j = 0; j < destination.width; ++j) {
            const double xd = static_cast<double>(static_cast<int32_t>(j) - centreX);
            const double x = (xd * c - yd * s) + halfW;
            const double y = (yd * c + xd * s) + halfH;
            // For limit >= 1, trunc(v) lies in [0, limit) exactly when
            // -1 < v < limit; testing the doubles first keeps every conversion
            // in range.
            const uint8_t* from = white;
            if (x > -1.0 && x < limitX && y > -1.0 && y < limitY)
                from = PixelAt(source, static_cast<uint32_t>(static_cast<int32_t>(x)),
                               static_cast<uint32_t>(static_cast<int32_t>(y)));
            std::memcpy(PixelAt(destination, j, i), from, 3);
        }
    }
}

void RotateImage(BMPImage* source, BMPImage* destination, int32_t angle) {
    const double r = static_cast<double>(angle) * DegreesToRadians;
    const double c = CorrectlyRoundedCos(r), s = CorrectlyRoundedSin(r);
    const Canvas canvas = CanvasFor(source->width, source->height, c, s);
    destination->width = canvas.width;
    destination->height = canvas.height;
    destination->pixels = nullptr;
    if (!FileCanStore(canvas.width, canvas.height)) return;
    if (!AttachPixels(*destination) || destination->pixels == nullptr) return;
    RotatePixelsFast(*source, *destination, c, s, BestKernel());
}

}  // namespace vintrel
