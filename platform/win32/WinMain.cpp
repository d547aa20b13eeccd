// The program's entry on Windows: the Win32 services, then the game.
#include "platform/win32/Win32Platform.h"

#include <cstdlib>

#include "app/RunGame.h"
#include "platform/winhttp/WinHttp.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // A GUI program has no console to print to: help, version, option
    // errors and a bad replay show in a message box.
    GamePlan plan = planGame(parseCommandLine(__argc, __argv));
    if (plan.reply.done) {
        MessageBoxA(nullptr, plan.reply.text.c_str(), "Voidrunner",
                    MB_OK | (plan.reply.isError ? MB_ICONERROR : MB_ICONINFORMATION));
        return plan.reply.exitCode;
    }
    WinHttp http("voidrunner/" + std::string(programVersion()) + " (Windows)");
    return runGame(
        plan, {.services = win32Services(), .instance = instance, .http = &http, .welcome = true});
}
