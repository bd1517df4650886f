#include "clip_tools.h"
#include "convert/gif_to_video_job.h"
#include "convert/job_support.h"
#include "giflib_util.h"
#include "platform/avifile/avifile.h"
#include "platform/avifile/riff_writer.h"
#include "platform/streams/stream.h"
#include "scripted_host.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>

namespace framolo {
namespace {

using test::TScriptedHost;

// A document of 6 x 5 frames with the given delays, four colours each: the
// frames listed in `local` have tables of their own, the others use a global
// table when `global`. The frame at emptyIndex has no image.
std::unique_ptr<TGIFDocument> BuildGif(const std::vector<int>& delays, const std::set<int>& local,
                                       bool global, int emptyIndex = -1) {
    auto doc = std::make_unique<TGIFDocument>();
    if (global)
        for (int c = 0; c < 4; ++c)
            doc->GlobalColorMap().Add(
                RGB(static_cast<std::uint8_t>(c * 80), 0, static_cast<std::uint8_t>(255 - c * 80)));
    for (int i = 0; i < static_cast<int>(delays.size()); ++i) {
        auto frame = std::make_unique<TGIFSubImage>(doc.get());
        if (i != emptyIndex) {
            frame->SetBounds(0, 0, 6, 5);
            if (local.count(i) != 0)
                for (int c = 0; c < 4; ++c)
                    frame->ColorMap().Add(RGB(static_cast<std::uint8_t>(c * 60 + i), 100, 0));
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 6; ++x)
                    frame->Scanline(y)[x] = static_cast<std::uint8_t>((x + y + i) % 4);
        }
        auto gce = std::make_unique<TGIFGraphicControlExtension>(frame.get());
        gce->SetDelay(delays[static_cast<std::size_t>(i)]);
        frame->Extensions().Add(std::move(gce));
        doc->Add(std::move(frame));
    }
    return doc;
}

// Frames of one delay, all with local tables or all on the global one.
std::unique_ptr<TGIFDocument> MakeGif(int frames, int delay, int emptyIndex = -1,
                                      bool local = true) {
    std::set<int> all;
    for (int i = 0; local && i < frames; ++i)
        all.insert(i);
    return BuildGif(std::vector<int>(static_cast<std::size_t>(frames), delay), all, !local,
                    emptyIndex);
}

struct TAviFacts {
    TAVIStreamInfo Info;
    std::int32_t Length = 0;
    std::vector<std::uint8_t> Format;
    std::vector<std::vector<std::uint8_t>> Frames; // packed DIB pixels of each sample
};

TAviFacts ReadAvi(const std::string& path) {
    TAviFacts facts;
    AVIFileInit();
    PAVIFile file = nullptr;
    PAVIStream stream = nullptr;
    EXPECT_EQ(AVIFileOpen(file, path, OF_SHARE_DENY_WRITE), 0);
    EXPECT_EQ(AVIFileGetStream(file, stream, streamtypeVIDEO, 0), 0);
    if (stream != nullptr) {
        AVIStreamInfo(stream, facts.Info, static_cast<std::int32_t>(sizeof(facts.Info)));
        facts.Length = AVIStreamLength(stream);
        std::int32_t size = 0;
        AVIStreamReadFormat(stream, 0, nullptr, &size);
        facts.Format.resize(static_cast<std::size_t>(std::max(size, 0)));
        AVIStreamReadFormat(stream, 0, facts.Format.data(), &size);
        PGetFrame gf = AVIStreamGetFrameOpen(stream, nullptr);
        for (std::int32_t k = 0; gf != nullptr && k < facts.Length; ++k) {
            const auto* dib = static_cast<const std::uint8_t*>(AVIStreamGetFrame(gf, k));
            if (dib == nullptr) {
                facts.Frames.emplace_back();
                continue;
            }
            TBitmapInfoHeader h;
            std::memcpy(&h, dib, sizeof(h));
            const std::size_t table = h.biBitCount <= 8 ? (std::size_t{4} << h.biBitCount) : 0;
            facts.Frames.emplace_back(dib + 40 + table, dib + 40 + table + h.biSizeImage);
        }
        if (gf != nullptr)
            AVIStreamGetFrameClose(gf);
        AVIStreamRelease(stream);
    }
    if (file != nullptr)
        AVIFileRelease(file);
    AVIFileExit();
    return facts;
}

// Sample k as red, green, blue rows top-down, through the stream's colour table.
std::vector<std::uint8_t> SampleColors(const TAviFacts& facts, std::size_t k) {
    TBitmapInfoHeader h;
    std::memcpy(&h, facts.Format.data(), sizeof(h));
    const std::size_t row = (static_cast<std::size_t>(h.biWidth) + 3) / 4 * 4;
    std::vector<std::uint8_t> rgb;
    for (int y = h.biHeight - 1; y >= 0; --y)
        for (int x = 0; x < h.biWidth; ++x) {
            const std::size_t index =
                facts.Frames[k][static_cast<std::size_t>(y) * row + static_cast<std::size_t>(x)];
            const std::uint8_t* entry = &facts.Format[40 + 4 * index];
            rgb.insert(rgb.end(), {entry[2], entry[1], entry[0]});
        }
    return rgb;
}

std::vector<std::uint8_t> Bytes(const TGIFDocument& doc) {
    TGIFDocument copy;
    copy.Assign(&doc);
    TMemoryStream out;
    copy.SaveToStream(out);
    return {static_cast<const std::uint8_t*>(out.Memory()),
            static_cast<const std::uint8_t*>(out.Memory()) + out.Size()};
}

// Frames with the given delays over a four-colour global table; the frames
// listed in `local` have four colours of their own.
std::unique_ptr<TGIFDocument> TimedGif(const std::vector<int>& delays, std::set<int> local) {
    return BuildGif(delays, local, true);
}

double ProbedSeconds(const std::string& path) {
    std::string out;
    EXPECT_EQ(test::RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 '" +
                                   path + "'",
                               &out),
              0);
    return std::atof(out.c_str());
}

class GifToVideoJob : public ::testing::Test {
protected:
    TJobOutcome Run(TGIFDocument& doc, const std::string& answer) {
        host_.FileName = test::WorkPath("source.gif");
        host_.Source = &doc;
        host_.SaveAnswer = answer;
        return TGifToVideoJob(host_).Run();
    }
    TScriptedHost host_;
};

TEST_F(GifToVideoJob, OneKeyFramePerGifFrameLastingItsDelay) {
    auto doc = MakeGif(4, 10);
    const std::string out = test::WorkPath("four.avi");
    const TJobOutcome outcome = Run(*doc, out);
    ASSERT_EQ(outcome.End, TJobEnd::Finished) << outcome.Error;
    EXPECT_EQ(host_.FileName, out);
    EXPECT_EQ(host_.Previewed, std::vector<std::string>{out});
    EXPECT_EQ(host_.Messages, std::vector<std::string>{std::string(jobmsg::SavedTo) + "\r" + out});
    EXPECT_EQ(host_.StatusLines,
              std::vector<std::string>{std::string(jobmsg::WorkingFinished) + out});
    const TAviFacts facts = ReadAvi(out);
    EXPECT_EQ(facts.Info.dwScale, 10u);
    EXPECT_EQ(facts.Info.dwRate, 100u);
    // The dialog offers the AVI first, then MP4 and WebM.
    ASSERT_EQ(host_.Filters.size(), 3u);
    EXPECT_EQ(host_.Filters[0].Description, "Avi File ( *.avi)");
    EXPECT_EQ(host_.Filters[0].Pattern, "*.avi");
    EXPECT_EQ(host_.Filters[1].Pattern, "*.mp4");
    EXPECT_EQ(host_.Filters[2].Pattern, "*.webm");
    EXPECT_EQ(facts.Length, 4);
    EXPECT_EQ(facts.Info.rcFrame, (TRect{0, 0, 6, 5}));
    ASSERT_GE(facts.Format.size(), 1064u);
    TBitmapInfoHeader h;
    std::memcpy(&h, facts.Format.data(), sizeof(h));
    EXPECT_EQ(h.biBitCount, 8);
    EXPECT_EQ(h.biWidth, 6);
    EXPECT_EQ(h.biHeight, 5);
    EXPECT_EQ(h.biSizeImage, 8u * 5);
    // Frames with local tables of 16 colours in all keep those colours.
    EXPECT_TRUE((doc->PaintOptions() & WebPaletteOnPaletteDisplayOnly) != 0);
    // Progress 0..count-1, ending at 0.
    EXPECT_EQ(host_.Ranges.back(), std::make_pair(0, 3));
    EXPECT_EQ(host_.Positions.back(), 0);

    // ffprobe agrees on rate and count.
    EXPECT_EQ(test::ProbeRateAndFrames(out), "10/1,4");
}

TEST_F(GifToVideoJob, FramesMatchTheRenderedGifFrames) {
    auto doc = MakeGif(3, 7, -1, false);
    const std::string out = test::WorkPath("global.avi");
    ASSERT_EQ(Run(*doc, out).End, TJobEnd::Finished);
    // No local tables: frames render with the global palette, directly.
    EXPECT_TRUE((doc->PaintOptions() & WebPaletteOnPaletteDisplayOnly) != 0);
    const TAviFacts facts = ReadAvi(out);
    ASSERT_EQ(facts.Frames.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        TBitmap* rendered = doc->Frames()[i]->RenderBitmap();
        ASSERT_NE(rendered, nullptr);
        ASSERT_EQ(facts.Frames[static_cast<std::size_t>(i)].size(), rendered->BitsSize());
        EXPECT_EQ(std::memcmp(facts.Frames[static_cast<std::size_t>(i)].data(), rendered->Bits(),
                              rendered->BitsSize()),
                  0)
            << "frame " << i;
    }
    EXPECT_EQ(ReadAvi(out).Info.dwScale, 7u);
}

TEST_F(GifToVideoJob, DelaysOfZeroShowForATenth) {
    auto doc = MakeGif(2, 0);
    ASSERT_EQ(Run(*doc, test::WorkPath("zero.avi")).End, TJobEnd::Finished);
    EXPECT_EQ(ReadAvi(test::WorkPath("zero.avi")).Info.dwScale, 10u);
    // A single frame gives one sample and a progress maximum of 0.
    auto one = MakeGif(1, 3);
    TScriptedHost host;
    host.FileName = test::WorkPath("one.gif");
    host.Source = one.get();
    host.SaveAnswer = test::WorkPath("one.avi");
    ASSERT_EQ(TGifToVideoJob(host).Run().End, TJobEnd::Finished);
    EXPECT_EQ(host.Ranges.back(), std::make_pair(0, 0));
    EXPECT_EQ(ReadAvi(test::WorkPath("one.avi")).Length, 1);
}

TEST_F(GifToVideoJob, EmptyFrameTakesNoTimeAndAGapShowsTheFrameBefore) {
    auto doc = MakeGif(5, 4, 3);
    const std::string out = test::WorkPath("gap.avi");
    const TJobOutcome outcome = Run(*doc, out);
    ASSERT_EQ(outcome.End, TJobEnd::Finished) << outcome.Error;
    EXPECT_EQ(outcome.FrameCount, 4);
    const TAviFacts facts = ReadAvi(out);
    // Frame 4 follows frame 2 at once: the stream is four samples long.
    EXPECT_EQ(facts.Length, 4);
    ASSERT_EQ(facts.Frames.size(), 4u);
    EXPECT_NE(facts.Frames[3], facts.Frames[2]);
    // A frame twice as long leaves one sample unwritten, which shows it on.
    auto held = TimedGif({4, 8, 4}, {});
    ASSERT_EQ(Run(*held, out).End, TJobEnd::Finished);
    const TAviFacts gap = ReadAvi(out);
    ASSERT_EQ(gap.Frames.size(), 4u);
    EXPECT_EQ(gap.Frames[2], gap.Frames[1]);
    EXPECT_NE(gap.Frames[3], gap.Frames[1]);
}

TEST_F(GifToVideoJob, OutputNamesGetTheAviExtension) {
    auto doc = MakeGif(1, 1);
    ASSERT_EQ(Run(*doc, test::WorkPath("noext")).End, TJobEnd::Finished);
    EXPECT_EQ(host_.FileName, test::WorkPath("noext.avi"));
    ASSERT_EQ(Run(*doc, test::WorkPath("other.mov")).End, TJobEnd::Finished);
    EXPECT_EQ(host_.FileName, test::WorkPath("other.avi"));
    ASSERT_EQ(Run(*doc, test::WorkPath("UPPER.AVI")).End, TJobEnd::Finished);
    EXPECT_EQ(host_.FileName, test::WorkPath("UPPER.AVI"));
}

TEST_F(GifToVideoJob, ASecondConvertAfterARunAsksForAGif) {
    auto doc = MakeGif(1, 1);
    ASSERT_EQ(Run(*doc, test::WorkPath("again.avi")).End, TJobEnd::Finished);
    host_.Messages.clear();
    EXPECT_EQ(TGifToVideoJob(host_).Run().End, TJobEnd::NotStarted);
    EXPECT_EQ(host_.Messages, std::vector<std::string>{"Please import a GIF image at first "});
}

TEST_F(GifToVideoJob, CancelStopAndFailures) {
    auto doc = MakeGif(3, 1);
    host_.FileName = test::WorkPath("cancel.gif");
    host_.Source = doc.get();
    host_.SaveAnswer = std::nullopt;
    EXPECT_EQ(TGifToVideoJob(host_).Run().End, TJobEnd::NotStarted);
    // The proposed name stays as the current file name.
    EXPECT_EQ(host_.FileName, test::WorkPath("cancel.avi"));
    EXPECT_EQ(host_.Begins, 0);

    TScriptedHost stopper;
    stopper.FileName = test::WorkPath("stop.gif");
    stopper.Source = doc.get();
    stopper.SaveAnswer = test::WorkPath("stop.avi");
    stopper.OnPump = [&stopper](int pumps) {
        if (pumps == 2)
            stopper.Stop = true;
    };
    const TJobOutcome stopped = TGifToVideoJob(stopper).Run();
    EXPECT_EQ(stopped.End, TJobEnd::Stopped);
    EXPECT_TRUE(stopper.Messages.empty());
    EXPECT_TRUE(stopper.Previewed.empty());
    EXPECT_EQ(stopper.Positions.back(), 0);
    // What was written stays readable, and the status line says where it is.
    EXPECT_EQ(ReadAvi(test::WorkPath("stop.avi")).Frames.size(), 1u);
    EXPECT_EQ(stopper.StatusLines,
              std::vector<std::string>{"Stopped after 1 of 3 frames, written to " +
                                       test::WorkPath("stop.avi")});

    TScriptedHost failing;
    failing.FileName = test::WorkPath("fail.gif");
    failing.Source = doc.get();
    failing.SaveAnswer = test::WorkPath("no/such/dir/out.avi");
    EXPECT_EQ(TGifToVideoJob(failing).Run().End, TJobEnd::Failed);
    EXPECT_EQ(failing.AppErrors, std::vector<std::string>{"Failed to create AVI file"});
    EXPECT_EQ(failing.Ends, 1);

    // A GIF without any image gives no file at all.
    auto noImage = MakeGif(2, 1, 0);
    noImage->Frames()[1]->Clear();
    ASSERT_TRUE(noImage->Frames()[1]->Empty());
    TScriptedHost empty;
    empty.FileName = test::WorkPath("noimage.gif");
    empty.Source = noImage.get();
    empty.SaveAnswer = test::WorkPath("noimage.avi");
    std::remove(test::WorkPath("noimage.avi").c_str());
    EXPECT_EQ(TGifToVideoJob(empty).Run().End, TJobEnd::Failed);
    EXPECT_EQ(empty.AppErrors,
              std::vector<std::string>{"The first frame of the GIF image is empty"});
    EXPECT_TRUE(test::ReadFileBytes(test::WorkPath("noimage.avi")).empty());
}

// ---- GIF oddities ----

// The bytes of a GIF whose blocks are separated by runs of zero bytes, as some
// encoders pad them: each run reads as frames that carry no image.
std::vector<std::uint8_t> ZeroPaddedGif(const TGIFDocument& doc) {
    TGIFDocument copy;
    copy.Assign(&doc);
    TMemoryStream out;
    copy.SaveToStream(out);
    std::vector<std::uint8_t> bytes(static_cast<const std::uint8_t*>(out.Memory()),
                                    static_cast<const std::uint8_t*>(out.Memory()) + out.Size());
    // The first frame's graphic control extension follows the header and the
    // screen descriptor (no global table here); the zeros go after it, before
    // the image descriptor.
    const std::size_t gce = 13;
    EXPECT_EQ(bytes[gce], 0x21);
    EXPECT_EQ(bytes[gce + 1], 0xF9);
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(gce + 8), 3, 0x00);
    return bytes;
}

TEST_F(GifToVideoJob, LeadingFramesWithoutAnImageAreSkipped) {
    auto made = MakeGif(3, 5);
    const std::vector<std::uint8_t> bytes = ZeroPaddedGif(*made);
    TGIFDocument doc;
    doc.WarningHandler = [](TPersistent*, int, const std::string&) {};
    TReadOnlyMemoryStream in(bytes.data(), bytes.size());
    doc.LoadFromStream(in);
    ASSERT_GT(doc.Frames().Count(), 3);
    ASSERT_TRUE(doc.Frames()[0]->Empty());
    const int leading = doc.Frames().Count() - 3;

    const std::string out = test::WorkPath("zero_padded.avi");
    const TJobOutcome outcome = Run(doc, out);
    ASSERT_EQ(outcome.End, TJobEnd::Finished) << outcome.Error;
    EXPECT_EQ(outcome.FrameCount, 3);
    const TAviFacts facts = ReadAvi(out);
    // The stream opens with the first image, sized from it. The padding took
    // that image's graphic control, so it shows for a tenth: 10, 5 and 5
    // hundredths, at samples 0, 2 and 3.
    ASSERT_EQ(facts.Length, 4);
    TBitmapInfoHeader h;
    ASSERT_GE(facts.Format.size(), sizeof(h));
    std::memcpy(&h, facts.Format.data(), sizeof(h));
    EXPECT_EQ(h.biWidth, 6);
    EXPECT_EQ(h.biHeight, 5);
    // Each sample shows its frame's own colours.
    for (int i = 0; i < 3; ++i) {
        TGIFSubImage& frame = *doc.Frames()[leading + i];
        std::vector<std::uint8_t> want;
        for (int p = 0; p < 30; ++p) {
            const TGIFColor c = frame.ActiveColorMap().Entry(frame.Pixels()[p]);
            want.insert(want.end(), {c.Red, c.Green, c.Blue});
        }
        EXPECT_EQ(SampleColors(facts, static_cast<std::size_t>(i == 0 ? 0 : i + 1)), want)
            << "frame " << i;
    }
}

TEST_F(GifToVideoJob, ScreensTheStreamHeaderCannotHoldAreRefusedBeforeTheFileIsMade) {
    for (const auto& [width, height] :
         std::vector<std::pair<int, int>>{{65535, 65535}, {32768, 10}, {10, 32768}}) {
        auto doc = MakeGif(1, 1);
        doc->SetWidth(width);
        doc->SetHeight(height);
        const std::string out = test::WorkPath("huge_screen.avi");
        std::remove(out.c_str());
        TScriptedHost host;
        host.FileName = test::WorkPath("huge_screen.gif");
        host.Source = doc.get();
        host.SaveAnswer = out;
        EXPECT_EQ(TGifToVideoJob(host).Run().End, TJobEnd::Failed);
        EXPECT_EQ(host.AppErrors, std::vector<std::string>{"The GIF image is too large for an AVI "
                                                           "file: at most 32767 x 32767 pixels"});
        EXPECT_FALSE(std::ifstream(out).good()) << width << " x " << height;
    }
    // The largest screen the header holds still converts.
    auto doc = MakeGif(1, 1);
    doc->SetWidth(32767);
    doc->SetHeight(32767);
    EXPECT_EQ(Run(*doc, test::WorkPath("largest_screen.avi")).End, TJobEnd::Finished);
    EXPECT_EQ(ReadAvi(test::WorkPath("largest_screen.avi")).Info.rcFrame,
              (TRect{0, 0, 32767, 32767}));
}

// ---- Colours and time ----

// A GIF whose screens show at most 256 colours gives samples equal to giflib's
// composited frames: local tables, a global table, transparency over an
// earlier frame, and disposal back to the previous screen.
TEST_F(GifToVideoJob, EverySampleEqualsWhatAViewerShows) {
    auto overlay = TimedGif({10, 10, 10}, {0});
    TGIFSubImage& small = *overlay->Frames()[1];
    small.SetBounds(2, 1, 3, 2);
    for (int p = 0; p < 6; ++p)
        small.Pixels()[p] = static_cast<std::uint8_t>(p % 3);
    small.GraphicControl()->SetTransparentColorIndex(1);
    small.GraphicControl()->SetTransparent(true);
    small.GraphicControl()->SetDisposal(dmPrevious);
    std::unique_ptr<TGIFDocument> docs[] = {MakeGif(4, 10), MakeGif(3, 7, -1, false),
                                            std::move(overlay)};
    for (auto& doc : docs) {
        const auto screens = test::GiflibComposite(test::GiflibDecode(Bytes(*doc)));
        const std::string out = test::WorkPath("viewer.avi");
        ASSERT_EQ(Run(*doc, out).End, TJobEnd::Finished);
        const TAviFacts facts = ReadAvi(out);
        ASSERT_EQ(facts.Frames.size(), screens.size());
        for (std::size_t k = 0; k < screens.size(); ++k)
            EXPECT_EQ(SampleColors(facts, k), screens[k]) << "frame " << k;
    }
}

// Exactly 256 colours in all are still few enough to keep.
TEST_F(GifToVideoJob, Exactly256ColoursKeepTheirOwnPalette) {
    auto doc = std::make_unique<TGIFDocument>();
    for (int i = 0; i < 2; ++i) {
        auto frame = std::make_unique<TGIFSubImage>(doc.get());
        frame->SetBounds(0, 0, 16, 16);
        for (int c = 0; c < 256; ++c)
            frame->ColorMap().Add(
                RGB(static_cast<std::uint8_t>(c), 7, static_cast<std::uint8_t>(255 - c)));
        for (int p = 0; p < 256; ++p)
            frame->Pixels()[p] = static_cast<std::uint8_t>(p + i);
        doc->Add(std::move(frame));
    }
    const auto screens = test::GiflibComposite(test::GiflibDecode(Bytes(*doc)));
    const std::string out = test::WorkPath("exact256.avi");
    ASSERT_EQ(Run(*doc, out).End, TJobEnd::Finished);
    EXPECT_TRUE((doc->PaintOptions() & WebPaletteOnPaletteDisplayOnly) != 0);
    const TAviFacts facts = ReadAvi(out);
    ASSERT_EQ(facts.Frames.size(), 2u);
    for (std::size_t k = 0; k < 2; ++k)
        EXPECT_EQ(SampleColors(facts, k), screens[k]) << "frame " << k;
}

TEST_F(GifToVideoJob, MoreThan256ColoursGoThroughTheWebPalette) {
    auto doc = std::make_unique<TGIFDocument>();
    for (int i = 0; i < 2; ++i) {
        auto frame = std::make_unique<TGIFSubImage>(doc.get());
        frame->SetBounds(0, 0, 16, 16);
        for (int c = 0; c < 256; ++c)
            frame->ColorMap().Add(RGB(static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(i),
                                      static_cast<std::uint8_t>(255 - c)));
        for (int p = 0; p < 256; ++p)
            frame->Pixels()[p] = static_cast<std::uint8_t>(p);
        doc->Add(std::move(frame));
    }
    const std::string out = test::WorkPath("web.avi");
    ASSERT_EQ(Run(*doc, out).End, TJobEnd::Finished);
    EXPECT_TRUE((doc->PaintOptions() & RenderWebPalette) != 0);
    EXPECT_TRUE((doc->PaintOptions() & WebPaletteOnPaletteDisplayOnly) == 0);
    const TAviFacts facts = ReadAvi(out);
    ASSERT_EQ(facts.Frames.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        const TBitmap* rendered = doc->Frames()[i]->RenderBitmap();
        ASSERT_EQ(facts.Frames[static_cast<std::size_t>(i)].size(), rendered->BitsSize());
        EXPECT_EQ(std::memcmp(facts.Frames[static_cast<std::size_t>(i)].data(), rendered->Bits(),
                              rendered->BitsSize()),
                  0);
    }
}

// The stream's scale is the delays' greatest common divisor whatever the
// colour tables; each frame then starts at its own time, and MP4 and WebM
// keep every delay.
TEST_F(GifToVideoJob, DelaysChooseTheScaleAndFramesKeepTheirTime) {
    struct TCase {
        std::set<int> Local;
        std::uint32_t Scale;
        std::int32_t Length;
    } cases[] = {{{}, 10, 8}, {{1}, 10, 8}, {{0, 1, 2}, 10, 8}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Local.size());
        auto doc = TimedGif({10, 20, 50}, c.Local);
        const std::string avi = test::WorkPath("timed.avi");
        ASSERT_EQ(Run(*doc, avi).End, TJobEnd::Finished);
        const TAviFacts facts = ReadAvi(avi);
        EXPECT_EQ(facts.Info.dwScale, c.Scale);
        EXPECT_EQ(facts.Length, c.Length);
        EXPECT_NEAR(ProbedSeconds(avi), 0.8, 0.001);
        for (const char* video : {"timed.mp4", "timed.webm"}) {
            const std::string out = test::WorkPath(video);
            const TJobOutcome outcome = Run(*doc, out);
            ASSERT_EQ(outcome.End, TJobEnd::Finished) << outcome.Error;
            EXPECT_EQ(host_.FileName, out);
            EXPECT_NEAR(ProbedSeconds(out), 0.8, 0.011) << video;
        }
    }
    // Delays of 0 and 1, and a missing one, show for a tenth of a second on
    // every road, and are counted.
    auto fast = TimedGif({0, 1, 5, 30}, {});
    fast->Frames()[3]->Extensions().Remove(fast->Frames()[3]->GraphicControl());
    ASSERT_EQ(fast->Frames()[3]->GraphicControl(), nullptr);
    for (const char* name : {"fast.mp4", "fast.webm", "fast.avi"}) {
        const TJobOutcome outcome = Run(*fast, test::WorkPath(name));
        ASSERT_EQ(outcome.End, TJobEnd::Finished) << outcome.Error;
        EXPECT_EQ(outcome.RaisedDelays, 3) << name;
        EXPECT_NEAR(ProbedSeconds(test::WorkPath(name)), 0.35, 0.011) << name;
    }
}

// The AVI lasts as long as the GIF, and each picture, what a viewer shows,
// starts where its frame starts: exactly on samples one common divisor of
// the delays long, within one sample when that divisor would need more
// samples than the bound allows.
TEST_F(GifToVideoJob, TheAviKeepsTheGifsTimeFrameByFrame) {
    std::vector<int> held(19, 5);
    held.push_back(200);
    struct TCase {
        const char* Name;
        std::vector<int> Delays;
        bool Local;
        int Empty; // the frame without an image, or -1
        std::uint32_t Scale;
    } cases[] = {
        {"all equal", {10, 10, 10, 10}, true, -1, 10},
        {"differing, global table", {10, 10, 10, 50}, false, -1, 10},
        {"differing, local tables", {50, 10, 10, 10}, true, -1, 10},
        {"long held last frame", held, false, -1, 5},
        {"zeros and ones", {0, 1, 20, 0}, false, -1, 10},
        {"comment-only last frame", {30, 30, 30, 40}, true, 3, 30},
        {"past the sample bound", {2, 65535, 3}, false, -1, 16},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::set<int> local;
        for (int i = 0; c.Local && i < static_cast<int>(c.Delays.size()); ++i)
            local.insert(i);
        auto doc = BuildGif(c.Delays, local, !c.Local, c.Empty);
        const auto screens = test::GiflibComposite(test::GiflibDecode(Bytes(*doc)));
        std::vector<std::int64_t> starts;
        std::int64_t length = 0;
        bool exact = true;
        for (int i = 0; i < static_cast<int>(c.Delays.size()); ++i) {
            if (i == c.Empty)
                continue;
            starts.push_back(length);
            exact = exact && length % c.Scale == 0;
            const int delay = c.Delays[static_cast<std::size_t>(i)];
            length += delay <= 1 ? 10 : delay;
        }
        exact = exact && length % c.Scale == 0;
        const std::int64_t slack = exact ? 0 : c.Scale;
        const std::string out = test::WorkPath("kept.avi");
        ASSERT_EQ(Run(*doc, out).End, TJobEnd::Finished);
        const TAviFacts facts = ReadAvi(out);
        EXPECT_EQ(facts.Info.dwScale, c.Scale);
        EXPECT_NEAR(ProbedSeconds(out), static_cast<double>(length) / 100,
                    static_cast<double>(slack) / 100 + 0.001);
        ASSERT_EQ(screens.size(), starts.size());
        std::size_t k = 0;
        for (std::size_t i = 0; i < screens.size(); ++i, ++k) {
            while (k < facts.Frames.size() && SampleColors(facts, k) != screens[i])
                ++k;
            ASSERT_LT(k, facts.Frames.size()) << "frame " << i << " never shows";
            EXPECT_LE(std::abs(static_cast<std::int64_t>(k) * c.Scale - starts[i]), slack)
                << "frame " << i;
        }
    }
}

// ---- AVI finishing ----

// Makes one step of writing fail, as a full disk would, for files created
// while it lives.
class TWriteFault {
public:
    explicit TWriteFault(TAviWriteStep failing) {
        TAviWriterOptions options;
        // Size patches also happen after every frame; only those of the
        // finishing, after the index, fail.
        options.FailStep = [failing, indexSeen = false](TAviWriteStep step) mutable {
            indexSeen = indexSeen || step == TAviWriteStep::Index;
            return step == failing && (failing != TAviWriteStep::Patch || indexSeen);
        };
        SetAviWriterOptions(options);
    }
    ~TWriteFault() { SetAviWriterOptions({}); }
    TWriteFault(const TWriteFault&) = delete;
    TWriteFault& operator=(const TWriteFault&) = delete;
};

TEST_F(GifToVideoJob, AFileThatCannotBeFinishedIsAFailedWriteNotASuccess) {
    for (const TAviWriteStep step :
         {TAviWriteStep::Index, TAviWriteStep::Patch, TAviWriteStep::Close}) {
        auto doc = MakeGif(3, 4);
        TScriptedHost host;
        host.FileName = test::WorkPath("unfinished.gif");
        host.Source = doc.get();
        host.SaveAnswer = test::WorkPath("unfinished.avi");
        // An earlier file of that name stays as it was.
        std::ofstream(test::WorkPath("unfinished.avi")) << "earlier";
        TJobOutcome outcome;
        {
            const TWriteFault fault(step);
            outcome = TGifToVideoJob(host).Run();
        }
        const int which = static_cast<int>(step);
        EXPECT_EQ(outcome.End, TJobEnd::Failed) << which;
        EXPECT_EQ(host.AppErrors, std::vector<std::string>{"Failed to add frame to AVI"}) << which;
        EXPECT_TRUE(host.Messages.empty()) << which;
        EXPECT_TRUE(host.Previewed.empty()) << which;
        EXPECT_EQ(host.Ends, 1) << which;
        EXPECT_EQ(test::ReadFileBytes(test::WorkPath("unfinished.avi")),
                  (std::vector<std::uint8_t>{'e', 'a', 'r', 'l', 'i', 'e', 'r'}))
            << which;
    }
    // An AVI larger than allowed is refused before a byte of it is written.
    {
        auto doc = MakeGif(3, 4);
        TScriptedHost host;
        host.FileName = test::WorkPath("too_large.gif");
        host.Source = doc.get();
        host.SaveAnswer = test::WorkPath("too_large.avi");
        std::remove(test::WorkPath("too_large.avi").c_str());
        TGifToVideoOptions options;
        options.MaxAviBytes = 100; // three images of 40 bytes, each with its chunk header
        EXPECT_EQ(TGifToVideoJob(host, options).Run().End, TJobEnd::Failed);
        EXPECT_EQ(host.AppErrors, std::vector<std::string>{
                                      "The AVI file would take 1 MB, more than the 0 MB allowed"});
        EXPECT_TRUE(test::ReadFileBytes(test::WorkPath("too_large.avi")).empty());
    }
    // Without a fault the same run finishes.
    auto doc = MakeGif(3, 4);
    EXPECT_EQ(Run(*doc, test::WorkPath("finished.avi")).End, TJobEnd::Finished);
}

} // namespace
} // namespace framolo
