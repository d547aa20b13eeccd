// voidrunner-trace: the whole game run headless from a script, with the
// game state printed as one JSON line after every tick and typed character.
//
//   voidrunner-trace [--draw] [--final] [--png DIR] [--raw-frames FILE|-] [SCRIPT]
#include <cstdio>

#include "Trace.h"
#ifdef VR_PNG_FRAMES
#include "platform/sdl/PngFrameWriter.h"
#endif
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    // Lines end in LF on every platform: the output is compared byte for byte.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    // Pictures of the frames come from the SDL drawing code, when built in.
#ifdef VR_PNG_FRAMES
    return runTrace(argc, argv, stdin, stdout, stderr, makePngFrameWriter, makeRawFrameWriter);
#else
    return runTrace(argc, argv, stdin, stdout, stderr);
#endif
}
