#include "benchmarks/Allocations.h"

#include <SDL.h>

#include <cstdlib>
#include <new>

namespace {

uint64_t cppNewCount = 0;
uint64_t sdlCount = 0;

SDL_malloc_func sdlMalloc;
SDL_calloc_func sdlCalloc;
SDL_realloc_func sdlRealloc;
SDL_free_func sdlFree;

void* countedMalloc(size_t size) {
    ++sdlCount;
    return sdlMalloc(size);
}
void* countedCalloc(size_t n, size_t size) {
    ++sdlCount;
    return sdlCalloc(n, size);
}
void* countedRealloc(void* p, size_t size) {
    ++sdlCount;
    return sdlRealloc(p, size);
}

}  // namespace

AllocationCount allocationsSoFar() { return {cppNewCount, sdlCount}; }

void countSdlAllocations() {
    SDL_GetOriginalMemoryFunctions(&sdlMalloc, &sdlCalloc, &sdlRealloc, &sdlFree);
    SDL_SetMemoryFunctions(countedMalloc, countedCalloc, countedRealloc, sdlFree);
}

// Every C++ allocation of the benchmark program goes through here.
void* operator new(size_t size) {
    ++cppNewCount;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
