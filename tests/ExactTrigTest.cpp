#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "space/BitCast.h"
#include "space/ExactTrig.h"

namespace {

struct Pinned {
    float angle;
    double sin;
    double cos;
};

// Correctly rounded values (from 400-bit arithmetic) where it is hard to get
// right: floats nearest multiples of pi/2 up to 2^22, angles where a C
// library answers otherwise, residues of turning, the smallest and largest.
const Pinned kPinned[] = {
    {0x1.f9cbe2p+7f, 0x1.0000000000000p+0, -0x1.1fa3bb9a07e78p-28},
    {0x1.2d97c8p+2f, -0x1.fffffffffffffp-1, 0x1.99bc5b961b1adp-27},
    {0x1.9a48dep+15f, 0x1.fffffffffffffp-1, -0x1.16ae29144d3b2p-26},
    {0x1.4ac55cp+21f, 0x1.ffffffffffffep-1, -0x1.4823bba96de73p-26},
    {0x1.4ac55cp+22f, -0x1.4823bba96de72p-25, -0x1.ffffffffffff9p-1},
    {-0x1.f9cbe2p+8f, 0x1.1fa3bb9a07e78p-27, -0x1.0000000000000p+0},
    {-0x1.9999b4p+4f, -0x1.cd46310eb331dp-2, 0x1.c91c6f27c8ea2p-1},
    {-0x1.6e669cp+5f, -0x1.f075b84952558p-1, -0x1.f4bed472507b1p-3},
    {-0x1.dbfebap+7f, 0x1.620902978f5e5p-1, 0x1.71de770c2171dp-1},
    {-0x1.0865d2p+8f, -0x1.ee7adf971fa94p-2, 0x1.c059381f9d3d1p-1},
    {-0x1.ffdc9cp+11f, 0x1.f872627724e34p-1, -0x1.5e7bbc64268efp-3},
    {-0x1.ffbcap+11f, 0x1.8e1b8433a2a2ap-2, -0x1.d7b8d25c43bffp-1},
    {0x1.2p+4f, -0x1.8081668131e26p-1, 0x1.52150815d2470p-1},
    {0x1.dp+4f, -0x1.53c7d20a6c9e7p-1, -0x1.7f01658314e47p-1},
    {0x1.cp+5f, -0x1.0b08bba25191ap-1, 0x1.b4d94415ea8b9p-1},
    {0x1.4p-23f, 0x1.3ffffffffffebp-23, 0x1.fffffffffff9cp-1},
    {-0x1.4p-23f, -0x1.3ffffffffffebp-23, 0x1.fffffffffff9cp-1},
    {0x1p-149f, 0x1.0000000000000p-149, 0x1.0000000000000p+0},
    {0x1.fffffep+23f, -0x1.e57ec09221973p-1, -0x1.4532c3721ed43p-2},
    {-0x1.fffffep+22f, -0x1.9f919943e1642p-1, -0x1.2b1386c2356f5p-1},
    {0x1p+0f, 0x1.aed548f090ceep-1, 0x1.14a280fb5068cp-1},
    {0x1p+1f, 0x1.d18f6ead1b446p-1, -0x1.aa22657537205p-2},
    {0x1.8p+1f, 0x1.210386db6d55bp-3, -0x1.fae04be85e5d2p-1},
    {0x1p+2f, -0x1.837b9dddc1eaep-1, -0x1.4eaa606db24c1p-1},
    {0x1.921fb6p+0f, 0x1.ffffffffffff7p-1, -0x1.777a5cf72ceccp-25},
    {0x1.921fb6p+1f, -0x1.777a5cf72cec6p-24, -0x1.fffffffffffdep-1},
};

std::uint64_t bits(double v) { return bitCast<std::uint64_t>(v); }

TEST(ExactTrig, GivesTheCorrectlyRoundedValues) {
    for (const Pinned& p : kPinned) {
        const SinCos got = exactSinCos(p.angle);
        EXPECT_EQ(bits(got.sin), bits(p.sin)) << std::hexfloat << "sin " << p.angle;
        EXPECT_EQ(bits(got.cos), bits(p.cos)) << std::hexfloat << "cos " << p.angle;
        // Odd and even, to the bit; zero keeps its sign.
        EXPECT_EQ(bits(exactSin(-p.angle)), bits(-p.sin)) << std::hexfloat << p.angle;
        EXPECT_EQ(bits(exactCos(-p.angle)), bits(p.cos)) << std::hexfloat << p.angle;
    }
    EXPECT_EQ(bits(exactSin(-0.0f)), bits(-0.0));
    EXPECT_EQ(exactCos(0.0f), 1.0);
}

// Within one step of the C library everywhere (it is within one of the true
// value), through the cache and past it.
TEST(ExactTrig, AgreesWithTheCLibraryToOneStep) {
    std::mt19937 random(3);
    int differ = 0;
    const int n = 200'000;
    for (int i = 0; i < n; ++i) {
        float angle = bitCast<float>(static_cast<std::uint32_t>(random()));
        if (!(std::fabs(angle) < 0x1p24f)) angle = static_cast<float>(i % 1000) * 0.2f;
        const double x = angle;
        const SinCos got = exactSinCos(angle);
        ASSERT_LE(std::fabs(got.sin - std::sin(x)),
                  std::fabs(std::nextafter(std::sin(x), 2.0) - std::sin(x)))
            << std::hexfloat << angle;
        ASSERT_LE(std::fabs(got.cos - std::cos(x)),
                  std::fabs(std::nextafter(std::cos(x), 2.0) - std::cos(x)))
            << std::hexfloat << angle;
        differ += got.sin != std::sin(x) || got.cos != std::cos(x);
    }
    // A good C library is off on few angles, if any.
    EXPECT_LT(differ, n / 50);
    // Beyond 2^24, and for inf and NaN, the C library answers.
    EXPECT_EQ(exactSin(1e10f), std::sin(1e10));
    EXPECT_TRUE(std::isnan(exactCos(INFINITY)));
}

}  // namespace
