// SDL game controllers as pads for the held keys, plugged in and out at
// any time.
#pragma once

#include <string>
#include <vector>

#include "platform/Gamepad.h"

struct _SDL_GameController;
typedef struct _SDL_GameController SDL_GameController;
struct _SDL_Joystick;
typedef struct _SDL_Joystick SDL_Joystick;

class SdlGamepads final : public PadSource {
public:
    SdlGamepads() = default;
    ~SdlGamepads() override;
    SdlGamepads(const SdlGamepads&) = delete;
    SdlGamepads& operator=(const SdlGamepads&) = delete;

    // Opens the controllers that came and closes those that went.
    int slots() override;
    bool read(int slot, PadState& out) override;

private:
    void start();
    bool started = false;
    bool initialised = false;
    std::vector<SDL_GameController*> controllers;

    // VOIDRUNNER_TEST_PAD=FIFO: a virtual controller for the window tests,
    // driven by lines read from FIFO: "BUTTON 0|1" and "AXIS VALUE" with
    // SDL's names (a, b, start, dpleft, leftx, righttrigger, ...; a trigger
    // goes from -32768, released, to 32767), "unplug" and "plug".
    void driveTestPad();
    void plugTestPad(bool in);
    int testFifo = -1;
    int testDevice = -1;  // the virtual joystick's device index, -1 unplugged
    SDL_Joystick* testJoystick = nullptr;
    std::string testInput;
};
