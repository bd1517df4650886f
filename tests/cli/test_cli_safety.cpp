// framolo-cli refusing what would lose a user's file, and reports that stay
// readable whatever the names and clips: the input given as output (by
// name or by link), arguments swapped, "--", JSON for names that are not
// UTF-8, sizes a GIF cannot hold, clips without a frame.
#include "cli/cli_host.h"
#include "cli/cli_options.h"
#include "cli/cli_report.h"
#include "cli_test_util.h"
#include "clip_tools.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace framolo {
namespace {

namespace fs = std::filesystem;

using test::Quote;
using test::RunCli;

fs::path Folder(const std::string& name) {
    return test::FreshFolder("safety_" + name);
}

TEST(CliSafety, AnOutputThatIsTheInputOrNamedLikeItIsRefusedAndLeftAsItWas) {
    const fs::path dir = Folder("overwrite");
    const std::string clip = test::MakeClip("safety_clip.avi", 24, 16, 3, "-c:v mjpeg");
    fs::copy_file(clip, dir / "c.avi");
    ASSERT_EQ(RunCli("avi2gif " + Quote((dir / "c.avi").string()) + " " +
                     Quote((dir / "a.gif").string()) + " --quiet"),
              0);
    fs::copy_file(dir / "a.gif", dir / "a.mp4"); // a GIF under a video's name
    fs::create_symlink("c.avi", dir / "soft.gif");
    fs::create_hard_link(dir / "c.avi", dir / "hard.gif");
    fs::create_symlink("a.gif", dir / "soft.avi");
    const auto clipBytes = test::ReadFileBytes((dir / "c.avi").string());
    const auto gifBytes = test::ReadFileBytes((dir / "a.gif").string());

    struct TCase {
        std::string Command, Input, Output, Message;
    };
    const std::string same = " is the input file ";
    const std::string named = " extension, not one for what ";
    const TCase cases[] = {
        {"avi2gif", "a.gif", "c.avi", named}, // swapped arguments
        {"avi2gif", "c.avi", "c.avi", same},    {"avi2gif", "c.avi", "soft.gif", same},
        {"avi2gif", "c.avi", "hard.gif", same}, {"avi2gif", "c.avi", "new.MKV", named},
        {"gif2avi", "a.gif", "a.gif", same},    {"gif2avi", "a.gif", "soft.avi", same},
        {"gif2video", "a.mp4", "a.mp4", same},  {"gif2avi", "a.gif", "new.gif", named},
    };
    for (const TCase& c : cases) {
        std::string log;
        const std::string input = (dir / c.Input).string();
        const std::string output = (dir / c.Output).string();
        EXPECT_EQ(RunCli(c.Command + " " + Quote(input) + " " + Quote(output), &log), 2) << log;
        EXPECT_NE(log.find("OUTPUT " + output), std::string::npos) << log;
        EXPECT_NE(log.find(c.Message + input), std::string::npos) << log;
    }
    EXPECT_EQ(test::ReadFileBytes((dir / "c.avi").string()), clipBytes);
    EXPECT_EQ(test::ReadFileBytes((dir / "a.gif").string()), gifBytes);
    EXPECT_EQ(test::ReadFileBytes((dir / "a.mp4").string()), gifBytes);
    EXPECT_TRUE(fs::is_symlink(dir / "soft.gif"));
    EXPECT_FALSE(fs::exists(dir / "new.MKV"));
    EXPECT_FALSE(fs::exists(dir / "new.avi"));

    // --force takes a video's name for a GIF.
    std::string log;
    EXPECT_EQ(RunCli("avi2gif " + Quote((dir / "c.avi").string()) + " " +
                         Quote((dir / "new.mkv").string()) + " --quiet --force",
                     &log),
              0)
        << log;
    EXPECT_TRUE(fs::exists(dir / "new.mkv"));
    // --force lets gif2avi take a GIF's name; the clip is written under .avi
    // beside it and the GIF of that name stays as it was.
    fs::copy_file(dir / "a.gif", dir / "b.gif");
    EXPECT_EQ(RunCli("gif2avi " + Quote((dir / "a.gif").string()) + " " +
                         Quote((dir / "b.gif").string()) + " --quiet --force",
                     &log),
              0)
        << log;
    EXPECT_EQ(test::ReadFileBytes((dir / "b.gif").string()), gifBytes);
    EXPECT_TRUE(fs::exists(dir / "b.avi"));

    // A clip goes back to its header and index: a pipe is refused, and no
    // file is made beside it under the .avi name.
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(
        RunCli("gif2avi " + Quote((dir / "a.gif").string()) + " " + Quote((dir / "pipe").string()),
               &log),
        2);
    EXPECT_NE(log.find("not a device or pipe: " + (dir / "pipe").string()), std::string::npos)
        << log;
    EXPECT_FALSE(fs::exists(dir / "pipe.avi"));
}

TEST(CliSafety, DoubleDashEndsTheOptions) {
    const TCliCommand& avi2gif = *FindCommand("avi2gif");
    struct TCase {
        std::vector<std::string> Args;
        std::vector<std::string> Positional; // empty: refused
        bool Quiet;
    };
    const TCase cases[] = {
        {{"--quiet", "--", "--in", "--out.gif"}, {"--in", "--out.gif"}, true},
        {{"--", "in", "--", "--quiet"}, {}, false}, // three positional arguments
        {{"in", "--", "--help"}, {"in", "--help"}, false},
        {{"--reduction", "--", "in", "out"}, {"in", "out"}, false}, // a value, not the end
    };
    for (const TCase& c : cases) {
        try {
            const TCliArgs args = ParseCommandLine(avi2gif, c.Args);
            EXPECT_EQ(args.Positional, c.Positional) << c.Args.back();
            EXPECT_EQ(args.Has("--quiet"), c.Quiet);
        } catch (const EUsage& e) {
            EXPECT_TRUE(c.Positional.empty()) << e.what();
        }
    }
    // The tool takes a clip named like an option, and "--help" after "--" is a name.
    const fs::path dir = Folder("dashes");
    fs::copy_file(test::MakeClip("safety_clip.avi", 24, 16, 3, "-c:v mjpeg"), dir / "--in.avi");
    std::string log;
    EXPECT_EQ(test::RunCommand("cd " + Quote(dir.string()) + " && " + FRAMOLO_CLI_PATH +
                                   " avi2gif --quiet -- --in.avi --help 2>&1",
                               &log),
              0)
        << log;
    EXPECT_TRUE(fs::exists(dir / "--help")) << log;
}

TEST(CliSafety, JsonStringsKeepUtf8AndWriteOtherBytesAsLatin1Escapes) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain \"q\" \\ \t", "\"plain \\\"q\\\" \\\\ \\t\""},
        {"\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\x9e",
         "\"\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\x9e\""},
        {"a\xff.gif", "\"a\\u00ff.gif\""},
        {"\xc3", "\"\\u00c3\""},                                  // cut short
        {"\xc0\xaf", "\"\\u00c0\\u00af\""},                       // overlong '/'
        {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},            // a surrogate
        {"\xf4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""}, // past U+10FFFF
        {"\x01\xe9x", "\"\\u0001\\u00e9x\""},
    };
    for (const auto& [text, json] : cases)
        EXPECT_EQ(JsonString(text), json) << json;

    // The report of a run whose output name is not UTF-8 is JSON that Python reads back.
    const fs::path dir = Folder("json");
    const std::string out = (dir / "clip\xff\xfe.gif").string();
    std::string log;
    ASSERT_EQ(
        test::RunCommand(std::string(FRAMOLO_CLI_PATH) + " avi2gif " +
                             Quote(test::MakeClip("safety_clip.avi", 24, 16, 3, "-c:v mjpeg")) +
                             " " + Quote(out) +
                             " --json | python3 -c 'import json,sys; "
                             "print(ascii(json.loads(sys.stdin.read())[\"output\"][-10:]))'",
                         &log),
        0)
        << log;
    EXPECT_EQ(log, "'clip\\xff\\xfe.gif'\n"); // U+00FF U+00FE
}

TEST(CliSafety, TheProgressBarOfAFinishedRunEndsAt100Percent) {
    std::ostringstream out;
    std::ostringstream err;
    TCliHost host(out, err, false, true);
    // The avi2gif road stands at 95 % when its last frame starts.
    host.SetProgressRange(0, 21);
    host.SetProgressPosition(0);
    host.SetProgressPosition(20);
    host.EndRun(TJobKind::AviToGif);
    host.ShowFinishedProgress();
    const std::string bar = "\r[" + std::string(40, '#') + "] 100%\n";
    ASSERT_GE(err.str().size(), bar.size()) << err.str();
    EXPECT_EQ(err.str().substr(err.str().size() - bar.size()), bar) << err.str();
}

// A small clip whose stream format says it is width x height.
std::string ClipClaimingSize(const std::string& name, std::int32_t width, std::int32_t height) {
    auto bytes = test::ReadFileBytes(test::MakeClip("safety_clip.avi", 24, 16, 3, "-c:v mjpeg"));
    const std::string strf = "strf";
    const auto at = std::search(bytes.begin(), bytes.end(), strf.begin(), strf.end());
    EXPECT_NE(at, bytes.end());
    // Past the chunk's name and size, and the bitmap header's own size.
    std::memcpy(&*(at + 12), &width, 4);
    std::memcpy(&*(at + 16), &height, 4);
    const std::string path = test::WorkPath(name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

TEST(CliSafety, AClipLargerThanAGifHoldsIsRefusedWithItsSize) {
    struct TCase {
        std::int32_t Width, Height;
        std::string Options, Message;
    };
    const TCase cases[] = {
        {70000, 16, "",
         "the clip is 70000 pixels wide, more than a GIF holds (65535); give --width N"},
        {24, -65536, "--width 24", "the clip is 65536 pixels high"},
    };
    const std::string out = test::WorkPath("safety_large.gif");
    fs::remove(out);
    for (const TCase& c : cases) {
        const std::string clip = ClipClaimingSize("safety_large.avi", c.Width, c.Height);
        std::string log;
        EXPECT_EQ(RunCli("avi2gif " + Quote(clip) + " " + Quote(out) + " " + c.Options, &log), 2);
        EXPECT_NE(log.find(c.Message), std::string::npos) << log;
        EXPECT_FALSE(fs::exists(out));
    }
}

// A range the clip cannot give is a usage error, refused before any work: the
// message names the options and the clip's frames, and an earlier output
// stays as it was.
TEST(CliSafety, ARangeTheClipCannotGiveIsRefusedBeforeAnyWork) {
    const std::pair<const char*, const char*> cases[] = {
        {"--start 2 --end 1", "--start 2 comes after --end 1: choose a range within the clip's "
                              "frames 0 to 2\n"},
        {"--start 3", "--start 3 is outside the clip: choose a range within the clip's frames 0 "
                      "to 2\n"},
        {"--start 1 --end 7", "--end 7 is outside the clip"},
    };
    const fs::path dir = Folder("range");
    const std::string out = (dir / "out.gif").string();
    for (const auto& [options, message] : cases) {
        std::ofstream(out) << "earlier";
        std::string log;
        EXPECT_EQ(RunCli("avi2gif " +
                             Quote(test::MakeClip("safety_clip.avi", 24, 16, 3, "-c:v mjpeg")) +
                             " " + Quote(out) + " " + options,
                         &log),
                  2)
            << options;
        EXPECT_NE(log.find(std::string("framolo-cli: ") + message), std::string::npos) << log;
        EXPECT_EQ(test::ReadFileBytes(out),
                  std::vector<std::uint8_t>({'e', 'a', 'r', 'l', 'i', 'e', 'r'}))
            << options;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
            << options << ": files beside the output";
    }
}

TEST(CliSafety, InfoGivesTheCodecTagAsItsFourCharacters) {
    const std::pair<std::string, std::string> cases[] = {
        {"mjpeg", "MJPG"}, {"rawvideo -pix_fmt bgr24", "\\x00\\x00\\x00\\x00"}, // BI_RGB, 0
    };
    for (const auto& [codec, tag] : cases) {
        const std::string clip =
            test::MakeClip("safety_tag_" + codec.substr(0, 3) + ".avi", 8, 8, 1, "-c:v " + codec);
        std::string log;
        ASSERT_EQ(test::RunCommand(std::string(FRAMOLO_CLI_PATH) + " info --json " + Quote(clip) +
                                       " | python3 -c 'import json,sys; "
                                       "print(json.loads(sys.stdin.read())[\"streams\"][0]["
                                       "\"compression\"])'",
                                   &log),
                  0)
            << log;
        EXPECT_EQ(log, tag + "\n");
        ASSERT_EQ(RunCli("info " + Quote(clip), &log), 0);
        EXPECT_NE(log.find(" (" + tag + ")"), std::string::npos) << log;
    }
}

// A write the system refuses says why, and leaves no file: here a file-size
// limit stands in for a full disk.
TEST(CliSafety, AFailedWriteOfGifToAviGivesTheSystemsReason) {
    const fs::path dir = Folder("write_fails");
    const std::string clip = test::MakeClip("safety_big.avi", 160, 120, 12, "-c:v mjpeg");
    const std::string gif = (dir / "big.gif").string();
    std::string log;
    ASSERT_EQ(RunCli("avi2gif " + Quote(clip) + " " + Quote(gif) + " --quiet", &log), 0) << log;
    const std::string out = (dir / "out.avi").string();
    EXPECT_EQ(test::RunCommand("trap '' XFSZ; ulimit -f 64; " + std::string(FRAMOLO_CLI_PATH) +
                                   " gif2avi " + Quote(gif) + " " + Quote(out) + " 2>&1",
                               &log),
              1);
    EXPECT_NE(log.find("Failed to add frame to AVI: File too large"), std::string::npos) << log;
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"big.gif"});
}

// A run that runs out of memory says so in words, not in the allocator's:
// an address-space limit refuses the first picture of a 16000 x 16000 GIF.
TEST(CliSafety, RunningOutOfMemorySaysSoInWords) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers reserve more address space than the limit allows";
#endif
    const std::string clip = test::MakeClip("safety_clip.avi", 24, 16, 3, "-c:v mjpeg");
    const std::string out = (Folder("memory") / "big.gif").string();
    std::string log;
    EXPECT_EQ(test::RunCommand("ulimit -v 800000; timeout 60 " + std::string(FRAMOLO_CLI_PATH) +
                                   " avi2gif " + Quote(clip) + " " + Quote(out) +
                                   " --width 16000 --height 16000 --threads 1 --quiet 2>&1",
                               &log),
              1);
    EXPECT_EQ(log, "framolo-cli: Not enough memory to hold the GIF: try a smaller size or range\n");
    EXPECT_FALSE(fs::exists(out));
}

} // namespace
} // namespace framolo
