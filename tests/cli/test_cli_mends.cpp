// framolo-cli as a user meets it on bad days: outputs that are links, pipes or
// unwritable places, signals at any moment, values a GIF cannot hold, clips
// cut short and GIFs with oddities.
#include "cli/signal_cleanup.h"
#include "cli_test_util.h"
#include "clip_tools.h"
#include "gif/gif_document.h"
#include "platform/avifile/avifile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace framolo {
namespace {

namespace fs = std::filesystem;

using test::Quote;
using test::RunCli;

// A fresh folder of its own for each test.
fs::path Folder(const std::string& name) {
    return test::FreshFolder("mends_" + name);
}

// Files a run left in a folder other than the ones it was meant to.
std::vector<std::string> Leftovers(const fs::path& dir, const std::set<std::string>& expected) {
    std::vector<std::string> extra;
    for (const auto& entry : fs::directory_iterator(dir))
        if (expected.count(entry.path().filename().string()) == 0)
            extra.push_back(entry.path().filename().string());
    return extra;
}

int GifFrameCount(const std::string& path) {
    TGIFDocument doc;
    doc.LoadFromFile(path);
    return doc.Frames().Count();
}

std::string SmallClip() {
    return test::MakeClip("mends_small.avi", 24, 16, 3, "-c:v mjpeg", "25");
}

// ---- Output paths ----

TEST(CliOutputPaths, ALinkIsWrittenThroughAndStaysALink) {
    const fs::path dir = Folder("link");
    fs::create_directories(dir / "real");
    std::ofstream(dir / "real" / "result.gif") << "old";
    fs::create_symlink("real/result.gif", dir / "out.gif");
    fs::create_symlink("real/new.gif", dir / "dangling.gif");

    std::string log;
    ASSERT_EQ(
        RunCli("avi2gif " + Quote(SmallClip()) + " " + Quote((dir / "out.gif").string()), &log), 0)
        << log;
    EXPECT_TRUE(fs::is_symlink(dir / "out.gif"));
    EXPECT_EQ(GifFrameCount((dir / "real" / "result.gif").string()), 3);

    // A link to a file not yet there makes that file.
    ASSERT_EQ(RunCli("avi2gif " + Quote(SmallClip()) + " " + Quote((dir / "dangling.gif").string()),
                     &log),
              0)
        << log;
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.gif"));
    EXPECT_EQ(GifFrameCount((dir / "real" / "new.gif").string()), 3);
    EXPECT_EQ(Leftovers(dir, {"real", "out.gif", "dangling.gif"}), std::vector<std::string>{});
    EXPECT_EQ(Leftovers(dir / "real", {"result.gif", "new.gif"}), std::vector<std::string>{});
}

TEST(CliOutputPaths, APipeIsWrittenInPlaceNotReplaced) {
    const fs::path dir = Folder("pipe");
    const fs::path pipe = dir / "out.gif";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const fs::path copy = dir / "copy.gif";
    std::string log;
    const int status =
        test::RunCommand("(timeout 60 cat " + Quote(pipe.string()) + " > " + Quote(copy.string()) +
                             " &) ; " + FRAMOLO_CLI_PATH + " avi2gif " + Quote(SmallClip()) + " " +
                             Quote(pipe.string()) + " 2>&1; s=$?; sleep 0.2; exit $s",
                         &log);
    EXPECT_EQ(status, 0) << log;
    EXPECT_EQ(fs::status(pipe).type(), fs::file_type::fifo);
    EXPECT_EQ(GifFrameCount(copy.string()), 3);
    EXPECT_EQ(Leftovers(dir, {"out.gif", "copy.gif"}), std::vector<std::string>{});
}

TEST(CliOutputPaths, AReplacedFileKeepsItsPermissions) {
    const fs::path dir = Folder("mode");
    const fs::path out = dir / "out.gif";
    std::ofstream(out) << "old";
    ASSERT_EQ(chmod(out.c_str(), 0640), 0);
    std::string log;
    ASSERT_EQ(RunCli("avi2gif " + Quote(SmallClip()) + " " + Quote(out.string()), &log), 0) << log;
    EXPECT_EQ(fs::status(out).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(GifFrameCount(out.string()), 3);
    EXPECT_EQ(Leftovers(dir, {"out.gif"}), std::vector<std::string>{});
}

TEST(CliOutputPaths, AnUnwritableOutputIsNamedBeforeAnyWork) {
    const fs::path dir = Folder("unwritable");
    std::ofstream(dir / "file") << "x";
    fs::create_directories(dir / "folder.gif");
    struct TCase {
        fs::path Output;
        const char* Reason;
    };
    const std::vector<TCase> cases = {
        {dir / "missing" / "out.gif", "No such file or directory"},
        {dir / "folder.gif", "Is a directory"},
        {dir / "file" / "out.gif", "Not a directory"},
    };
    // The input does not exist either: had the clip been opened first, its
    // error would show.
    const std::string input = Quote((dir / "no_such_clip.avi").string());
    for (const TCase& c : cases) {
        std::string log;
        EXPECT_EQ(RunCli("avi2gif " + input + " " + Quote(c.Output.string()), &log), 1) << log;
        EXPECT_NE(log.find("Cannot write \"" + c.Output.string() + "\": " + c.Reason),
                  std::string::npos)
            << log;
        EXPECT_EQ(log.find("Failed to open AVI file"), std::string::npos) << log;
        EXPECT_EQ(log.find(".part"), std::string::npos) << log;
    }
    if (geteuid() != 0) {
        fs::create_directories(dir / "readonly");
        fs::permissions(dir / "readonly", fs::perms::owner_read | fs::perms::owner_exec);
        std::string log;
        EXPECT_EQ(
            RunCli("avi2gif " + input + " " + Quote((dir / "readonly" / "x.gif").string()), &log),
            1);
        EXPECT_NE(log.find("Permission denied"), std::string::npos) << log;
        fs::permissions(dir / "readonly", fs::perms::owner_all);
    }
    EXPECT_EQ(Leftovers(dir, {"file", "folder.gif"}), std::vector<std::string>{});
}

// ---- Signals ----

// A clip long enough that a run is still converting when the signal comes.
std::string LongClip() {
    return test::MakeClip("mends_long.avi", 160, 120, 400, "-c:v mjpeg", "25");
}

TEST(CliSignals, EachEndingSignalDuringARunLeavesNothingAndExitsNonZero) {
    for (const char* signal : {"INT", "TERM", "HUP"}) {
        const fs::path dir = Folder(std::string("signal_") + signal);
        const fs::path out = dir / "out.gif";
        // The temporary file is open from before the first frame: once the
        // process holds a file in the folder, the run is under way. Holding
        // the process still while the signal is sent makes the moment certain.
        const std::string script = std::string(FRAMOLO_CLI_PATH) + " avi2gif " + Quote(LongClip()) +
                                   " " + Quote(out.string()) +
                                   " --reduction quantize >/dev/null 2>&1 & pid=$!; " +
                                   test::WaitForFileIn(dir.string()) + "kill -STOP $pid; kill -" +
                                   signal + " $pid; kill -CONT $pid; wait $pid; echo $?";
        std::string log;
        ASSERT_EQ(test::RunCommand(script, &log), 0);
        EXPECT_NE(std::stoi(log), 0) << signal;
        EXPECT_EQ(Leftovers(dir, {}), std::vector<std::string>{}) << signal;
    }
}

// gif2avi writes beside its name too: a signal during the run leaves an earlier
// file of that name as it was and no temporary file, for AVI and MP4 alike.
TEST(CliSignals, ASignalDuringGifToVideoKeepsTheEarlierFile) {
    const std::string gif = test::WorkPath("mends_long.gif");
    std::string log;
    ASSERT_EQ(RunCli("avi2gif " + Quote(LongClip()) + " " + Quote(gif) + " --quiet", &log), 0)
        << log;
    for (const char* name : {"out.avi", "out.mp4"}) {
        const fs::path dir = Folder(std::string("gif2avi_signal_") + name);
        const fs::path out = dir / name;
        std::ofstream(out) << "earlier";
        const std::string script =
            std::string(FRAMOLO_CLI_PATH) + " gif2avi " + Quote(gif) + " " + Quote(out.string()) +
            " >/dev/null 2>&1 & pid=$!; " + test::WaitForFileIn(dir.string()) +
            "kill -STOP $pid; kill -INT $pid; kill -CONT $pid; wait $pid; echo $?";
        ASSERT_EQ(test::RunCommand(script, &log), 0);
        EXPECT_NE(std::stoi(log), 0) << name;
        EXPECT_EQ(Leftovers(dir, {name}), std::vector<std::string>{}) << name;
        std::ifstream in(out);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "earlier") << name;
    }
}

// The same rules in one process, at the moments a test cannot time from
// outside: after the conversion (measuring and saving), and a second signal
// while a stop is pending.
TEST(CliSignals, OutsideTheStoppableStageASignalEndsAtOnceAndRemovesTheTemporaryFile) {
    for (const bool stoppable : {false, true}) {
        const fs::path dir = Folder(stoppable ? "signal_twice" : "signal_saving");
        const fs::path out = dir / "out.gif";
        std::fflush(nullptr);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            InstallSignalCleanup();
            TOutputFile output(out.string());
            std::ofstream(output.WritePath()) << "half a GIF";
            SetStoppable(stoppable);
            raise(SIGTERM);
            // Only a stoppable stage gets here, with the stop asked for.
            if (!StopSignalled())
                _exit(3);
            raise(SIGTERM);
            _exit(4);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), SIGTERM);
        EXPECT_EQ(Leftovers(dir, {}), std::vector<std::string>{});
    }
}

// ---- Option ranges ----

TEST(CliOptionRanges, ValuesAGifCannotHoldAreRefusedBeforeStarting) {
    const std::string input = Quote(test::WorkPath("mends_no_such_clip.avi"));
    const std::string out = Quote(test::WorkPath("mends_range.gif"));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"--loop 70000", "--loop must be between 0 and 65535, not 70000"},
        {"--loop 65536", "--loop must be between 0 and 65535, not 65536"},
        {"--delay 1000000", "--delay must be between 0 and 655350, not 1000000"},
        {"--delay 655351", "--delay must be between 0 and 655350, not 655351"},
        {"--width 70000", "--width must be between 1 and 65535, not 70000"},
        {"--width 0", "--width must be between 1 and 65535, not 0"},
        {"--height 65536", "--height must be between 1 and 65535, not 65536"},
    };
    for (const auto& [option, message] : cases) {
        std::string log;
        EXPECT_EQ(RunCli("avi2gif " + input + " " + out + " " + option, &log), 2) << option;
        EXPECT_NE(log.find(message), std::string::npos) << log;
        EXPECT_EQ(log.find("Failed to open AVI file"), std::string::npos) << log;
    }
}

TEST(CliOptionRanges, TheLargestValuesAreKeptExactly) {
    const std::string out = test::WorkPath("mends_largest.gif");
    std::string log;
    ASSERT_EQ(RunCli("avi2gif " + Quote(SmallClip()) + " " + Quote(out) +
                         " --loop 65535 --delay 655350 --quiet",
                     &log),
              0)
        << log;
    ASSERT_EQ(RunCli("info " + Quote(out), &log), 0);
    EXPECT_NE(log.find("loop count: 65535"), std::string::npos) << log;
    EXPECT_NE(log.find("delay 65535,"), std::string::npos) << log;
}

// ---- What a failed run prints ----

TEST(CliFailures, AFailedRunPrintsNoReportAndSaysWhyTheClipDidNotOpen) {
    const fs::path dir = Folder("failures");
    const std::string out = Quote((dir / "out.gif").string());
    std::string log;
    EXPECT_EQ(RunCli("avi2gif " + Quote((dir / "nope.avi").string()) + " " + out, &log), 1);
    EXPECT_NE(log.find("Failed to open AVI file: No such file or directory"), std::string::npos)
        << log;
    EXPECT_EQ(log.find("frames:"), std::string::npos) << log;
    EXPECT_EQ(log.find("width:"), std::string::npos) << log;

    fs::create_directories(dir / "folder.avi");
    EXPECT_EQ(RunCli("avi2gif " + Quote((dir / "folder.avi").string()) + " " + out, &log), 1);
    EXPECT_NE(log.find("Failed to open AVI file: Is a directory"), std::string::npos) << log;
    EXPECT_EQ(log.find("frames:"), std::string::npos) << log;
    EXPECT_EQ(Leftovers(dir, {"folder.avi"}), std::vector<std::string>{});
}

// ---- Clips cut short ----

// A clip whose end (its last frames and the index) never reached the file:
// cut just before the chunk of frame 10.
std::string CutClip(int* framesLeft) {
    const std::string clip = test::MakeClip("mends_cut_src.avi", 48, 32, 20, "-c:v mjpeg", "25");
    auto bytes = test::ReadFileBytes(clip);
    const std::string movi = "movi";
    const std::string chunk = "00dc";
    auto at = std::search(bytes.begin(), bytes.end(), movi.begin(), movi.end());
    for (int i = 0; i <= 10 && at != bytes.end(); ++i)
        at = std::search(at + 4, bytes.end(), chunk.begin(), chunk.end());
    EXPECT_NE(at, bytes.end());
    bytes.erase(at, bytes.end());
    const std::string cut = test::WorkPath("mends_cut.avi");
    std::ofstream(cut, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    std::string log;
    // ffprobe counts the frames that are really there.
    test::RunCommand("ffprobe -v error -count_packets -select_streams v:0 -show_entries "
                     "stream=nb_read_packets -of csv=p=0 '" +
                         cut + "'",
                     &log);
    *framesLeft = std::stoi(log);
    EXPECT_EQ(*framesLeft, 10);
    return cut;
}

TEST(CliShortClips, DefaultsEndAtTheLastFrameTheFileHolds) {
    int left = 0;
    const std::string cut = CutClip(&left);
    ASSERT_GT(left, 2);
    ASSERT_LT(left, 20);
    std::string log;
    ASSERT_EQ(RunCli("info " + Quote(cut), &log), 0) << log;
    EXPECT_NE(log.find("length 20,"), std::string::npos) << log;
    EXPECT_NE(log.find("frames in file " + std::to_string(left)), std::string::npos) << log;

    const std::string out = test::WorkPath("mends_cut.gif");
    ASSERT_EQ(RunCli("avi2gif " + Quote(cut) + " " + Quote(out), &log), 0) << log;
    EXPECT_NE(log.find("frames: " + std::to_string(left)), std::string::npos) << log;
    EXPECT_EQ(GifFrameCount(out), left);
}

TEST(CliShortClips, AnExplicitRangePastTheCutNamesTheLastFrame) {
    int left = 0;
    const std::string cut = CutClip(&left);
    const std::string out = test::WorkPath("mends_cut_range.gif");
    std::remove(out.c_str());
    std::string log;
    EXPECT_EQ(RunCli("avi2gif " + Quote(cut) + " " + Quote(out) + " --end 19", &log), 1);
    EXPECT_NE(log.find("--end 19 runs past frame " + std::to_string(left - 1)), std::string::npos)
        << log;
    EXPECT_FALSE(fs::exists(out));
    // A range inside what the file holds converts.
    EXPECT_EQ(RunCli("avi2gif " + Quote(cut) + " " + Quote(out) + " --end " +
                         std::to_string(left - 1) + " --quiet",
                     &log),
              0)
        << log;
}

TEST(CliShortClips, ADroppedFrameInAWholeClipCountsAsPresent) {
    // Sample 2 is skipped: the writer leaves an empty chunk in its place.
    const fs::path dir = Folder("dropped");
    const std::string clip = (dir / "dropped.avi").string();
    {
        TAVIStreamInfo info;
        info.fccType = streamtypeVIDEO;
        info.dwScale = 1;
        info.dwRate = 25;
        info.rcFrame = TRect{0, 0, 4, 4};
        std::vector<std::uint8_t> format(40 + 1024, 0);
        TBitmapInfoHeader h;
        h.biSize = 40;
        h.biWidth = 4;
        h.biHeight = 4;
        h.biPlanes = 1;
        h.biBitCount = 8;
        h.biSizeImage = 16;
        std::memcpy(format.data(), &h, sizeof(h));
        for (int c = 0; c < 256; ++c)
            std::memset(format.data() + 40 + 4 * c, c, 3);
        PAVIFile file = nullptr;
        PAVIStream stream = nullptr;
        ASSERT_EQ(AVIFileOpen(file, clip, OF_CREATE | OF_WRITE | OF_SHARE_EXCLUSIVE), 0);
        ASSERT_EQ(AVIFileCreateStream(file, stream, info), 0);
        ASSERT_EQ(
            AVIStreamSetFormat(stream, 0, format.data(), static_cast<std::int32_t>(format.size())),
            0);
        for (const int sample : {0, 1, 3}) {
            std::vector<std::uint8_t> pixels(16, static_cast<std::uint8_t>(sample * 60));
            ASSERT_EQ(AVIStreamWrite(stream, sample, 1, pixels.data(), 16, AVIIF_KEYFRAME, nullptr,
                                     nullptr),
                      0);
        }
        EXPECT_EQ(AVIFileFinish(file), 0);
        AVIStreamRelease(stream);
        AVIFileRelease(file);
    }
    std::string log;
    ASSERT_EQ(RunCli("info " + Quote(clip), &log), 0) << log;
    EXPECT_NE(log.find("length 4,"), std::string::npos) << log;
    EXPECT_EQ(log.find("frames in file"), std::string::npos) << log;
    const std::string out = (dir / "back.gif").string();
    ASSERT_EQ(RunCli("avi2gif " + Quote(clip) + " " + Quote(out), &log), 0) << log;
    EXPECT_EQ(GifFrameCount(out), 4);

    // Cut after its last frame's chunk (the index lost), the empty chunk
    // still counts: all four frames are in the file.
    auto bytes = test::ReadFileBytes(clip);
    const std::string idx1 = "idx1";
    const auto at = std::search(bytes.begin(), bytes.end(), idx1.begin(), idx1.end());
    ASSERT_NE(at, bytes.end());
    bytes.erase(at, bytes.end());
    const std::string cut = (dir / "cut.avi").string();
    std::ofstream(cut, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    ASSERT_EQ(RunCli("avi2gif " + Quote(cut) + " " + Quote(out), &log), 0) << log;
    EXPECT_EQ(GifFrameCount(out), 4);
}

// Found by fuzzing: a header that starts the stream past the largest frame
// number made the default end frame overflow (undefined behaviour, then an
// empty document). No frame of such a stream has a number the calls can
// take, so the run now fails in order at its first frame.
TEST(CliShortClips, AStreamStartingPastTheLargestFrameNumberFailsInOrder) {
    auto bytes = test::ReadFileBytes(SmallClip());
    const std::string strh = "strh";
    const auto at = std::search(bytes.begin(), bytes.end(), strh.begin(), strh.end());
    ASSERT_NE(at, bytes.end());
    // dwStart, 28 bytes into the stream header's data.
    std::fill_n(at + 8 + 28, 4, std::uint8_t{0xFF});
    const std::string clip = test::WorkPath("mends_late_start.avi");
    std::ofstream(clip, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    std::string log;
    EXPECT_EQ(RunCli("avi2gif " + Quote(clip) + " " + Quote(test::WorkPath("late.gif")), &log), 1);
    EXPECT_NE(log.find("Failed to decompress AVI frame"), std::string::npos) << log;
    EXPECT_EQ(RunCli("info --frame-hashes " + Quote(clip), &log), 1);
    EXPECT_NE(log.find("Failed to decompress AVI frame"), std::string::npos) << log;
}

// A header's claims about its frames, against the three frames SmallClip
// holds: the index counts them. The field sits `at` bytes into the stream
// header's data (dwStart 28, dwLength 32). Runs are bounded in time and file
// size: a converter that trusted a claim of 2^31 frames would write forever.
TEST(CliShortClips, TheFramesTheIndexHoldsAreTheFramesConverted) {
    const fs::path dir = Folder("claims");
    struct TCase {
        const char* Name;
        int At;
        std::uint32_t Value;
        const char* Says; // what avi2gif and info say, the frames converted
    };
    const TCase cases[] = {
        {"zero", 32, 0, "frames: 3"},
        {"thousand", 32, 1000, "frames: 3"},
        {"two_billion", 32, 0x80000000u, "frames: 3"},
        {"late_start", 28, 0x7FFFFFFEu,
         "Failed to open AVI file: the clip's frame numbers are too large"},
    };
    const auto source = test::ReadFileBytes(SmallClip());
    const std::string strh = "strh";
    const auto strhAt = std::search(source.begin(), source.end(), strh.begin(), strh.end());
    ASSERT_NE(strhAt, source.end());
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        auto bytes = source;
        const auto field = (strhAt - source.begin()) + 8 + c.At;
        for (int b = 0; b < 4; ++b)
            bytes[static_cast<std::size_t>(field + b)] =
                static_cast<std::uint8_t>(c.Value >> (8 * b));
        const std::string clip = (dir / (std::string(c.Name) + ".avi")).string();
        std::ofstream(clip, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        const std::string out = (dir / (std::string(c.Name) + ".gif")).string();
        const bool opens = c.At == 32;
        std::string log;
        EXPECT_EQ(test::RunCommand("ulimit -f 20000; timeout 20 " + std::string(FRAMOLO_CLI_PATH) +
                                       " avi2gif " + Quote(clip) + " " + Quote(out) + " 2>&1",
                                   &log),
                  opens ? 0 : 1);
        EXPECT_NE(log.find(c.Says), std::string::npos) << log;
        EXPECT_EQ(opens ? GifFrameCount(out) : -1, opens ? 3 : -1);
        EXPECT_EQ(RunCli("info " + Quote(clip), &log), opens ? 0 : 1);
        EXPECT_NE(log.find(opens ? "length 3," : c.Says), std::string::npos) << log;
        EXPECT_EQ(log.find("frames in file"), std::string::npos) << log;
    }
}

// ---- GIF oddities ----

TEST(CliGifOddities, WarningsOfATruncatedGifReachTheUserOnceEach) {
    const fs::path dir = Folder("truncated");
    const std::string whole = (dir / "whole.gif").string();
    ASSERT_EQ(test::RunCommand("ffmpeg -v error -y -f lavfi -i testsrc2=size=32x24:rate=10 "
                               "-frames:v 4 '" +
                               whole + "' 2>&1"),
              0);
    auto bytes = test::ReadFileBytes(whole);
    bytes.resize(bytes.size() - 40);
    const std::string cut = (dir / "cut.gif").string();
    std::ofstream(cut, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    std::string log;
    ASSERT_EQ(RunCli("gif2avi " + Quote(cut) + " " + Quote((dir / "cut.avi").string()), &log), 0)
        << log;
    const std::string warning = "framolo-cli: warning: Premature end of data";
    const auto first = log.find(warning);
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(warning, first + 1), std::string::npos) << log;
    // A whole GIF has nothing to warn about.
    ASSERT_EQ(RunCli("gif2avi " + Quote(whole) + " " + Quote((dir / "whole.avi").string()), &log),
              0);
    EXPECT_EQ(log.find("warning"), std::string::npos) << log;
}

} // namespace
} // namespace framolo
