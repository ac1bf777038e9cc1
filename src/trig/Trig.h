// Cosine and sine that give the same bits on every IEEE-754 double target.
//
// Results are the correctly rounded (round-to-nearest) values for every
// finite x: the error before the final rounding is below 2^-100 relative, so
// a wrong rounding would need the true value within that distance of a
// midpoint between two doubles. Built from integer and double arithmetic
// only: no libm, no fused multiply-add, no long double, so the host's libm,
// its FMA and its x87 have no say. Non-finite x gives NaN. sin is odd and cos
// even to the bit; sin(+-0) = +-0.
#pragma once

namespace vintrel {

double CorrectlyRoundedCos(double x);
double CorrectlyRoundedSin(double x);

}  // namespace vintrel
