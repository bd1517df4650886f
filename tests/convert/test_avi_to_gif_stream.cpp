// The streaming road must write, byte for byte, the file the document road
// saves, whatever the number of threads.
#include "cli/gif_file_output.h"
#include "clip_tools.h"
#include "convert/avi_to_gif_job.h"
#include "convert/avi_to_gif_stream_job.h"
#include "convert/gif_frame_pipeline.h"
#include "convert/job_support.h"
#include "gif/encode/optimized_frames.h"
#include "gif/gif_document.h"
#include "giflib_util.h"
#include "scripted_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <tuple>

namespace framolo {
namespace {

using test::TScriptedHost;

// A run's settings, as the fields and lists of the window give them.
struct TRunCase {
    std::string Clip;
    std::array<std::string, 7> Fields;
    int Reduction;
    int Dither;
    bool Rle;
    bool Optimize = false;
    int Tolerance = 0;
    int Quality = 0;
};

std::string Describe(const TRunCase& c) {
    std::string s = c.Clip.substr(c.Clip.find_last_of('/') + 1) + " reduction " +
                    std::to_string(c.Reduction) + " dither " + std::to_string(c.Dither) +
                    (c.Rle ? " rle" : " lzw") +
                    (c.Optimize ? " optimised, tolerance " + std::to_string(c.Tolerance) : "") +
                    (c.Quality > 0 ? " quality " + std::to_string(c.Quality) : "") + " fields";
    for (const std::string& f : c.Fields)
        s += " " + f;
    return s;
}

TScriptedHost HostFor(const TRunCase& c) {
    TScriptedHost host;
    host.FileName = c.Clip;
    host.Fields = c.Fields;
    host.Reduction = c.Reduction;
    host.Dither = c.Dither;
    host.DataCoding = c.Rle ? 1 : 0;
    host.Optimize = c.Optimize;
    host.Tolerance = c.Tolerance;
    host.Quality = c.Quality;
    return host;
}

// What the window's job followed by a save writes; with c.Optimize, the job
// adds its frames through TOptimizedFrameAdder.
std::vector<std::uint8_t> DocumentRoad(const TRunCase& c) {
    TScriptedHost host = HostFor(c);
    const std::uint8_t saved = DefaultDataCoding;
    DefaultDataCoding = c.Rle ? 1 : 0;
    const TJobOutcome outcome = TAviToGifJob(host, host).Run();
    DefaultDataCoding = saved;
    EXPECT_EQ(outcome.End, TJobEnd::Finished) << outcome.Error;
    auto* document = dynamic_cast<TGIFDocument*>(host.Preview.get());
    if (document == nullptr)
        return {};
    // Per frame the result keeps indexes, a colour table and extensions; no
    // rendered bitmap rides along until a painter asks for one.
    for (int i = 0; i < document->Frames().Count(); ++i)
        EXPECT_EQ(document->Frames()[i]->Bitmap(), nullptr) << i;
    document->SetDataCoding(c.Rle ? 1 : 0);
    TMemoryStream out;
    document->SaveToStream(out);
    return out.TakeData();
}

std::vector<std::uint8_t> StreamRoad(const TRunCase& c, int threads,
                                     TJobOutcome* result = nullptr) {
    TScriptedHost host = HostFor(c);
    TMemoryStream out;
    TAviToGifStreamJob::TOptions options;
    options.Threads = threads;
    const TJobOutcome outcome = TAviToGifStreamJob(host, host, out, options).Run();
    EXPECT_EQ(outcome.End, TJobEnd::Finished) << outcome.Error;
    EXPECT_EQ(outcome.Bytes, out.Size());
    EXPECT_TRUE(host.Reports.empty());
    EXPECT_EQ(host.PreviewBitmaps, 0);
    if (result != nullptr)
        *result = outcome;
    return out.TakeData();
}

TEST(AviToGifStream, WritesTheDocumentRoadsBytesForEveryMethodCoderRangeAndClip) {
    const std::vector<std::string> clips = {
        test::MakeClip("stream_bgr24.avi", 40, 30, 9, "-c:v rawvideo -pix_fmt bgr24"),
        test::MakeClip("stream_pal8.avi", 40, 30, 9, "-c:v rawvideo -pix_fmt pal8"),
        test::MakeClip("stream_mpeg4.avi", 40, 30, 9, "-c:v mpeg4 -bf 2 -vtag XVID", "30000/1001"),
        test::MakeClip("stream_mjpeg.avi", 40, 30, 9, "-c:v mjpeg -q:v 4"),
    };
    // Ranges and steps, other output sizes, delays and loop counts; the
    // fields are Start, End, Step, Width, Height, Delay, Loop.
    const std::vector<std::array<std::string, 7>> fields = {
        {"0", "8", "1", "40", "30", "40", "0"},
        {"1", "8", "3", "40", "30", "125", "3"},
        {"2", "7", "2", "57", "19", "5", "70000"},
        {"4", "4", "1", "16", "48", "0", "1"},
    };
    int cases = 0;
    for (std::size_t k = 0; k < clips.size(); ++k)
        for (int reduction = 0; reduction < 8; ++reduction) {
            const TRunCase c{clips[k], fields[(k + static_cast<std::size_t>(reduction)) % 4],
                             reduction, (reduction + static_cast<int>(k)) % 7,
                             (reduction % 2) == 1};
            const std::vector<std::uint8_t> expected = DocumentRoad(c);
            ASSERT_FALSE(expected.empty()) << Describe(c);
            EXPECT_EQ(StreamRoad(c, 1), expected) << Describe(c);
            EXPECT_EQ(StreamRoad(c, 3), expected) << Describe(c);
            ++cases;
        }
    EXPECT_EQ(cases, 32);
}

TEST(AviToGifStream, OutputDoesNotDependOnThreadsAndDecodesInGiflib) {
    const TRunCase c{test::MakeClip("stream_threads.avi", 64, 48, 30, "-c:v mpeg4 -bf 2"),
                     {"0", "29", "1", "64", "48", "80", "2"},
                     6,
                     1,
                     false};
    TJobOutcome outcome;
    const std::vector<std::uint8_t> one = StreamRoad(c, 1, &outcome);
    EXPECT_EQ(outcome.FrameCount, 30);
    for (int threads : {2, 3, 4, 8, 31})
        EXPECT_EQ(StreamRoad(c, threads), one) << threads << " threads";
    EXPECT_EQ(one, DocumentRoad(c));
    const auto decoded = test::GiflibDecode(one);
    ASSERT_TRUE(decoded.Ok) << decoded.Error;
    EXPECT_EQ(decoded.Frames.size(), 30u);
    EXPECT_EQ(decoded.LoopCount, 2);
    EXPECT_EQ(decoded.Frames[29].Delay, 8);
}

// A still picture under a small moving pattern: a shared palette lasts, and
// most of each frame is unchanged.
std::string MakeStillScene(const std::string& name, int frames) {
    const std::string clip = test::WorkPath(name);
    const std::string graph = "mandelbrot=s=64x48:rate=25,trim=end_frame=1,loop=loop=-1:size=1[bg];"
                              "testsrc2=s=16x12:rate=25[fg];[bg][fg]overlay=x='2+t*60':y=14:"
                              "shortest=1";
    std::string log;
    if (test::RunCommand("ffmpeg -hide_banner -loglevel error -y -f lavfi -i \"" + graph +
                             "\" -frames:v " + std::to_string(frames) +
                             " -c:v rawvideo -pix_fmt bgr24 '" + clip + "' 2>&1",
                         &log) != 0)
        throw std::runtime_error("ffmpeg could not make the scene: " + log);
    return clip;
}

// Runs each case through the stream road with several thread counts and
// the document road; returns how many differ from the document road in the
// one allowed way.
int CompareRoads(const std::vector<TRunCase>& cases) {
    int differing = 0;
    for (const TRunCase& c : cases) {
        const std::vector<std::uint8_t> expected = DocumentRoad(c);
        if (expected.empty()) {
            ADD_FAILURE() << "no document: " << Describe(c);
            continue;
        }
        const std::vector<std::uint8_t> one = StreamRoad(c, 1);
        for (int threads : {2, 3, 7})
            EXPECT_EQ(StreamRoad(c, threads), one) << Describe(c) << ", " << threads << " threads";
        if (one == expected)
            continue;
        // The one allowed difference: the document writer codes frames that
        // use the global table with the deepest table of the whole file, which
        // a stream cannot know in advance; the stream codes them with the
        // global table's own bits. Both files hold the same frames.
        EXPECT_TRUE(c.Optimize) << Describe(c);
        EXPECT_LT(one.size(), expected.size()) << Describe(c);
        const auto streamed = test::GiflibDecode(one);
        const auto saved = test::GiflibDecode(expected);
        if (!streamed.Ok || !saved.Ok) {
            ADD_FAILURE() << streamed.Error << saved.Error;
            continue;
        }
        EXPECT_EQ(streamed.GlobalPalette, saved.GlobalPalette);
        EXPECT_EQ(streamed.LoopCount, saved.LoopCount);
        EXPECT_EQ(streamed.Frames.size(), saved.Frames.size());
        if (streamed.Frames.size() != saved.Frames.size())
            continue;
        for (std::size_t k = 0; k < saved.Frames.size(); ++k) {
            const test::GiflibFrame& a = streamed.Frames[k];
            const test::GiflibFrame& b = saved.Frames[k];
            EXPECT_EQ(std::tie(a.Left, a.Top, a.Width, a.Height, a.HasLocalMap, a.Indexes,
                               a.Palette, a.Delay, a.Disposal, a.TransparentIndex),
                      std::tie(b.Left, b.Top, b.Width, b.Height, b.HasLocalMap, b.Indexes,
                               b.Palette, b.Delay, b.Disposal, b.TransparentIndex))
                << Describe(c) << ", frame " << k;
        }
        ++differing;
    }
    return differing;
}

TEST(AviToGifStream, QualityTuningsAreTheDocumentRoadsFramesForAnyThreads) {
    const std::string still = MakeStillScene("stream_quality_still.avi", 16);
    const std::string moving =
        test::MakeClip("stream_best_mpeg4.avi", 48, 36, 12, "-c:v mpeg4 -bf 2 -vtag XVID");
    const std::string large = test::MakeClip("stream_layers_mpeg4.avi", 512, 384, 4, "-c:v mpeg4");
    const int best = static_cast<int>(TColorReduction::BestQuality) - 1;
    // The string search and the two ordered steps, with and without dithering.
    CompareRoads({{still, {"0", "15", "1", "64", "48", "40", "0"}, best, 0, false, true, 0, 80},
                  {moving, {"0", "11", "1", "48", "36", "40", "0"}, best, 0, false, true, 0, 40},
                  {moving, {"0", "11", "1", "48", "36", "40", "0"}, best, 1, false, true, 0, 90},
                  // Below 50: a tolerance that follows how much of the frame moved.
                  {still, {"0", "15", "1", "64", "48", "40", "0"}, best, 0, false, true, 0, 20},
                  {moving, {"0", "11", "1", "48", "36", "40", "0"}, best, 0, false, true, 0, 5},
                  // Layers large enough for their palette and drawing to be split.
                  {large, {"0", "3", "1", "512", "384", "40", "0"}, best, 0, false, true, 0, 95}});
}

TEST(AviToGifStream, BestAndOptimizedFramesAreTheDocumentRoadsBytesForAnyThreads) {
    const std::string still = MakeStillScene("stream_still.avi", 16);
    const std::string moving =
        test::MakeClip("stream_best_mpeg4.avi", 48, 36, 12, "-c:v mpeg4 -bf 2 -vtag XVID");
    const int best = static_cast<int>(TColorReduction::BestQuality) - 1;
    const std::vector<TRunCase> cases = {
        {still, {"0", "15", "1", "64", "48", "40", "0"}, best, 1, false, true},
        {still, {"1", "15", "2", "64", "48", "70", "4"}, best, 0, true, true, 8},
        {still, {"0", "15", "1", "40", "30", "40", "0"}, best, 2, false, true},
        {moving, {"0", "11", "1", "48", "36", "40", "0"}, best, 1, false, true},
        {moving, {"0", "11", "1", "48", "36", "40", "0"}, best, 1, false, true, 8},
        {moving, {"0", "11", "1", "48", "36", "40", "1"}, best, 1, false, false},
        {moving, {"2", "11", "3", "30", "20", "40", "0"}, best, 6, true, false},
    };
    // The moving clip's first palette is shallower than later ones: the best
    // road's documents code the frames on the global table at its own depth,
    // as the streaming writer does, so every file is equal byte for byte.
    EXPECT_EQ(CompareRoads(cases), 0);

    // The optimised still scene: after the first frame only the pattern's
    // strip is stored, and giflib, drawing each frame over the last, shows the
    // frames the shared palette gives, pixel for pixel.
    const TRunCase c = cases[0];
    const auto small = test::GiflibDecode(StreamRoad(c, 2));
    ASSERT_TRUE(small.Ok) << small.Error;
    ASSERT_EQ(small.Frames.size(), 16u);
    EXPECT_GT(small.Frames[0].Width * small.Frames[0].Height, 64 * 48 - 1);
    for (std::size_t k = 1; k < small.Frames.size(); ++k)
        EXPECT_LE(small.Frames[k].Height, 12) << k;
    const std::vector<std::vector<std::uint8_t>> shown = test::GiflibComposite(small);
    const auto source = test::DecodeWithFfmpeg(c.Clip, 64, 48);
    ASSERT_EQ(source.size(), 16u);
    TSharedPaletteReducer reducer(64, 48, 255, TDitherMode::FloydSteinberg);
    for (std::size_t k = 0; k < source.size(); ++k) {
        const TReducedFrame& reduced = reducer.Next(source[k].data(), 64 * 3);
        std::vector<std::uint8_t> rgb;
        for (std::uint8_t i : reduced.Indices) {
            const TPaletteEntry& e = reduced.Palette[i];
            rgb.insert(rgb.end(), {e.peRed, e.peGreen, e.peBlue});
        }
        EXPECT_EQ(shown[k], rgb) << "frame " << k;
    }
}

// True when no working file of framolo-cli's is left beside path.
bool NoWorkingFilesBeside(const std::string& path) {
    const std::filesystem::path target(path);
    const std::string prefix = "." + target.filename().string() + ".";
    for (const auto& entry : std::filesystem::directory_iterator(target.parent_path())) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && name.size() > 5 && name.ends_with(".part"))
            return false;
    }
    return true;
}

// The command line's road: a temporary file beside path that takes its name
// only when the run finishes.
TJobOutcome RunToFile(TScriptedHost& host, const std::string& path,
                      const TAviToGifStreamJob::TOptions& options) {
    TOutputFile output(path);
    return ConvertAviToGifFile(host, host, output, options);
}

TEST(AviToGifStream, StopAndFailureLeaveNoFileAndNoFramesMeansTheWritersError) {
    const std::string clip = test::MakeClip("stream_stop.avi", 32, 24, 12, "-c:v mjpeg");
    const std::string path = test::WorkPath("stream_stop.gif");
    std::remove(path.c_str());
    TAviToGifStreamJob::TOptions options;
    options.Threads = 2;

    TScriptedHost stopped;
    stopped.FileName = clip;
    stopped.Set(TParamField::End, "11");
    stopped.OnPump = [&stopped](int pumps) { stopped.Stop = pumps == 5; };
    TJobOutcome outcome = RunToFile(stopped, path, options);
    EXPECT_EQ(outcome.End, TJobEnd::Stopped);
    EXPECT_FALSE(std::ifstream(path).good());
    EXPECT_TRUE(NoWorkingFilesBeside(path));
    EXPECT_TRUE(stopped.AppErrors.empty());

    // End below Start: no frame, the writer's own error, no file.
    TScriptedHost empty;
    empty.FileName = clip;
    empty.Set(TParamField::Start, "5");
    empty.Set(TParamField::End, "4");
    outcome = RunToFile(empty, path, options);
    EXPECT_EQ(outcome.End, TJobEnd::Failed);
    EXPECT_EQ(empty.AppErrors, std::vector<std::string>{gifmsg::UnsupportedVersion});
    EXPECT_FALSE(std::ifstream(path).good());

    // A frame past the clip's end fails as the window's job fails.
    TScriptedHost past;
    past.FileName = clip;
    past.Set(TParamField::End, "40");
    outcome = RunToFile(past, path, options);
    EXPECT_EQ(outcome.End, TJobEnd::Failed);
    EXPECT_EQ(past.AppErrors, std::vector<std::string>{jobmsg::FailedDecompress});
    EXPECT_FALSE(std::ifstream(path).good());
    EXPECT_TRUE(NoWorkingFilesBeside(path));

    TScriptedHost finished;
    finished.FileName = clip;
    outcome = RunToFile(finished, path, options);
    ASSERT_EQ(outcome.End, TJobEnd::Finished) << outcome.Error;
    EXPECT_EQ(static_cast<std::int64_t>(test::ReadFileBytes(path).size()), outcome.Bytes);
    EXPECT_TRUE(NoWorkingFilesBeside(path));
}

// Sleeps longer on some frames, so that workers finish out of order.
class TUnevenTransform : public TFrameTransform {
public:
    explicit TUnevenTransform(int failAt) : failAt_(failAt) {}
    void Apply(TGIFSubImage& frame, const TFrameJob& job) override {
        std::this_thread::sleep_for(std::chrono::milliseconds((job.Index * 7) % 5));
        if (job.Index == failAt_)
            throw GIFException("frame " + std::to_string(job.Index) + " refused");
        // A visible change, so that the test sees the transform ran before coding.
        frame.Pixels()[0] = static_cast<std::uint8_t>(job.Index % frame.ColorMap().Count());
    }

private:
    int failAt_;
};

TFrameJob PictureJob(int index) {
    TFrameJob job;
    job.Picture = std::make_unique<TBitmap>(8, 6, TPixelFormat::pf24bit);
    for (int y = 0; y < 6; ++y) {
        std::uint8_t* row = job.Picture->ScanLine(y);
        for (int x = 0; x < 8; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(index * 10);
            row[3 * x + 1] = static_cast<std::uint8_t>(y * 40);
            row[3 * x + 2] = static_cast<std::uint8_t>(x * 30);
        }
    }
    job.Delay = 50;
    job.Width = 8;
    job.Height = 6;
    return job;
}

TEST(GIFFramePipeline, DeliversInOrderWithABoundedNumberInFlightAndErrorsInTheirPlace) {
    TGIFFrameSettings settings;
    settings.ColorReduction = TColorReduction::Quantize;
    settings.DitherMode = TDitherMode::FloydSteinberg;
    std::vector<std::vector<std::uint8_t>> reference;
    {
        TUnevenTransform transform(-1);
        TGIFFramePipeline serial(
            settings, 1, [&](TEncodedFrame& f) { reference.push_back(f.Bytes); }, &transform);
        for (int i = 0; i < 24; ++i)
            serial.Submit(PictureJob(i));
        serial.Finish();
    }
    ASSERT_EQ(reference.size(), 24u);

    for (int threads : {2, 5}) {
        TUnevenTransform transform(-1);
        std::vector<int> order;
        int submitted = 0;
        int mostInFlight = 0;
        TGIFFramePipeline pipeline(
            settings, threads,
            [&](TEncodedFrame& f) {
                EXPECT_EQ(f.Bytes, reference[static_cast<std::size_t>(f.Index)]) << f.Index;
                order.push_back(f.Index);
            },
            &transform);
        for (int i = 0; i < 24; ++i) {
            pipeline.Submit(PictureJob(i));
            ++submitted;
            mostInFlight = std::max(mostInFlight, submitted - static_cast<int>(order.size()));
        }
        pipeline.Finish();
        ASSERT_EQ(order.size(), 24u);
        for (int i = 0; i < 24; ++i)
            EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
        EXPECT_LE(mostInFlight, 2 * threads);
    }

    // Frame 9 fails: frames 0..8 arrive, then its error, never a later frame.
    TUnevenTransform failing(9);
    std::vector<int> order;
    std::string error;
    {
        TGIFFramePipeline pipeline(
            settings, 3, [&](TEncodedFrame& f) { order.push_back(f.Index); }, &failing);
        try {
            for (int i = 0; i < 24; ++i)
                pipeline.Submit(PictureJob(i));
            pipeline.Finish();
        } catch (const GIFException& e) {
            error = e.what();
        }
    }
    EXPECT_EQ(error, "frame 9 refused");
    ASSERT_EQ(order.size(), 9u);
    EXPECT_EQ(order.back(), 8);
}

// Records the order it sees, sleeping unevenly so that a worker that took a
// later frame would run first if nothing held it back.
class TRecordingStage : public TOrderedFrameStage {
public:
    explicit TRecordingStage(int failAt) : failAt_(failAt) {}
    void Run(TFrameJob& job) override {
        {
            std::lock_guard lock(mutex_);
            if (running_)
                overlapped_ = true;
            running_ = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds((job.Index * 3) % 4));
        std::lock_guard lock(mutex_);
        running_ = false;
        seen_.push_back(job.Index);
        if (job.Index == failAt_)
            throw GIFException("frame " + std::to_string(job.Index) + " out of order");
    }
    std::vector<int> Seen() {
        std::lock_guard lock(mutex_);
        return seen_;
    }
    bool Overlapped() {
        std::lock_guard lock(mutex_);
        return overlapped_;
    }

private:
    int failAt_;
    std::mutex mutex_;
    bool running_ = false;
    bool overlapped_ = false;
    std::vector<int> seen_;
};

// Frames 0 to count - 1 through a pipeline of threads with stage: the frames
// delivered, in order, and the error that ended the run ("" when none).
struct TStageRun {
    std::vector<int> Delivered;
    std::string Error;
};
TStageRun RunThroughStage(int threads, int count, TOrderedFrameStage& stage) {
    TGIFFrameSettings settings;
    settings.ColorReduction = TColorReduction::Quantize;
    TStageRun run;
    TGIFFramePipeline pipeline(
        settings, threads, [&](TEncodedFrame& f) { run.Delivered.push_back(f.Index); }, nullptr,
        &stage);
    try {
        for (int i = 0; i < count; ++i)
            pipeline.Submit(PictureJob(i));
        pipeline.Finish();
    } catch (const GIFException& e) {
        run.Error = e.what();
    }
    return run;
}

TEST(GIFFramePipeline, AnOrderedStageSeesTheFramesOneAtATimeInOrderAndStopsAtItsFailure) {
    std::vector<int> expected(20);
    for (int i = 0; i < 20; ++i)
        expected[static_cast<std::size_t>(i)] = i;
    for (int threads : {1, 2, 5}) {
        TRecordingStage stage(-1);
        const std::vector<int> delivered = RunThroughStage(threads, 20, stage).Delivered;
        EXPECT_EQ(stage.Seen(), expected) << threads;
        EXPECT_EQ(delivered, expected) << threads;
        EXPECT_FALSE(stage.Overlapped()) << threads;
    }

    // Frame 6 fails: its error is raised after frames 0..5, and the stage is
    // never run again; the pipeline then goes without waiting forever.
    for (int threads : {1, 4}) {
        TRecordingStage stage(6);
        const auto [delivered, error] = RunThroughStage(threads, 20, stage);
        EXPECT_EQ(error, "frame 6 out of order") << threads;
        EXPECT_EQ(delivered, std::vector<int>(expected.begin(), expected.begin() + 6)) << threads;
        EXPECT_EQ(stage.Seen(), std::vector<int>(expected.begin(), expected.begin() + 7))
            << threads;
    }
}

// Two ordered steps: each sees the frames in order, a frame's second step
// follows its first, and a failure in the second step of frame 6 ends the run
// there as a one-step stage's would.
class TTwoStepStage : public TOrderedFrameStage {
public:
    explicit TTwoStepStage(int failAt) : failAt_(failAt) {}
    void Run(TFrameJob& job) override {
        RunStep(job, 0);
        RunStep(job, 1);
    }
    int Steps() const override { return 2; }
    void RunStep(TFrameJob& job, int step) override {
        std::this_thread::sleep_for(std::chrono::milliseconds((job.Index * (step + 2)) % 3));
        std::lock_guard lock(mutex_);
        seen_[static_cast<std::size_t>(step)].push_back(job.Index);
        if (step == 1 && (seen_[0].empty() ||
                          std::find(seen_[0].begin(), seen_[0].end(), job.Index) == seen_[0].end()))
            secondBeforeFirst_ = true;
        if (step == 1 && job.Index == failAt_)
            throw GIFException("frame " + std::to_string(job.Index) + " failed");
    }
    std::array<std::vector<int>, 2> Seen() {
        std::lock_guard lock(mutex_);
        return seen_;
    }
    bool SecondBeforeFirst() {
        std::lock_guard lock(mutex_);
        return secondBeforeFirst_;
    }

private:
    int failAt_;
    std::mutex mutex_;
    std::array<std::vector<int>, 2> seen_;
    bool secondBeforeFirst_ = false;
};

TEST(GIFFramePipeline, EachStepOfAnOrderedStageSeesTheFramesInOrder) {
    std::vector<int> expected(16);
    for (int i = 0; i < 16; ++i)
        expected[static_cast<std::size_t>(i)] = i;
    for (const auto& [threads, failAt] :
         std::vector<std::pair<int, int>>{{1, -1}, {2, -1}, {5, -1}, {1, 6}, {3, 6}}) {
        TTwoStepStage stage(failAt);
        const auto [delivered, error] = RunThroughStage(threads, 16, stage);
        const auto seen = stage.Seen();
        EXPECT_FALSE(stage.SecondBeforeFirst()) << threads;
        const std::size_t until = failAt < 0 ? expected.size() : static_cast<std::size_t>(failAt);
        EXPECT_EQ(delivered,
                  std::vector<int>(expected.begin(),
                                   expected.begin() + static_cast<std::ptrdiff_t>(until)))
            << threads;
        EXPECT_EQ(error, failAt < 0 ? "" : "frame 6 failed") << threads;
        const std::size_t second = failAt < 0 ? expected.size() : until + 1;
        EXPECT_EQ(seen[1], std::vector<int>(expected.begin(),
                                            expected.begin() + static_cast<std::ptrdiff_t>(second)))
            << threads;
        // The first step may have gone on to frames after the failing one
        // before the failure, always in order.
        ASSERT_GE(seen[0].size(), second) << threads;
        EXPECT_EQ(seen[0],
                  std::vector<int>(expected.begin(),
                                   expected.begin() + static_cast<std::ptrdiff_t>(seen[0].size())))
            << threads;
    }
}

} // namespace
} // namespace framolo
