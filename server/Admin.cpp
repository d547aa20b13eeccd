// Each subcommand is a function and a line of kCommands: its name, its
// arguments as the help shows them, what it does and how many arguments
// it takes. The store is opened on first use, so `help` needs none.
#include "Admin.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Log.h"
#include "Store.h"
#include "Tickets.h"

namespace {

struct Admin {
    std::string db = "sqlite:leaderboard.db";
    std::string keyFile = "leaderboard.key";
    std::vector<std::string> args;  // the subcommand's own
    bool mayCreate = false;         // restore makes the database it restores
    std::unique_ptr<Store> opened;
    Store& store() {
        // A mistyped path or the wrong folder must not leave a new, empty
        // leaderboard behind.
        if (!opened && !mayCreate && db.rfind("sqlite:", 0) == 0 &&
            access(db.c_str() + 7, F_OK) != 0)
            throw std::runtime_error("there is no database " + db.substr(7) +
                                     " (--db sqlite:PATH names it)");
        if (!opened) opened = openStore(db);
        return *opened;
    }
};

// A command line the subcommand cannot take: exit status 2.
struct Usage : std::runtime_error {
    using std::runtime_error::runtime_error;
};

long long number(const std::string& text, const char* what, long long hi) {
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end || text[0] == '-' || text[0] == '+' || v < 1 || v > hi)
        throw Usage(std::string(what) + " is a whole number from 1 to " + std::to_string(hi) +
                    ", not '" + text + "'");
    return v;
}

int countArg(const Admin& a, int fallback) {
    return a.args.empty() ? fallback : static_cast<int>(number(a.args[0], "N", 100000));
}

void out(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

int runs(Admin& a) {
    out("id\tboard\tscore\tticks\tplayer\tsubmitted\thidden\tclient\tagent\n");
    for (const RunRow& r : a.store().recentRuns(countArg(a, 20)))
        out(std::to_string(r.id) + "\t" + r.board + "\t" + std::to_string(r.score) + "\t" +
            std::to_string(r.ticks) + "\t" + r.player + "\t" + isoTime(r.submittedMs, false) +
            "\t" + (r.hidden ? "hidden" : "-") + "\t" + (r.client.empty() ? "-" : r.client) + "\t" +
            (r.agent.empty() ? "-" : r.agent) + "\n");
    return 0;
}

int refusals(Admin& a) {
    out("at\tclient\tstatus\treason\tplayer\tscore\tdetail\tagent\n");
    for (const Refusal& r : a.store().refusals(countArg(a, 20)))
        out(isoTime(r.atMs, false) + "\t" + r.client + "\t" + std::to_string(r.status) + "\t" +
            r.reason + "\t" + (r.player.empty() ? "-" : r.player) + "\t" +
            (r.score < 0 ? "-" : std::to_string(r.score)) + "\t" + r.detail + "\t" +
            (r.agent.empty() ? "-" : r.agent) + "\n");
    return 0;
}

int setHidden(Admin& a, bool hidden) {
    const long long id = number(a.args[0], "ID", LLONG_MAX);
    if (!(hidden ? a.store().hide(id) : a.store().unhide(id))) {
        std::fprintf(stderr, "voidrunner-server admin: no run %lld\n", id);
        return 1;
    }
    logEvent(LogLevel::Info, hidden ? "hide" : "unhide", {{"run", id}, {"via", "admin"}});
    out((hidden ? "hidden: run " : "listed again: run ") + std::to_string(id) + "\n");
    return 0;
}
int hide(Admin& a) { return setHidden(a, true); }
int unhide(Admin& a) { return setHidden(a, false); }

// RFC 4180, every text quoted; a cell a spreadsheet would take for a
// formula starts with a quote mark instead.
std::string csv(const std::string& s) {
    std::string cell = !s.empty() && std::strchr("=+-@\t\r", s[0]) ? "'" + s : s;
    std::string quoted = "\"";
    for (const char c : cell) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

int exportBoard(Admin& a) {
    const std::string& board = a.args[0];
    if (board != "global" && !isDay(board))
        throw Usage("a board is global or a day, YYYY-MM-DD, not '" + board + "'");
    const int limit = a.args.size() > 1 ? static_cast<int>(number(a.args[1], "N", INT_MAX))
                                        : INT_MAX;
    out("rank,id,player,score,ticks,version,submitted\n");
    int rank = 0;
    for (const RunRow& r : a.store().top(board, limit))
        out(std::to_string(++rank) + "," + std::to_string(r.id) + "," + csv(r.player) + "," +
            std::to_string(r.score) + "," + std::to_string(r.ticks) + "," + csv(r.version) + "," +
            isoTime(r.submittedMs, false) + "\n");
    return 0;
}

int backup(Admin& a) {
    a.store().backup(a.args[0]);
    logEvent(LogLevel::Info, "backup", {{"file", a.args[0]}, {"via", "admin"}});
    out("backed up to " + a.args[0] + "\n");
    return 0;
}

int restore(Admin& a) {
    a.mayCreate = true;
    a.store().restore(a.args[0]);
    logEvent(LogLevel::Info, "restore", {{"file", a.args[0]}, {"via", "admin"}});
    out("restored from " + a.args[0] + "\n");
    return 0;
}

int checkKey(Admin& a) {
    const std::string mine = TicketKey::load(a.keyFile, false).fingerprint();
    const auto stored = a.store().keyFingerprint();
    if (!stored) {
        out("the database has no key yet: the first server started on it takes " + a.keyFile +
            " (" + mine.substr(0, 16) + ")\n");
        return 0;
    }
    if (*stored != mine) {
        out("the key file " + a.keyFile + " (" + mine.substr(0, 16) +
            ") is not this database's key (" + stored->substr(0, 16) +
            "): a server started with it refuses to start\n");
        return 1;
    }
    out("the key file " + a.keyFile + " is this database's key (" + mine.substr(0, 16) + ")\n");
    return 0;
}

int release(Admin& a) {
    const std::string& name = a.args[0];
    if (!a.store().releasePlayer(name)) {
        std::fprintf(stderr, "voidrunner-server admin: no player %s\n", name.c_str());
        return 1;
    }
    logEvent(LogLevel::Info, "release", {{"player", name}, {"via", "admin"}});
    out("released: " + name + " may be claimed again; the old key is worth nothing\n");
    return 0;
}

// A player as the operator needs to see one: since when the name is
// theirs, their best and its place, and their latest runs.
int player(Admin& a) {
    const std::string& name = a.args[0];
    Store& store = a.store();
    const auto owner = store.player(name);
    const std::vector<RunRow> latest = store.runsOf(name, 20);
    if (!owner && latest.empty()) {
        std::fprintf(stderr, "voidrunner-server admin: no player %s\n", name.c_str());
        return 1;
    }
    out("player\t" + name + "\n");
    out("claimed\t" + (owner ? isoTime(owner->claimedMs, false) : std::string("no (released)")) +
        "\n");
    const BoardView global{"global"};
    if (const auto best = store.bestOf(global, name))
        out("best\t" + std::to_string(best->score) + " (#" +
            std::to_string(store.rank(global, *best)) + ", run " + std::to_string(best->id) +
            ")\n");
    out("id\tboard\tscore\tticks\tsubmitted\tflags\n");
    for (const RunRow& r : latest)
        out(std::to_string(r.id) + "\t" + r.board + "\t" + std::to_string(r.score) + "\t" +
            std::to_string(r.ticks) + "\t" + isoTime(r.submittedMs, false) + "\t" +
            (r.flags.empty() ? "-" : r.flags) + "\n");
    return 0;
}

int help(Admin&);

struct Command {
    const char* name;
    const char* args;
    const char* help;
    std::size_t minArgs, maxArgs;
    int (*run)(Admin&);
};

const Command kCommands[] = {
    {"runs", "[N]", "the N latest runs (20), hidden ones too, with where they came from", 0, 1,
     runs},
    {"refusals", "[N]", "the N latest runs turned away (20) and why", 0, 1, refusals},
    {"hide", "ID", "takes run ID off the boards", 1, 1, hide},
    {"unhide", "ID", "lists a hidden run again", 1, 1, unhide},
    {"player", "NAME", "a player: since when the name is theirs, their best, their latest runs", 1,
     1, player},
    {"release", "NAME", "gives a name back: anyone may claim it, its old key is worth nothing", 1,
     1, release},
    {"export", "BOARD [N]", "a board (global or YYYY-MM-DD) as CSV, best first", 1, 2, exportBoard},
    {"backup", "FILE", "a copy of the SQLite database in the new FILE, servers running or not", 1,
     1, backup},
    {"restore", "FILE", "the SQLite database replaced by a backup (stop the servers first)", 1, 1,
     restore},
    {"check-key", "", "whether --key is the key the database was made with", 0, 0, checkKey},
    {"help", "", "this list", 0, 0, help},
};

std::string usage() {
    std::string text =
        "usage: voidrunner-server admin [--db URL] [--key FILE] COMMAND [ARGS]\n"
        "  --db URL    sqlite:PATH (default sqlite:leaderboard.db) or postgresql://...\n"
        "  --key FILE  the ticket key (default leaderboard.key), for check-key\n"
        "commands:\n";
    for (const Command& c : kCommands) {
        std::string left = std::string("  ") + c.name + (*c.args ? " " : "") + c.args;
        left.resize(std::max<std::size_t>(left.size() + 1, 22), ' ');
        text += left + c.help + "\n";
    }
    return text;
}

int help(Admin&) {
    out(usage());
    return 0;
}

}  // namespace

int adminMain(int argc, char** argv) {
    Admin a;
    int i = 0;
    for (; i < argc && argv[i][0] == '-'; i += 2) {
        const std::string opt = argv[i];
        if (i + 1 >= argc || (opt != "--db" && opt != "--key")) {
            std::fprintf(stderr, "voidrunner-server admin: unknown option or missing value: %s\n%s",
                         opt.c_str(), usage().c_str());
            return 2;
        }
        (opt == "--db" ? a.db : a.keyFile) = argv[i + 1];
    }
    const std::string name = i < argc ? argv[i] : "help";
    for (int j = i + 1; j < argc; ++j) a.args.emplace_back(argv[j]);
    for (const Command& c : kCommands) {
        if (name != c.name) continue;
        try {
            if (a.args.size() < c.minArgs || a.args.size() > c.maxArgs)
                throw Usage(std::string("usage: voidrunner-server admin ") + c.name + " " + c.args);
            const int status = c.run(a);
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? status : 1;
        } catch (const Usage& e) {
            std::fprintf(stderr, "voidrunner-server admin: %s\n", e.what());
            return 2;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "voidrunner-server admin %s: %s\n", c.name, e.what());
            return 1;
        }
    }
    std::fprintf(stderr, "voidrunner-server admin: no command '%s'\n%s", name.c_str(),
                 usage().c_str());
    return 2;
}
