// Counts of heap allocations made so far by C++ new and by SDL (including
// SDL_ttf), for allocations-per-frame figures.
#pragma once

#include <cstdint>

struct AllocationCount {
    uint64_t cppNew = 0;
    uint64_t sdl = 0;
};

AllocationCount allocationsSoFar();
// Routes SDL's allocator through counting wrappers; call before SDL_Init.
void countSdlAllocations();
