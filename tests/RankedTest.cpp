// The ranked contract as the clients keep it: the player-name rule the
// server applies, said before a game is played, and a run of other rules
// kept with a word on which side is behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "GameFixture.h"
#include "app/online/Leaderboard.h"
#include "app/online/RankedContract.h"
#include "app/replay/ReplayRecorder.h"
#include "game/Rules.h"

using Ranked = GameTest;

namespace {

// Answers a ticket at once and every run with `run`, on the caller's thread.
class AnsweringHttp final : public HttpService {
public:
    void send(const std::string&, const std::string& url, const std::string&,
              std::function<void(const HttpReply&)> done) override {
        urls.push_back(url);
        done(run);
    }
    HttpReply sendAndWait(const std::string&, const std::string& url, const std::string&) override {
        urls.push_back(url);
        return {200, "{\"ticket\":\"T-1\",\"seed\":5}", ""};
    }
    HttpReply run;
    std::vector<std::string> urls;
};

}  // namespace

TEST_F(Ranked, ANameTheServerWouldRefuseIsRefusedBeforePlay) {
    // The rule itself is held to utf8proc in NameRuleTest.
    for (const std::string& good :
         std::vector<std::string>{"ACE", "Zo\xC3\xAB", "\xF0\x9F\x9A\x80", std::string(16, 'x')})
        EXPECT_EQ(playerNameProblem(good), "") << good;
    const struct {
        std::string name;
        const char* says;
    } bad[] = {
        {"", "is 1 to 16 characters"},
        {std::string(17, 'x'), "is 1 to 16 characters"},
        {"\xFF", "must be valid UTF-8"},
        {"\xC0\xAF", "must be valid UTF-8"},  // overlong
        {"A\tB", "holds only characters that show (not U+0009)"},
        {"AB\x7f", "holds only characters that show (not U+007F)"},
    };
    for (const auto& b : bad)
        EXPECT_EQ(playerNameProblem(b.name), std::string("a player's name ") + b.says) << b.name;

    AnsweringHttp http;
    Leaderboard board(http, "http://127.0.0.1:1", "A\x1b[2J");
    std::string message;
    EXPECT_FALSE(board.begin(RankedMode::Ranked, message));
    EXPECT_NE(message.find("not U+001B"), std::string::npos) << message;
    EXPECT_TRUE(http.urls.empty());
}

TEST_F(Ranked, ARunOfOtherRulesIsKeptAndThePlayerToldToUpdate) {
    AnsweringHttp http;
    // A key for the name already: no claim first.
    Leaderboard board(http, "http://127.0.0.1:1", "ACE", "key-of-ace-0123456789");
    std::string message;
    ASSERT_TRUE(board.begin(RankedMode::Ranked, message)) << message;
    http.run = {422,
                "{\"error\":\"this run needs the game's rules " + std::to_string(kRulesVersion) +
                    "\",\"rules\":" + std::to_string(kRulesVersion + 1) + "}",
                ""};
    ReplayRecorder recorder;
    board.gameOver(recorder);
    EXPECT_NE(board.lastResult().find("update the game; the run is kept in unsent/"),
              std::string::npos)
        << board.lastResult();
    std::vector<std::string> kept;
    ASSERT_TRUE(platform().files->list("unsent", kept));
    EXPECT_EQ(kept.size(), 1u);

    // A run the server finds wrong leaves unsent/.
    Leaderboard again(http, "http://127.0.0.1:1", "ACE", "key-of-ace-0123456789");
    again.keptFolder = "unsent-2";
    ASSERT_TRUE(again.begin(RankedMode::Ranked, message)) << message;
    http.run = {422, "{\"error\":\"the replay does not reproduce the score\"}", ""};
    again.gameOver(recorder);
    EXPECT_NE(again.lastResult().find("refused"), std::string::npos) << again.lastResult();
    kept.clear();
    platform().files->list("unsent-2", kept);
    EXPECT_TRUE(kept.empty());
}
