// sin and cos of a float angle, correctly rounded to double: the same bits
// on every build. The C libraries differ in the last bit now and then (the
// one emscripten links on 6% of the ship's angles, glibc's on 0.3% from the
// correctly rounded value), and a float rounded from such a result can
// differ with it, parting a replay from its game.
#pragma once

struct SinCos {
    double sin;
    double cos;
};

// Exact for |angle| < 2^24 (the ship's angle stops growing at 2^22, where a
// turn step no longer changes it); beyond, and for inf or NaN, the C library.
SinCos exactSinCos(float angle);
inline double exactSin(float angle) { return exactSinCos(angle).sin; }
inline double exactCos(float angle) { return exactSinCos(angle).cos; }
