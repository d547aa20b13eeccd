#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace {

CommandLine parse(std::vector<std::string> args) { return parseCommandLine(args); }

}  // namespace

TEST(CommandLineTest, OptionsAreRecordedAndNoneMeansPlay) {
    const CommandLine none = parse({});
    EXPECT_FALSE(replyTo(none).done);
    EXPECT_TRUE(none.replayFile.empty());
    EXPECT_FALSE(none.fullscreen);

    const CommandLine all = parse({"--fullscreen", "--replay", "-odd name.txt"});
    EXPECT_TRUE(all.error.empty()) << all.error;
    EXPECT_TRUE(all.fullscreen);
    EXPECT_EQ(all.replayFile, "-odd name.txt");
    EXPECT_FALSE(replyTo(all).done);

    EXPECT_EQ(parse({"--replay=game.rec"}).replayFile, "game.rec");
    EXPECT_EQ(parse({"--player", "Zo\xC3\xAB R", "--ranked"}).player, "Zo\xC3\xAB R");
    EXPECT_EQ(parse({"--player=ACE"}).player, "ACE");

    const char* argv[] = {"voidrunner", "--fullscreen", nullptr};
    EXPECT_TRUE(parseCommandLine(2, argv).fullscreen);
}

TEST(CommandLineTest, HelpAndVersionPrintAndEndWithZero) {
    const CommandLineReply help = replyTo(parse({"--fullscreen", "--help"}));
    EXPECT_TRUE(help.done);
    EXPECT_FALSE(help.isError);
    EXPECT_EQ(help.exitCode, 0);
    for (const char* option :
         {"--help", "--version", "--replay FILE", "--fullscreen", "--player NAME"})
        EXPECT_NE(help.text.find(option), std::string::npos) << option;

    const CommandLineReply version = replyTo(parse({"--version"}));
    EXPECT_TRUE(version.done);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.text, std::string("voidrunner ") + programVersion() + "\n");
    EXPECT_STRNE(programVersion(), "");
}

TEST(CommandLineTest, BadArgumentsGiveOneLineAndExitCodeTwo) {
    const std::vector<std::vector<std::string>> bad = {
        {"--frobnicate"},     {"-x"},           {"--replay"},
        {"--replay="},        {"--replay", ""}, {"save.txt"},
        {"--help", "--nope"}, {"--player"},     {"--player="}};
    for (const auto& args : bad) {
        const CommandLine cl = parse(args);
        const CommandLineReply reply = replyTo(cl);
        EXPECT_TRUE(reply.done) << args[0];
        EXPECT_TRUE(reply.isError) << args[0];
        EXPECT_EQ(reply.exitCode, 2) << args[0];
        // One line, naming the program, and the bad word when there is one.
        EXPECT_EQ(reply.text.find('\n'), reply.text.size() - 1) << reply.text;
        EXPECT_EQ(reply.text.rfind("voidrunner: ", 0), 0u) << reply.text;
    }
    EXPECT_NE(parse({"--frobnicate"}).error.find("'--frobnicate'"), std::string::npos);
}
