#include "clip_tools.h"
#include "convert/avi_to_gif_job.h"
#include "convert/job_support.h"
#include "giflib_util.h"
#include "scripted_host.h"

#include <gtest/gtest.h>

#include <new>

namespace framolo {
namespace {

using test::TScriptedHost;

class AviToGifJob : public ::testing::Test {
protected:
    void SetUp() override {
        clip_ = test::MakeClip("job_clip.avi", 32, 24, 10, "-c:v rawvideo -pix_fmt bgr24");
        host_.FileName = clip_;
    }
    TJobOutcome Run() { return TAviToGifJob(host_, host_).Run(); }
    TGIFDocument* Result() { return dynamic_cast<TGIFDocument*>(host_.Preview.get()); }

    std::string clip_;
    TScriptedHost host_;
};

TEST_F(AviToGifJob, ConvertsEveryStepOfTheRangeWithDelayAndLoop) {
    host_.Set(TParamField::Step, "3");
    host_.Set(TParamField::Delay, "125");
    host_.Set(TParamField::Loop, "70000"); // 16 bits are kept: 70000 & 0xFFFF
    const TJobOutcome outcome = Run();
    ASSERT_EQ(outcome.End, TJobEnd::Finished) << outcome.Error;
    EXPECT_EQ(outcome.FrameCount, 4); // 0, 3, 6, 9
    ASSERT_NE(Result(), nullptr);
    TGIFDocument& doc = *Result();
    ASSERT_EQ(doc.Frames().Count(), 4);
    EXPECT_EQ(doc.Width(), 32);
    EXPECT_EQ(doc.Height(), 24);
    // Frame 0: the looping extension first, then the graphic control.
    const TGIFExtensionList& ext = doc.Frames()[0]->Extensions();
    ASSERT_EQ(ext.Count(), 2);
    const auto* loop = dynamic_cast<const TGIFAppExtNSLoop*>(ext[0]);
    ASSERT_NE(loop, nullptr);
    EXPECT_EQ(loop->LoopCount(), 70000 & 0xFFFF);
    for (int i = 0; i < 4; ++i) {
        ASSERT_NE(doc.Frames()[i]->GraphicControl(), nullptr);
        // 125 ms carries its half hundredth: frames start at 0, 13, 25, 38.
        EXPECT_EQ(doc.Frames()[i]->GraphicControl()->Delay(), i % 2 == 0 ? 13 : 12);
        EXPECT_EQ(doc.Frames()[i]->Extensions().Count(), i == 0 ? 2 : 1);
    }
    EXPECT_EQ(doc.ColorReduction(), TColorReduction::Quantize);
    EXPECT_EQ(doc.DitherMode(), TDitherMode::FloydSteinberg);
    // Report, success box and status line; the bar rests at 0.
    ASSERT_EQ(host_.Reports.size(), 1u);
    EXPECT_EQ(host_.Reports[0].Frames, 4);
    EXPECT_EQ(host_.Reports[0].Width, "32");
    EXPECT_EQ(host_.Informations, std::vector<std::string>{jobmsg::Finished});
    EXPECT_EQ(host_.StatusLines, std::vector<std::string>{jobmsg::Finished});
    EXPECT_EQ(host_.Positions.back(), 0);
    // Maximum (9 - 0) * 20 div 19 = 9; positions f - Start before each frame.
    EXPECT_EQ(host_.Ranges.back(), std::make_pair(0, 9));
    EXPECT_EQ(host_.Begins, 1);
    EXPECT_EQ(host_.Ends, 1);
    // The report's size is the GIF file's, rounded to KB.
    TMemoryStream s;
    doc.SaveToStream(s);
    EXPECT_EQ(host_.Reports[0].Size, std::to_string(BytesToKBRounded(s.Size())));
}

TEST_F(AviToGifJob, DelayBelowTenMillisecondsStoresTheNearestHundredth) {
    host_.Set(TParamField::End, "0");
    host_.Set(TParamField::Delay, "5");
    ASSERT_EQ(Run().End, TJobEnd::Finished);
    // The next frame would start at half a hundredth, which rounds up.
    EXPECT_EQ(Result()->Frames()[0]->GraphicControl()->Delay(), 1);
    // End equal to Start: one frame and a progress maximum of 0.
    EXPECT_EQ(Result()->Frames().Count(), 1);
    EXPECT_EQ(host_.Ranges.back(), std::make_pair(0, 0));
}

TEST_F(AviToGifJob, StepLargerThanTheRangeConvertsOnlyTheStart) {
    host_.Set(TParamField::Start, "2");
    host_.Set(TParamField::End, "5");
    host_.Set(TParamField::Step, "50");
    const TJobOutcome outcome = Run();
    EXPECT_EQ(outcome.FrameCount, 1);
}

TEST_F(AviToGifJob, EndBelowStartReportsZeroFramesThenTheWriterError) {
    host_.Set(TParamField::Start, "5");
    host_.Set(TParamField::End, "4");
    const TJobOutcome outcome = Run();
    EXPECT_EQ(outcome.FrameCount, 0);
    ASSERT_EQ(host_.Reports.size(), 1u);
    EXPECT_EQ(host_.Reports[0].Frames, 0);
    EXPECT_EQ(host_.AppErrors, std::vector<std::string>{"Unsupported GIF version"});
    EXPECT_TRUE(host_.Informations.empty());
}

TEST_F(AviToGifJob, StopKeepsTheLastBitmapAndCountsTheFramesSoFar) {
    host_.OnPump = [this](int pumps) {
        if (pumps == 4)
            host_.Stop = true;
    };
    const TJobOutcome outcome = Run();
    EXPECT_EQ(outcome.End, TJobEnd::Stopped);
    EXPECT_EQ(outcome.FrameCount, 3);
    EXPECT_NE(dynamic_cast<TBitmap*>(host_.Preview.get()), nullptr);
    EXPECT_TRUE(host_.Informations.empty());
    EXPECT_TRUE(host_.AppErrors.empty());
    ASSERT_EQ(host_.Reports.size(), 1u);
    EXPECT_EQ(host_.Reports[0].Frames, 3);
    // The bar stays at its maximum after a stop.
    EXPECT_EQ(host_.Positions.back(), host_.ProgressMaximum());
}

TEST_F(AviToGifJob, ValidationComesBeforeAnything) {
    host_.Open = false;
    EXPECT_EQ(Run().End, TJobEnd::NotStarted);
    EXPECT_EQ(host_.Warnings, std::vector<std::string>{
                                  "Please click \"open\" button to open an AVI file at first!"});
    host_.Open = true;
    host_.Warnings.clear();
    host_.Set(TParamField::Step, "");
    EXPECT_EQ(Run().End, TJobEnd::NotStarted);
    EXPECT_EQ(host_.Warnings,
              std::vector<std::string>{"Please specify a STEP value for converting!"});
    EXPECT_EQ(host_.Begins, 0);
    EXPECT_TRUE(host_.Reports.empty());
}

TEST_F(AviToGifJob, FailingCallsGiveTheirMessagesAndStillReport) {
    struct Case {
        std::string file;
        std::string message;
    };
    const std::string text = test::WorkPath("not_a_clip.avi");
    {
        FILE* f = std::fopen(text.c_str(), "w");
        std::fputs("this is not a video\n", f);
        std::fclose(f);
    }
    for (const Case& c : {Case{test::WorkPath("missing.avi"), "Failed to open AVI file"},
                          Case{text, "Failed to open AVI file"}}) {
        TScriptedHost host;
        host.FileName = c.file;
        const TJobOutcome outcome = TAviToGifJob(host, host).Run();
        EXPECT_EQ(outcome.End, TJobEnd::Failed);
        EXPECT_EQ(host.AppErrors, std::vector<std::string>{c.message});
        EXPECT_EQ(host.Reports.size(), 1u);
        EXPECT_EQ(host.Ends, 1);
    }
    // A frame past the end of the clip fails to decode.
    host_.Set(TParamField::End, "12");
    const TJobOutcome outcome = Run();
    EXPECT_EQ(outcome.End, TJobEnd::Failed);
    EXPECT_EQ(host_.AppErrors, std::vector<std::string>{"Failed to decompress AVI frame"});
    EXPECT_EQ(outcome.FrameCount, 10);
}

TEST_F(AviToGifJob, FieldsAreReadAgainForEveryFrame) {
    // The window lets the user edit End, Width, Height and Delay during a run.
    host_.OnPump = [this](int pumps) {
        if (pumps == 2) {
            host_.Set(TParamField::End, "3");
            host_.Set(TParamField::Delay, "200");
        }
    };
    const TJobOutcome outcome = Run();
    ASSERT_EQ(outcome.End, TJobEnd::Finished) << outcome.Error;
    ASSERT_NE(Result(), nullptr);
    EXPECT_EQ(outcome.FrameCount, 4);
    EXPECT_EQ(Result()->Frames()[0]->GraphicControl()->Delay(), 4);
    EXPECT_EQ(Result()->Frames()[1]->GraphicControl()->Delay(), 20);
}

TEST_F(AviToGifJob, ScalingToOtherSizesAndAnEmptyFieldMidRun) {
    host_.Set(TParamField::Width, "64");
    host_.Set(TParamField::Height, "13");
    host_.Set(TParamField::End, "1");
    ASSERT_EQ(Run().End, TJobEnd::Finished);
    EXPECT_EQ(Result()->Width(), 64);
    EXPECT_EQ(Result()->Height(), 13);
    EXPECT_EQ(host_.Fits.back(), std::make_pair(64, 13));

    TScriptedHost host;
    host.FileName = clip_;
    host.OnPump = [&host](int pumps) {
        if (pumps == 2)
            host.Set(TParamField::Width, "");
    };
    const TJobOutcome outcome = TAviToGifJob(host, host).Run();
    EXPECT_EQ(outcome.End, TJobEnd::Failed);
    EXPECT_EQ(host.AppErrors, std::vector<std::string>{"'' is not a valid integer value"});
}

TEST_F(AviToGifJob, ListsMapOntoTheDocumentSettings) {
    host_.Set(TParamField::End, "0");
    host_.Reduction = 3; // Monochrome
    host_.Dither = 6;    // Burkes
    ASSERT_EQ(Run().End, TJobEnd::Finished);
    EXPECT_EQ(Result()->ColorReduction(), TColorReduction::Monochrome);
    EXPECT_EQ(Result()->DitherMode(), TDitherMode::Burkes);
    // Monochrome leaves only black and white pixels.
    TGIFSubImage* frame = Result()->Frames()[0];
    for (std::size_t i = 0; i < frame->PixelCount(); ++i) {
        const TColor c = frame->ColorMap().Color(frame->Pixels()[i]);
        ASSERT_TRUE(c == RGB(0, 0, 0) || c == RGB(255, 255, 255)) << std::hex << c;
    }
}

// A run that runs out of memory says so in words, whichever job it is; an
// AVI to GIF run's document, which the preview takes over, holds no frame's
// rendered bitmap and lets its painters drop theirs.
TEST_F(AviToGifJob, RunningOutOfMemorySaysWhatToDoAndTheResultKeepsIndexesOnly) {
    host_.OnPump = [](int pumps) {
        if (pumps == 3)
            throw std::bad_alloc();
    };
    TJobOutcome outcome = Run();
    EXPECT_EQ(outcome.End, TJobEnd::Failed);
    EXPECT_EQ(host_.AppErrors, std::vector<std::string>{jobmsg::OutOfMemoryForGif});
    ASSERT_EQ(host_.Reports.size(), 1u);
    EXPECT_EQ(host_.Reports[0].Frames, 2);
    for (const auto& [kind, words] :
         {std::pair{TJobKind::AviToGif, jobmsg::OutOfMemoryForGif},
          std::pair{TJobKind::GifToVideo, jobmsg::OutOfMemoryForClip}}) {
        outcome = {};
        RunJobSteps(host_, kind, outcome, [] { throw std::bad_alloc(); });
        EXPECT_EQ(outcome.Error, words);
    }

    host_.OnPump = nullptr;
    ASSERT_EQ(Run().End, TJobEnd::Finished);
    ASSERT_NE(Result(), nullptr);
    EXPECT_FALSE(Result()->KeepFrameBitmaps());
    for (int i = 0; i < Result()->Frames().Count(); ++i)
        EXPECT_EQ(Result()->Frames()[i]->Bitmap(), nullptr) << i;
}

} // namespace
} // namespace framolo
