// The option table: what the parser takes and refuses, and the help it writes.
#include "cli/cli_options.h"

#include <gtest/gtest.h>

namespace framolo {
namespace {

TEST(CliOptionTable, TheParserTakesAndRefusesWhatTheTableSays) {
    const TCliCommand& avi2gif = *FindCommand("avi2gif");
    struct TCase {
        std::vector<std::string> Args;
        std::string Error; // empty: parsed
    };
    const TCase cases[] = {
        {{"in", "out", "--step", "3", "--rle", "--reduction", "Best"}, ""},
        {{"-x", "--threads", "300", "out", "--threads", "9"}, ""}, // the last value counts
        {{"in"}, "avi2gif takes INPUT and OUTPUT.gif"},
        {{"in", "out", "--frob"}, "unknown option --frob"},
        {{"in", "out", "--width"}, "--width needs a value"},
        {{"in", "out", "--loop", "-1"}, "--loop takes a whole number, not '-1'"},
        {{"in", "out", "--start", "99999999999"}, "--start is out of range: '99999999999'"},
        {{"in", "out", "--step", "00"}, "--step must be between 1 and 2147483647, not 00"},
        {{"in", "out", "--threads", "9", "--threads", "300"},
         "--threads must be between 1 and 256, not 300"},
    };
    for (const TCase& c : cases) {
        try {
            const TCliArgs args = ParseCommandLine(avi2gif, c.Args);
            EXPECT_EQ(c.Error, "") << c.Args.back();
            EXPECT_EQ(args.Positional.size(), 2u);
            EXPECT_EQ(args.Number("--width", 77), 77);
        } catch (const EUsage& e) {
            EXPECT_EQ(e.what(), c.Error);
        }
    }
    const TCliArgs args = ParseCommandLine(avi2gif, cases[0].Args);
    EXPECT_EQ(args.Number("--step", 1), 3);
    EXPECT_TRUE(args.Has("--rle"));
    EXPECT_FALSE(args.Has("--quiet"));
    EXPECT_EQ(args.Word("--reduction", ""), "Best");
    EXPECT_EQ(FindCommand("help"), nullptr);
}

TEST(CliOptionTable, EveryOptionIsInItsCommandsHelpOnceWithItsTextInOneColumn) {
    for (const char* name : {"avi2gif", "gif2avi", "gif2video", "info"}) {
        const TCliCommand& command = *FindCommand(name);
        const std::string help = CommandHelp(command);
        EXPECT_EQ(help.rfind("usage: framolo-cli " + command.Name + " ", 0), 0u) << help;
        for (const TCliOption& option : command.Options) {
            const std::string left =
                "\n  " + option.Name + (option.Value.empty() ? "" : " " + option.Value) + " ";
            const std::size_t at = help.find(left);
            ASSERT_NE(at, std::string::npos) << name << " " << option.Name;
            EXPECT_EQ(help.find(left, at + 1), std::string::npos) << option.Name;
            const std::string firstLine = option.Help.substr(0, option.Help.find('\n'));
            EXPECT_EQ(help.substr(at + 1 + 22, firstLine.size()), firstLine) << option.Name;
        }
        EXPECT_NE(help.find("\n  -h, --help          this text\n"), std::string::npos) << name;
    }
}

} // namespace
} // namespace framolo
