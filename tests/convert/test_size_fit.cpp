// Size limits as written, and the search that gives up quality, then frame
// rate, then size to meet one.
#include "clip_tools.h"
#include "convert/limited_conversion.h"
#include "convert/size_estimate.h"
#include "convert/size_fit.h"

#include <gtest/gtest.h>

#include <tuple>

#include <cmath>

namespace framolo {
namespace {

TEST(SizeFit, ReadsLimitsInBytesKAndMAndRefusesTheRest) {
    const struct {
        const char* Text;
        std::int64_t Bytes; // 0: refused
    } cases[] = {
        {"1", 1},
        {"500", 500},
        {"500k", 512000},
        {"500K", 512000},
        {"8M", 8388608},
        {"10m", 10485760},
        {"0", 0},
        {"0K", 0},
        {"", 0},
        {"K", 0},
        {"-5", 0},
        {"1.5M", 0},
        {"10MB", 0},
        {"10G", 0},
        {" 10", 0},
        {"10 ", 0},
        {"99999999999999999", 0},
        {"9007199254740993", 0},
        {"9007199254740992", 9007199254740992},
        {"8796093022208M", 0},
    };
    for (const auto& c : cases) {
        const auto limit = ParseSizeLimit(c.Text);
        EXPECT_EQ(limit.value_or(0), c.Bytes) << "'" << c.Text << "'";
    }
}

// A clip whose size follows a model: every frame costs its pixels times a
// byte share that falls with the quality and rises with the step. With a knee
// the share falls slowly down to quality 60 and steeply below, as real clips'
// sizes do far below the default, so a line through the floor and the top
// foretells too small a size between them.
bool gKnee = false;
// Frames that cost nothing after the first, as in a screen recording.
bool gStill = false;
// Text that codes larger when shrunk a little, its letters blurred.
bool gBlurred = false;
std::int64_t ModelSize(const TFrameParams& p) {
    const double byQuality = !gKnee || p.Quality >= 60
                                 ? std::exp((p.Quality - 80) / 60.0)
                                 : std::exp(-20 / 60.0) * std::exp((p.Quality - 60) / 15.0);
    const double perPixel = 0.5 * byQuality * std::pow(p.Step, 0.3);
    const double frames = gStill ? 50 : static_cast<double>(FramesTaken(p));
    const double blur = gBlurred && p.Width < 400 && p.Width >= 280 ? 1.8 : 1.0;
    return static_cast<std::int64_t>(frames * p.Width * p.Height * perPixel * blur);
}

// 200 frames of 400 x 300 at 25 frames a second, at quality 80.
TFrameParams ModelBase() {
    TFrameParams base;
    base.End = 199;
    base.Width = 400;
    base.Height = 300;
    base.Delay = 40;
    base.Quality = 80;
    return base;
}

// A host whose estimates follow the model and whose GIFs come out bias times
// larger; a conversion may also end early.
struct TFakeConverter : TLimitedConverter {
    double Bias = 1.0;
    TJobEnd End = TJobEnd::Finished;
    bool StopSearch = false;
    std::vector<std::int64_t> Converted;
    int Kept = 0;
    int Dropped = 0;

    std::int64_t Estimate(const TFrameParams& params) override { return ModelSize(params); }
    std::optional<TFitChoice> Search(const std::function<TFitChoice()>& choose) override {
        if (StopSearch)
            return std::nullopt;
        return choose();
    }
    TJobOutcome Convert(const TFrameParams& params) override {
        TJobOutcome outcome;
        outcome.End = End;
        outcome.Bytes = static_cast<std::int64_t>(Bias * static_cast<double>(ModelSize(params)));
        Converted.push_back(outcome.Bytes);
        return outcome;
    }
    void Keep() override { ++Kept; }
    void Drop() override { ++Dropped; }
};

TEST(LimitedRun, KeepsOnlyAGifWithinTheLimitAndConvertsAgainLowerWhenOver) {
    gKnee = gStill = gBlurred = false;
    const TFrameParams base = ModelBase();
    const std::int64_t limit = ModelSize(base) / 3;
    const struct {
        double Bias;
        int Encodes;
        bool Fits;
    } cases[] = {{1.0, 1, true}, {1.3, 2, true}, {1.6, 2, true}, {1000, 2, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Bias);
        TFakeConverter converter;
        converter.Bias = c.Bias;
        const TLimitedRun run = RunUnderLimit(base, limit, converter);
        EXPECT_EQ(run.Encodes, c.Encodes);
        EXPECT_EQ(converter.Kept, c.Fits ? 1 : 0);
        EXPECT_EQ(converter.Dropped, run.Encodes - converter.Kept);
        EXPECT_EQ(run.Outcome.End, c.Fits ? TJobEnd::Finished : TJobEnd::NotStarted);
        EXPECT_EQ(run.LastBytes, converter.Converted.back());
        EXPECT_EQ(run.TriedSmallest, !c.Fits);
        if (c.Fits) {
            EXPECT_LE(run.Outcome.Bytes, limit);
        }
        // Each conversion after one over the limit is smaller, and the aim
        // dropped at least by the share the estimate ran low.
        for (std::size_t i = 1; i < converter.Converted.size() && c.Fits; ++i)
            EXPECT_LE(static_cast<double>(converter.Converted[i]),
                      static_cast<double>(limit) * TLimitedSearch::kTargetShare * 1.01);
    }
    // A run that fails or stops keeps what it made, as a plain run would; a
    // stopped search converts nothing.
    for (const TJobEnd end : {TJobEnd::Failed, TJobEnd::Stopped}) {
        TFakeConverter converter;
        converter.Bias = 2;
        converter.End = end;
        const TLimitedRun run = RunUnderLimit(base, limit, converter);
        EXPECT_EQ(run.Encodes, 1);
        EXPECT_EQ(converter.Kept, 1);
        EXPECT_EQ(run.Outcome.End, end);
        EXPECT_EQ(run.Stopped, end == TJobEnd::Stopped);
    }
    TFakeConverter stopped;
    stopped.StopSearch = true;
    const TLimitedRun run = RunUnderLimit(base, limit, stopped);
    EXPECT_TRUE(run.Stopped);
    EXPECT_EQ(run.Encodes, 0);
    EXPECT_TRUE(stopped.Converted.empty());
}

TEST(SizeFit, GivesUpQualityThenFrameRateThenSizeAndNeverPassesTheTarget) {
    const TFrameParams base = ModelBase();
    const std::int64_t full = ModelSize(base); // 6 MB
    enum TGiven { Nothing, Quality, FrameRate, Size, Everything };
    const struct {
        double Share; // target over the full size
        TGiven Gives;
    } cases[] = {
        {1.0, Nothing},   {0.9, Quality}, {0.6, Quality}, {0.5, FrameRate},
        {0.2, FrameRate}, {0.08, Size},   {0.015, Size},  {0.01, Everything},
    };
    for (const auto& c : cases) {
        gKnee = false;
        const auto target = static_cast<std::int64_t>(static_cast<double>(full) * c.Share);
        int asked = 0;
        const TFitChoice choice = ChooseFit(base, target, [&](const TFrameParams& p) {
            ++asked;
            return ModelSize(p);
        });
        const TFitPoint& p = choice.Point;
        const TFrameParams chosen = FitParams(base, p);
        SCOPED_TRACE(c.Share);
        EXPECT_LE(asked, 8);
        EXPECT_EQ(choice.Fits, c.Gives != Everything);
        if (choice.Fits) {
            EXPECT_LE(ModelSize(chosen), target * 101 / 100);
        }
        EXPECT_EQ(p.Quality == 80, c.Gives == Nothing);
        EXPECT_EQ(p.Step > 1, c.Gives >= FrameRate);
        EXPECT_EQ(p.ScalePercent < 100, c.Gives >= Size);
        if (c.Gives >= Size) {
            EXPECT_EQ(p.Step, kFitMaxStepFactor);
        }
        if (c.Gives == Everything) {
            EXPECT_EQ(p.Quality, kFitQualityFloor);
            EXPECT_EQ(p.ScalePercent, kFitMinScalePercent);
        }
        // The animation keeps its length, and the picture its aspect.
        EXPECT_EQ(chosen.Delay, base.Delay * p.Step);
        EXPECT_NEAR(static_cast<double>(chosen.Width) / chosen.Height, 4.0 / 3.0, 0.02);
        // No frame given up where fewer would fit at the full size.
        if (choice.Fits && p.Step > 1 && p.ScalePercent == 100) {
            EXPECT_GT(ModelSize(FitParams(base, {kFitQualityFloor, p.Step - 1, 100})), target);
        }
        // No quality left unused where a step of 5 more would still fit.
        if (choice.Fits && p.Quality + 5 <= 80) {
            TFitPoint better = p;
            better.Quality += 5;
            EXPECT_GT(ModelSize(FitParams(base, better)), target * 97 / 100);
        }
    }
}

// Where the size does not fall as the line through the floor and the top
// foretells, the quality taken is measured: the choice never passes the
// target, and quality alone still gives way before the frame rate.
TEST(SizeFit, AQualityReadOffTheLineIsMeasuredBeforeItIsTaken) {
    const TFrameParams base = ModelBase();
    gKnee = true;
    const std::int64_t full = ModelSize(base);
    for (const double share : {0.8, 0.6, 0.4}) {
        SCOPED_TRACE(share);
        const auto target = static_cast<std::int64_t>(static_cast<double>(full) * share);
        const TFitChoice choice = ChooseFit(base, target, ModelSize);
        ASSERT_TRUE(choice.Fits);
        EXPECT_LE(ModelSize(FitParams(base, choice.Point)), target);
        EXPECT_EQ(choice.Point.Step, 1);
        EXPECT_LT(choice.Point.Quality, 80);
        EXPECT_LE(choice.Estimates, 5);
    }
    gKnee = false;
}

TEST(SizeFit, AboveEightyItSearchesTheLayersFirst) {
    // Layers (above 80) are smaller than the shared palette just below them.
    TFrameParams base = ModelBase();
    base.Quality = 100;
    const auto size = [](const TFrameParams& p) {
        if (p.Quality <= 80)
            return ModelSize(p);
        TFrameParams at80 = p;
        at80.Quality = 80;
        return static_cast<std::int64_t>(static_cast<double>(ModelSize(at80)) * 0.7 *
                                         std::exp((p.Quality - 81) / 15.0));
    };
    const auto sizeAt = [&](int quality) {
        TFrameParams p = base;
        p.Quality = quality;
        return static_cast<double>(size(p));
    };
    // Between the lowest layer and the top a layer fits; under the lowest
    // layer the shared palettes go on from 80, which may not fit either.
    for (const auto& [target, lowest, highest] :
         std::initializer_list<std::tuple<double, int, int>>{
             {(sizeAt(81) + sizeAt(100)) / 2.0, 81, 99},
             {(sizeAt(80) + sizeAt(81)) / 2.0, 81, 99},
             {sizeAt(81) * 0.9, 40, 79}}) {
        const TFitChoice choice = ChooseFit(base, static_cast<std::int64_t>(target), size);
        ASSERT_TRUE(choice.Fits) << target;
        EXPECT_LE(static_cast<double>(size(FitParams(base, choice.Point))), target);
        EXPECT_GE(choice.Point.Quality, lowest) << target;
        EXPECT_LE(choice.Point.Quality, highest) << target;
    }
}

// A search asks one sampler for many estimates: what it keeps between them
// (strips read, corrections measured) must never leak into an estimate of
// another picture size, nor change an estimate asked for again.
TEST(SizeSampler, RemembersOnlyWhatStillHolds) {
    const std::string clip =
        test::MakeClip("size_sampler.avi", 160, 120, 100, "-c:v rawvideo -pix_fmt bgr24");
    const TSampleControl control{[] { return false; }, [] {}};
    TFrameParams base;
    base.End = 99;
    base.Width = 160;
    base.Height = 120;
    base.Delay = 40;
    base.Optimize = true;
    base.Quality = 78;
    const auto at = [&base](int quality, int width, int height) {
        TFrameParams params = base;
        params.Quality = quality;
        params.Width = width;
        params.Height = height;
        return params;
    };
    TSizeSampler shared(clip, control, 1);
    struct TCase {
        TFrameParams Params;
        // How far the shared sampler's estimate may be from a fresh one's.
        double Within;
    };
    for (const TCase& c :
         {TCase{at(78, 160, 120), 0}, TCase{at(78, 160, 120), 0}, TCase{at(78, 120, 90), 0},
          TCase{at(40, 160, 120), 0.05}, TCase{at(60, 160, 120), 0.05}}) {
        SCOPED_TRACE(testing::Message() << "quality " << c.Params.Quality << ", " << c.Params.Width
                                        << "x" << c.Params.Height);
        const TSizeEstimate kept = shared.Estimate(c.Params);
        const TSizeEstimate fresh = TSizeSampler(clip, control, 1).Estimate(c.Params);
        ASSERT_FALSE(fresh.Exact);
        ASSERT_GT(fresh.Bytes, 0);
        if (c.Within == 0)
            EXPECT_EQ(kept.Bytes, fresh.Bytes);
        else
            EXPECT_NEAR(static_cast<double>(kept.Bytes) / static_cast<double>(fresh.Bytes), 1.0,
                        c.Within);
    }

    // A small box moving over a still picture, as in a screen recording:
    // strips would see it only now and then, so the range is coded whole.
    const std::string still = test::WorkPath("size_sampler_box.avi");
    ASSERT_EQ(test::RunCommand("ffmpeg -hide_banner -loglevel error -y -f lavfi -i "
                               "\"color=c=0x336699:s=160x120:r=25,drawbox=x='mod(t*100\\,140)'"
                               ":y=50:w=16:h=16:color=red:t=fill\" -frames:v 100 -c:v rawvideo "
                               "-pix_fmt bgr24 '" +
                               still + "'"),
              0);
    TSizeSampler sampler(still, control, 1);
    const TSizeEstimate boxed = sampler.Estimate(base);
    EXPECT_TRUE(boxed.Exact);
    EXPECT_EQ(boxed.Bytes, sampler.Exact(base));
}

TEST(SizeFit, KeepsTheFrameRateWhereDroppingFramesSavesNothing) {
    const TFrameParams base = ModelBase();
    gStill = true;
    const auto target = ModelSize(base) / 4;
    const TFitChoice choice = ChooseFit(base, target, ModelSize);
    gStill = false;
    ASSERT_TRUE(choice.Fits);
    EXPECT_EQ(choice.Point.Step, 1);
    EXPECT_LT(choice.Point.ScalePercent, 100);
    EXPECT_GT(choice.Point.ScalePercent, 40);

    // Where shrinking a little makes the file larger, the scale that fits at
    // last is not taken far under the target while larger ones fit.
    gStill = gBlurred = true;
    const std::int64_t third = ModelSize(base) / 3;
    const TFitChoice blurred = ChooseFit(base, third, ModelSize);
    const std::int64_t size = ModelSize(FitParams(base, blurred.Point));
    gStill = gBlurred = false;
    ASSERT_TRUE(blurred.Fits);
    EXPECT_LE(size, third);
    EXPECT_GT(size, third * 3 / 5) << blurred.Point.ScalePercent;
}

TEST(SizeFit, StepsNearTheLargestNumberStayWithinTheClip) {
    // Every step the search tries is at least 1 and no more than the clip's
    // 200 frames, past which a step keeps one frame whatever it is.
    const struct {
        int Step;
        int Most; // the step SmallestFitPoint gives up to
    } cases[] = {{1, 4}, {60, 200}, {199, 200}, {1073741824, 1073741824}, {INT32_MAX, INT32_MAX}};
    for (const auto& c : cases) {
        TFrameParams base = ModelBase();
        base.Step = c.Step;
        EXPECT_EQ(SmallestFitPoint(base).Step, c.Most) << c.Step;
        int estimates = 0;
        const TFitChoice choice = ChooseFit(base, 1, [&](const TFrameParams& p) {
            EXPECT_GE(p.Step, 1);
            EXPECT_LE(p.Step, std::max(200, c.Step));
            EXPECT_GT(p.Delay, 0);
            ++estimates;
            return ModelSize(p);
        });
        EXPECT_LT(estimates, 40) << c.Step;
        EXPECT_FALSE(choice.Fits);
    }
}

TEST(SizeFit, SaysSizesAsAboutMBOrKB) {
    const struct {
        std::int64_t Bytes;
        const char* Text;
    } cases[] = {
        {1, "About 1 KB"},         {1536, "About 2 KB"},      {1048575, "About 1024 KB"},
        {1048576, "About 1.0 MB"}, {2411724, "About 2.3 MB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AboutSizeText(c.Bytes), c.Text);
}

} // namespace
} // namespace framolo
