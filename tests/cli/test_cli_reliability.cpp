// framolo-cli where a careless run could cost a user a file or the machine
// its memory: output names of the wrong kind, size searches at the edges of
// their numbers, pipes, and messages that must say why.
#include "cli_test_util.h"
#include "clip_tools.h"
#include "gif/gif_document.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

namespace framolo {
namespace {

namespace fs = std::filesystem;

using test::Quote;
using test::RunCli;

fs::path Folder(const std::string& name) {
    return test::FreshFolder("reliability_" + name);
}

// A small GIF made by the tool itself.
std::string SmallGif(const fs::path& dir) {
    const std::string clip = test::MakeClip("reliability_clip.avi", 24, 16, 3, "-c:v mjpeg");
    const std::string gif = (dir / "in.gif").string();
    EXPECT_EQ(RunCli("avi2gif " + Quote(clip) + " " + Quote(gif) + " --quiet"), 0);
    return gif;
}

TEST(CliReliability, AClipNamedOfAnotherKindIsRefusedAndNoFileIsReplaced) {
    const fs::path dir = Folder("kinds");
    const std::string gif = SmallGif(dir);
    for (const char* name : {"clip.avi", "b.avi"})
        std::ofstream(dir / name) << "unrelated";
    struct TCase {
        const char* Output;
        const char* Options;
        const char* Message;
    };
    const TCase cases[] = {
        {"clip.mkv", "", "end it in .avi (uncompressed AVI), .mp4 (H.264) or .webm (VP9)"},
        {"clip", "", "names no kind of clip"},
        {"clip.MOV", " --force", "names no kind of clip"},
        {"b.gif", " --force", "would be written as "},
    };
    for (const TCase& c : cases) {
        std::string log;
        EXPECT_EQ(
            RunCli("gif2video " + Quote(gif) + " " + Quote((dir / c.Output).string()) + c.Options,
                   &log),
            2)
            << c.Output;
        EXPECT_NE(log.find(c.Message), std::string::npos) << log;
    }
    for (const char* name : {"clip.avi", "b.avi"})
        EXPECT_EQ(test::ReadFileBytes((dir / name).string()),
                  (std::vector<std::uint8_t>{'u', 'n', 'r', 'e', 'l', 'a', 't', 'e', 'd'}));
    EXPECT_FALSE(fs::exists(dir / "clip.mkv"));
}

TEST(CliReliability, AFailureToCreateTheOutputSaysWhatAndWhy) {
    const fs::path dir = Folder("messages");
    const std::string gif = SmallGif(dir);
    const std::string missing = (dir / "missing").string();
    struct TCase {
        std::string Args;
        int Status;
        std::string Message;
    };
    const TCase cases[] = {
        {"gif2video " + Quote(gif) + " ''", 2, "OUTPUT is an empty name"},
        {"avi2gif " + Quote(gif) + " ''", 2, "OUTPUT is an empty name"},
        {"info ''", 2, "FILE is an empty name"},
        {"gif2video " + Quote(gif) + " " + Quote(missing + "/x.mp4"), 1,
         "Failed to create MP4 file: Cannot write \"" + missing +
             "/x.mp4\": No such file or directory"},
        {"gif2video " + Quote(gif) + " " + Quote(missing + "/x.webm"), 1,
         "Failed to create WebM file: Cannot write"},
    };
    for (const TCase& c : cases) {
        std::string log;
        EXPECT_EQ(RunCli(c.Args, &log), c.Status) << c.Args;
        EXPECT_NE(log.find("framolo-cli: " + c.Message), std::string::npos) << log;
    }
}

TEST(CliReliability, JsonNamesEveryByteAndGivesFailuresAsJson) {
    const fs::path dir = Folder("json");
    const std::string gif = SmallGif(dir);
    // Python reads the standard output as one JSON object and prints a field.
    const auto field = [](const std::string& args, const std::string& expression,
                          std::string* out) {
        return test::RunCommand(std::string(FRAMOLO_CLI_PATH) + " " + args +
                                    " --json 2>/dev/null | python3 -c 'import json,sys; "
                                    "o=json.loads(sys.stdin.read()); print(" +
                                    expression + ")'",
                                out);
    };
    std::string out;
    const std::string name = "clip\xff\xfe.avi";
    ASSERT_EQ(field("gif2video " + Quote(gif) + " " + Quote((dir / name).string()),
                    "bytes.fromhex(o[\"output_hex\"]).endswith(b\"clip\\xff\\xfe.avi\")", &out),
              0);
    EXPECT_EQ(out, "True\n");
    EXPECT_TRUE(fs::exists(dir / name));

    const std::pair<std::string, std::string> failures[] = {
        {"gif2video " + Quote(gif) + " " + Quote((dir / "x.mkv").string()),
         "2 OUTPUT " + (dir / "x.mkv").string() + " names no kind of clip"},
        {"avi2gif " + Quote((dir / "none.avi").string()) + " " + Quote((dir / "o.gif").string()),
         "1 Failed to open AVI file"},
        {"avi2gif " + Quote(gif) + " o.gif --step 0", "2 --step must be between 1 and "},
    };
    for (const auto& [args, expected] : failures) {
        EXPECT_EQ(field(args, "o[\"exit_status\"], o[\"error\"]", &out), 0) << args;
        EXPECT_EQ(out.rfind(expected, 0), 0u) << out;
    }
}

// Files a run left in dir besides the ones named.
std::vector<std::string> Leftovers(const fs::path& dir, const std::set<std::string>& expected) {
    std::vector<std::string> extra;
    for (const auto& entry : fs::directory_iterator(dir))
        if (expected.count(entry.path().filename().string()) == 0)
            extra.push_back(entry.path().filename().string());
    return extra;
}

TEST(CliReliability, AKilledRunLeavesNothingAndLongNamesAreWritten) {
    const std::string clip = test::MakeClip("reliability_long.avi", 160, 120, 400, "-c:v mjpeg");
    const fs::path dir = Folder("killed");
    std::ofstream(dir / "out.gif") << "earlier";
    std::string log;
    ASSERT_EQ(test::RunCommand(std::string(FRAMOLO_CLI_PATH) + " avi2gif " + Quote(clip) + " " +
                                   Quote((dir / "out.gif").string()) +
                                   " --reduction quantize >/dev/null 2>&1 & pid=$!; " +
                                   test::WaitForFileIn(dir.string()) +
                                   "kill -KILL $pid; wait $pid; echo $?",
                               &log),
              0);
    EXPECT_EQ(std::stoi(log), 128 + SIGKILL);
    EXPECT_EQ(Leftovers(dir, {"out.gif"}), std::vector<std::string>{});
    EXPECT_EQ(test::ReadFileBytes((dir / "out.gif").string()),
              (std::vector<std::uint8_t>{'e', 'a', 'r', 'l', 'i', 'e', 'r'}));

    // The longest names a folder takes, new or replaced.
    const std::string small = test::MakeClip("reliability_clip.avi", 24, 16, 3, "-c:v mjpeg");
    for (const std::size_t length : {243u, 251u, 255u}) {
        const fs::path out = dir / (std::string(length - 4, 'n') + ".gif");
        for (int run = 0; run < 2; ++run)
            EXPECT_EQ(
                RunCli("avi2gif " + Quote(small) + " " + Quote(out.string()) + " --quiet", &log), 0)
                << length << log;
        EXPECT_TRUE(fs::exists(out)) << length;
        fs::remove(out);
    }
    EXPECT_EQ(Leftovers(dir, {"out.gif"}), std::vector<std::string>{});
}

TEST(CliReliability, TheStandardOutputTakesTheGifAndTheReportGoesToTheErrors) {
    const fs::path dir = Folder("stdout");
    const std::string clip = test::MakeClip("reliability_clip.avi", 24, 16, 3, "-c:v mjpeg");
    std::string log;
    EXPECT_EQ(test::RunCommand("{ " + std::string(FRAMOLO_CLI_PATH) + " avi2gif " + Quote(clip) +
                                   " /dev/stdout 2>" + Quote((dir / "log").string()) +
                                   "; echo $? >" + Quote((dir / "status").string()) +
                                   "; } | cat >" + Quote((dir / "copy.gif").string()),
                               &log),
              0);
    EXPECT_EQ(test::ReadFileBytes((dir / "status").string()),
              (std::vector<std::uint8_t>{'0', '\n'}));
    const auto gif = test::ReadFileBytes((dir / "copy.gif").string());
    ASSERT_GT(gif.size(), 6u);
    EXPECT_EQ(std::string(gif.begin(), gif.begin() + 6), "GIF89a");
    EXPECT_EQ(gif.back(), 0x3B); // the trailer ends it: no report after it
    const auto report = test::ReadFileBytes((dir / "log").string());
    EXPECT_NE(std::string(report.begin(), report.end()).find("/dev/stdout"), std::string::npos);
}

// Sets the little-endian 32-bit words at offset `at` of the chunk `id`.
void PatchChunk(std::vector<std::uint8_t>& file, const std::string& id, std::size_t at,
                std::initializer_list<std::uint32_t> words) {
    const auto chunk = std::search(file.begin(), file.end(), id.begin(), id.end());
    ASSERT_NE(chunk, file.end()) << id;
    auto* p = &*chunk + 8 + at;
    for (const std::uint32_t w : words) {
        for (int b = 0; b < 4; ++b)
            *p++ = static_cast<std::uint8_t>(w >> (8 * b));
    }
}

TEST(CliReliability, MemoryFollowsThePicturesDecodedNotTheHeadersClaims) {
    const fs::path dir = Folder("claims");
    // 32 x 32 pictures under a header that claims 16384 x 16384.
    auto clip = test::ReadFileBytes(test::MakeClip("reliability_32.avi", 32, 32, 4, "-c:v mjpeg"));
    PatchChunk(clip, "avih", 32, {16384, 16384});
    PatchChunk(clip, "strf", 4, {16384, 16384});
    const std::string claims = (dir / "claims.avi").string();
    std::ofstream(claims, std::ios::binary)
        .write(reinterpret_cast<const char*>(clip.data()),
               static_cast<std::streamsize>(clip.size()));
    const std::string gif = (dir / "o.gif").string();
    struct TCase {
        std::string Options;
        int Status;
        const char* Message;
    };
    const TCase cases[] = {
        {"", 0, "header gives its pictures as 16384x16384, but they are 32x32"},
        {" --estimate", 0, "About "},
        {" --max-size 1M", 0, "but they are 32x32"},
        {" --width 6000 --height 6000", 1, "more than the frame memory budget of 768 MB"},
    };
    // Held to 2 GB of address space: a run that believed the header would
    // fail. The sanitizers reserve more than that for themselves, so under
    // them only what the runs say is checked.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    const std::string limit;
#else
    const std::string limit = "ulimit -v 2000000; ";
#endif
    for (const TCase& c : cases) {
        std::string log;
        EXPECT_EQ(test::RunCommand(limit + std::string(FRAMOLO_CLI_PATH) + " avi2gif " +
                                       Quote(claims) + " " + Quote(gif) + c.Options + " 2>&1",
                                   &log),
                  c.Status)
            << c.Options << log;
        EXPECT_NE(log.find(c.Message), std::string::npos) << c.Options << log;
    }
    const auto written = test::ReadFileBytes(gif);
    ASSERT_GT(written.size(), 10u);
    EXPECT_EQ(written[6] | written[7] << 8, 32);
    EXPECT_EQ(written[8] | written[9] << 8, 32);

    // A 42-byte GIF whose one frame of 16000 x 16000 pixels has a single
    // pixel of data: the frame and the screen the clip is composited on pass
    // the clip memory budget together, and nothing is written.
    std::vector<std::uint8_t> huge = {'G',  'I', 'F', '8', '9', 'a', 0x80, 0x3E, 0x80, 0x3E,
                                      0x80, 0,   0,   0,   0,   0,   255,  255,  255};
    huge.insert(huge.end(),
                {0x2C, 0, 0, 0, 0, 0x80, 0x3E, 0x80, 0x3E, 0, 2, 2, 0x44, 0x01, 0, 0x3B});
    const std::string hugeGif = (dir / "huge.gif").string();
    std::ofstream(hugeGif, std::ios::binary)
        .write(reinterpret_cast<const char*>(huge.data()),
               static_cast<std::streamsize>(huge.size()));
    for (const char* clipName : {"huge.avi", "huge.webm"}) {
        std::string log;
        EXPECT_EQ(RunCli("gif2video " + Quote(hugeGif) + " " + Quote((dir / clipName).string()) +
                             " --quiet",
                         &log),
                  1);
        EXPECT_NE(log.find("(its frames hold 256000000 pixels, its screen is 16000x16000), more "
                           "than the clip memory budget of 900 MB"),
                  std::string::npos)
            << log;
        EXPECT_FALSE(fs::exists(dir / clipName));
    }
}

TEST(CliReliability, HeaderValuesAGifCannotTakeAreClampedOrRefusedWithTheirValues) {
    const fs::path dir = Folder("header_values");
    const auto clip =
        test::ReadFileBytes(test::MakeClip("reliability_32.avi", 32, 32, 4, "-c:v mjpeg"));
    struct TCase {
        const char* Name;
        std::uint32_t Scale, Rate; // the stream header's
        int Delay;                 // in hundredths; -1: refused
        const char* Message;
    };
    const TCase cases[] = {
        {"period.avi", 70000, 100, 65535, "a frame every 700.00 s, longer than a GIF's longest"},
        {"scale.avi", 0xFFFFFFFFu, 1, 65535, "each frame shows 655.35 s"},
        {"wide.avi", 0, 0, -1, "the clip's pictures are 40000x16, more than framolo-cli decodes"},
    };
    for (const TCase& c : cases) {
        const std::string input = (dir / c.Name).string();
        if (c.Delay < 0) {
            fs::copy_file(test::MakeClip("reliability_40000.avi", 40000, 16, 1, "-c:v mjpeg"),
                          input);
        } else {
            auto bytes = clip;
            PatchChunk(bytes, "strh", 20, {c.Scale, c.Rate});
            std::ofstream(input, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
        }
        const std::string gif = (dir / "out.gif").string();
        std::string log;
        EXPECT_EQ(RunCli("avi2gif " + Quote(input) + " " + Quote(gif), &log), c.Delay < 0 ? 1 : 0)
            << log;
        EXPECT_NE(log.find(c.Message), std::string::npos) << log;
        if (c.Delay >= 0) {
            TGIFDocument doc;
            doc.LoadFromFile(gif);
            ASSERT_NE(doc.Frames()[0]->GraphicControl(), nullptr);
            EXPECT_EQ(doc.Frames()[0]->GraphicControl()->Delay(), c.Delay) << c.Name;
        }
    }
}

} // namespace
} // namespace framolo
