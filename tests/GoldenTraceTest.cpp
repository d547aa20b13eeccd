// Long scripts whose whole output (state and drawing of every tick) must not
// change by a byte: a faster list, renderer or tick has to keep every result
// and every order. scripts/golden.sh holds the expected outputs
// (tests/data/golden/) and, on a mismatch, shows the first differing line
// and key. When the game's behaviour changes on purpose, record them anew:
//   scripts/golden.sh record
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#if defined(VR_TRACE_PATH) && defined(VR_GOLDEN_SCRIPT)

namespace {

TEST(GoldenTrace, LongScriptsGiveTheRecordedOutput) {
    const std::string cmd = std::string("'") + VR_GOLDEN_SCRIPT + "' check --tool '" +
                            VR_TRACE_PATH + "' 2>&1";
    std::string report;
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) report += buf;
    const int status = ::pclose(p);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << report;
    // Both scripts were compared, not skipped.
    EXPECT_NE(report.find("golden mixed: same"), std::string::npos) << report;
    EXPECT_NE(report.find("golden sprinkler: same"), std::string::npos) << report;
}

}  // namespace

#endif
