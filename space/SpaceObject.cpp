#include "space/SpaceObject.h"

#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "space/AdditiveFeedbackRandom.h"
#include "space/ExactTrig.h"

namespace {

// Rotates a model point by the angle whose sine and cosine are t (positive
// turns clockwise on screen) and moves it to (x, y): the rotated coordinates
// are rounded to float first.
Vec2 place(Vec2 m, SinCos t, float x, float y) {
    const double c = t.cos;
    const double s = t.sin;
    float px = static_cast<float>(c * m.x - s * m.y);
    float py = static_cast<float>(c * m.y + s * m.x);
    return {px + x, py + y};
}

// The rock outline's 20 vertex angles: every new object (each shot, each
// working copy's source) builds an outline, so they are worked out once.
const std::array<SinCos, 20>& outlineAngles() {
    static const auto table = [] {
        std::array<SinCos, 20> t{};
        for (int i = 0; i < 20; ++i) t[i] = exactSinCos(static_cast<float>(i) * 0.05f * 6.28318f);
        return t;
    }();
    return table;
}

// A product of the model formulas: taken in double, kept as float.
float term(double factor, int scaleK) { return static_cast<float>(factor * scaleK); }

}  // namespace

// Every new object draws 20 random numbers (reset builds a rock outline,
// whatever the object is): the game's sequence of draws counts on it. A
// working copy must therefore be copied, never default-made and filled in.
SpaceObject::SpaceObject() { reset(); }

void SpaceObject::reset() {
    x = 0.0f;
    y = 0.0f;
    vx = 0.0f;
    vy = 0.0f;
    angle = 0.0f;
    size = 8;
    scale = 1;
    steer = 0;
    phase = 0;
    thrusting = false;
    smallSaucer = false;
    buildShipModel(0.0f, 0.0f);
    buildRockModel();
    buildSaucerModel(0.0f, 0.0f);
}

void SpaceObject::setup(float nx, float ny, float nvx, float nvy, int nsize, float nangle,
                        int nscale) {
    x = nx;
    y = ny;
    vx = nvx;
    vy = nvy;
    size = nsize;
    angle = nangle;
    storeScale(nscale);
    buildShipModel(0.0f, 0.0f);
    buildRockModel();
    buildSaucerModel(0.0f, 0.0f);
}

void SpaceObject::storeScale(int k) { scale = (k >= 1 && k <= 4) ? k : 1; }

void SpaceObject::setScale(int k) {
    storeScale(k);
    buildShipModel(0.0f, 0.0f);
    buildSaucerModel(0.0f, 0.0f);
}

void SpaceObject::buildShipModel(float ox, float oy) {
    const int k = scale;
    const double s = size;
    shipModel[0] = {ox, oy};
    shipModel[1] = {ox, oy - term(s * 1.5, k)};
    shipModel[2] = {ox - term(s * 0.66, k), oy + term(s * 0.66, k)};
    shipModel[3] = {ox, oy + term(s * 0.25, k)};
    shipModel[4] = {ox + term(s * 0.66, k), oy + term(s * 0.66, k)};
    shipModel[5] = {ox - term(s * 0.25, k), oy + term(s * 0.6, k)};
    shipModel[6] = {ox, oy + term(s * 2, k)};
    shipModel[7] = {ox + term(s * 0.25, k), oy + term(s * 0.6, k)};
}

void SpaceObject::buildRockModel() {
    // Taken in 64 bits so that an absurd size cannot overflow; the game's
    // sizes give the same r either way.
    const long long wide = static_cast<long long>(size) * scale;
    const int r = wide < 1 ? 1 : (wide > INT_MAX ? INT_MAX : static_cast<int>(wide));
    const float rmin = static_cast<float>(r * 0.6);
    for (int i = 0; i < 20; ++i) {
        const int d = rng::rand() % r;
        const float radius = (static_cast<float>(d) < rmin) ? rmin : static_cast<float>(d);
        const SinCos t = outlineAngles()[i];
        rockModel[i] = {static_cast<float>(radius * t.sin), static_cast<float>(radius * t.cos)};
    }
}

void SpaceObject::buildSaucerModel(float ox, float oy) {
    const int k = scale;
    auto at = [&](int dx, int dy) {
        return Vec2{ox + static_cast<float>(dx * k), oy + static_cast<float>(dy * k)};
    };
    saucerModel[0] = {ox, oy};
    saucerModel[1] = at(8, 0);
    saucerModel[2] = at(-8, 0);
    saucerModel[3] = at(-4, 3);
    saucerModel[4] = at(2, 3);
    saucerModel[5] = at(0, 4);
    saucerModel[6] = at(-2, 3);
    saucerModel[7] = at(4, 3);
    saucerModel[8] = at(8, 0);
    saucerModel[9] = at(4, -3);
    saucerModel[10] = at(-4, -3);
    saucerModel[11] = at(-8, 0);
    saucerModel[12] = at(-4, -3);
    saucerModel[13] = at(-3, -3);
    saucerModel[14] = at(-1, -5);
    saucerModel[15] = at(1, -5);
    saucerModel[16] = at(3, -3);
}

// The point loops start at 1: index 0 is the model's centre (or, for a
// rock, a vertex left out of the outline), which nothing draws, and its
// on-screen point is never set.
void SpaceObject::updateShipPoints() {
    const SinCos t = exactSinCos(angle);
    for (int i = 1; i <= 7; ++i) shipPoints[i] = place(shipModel[i], t, x, y);
}

void SpaceObject::updateRockPoints() {
    const SinCos t = exactSinCos(angle);
    for (int i = 1; i <= 19; ++i) rockPoints[i] = place(rockModel[i], t, x, y);
}

void SpaceObject::updateSaucerPoints() {
    for (int i = 1; i <= 16; ++i) {
        saucerPoints[i] = {saucerModel[i].x + x, saucerModel[i].y + y};
    }
}

void SpaceObject::wrapStep(int fieldWidth, int fieldHeight) {
    // Bounds in 64 bits so that an absurd size cannot overflow; the tests
    // compare the float sum with the float values of the integer bounds.
    const long long m = static_cast<long long>(size) + 1;
    const float low = static_cast<float>(m);
    const float highX = static_cast<float>(fieldWidth - m);
    const float highY = static_cast<float>(fieldHeight - m);
    const float nx = x + vx;
    if (nx >= highX) {
        x = low;
    } else if (nx <= low) {
        x = highX;
    } else {
        x = nx;
    }
    const float ny = y + vy;
    if (ny >= highY) {
        y = low;
    } else if (ny <= low) {
        y = highY;
    } else {
        y = ny;
    }
}

void SpaceObject::phaseStep() { phase = (phase >= 15) ? 0 : phase + 1; }

void SpaceObject::moveShip(int fieldWidth, int fieldHeight) {
    wrapStep(fieldWidth, fieldHeight);
    updateShipPoints();
}

// Unlike the ship and the saucers, a rock takes its outline before it moves:
// it is drawn where it was a step ago, which the frames must keep.
void SpaceObject::moveRock(int fieldWidth, int fieldHeight) {
    updateRockPoints();
    wrapStep(fieldWidth, fieldHeight);
}

void SpaceObject::moveSaucer(int fieldWidth, int fieldHeight) {
    wrapStep(fieldWidth, fieldHeight);
    phaseStep();
    updateSaucerPoints();
}

void SpaceObject::moveBullet(int fieldWidth, int fieldHeight) { wrapStep(fieldWidth, fieldHeight); }
