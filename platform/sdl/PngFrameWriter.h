// Frames of a headless run saved as PNG pictures, or streamed as raw pixels.
#pragma once

#include <memory>
#include <string>

#include "platform/Platform.h"

// A display for headless runs: every presented frame is drawn with the
// same SDL code into a software surface and saved as DIR/frame-NNNNN.png
// (numbered from 1). When `also` is given, every surface operation and
// every present goes to it too, so a recording display keeps working.
// A picture that cannot be written is reported once on stderr and sets
// *failed, when given.
std::unique_ptr<Display> makePngFrameWriter(const std::string& dir, Display* also = nullptr,
                                            bool* failed = nullptr);

// The same, but every frame goes to PATH ("-": standard output) as raw
// bgr0 pixels (ffmpeg's name: bytes blue, green, red, padding) of the
// surface's size, one frame after the other. Returns
// nullptr, after a message, when PATH cannot be opened.
std::unique_ptr<Display> makeRawFrameWriter(const std::string& path, Display* also = nullptr,
                                            bool* failed = nullptr);
