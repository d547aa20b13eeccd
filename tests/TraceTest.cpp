// End-to-end runs of the built voidrunner-trace on short scripts, each in a
// folder of its own (the tool reads and writes save.txt where it runs).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Trace.h"

#ifdef VR_TRACE_PATH

namespace {

namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::vector<std::string> lines;
    std::string err;
};

class TraceTest : public ::testing::Test {
protected:
    fs::path dir;

    void SetUp() override {
        static int counter = 0;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / ("voidrunner-trace-" + std::to_string(::getpid()) + "-" +
                                           info->name() + "-" + std::to_string(counter++));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    void write(const std::string& name, const std::string& text) {
        std::ofstream(dir / name, std::ios::binary) << text;
    }

    static std::string read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    static std::string quote(const std::string& s) { return "'" + s + "'"; }

    // Runs the tool in the test's folder; the script goes in as a file, or
    // on standard input when fromStdin is set.
    Result run(const std::string& script, const std::string& options = "", bool fromStdin = false) {
        write("script.txt", script);
        std::string cmd = "cd " + quote(dir.string()) + " && " + quote(VR_TRACE_PATH) + " " +
                          options + (fromStdin ? " < script.txt" : " script.txt") +
                          " > out.txt 2> err.txt";
        const int raw = std::system(cmd.c_str());
        Result r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        std::istringstream out(read(dir / "out.txt"));
        for (std::string line; std::getline(out, line);) r.lines.push_back(line);
        r.err = read(dir / "err.txt");
        return r;
    }
};

bool has(const std::string& line, const std::string& part) {
    return line.find(part) != std::string::npos;
}

TEST_F(TraceTest, CountdownThenStartUpThenFirstFrame) {
    const Result r = run("# start\nfield 640 480\n\ntick 6\n", "--draw");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.lines.size(), 6u);
    for (int i = 0; i < 6; ++i) {
        const std::string& line = r.lines[i];
        EXPECT_TRUE(has(line, "{\"event\":\"tick\",\"n\":" + std::to_string(i + 1) + ",")) << line;
        EXPECT_TRUE(has(line, "\"countdown\":" + std::to_string(i < 4 ? 3 - i : -1) + ",")) << line;
        // Only the sixth tick presents a frame.
        EXPECT_EQ(has(line, "\"draw\":[]"), i < 5) << line;
    }
    EXPECT_TRUE(has(r.lines[3], "\"fieldWidth\":0,"));
    EXPECT_TRUE(has(r.lines[4], "\"fieldWidth\":640,\"fieldHeight\":480,"));
    EXPECT_TRUE(has(r.lines[4], "\"asteroids\":[{"));
    EXPECT_TRUE(has(r.lines[4], "\"ship\":{\"x\":320,\"y\":240,\"vx\":0,"));
    EXPECT_TRUE(has(r.lines[5], "\"draw\":[[\"fill\",0,0,640,480,\"000000\"],[\"line\","));
    EXPECT_TRUE(
        has(r.lines[5], "[\"text\",\"Throttle: 100 %\",0,450,644,470,\"center\",\"ffffff\"]"));
    EXPECT_TRUE(has(r.lines[5], "[\"ellipse\",10,465,20,475,\"ffffff\",\"ffffff\"]"));
    EXPECT_TRUE(r.lines[5].ends_with("]]}"));
    // Without --draw there is no draw key at all.
    const Result plain = run("tick 6\n");
    ASSERT_EQ(plain.lines.size(), 6u);
    EXPECT_FALSE(has(plain.lines[5], "\"draw\""));
    EXPECT_TRUE(plain.lines[5].ends_with("\"typedInitials\":\"\"}"));
}

TEST_F(TraceTest, BadLinesStopWithStatusTwoNamingTheLine) {
    const std::vector<std::string> bad = {
        "bogus",
        "tick x",
        "tick -1",
        "tick 1 2",
        "char 256",
        "char",
        "keys Q",
        "keys",
        "mouse middle",
        "wheel 1.5",
        "field -1 600",
        "seed -1",
        "tick 5\nfield 800 600",
    };
    for (const std::string& line : bad) {
        const Result r = run("tick\n\n" + line + "\ntick\n");
        EXPECT_EQ(r.status, 2) << line;
        // The first tick's output stands; nothing after the bad line runs.
        const size_t expected = line.starts_with("tick 5") ? 6u : 1u;
        EXPECT_EQ(r.lines.size(), expected) << line;
        const std::string where = line.starts_with("tick 5") ? "line 4" : "line 3";
        EXPECT_TRUE(has(r.err, where)) << line << ": " << r.err;
    }
    EXPECT_EQ(run("tick\n", "--no-such-option").status, 2);
    // A line's bytes that could steer a terminal are quoted, not echoed.
    const Result evil = run("tick\n\x1b]0;owned\x07 \xff\n");
    EXPECT_EQ(evil.status, 2);
    EXPECT_TRUE(has(evil.err, "line 2: unknown command: \\x1b]0;owned\\x07 \\xff\n")) << evil.err;
    // A minimised window reports a 0-wide client area; the game takes it as 1.
    const Result tiny = run("field 0 0\ntick 5\n");
    ASSERT_EQ(tiny.status, 0) << tiny.err;
    EXPECT_TRUE(has(tiny.lines[4], "\"fieldWidth\":1,\"fieldHeight\":1,"));
}

// The tool in process, through runTrace: a script it cannot read, output it
// cannot write and a line too long to hold each end with status 1 and one line.
TEST_F(TraceTest, LostInputOrOutputEndsWithStatusOneAndOneLine) {
    const auto call = [](std::vector<std::string> args, const std::string& script, std::FILE* out) {
        args.insert(args.begin(), "voidrunner-trace");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        std::string text = script;
        std::FILE* in = fmemopen(text.data(), text.size(), "r");
        std::FILE* err = std::tmpfile();
        Result r;
        r.status = runTrace(static_cast<int>(argv.size()), argv.data(), in, out, err);
        std::rewind(err);
        for (char buf[512]; std::fgets(buf, sizeof buf, err);) r.err += buf;
        std::fclose(err);
        std::fclose(in);
        return r;
    };
    std::FILE* sink = std::fopen("/dev/null", "w");
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_TRUE(sink && full);
    write("file", "tick\n");
    const std::string huge = "tick\n" + std::string(1 << 20, 'x') + "\n";
    // An escape byte, then the x's. (Not "\x1b" + string: GCC 12 at -O3
    // warns of an overlap in that insert that cannot happen.)
    std::string escaped = huge.substr(4);
    escaped[0] = '\x1b';
    const struct {
        std::vector<std::string> args;
        const std::string& script;
        std::FILE* out;
        const char* says;
    } cases[] = {
        {{dir.string()}, huge, sink, "cannot read"},
        {{(dir / "missing").string()}, huge, sink, "cannot read"},
        {{}, "tick 100000\n", full, "cannot write the output"},
        {{}, huge, sink, "line 2: longer than 4096 bytes: xxxx"},
        {{}, escaped, sink, "line 1: longer than 4096 bytes: \\x1bxxx"},
    };
    for (const auto& c : cases) {
        const Result r = call(c.args, c.script, c.out);
        EXPECT_EQ(r.status, 1) << c.says;
        EXPECT_TRUE(has(r.err, c.says)) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_LT(r.err.size(), 300u) << c.says;
    }
    std::fclose(sink);
    std::fclose(full);
    // Pictures need the built tool (SDL draws them): a file is no folder.
    const Result png = run("tick\n", "--png file");
    EXPECT_EQ(png.status, 1);
    EXPECT_TRUE(has(png.err, "--png: cannot write pictures to file")) << png.err;
    const Result raw = run("tick\n", "--raw-frames .");
    EXPECT_EQ(raw.status, 1);
    EXPECT_TRUE(has(raw.err, "cannot write the frames to .")) << raw.err;
}

// Raw frames: one field-sized bgr0 frame per drawn tick, the lines as
// without them; on standard output they leave no room for lines.
TEST_F(TraceTest, RawFramesOneFieldSizedFramePerDrawnTick) {
    // Drawing finds the font through fontconfig, which keeps memory to the
    // end: a sanitized tool would report it (a test's own setting).
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string before = asan ? asan : "";
    ::setenv("ASAN_OPTIONS", (before.empty() ? "" : before + ":").append("detect_leaks=0").c_str(),
             1);
    const Result r = run("field 11 7\ntick 9\n", "--raw-frames frames.rgb");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.lines.size(), 9u);
    EXPECT_EQ(read(dir / "frames.rgb").size(), 4u * 11 * 7 * 4);
    const Result piped = run("field 11 7\ntick 9\n", "--raw-frames -");
    EXPECT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(read(dir / "out.txt"), read(dir / "frames.rgb"));
    EXPECT_EQ(run("tick\n", "--raw-frames - --final").status, 2);
    if (asan)
        ::setenv("ASAN_OPTIONS", before.c_str(), 1);
    else
        ::unsetenv("ASAN_OPTIONS");
}

TEST_F(TraceTest, StandardInputAndRepeatedRunsGiveTheSameLines) {
    const std::string script =
        "seed 7\ntick 5\nkeys LS\ntick 40\nkeys U\ntick 20\nchar 55\nmouse ldown\ntick 3\n"
        "mouse lup\nwheel -240\nchar 48\ntick 2\n";
    const Result first = run(script, "--draw");
    const Result again = run(script, "--draw");
    const Result piped = run(script, "--draw", true);
    ASSERT_EQ(first.status, 0) << first.err;
    ASSERT_EQ(first.lines.size(), 5u + 40 + 20 + 1 + 3 + 1 + 2);
    EXPECT_EQ(first.lines, again.lines);
    EXPECT_EQ(first.lines, piped.lines);

    // Another seed places the first wave elsewhere.
    const Result other = run("seed 8\ntick 5\n");
    const Result seven = run("seed 7\ntick 5\n");
    const auto rocks = [](const std::string& l) { return l.substr(l.find("\"asteroids\"")); };
    EXPECT_NE(rocks(other.lines[4]), rocks(seven.lines[4]));
}

TEST_F(TraceTest, CharactersMouseWheelAndSounds) {
    const Result r =
        run("tick 5\nchar 55\nmouse rdown\nkeys S\ntick\nkeys -\ntick\nwheel -240\nchar 65\n"
            "wheel 120\nchar 65\n");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.lines.size(), 10u);
    // A typed digit: its own line, no tick counted.
    EXPECT_TRUE(has(r.lines[5], "{\"event\":\"char\",\"n\":5,"));
    EXPECT_TRUE(has(r.lines[5], "\"throttle\":7,"));
    // The fresh space press fires once; the sound is reported once.
    EXPECT_TRUE(has(r.lines[6], "\"buttonDown\":1,\"leftButton\":0,"));
    EXPECT_TRUE(has(r.lines[6], "\"sounds\":[\"snd\\\\fire.wav\"]"));
    EXPECT_TRUE(has(r.lines[6], "\"playerBullets\":[{"));
    EXPECT_TRUE(has(r.lines[7], "\"sounds\":[]"));
    EXPECT_TRUE(has(r.lines[8], "\"wheelDelta\":-120,"));
    EXPECT_TRUE(has(r.lines[9], "\"wheelDelta\":120,"));
}

// --final prints the one line a full run ends with: the sounds since the
// line before, the state before later mouse and wheel messages, and the
// last line before a bad one.
TEST_F(TraceTest, FinalLineIsTheLastLineOfAFullRun) {
    const std::string endings[] = {
        "keys S\ntick\n",                                    // a sound in the last line only
        "keys S\ntick 3\nmouse ldown\nwheel 120\nkeys -\n",  // window state changed after it
        "char 55\nmouse rdown\ntick 0\nseed 9\n",            // a char line, then no line
        "tick 2\nnonsense\ntick\n",                          // stops at a bad line
    };
    for (const std::string& end : endings) {
        const std::string script = "seed 4\ntick 5\nkeys LS\ntick 30\n" + end;
        for (const char* draw : {"", "--draw"}) {
            const Result full = run(script, draw);
            fs::remove(dir / "save.txt");
            const Result last = run(script, std::string(draw) + " --final");
            EXPECT_EQ(last.status, full.status) << end;
            ASSERT_EQ(last.lines.size(), 1u) << end;
            EXPECT_EQ(last.lines[0], full.lines.back()) << end << draw;
        }
    }
    EXPECT_TRUE(run("seed 2\n", "--final").lines.empty());
}

TEST_F(TraceTest, TableComesFromSaveFileInTheWorkingFolderWithEscapes) {
    write("save.txt", "5000 3 A\"\\\n4000 2 \x01\xE9Z\n");
    const Result r = run("tick 5\n");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(r.lines.size(), 5u);
    EXPECT_TRUE(has(r.lines[4], "\"table\":[[5000,3,\"A\\\"\\\\\"],[4000,2,\"\\u0001\\u00e9Z\"],"))
        << r.lines[4];
}

}  // namespace

#endif
