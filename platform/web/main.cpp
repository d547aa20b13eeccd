// The browser program: the game on the page's canvas. The main loop is the
// desktop's, unchanged: built with Asyncify, its sleeps give the tab back to
// the browser, which delivers the page's events in between.
//
// Served by a leaderboard server (voidrunner-server behind nginx), the game
// is ranked: a ticket comes before start-up and the first game is sent at
// its game over (?daily: today's run; ?player=NAME: the name it is listed
// under; ?free: unranked, on a field of the page's size). ?watch=ID plays a
// listed run back instead.
#include <emscripten/emscripten.h>

#include <cstdlib>
#include <string>

#include "app/GameWindow.h"
#include "app/RunGame.h"
#include "platform/web/WebHttp.h"
#include "platform/web/WebPlatform.h"

namespace {

// JavaScript: clang-format would split its === into C++ tokens.
// clang-format off
EM_JS(char*, vr_query, (const char* name), {
    const v = new URLSearchParams(location.search).get(UTF8ToString(name));
    return v === null ? 0 : allocateUTF8(v);
});
EM_JS(char*, vr_origin, (), { return allocateUTF8(location.origin); });
EM_JS(void, vr_status, (const char* text), { Module.vr.status(UTF8ToString(text)); });
// clang-format on

std::string take(char* text) {
    std::string s = text ? text : "";
    std::free(text);
    return s;
}

}  // namespace

// The run so far as a replay (page.js offers it as a download); empty before
// start-up.
extern "C" EMSCRIPTEN_KEEPALIVE const char* voidrunner_replay() {
    static std::string text;
    text = recordedRun();
    return text.c_str();
}

int main() {
    WebDisplay display;
    WebKeyState keys;
    WebWindowSystem windows(keys);
    WebSound sound;
    WebClock clock;
    WebFileStorage files;
    keys.lettersMoveNow = [] { return !typingInitials(); };
    WebHttp http;
    webHttp = &http;
    const std::string origin = take(vr_origin());
    // The page has no command line. Runs are recorded into the page's
    // storage, which keeps the last few (a replay is tens of kilobytes; the
    // storage holds a few megabytes); the page offers them, and the run so
    // far, for download. No threads here: the prune runs in the tick.
    GamePlan plan = planGame(CommandLine{});
    const std::string watch = take(vr_query("watch"));
    if (!watch.empty()) {
        const HttpReply r =
            watch.find_first_not_of("0123456789") == std::string::npos
                ? http.sendAndWait("GET", origin + "/api/v1/runs/" + watch + "/replay", "")
                : HttpReply{};
        Replay replay;
        std::string error = r.status == 200 ? "" : "not listed";
        if (error.empty() && parseReplay(r.body, replay, error) &&
            (error = replayRulesProblem(replay)).empty()) {
            vr_status(("run " + watch + ", played back (hold SPACE to go faster)").c_str());
            plan.replay = std::move(replay);
        } else {
            vr_status(("run " + watch + " cannot be watched: " + error).c_str());
        }
    }
    if (!plan.replay && take(vr_query("free")).empty()) {
        // Ranked wherever the page's own origin answers for tickets.
        plan.daily = !take(vr_query("daily")).empty();
        plan.ranked = !plan.daily;
    }
    const int code = runGame(
        plan, {.services = {.windows = &windows,
                            .keys = &keys,
                            .display = &display,
                            .sound = &sound,
                            .clock = &clock,
                            .saves = &files,
                            .files = &files},
               .replaysKeptAtMost = 5,
               .pruneAside = false,
               .http = &http,
               .leaderboard = origin,
               .player = take(vr_query("player")),
               .onLeaderboardMessage = [](const std::string& text) { vr_status(text.c_str()); }});
    webHttp = nullptr;
    return code;
}
