#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <numbers>
#include <set>
#include <vector>

#include "space/AdditiveFeedbackRandom.h"
#include "space/SpaceObject.h"

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

// The next n numbers the generator gives after srand(seed).
std::vector<int> drawsAfter(unsigned seed, int n) {
    rng::srand(seed);
    std::vector<int> v;
    for (int i = 0; i < n; ++i) v.push_back(rng::rand());
    return v;
}

// How many numbers op takes from the generator: reseeds, runs op and finds
// the next draw in the reference sequence.
template <class Op>
int drawsTakenBy(Op op) {
    const unsigned seed = 4242;
    const std::vector<int> ref = drawsAfter(seed, 200);
    rng::srand(seed);
    op();
    const int next = rng::rand();
    for (int i = 0; i < static_cast<int>(ref.size()); ++i) {
        if (ref[static_cast<size_t>(i)] == next) return i;
    }
    return -1;
}

float radiusOf(Vec2 v) { return static_cast<float>(std::hypot(double(v.x), double(v.y))); }

// Radii of the 19 outline vertices plus vertex 0, as drawn.
std::set<float> rockRadii(const SpaceObject& o) {
    std::set<float> radii;
    for (const Vec2& v : o.rockModel) radii.insert(std::round(radiusOf(v) * 10.0f) / 10.0f);
    return radii;
}

SpaceObject mover(float x, float y, float vx, float vy, int size) {
    SpaceObject o;
    o.setup(x, y, vx, vy, size, 0.0f, 1);
    return o;
}

}  // namespace

// ---------------------------------------------------------------- models

TEST(SpaceObjectModels, ShipOutlineForSizeAndScale) {
    SpaceObject o;
    const Vec2* m = o.shipModel;
    EXPECT_EQ(m[0].x, 0.0f);
    EXPECT_EQ(m[0].y, 0.0f);
    EXPECT_EQ(m[1].x, 0.0f);
    EXPECT_EQ(m[1].y, -12.0f);
    EXPECT_EQ(m[2].x, -5.28f);
    EXPECT_EQ(m[2].y, 5.28f);
    EXPECT_EQ(m[3].x, 0.0f);
    EXPECT_EQ(m[3].y, 2.0f);
    EXPECT_EQ(m[4].x, 5.28f);
    EXPECT_EQ(m[4].y, 5.28f);
    EXPECT_EQ(m[5].x, -2.0f);
    EXPECT_EQ(m[5].y, 4.8f);
    EXPECT_EQ(m[6].y, 16.0f);
    EXPECT_EQ(m[7].x, 2.0f);
    EXPECT_EQ(m[7].y, 4.8f);

    // 8 * 0.6 * 3 taken in double is just below 14.4; a float product lands above.
    o.setScale(3);
    EXPECT_EQ(o.shipModel[1].y, -36.0f);
    EXPECT_EQ(o.shipModel[4].x, 15.84f);
    EXPECT_EQ(o.shipModel[5].y, 14.3999996185302734375f);
    EXPECT_EQ(o.shipModel[6].y, 48.0f);

    // Reserve icons: built around their screen position, sums in float.
    SpaceObject icon;
    icon.buildShipModel(100.5f, 40.25f);
    EXPECT_EQ(icon.shipModel[0].x, 100.5f);
    EXPECT_EQ(icon.shipModel[0].y, 40.25f);
    EXPECT_EQ(icon.shipModel[1].y, 40.25f - 12.0f);
    EXPECT_EQ(icon.shipModel[2].x, 100.5f - 5.28f);
    EXPECT_EQ(icon.shipModel[2].y, 40.25f + 5.28f);
    EXPECT_EQ(icon.shipModel[7].x, 100.5f + 2.0f);
}

TEST(SpaceObjectModels, SaucerOutlineIs16By9PerScale) {
    const Vec2 expected[17] = {{0, 0},   {8, 0},   {-8, 0},  {-4, 3}, {2, 3},   {0, 4},
                               {-2, 3},  {4, 3},   {8, 0},   {4, -3}, {-4, -3}, {-8, 0},
                               {-4, -3}, {-3, -3}, {-1, -5}, {1, -5}, {3, -3}};
    for (int k = 1; k <= 4; ++k) {
        SpaceObject o;
        o.setScale(k);
        float minX = 0, maxX = 0, minY = 0, maxY = 0;
        for (int i = 0; i < 17; ++i) {
            EXPECT_EQ(o.saucerModel[i].x, expected[i].x * float(k)) << "k " << k << " i " << i;
            EXPECT_EQ(o.saucerModel[i].y, expected[i].y * float(k)) << "k " << k << " i " << i;
            minX = std::min(minX, o.saucerModel[i].x);
            maxX = std::max(maxX, o.saucerModel[i].x);
            minY = std::min(minY, o.saucerModel[i].y);
            maxY = std::max(maxY, o.saucerModel[i].y);
        }
        EXPECT_EQ(maxX - minX, 16.0f * float(k));
        EXPECT_EQ(maxY - minY, 9.0f * float(k));
    }
    // The saucer ignores size.
    SpaceObject big;
    big.setup(0, 0, 0, 0, 32, 0, 2);
    EXPECT_EQ(big.saucerModel[1].x, 16.0f);
    SpaceObject placed;
    placed.buildSaucerModel(10.0f, 20.0f);
    EXPECT_EQ(placed.saucerModel[14].x, 9.0f);
    EXPECT_EQ(placed.saucerModel[14].y, 15.0f);
}

TEST(SpaceObjectModels, RockRadiiPerSize) {
    struct Case {
        int size, scale;
        std::set<float> allowed;
    };
    std::set<float> large = {19.2f};
    for (int d = 20; d <= 31; ++d) large.insert(float(d));
    std::set<float> medium = {9.6f};
    for (int d = 10; d <= 15; ++d) medium.insert(float(d));
    const Case cases[] = {
        {32, 1, large}, {16, 1, medium}, {8, 1, {4.8f, 5.0f, 6.0f, 7.0f}},
        {8, 4, large},  // scale counts like size
        {0, 1, {0.6f}}, {-5, 1, {0.6f}},
    };
    for (const Case& c : cases) {
        rng::srand(99);
        std::set<float> seen;
        for (int n = 0; n < 60; ++n) {
            SpaceObject o;
            o.setup(0, 0, 0, 0, c.size, 0, c.scale);
            for (float r : rockRadii(o)) seen.insert(r);
        }
        for (float r : seen) {
            bool ok = false;
            for (float a : c.allowed) ok = ok || std::fabs(r - a) < 0.01f;
            EXPECT_TRUE(ok) << "size " << c.size << " radius " << r;
        }
        // Every allowed radius shows up over 1200 draws.
        EXPECT_EQ(seen.size(), c.allowed.size()) << "size " << c.size;
    }
}

TEST(SpaceObjectModels, RockVerticesFollowDrawsAndFloatAngles) {
    // Vertex i takes draw i. Vertex 0 lies straight below the centre, so its
    // y is the radius itself: the floor of size 8 at scale 3 (24 * 0.6 in
    // double) is 14.3999996, where a float product would give 14.4000006.
    for (unsigned seed = 1; seed < 40; ++seed) {
        const std::vector<int> ref = drawsAfter(seed, 20);
        rng::srand(seed);
        SpaceObject o;
        const int d = ref[0] % 8;
        EXPECT_EQ(o.rockModel[0].x, 0.0f);
        EXPECT_EQ(o.rockModel[0].y, d < 5 ? 4.8f : float(d));

        rng::srand(seed);
        o.setup(0, 0, 0, 0, 8, 0, 3);
        const int d3 = ref[0] % 24;
        EXPECT_EQ(o.rockModel[0].y, d3 < 15 ? 14.3999996185302734375f : float(d3));
    }

    // The angle step is 0.05f * 6.28318f, a little short of a full turn: vertex
    // 5 sits a hair below the horizontal (a true quarter turn would give y <= 0).
    rng::srand(3);
    SpaceObject o;
    o.setup(0, 0, 0, 0, 32, 0, 1);
    const float r5 = o.rockModel[5].x;
    EXPECT_GT(o.rockModel[5].y, 1.1e-6f * r5);
    EXPECT_LT(o.rockModel[5].y, 1.4e-6f * r5);
    const float r10 = -o.rockModel[10].y;
    EXPECT_GT(o.rockModel[10].x, 2.4e-6f * r10);
    EXPECT_LT(o.rockModel[10].x, 2.7e-6f * r10);

    // Whole outline against the arithmetic that traces depend on.
    const std::vector<int> ref = drawsAfter(17, 20);
    rng::srand(17);
    o.setup(0, 0, 0, 0, 32, 0, 1);
    for (int i = 0; i < 20; ++i) {
        const int d = ref[static_cast<size_t>(i)] % 32;
        const double radius = static_cast<float>(d) < 19.2f ? double(19.2f) : double(d);
        const double theta = float(i) * 0.05f * 6.28318f;
        EXPECT_EQ(o.rockModel[i].x, float(radius * std::sin(theta))) << i;
        EXPECT_EQ(o.rockModel[i].y, float(radius * std::cos(theta))) << i;
    }
}

TEST(SpaceObjectModels, RandomDrawsPerOperation) {
    EXPECT_EQ(drawsTakenBy([] { SpaceObject o; }), 20);
    SpaceObject o;
    EXPECT_EQ(drawsTakenBy([&] { o.reset(); }), 20);
    EXPECT_EQ(drawsTakenBy([&] { o.setup(1, 2, 3, 4, 32, 0.5f, 2); }), 20);
    EXPECT_EQ(drawsTakenBy([&] { o.setup(1, 2, 3, 4, 0, 0.5f, 9); }), 20);
    EXPECT_EQ(drawsTakenBy([&] { o.buildRockModel(); }), 20);
    EXPECT_EQ(drawsTakenBy([&] { o.setScale(3); }), 0);
    EXPECT_EQ(drawsTakenBy([&] { o.setScale(7); }), 0);
    EXPECT_EQ(drawsTakenBy([&] {
                  o.buildShipModel(5, 5);
                  o.buildSaucerModel(5, 5);
              }),
              0);
    EXPECT_EQ(drawsTakenBy([&] {
                  SpaceObject copy(o);
                  copy = o;
              }),
              0);
    EXPECT_EQ(drawsTakenBy([&] {
                  o.moveShip(kWidth, kHeight);
                  o.moveRock(kWidth, kHeight);
                  o.moveSaucer(kWidth, kHeight);
                  o.moveBullet(kWidth, kHeight);
              }),
              0);
}

TEST(SpaceObjectModels, ScaleClampAndWhatItRebuilds) {
    const int inputs[] = {1, 2, 3, 4, 5, 0, -1, INT_MIN, INT_MAX};
    const int results[] = {1, 2, 3, 4, 1, 1, 1, 1, 1};
    for (size_t i = 0; i < std::size(inputs); ++i) {
        SpaceObject a;
        a.setScale(inputs[i]);
        EXPECT_EQ(a.getScale(), results[i]) << "setScale " << inputs[i];
        SpaceObject b;
        b.setup(0, 0, 0, 0, 8, 0, inputs[i]);
        EXPECT_EQ(b.getScale(), results[i]) << "setup " << inputs[i];
        EXPECT_EQ(b.shipModel[1].y, -12.0f * float(results[i]));
    }

    // setScale rebuilds ship and saucer around (0, 0) and leaves the rock alone.
    SpaceObject o;
    o.buildShipModel(50, 50);
    const SpaceObject before = o;
    o.setScale(2);
    EXPECT_EQ(o.shipModel[0].x, 0.0f);
    EXPECT_EQ(o.shipModel[1].y, -24.0f);
    EXPECT_EQ(o.saucerModel[1].x, 16.0f);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(o.rockModel[i].x, before.rockModel[i].x);
        EXPECT_EQ(o.rockModel[i].y, before.rockModel[i].y);
    }

    // setSize rebuilds nothing.
    o.setSize(32);
    EXPECT_EQ(o.getSize(), 32);
    EXPECT_EQ(o.shipModel[1].y, -24.0f);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(o.rockModel[i].y, before.rockModel[i].y);
}

TEST(SpaceObjectModels, AbsurdSizesAreAbsorbed) {
    // Never used by the game, but must not overflow (the sanitizer build traps it).
    for (int size : {INT_MAX, INT_MIN, INT_MAX / 2}) {
        SpaceObject o;
        o.setup(400, 300, 1, 1, size, 0.3f, 4);
        o.moveShip(kWidth, kHeight);
        o.moveRock(kWidth, kHeight);
        o.moveSaucer(kWidth, kHeight);
        o.moveBullet(kWidth, kHeight);
        EXPECT_TRUE(std::isfinite(o.getX()));
        EXPECT_TRUE(std::isfinite(o.rockModel[3].x));
    }
}

// ---------------------------------------------------------------- wrap

TEST(SpaceObjectWrap, BoundariesAreInclusive) {
    // Ship: margin 9. Landing exactly on a bound wraps; overshoot is dropped.
    SpaceObject o = mover(100, 300, 691, 0, 8);  // nx = 791 = 800 - 9
    o.moveBullet(kWidth, kHeight);
    EXPECT_EQ(o.getX(), 9.0f);
    o = mover(100, 300, 690.5f, 0, 8);
    o.moveBullet(kWidth, kHeight);
    EXPECT_EQ(o.getX(), 790.5f);
    o = mover(100, 300, -91, 0, 8);  // nx = 9
    o.moveBullet(kWidth, kHeight);
    EXPECT_EQ(o.getX(), 791.0f);
    o = mover(100, 300, -90.5f, 0, 8);
    o.moveBullet(kWidth, kHeight);
    EXPECT_EQ(o.getX(), 9.5f);
    o = mover(780, 300, 500, 0, 8);
    o.moveBullet(kWidth, kHeight);
    EXPECT_EQ(o.getX(), 9.0f);

    // Same on y, against the height; both axes in one move.
    o = mover(400, 100, 0, 491, 8);  // ny = 591 = 600 - 9
    o.moveBullet(kWidth, kHeight);
    EXPECT_EQ(o.getY(), 9.0f);
    EXPECT_EQ(o.getX(), 400.0f);
    o = mover(10, 10, -1, -1, 8);
    o.moveBullet(kWidth, kHeight);
    EXPECT_EQ(o.getX(), 791.0f);
    EXPECT_EQ(o.getY(), 591.0f);

    // A shot has margin 2.
    o = mover(5, 5, -3, 0, 1);
    o.moveBullet(kWidth, kHeight);
    EXPECT_EQ(o.getX(), 798.0f);
    o = mover(5, 5, -2.5f, 0, 1);
    o.moveBullet(kWidth, kHeight);
    EXPECT_EQ(o.getX(), 2.5f);
    o = mover(790, 5, 8, 0, 1);
    o.moveBullet(kWidth, kHeight);
    EXPECT_EQ(o.getX(), 2.0f);

    // The margin follows setSize at once.
    o = mover(100, 300, -67, 0, 8);  // nx = 33: inside for size 8
    o.setSize(32);                   // margin 33
    o.moveBullet(kWidth, kHeight);
    EXPECT_EQ(o.getX(), 767.0f);
}

TEST(SpaceObjectWrap, MarginIgnoresScale) {
    SpaceObject ship;
    ship.setup(20, 300, -10.5f, 0, 8, 0, 4);  // nose 48 pixels ahead
    ship.moveShip(kWidth, kHeight);
    EXPECT_EQ(ship.getX(), 9.5f);
    ship.setVX(-0.5f);
    ship.moveShip(kWidth, kHeight);
    EXPECT_EQ(ship.getX(), 791.0f);
}

TEST(SpaceObjectWrap, ObjectRestingOnTheMarginAlternates) {
    SpaceObject o = mover(9, 300, 0, 0, 8);
    const float expected[] = {791, 9, 791, 9, 791};
    for (float e : expected) {
        o.moveBullet(kWidth, kHeight);
        EXPECT_EQ(o.getX(), e);
        EXPECT_EQ(o.getY(), 300.0f);
    }
    o = mover(400, 591, 0, 0, 8);
    o.moveBullet(kWidth, kHeight);
    EXPECT_EQ(o.getY(), 9.0f);
    o.moveBullet(kWidth, kHeight);
    EXPECT_EQ(o.getY(), 591.0f);
}

TEST(SpaceObjectWrap, TestsTheFloatSum) {
    // 790.99994 + 0.00004 rounds to 791 in float (wraps); in double it stays below.
    const float below = std::nextafter(791.0f, 0.0f);
    SpaceObject o = mover(below, 300, 4e-5f, 0, 8);
    o.moveBullet(kWidth, kHeight);
    EXPECT_EQ(o.getX(), 9.0f);

    const float above = std::nextafter(9.0f, 100.0f);
    o = mover(above, 300, -6e-7f, 0, 8);
    o.moveBullet(kWidth, kHeight);
    EXPECT_EQ(o.getX(), 791.0f);

    // A sum that stays inside keeps its float rounding.
    o = mover(400.1f, 300.7f, 0.3f, -0.2f, 8);
    o.moveBullet(kWidth, kHeight);
    EXPECT_EQ(o.getX(), 400.1f + 0.3f);
    EXPECT_EQ(o.getY(), 300.7f + -0.2f);
}

// ---------------------------------------------------------------- placement and moves

TEST(SpaceObjectPlacement, PositiveAngleTurnsClockwise) {
    SpaceObject ship;
    ship.setup(100, 200, 0, 0, 8, 0, 1);
    ship.updateShipPoints();
    EXPECT_EQ(ship.shipPoints[1].x, 100.0f);
    EXPECT_EQ(ship.shipPoints[1].y, 188.0f);

    // A quarter turn puts the nose to the right (+x), the flame to the left.
    ship.setAngle(static_cast<float>(std::numbers::pi / 2));
    ship.updateShipPoints();
    EXPECT_NEAR(ship.shipPoints[1].x, 112.0f, 1e-4);
    EXPECT_NEAR(ship.shipPoints[1].y, 200.0f, 1e-4);
    EXPECT_NEAR(ship.shipPoints[6].x, 84.0f, 1e-4);
    EXPECT_NEAR(ship.shipPoints[2].x, 94.72f, 1e-4);  // left rear corner
    EXPECT_NEAR(ship.shipPoints[2].y, 194.72f, 1e-4);

    ship.setAngle(static_cast<float>(std::numbers::pi));
    ship.updateShipPoints();
    EXPECT_NEAR(ship.shipPoints[1].x, 100.0f, 1e-4);
    EXPECT_NEAR(ship.shipPoints[1].y, 212.0f, 1e-4);

    // Rocks turn the same way; saucers never turn.
    SpaceObject rock;
    rock.setup(0, 0, 0, 0, 32, static_cast<float>(std::numbers::pi / 2), 1);
    rock.updateRockPoints();
    for (int i = 1; i < 20; ++i) {
        EXPECT_NEAR(rock.rockPoints[i].x, -rock.rockModel[i].y, 1e-4);
        EXPECT_NEAR(rock.rockPoints[i].y, rock.rockModel[i].x, 1e-4);
    }
    SpaceObject saucer;
    saucer.setup(50, 60, 0, 0, 8, 1.0f, 2);
    saucer.updateSaucerPoints();
    for (int i = 1; i <= 16; ++i) {
        EXPECT_EQ(saucer.saucerPoints[i].x, saucer.saucerModel[i].x + 50.0f);
        EXPECT_EQ(saucer.saucerPoints[i].y, saucer.saucerModel[i].y + 60.0f);
    }
}

TEST(SpaceObjectPlacement, RotatedCoordinatesAreRoundedBeforeTheShift) {
    // px and py are rounded to float, then added to the position in float.
    // Over these angles and positions the shortcut (adding in double) differs
    // from that at least once, so the loop checks something.
    int differs = 0;
    for (int a = 1; a < 64; ++a) {
        SpaceObject o;
        o.setup(333.3f + float(a), 127.7f, 0, 0, 32, float(a) * 0.1f, 3);
        o.updateShipPoints();
        o.updateRockPoints();
        const double c = std::cos(double(o.getAngle()));
        const double s = std::sin(double(o.getAngle()));
        auto check = [&](Vec2 m, Vec2 p) {
            const float px = float(c * m.x - s * m.y);
            const float py = float(c * m.y + s * m.x);
            EXPECT_EQ(p.x, px + o.getX());
            EXPECT_EQ(p.y, py + o.getY());
            if (float(c * m.x - s * m.y + o.getX()) != px + o.getX()) ++differs;
        };
        for (int i = 1; i <= 7; ++i) check(o.shipModel[i], o.shipPoints[i]);
        for (int i = 1; i <= 19; ++i) check(o.rockModel[i], o.rockPoints[i]);
    }
    EXPECT_GT(differs, 0);
}

TEST(SpaceObjectPlacement, MovesPlaceOutlinesBeforeOrAfterTheWrap) {
    // moveRock: outline around the old position, then the move.
    SpaceObject rock;
    rock.setup(795, 300, 10, 0, 8, 0, 1);
    rock.moveRock(kWidth, kHeight);
    EXPECT_EQ(rock.getX(), 9.0f);
    for (int i = 1; i < 20; ++i) EXPECT_EQ(rock.rockPoints[i].x, rock.rockModel[i].x + 795.0f);

    // moveShip and moveSaucer: move (with wrap), then the outline.
    SpaceObject ship;
    ship.setup(795, 300, 10, 2, 8, 0, 1);
    ship.moveShip(kWidth, kHeight);
    EXPECT_EQ(ship.getX(), 9.0f);
    EXPECT_EQ(ship.shipPoints[1].x, 9.0f);
    EXPECT_EQ(ship.shipPoints[1].y, 302.0f - 12.0f);

    SpaceObject saucer;
    saucer.setup(795, 300, 10, 0, 8, 0, 1);
    saucer.moveSaucer(kWidth, kHeight);
    EXPECT_EQ(saucer.saucerPoints[1].x, 17.0f);
    EXPECT_EQ(saucer.saucerPoints[2].x, 1.0f);

    // A shot moves without touching any outline.
    SpaceObject shot = mover(100, 100, 5, 5, 1);
    shot.updateShipPoints();
    const SpaceObject before = shot;
    shot.moveBullet(kWidth, kHeight);
    EXPECT_EQ(shot.getX(), 105.0f);
    EXPECT_EQ(shot.shipPoints[1].y, before.shipPoints[1].y);
    EXPECT_EQ(shot.rockPoints[3].x, before.rockPoints[3].x);
}

TEST(SpaceObjectPlacement, PhaseRunsZeroToFifteen) {
    SpaceObject saucer = mover(400, 300, 1, 0, 8);
    for (int n = 1; n <= 15; ++n) {
        saucer.moveSaucer(kWidth, kHeight);
        EXPECT_EQ(saucer.getPhase(), n);
    }
    saucer.moveSaucer(kWidth, kHeight);
    EXPECT_EQ(saucer.getPhase(), 0);
    saucer.moveSaucer(kWidth, kHeight);
    EXPECT_EQ(saucer.getPhase(), 1);

    // Only the saucer move counts.
    saucer.moveShip(kWidth, kHeight);
    saucer.moveRock(kWidth, kHeight);
    saucer.moveBullet(kWidth, kHeight);
    EXPECT_EQ(saucer.getPhase(), 1);
}

// ---------------------------------------------------------------- reset and setup

namespace {

// An object with every field and every on-screen array away from its reset value.
SpaceObject busyObject() {
    SpaceObject o;
    o.setup(100, 200, 3, 4, 32, 1.0f, 3);
    o.setLife(35);
    o.setSteer(2);
    o.setThrusting(true);
    o.setSmallSaucer(true);
    for (int i = 0; i < 5; ++i) o.moveSaucer(kWidth, kHeight);  // phase 5
    o.updateShipPoints();
    o.updateRockPoints();
    o.buildShipModel(70, 80);
    return o;
}

void expectSameOnScreen(const SpaceObject& a, const SpaceObject& b) {
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(a.shipPoints[i].x, b.shipPoints[i].x);
        EXPECT_EQ(a.shipPoints[i].y, b.shipPoints[i].y);
    }
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(a.rockPoints[i].x, b.rockPoints[i].x);
        EXPECT_EQ(a.rockPoints[i].y, b.rockPoints[i].y);
    }
    for (int i = 0; i < 17; ++i) {
        EXPECT_EQ(a.saucerPoints[i].x, b.saucerPoints[i].x);
        EXPECT_EQ(a.saucerPoints[i].y, b.saucerPoints[i].y);
    }
}

}  // namespace

TEST(SpaceObjectLifecycle, ResetKeepsLifeAndOnScreenPoints) {
    SpaceObject o = busyObject();
    const SpaceObject before = o;
    o.reset();
    EXPECT_EQ(o.getLife(), 35);
    expectSameOnScreen(o, before);
    EXPECT_EQ(o.getX(), 0.0f);
    EXPECT_EQ(o.getY(), 0.0f);
    EXPECT_EQ(o.getVX(), 0.0f);
    EXPECT_EQ(o.getVY(), 0.0f);
    EXPECT_EQ(o.getAngle(), 0.0f);
    EXPECT_EQ(o.getSize(), 8);
    EXPECT_EQ(o.getScale(), 1);
    EXPECT_EQ(o.getSteer(), 0);
    EXPECT_EQ(o.getPhase(), 0);
    EXPECT_FALSE(o.isThrusting());
    EXPECT_FALSE(o.isSmallSaucer());
    // Models rebuilt for size 8, scale 1, around (0, 0).
    EXPECT_EQ(o.shipModel[0].x, 0.0f);
    EXPECT_EQ(o.shipModel[1].y, -12.0f);
    EXPECT_EQ(o.saucerModel[1].x, 8.0f);
    for (const Vec2& v : o.rockModel) EXPECT_LT(radiusOf(v), 7.01f);
}

TEST(SpaceObjectLifecycle, SetupKeepsCountersAndFlags) {
    SpaceObject o = busyObject();
    const SpaceObject before = o;
    o.setup(1.5f, 2.5f, -3.5f, 4.5f, 16, -0.75f, 2);
    EXPECT_EQ(o.getLife(), 35);
    EXPECT_EQ(o.getSteer(), 2);
    EXPECT_EQ(o.getPhase(), 5);
    EXPECT_TRUE(o.isThrusting());
    EXPECT_TRUE(o.isSmallSaucer());  // the kind a saucer was spawned as
    expectSameOnScreen(o, before);
    EXPECT_EQ(o.getX(), 1.5f);
    EXPECT_EQ(o.getY(), 2.5f);
    EXPECT_EQ(o.getVX(), -3.5f);
    EXPECT_EQ(o.getVY(), 4.5f);
    EXPECT_EQ(o.getSize(), 16);
    EXPECT_EQ(o.getAngle(), -0.75f);
    EXPECT_EQ(o.getScale(), 2);
    // All three models rebuilt around (0, 0) for the new size and scale.
    EXPECT_EQ(o.shipModel[0].x, 0.0f);
    EXPECT_EQ(o.shipModel[1].y, -48.0f);
    EXPECT_EQ(o.saucerModel[2].x, -16.0f);
    for (const Vec2& v : o.rockModel) {
        EXPECT_GT(radiusOf(v), 19.19f);
        EXPECT_LT(radiusOf(v), 31.01f);
    }
}
