// The browser program: the game on the page's canvas. The main loop is the
// desktop's, unchanged: built with Asyncify, its sleeps give the tab back to
// the browser, which delivers the page's events in between.
//
// Served by a leaderboard server (voidrunner-server behind nginx), the game
// is ranked: the first time, the page asks for a name and claims it (its key
// is kept in the page's settings.txt), a ticket comes before start-up and
// the first game is sent at its game over (?daily: today's run;
// ?player=NAME: another name; ?free: unranked, on a field of the page's
// size). ?watch=ID plays a listed run back instead, with whose it is above
// the field.
#include <emscripten/emscripten.h>

#include <cstdlib>
#include <string>

#include "app/GameWindow.h"
#include "app/RunGame.h"
#include "app/host/Settings.h"
#include "app/online/Json.h"
#include "app/online/Leaderboard.h"
#include "app/online/RankedContract.h"
#include "app/online/Utf8.h"
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
// The run watched: its title above the field, or why it cannot be watched;
// and its end, where the page offers what next.
EM_JS(void, vr_watching, (const char* player, int score, double submitted),
      { Module.vr.watching(UTF8ToString(player), score, submitted); });
EM_JS(void, vr_cannot_watch, (), { Module.vr.cannotWatch(); });
EM_JS(void, vr_watch_ended, (), { Module.vr.watchEnded(); });
// The name to play ranked under, asked for over the stage: "" to play
// unranked; a pasted player line from another device does too. `why`: what
// was wrong with the last answer.
EM_ASYNC_JS(char*, vr_ask_name, (const char* why), {
    return allocateUTF8(await Module.vr.askName(UTF8ToString(why)));
});
// clang-format on

std::string take(char* text) {
    std::string s = text ? text : "";
    std::free(text);
    return s;
}

// The name and key a ranked game goes under: the page's settings.txt's, or
// asked for and claimed. False: play unranked (the answer was no name, or
// the page is not served by a leaderboard); `why` then says so.
bool rankedName(HttpService& http, const std::string& origin, std::string& why) {
    const HostSettings settings = loadSettings();
    if (!settings.player.empty() && !settings.playerKey.empty()) return true;
    // Asked only where a leaderboard answers.
    const HttpReply probe = http.sendAndWait("GET", origin + "/api/v1/top?limit=1", "");
    if (probe.status != 200) {
        why = probe.status == 0 ? "the leaderboard did not answer (" + probe.error + ")"
                                : "no leaderboard serves this page";
        return false;
    }
    std::string last;
    for (;;) {
        const std::string answer = take(vr_ask_name(last.c_str()));
        if (answer.empty()) {
            why = "no name given";
            return false;
        }
        std::string name, key, problem;
        if (!readPlayerSetting(answer, name, key, problem)) {
            last = problem;
            continue;
        }
        // A line copied from another device: its key comes with it.
        if (!key.empty()) {
            saveSetting("player", playerSetting(name, key));
            return true;
        }
        Leaderboard board(http, origin, name);
        std::string said;
        const Leaderboard::Claim claimed = board.claim(said);
        if (claimed == Leaderboard::Claim::Claimed) {
            saveSetting("player", playerSetting(name, board.key()));
            return true;
        }
        if (claimed == Leaderboard::Claim::Offline) {
            why = said;
            return false;
        }
        last = said;
    }
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
        // Only a listed run: one hidden, unknown or mistyped is said so,
        // and never becomes a game of its own.
        const bool number = watch.size() <= 18 &&
                            watch.find_first_not_of("0123456789") == std::string::npos;
        const HttpReply run = number ? http.sendAndWait("GET", origin + "/api/v1/runs/" + watch, "")
                                     : HttpReply{};
        const HttpReply r =
            run.status == 200
                ? http.sendAndWait("GET", origin + "/api/v1/runs/" + watch + "/replay", "")
                : HttpReply{};
        Replay replay;
        std::string error = r.status == 200 ? "" : "not listed";
        JsonObject about;
        if (error.empty() && parseJsonObject(run.body, about) &&
            parseReplay(r.body, replay, error) && (error = replayRulesProblem(replay)).empty()) {
            vr_status(("run " + watch + ", played back (hold SPACE to go faster)").c_str());
            vr_watching(utf8Of(about["player"].text).c_str(),
                        static_cast<int>(about["score"].number),
                        static_cast<double>(about["submitted"].number));
            plan.replay = std::move(replay);
        } else {
            vr_status(("run " + watch + " cannot be watched" +
                       (error.empty() || error == "not listed" ? "" : ": " + error))
                          .c_str());
            vr_cannot_watch();
            webHttp = nullptr;
            return 0;
        }
    }
    std::string player = take(vr_query("player"));
    if (!plan.replay && take(vr_query("free")).empty()) {
        // Ranked wherever the page's own origin answers for tickets.
        plan.daily = !take(vr_query("daily")).empty();
        plan.ranked = !plan.daily;
        // The storage's settings.txt, read before the game installs it.
        installPlatform({.files = &files});
        std::string why;
        if (player.empty() && !rankedName(http, origin, why)) {
            plan.ranked = plan.daily = false;
            vr_status((why + ": this game is not ranked").c_str());
        }
        resetPlatform();
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
               .player = player,
               .onLeaderboardMessage = [](const std::string& text) { vr_status(text.c_str()); },
               .replayEndBox = false,
               .onReplayEnded = [] { vr_watch_ended(); }});
    webHttp = nullptr;
    return code;
}
