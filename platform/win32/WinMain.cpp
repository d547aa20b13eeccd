// The program's entry on Windows: the Win32 services, then the game.
#include "platform/win32/Win32Platform.h"

#include <cstdlib>

#include "app/CommandLine.h"
#include "app/GameWindow.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // A GUI program has no console to print to: help, version and
    // option errors show in a message box.
    const CommandLine options = parseCommandLine(__argc, __argv);
    const CommandLineReply reply = replyTo(options);
    if (reply.done) {
        MessageBoxA(nullptr, reply.text.c_str(), "Voidrunner",
                    MB_OK | (reply.isError ? MB_ICONERROR : MB_ICONINFORMATION));
        return reply.exitCode;
    }
    setStartFullscreen(options.fullscreen);
    installPlatform(win32Services());
    return runMainLoop(instance);
}
