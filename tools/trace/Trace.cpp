// The trace tool's work: options, the script, the JSON lines. main.cpp,
// the trace fuzzer and the tests call runTrace.
#include "Trace.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "JsonWriter.h"
#include "app/GameWindow.h"
#include "app/replay/Script.h"
#include "game/GameState.h"
#include "game/ShipControls.h"
#include "game/Tick.h"
#include "platform/headless/Headless.h"
#include "scores/HighScores.h"
#include "scores/Initials.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kInputOutputError = 1;
constexpr int kGoOn = -1;

struct Options {
    bool draw = false;
    bool finalOnly = false;           // --final: only the last line
    const char* pngDir = nullptr;     // --png DIR: every frame as a picture
    const char* rawFrames = nullptr;  // --raw-frames FILE: every frame as raw pixels
    const char* script = nullptr;     // `in` when none
};

void usage(std::FILE* err) {
    std::fputs(
        "usage: voidrunner-trace [--draw] [--final] [--png DIR] [--raw-frames FILE|-] [SCRIPT]\n",
        err);
}

// Returns kGoOn, or the exit status when the arguments end the run (after
// a message). New options go into the chain below.
int parseOptions(int argc, char** argv, Options& opt, std::FILE* err) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--draw") {
            opt.draw = true;
        } else if (arg == "--final") {
            opt.finalOnly = true;
        } else if (arg == "--png" && i + 1 < argc) {
            opt.pngDir = argv[++i];
        } else if (arg == "--raw-frames" && i + 1 < argc) {
            opt.rawFrames = argv[++i];
        } else if (arg == "-h" || arg == "--help") {
            usage(err);
            return 0;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(err, "voidrunner-trace: unknown option '%s'\n", argv[i]);
            usage(err);
            return kUsageError;
        } else if (!opt.script) {
            opt.script = argv[i];
        } else {
            std::fputs("voidrunner-trace: only one script can be given\n", err);
            usage(err);
            return kUsageError;
        }
    }
    // The frames take standard output; the lines have nowhere to go.
    if (opt.rawFrames && std::string_view(opt.rawFrames) == "-" && (opt.draw || opt.finalOnly)) {
        std::fputs("voidrunner-trace: --raw-frames - prints no lines: no --draw or --final\n", err);
        return kUsageError;
    }
    return kGoOn;
}

bool framesOnStdout(const Options& opt) {
    return opt.rawFrames && std::string_view(opt.rawFrames) == "-";
}

// Why the pictures cannot go to `dir`, or nullptr when they can. The folder
// is made when it is missing.
const char* unusablePictureFolder(const char* dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!std::filesystem::is_directory(dir, ec)) return "it is not a folder and cannot be made one";
#ifndef _WIN32
    if (::access(dir, W_OK | X_OK) != 0) return std::strerror(errno);
#endif
    return nullptr;
}

// ---------------------------------------------------------------------------
// Output

void writeBody(JsonWriter& w, const SpaceObject& o) {
    w.raw("{\"x\":");
    w.number(o.getX());
    w.raw(",\"y\":");
    w.number(o.getY());
    w.raw(",\"vx\":");
    w.number(o.getVX());
    w.raw(",\"vy\":");
    w.number(o.getVY());
    w.raw(",\"angle\":");
    w.number(o.getAngle());
    w.raw(",\"size\":");
    w.integer(o.getSize());
    w.raw(",\"scale\":");
    w.integer(o.getScale());
    w.raw(",\"life\":");
    w.integer(o.getLife());
    w.raw(",\"steer\":");
    w.integer(o.getSteer());
    w.raw(",\"phase\":");
    w.integer(o.getPhase());
    w.raw(",\"thrusting\":");
    w.put(o.isThrusting() ? '1' : '0');
    w.put('}');
}

void writeList(JsonWriter& w, const char* key, const ObjectList& list) {
    w.raw(",\"");
    w.raw(key);
    w.raw("\":[");
    // Read the nodes in place: no working copies, so no random draws.
    for (const ObjectNode* node = list.first(); node; node = node->next) {
        if (node != list.first()) w.put(',');
        writeBody(w, node->value);
    }
    w.put(']');
}

void writeInt(JsonWriter& w, const char* key, long long value) {
    w.raw(",\"");
    w.raw(key);
    w.raw("\":");
    w.integer(value);
}

const char* alignName(TextAlign a) {
    switch (a) {
    case TextAlign::Left: return "left";
    case TextAlign::Center: return "center";
    default: return "right";
    }
}

void writeDraw(JsonWriter& w, const std::vector<DrawOp>* ops) {
    w.raw(",\"draw\":[");
    if (ops) {
        bool first = true;
        for (const DrawOp& op : *ops) {
            if (!first) w.put(',');
            first = false;
            switch (op.kind) {
            case DrawOp::Fill: w.raw("[\"fill\","); break;
            case DrawOp::Line: w.raw("[\"line\","); break;
            case DrawOp::Pixel: w.raw("[\"pixel\","); break;
            case DrawOp::Ellipse: w.raw("[\"ellipse\","); break;
            case DrawOp::Text:
                w.raw("[\"text\",");
                w.string(op.text);
                w.put(',');
                break;
            }
            w.integer(op.a);
            w.put(',');
            w.integer(op.b);
            w.put(',');
            if (op.kind != DrawOp::Pixel) {
                w.integer(op.c);
                w.put(',');
                w.integer(op.d);
                w.put(',');
            }
            if (op.kind == DrawOp::Text) {
                w.put('"');
                w.raw(alignName(op.align));
                w.raw("\",");
            }
            w.colour(op.colour);
            if (op.kind == DrawOp::Ellipse) {
                w.put(',');
                w.colour(op.fill);
            }
            w.put(']');
        }
    }
    w.put(']');
}

struct Run {
    HeadlessPlatform host;
    Options opt;
    std::FILE* err = stderr;
    long long ticks = 0;
    // Rows of `table` lines: the table start-up begins with instead of the
    // one in save.txt (a replay carries the table its game started with).
    std::vector<HighScoreEntry> table;
    // With such a table save.txt is neither read nor written: the table
    // lives in memory.
    MemoryFileStorage tableSaves;
    ScriptReader script;

    // --final: the line last due, written out only when something that it
    // shows is about to change, or at the end. Its sounds wait here.
    const char* dueEvent = nullptr;
    bool duePresented = false;
    std::vector<std::string> dueSounds;
    std::string last;  // the line as it would have been printed
};

void putLine(JsonWriter& w, Run& run, const char* event, bool presented,
             const std::vector<std::string>& sounds) {
    const GameState& g = gameState;
    w.raw("{\"event\":\"");
    w.raw(event);
    w.put('"');
    writeInt(w, "n", run.ticks);
    writeInt(w, "countdown", gameWindow->startCountdown);
    writeInt(w, "score", g.score);
    writeInt(w, "bonusPoints", g.bonusPoints);
    writeInt(w, "level", g.level);
    writeInt(w, "reserveShipCount", g.reserveShipCount);
    writeInt(w, "shipDestroyed", g.shipDestroyed);
    writeInt(w, "enteringInitials", g.enteringInitials);
    writeInt(w, "restartArmed", g.restartArmed);
    writeInt(w, "saucerTimer", g.saucerTimer);
    writeInt(w, "saucerHumKind", g.saucerHumKind);
    writeInt(w, "buttonHoldTicks", g.buttonHoldTicks);
    writeInt(w, "keyHoldTicks", g.keyHoldTicks);
    writeInt(w, "throttle", g.throttle);
    writeInt(w, "asteroidSpeedFactor", g.asteroidSpeedFactor);
    writeInt(w, "fieldWidth", g.fieldWidth);
    writeInt(w, "fieldHeight", g.fieldHeight);
    writeInt(w, "wheelDelta", gameWindow->wheelDelta);
    writeInt(w, "buttonDown", gameWindow->buttonDown);
    writeInt(w, "leftButton", gameWindow->leftButton);
    w.raw(",\"ship\":");
    writeBody(w, playerShip);
    writeList(w, "reserveShips", reserveShips);
    writeList(w, "asteroids", asteroids);
    writeList(w, "saucers", saucers);
    writeList(w, "playerBullets", playerBullets);
    writeList(w, "saucerBullets", saucerBullets);

    w.raw(",\"sounds\":[");
    for (std::size_t i = 0; i < sounds.size(); ++i) {
        if (i) w.put(',');
        w.string(sounds[i]);
    }
    w.put(']');

    w.raw(",\"table\":[");
    for (int r = 0; r < 10; ++r) {
        const HighScoreEntry& row = highScoreTable.rows[r];
        if (r) w.put(',');
        w.put('[');
        w.integer(row.score);
        w.put(',');
        w.integer(row.level);
        w.put(',');
        w.string(row.initials);
        w.put(']');
    }
    w.put(']');
    w.raw(",\"typedInitials\":");
    w.string(typedInitials);
    if (run.opt.draw) writeDraw(w, presented ? &run.host.display.presented : nullptr);
    w.put('}');
    w.endLine();
}

// The line after a tick or a typed character; each reports the sounds
// started since the one before.
void writeLine(JsonWriter& w, Run& run, const char* event, bool presented) {
    std::vector<std::string>& sounds = run.host.sound.started;
    if (framesOnStdout(run.opt)) {
        // no lines
    } else if (run.opt.finalOnly) {
        run.dueEvent = event;
        run.duePresented = presented;
        run.dueSounds.swap(sounds);
    } else {
        putLine(w, run, event, presented, sounds);
    }
    sounds.clear();
}

// --final: turns the due line into text while the state is still the one
// it shows.
void settleDueLine(Run& run) {
    if (!run.dueEvent) return;
    run.last.clear();
    auto held = std::make_unique<JsonWriter>(&run.last);
    putLine(*held, run, run.dueEvent, run.duePresented, run.dueSounds);
    held->flush();
    run.dueEvent = nullptr;
}

// Commands that change nothing a line shows (besides tick and char, which
// print a line of their own). Any other settles the due line first.
bool leavesLinesAlone(ScriptCommand::Kind kind) {
    return kind != ScriptCommand::Mouse && kind != ScriptCommand::Wheel;
}

// ---------------------------------------------------------------------------
// The script

bool started() { return gameWindow->startCountdown < 0; }

// Runs one script line. Returns an error text, or nullptr when it went well.
// (Errors are fixed texts; the caller adds the line number and the line.)
const char* runLine(JsonWriter& w, Run& run, std::string_view line) {
    ScriptCommand c;
    if (const char* error = run.script.read(line, c)) return error;
    if (run.opt.finalOnly && !leavesLinesAlone(c.kind)) settleDueLine(run);
    RecordingDisplay& display = run.host.display;
    GameWindow& window = *gameWindow;
    switch (c.kind) {
    case ScriptCommand::None: break;
    case ScriptCommand::Tick:
        for (long long i = 0; i < c.value; ++i) {
            const int before = display.presentCount;
            const bool wasStarted = started();
            pollKeys();
            tick();
            if (!wasStarted && started()) {
                for (std::size_t r = 0; r < run.table.size(); ++r)
                    highScoreTable.rows[r] = run.table[r];
            }
            ++run.ticks;
            writeLine(w, run, "tick", display.presentCount != before);
            if (w.failed()) break;  // the caller reports it
        }
        break;
    case ScriptCommand::Char: {
        const int before = display.presentCount;
        window.handleMessage(window.window, wm::character, static_cast<uintptr_t>(c.value), 0);
        writeLine(w, run, "char", display.presentCount != before);
        break;
    }
    case ScriptCommand::Keys:
        for (const KeyLetter& k : kKeyLetters) run.host.keys.set(k.key, c.value & keyBit(k.key));
        break;
    case ScriptCommand::Mouse:
        window.handleMessage(window.window, static_cast<uint32_t>(c.value), 0, packPosition(0, 0));
        break;
    case ScriptCommand::Wheel:
        window.handleMessage(window.window, wm::mouseWheel, wheelParam(c.value),
                             packPosition(0, 0));
        break;
    case ScriptCommand::Field:
        run.host.windows.clientWidth = static_cast<int>(c.value);
        run.host.windows.clientHeight = static_cast<int>(c.value2);
        break;
    case ScriptCommand::Seed: run.host.clock.seed = static_cast<unsigned>(c.value); break;
    case ScriptCommand::Table: {
        HighScoreEntry row;
        row.score = static_cast<int>(c.value);
        row.level = static_cast<int>(c.value2);
        row.initials = c.initials;
        run.table.push_back(row);
        PlatformServices services = platform();
        services.saves = &run.tableSaves;
        installPlatform(services);
        break;
    }
    }
    return nullptr;
}

enum class LineRead { Line, End, TooLong, Failed };

// One line without its end. A line longer than kMaxScriptLine is read only
// up to the limit: a huge line must not end up in memory.
LineRead readLine(std::FILE* in, std::string& line) {
    line.clear();
    for (int c; (c = std::getc(in)) != EOF;) {
        if (c == '\n') return LineRead::Line;
        if (line.size() == kMaxScriptLine) return LineRead::TooLong;
        line.push_back(static_cast<char>(c));
    }
    if (std::ferror(in)) return LineRead::Failed;
    return line.empty() ? LineRead::End : LineRead::Line;
}

int writeFailed(const JsonWriter& w, std::FILE* err) {
    std::fprintf(err, "voidrunner-trace: cannot write the output: %s\n", std::strerror(w.error()));
    return kInputOutputError;
}

int runScript(std::FILE* in, const char* name, JsonWriter& w, Run& run) {
    std::FILE* err = run.err;
    std::string line;
    long long number = 0;
    for (;;) {
        const LineRead got = readLine(in, line);
        if (got == LineRead::End) return 0;
        ++number;
        if (got == LineRead::Failed) {
            std::fprintf(err, "voidrunner-trace: cannot read %s: %s\n", name, std::strerror(errno));
            return kInputOutputError;
        }
        if (got == LineRead::TooLong) {
            std::fprintf(err, "voidrunner-trace: line %lld: longer than %zu bytes: %s...\n", number,
                         kMaxScriptLine, quoteScriptLine(line, 40).c_str());
            return kInputOutputError;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const char* error = runLine(w, run, line);
        if (w.failed()) return writeFailed(w, err);
        if (error) {
            w.flush();
            if (w.failed()) return writeFailed(w, err);
            std::fprintf(err, "voidrunner-trace: line %lld: %s: %s\n", number, error,
                         quoteScriptLine(line).c_str());
            return kUsageError;
        }
    }
}

}  // namespace

int runTrace(int argc, char** argv, std::FILE* in, std::FILE* out, std::FILE* err,
             FrameWriterMaker pictures, FrameWriterMaker rawFrames) {
    Run run;
    run.err = err;
    if (const int status = parseOptions(argc, argv, run.opt, err); status != kGoOn) return status;

    if (run.opt.rawFrames && !rawFrames) {
        std::fputs("voidrunner-trace: --raw-frames needs the SDL2 libraries at build time\n", err);
        return kUsageError;
    }
    if (run.opt.pngDir) {
        if (!pictures) {
            std::fputs("voidrunner-trace: --png needs the SDL2 libraries at build time\n", err);
            return kUsageError;
        }
        if (const char* why = unusablePictureFolder(run.opt.pngDir)) {
            std::fprintf(err, "voidrunner-trace: --png: cannot write pictures to %s: %s\n",
                         run.opt.pngDir, why);
            return kInputOutputError;
        }
    }
    // Closes the script's file on every way out.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(nullptr, std::fclose);
    if (run.opt.script) {
        file.reset(std::fopen(run.opt.script, "rb"));
        if (!file) {
            std::fprintf(err, "voidrunner-trace: cannot read %s: %s\n", run.opt.script,
                         std::strerror(errno));
            return kInputOutputError;
        }
        in = file.get();
    }

    run.host.install();
    // The picture writer still hands every frame to the recording display.
    std::unique_ptr<Display> pictureWriter, frameWriter;
    bool picturesFailed = false;  // the writer has said which one
    Display* display = &run.host.display;
    if (run.opt.pngDir) {
        pictureWriter = pictures(run.opt.pngDir, display, &picturesFailed);
        display = pictureWriter.get();
    }
    if (run.opt.rawFrames) {
        frameWriter = rawFrames(run.opt.rawFrames, display, &picturesFailed);
        if (!frameWriter) {
            resetPlatform();
            return kInputOutputError;
        }
        display = frameWriter.get();
    }
    if (display != &run.host.display)
        installPlatform(
            {&run.host.windows, &run.host.keys, display, &run.host.sound, &run.host.clock});
    if (!createGameWindow(nullptr) || !gameWindow->createMainWindow()) {
        std::fputs("voidrunner-trace: the game window could not be created\n", err);
        resetToProgramStart();
        resetPlatform();
        return kInputOutputError;
    }

    // The writer's buffer is large: on the heap, not the stack.
    auto writer = std::make_unique<JsonWriter>(out);
    int status = runScript(in, run.opt.script ? run.opt.script : "standard input", *writer, run);
    if (run.opt.finalOnly) {
        settleDueLine(run);
        writer->raw(run.last);
    }
    writer->flush();
    if (status != kInputOutputError && (writer->failed() || std::ferror(out))) {
        status = writeFailed(*writer, err);
    }
    if (picturesFailed) status = kInputOutputError;

    resetToProgramStart();
    resetPlatform();
    return status;
}
