#include "app/GameWindow.h"

GameWindow* gameWindow = nullptr;
uint32_t nextTickTime = 0;

GameWindow::~GameWindow() = default;
