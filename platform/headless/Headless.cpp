#include "platform/headless/Headless.h"

// ---------------------------------------------------------------------------
// RecordingSurface

void RecordingSurface::setTransparentText() { transparentText = true; }

void RecordingSurface::fillRect(int left, int top, int right, int bottom, Rgb colour) {
    record(DrawOp::Fill, left, top, right, bottom, colour);
}

void RecordingSurface::setTextColor(Rgb colour) { textColour = colour; }

void RecordingSurface::selectPen(Rgb colour) {
    penStack.push_back(pen);
    pen = colour;
    ++pensSelected;
}

void RecordingSurface::releasePen() {
    // A release without a selection is a renderer fault; it shows up as a
    // negative count in the tests instead of being hidden here.
    --pensSelected;
    if (!penStack.empty()) {
        pen = penStack.back();
        penStack.pop_back();
    }
}

void RecordingSurface::moveTo(int x, int y) {
    curX = x;
    curY = y;
}

void RecordingSurface::lineTo(int x, int y) {
    record(DrawOp::Line, curX, curY, x, y, pen);
    curX = x;
    curY = y;
}

void RecordingSurface::setPixel(int x, int y, Rgb colour) {
    record(DrawOp::Pixel, x, y, 0, 0, colour);
}

void RecordingSurface::ellipse(int left, int top, int right, int bottom) {
    record(DrawOp::Ellipse, left, top, right, bottom, pen).fill =
        Rgb{255, 255, 255};  // the surface's default brush
}

void RecordingSurface::drawText(const char* text, int left, int top, int right, int bottom,
                                TextAlign align) {
    DrawOp& op = record(DrawOp::Text, left, top, right, bottom, textColour);
    op.text = text ? text : "";
    op.align = align;
}

DrawOp& RecordingSurface::record(DrawOp::Kind kind, int a, int b, int c, int d, Rgb colour) {
    DrawOp& op = ops.emplace_back();
    op.kind = kind;
    op.a = a;
    op.b = b;
    op.c = c;
    op.d = d;
    op.colour = colour;
    return op;
}

// ---------------------------------------------------------------------------
// RecordingDisplay

DrawSurface* RecordingDisplay::createBackBuffer(WindowHandle, int w, int h) {
    owned.push_back(std::make_unique<RecordingSurface>());
    surface = owned.back().get();
    width = w;
    height = h;
    ++created;
    return surface;
}

void RecordingDisplay::present(WindowHandle, DrawSurface& drawn, int, int) {
    auto* recording = dynamic_cast<RecordingSurface*>(&drawn);
    if (!recording) return;
    presented.swap(recording->ops);
    recording->ops.clear();
    ++presentCount;
}

void RecordingDisplay::destroyBackBuffer(DrawSurface* gone) {
    for (auto it = owned.begin(); it != owned.end(); ++it) {
        if (it->get() == gone) {
            owned.erase(it);
            ++destroyed;
            if (surface == gone) surface = nullptr;
            return;
        }
    }
}

RecordingDisplay::~RecordingDisplay() = default;

// ---------------------------------------------------------------------------
// ScriptedKeys

void ScriptedKeys::setAll(const std::string& letters) {
    for (const KeyLetter& k : kKeyLetters) set(k.key, letters.find(k.letter) != std::string::npos);
}

// ---------------------------------------------------------------------------
// FakeWindowSystem

bool FakeWindowSystem::registerClass(const WindowClassDesc& desc) {
    calls.emplace_back("registerClass");
    registered = desc;
    if (failRegister) return false;
    classes[desc.className ? desc.className : ""] = desc.procedure;
    return true;
}

int FakeWindowSystem::systemMetric(int index) {
    calls.emplace_back("systemMetric");
    switch (index) {
    case metric::cxScreen: return screenWidth;
    case metric::cxFixedFrame: return 3;
    case metric::cyMenu: return 20;
    default: return 0;
    }
}

WindowHandle FakeWindowSystem::createWindow(const WindowCreateDesc& desc) {
    calls.emplace_back("createWindow");
    if (failCreate) return nullptr;
    const auto cls = classes.find(desc.className ? desc.className : "");
    if (cls == classes.end()) return nullptr;
    created = desc;
    procedure = cls->second;
    if (procedure) procedure(handle, wm::create, 0, 0);
    return handle;
}

void FakeWindowSystem::showWindow(WindowHandle, int showCommand) {
    calls.emplace_back("showWindow");
    shownWith = showCommand;
}

void FakeWindowSystem::updateWindow(WindowHandle) { calls.emplace_back("updateWindow"); }

void FakeWindowSystem::messageBox(const char* text, const char* caption) {
    calls.emplace_back("messageBox");
    messageText = text ? text : "";
    messageCaption = caption ? caption : "";
}

bool FakeWindowSystem::peekMessage(Message& out) {
    calls.emplace_back("peekMessage");
    if (queue.empty()) return false;
    out = queue.front();
    queue.pop_front();
    return true;
}

int FakeWindowSystem::getMessage(Message& out) {
    calls.emplace_back("getMessage");
    // Nothing will ever arrive in an empty fake queue: end the loop instead
    // of blocking forever.
    if (queue.empty()) {
        out = Message{};
        out.message = wm::quit;
        return 0;
    }
    out = queue.front();
    queue.pop_front();
    return out.message == wm::quit ? 0 : 1;
}

void FakeWindowSystem::translateMessage(const Message&) { calls.emplace_back("translateMessage"); }

intptr_t FakeWindowSystem::dispatchMessage(const Message& msg) {
    calls.emplace_back("dispatchMessage");
    if (!procedure) return 0;
    return procedure(msg.window, msg.message, msg.wParam, msg.lParam);
}

intptr_t FakeWindowSystem::defaultHandling(const Message& msg) {
    calls.emplace_back("defaultHandling");
    // Closing destroys the window, as the real default handling does.
    if (msg.message == wm::close && procedure) procedure(msg.window, wm::destroy, 0, 0);
    return 0;
}

void FakeWindowSystem::postQuitMessage(int exitCode) {
    calls.emplace_back("postQuitMessage");
    quitCode = exitCode;
    Message quit;
    quit.message = wm::quit;
    quit.wParam = static_cast<uintptr_t>(exitCode);
    queue.push_back(quit);
}

void FakeWindowSystem::validate(WindowHandle) { calls.emplace_back("validate"); }

Rect FakeWindowSystem::clientRectOnScreen(WindowHandle) {
    calls.emplace_back("clientRectOnScreen");
    return {screenLeft, screenTop, screenLeft + clientWidth, screenTop + clientHeight};
}

Rect FakeWindowSystem::clientRect(WindowHandle) {
    calls.emplace_back("clientRect");
    return {0, 0, clientWidth, clientHeight};
}

void FakeWindowSystem::post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Message msg;
    msg.window = handle;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    queue.push_back(msg);
}

// ---------------------------------------------------------------------------

void HeadlessPlatform::install() {
    installPlatform({.windows = &windows,
                     .keys = &keys,
                     .display = &display,
                     .sound = &sound,
                     .clock = &clock});
}
