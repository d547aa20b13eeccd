// The pieces an operator relies on: log lines a program can parse, the
// metrics text, the site that serves only its own files, and what the
// store keeps for the operator.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "Log.h"
#include "Metrics.h"
#include "Site.h"
#include "Store.h"

namespace {

namespace fs = std::filesystem;

// A folder of the test's own, removed at the end.
struct TempDir {
    fs::path path;
    explicit TempDir(const std::string& name)
        : path(fs::temp_directory_path() / (name + "-" + std::to_string(getpid()))) {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
    std::string file(const std::string& name, const std::string& text = "") const {
        fs::create_directories((path / name).parent_path());
        std::ofstream(path / name) << text;
        return (path / name).string();
    }
};

TEST(Log, OneLineOfKeyValuesWhateverTheValuesHold) {
    EXPECT_EQ(logLine("run", {{"outcome", "listed"}, {"run", 42}, {"verify_ms", 7.25}}),
              "event=run outcome=listed run=42 verify_ms=7.250");
    // A player's name is anyone's text: it may not end the line, fake a
    // key or break a terminal.
    EXPECT_EQ(logLine("run", {{"player", "a b"}, {"x", "k=v"}, {"e", ""}, {"q", "say \"hi\"\\"}}),
              "event=run player=\"a b\" x=\"k=v\" e=\"\" q=\"say \\\"hi\\\"\\\\\"");
    EXPECT_EQ(logLine("run", {{"player", "A\nevent=hide\x1b[2J"}}),
              "event=run player=\"A\\x0aevent=hide\\x1b[2J\"");
    EXPECT_EQ(logLine("run", {{"player", "\xC3\xA9t\xC3\xA9"},
                              {"bad",
                               "\xFF"
                               "a"}}),
              "event=run player=\xC3\xA9t\xC3\xA9 bad=\\xffa");
    EXPECT_EQ(isoTime(1796700000123), "2026-12-08T03:20:00.123Z");
    EXPECT_EQ(isoTime(1796700000123, false), "2026-12-08T03:20:00Z");
}

TEST(Metrics, PrometheusTextWithCumulativeBucketsAndEscapedLabels) {
    Metrics m;
    m.declare("runs_total", Metrics::Type::Counter, "Runs.");
    m.declare("seconds", Metrics::Type::Histogram, "Time.", {0.01, 0.1});
    m.declare("queue", Metrics::Type::Gauge, "Waiting.");
    m.add("runs_total", labels({{"reason", "a\"b\\c\nd"}}));
    m.add("runs_total", labels({{"reason", "a\"b\\c\nd"}}), 2);
    m.add("undeclared_total");  // ignored, not a crash
    for (const double s : {0.005, 0.01, 0.05, 3.0}) m.observe("seconds", s);
    m.set("queue", "", 4);
    m.set("queue", "", 2);
    EXPECT_EQ(m.text(),
              "# HELP runs_total Runs.\n# TYPE runs_total counter\n"
              "runs_total{reason=\"a\\\"b\\\\c\\nd\"} 3\n"
              "# HELP seconds Time.\n# TYPE seconds histogram\n"
              "seconds_bucket{le=\"0.01\"} 2\nseconds_bucket{le=\"0.1\"} 3\n"
              "seconds_bucket{le=\"+Inf\"} 4\nseconds_sum 3.065\nseconds_count 4\n"
              "# HELP queue Waiting.\n# TYPE queue gauge\nqueue 2\n");
}

TEST(Site, ServesOnlyTheFilesFoundInItsFolder) {
    const TempDir dir("site-test");
    const std::string outside = dir.file("outside/secret.txt", "secret");
    dir.file("site/index.html", "<p>game");
    dir.file("site/index.wasm", "\0asm");
    dir.file("site/snd/index.html", "sounds");
    dir.file("site/.git/config", "hidden");
    dir.file("site/.env", "hidden");
    fs::create_symlink(outside, dir.path / "site/link.txt");
    fs::create_directory_symlink(dir.path / "outside", dir.path / "site/out");
    const Site site((dir.path / "site").string());
    EXPECT_EQ(site.size(), 3u);
    ASSERT_TRUE(site.find("/"));
    EXPECT_EQ(site.find("/")->body, "<p>game");
    EXPECT_EQ(site.find("/")->type, "text/html; charset=utf-8");
    EXPECT_EQ(site.find("/index.wasm")->type, "application/wasm");
    EXPECT_EQ(site.find("/snd/")->body, "sounds");
    for (const char* path :
         {"/link.txt", "/out/secret.txt", "/.env", "/.git/config", "/../outside/secret.txt",
          "/snd/../index.html", "//index.html", "/snd", "", "index.html"})
        EXPECT_FALSE(site.find(path)) << path;
    EXPECT_THROW(Site((dir.path / "none").string()), std::runtime_error);
}

TEST(SqliteStore, KeepsForTheOperatorWhereRunsCameFromAndWhatWasRefused) {
    const TempDir dir("store-ops");
    const std::string db = (dir.path / "lb.db").string();
    auto store = openStore("sqlite:" + db);
    for (int i = 0; i < 3; ++i) {
        Submission s;
        s.nonce = "n" + std::to_string(i);
        s.run.board = "global";
        s.run.player = "p" + std::to_string(i);
        s.run.score = 10 * (i + 1);
        s.run.submittedMs = 1000 * (i + 1);
        s.replay = "replay";
        s.client = "192.0.2." + std::to_string(i);
        s.agent = "voidrunner/1.0.0";
        s.day = "2026-12-08";
        ASSERT_EQ(store->addRun(s), Store::Added::Listed);
    }
    const long long best = store->top("global", 1)[0].id;
    EXPECT_TRUE(store->hide(best));
    auto recent = store->recentRuns(10);
    ASSERT_EQ(recent.size(), 3u);
    EXPECT_EQ(recent[0].id, best) << "newest first, hidden ones too";
    EXPECT_TRUE(recent[0].hidden);
    EXPECT_EQ(recent[0].client, "192.0.2.2");
    EXPECT_EQ(recent[0].agent, "voidrunner/1.0.0");
    EXPECT_TRUE(store->unhide(best));
    EXPECT_EQ(store->top("global", 1)[0].id, best);
    EXPECT_FALSE(store->unhide(best + 100));

    store->addRefusal({1500, "198.51.100.7", "curl", 422, "score_mismatch", "p", 99, "no"});
    store->addRefusal({3500, "198.51.100.8", "curl", 401, "forged", "", -1, "forged"});
    ASSERT_EQ(store->refusals(10).size(), 2u);
    EXPECT_EQ(store->refusals(10)[0].reason, "forged");
    // Addresses go after their time: runs stay, without them; refusals go.
    store->forgetClients(2500);
    recent = store->recentRuns(10);
    EXPECT_EQ(recent[0].client, "192.0.2.2");
    EXPECT_EQ(recent[1].client, "");
    EXPECT_EQ(recent[2].client, "");
    EXPECT_EQ(recent[2].player, "p0");
    ASSERT_EQ(store->refusals(10).size(), 1u);
    EXPECT_EQ(store->refusals(10)[0].client, "198.51.100.8");

    // A backup never overwrites, and only a leaderboard is restored.
    const std::string taken = dir.file("taken.db", "keep me");
    EXPECT_THROW(store->backup(taken), StoreError);
    EXPECT_EQ(std::ifstream(taken).rdbuf()->sgetc(), 'k');
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), {}), 4)
        << "no temporary file left: lb.db, its -wal and -shm, taken.db";
    EXPECT_THROW(store->restore(dir.file("junk.db", "not a database at all")), StoreError);
    EXPECT_THROW(store->restore((dir.path / "missing.db").string()), StoreError);
    EXPECT_EQ(store->recentRuns(10).size(), 3u) << "a refused restore changes nothing";
    EXPECT_THROW(store->restore(dir.file("empty.db")), StoreError) << "no leaderboard in it";
}

}  // namespace
