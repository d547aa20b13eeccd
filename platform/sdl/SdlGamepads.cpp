#include "platform/sdl/SdlGamepads.h"

#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

// Started at the first look for pads (the first tick's keys), not before the
// window: scanning the input devices need not delay the first thing shown.
void SdlGamepads::start() {
    if (started) return;
    started = true;
    // No controller support is not an error: the keyboard still plays.
    initialised = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
    if (!initialised) return;
    const char* fifo = std::getenv("VOIDRUNNER_TEST_PAD");
    if (fifo && *fifo) {
        testFifo = open(fifo, O_RDONLY | O_NONBLOCK);
        if (testFifo >= 0) plugTestPad(true);
    }
}

SdlGamepads::~SdlGamepads() {
    for (SDL_GameController* c : controllers) SDL_GameControllerClose(c);
    plugTestPad(false);
    if (testFifo >= 0) close(testFifo);
    if (initialised) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

int SdlGamepads::slots() {
    start();
    if (!initialised) return 0;
    if (testFifo >= 0) driveTestPad();
    SDL_GameControllerUpdate();
    // Gone: closed. New: opened.
    std::erase_if(controllers, [](SDL_GameController* c) {
        if (SDL_GameControllerGetAttached(c)) return false;
        SDL_GameControllerClose(c);
        return true;
    });
    const int count = SDL_NumJoysticks();
    for (int i = 0; i < count; ++i) {
        if (!SDL_IsGameController(i)) continue;
        const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(i);
        const bool known = std::any_of(controllers.begin(), controllers.end(), [&](auto* c) {
            return SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(c)) == id;
        });
        if (!known)
            if (SDL_GameController* c = SDL_GameControllerOpen(i)) controllers.push_back(c);
    }
    return static_cast<int>(controllers.size());
}

bool SdlGamepads::read(int slot, PadState& out) {
    if (slot < 0 || slot >= static_cast<int>(controllers.size())) return false;
    SDL_GameController* c = controllers[static_cast<size_t>(slot)];
    const auto button = [c](SDL_GameControllerButton b) {
        return SDL_GameControllerGetButton(c, b) != 0;
    };
    out.stickX = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTX);
    out.dpadLeft = button(SDL_CONTROLLER_BUTTON_DPAD_LEFT);
    out.dpadRight = button(SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
    out.south = button(SDL_CONTROLLER_BUTTON_A);
    out.east = button(SDL_CONTROLLER_BUTTON_B);
    out.start = button(SDL_CONTROLLER_BUTTON_START);
    out.leftTrigger = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERLEFT);
    out.rightTrigger = SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_TRIGGERRIGHT);
    return true;
}

void SdlGamepads::plugTestPad(bool in) {
    if (in && testDevice < 0) {
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        desc.name = "Voidrunner test pad";
        testDevice = SDL_JoystickAttachVirtualEx(&desc);
        if (testDevice >= 0) testJoystick = SDL_JoystickOpen(testDevice);
        // A virtual axis starts at 0, which for a trigger is half pressed.
        if (testJoystick)
            for (auto trigger : {SDL_CONTROLLER_AXIS_TRIGGERLEFT, SDL_CONTROLLER_AXIS_TRIGGERRIGHT})
                SDL_JoystickSetVirtualAxis(testJoystick, trigger, -32768);
    } else if (!in && testDevice >= 0) {
        if (testJoystick) SDL_JoystickClose(testJoystick);
        testJoystick = nullptr;
        SDL_JoystickDetachVirtual(testDevice);
        testDevice = -1;
    }
}

void SdlGamepads::driveTestPad() {
    char buffer[256];
    ssize_t n = 0;
    while ((n = ::read(testFifo, buffer, sizeof buffer)) > 0)
        testInput.append(buffer, static_cast<size_t>(n));
    size_t end = 0;
    while ((end = testInput.find('\n')) != std::string::npos) {
        std::istringstream line(testInput.substr(0, end));
        testInput.erase(0, end + 1);
        std::string name;
        int value = 0;
        line >> name >> value;
        if (name == "unplug" || name == "plug") {
            plugTestPad(name == "plug");
            continue;
        }
        if (!testJoystick) continue;
        const SDL_GameControllerButton b = SDL_GameControllerGetButtonFromString(name.c_str());
        const SDL_GameControllerAxis a = SDL_GameControllerGetAxisFromString(name.c_str());
        if (b != SDL_CONTROLLER_BUTTON_INVALID)
            SDL_JoystickSetVirtualButton(testJoystick, b, static_cast<Uint8>(value != 0));
        else if (a != SDL_CONTROLLER_AXIS_INVALID)
            SDL_JoystickSetVirtualAxis(testJoystick, a, static_cast<Sint16>(value));
    }
}
