// What a command-line user types first: help, version, JSON reports, thread
// counts, the short-delay warning, info on GIFs by content, and Ctrl-C.
#include "cli/cli_help.h"
#include "cli_test_util.h"
#include "clip_tools.h"
#include "convert/job_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace framolo {
namespace {

const std::string kCli = FRAMOLO_CLI_PATH;

// Runs the tool with stdout in *out and stderr in *err; returns the exit status.
int RunTool(const std::string& args, std::string* out, std::string* err = nullptr) {
    // CTest runs the tests of this file in parallel processes: the name carries the
    // process id so that no two of them share a file.
    static int calls = 0;
    const std::string errPath = test::WorkPath("cli_options_err_" + std::to_string(getpid()) + "_" +
                                               std::to_string(++calls));
    const int status = test::RunCommand(kCli + " " + args + " 2>'" + errPath + "'", out);
    if (err != nullptr) {
        const auto bytes = test::ReadFileBytes(errPath);
        err->assign(bytes.begin(), bytes.end());
    }
    std::remove(errPath.c_str());
    return status;
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

bool Exists(const std::string& path) {
    return std::ifstream(path).good();
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

TEST(CliOptions, HelpAndVersionGoToStdoutWithSuccess) {
    std::string out;
    std::string err;
    for (const char* ask : {"--help", "-h", "help"}) {
        ASSERT_EQ(RunTool(ask, &out, &err), 0) << ask;
        EXPECT_EQ(out, UsageText()) << ask;
        EXPECT_EQ(err, "") << ask;
    }
    // Each command's help, three ways, always the same text.
    for (const char* command : {"avi2gif", "gif2avi", "info"}) {
        const std::string expected = CommandHelp(command);
        ASSERT_FALSE(expected.empty());
        for (const std::string& ask :
             {std::string("help ") + command, std::string(command) + " --help",
              std::string(command) + " in out -h"}) {
            ASSERT_EQ(RunTool(ask, &out), 0) << ask;
            EXPECT_EQ(out, expected) << ask;
        }
    }
    const std::string avi2gif = CommandHelp("avi2gif");
    EXPECT_NE(avi2gif.find("--loop N"), std::string::npos);
    EXPECT_NE(avi2gif.find("0 (default) loops\n                      forever"), std::string::npos);
    EXPECT_NE(avi2gif.find("hundredths"), std::string::npos);
    EXPECT_NE(avi2gif.find("--threads N"), std::string::npos);

    ASSERT_EQ(RunTool("--version", &out), 0);
    EXPECT_EQ(out.rfind("framolo-cli ", 0), 0u) << out;
    EXPECT_TRUE(out.size() > 12 && std::isdigit(static_cast<unsigned char>(out[12]))) << out;

    EXPECT_EQ(RunTool("help frobnicate", &out, &err), 2);
    EXPECT_NE(err.find("unknown command frobnicate"), std::string::npos) << err;
    EXPECT_EQ(RunTool("", &out, &err), 2);
    EXPECT_EQ(err, UsageText());
}

TEST(CliOptions, DelayWarningSaysWhatIsStoredAndWhatPlaysAsAsked) {
    EXPECT_EQ(DelayWarning(5).value_or(""),
              "warning: a delay of 5 ms is stored as 0 hundredths of a second, which common "
              "browsers play as 10 hundredths (100 ms); the shortest delay they play as asked is "
              "2 hundredths (--delay 20)");
    EXPECT_NE(DelayWarning(19).value_or("").find("stored as 1 hundredth of"), std::string::npos);
    EXPECT_FALSE(DelayWarning(20));
    EXPECT_FALSE(DelayWarning(125));
    // 65536 * 10 ms keeps its low 16 bits: stored as 0.
    EXPECT_TRUE(DelayWarning(655360));

    const std::string clip = test::MakeClip("cli_opt_delay.avi", 24, 16, 4, "-c:v mjpeg");
    const std::string gif = test::WorkPath("cli_opt_delay.gif");
    std::string out;
    std::string err;
    ASSERT_EQ(RunTool("avi2gif '" + clip + "' '" + gif + "' --delay 5", &out, &err), 0) << err;
    EXPECT_EQ(Count(err, "warning: "), 1u) << err;
    EXPECT_NE(err.find("(--delay 20)"), std::string::npos) << err;
    EXPECT_EQ(out.find("warning"), std::string::npos);
    ASSERT_EQ(RunTool("avi2gif '" + clip + "' '" + gif + "' --delay 10", &out, &err), 0) << err;
    EXPECT_EQ(Count(err, "warning: "), 1u) << err;
    for (const std::string& quiet :
         {std::string("--delay 20"), std::string("--delay 5 --quiet"),
          std::string("--delay 5 --end 0"), std::string("--delay 5 --start 1 --end 3 --step 3")}) {
        ASSERT_EQ(RunTool("avi2gif '" + clip + "' '" + gif + "' " + quiet, &out, &err), 0) << err;
        EXPECT_EQ(err.find("warning"), std::string::npos) << quiet << ": " << err;
    }
}

TEST(CliOptions, JsonReportsOfBothRoadsAndThreadCounts) {
    const std::string clip = test::MakeClip("cli_opt_json.avi", 36, 20, 8, "-c:v mpeg4 -bf 2");
    const std::string gif = test::WorkPath("cli_opt \"json\".gif");
    std::string out;
    std::string err;
    ASSERT_EQ(
        RunTool("avi2gif '" + clip + "' '" + gif + "' --step 2 --json --threads 1", &out, &err), 0)
        << err;
    const auto bytes = test::ReadFileBytes(gif);
    const std::string size = std::to_string(bytes.size());
    EXPECT_EQ(Count(out, "\n"), 1u) << out;
    EXPECT_EQ(
        out.rfind("{\"width\": 36, \"height\": 20, \"frames\": 4, \"size_bytes\": " + size +
                      ", \"size_kb\": " +
                      std::to_string(BytesToKBRounded(static_cast<std::int64_t>(bytes.size()))) +
                      ", \"output\": \"" + test::WorkPath("cli_opt \\\"json\\\".gif") +
                      "\", \"seconds\": ",
                  0),
        0u)
        << out;
    EXPECT_EQ(out.substr(out.size() - 2), "}\n");
    // The text report gives the exact size too.
    ASSERT_EQ(RunTool("avi2gif '" + clip + "' '" + gif + "' --step 2", &out, &err), 0) << err;
    EXPECT_NE(out.find("(" + size + " bytes)"), std::string::npos) << out;

    // Any number of threads writes the same file, with a shared palette or layers.
    const std::string other = test::WorkPath("cli_opt_threads.gif");
    for (const char* threads : {"2", "5"}) {
        ASSERT_EQ(
            RunTool("avi2gif '" + clip + "' '" + other + "' --step 2 --quiet --threads " + threads,
                    &out, &err),
            0)
            << err;
        EXPECT_EQ(test::ReadFileBytes(other), bytes) << threads << " threads";
    }
    std::vector<std::uint8_t> layered;
    for (const char* threads : {"1", "3"}) {
        ASSERT_EQ(RunTool("avi2gif '" + clip + "' '" + other +
                              "' --step 2 --quiet --quality 95 --threads " + threads,
                          &out, &err),
                  0)
            << err;
        if (layered.empty())
            layered = test::ReadFileBytes(other);
        else
            EXPECT_EQ(test::ReadFileBytes(other), layered) << threads << " threads, layered";
    }
    for (const char* bad : {"0", "257", "x", "-1"})
        EXPECT_EQ(RunTool("avi2gif '" + clip + "' '" + other + "' --threads " + bad, &out, &err), 2)
            << bad;

    const std::string avi = test::WorkPath("cli_opt_json.avi.out.avi");
    ASSERT_EQ(RunTool("gif2avi '" + gif + "' '" + avi + "' --json", &out, &err), 0) << err;
    const std::string aviSize = std::to_string(test::ReadFileBytes(avi).size());
    EXPECT_EQ(
        out.rfind("{\"width\": 36, \"height\": 20, \"frames\": 4, \"size_bytes\": " + aviSize, 0),
        0u)
        << out;
    EXPECT_NE(out.find("\"output\": \"" + avi + "\""), std::string::npos) << out;
}

TEST(CliOptions, InfoKnowsAGifByWhatTheReaderTakes) {
    const std::string clip = test::MakeClip("cli_opt_info.avi", 16, 12, 2, "-c:v mjpeg");
    const std::string gif = test::WorkPath("cli_opt_info.gif");
    std::string out;
    std::string err;
    ASSERT_EQ(RunTool("avi2gif '" + clip + "' '" + gif + "' --quiet", &out, &err), 0) << err;
    const auto bytes = test::ReadFileBytes(gif);

    // A short prefix before the signature, and a signature in lower case.
    std::vector<std::uint8_t> prefixed = {'x', 'y', 'z', 'w'};
    prefixed.insert(prefixed.end(), bytes.begin(), bytes.end());
    WriteFile(test::WorkPath("cli_opt_prefixed.bin"), prefixed);
    std::vector<std::uint8_t> lower = bytes;
    lower[0] = 'g';
    lower[1] = 'i';
    lower[2] = 'f';
    WriteFile(test::WorkPath("cli_opt_lower.dat"), lower);
    for (const char* name : {"cli_opt_prefixed.bin", "cli_opt_lower.dat"}) {
        ASSERT_EQ(RunTool("info --json '" + test::WorkPath(name) + "'", &out, &err), 0)
            << name << err;
        EXPECT_EQ(out.rfind("{\"format\": \"gif\", \"width\": 16, \"height\": 12", 0), 0u) << out;
    }

    // Broken GIFs give the reader's message, never the video reader's.
    const std::string text = "plain text, not a picture\n";
    WriteFile(test::WorkPath("cli_opt_text.gif"), {text.begin(), text.end()});
    WriteFile(test::WorkPath("cli_opt_cut.bin"), {bytes.begin(), bytes.begin() + 20});
    // Cut inside the logical screen: FFmpeg's own GIF reader would still open it.
    WriteFile(test::WorkPath("cli_opt_short.bin"), {bytes.begin(), bytes.begin() + 11});
    for (const auto& [name, message] :
         {std::pair<std::string, std::string>{"cli_opt_text.gif", "Invalid GIF signature"},
          {"cli_opt_cut.bin", "Premature end of data"},
          {"cli_opt_short.bin", "Premature end of data"},
          {"cli_opt_missing.gif", "cli_opt_missing.gif"}}) {
        EXPECT_EQ(RunTool("info '" + test::WorkPath(name) + "'", &out, &err), 1) << name;
        EXPECT_NE(err.find(message), std::string::npos) << name << ": " << err;
        EXPECT_EQ(err.find("Failed to open AVI file"), std::string::npos) << name << ": " << err;
    }
    // Neither a GIF nor a video: the video reader has the last word.
    WriteFile(test::WorkPath("cli_opt_text.txt"), {'h', 'e', 'l', 'l', 'o', '\n'});
    EXPECT_EQ(RunTool("info '" + test::WorkPath("cli_opt_text.txt") + "'", &out, &err), 1);
    EXPECT_NE(err.find("Failed to open AVI file"), std::string::npos) << err;
}

// A shell pattern for the working files framolo-cli makes beside path.
std::string TemporaryPattern(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".*.part";
}

TEST(CliOptions, CtrlCStopsTheRunAndLeavesNoFile) {
    const std::string clip = test::MakeClip("cli_opt_long.avi", 320, 240, 400, "-c:v mpeg4 -q:v 4");
    const std::string gif = test::WorkPath("cli_opt_interrupted.gif");
    std::remove(gif.c_str());
    // The signal goes once the output's working file exists, i.e. mid-run.
    const std::string script = test::WorkPath("cli_opt_interrupt.sh");
    std::ofstream(script) << "'" << kCli << "' avi2gif '" << clip << "' '" << gif
                          << "' --threads 2 --quiet 2>&1 & pid=$!\n"
                          << test::WaitForFileIn(std::filesystem::path(gif).parent_path().string())
                          << "\n"
                          << "kill -INT $pid; wait $pid; echo \"status $?\"\n";
    std::string out;
    ASSERT_EQ(test::RunCommand("bash '" + script + "'", &out), 0);
    EXPECT_NE(out.find("stopped; nothing was written"), std::string::npos) << out;
    EXPECT_NE(out.find("status 1"), std::string::npos) << out;
    EXPECT_FALSE(Exists(gif));
    std::string left;
    test::RunCommand("ls " + TemporaryPattern(gif) + " 2>/dev/null", &left);
    EXPECT_EQ(left, "");
}

} // namespace
} // namespace framolo
