// Cosine and sine for the tests, worked out in 224-bit fixed point with
// integer arithmetic only: slow and plain, sharing nothing with the library
// or the host's libm (whose results differ by an ulp now and then, and on
// some hosts by far more), so the per-pixel oracle gives the same answer on
// every build.
#pragma once

#include <cstdint>

namespace testing_support {

// cos and sin of r = angle * 0.017453292500000002, rounded to nearest.
double ReferenceCos(int32_t angle);
double ReferenceSin(int32_t angle);

// True iff `value` is cos r (sin r) rounded to nearest: the true value lies
// between the midpoints to its two neighbours. For |r| < 2^31.
bool CorrectlyRounded(double r, bool sine, double value);

}  // namespace testing_support
