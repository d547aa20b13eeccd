#include "space/ExactTrig.h"

#include <array>
#include <cmath>
#include <cstdint>

#include "space/BitCast.h"

namespace {

// Double-double arithmetic (a value is hi + lo, about 106 bits) from plain
// double operations: no fused multiply-add, so every build computes the same.
struct DD {
    double hi;
    double lo;
};

DD twoSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

DD fastTwoSum(double a, double b) {  // |a| >= |b|
    const double s = a + b;
    return {s, b - (s - a)};
}

void split(double a, double& hi, double& lo) {
    const double c = 134217729.0 * a;  // 2^27 + 1
    hi = c - (c - a);
    lo = a - hi;
}

DD twoProduct(double a, double b) {
    const double p = a * b;
    double ah, al, bh, bl;
    split(a, ah, al);
    split(b, bh, bl);
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

DD add(DD a, DD b) {
    DD s = twoSum(a.hi, b.hi);
    const DD t = twoSum(a.lo, b.lo);
    s = fastTwoSum(s.hi, s.lo + t.hi);
    return fastTwoSum(s.hi, s.lo + t.lo);
}

DD mul(DD a, DD b) {
    const DD p = twoProduct(a.hi, b.hi);
    return fastTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

// pi/2 in pieces of at most 28 bits: k * piece is exact for k < 2^24.
constexpr double kHalfPi[] = {0x1.921fb54p+0, 0x1.10b461p-30,   0x1.a62633p-58,
                              0x1.45c06ep-86, 0x1.cd12902p-115, 0x1.3822298p-145};

// The Taylor coefficients (-1)^j / (2j+1)! and (-1)^j / (2j)!, j = 0..14:
// enough for 2^-110 on |r| <= pi/4.
constexpr DD kSin[] = {
    {0x1.0000000000000p+0, 0x0.0p+0},
    {-0x1.5555555555555p-3, -0x1.5555555555555p-57},
    {0x1.1111111111111p-7, 0x1.1111111111111p-63},
    {-0x1.a01a01a01a01ap-13, -0x1.a01a01a01a01ap-73},
    {0x1.71de3a556c734p-19, -0x1.c154f8ddc6c00p-73},
    {-0x1.ae64567f544e4p-26, 0x1.c062e06d1f209p-80},
    {0x1.6124613a86d09p-33, 0x1.f28e0cc748ebep-87},
    {-0x1.ae7f3e733b81fp-41, -0x1.1d8656b0ee8cbp-97},
    {0x1.952c77030ad4ap-49, 0x1.ac981465ddc6cp-103},
    {-0x1.2f49b46814157p-57, -0x1.2650f61dbdcb4p-112},
    {0x1.71b8ef6dcf572p-66, -0x1.d043ae40c4647p-120},
    {-0x1.761b41316381ap-75, 0x1.3423c7d91404fp-130},
    {0x1.3f3ccdd165fa9p-84, -0x1.58ddadf344487p-139},
    {-0x1.d1ab1c2dccea3p-94, -0x1.054d0c78aea14p-149},
    {0x1.259f98b4358adp-103, 0x1.eaf8c39dd9bc5p-157},
};
constexpr DD kCos[] = {
    {0x1.0000000000000p+0, 0x0.0p+0},
    {-0x1.0000000000000p-1, 0x0.0p+0},
    {0x1.5555555555555p-5, 0x1.5555555555555p-59},
    {-0x1.6c16c16c16c17p-10, 0x1.f49f49f49f49fp-65},
    {0x1.a01a01a01a01ap-16, 0x1.a01a01a01a01ap-76},
    {-0x1.27e4fb7789f5cp-22, -0x1.cbbc05b4fa99ap-76},
    {0x1.1eed8eff8d898p-29, -0x1.2aec959e14c06p-83},
    {-0x1.93974a8c07c9dp-37, -0x1.05d6f8a2efd1fp-92},
    {0x1.ae7f3e733b81fp-45, 0x1.1d8656b0ee8cbp-101},
    {-0x1.6827863b97d97p-53, -0x1.eec01221a8b0bp-107},
    {0x1.e542ba4020225p-62, 0x1.ea72b4afe3c2fp-120},
    {-0x1.0ce396db7f853p-70, 0x1.aebcdbd20331cp-124},
    {0x1.f2cf01972f578p-80, -0x1.9ada5fcc1ab14p-135},
    {-0x1.88e85fc6a4e5ap-89, 0x1.71c37ebd16540p-143},
    {0x1.0a18a2635085dp-98, 0x1.b9e2e28e1aa54p-153},
};

DD series(const DD (&c)[15], DD z) {
    DD sum = c[14];
    for (int j = 13; j >= 0; --j) sum = add(mul(sum, z), c[j]);
    return sum;
}

SinCos compute(float angle) {
    const double x = angle;
    if (!(std::fabs(x) < 0x1p24)) return {std::sin(x), std::cos(x)};
    if (x == 0) return {x, 1.0};  // the sign of zero, which sums would lose
    // x - k pi/2, exactly enough: each k * piece is exact and the sum is kept
    // in double-double.
    const double k = std::nearbyint(x * 0x1.45f306dc9c883p-1);  // x * 2/pi
    DD r = {x, 0.0};
    if (k != 0) {
        for (const double piece : kHalfPi) r = add(r, {-k * piece, 0.0});
    }
    const DD z = mul(r, r);
    const DD s = mul(r, series(kSin, z));
    const DD c = series(kCos, z);
    // The quadrant.
    switch (static_cast<std::int64_t>(k) & 3) {
    case 0: return {s.hi, c.hi};
    case 1: return {c.hi, -s.hi};
    case 2: return {-s.hi, -c.hi};
    default: return {-c.hi, s.hi};
    }
}

}  // namespace

SinCos exactSinCos(float angle) {
    // A rock's heading is a whole number of radians from 1 to 59, fixed for
    // its life: a busy field's headings would crowd any small cache, so they
    // are all worked out at once, the first time one is asked for.
    if (angle >= 1.0f && angle <= 59.0f) {
        const auto h = static_cast<int>(angle);
        if (static_cast<float>(h) == angle) {
            static const auto headings = [] {
                std::array<SinCos, 60> t{};
                for (int i = 1; i < 60; ++i) t[i] = compute(static_cast<float>(i));
                return t;
            }();
            return headings[h];
        }
    }
    // The ship turns seldom: a few remembered angles save most of the rest.
    struct Entry {
        std::uint32_t bits;
        bool used;
        SinCos value;
    };
    thread_local Entry cache[64] = {};
    const auto bits = bitCast<std::uint32_t>(angle);
    Entry& e = cache[(bits ^ bits >> 13 ^ bits >> 23) & 63];
    if (!e.used || e.bits != bits) e = {bits, true, compute(angle)};
    return e.value;
}
