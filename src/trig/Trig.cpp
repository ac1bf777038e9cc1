#include "trig/Trig.h"

#include <cstdint>
#include <cstring>
#include <limits>

// Every product and sum below must round on its own: a fused one changes the
// error terms of the double-double steps, and with them the last bit now and
// then. The build says so too; this keeps the file right under other flags.
#if defined(__clang__)
#pragma clang fp contract(off)
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif
#ifdef __FAST_MATH__
#error "Trig.cpp relies on IEEE rounding of each operation; build it without -ffast-math"
#endif

namespace vintrel {
namespace {

// Fraction bits of 2/pi, most significant first, behind two zero words so that
// a window starting left of the binary point reads zeros. 40 words cover the
// largest exponent a finite double has.
constexpr uint32_t kTwoOverPi[] = {
    0x00000000, 0x00000000,
    0xA2F9836E, 0x4E441529, 0xFC2757D1, 0xF534DDC0, 0xDB629599, 0x3C439041,
    0xFE5163AB, 0xDEBBC561, 0xB7246E3A, 0x424DD2E0, 0x06492EEA, 0x09D1921C,
    0xFE1DEB1C, 0xB129A73E, 0xE88235F5, 0x2EBB4484, 0xE99C7026, 0xB45F7E41,
    0x3991D639, 0x835339F4, 0x9C845F8B, 0xBDF9283B, 0x1FF897FF, 0xDE05980F,
    0xEF2F118B, 0x5A0A6D1F, 0x6D367ECF, 0x27CB09B7, 0x4F463F66, 0x9E5FEA2D,
    0x7527BAC7, 0xEBE5F17B, 0x3D0739F7, 0x8A5292EA, 0x6BFB5FB1, 0x1F8D5D08,
    0x56033046, 0xFC7B6BAB, 0xF0CFBC20, 0x9AF4361D,
};

// hi + lo, |lo| <= ulp(hi) / 2, so hi alone is the value rounded to nearest.
struct DD {
    double hi, lo;
};

constexpr DD kPiOver2 = {0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54};
constexpr double kPiOver4 = 0x1.921fb54442d18p-1;  // just below pi/4

DD FastTwoSum(double a, double b) {  // exact when |a| >= |b|
    const double s = a + b;
    return {s, b - (s - a)};
}

DD TwoSum(double a, double b) {  // exact, any order
    const double s = a + b, bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// Dekker's exact product: halves of at most 26 bits multiply without rounding.
DD TwoProd(double a, double b) {
    constexpr double kSplit = 134217729.0;  // 2^27 + 1
    const double ta = kSplit * a, ah = ta - (ta - a), al = a - ah;
    const double tb = kSplit * b, bh = tb - (tb - b), bl = b - bh;
    const double p = a * b;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

// Relative error about 2^-105 as long as a and b do not nearly cancel, which
// holds for every use here.
DD Add(DD a, DD b) {
    const DD s = TwoSum(a.hi, b.hi);
    return FastTwoSum(s.hi, s.lo + (a.lo + b.lo));
}

DD Mul(DD a, DD b) {
    const DD p = TwoProd(a.hi, b.hi);
    return FastTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

DD Div(DD a, double d) {
    const double q = a.hi / d;
    const DD p = TwoProd(q, d);  // a.hi - p.hi is exact: the two are close
    return FastTwoSum(q, (((a.hi - p.hi) - p.lo) + a.lo) / d);
}

// Payne-Hanek reduction in integers: |x| = y + q pi/2 (mod 2 pi), |y| <= pi/4.
// Only the 256 bits of 2/pi that matter are multiplied: earlier ones turn
// m 2^e into multiples of 4, later ones fall below 2^-200 of the fraction.
// Of the 254 fraction bits kept, the worst cancellation any double produces
// (about 62 leading zeros) leaves more than 130. Needs |x| >= pi/4.
DD Reduce(uint64_t bits, unsigned* quadrant) {
    const int e = static_cast<int>(bits >> 52) - 1075;  // |x| = m 2^e
    const uint64_t m = (bits & 0xFFFFFFFFFFFFFu) | (uint64_t{1} << 52);
    const int start = e - 2 + 64;  // + the zero words; first bit taken is start + 1
    uint32_t w[8];                 // window of 2/pi, least significant first
    for (int i = 0; i < 8; ++i) {
        const int b = start + 32 * (7 - i);
        const uint64_t pair = (uint64_t{kTwoOverPi[b / 32]} << 32) | kTwoOverPi[b / 32 + 1];
        w[i] = static_cast<uint32_t>(pair >> (32 - b % 32));
    }
    // p = (x 2/pi mod 4) 2^254: the quadrant on top of the fraction.
    uint32_t p[8] = {};
    const uint32_t limb[2] = {static_cast<uint32_t>(m), static_cast<uint32_t>(m >> 32)};
    for (int k = 0; k < 2; ++k) {
        uint64_t carry = 0;
        for (int i = 0; i + k < 8; ++i) {
            const uint64_t t = uint64_t{w[i]} * limb[k] + p[i + k] + carry;
            p[i + k] = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
    }
    const bool up = (p[7] >> 29) & 1u;  // fraction >= 1/2: next quadrant, y < 0
    *quadrant = ((p[7] >> 30) + (up ? 1u : 0u)) & 3u;
    p[7] &= 0x3FFFFFFFu;
    if (up) {  // 2^254 - fraction
        uint64_t carry = 1;
        for (uint32_t& word : p) {
            const uint64_t t = uint64_t{~word} + carry;
            word = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
        p[7] &= 0x3FFFFFFFu;
    }
    DD f = {0.0, 0.0};
    double scale = 0x1p-254;  // smallest words first: no cancellation, all positive
    for (uint32_t word : p) {
        f = Add(f, {static_cast<double>(word) * scale, 0.0});
        scale *= 0x1p32;
    }
    const DD y = Mul(f, kPiOver2);
    return up ? DD{-y.hi, -y.lo} : y;
}

// Taylor series of cos (first = 27) or sin / y (first = 28) in nested form,
// t <- 1 - z t / (n (n + 1)) with z = y^2. For |y| <= pi/4 the first term left
// out is below 2^-118 of the result, and each step damps earlier errors by 10.
DD Series(DD z, int first) {
    DD t = {1.0, 0.0};
    for (int n = first; n > 0; n -= 2) {
        const DD u = Div(Mul(z, t), static_cast<double>(n * (n + 1)));
        t = Add({1.0, 0.0}, {-u.hi, -u.lo});
    }
    return t;
}

double CosOrSin(double x, bool sine) {
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const bool negative = (bits >> 63) != 0;
    bits &= ~(uint64_t{1} << 63);
    double ax;
    std::memcpy(&ax, &bits, sizeof ax);
    if ((bits >> 52) == 0x7FF) return std::numeric_limits<double>::quiet_NaN();
    // Here sin x - x and cos x - 1 are below half an ulp: x and 1 are the
    // rounded values, and the series would meet subnormals.
    if (ax < 0x1p-27) return sine ? x : 1.0;
    unsigned q = 0;
    const DD y = ax <= kPiOver4 ? DD{ax, 0.0} : Reduce(bits, &q);
    const DD z = Mul(y, y);
    const bool sineSeries = sine != ((q & 1u) != 0);
    const DD r = sineSeries ? Mul(y, Series(z, 28)) : Series(z, 27);
    // sin: + + - - by quadrant, odd in x; cos: + - - +, even in x.
    const bool flip = sine ? (((q >> 1) & 1u) != 0) != negative : q == 1 || q == 2;
    return flip ? -r.hi : r.hi;
}

}  // namespace

double CorrectlyRoundedCos(double x) { return CosOrSin(x, false); }
double CorrectlyRoundedSin(double x) { return CosOrSin(x, true); }

}  // namespace vintrel
