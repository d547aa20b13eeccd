#include "present/Renderer.h"

void destroyBackBuffer() {}
