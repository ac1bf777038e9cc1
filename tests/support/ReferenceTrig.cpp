#include "ReferenceTrig.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace testing_support {
namespace {

uint64_t Bits(double x) {
    uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// Unsigned fixed point, 32 integer and 224 fraction bits in
// little-endian limbs. Slow and plain, sharing nothing with the code under test.
using Fixed = std::array<uint32_t, 8>;
Fixed Add(const Fixed& a, const Fixed& b, bool subtract = false) {  // modulo 2^256
    Fixed r{};
    uint64_t carry = subtract ? 1 : 0;
    for (size_t i = 0; i < 8; ++i, carry >>= 32)
        r[i] = static_cast<uint32_t>(carry += uint64_t{a[i]} + (subtract ? ~b[i] : b[i]));
    return r;
}
Fixed Times(Fixed a, uint32_t k) {
    uint64_t acc = 0;
    for (size_t i = 0; i < 8; ++i, acc >>= 32) a[i] = static_cast<uint32_t>(acc += uint64_t{a[i]} * k);
    return a;
}
Fixed Over(Fixed a, uint32_t k) {
    uint64_t acc = 0;
    for (size_t i = 8; i-- > 0; acc %= k) a[i] = static_cast<uint32_t>((acc = acc << 32 | a[i]) / k);
    return a;
}
Fixed Mul(const Fixed& a, const Fixed& b) {
    uint32_t wide[16] = {};
    for (size_t i = 0; i < 8; ++i) {
        uint64_t carry = 0;
        for (size_t j = 0; j < 8; ++j, carry >>= 32)
            wide[i + j] = static_cast<uint32_t>(carry += uint64_t{a[i]} * b[j] + wide[i + j]);
        wide[i + 8] = static_cast<uint32_t>(carry);
    }
    Fixed r;
    std::copy(wide + 7, wide + 15, r.begin());
    return r;
}
Fixed FromDouble(double x) {  // 0 <= x < 2^32; bits below 2^-224 and subnormals drop out
    Fixed r{};
    const uint64_t m = (Bits(x) & 0xFFFFFFFFFFFFFu) | uint64_t{1} << 52;
    const int shift = static_cast<int>(Bits(x) >> 52) - 1075 + 224;
    for (int i = 0; i < 53 && x >= 0x1p-1022; ++i)
        if (shift + i >= 0 && (m >> i & 1)) r[static_cast<size_t>((shift + i) / 32)] |= 1u << ((shift + i) % 32);
    return r;
}
Fixed Arctan(uint32_t n) {  // arctan(1/n)
    Fixed sum{}, power{};
    power[7] = 1;
    power = Over(power, n);
    for (uint32_t k = 0; power != Fixed{}; ++k, power = Over(power, n * n))
        sum = Add(sum, Over(power, 2 * k + 1), k % 2 == 1);
    return sum;
}
bool Less(const Fixed& a, const Fixed& b) {
    return std::lexicographical_compare(a.rbegin(), a.rend(), b.rbegin(), b.rend());
}

bool NotAbove(const Fixed& a, const Fixed& b) { return !Less(b, a); }

const Fixed& HalfPi() {
    static const Fixed halfPi = Times(Add(Times(Arctan(5), 4), Arctan(239), true), 2);  // Machin
    return halfPi;
}

// |cos r| or |sin r| in fixed point, and whether the value is negative.
Fixed Series(double r, bool sine, bool& negative) {
    const Fixed x = FromDouble(std::fabs(r));
    // The quotient by pi/2 estimated in double, then settled exactly: some
    // whole degrees lie closer to a multiple of pi/2 than a double resolves.
    uint32_t k = static_cast<uint32_t>(std::fabs(r) / 1.5707963267948966);
    while (k > 0 && Less(x, Times(HalfPi(), k))) --k;
    while (NotAbove(Times(HalfPi(), k + 1), x)) ++k;
    const Fixed y = Add(x, Times(HalfPi(), k), true);  // 0 <= y < pi/2
    const bool sineSeries = sine != (k % 2 == 1);
    negative = sine ? (k % 4 >= 2) != (r < 0) : (k % 4 == 1 || k % 4 == 2);
    Fixed term{};  // Taylor series; partial sums of cos may wrap below zero
    if (sineSeries) term = y; else term[7] = 1;
    Fixed sum = term;
    const Fixed z = Mul(y, y);
    for (uint32_t n = sineSeries ? 2 : 1; term != Fixed{}; n += 2) {
        term = Over(Over(Mul(term, z), n), n + 1);
        sum = Add(sum, term, (n + 1) / 2 % 2 == 1);
    }
    return sum;
}

// Nearest double to a fixed-point value in [0, 1].
double ToDouble(const Fixed& v) {
    int top = 255;
    while (top >= 0 && !(v[size_t(top / 32)] >> (top % 32) & 1)) --top;
    if (top < 0) return 0.0;
    auto bit = [&](int i) { return i >= 0 && (v[size_t(i / 32)] >> (i % 32) & 1); };
    uint64_t mantissa = 0;
    for (int i = top; i > top - 53; --i) mantissa = mantissa << 1 | uint64_t(bit(i));
    bool sticky = false;
    for (int i = top - 54; i >= 0 && !sticky; --i) sticky = bit(i);
    if (bit(top - 53) && (sticky || (mantissa & 1))) ++mantissa;  // ties to even
    return std::ldexp(double(mantissa), top - 52 - 224);
}

double Reference(int32_t angle, bool sine) {
    const double r = double(angle) * 0.017453292500000002;
    bool negative = false;
    const double magnitude = ToDouble(Series(r, sine, negative));
    return negative ? -magnitude : magnitude;
}

}  // namespace

double ReferenceCos(int32_t angle) { return Reference(angle, false); }
double ReferenceSin(int32_t angle) { return Reference(angle, true); }

bool CorrectlyRounded(double r, bool sine, double value) {
    bool negative = false;
    const Fixed sum = Series(r, sine, negative);
    const Fixed twice = Add(sum, sum), a = FromDouble(std::fabs(value));
    const Fixed low = Add(a, FromDouble(std::nextafter(std::fabs(value), 0.0)));
    const Fixed high = Add(a, FromDouble(std::nextafter(std::fabs(value), 2.0)));
    return (value == 0 || negative == std::signbit(value)) && !Less(twice, low) && !Less(high, twice);
}

}  // namespace testing_support
