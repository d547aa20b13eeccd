#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <random>

#include "space/Extended80.h"

// The emulated thrust step against the hardware's 80-bit long double, on
// inputs the game makes and on the ones where double rounding bites. Only an
// x87 long double is a reference; elsewhere the cross check covers it.
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_UNDEFINED__)
constexpr std::uint64_t kScale = 100;  // the sanitizer build checks a sample
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr std::uint64_t kScale = 100;
#else
constexpr std::uint64_t kScale = 1;
#endif
#else
constexpr std::uint64_t kScale = 1;
#endif

float hardware(float v, int throttle, double factor, float trig) {
    const long double power = static_cast<long double>(throttle) * factor;
    return static_cast<float>(v + power * trig);
}

struct Checker {
    std::uint64_t checked = 0;
    std::uint64_t failures = 0;
    // 80-bit sums that land on a float midpoint: where quad would differ.
    std::uint64_t midpoints = 0;

    void operator()(float v, int throttle, double factor, float trig) {
        ++checked;
        const float want = hardware(v, throttle, factor, trig);
        const float got = extendedThrust(v, throttle, factor, trig);
        // Of two NaNs x87 keeps one by the instruction's operand form, so
        // only NaN-ness is fixed; the game never has NaN anyway.
        const bool same = std::isnan(want) ? std::isnan(got)
                                           : std::bit_cast<std::uint32_t>(want) ==
                                                 std::bit_cast<std::uint32_t>(got);
        if (!same && ++failures <= 10) {
            ADD_FAILURE() << std::hexfloat << "v " << v << " throttle " << throttle << " factor "
                          << factor << " trig " << trig << ": hardware " << want << ", emulated "
                          << got;
        }
        const long double sum = v + static_cast<long double>(throttle) * factor * trig;
        if (std::isfinite(want) && want != 0.0f) {
            const long double ulp = std::nextafter(std::fabs(want), INFINITY) - std::fabs(want);
            if (std::fabs(sum - want) * 2 == ulp) ++midpoints;
        }
    }
};

float fromBits(std::uint32_t bits) { return std::bit_cast<float>(bits); }

class Extended80Test : public ::testing::Test {
protected:
    void SetUp() override {
        if (LDBL_MANT_DIG != 64) GTEST_SKIP() << "long double is not x87's 80-bit format here";
    }
    std::mt19937_64 random{19};
    Checker check;
};

// Any bit patterns: subnormals, infinities, NaNs, huge and tiny values, both
// zeros, every throttle and some odd ones.
TEST_F(Extended80Test, MatchesHardwareOnAnyFloats) {
    const float special[] = {0.0f,     -0.0f,   INFINITY,      -INFINITY, NAN, FLT_MAX,
                             -FLT_MAX, FLT_MIN, -FLT_TRUE_MIN, 1.0f,      0.5f};
    for (const float v : special) {
        for (const float trig : special) {
            for (int throttle = -1; throttle <= 10; ++throttle) {
                check(v, throttle, 0.1, trig);
                check(v, throttle, -0.1, trig);
            }
        }
    }
    const int odd[] = {0, -7, 2147483647, -2147483647 - 1, 1000003};
    for (std::uint64_t i = 0; i < 30'000'000 / kScale; ++i) {
        const std::uint64_t r = random();
        const int throttle = i % 16 == 0 ? odd[i / 16 % 5] : static_cast<int>(1 + i % 10);
        check(fromBits(static_cast<std::uint32_t>(r)), throttle, (r & 1) != 0 ? 0.1 : -0.1,
              fromBits(static_cast<std::uint32_t>(r >> 32)));
    }
    EXPECT_EQ(check.failures, 0u) << "of " << check.checked;
}

// The game's own inputs: the ship turns left and right by equal steps (so
// its angle keeps tiny residues) and thrusts at every throttle, with the
// velocities it builds up, small and large.
TEST_F(Extended80Test, MatchesHardwareOnTurningShips) {
    const float steps[] = {0.2f, 0.1f, 0.05f, 0.15f, 0.3f, 0.0125f};
    std::uniform_int_distribution<int> turn(-3, 3);
    for (std::uint64_t game = 0; game < 1500 / kScale + 1; ++game) {
        const float step = steps[game % 6];
        float angle = 0.0f;
        float vx = 0.0f, vy = -0.0f;
        if (game % 3 == 1) vx = std::ldexp(static_cast<float>(random() % 100000), -7);
        if (game % 3 == 2) vy = -std::ldexp(static_cast<float>(random() % 100000), 3);
        for (int tick = 0; tick < 10'000; ++tick) {
            const int k = turn(random);
            // Out and back by the same amount: the residue stays.
            for (int i = 0; i < std::abs(k); ++i) angle += k > 0 ? step : -step;
            const int throttle = 1 + tick % 10;
            const float s = static_cast<float>(std::sin(static_cast<double>(angle)));
            const float c = static_cast<float>(std::cos(static_cast<double>(angle)));
            check(vx, throttle, 0.1, s);
            check(vy, throttle, -0.1, c);
            vx = extendedThrust(vx, throttle, 0.1, s);
            vy = extendedThrust(vy, throttle, -0.1, c);
            if (std::fabs(vx) > 1e6f) vx = -vx / 3;
            if (std::fabs(vy) > 1e6f) vy = -vy / 3;
            if (tick % 500 == 499) angle = std::ldexp(angle, -1);
        }
    }
    EXPECT_EQ(check.failures, 0u) << "of " << check.checked;
}

// Sums that land within a few 80-bit steps of a float midpoint: a residue
// of few bits times the power is half a float step of the velocity, give or
// take what 0.1's rounding leaves below the 64th bit.
TEST_F(Extended80Test, MatchesHardwareNearFloatMidpoints) {
    for (std::uint64_t i = 0; i < 50'000'000 / kScale; ++i) {
        const std::uint64_t r = random();
        const int throttle = static_cast<int>(1 + i % 10);
        const double factor = (i / 10) % 2 != 0 ? 0.1 : -0.1;
        // A small odd multiple of a power of two, as angle residues are.
        const std::uint32_t residueBits = 1 + static_cast<std::uint32_t>(r % 7) * 2;
        const int residueExp = -static_cast<int>(r >> 3 & 31) - 10;
        float trig = std::ldexp(
            static_cast<float>(residueBits) +
                ((r >> 8 & 3) == 0 ? std::ldexp(static_cast<float>(r >> 10 & 0xFF), -20) : 0.0f),
            residueExp);
        if ((r >> 18 & 1) != 0) trig = -trig;
        // The velocity's float step about twice the product, give or take a
        // binade, with any significand and sign.
        const long double product = static_cast<long double>(throttle) * factor * trig;
        const int exp = std::ilogb(static_cast<double>(product)) + 1 +
                        static_cast<int>(r >> 19 & 3) - 1;
        const float significand = static_cast<float>((r >> 21 & 0x7FFFFF) | 0x800000);
        float v = std::ldexp(significand, exp);
        if (i % 4 == 3) {
            // Or large enough that the product's last bit is the 80-bit sum's
            // rounding bit: an exact tie.
            int top = 0;
            const long double m = std::frexp(std::fabs(product), &top);
            const auto bits = static_cast<std::uint64_t>(std::ldexp(m, 64));
            const int last = top - 64 + std::countr_zero(bits);
            v = std::ldexp(significand, last + 64 - 23 + static_cast<int>(r >> 45 & 3) - 1);
        }
        if ((r >> 44 & 1) != 0) v = -v;
        check(v, throttle, factor, trig);
    }
    EXPECT_EQ(check.failures, 0u) << "of " << check.checked;
    // The group is only worth its time if it reaches the midpoints.
    EXPECT_GT(check.midpoints, check.checked / 100);
}

}  // namespace
