// Long scripts whose whole output (state and drawing of every tick) must not
// change by a byte: a faster list, renderer or tick has to keep every result
// and every order. The expected SHA-256 sums are in data/golden/expected.sha256.
// When the game's behaviour changes on purpose, remake them in an empty
// folder (the mixed script signs the table and writes save.txt):
//   cd "$(mktemp -d)" && for s in REPO/tests/data/golden/*.trace; do
//     REPO/build/voidrunner-trace --draw "$s" | sha256sum | sed "s|-\$|${s##*/}|"; done
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#ifdef VR_TRACE_PATH

namespace {

namespace fs = std::filesystem;

const fs::path goldenDir = fs::path(__FILE__).parent_path() / "data" / "golden";

std::string quote(const std::string& s) { return "'" + s + "'"; }

// The first word of the command's output.
std::string firstWord(const std::string& cmd) {
    std::string out;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p)) out += buf;
        ::pclose(p);
    }
    return out.substr(0, out.find_first_of(" \n"));
}

std::vector<std::pair<std::string, std::string>> expectedSums() {
    std::vector<std::pair<std::string, std::string>> sums;
    std::ifstream in(goldenDir / "expected.sha256");
    std::string sum, name;
    while (in >> sum >> name) sums.emplace_back(name, sum);
    return sums;
}

TEST(GoldenTrace, LongScriptsGiveTheRecordedOutput) {
    const auto sums = expectedSums();
    ASSERT_EQ(sums.size(), 2u) << "expected.sha256 is missing or incomplete";
    for (const auto& [name, sum] : sums) {
        const fs::path dir = fs::temp_directory_path() /
                             ("voidrunner-golden-" + std::to_string(::getpid()) + "-" + name);
        fs::remove_all(dir);
        fs::create_directories(dir);
        const std::string cmd = "cd " + quote(dir.string()) + " && " + quote(VR_TRACE_PATH) +
                                " --draw " + quote((goldenDir / name).string()) +
                                " 2>&1 | sha256sum";
        EXPECT_EQ(firstWord(cmd), sum) << name << ": the output drifted";
        fs::remove_all(dir);
    }
}

}  // namespace

#endif
