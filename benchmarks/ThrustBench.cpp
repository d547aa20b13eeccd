// The thrust step: the exact 80-bit emulation every build uses against the
// compiler's own long double (x87 here), per call. It runs at most twice a
// key step, so anything under a microsecond is free. And the correctly
// rounded sin and cos against the C library's: once per drawn rock and
// ship, most of them answered from the cache.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "space/ExactTrig.h"
#include "space/Extended80.h"

namespace {

struct ThrustInput {
    float v;
    float trig;
    int throttle;
};

// Velocities and sines as a turning, thrusting ship has them.
std::vector<ThrustInput> inputs() {
    std::mt19937 random(19);
    std::uniform_real_distribution<float> velocity(-40.0f, 40.0f);  // angles too
    std::vector<ThrustInput> in(1024);
    float angle = 0.0f;
    for (std::size_t i = 0; i < in.size(); ++i) {
        angle += random() % 2 != 0 ? 0.2f : -0.2f;
        in[i] = {velocity(random), static_cast<float>(std::sin(static_cast<double>(angle))),
                 static_cast<int>(1 + i % 10)};
    }
    return in;
}

template <typename Step>
void run(benchmark::State& state, Step step) {
    const std::vector<ThrustInput> in = inputs();
    for (auto _ : state) {
        for (const ThrustInput& x : in) benchmark::DoNotOptimize(step(x));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(in.size()));
}

void emulated(benchmark::State& state) {
    run(state, [](const ThrustInput& x) { return extendedThrust(x.v, x.throttle, 0.1, x.trig); });
}
BENCHMARK(emulated)->Name("thrust/emulated_80bit");

void longDouble(benchmark::State& state) {
    run(state, [](const ThrustInput& x) {
        const long double power = static_cast<long double>(x.throttle) * 0.1;
        return static_cast<float>(x.v + power * x.trig);
    });
}
BENCHMARK(longDouble)->Name("thrust/long_double");

// 1024 different angles: past the cache, every call computes.
void exactTrig(benchmark::State& state) {
    const std::vector<ThrustInput> in = inputs();
    for (auto _ : state) {
        for (const ThrustInput& x : in) benchmark::DoNotOptimize(exactSinCos(x.v));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(in.size()));
}
BENCHMARK(exactTrig)->Name("trig/exact_sincos");

void libraryTrig(benchmark::State& state) {
    const std::vector<ThrustInput> in = inputs();
    for (auto _ : state) {
        for (const ThrustInput& x : in) {
            const double a = x.v;
            benchmark::DoNotOptimize(std::sin(a));
            benchmark::DoNotOptimize(std::cos(a));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(in.size()));
}
BENCHMARK(libraryTrig)->Name("trig/libm_sin_cos");

}  // namespace
