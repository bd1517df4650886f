// The streaming road must write, byte for byte, the file the document road
// saves, whatever the number of threads.
#include "cli/gif_file_output.h"
#include "convert/avi_to_gif_job.h"
#include "convert/avi_to_gif_stream_job.h"
#include "convert/gif_frame_pipeline.h"
#include "convert/job_support.h"
#include "convert_test_util.h"
#include "gif/gif_document.h"
#include "giflib_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

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
};

std::string Describe(const TRunCase& c) {
    std::string s = c.Clip.substr(c.Clip.find_last_of('/') + 1) + " reduction " +
                    std::to_string(c.Reduction) + " dither " + std::to_string(c.Dither) +
                    (c.Rle ? " rle" : " lzw") + " fields";
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
    return host;
}

// What the window's job followed by a save writes.
std::vector<std::uint8_t> DocumentRoad(const TRunCase& c) {
    TScriptedHost host = HostFor(c);
    const std::uint8_t saved = DefaultDataCoding;
    DefaultDataCoding = c.Rle ? 1 : 0;
    const TJobOutcome outcome = TAviToGifJob(host).Run();
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
    options.DataCoding = c.Rle ? 1 : 0;
    const TJobOutcome outcome = TAviToGifStreamJob(host, out, options).Run();
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
    TJobOutcome outcome = ConvertAviToGifFile(stopped, path, options);
    EXPECT_EQ(outcome.End, TJobEnd::Stopped);
    EXPECT_FALSE(std::ifstream(path).good());
    EXPECT_FALSE(std::ifstream(path + ".part").good());
    EXPECT_TRUE(stopped.AppErrors.empty());

    // End below Start: no frame, the writer's own error, no file.
    TScriptedHost empty;
    empty.FileName = clip;
    empty.Set(TParamField::Start, "5");
    empty.Set(TParamField::End, "4");
    outcome = ConvertAviToGifFile(empty, path, options);
    EXPECT_EQ(outcome.End, TJobEnd::Failed);
    EXPECT_EQ(empty.AppErrors, std::vector<std::string>{gifmsg::UnsupportedVersion});
    EXPECT_FALSE(std::ifstream(path).good());

    // A frame past the clip's end fails as the window's job fails.
    TScriptedHost past;
    past.FileName = clip;
    past.Set(TParamField::End, "40");
    outcome = ConvertAviToGifFile(past, path, options);
    EXPECT_EQ(outcome.End, TJobEnd::Failed);
    EXPECT_EQ(past.AppErrors, std::vector<std::string>{jobmsg::FailedDecompress});
    EXPECT_FALSE(std::ifstream(path).good());
    EXPECT_FALSE(std::ifstream(path + ".part").good());

    TScriptedHost finished;
    finished.FileName = clip;
    outcome = ConvertAviToGifFile(finished, path, options);
    ASSERT_EQ(outcome.End, TJobEnd::Finished) << outcome.Error;
    EXPECT_EQ(static_cast<std::int64_t>(test::ReadFileBytes(path).size()), outcome.Bytes);
    EXPECT_FALSE(std::ifstream(path + ".part").good());
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

} // namespace
} // namespace framolo
