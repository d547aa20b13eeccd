// A durable replace of save.txt in the current folder, in plain C: the
// floor the game's save is set against. 0 when it went well.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

int saveFloor(const char* text, size_t length);

#ifdef __cplusplus
}
#endif
