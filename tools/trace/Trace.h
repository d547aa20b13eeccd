// voidrunner-trace as a library: its main, the trace fuzzer and the tests
// all run the tool through runTrace.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class Display;

// Makes the display that saves every frame as a picture in `dir` (--png),
// or as raw pixels to the file `dir` names (--raw-frames), hands each
// operation on to `also` and sets *failed when a frame could not be
// written. Builds without pictures pass none.
using FrameWriterMaker = std::unique_ptr<Display> (*)(const std::string& dir, Display* also,
                                                      bool* failed);

// Runs the tool with the command line `argv`: the script comes from the file
// it names, or from `in`; the JSON lines go to `out`, messages to `err`.
// Returns the exit status: 0 after the last line, 2 for a line or an option
// it cannot understand, 1 when it cannot read the script or write its output.
int runTrace(int argc, char** argv, std::FILE* in, std::FILE* out, std::FILE* err,
             FrameWriterMaker pictures = nullptr, FrameWriterMaker rawFrames = nullptr);
