// When the AVI to GIF jobs read their parameters, and what the list items and
// a fixed source give.
#include "clip_tools.h"
#include "convert/avi_to_gif_job.h"
#include "convert/avi_to_gif_stream_job.h"
#include "scripted_host.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace framolo {
namespace {

// Notes every read: a letter per number (Start, End, steP, Width, Height,
// Delay, Loop) and C for the run's choices.
class TRecordingHost : public test::TScriptedHost {
public:
    std::string Reads;
    void Read(TFrameParams& params, std::initializer_list<TParamField> fields) override {
        for (const TParamField f : fields)
            Reads += "SEPWHDL"[static_cast<std::size_t>(f)];
        TScriptedHost::Read(params, fields);
    }
    void ReadChoices(TFrameParams& params) override {
        Reads += 'C';
        TScriptedHost::ReadChoices(params);
    }
};

TEST(FrameParams, BothJobsReadEachNumberAtTheStepThatUsesIt) {
    const std::string clip = test::MakeClip("params_clip.avi", 16, 12, 3, "-c:v mjpeg");
    // Range and step once, End before every frame and once more at the end,
    // Start for every progress step, Width and Height to scale and again to
    // size the screen, Loop with the first frame only, Delay with every one.
    const std::string frames = std::string("ESSP") + "ESWHLDWH" + "ESWHDWH" + "E";
    struct TCase {
        const char* Job;
        std::string Expected;
    };
    for (const TCase& c : {TCase{"document", "WHC" + frames}, TCase{"stream", "C" + frames}}) {
        TRecordingHost host;
        host.FileName = clip;
        host.Fields = {"0", "1", "1", "16", "12", "40", "0"};
        TMemoryStream out;
        const TJobOutcome outcome =
            std::string(c.Job) == "document"
                ? TAviToGifJob(host, host).Run()
                : TAviToGifStreamJob(host, host, out, TAviToGifStreamJob::TOptions{}).Run();
        EXPECT_EQ(outcome.End, TJobEnd::Finished) << c.Job << ": " << outcome.Error;
        EXPECT_EQ(host.Reads, c.Expected) << c.Job;
    }
}

TEST(FrameParams, ListItemsAndAFixedSource) {
    const std::pair<int, std::optional<TColorReduction>> reductions[] = {
        {-1, std::nullopt},
        {0, TColorReduction::Windows20},
        {7, TColorReduction::QuantizeWindows},
        {8, std::nullopt},
        {9, TColorReduction::BestQuality},
        {10, std::nullopt}};
    for (const auto& [index, reduction] : reductions)
        EXPECT_EQ(ListReduction(index), reduction) << index;
    EXPECT_EQ(ListDither(-1), std::nullopt);
    EXPECT_EQ(ListDither(6), TDitherMode::Burkes);
    EXPECT_EQ(ListDither(7), std::nullopt);

    TFrameParams given;
    given.End = 41;
    given.Loop = 7;
    given.Reduction = TColorReduction::Monochrome;
    given.Optimize = true;
    TFixedParamSource source(given);
    TFrameParams read;
    source.Read(read, {TParamField::Loop});
    EXPECT_EQ(read.Loop, 7);
    EXPECT_EQ(read.End, TFrameParams{}.End); // only what was asked for
    source.ReadChoices(read);
    EXPECT_EQ(read.Reduction, TColorReduction::Monochrome);
    EXPECT_TRUE(read.Optimize);
    EXPECT_TRUE(source.HasStep());
}

TEST(FrameParams, LayersAreTriedAboveEightyAndOnlyWithoutDithering) {
    struct TCase {
        int Quality;
        std::optional<TDitherMode> Dither;
        double Margin;
    };
    for (const TCase& c : std::initializer_list<TCase>{{100, std::nullopt, 0.0},
                                                       {90, TDitherMode::Nearest, 2.0},
                                                       {81, std::nullopt, 3.8},
                                                       {80, std::nullopt, -1.0},
                                                       {100, TDitherMode::FloydSteinberg, -1.0},
                                                       {0, std::nullopt, -1.0}}) {
        TFrameParams params;
        params.Quality = c.Quality;
        params.Dither = c.Dither;
        const TEncoderTuning tuning = params.Tuning();
        EXPECT_DOUBLE_EQ(tuning.ProbeMargin, c.Margin) << c.Quality;
        EXPECT_DOUBLE_EQ(tuning.LayerMargin, -1.0) << c.Quality;
        if (c.Margin >= 0) {
            EXPECT_EQ(tuning.ProbeColors, tuning.Colors) << c.Quality;
            EXPECT_TRUE(tuning.ProbeStructure) << c.Quality;
        }
    }
}

// Below 50 the tried layers' strings trade within a bound under their
// margin, so that the next layer does not mend what they spoil; below 10
// the layers taken widen both, the more the lower.
TEST(FrameParams, LayersTradeStringsWithinTheirMargin) {
    double wider = 0;
    for (const int quality : {49, 10, 9, 5, 1}) {
        const auto t = TuningForQuality(quality);
        EXPECT_TRUE(t.ProbeLzwBound > 0 && t.ProbeLzwBound < t.ProbeMargin) << quality;
        EXPECT_EQ(t.LayeredMargin > std::max(t.ProbeMargin, wider), quality < 10) << quality;
        if (quality < 10) {
            EXPECT_TRUE(t.LayeredLzwBound > t.ProbeLzwBound && t.LayeredLzwBound < t.LayeredMargin);
        }
        wider = std::max(wider, t.LayeredMargin);
    }
}

} // namespace
} // namespace framolo
