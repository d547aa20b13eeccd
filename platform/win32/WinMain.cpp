// The program's entry on Windows: the Win32 services, then the game.
#include "platform/win32/Win32Platform.h"

#include "app/GameWindow.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    installPlatform(win32Services());
    return runMainLoop(instance);
}
