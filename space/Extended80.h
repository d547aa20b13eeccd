// x86's 80-bit extended format (64-bit significand, round to nearest even
// after every operation), in plain integers. The thrust step is defined in
// that format; computing it here gives the same float on every compiler and
// CPU, whatever its long double is (x87, quad or plain double) and whatever
// precision the x87 control word happens to be set to.
#pragma once

#include <bit>
#include <cstdint>

#include "space/BitCast.h"

class Extended80 {
public:
    static Extended80 fromInt(int v) {
        Extended80 x;
        x.negative = v < 0;
        const std::uint64_t mag = x.negative ? 0 - static_cast<std::uint64_t>(v)
                                             : static_cast<std::uint64_t>(v);
        if (mag == 0) return x;
        x.kind = Kind::Finite;
        x.setNormalised(mag, 0);
        return x;
    }

    static Extended80 fromDouble(double v) {
        const std::uint64_t bits = bitCast<std::uint64_t>(v);
        return fromIeee(bits >> 63 != 0, static_cast<int>(bits >> 52 & 0x7FF), 0x7FF,
                        bits & 0xFFFFFFFFFFFFFull, 52, 1075);
    }

    static Extended80 fromFloat(float v) {
        const std::uint32_t bits = bitCast<std::uint32_t>(v);
        return fromIeee(bits >> 31 != 0, static_cast<int>(bits >> 23 & 0xFF), 0xFF,
                        bits & 0x7FFFFFu, 23, 150);
    }

    friend Extended80 operator*(const Extended80& a, const Extended80& b) {
        if (a.kind == Kind::NaN || b.kind == Kind::NaN) return pickNaN(a, b);
        const bool minus = a.negative != b.negative;
        if (a.kind == Kind::Inf || b.kind == Kind::Inf) {
            if (a.kind == Kind::Zero || b.kind == Kind::Zero) return indefinite();
            return special(Kind::Inf, minus);
        }
        if (a.kind == Kind::Zero || b.kind == Kind::Zero) return special(Kind::Zero, minus);
        std::uint64_t hi, lo;
        multiply(a.sig, b.sig, hi, lo);
        return rounded(minus, hi, lo, a.exp + b.exp);
    }

    friend Extended80 operator+(const Extended80& a, const Extended80& b) {
        if (a.kind == Kind::NaN || b.kind == Kind::NaN) return pickNaN(a, b);
        if (a.kind == Kind::Inf || b.kind == Kind::Inf) {
            if (a.kind == Kind::Inf && b.kind == Kind::Inf && a.negative != b.negative)
                return indefinite();
            return a.kind == Kind::Inf ? a : b;
        }
        if (b.kind == Kind::Zero)
            return a.kind == Kind::Zero ? special(Kind::Zero, a.negative && b.negative) : a;
        if (a.kind == Kind::Zero) return b;
        // Larger magnitude first; the smaller one shifted into 64 guard bits.
        const bool swap = a.exp < b.exp || (a.exp == b.exp && a.sig < b.sig);
        const Extended80& big = swap ? b : a;
        const Extended80& small = swap ? a : b;
        const int d = big.exp - small.exp;
        std::uint64_t shi = 0, slo = 0;
        if (d == 0) {
            shi = small.sig;
        } else if (d < 64) {
            shi = small.sig >> d;
            slo = small.sig << (64 - d);
        } else if (d == 64) {
            slo = small.sig;
        } else if (d < 128) {
            slo = small.sig >> (d - 64);
            // Bits shifted out only decide the rounding: one sticky bit at the
            // bottom, 62 places below the last bit that can be kept.
            if (small.sig << (128 - d) != 0) slo |= 1;
        } else {
            slo = 1;
        }
        std::uint64_t hi = big.sig, lo = 0;
        if (big.negative == small.negative) {
            lo = slo;
            hi += shi;
            if (hi < shi) {  // carry out: one place right, keeping what drops as sticky
                lo = (lo >> 1) | (lo & 1) | (hi << 63);
                hi = (hi >> 1) | (std::uint64_t{1} << 63);
                return rounded(big.negative, hi, lo, big.exp - 63);
            }
        } else {
            lo = 0 - slo;
            hi = hi - shi - (slo != 0 ? 1 : 0);
            if (hi == 0 && lo == 0) return special(Kind::Zero, false);
        }
        return rounded(big.negative, hi, lo, big.exp - 64);
    }

    // The one conversion to float at the end (as x87's store does it).
    float toFloat() const {
        const std::uint32_t sign = negative ? 0x80000000u : 0u;
        switch (kind) {
        case Kind::Zero: return bitCast<float>(sign);
        case Kind::Inf: return bitCast<float>(sign | 0x7F800000u);
        case Kind::NaN:
            return bitCast<float>(sign | 0x7F800000u |
                                  static_cast<std::uint32_t>(sig >> 40 & 0x7FFFFF));
        case Kind::Finite: break;
        }
        // The value is sig * 2^exp with sig's top bit set: exponent top = exp + 63.
        const int top = exp + 63;
        // Keep 24 bits, or fewer below the normal range (2^-149 is the last).
        const int drop = top >= -126 ? 40 : 40 + (-126 - top);
        std::uint64_t kept = 0;
        if (drop <= 64) {
            kept = drop == 64 ? 0 : sig >> drop;
            const std::uint64_t half = std::uint64_t{1} << (drop - 1);
            const std::uint64_t rest = drop == 64 ? sig : sig & ((half << 1) - 1);
            if (rest > half || (rest == half && (kept & 1) != 0)) kept += 1;
        }
        // Adding the significand with its leading bit carries into the exponent
        // field exactly as rounding up to the next binade must.
        std::uint32_t bits;
        if (top >= -126) {
            const std::int64_t field = static_cast<std::int64_t>(top + 126) * (1 << 23) +
                                       static_cast<std::int64_t>(kept);
            if (field >= 0x7F800000) return bitCast<float>(sign | 0x7F800000u);
            bits = static_cast<std::uint32_t>(field);
        } else {
            bits = static_cast<std::uint32_t>(kept);
        }
        return bitCast<float>(sign | bits);
    }

private:
    enum class Kind : std::uint8_t { Zero, Finite, Inf, NaN };

    // Finite: sig * 2^exp, sig's top bit set. NaN: sig as x87 holds it.
    std::uint64_t sig = 0;
    int exp = 0;
    bool negative = false;
    Kind kind = Kind::Zero;

    void setNormalised(std::uint64_t mag, int e) {
        const int shift = std::countl_zero(mag);
        sig = mag << shift;
        exp = e - shift;
    }

    static Extended80 special(Kind k, bool minus) {
        Extended80 x;
        x.kind = k;
        x.negative = minus;
        return x;
    }

    // The x87 answer to 0 * inf and inf - inf.
    static Extended80 indefinite() {
        Extended80 x = special(Kind::NaN, true);
        x.sig = 0xC000000000000000ull;
        return x;
    }

    // A loaded NaN is already quiet; of two, the larger significand wins.
    static Extended80 pickNaN(const Extended80& a, const Extended80& b) {
        if (a.kind != Kind::NaN) return b;
        if (b.kind != Kind::NaN) return a;
        if (a.sig != b.sig) return a.sig > b.sig ? a : b;
        return a.negative ? b : a;
    }

    static Extended80 fromIeee(bool minus, int field, int maxField, std::uint64_t frac,
                               int fracBits, int bias) {
        Extended80 x;
        x.negative = minus;
        if (field == maxField) {
            x.kind = frac == 0 ? Kind::Inf : Kind::NaN;
            // Loading a signalling NaN quietens it.
            x.sig = std::uint64_t{3} << 62 | frac << (63 - fracBits);
            return x;
        }
        if (field == 0 && frac == 0) return x;
        x.kind = Kind::Finite;
        if (field == 0) {
            x.setNormalised(frac, 1 - bias);
        } else {
            x.setNormalised(frac | std::uint64_t{1} << fracBits, field - bias);
        }
        return x;
    }

    // hi:lo = a * b, from 32-bit halves (no 128-bit type needed).
    static void multiply(std::uint64_t a, std::uint64_t b, std::uint64_t& hi, std::uint64_t& lo) {
        const std::uint64_t aLo = a & 0xFFFFFFFFu, aHi = a >> 32;
        const std::uint64_t bLo = b & 0xFFFFFFFFu, bHi = b >> 32;
        const std::uint64_t ll = aLo * bLo, lh = aLo * bHi, hl = aHi * bLo, hh = aHi * bHi;
        const std::uint64_t mid = (ll >> 32) + (lh & 0xFFFFFFFFu) + (hl & 0xFFFFFFFFu);
        lo = (mid << 32) | (ll & 0xFFFFFFFFu);
        hi = hh + (lh >> 32) + (hl >> 32) + (mid >> 32);
    }

    // (hi:lo) * 2^e, not zero, rounded to 64 bits, to nearest, ties to even.
    static Extended80 rounded(bool minus, std::uint64_t hi, std::uint64_t lo, int e) {
        Extended80 x;
        x.kind = Kind::Finite;
        x.negative = minus;
        int shift = hi != 0 ? std::countl_zero(hi) : 64 + std::countl_zero(lo);
        if (shift >= 64) {
            hi = lo << (shift - 64);
            lo = 0;
        } else if (shift > 0) {
            hi = hi << shift | lo >> (64 - shift);
            lo <<= shift;
        }
        e += 64 - shift;
        const std::uint64_t half = std::uint64_t{1} << 63;
        if (lo > half || (lo == half && (hi & 1) != 0)) {
            hi += 1;
            if (hi == 0) {
                hi = half;
                e += 1;
            }
        }
        x.sig = hi;
        x.exp = e;
        return x;
    }
};

// The thrust step: v + (throttle * factor) * trig with every operation in the
// 80-bit format, factor the double widened, and one conversion to float.
inline float extendedThrust(float v, int throttle, double factor, float trig) {
    const Extended80 power = Extended80::fromInt(throttle) * Extended80::fromDouble(factor);
    return (Extended80::fromFloat(v) + power * Extended80::fromFloat(trig)).toFloat();
}
