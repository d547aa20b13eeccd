#include "app/host/HostControls.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "game/GameState.h"
#include "present/Renderer.h"

namespace {

bool fullscreenAtStart = false;
bool welcomeOnFirstLaunch = false;
HttpService* topTenHttp = nullptr;
std::string topTenServer, topTenPlayer;
bool topTenDaily = false;
bool replayEndBox = true;
std::function<void()> replayEndTold;
std::mutex runMessageMutex;
std::string runMessage;     // guarded by runMessageMutex
std::string unsentExpires;  // guarded by runMessageMutex
std::string rankedSign;     // guarded by runMessageMutex

std::string lastRunMessage() {
    std::lock_guard lock(runMessageMutex);
    // The console's prefix is no news in a box.
    const std::string prefix = "voidrunner: ";
    return runMessage.rfind(prefix, 0) == 0 ? runMessage.substr(prefix.size()) : runMessage;
}

std::string currentRankedSign() {
    std::lock_guard lock(runMessageMutex);
    return rankedSign;
}

// Words of `text` in lines of at most `most` characters (the box's font is
// about 7 pixels a character; a word longer than a line is cut).
std::vector<std::string> wrapped(const std::string& text, std::size_t most) {
    std::vector<std::string> lines;
    std::string line, word;
    const auto flush = [&] {
        if (word.empty()) return;
        if (!line.empty() && line.size() + 1 + word.size() > most) {
            lines.push_back(line);
            line.clear();
        }
        while (word.size() > most) {
            lines.push_back(word.substr(0, most));
            word.erase(0, most);
        }
        line += (line.empty() ? "" : " ") + word;
        word.clear();
    };
    for (const char c : text) {
        if (c == ' ') {
            flush();
        } else {
            word += c;
        }
    }
    flush();
    if (!line.empty()) lines.push_back(line);
    return lines;
}

std::string unsentRunLine() {
    std::lock_guard lock(runMessageMutex);
    return unsentExpires.empty() ? "" : "An unsent ranked run expires at " + unsentExpires;
}

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kGrey{200, 200, 200};

const char* const kPausedLines[] = {"Paused", "Any key plays on"};

// The F1 box: a line a key of app/host/Keys.def (two where its | says so).
const std::vector<std::string>& helpLines() {
    static const std::vector<std::string> lines = [] {
        std::vector<std::string> out{"Controls"};
        const auto add = [&out](std::string_view box) {
            for (std::size_t bar; (bar = box.find('|')) != std::string_view::npos;
                 box.remove_prefix(bar + 1))
                out.emplace_back(box.substr(0, bar));
            out.emplace_back(box);
        };
#define VR_KEY(keys, does, box) add(box);
#include "app/host/Keys.def"
#undef VR_KEY
        out.emplace_back("Any key plays on");
        return out;
    }();
    return lines;
}
const char* const kWelcomeLines[] = {
    "Welcome to Voidrunner", "Left, Right or A, D: turn", "Up or W: thrust    Space: fire",
    "1 to 9, 0: throttle",   "P: pause    M: sound",      "F1: all the keys",
    "Any key to start",
};
const char* const kReplayEndLines[] = {
    "The replay has ended",
    "Esc or Q closes the window",
};
// How long a line of settings.txt that was not taken is shown at start.
constexpr uint32_t kSettingsNoteTime = 10000;

constexpr int kBoxLine = 18;

struct BoxPlace {
    int left, top, width;
};

// An empty black box with a white border of `lines` lines, at most
// `widest` wide, centred in the field, or low in it (over no table).
BoxPlace drawFrame(DrawSurface& s, int lines, int widest, bool low = false) {
    const int fieldWidth = gameState.fieldWidth;
    const int fieldHeight = gameState.fieldHeight;
    const int width = std::min(fieldWidth - 8, widest);
    const int height = lines * kBoxLine + 16;
    const int left = (fieldWidth - width) / 2;
    const int top = std::max(low ? fieldHeight - height - 40 : (fieldHeight - height) / 2, 0);
    s.fillRect(left, top, left + width, top + height, kBlack);
    s.selectPen(kWhite);
    s.moveTo(left, top);
    s.lineTo(left + width - 1, top);
    s.lineTo(left + width - 1, top + height - 1);
    s.lineTo(left, top + height - 1);
    s.lineTo(left, top);
    s.releasePen();
    return {left, top, width};
}

const char* text(const char* line) { return line; }
const char* text(const std::string& line) { return line.c_str(); }

// A box of centred white lines, in the middle of the field, or low in it
// when `low`.
template <typename Lines>
void drawBox(DrawSurface& s, const Lines& lines, bool low = false) {
    const auto n = static_cast<int>(std::size(lines));
    const BoxPlace box = drawFrame(s, n, 300, low);
    s.setTextColor(kWhite);
    for (int i = 0; i < n; ++i) {
        const int y = box.top + 8 + i * kBoxLine;
        s.drawText(text(lines[static_cast<size_t>(i)]), box.left, y, box.left + box.width,
                   y + kBoxLine, TextAlign::Center);
    }
}

// The top ten box: both tables side by side, the player's own row marked
// and, when not among them, the player's place below; what became of the
// run and of the request, wrapped inside the box; and how to leave.
void drawTopTen(DrawSurface& s, const TopTen::View& view, const std::string& server) {
    constexpr int kLine = kBoxLine;
    constexpr int kLines = 17;
    const BoxPlace box = drawFrame(s, kLines, 600);
    const int left = box.left, top = box.top, width = box.width;
    const auto lineTop = [&](int i) { return top + 8 + i * kLine; };
    const std::size_t most = static_cast<std::size_t>(std::max(width - 24, 80) / 8);
    const auto centred = [&](const std::string& text, int i, Rgb colour) {
        s.setTextColor(colour);
        s.drawText(text.c_str(), left + 8, lineTop(i), left + width - 8, lineTop(i) + kLine,
                   TextAlign::Center);
    };
    centred("Top ten", 0, kWhite);
    const std::vector<std::string> said = wrapped(lastRunMessage(), most);
    for (std::size_t i = 0; i < std::min<std::size_t>(said.size(), 2); ++i)
        centred(said[i], 1 + static_cast<int>(i), kGrey);
    const int half = width / 2;
    const std::vector<TopRow>* tables[] = {&view.global, &view.today};
    const std::string heads[] = {"All time", view.todayTitle.empty() ? "Today" : view.todayTitle};
    const TopTen::Standing* mine[] = {&view.best, &view.bestToday};
    for (int column = 0; column < 2; ++column) {
        const int x0 = left + column * half + 10;
        const int x1 = left + (column + 1) * half - 10;
        s.setTextColor(kGrey);
        s.drawText(heads[column].c_str(), x0, lineTop(3), x1, lineTop(3) + kLine,
                   TextAlign::Center);
        const std::vector<TopRow>& rows = *tables[column];
        if (rows.empty() && view.status == TopTen::Status::Ready) {
            s.setTextColor(kWhite);
            s.drawText("No runs yet", x0, lineTop(4), x1, lineTop(4) + kLine, TextAlign::Center);
        }
        bool shown = false;
        for (const TopRow& row : rows) {
            const int y = lineTop(3 + row.rank);
            // The player's own row on a grey band, the name marked too.
            if (row.mine) {
                s.fillRect(x0 - 4, y + 1, x1 + 4, y + kLine - 1, Rgb{70, 70, 70});
                shown = true;
            }
            s.setTextColor(kWhite);
            char number[24];
            std::snprintf(number, sizeof number, "%d.", row.rank);
            s.drawText(number, x0, y, x0 + 30, y + kLine, TextAlign::Right);
            const std::string name = row.mine ? row.player + " (you)" : row.player;
            s.drawText(name.c_str(), x0 + 38, y, x1 - 80, y + kLine, TextAlign::Left);
            std::snprintf(number, sizeof number, "%lld", row.score);
            s.drawText(number, x1 - 80, y, x1, y + kLine, TextAlign::Right);
        }
        // Not among the ten: where the player stands, below them.
        if (!shown && mine[column]->rank > 0) {
            char line[64];
            std::snprintf(line, sizeof line, "You: #%lld, %lld", mine[column]->rank,
                          mine[column]->score);
            s.setTextColor(kWhite);
            s.drawText(line, x0, lineTop(14), x1, lineTop(14) + kLine, TextAlign::Center);
        }
    }
    std::string status;
    switch (view.status) {
    case TopTen::Status::NoNetwork: status = "This build has no network"; break;
    case TopTen::Status::NoLeaderboard:
        status = "No leaderboard: add a \"leaderboard URL\" line to settings.txt";
        break;
    case TopTen::Status::Loading: status = "Loading..."; break;
    case TopTen::Status::Ready: status = server; break;
    case TopTen::Status::Failed: status = view.why; break;
    }
    const std::vector<std::string> state = wrapped(status, most);
    if (!state.empty()) centred(state[0], 15, kGrey);
    centred("F2 or any key plays on", 16, kWhite);
}

bool isArrow(uintptr_t key) { return key >= vk::left && key <= vk::down; }

// Anything of that name, readable or not, is someone's.
bool present(FileStorage& storage, const char* name) {
    std::string nothing;
    return storage.read(name, nothing, 0) != StoredFile::missing;
}

uint32_t now() { return platform().clock->tickCount(); }

}  // namespace

void setStartFullscreen(bool on) { fullscreenAtStart = on; }
bool startFullscreen() { return fullscreenAtStart; }
void setWelcomeOnFirstLaunch(bool on) { welcomeOnFirstLaunch = on; }
void setTopTenSource(HttpService* http, const std::string& leaderboard, const std::string& player,
                     bool daily) {
    topTenHttp = http;
    topTenServer = leaderboard;
    topTenPlayer = player;
    topTenDaily = daily;
    noteLeaderboardMessage({});
    noteUnsentRun({});
    noteRankedSign({});
}
void noteRankedSign(const std::string& text) {
    std::lock_guard lock(runMessageMutex);
    rankedSign = text;
}
void setReplayEnd(bool box, std::function<void()> told) {
    replayEndBox = box;
    replayEndTold = std::move(told);
}
void noteLeaderboardMessage(const std::string& text) {
    std::lock_guard lock(runMessageMutex);
    runMessage = text;
}
void noteUnsentRun(const std::string& expires) {
    std::lock_guard lock(runMessageMutex);
    unsentExpires = expires;
}

bool SteeringKeys::isHeld(Key key) {
    if (inner.isHeld(key)) return true;
    if (gameState.shipDestroyed) return false;
    switch (key) {
    case Key::Left: return inner.isLetterHeld('A');
    case Key::Right: return inner.isLetterHeld('D');
    case Key::Up: return inner.isLetterHeld('W');
    case Key::Space: return false;
    }
    return false;
}

HostControls::~HostControls() { detach(); }

void HostControls::attach() {
    if (gate.inner) return;
    welcomeDue = welcomeOnFirstLaunch && !present(*platform().files, kSettingsFile) &&
                 !present(*platform().saves, "save.txt");
    settings = loadSettings();
    // Each line not taken, said once: a game from a menu shows it too.
    for (const std::string& note : settings.notTaken)
        std::fprintf(stderr, "voidrunner: %s\n", note.c_str());
    settingsNote = settings.notTaken.empty() ? "" : settings.notTaken.front();
    topTen.configure(topTenHttp, topTenServer.empty() ? settings.leaderboard : topTenServer,
                     topTenPlayer.empty() ? settings.player : topTenPlayer, topTenDaily);
    gate.inner = platform().sound;
    platform().sound = &gate;
    gate.inner->setVolume(settings.volume);
    frames.inner = platform().display;
    platform().display = &frames;
    frames.inner->setGlow(settings.glow);
    pointerMovedAt = now();
    settingsNoteAt = now();
}

void HostControls::detach() {
    if (!gate.inner) return;
    if (platform().sound == &gate) platform().sound = gate.inner;
    if (platform().display == &frames) platform().display = frames.inner;
    gate.inner = nullptr;
}

DrawSurface* HostControls::Frames::createBackBuffer(WindowHandle w, int width, int height) {
    DrawSurface* made = inner->createBackBuffer(w, width, height);
    // One back buffer at a time, as the renderer keeps one.
    if (!made || exact) return made;
    exact = made;
    noted.list.clear();
    followLook();
    return &noted;
}

void HostControls::Frames::present(WindowHandle w, DrawSurface& s, int width, int height) {
    owner.drawSigns(s);
    if (&s != &noted) {
        inner->present(w, s, width, height);
    } else if (owner.vectorShown()) {
        inner->presentVectors(w, noted.list, width, height);
    } else {
        inner->present(w, *exact, width, height);
    }
    noted.list.clear();
}

void HostControls::Frames::destroyBackBuffer(DrawSurface* s) {
    if (s != &noted || !exact) {
        inner->destroyBackBuffer(s);
        return;
    }
    inner->destroyBackBuffer(exact);
    exact = nullptr;
    noted.exact = nullptr;
    noted.list.clear();
}

bool HostControls::vectorShown() const {
    return settings.vectorLook && frames.inner && frames.inner->drawsVectors();
}

bool HostControls::takeLookChange() {
    const bool changed = lookChanged;
    lookChanged = false;
    return changed;
}

void HostControls::Gate::play(const char* name) {
    if (inner && !owner.muted() && !owner.paused()) inner->play(name);
}

void HostControls::Gate::stop() {
    if (inner) inner->stop();
}

bool HostControls::takes(const Message& msg, bool typingInitials) {
    const uintptr_t code = msg.wParam;
    switch (msg.message) {
    case wm::mouseMove:
        pointerMovedAt = now();
        if (pointerHidden) platform().windows->showPointer(msg.window, true);
        pointerHidden = false;
        return false;
    case wm::keyDown:
        if (code == vk::f11) {
            toggleFullscreen(msg.window);
        } else if (code == vk::f3) {
            toggleLook(msg.window);
        } else if (code == vk::pause) {
            if (paused())
                resume();
            else
                pause(msg.window, Overlay::Paused);
        } else if (code == vk::f2) {
            if (overlay == Overlay::TopTen) {
                resume();
            } else {
                // Asked for again each time: a run may have been listed since.
                topTen.fetch();
                pause(msg.window, Overlay::TopTen);
            }
        } else if (code == vk::f1) {
            if (overlay == Overlay::Help)
                resume();
            else
                pause(msg.window, Overlay::Help);
        } else if (paused() && isArrow(code)) {
            resume();
        } else {
            // Keys that type a character resume with that character.
            return false;
        }
        return true;
    case wm::sysKeyDown:
        // Still the window procedure's: Windows tracks Alt through it, and
        // would otherwise take Alt+Enter for Alt alone and open the menu.
        if (code == vk::returnKey) toggleFullscreen(msg.window);
        return false;
    case wm::sysCharacter:
        // Alt+Enter's character: the system would only beep at it.
        return code == '\r';
    case wm::character:
        if (!typingInitials && (code == '-' || code == '+' || code == '=')) {
            changeVolume(msg.window, code == '-' ? -1 : 1);
            return true;
        }
        if (paused()) {
            resume();
            return true;
        }
        if (typingInitials) return false;
        // Held, they steer (SteeringKeys); their repeated characters would
        // run extra key steps, as no arrow does.
        if (code == 'w' || code == 'W' || code == 'a' || code == 'A' || code == 'd' || code == 'D')
            return true;
        if (code == 'p' || code == 'P') {
            pause(msg.window, Overlay::Paused);
            return true;
        }
        if (code == 'm' || code == 'M') {
            toggleMute();
            return true;
        }
        return false;
    case wm::leftButtonDown:
    case wm::leftButtonUp:
    case wm::rightButtonDown:
    case wm::rightButtonUp:
    case wm::mouseWheel:
        // Nothing reaches the game while it waits.
        return paused();
    default: return false;
    }
}

void HostControls::windowLeft(WindowHandle window) {
    // Before the first frame there is nothing to stop and nothing to show.
    if (!paused() && backBufferSurface()) pause(window, Overlay::Paused);
}

void HostControls::refresh(WindowHandle window) {
    if (paused()) redraw(window);
}

void HostControls::redraw(WindowHandle window) {
    DrawSurface* surface = backBufferSurface();
    if (!surface) return;
    // Before the view is read: an answer in between is drawn next time.
    answersShown = topTen.progress().answers;
    // The state has not moved since the last tick: this is its frame again.
    drawFrame(*surface);
    if (overlay == Overlay::Help)
        drawBox(*surface, helpLines());
    else if (overlay == Overlay::Welcome)
        drawBox(*surface, kWelcomeLines);
    else if (overlay == Overlay::Paused) {
        // A ranked run that waits to be sent is lost if the game stays
        // paused (or closed) past its time: say when.
        if (const std::string unsent = unsentRunLine(); !unsent.empty()) {
            const char* const lines[] = {kPausedLines[0], unsent.c_str(), kPausedLines[1]};
            drawBox(*surface, lines);
        } else {
            drawBox(*surface, kPausedLines);
        }
    } else if (overlay == Overlay::TopTen)
        drawTopTen(*surface, topTen.view(), topTen.server());
    showBackBuffer(window);
}

void HostControls::afterTick(WindowHandle window, int pace, bool ended) {
    if (welcomeDue && backBufferSurface()) {
        welcomeDue = false;
        pause(window, Overlay::Welcome);
        // Greeted once: the settings file marks the folder as used.
        saveSettings(settings);
    }
    if (!pointerHidden && now() - pointerMovedAt >= kPointerRest) {
        platform().windows->showPointer(window, false);
        pointerHidden = true;
    }
    replayPace = pace;
    replayEnded = ended;
    if (replayEnded && !replayEndShown) {
        replayEndShown = true;
        redraw(window);
        if (replayEndTold) replayEndTold();
    }
}

bool HostControls::showAnswers(WindowHandle window) {
    if (overlay != Overlay::TopTen) return false;
    const TopTen::Progress now = topTen.progress();
    if (now.answers != answersShown) redraw(window);
    return now.waiting;
}

void HostControls::drawSigns(DrawSurface& s) const {
    char line[64] = {};
    const int fieldWidth = gameState.fieldWidth;
    if (replayPace > 0) {
        if (replayEnded) {
            if (replayEndBox) drawBox(s, kReplayEndLines, true);
            return;
        }
        // The whole line where there is room left of the score.
        std::snprintf(line, sizeof line,
                      gameState.fieldWidth >= 640 ? "Replay x%d    hold Space: faster    Esc: quit"
                                                  : "Replay x%d",
                      replayPace);
    } else if (settings.muted) {
        std::snprintf(line, sizeof line, "Sound off (M)");
    }
    if (volumeShown && now() - volumeShownAt < kSignTime)
        std::snprintf(line, sizeof line, "Volume %d/10%s", settings.volume,
                      settings.muted ? ", sound off (M)" : "");
    s.setTextColor(kGrey);
    if (line[0]) s.drawText(line, 8, 8, std::max(fieldWidth / 2 - 64, 8), 26, TextAlign::Left);
    // A line of settings.txt not taken, for a while after the start.
    if (!settingsNote.empty() && now() - settingsNoteAt < kSettingsNoteTime)
        s.drawText(settingsNote.c_str(), 8, 28, std::max(fieldWidth - 8, 8), 46, TextAlign::Left);
    // Ranked or not, and what became of the run: right of the score.
    if (replayPace == 0)
        if (const std::string ranked = currentRankedSign(); !ranked.empty())
            s.drawText(ranked.c_str(), fieldWidth / 2 + 64, 8, std::max(fieldWidth - 8, 8), 26,
                       TextAlign::Right);
}

void HostControls::pause(WindowHandle window, Overlay what) {
    overlay = what;
    if (gate.inner)
        gate.inner->stop();
    else
        platform().sound->stop();
    refresh(window);
}

void HostControls::resume() { overlay = Overlay::None; }

void HostControls::toggleMute() {
    settings.muted = !settings.muted;
    if (settings.muted) platform().sound->stop();
    saveSetting("mute", settings.muted ? "1" : "0");
}

void HostControls::changeVolume(WindowHandle window, int step) {
    settings.volume = std::clamp(settings.volume + step, 0, 10);
    if (gate.inner) gate.inner->setVolume(settings.volume);
    saveSetting("volume", std::to_string(settings.volume));
    volumeShown = true;
    volumeShownAt = now();
    refresh(window);  // shown at once while paused; else with the next frame
}

void HostControls::toggleLook(WindowHandle) {
    settings.vectorLook = !settings.vectorLook;
    saveSetting("look", settings.vectorLook ? "vector" : "pixels");
    frames.followLook();
    // The window re-places the frame and then refreshes a paused one.
    lookChanged = true;
}

void HostControls::toggleFullscreen(WindowHandle window) {
    WindowSystem& ws = *platform().windows;
    ws.setFullscreen(window, !ws.isFullscreen(window));
}
