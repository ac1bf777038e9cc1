// The canvas a turn needs, by the one formula the library and the program
// share: the program sizes the turned picture's file with it when it looks
// for the reason a picture failed. Header-only, so that the program builds
// it with the library's floating-point rules; cos and sin are the correctly
// rounded ones of trig/, never a math library's.
//
// r = angle * DegreesToRadians, c = cos r, s = sin r (IEEE double, each
// operation rounded on its own, no fused multiply-add).
// Canvas:  W' = max(trunc(W|c| - H s), trunc(W|c| + H s))
//          H' = max(trunc(W s + H|c|), trunc(H|c| - W s))
// A negative size is 0.
//
// DegreesToRadians is 3.14159265 / 180 in double precision, a little short
// of pi / 180; stored pictures depend on that value, so it stays.
#pragma once

#include <cfloat>
#include <cstdint>

#include "trig/Trig.h"

// Pictures depend on every double operation rounding to double on its own:
// no extended precision (x87), no value-changing optimisation. The fused
// multiply-add is kept out by -ffp-contract=off and a test of the objects.
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD != 0
#error "the canvas needs doubles evaluated in double precision (32-bit x86: -msse2 -mfpmath=sse)"
#endif
#ifdef __FAST_MATH__
#error "the canvas relies on IEEE rounding of each operation; build without -ffast-math"
#endif

namespace vintrel {

constexpr double DegreesToRadians = 0.017453292500000002;  // 0x3F91DF46A1FAE712

struct Turn {
    double c;
    double s;
};

struct Canvas {
    uint32_t width;
    uint32_t height;
};

inline Turn TurnFor(int32_t angle) {
    const double r = static_cast<double>(angle) * DegreesToRadians;
    return Turn{CorrectlyRoundedCos(r), CorrectlyRoundedSin(r)};
}

namespace canvas_detail {

// Conversion toward zero, saturating where the value has no int32 form.
inline int32_t Trunc(double x) {
    if (!(x > -2147483649.0)) return INT32_MIN;
    if (!(x < 2147483648.0)) return INT32_MAX;
    return static_cast<int32_t>(x);
}

inline int32_t LargerOf(int32_t a, int32_t b) { return a > b ? a : b; }

inline uint32_t CountOf(int32_t size) { return size > 0 ? static_cast<uint32_t>(size) : 0u; }

}  // namespace canvas_detail

inline Canvas CanvasFor(uint32_t width, uint32_t height, double c, double s) {
    using namespace canvas_detail;
    // |c| keeps the canvas the turned picture's bounding box for angles whose
    // cosine is negative; where c >= 0 this is the plain formula.
    const double w = static_cast<double>(width), h = static_cast<double>(height);
    const double ac = c < 0 ? -c : c;
    const int32_t cw = LargerOf(Trunc(w * ac - h * s), Trunc(w * ac + h * s));
    const int32_t ch = LargerOf(Trunc(w * s + h * ac), Trunc(h * ac - w * s));
    return Canvas{CountOf(cw), CountOf(ch)};
}

inline Canvas CanvasFor(uint32_t width, uint32_t height, int32_t angle) {
    const Turn turn = TurnFor(angle);
    return CanvasFor(width, height, turn.c, turn.s);
}

}  // namespace vintrel
