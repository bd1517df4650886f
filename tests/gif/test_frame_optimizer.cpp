#include "color/dither_engine.h"
#include "color/exact_color_lookup.h"
#include "color/shared_palette_reducer.h"
#include "gif/encode/lzw_string_choice.h"
#include "gif/encode/optimized_frames.h"
#include "gif/encode/quality_table.h"
#include "gif/frame_optimizer.h"
#include "gif_test_util.h"
#include "giflib_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

namespace framolo {
namespace {

using Rgb = std::vector<std::uint8_t>; // 3 bytes per pixel, red, green, blue

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// A scene of n frames: a smooth background with grain, two squares that move,
// a frame that repeats the one before, a lighting change that asks for a new
// palette, and a still frame at the end.
std::vector<Rgb> Scene(int n) {
    std::mt19937 rng(5);
    Rgb background(kWidth * kHeight * 3);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* p = &background[static_cast<std::size_t>((y * kWidth + x) * 3)];
            p[0] = static_cast<std::uint8_t>(40 + 3 * x + rng() % 9);
            p[1] = static_cast<std::uint8_t>(60 + 2 * y + rng() % 9);
            p[2] = static_cast<std::uint8_t>(90 + x + y);
        }
    std::vector<Rgb> frames;
    for (int k = 0; k < n; ++k) {
        Rgb f = background;
        const int step = k == 3 ? 2 : k; // frame 3 repeats frame 2
        const bool dark = k >= n - 3;    // the light drops for the last frames
        for (std::size_t i = 0; dark && i < f.size(); ++i)
            f[i] = static_cast<std::uint8_t>(f[i] / 3 + 150 * (i % 3 == 0));
        for (int y = 10; y < 22; ++y)
            for (int x = 5 + 4 * step; x < 17 + 4 * step && x < kWidth; ++x) {
                std::uint8_t* p = &f[static_cast<std::size_t>((y * kWidth + x) * 3)];
                p[0] = 250;
                p[1] = 20;
                p[2] = 30;
            }
        // A second, small square far away: the changed rectangle spans the
        // grainy background between the two, which stays as it was.
        for (int y = 30 + step; y < 34 + step; ++y)
            for (int x = 56; x < 60; ++x)
                f[static_cast<std::size_t>((y * kWidth + x) * 3 + 2)] = 255;
        frames.push_back(std::move(f));
    }
    frames.push_back(frames.back()); // still
    return frames;
}

std::unique_ptr<TBitmap> ToBitmap(const Rgb& rgb, int width = kWidth, int height = kHeight) {
    auto bitmap = std::make_unique<TBitmap>(width, height, TPixelFormat::pf24bit);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap->ScanLine(y);
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = &rgb[static_cast<std::size_t>((y * width + x) * 3)];
            row[3 * x] = p[2];
            row[3 * x + 1] = p[1];
            row[3 * x + 2] = p[0];
        }
    }
    return bitmap;
}

// A frame repeated tiles x tiles times, each tile a little lighter, so that
// no two are alike: a picture large enough for what only large ones get.
Rgb Tiled(const Rgb& frame, int tiles) {
    Rgb out;
    for (int y = 0; y < kHeight * tiles; ++y)
        for (int x = 0; x < kWidth * tiles; ++x) {
            const std::uint8_t* p =
                &frame[static_cast<std::size_t>(((y % kHeight) * kWidth + x % kWidth) * 3)];
            const int lift = (y / kHeight) * tiles + x / kWidth;
            for (int c = 0; c < 3; ++c)
                out.push_back(static_cast<std::uint8_t>(std::min(255, p[c] + lift)));
        }
    return out;
}

// The frames without optimisation, with the same palettes: the reducer's
// full frames as colours.
std::vector<Rgb> FullFrames(const std::vector<Rgb>& scene, TDitherMode mode, int& palettes,
                            int tolerance = 0) {
    TSharedPaletteReducer reducer(kWidth, kHeight, 255, mode, tolerance);
    std::vector<Rgb> out;
    for (const Rgb& frame : scene) {
        auto bitmap = ToBitmap(frame);
        const std::ptrdiff_t stride = bitmap->ScanLine(1) - bitmap->ScanLine(0);
        const TReducedFrame& r = reducer.Next(bitmap->ScanLine(0), stride);
        Rgb rgb;
        for (const std::uint8_t i : r.Indices) {
            const TPaletteEntry& e = r.Palette.at(i);
            rgb.insert(rgb.end(), {e.peRed, e.peGreen, e.peBlue});
        }
        out.push_back(std::move(rgb));
    }
    palettes = reducer.PalettesBuilt();
    return out;
}

TEST(OptimizedFrames, GiflibShowsTheUnoptimisedFramesExactly) {
    // With a tolerance, the reducer's frames differ; what giflib shows must
    // still be those frames exactly.
    const std::vector<Rgb> scene = Scene(9);
    for (const auto& [mode, tolerance] : std::vector<std::pair<TDitherMode, int>>{
             {TDitherMode::Nearest, 0},
             {TDitherMode::FloydSteinberg, 0},
             {TDitherMode::Stucki, 0},
             {TDitherMode::FloydSteinberg, kDefaultTolerance}}) {
        int palettes = 0;
        const std::vector<Rgb> expected = FullFrames(scene, mode, palettes, tolerance);
        EXPECT_EQ(palettes, 2) << "the lighting change alone asks for a new palette";

        TGIFDocument document;
        TOptimizedFrameAdder adder(mode, 255, tolerance);
        for (const Rgb& frame : scene) {
            auto bitmap = ToBitmap(frame);
            adder.Add(document, *bitmap);
        }
        const test::GiflibDecoded gif = test::GiflibDecode(test::SaveToBytes(document));
        ASSERT_TRUE(gif.Ok) << gif.Error;
        ASSERT_EQ(gif.Frames.size(), scene.size());
        const std::vector<Rgb> shown = test::GiflibComposite(gif);
        for (std::size_t k = 0; k < scene.size(); ++k)
            ASSERT_EQ(shown[k], expected[k]) << "frame " << k << " dither " << int(mode);

        // The optimisation shows in the file: the frame that repeats its
        // predecessor and the still frame carry one pixel, the moving square
        // only its own strip, and frames on the first palette use the global table.
        EXPECT_EQ(gif.Frames[0].Width * gif.Frames[0].Height, kWidth * kHeight);
        EXPECT_FALSE(gif.Frames[0].HasLocalMap);
        EXPECT_EQ(gif.Frames[0].TransparentIndex, -1);
        EXPECT_EQ(gif.Frames[3].Width * gif.Frames[3].Height, 1);
        EXPECT_EQ(gif.Frames.back().Width * gif.Frames.back().Height, 1);
        EXPECT_EQ(gif.Frames[1].Top, 10);
        EXPECT_FALSE(gif.Frames[2].HasLocalMap);
        EXPECT_TRUE(gif.Frames[scene.size() - 3].HasLocalMap);
        int transparentFrames = 0;
        for (const test::GiflibFrame& f : gif.Frames) {
            EXPECT_EQ(f.Disposal, 1);
            transparentFrames += f.TransparentIndex >= 0;
        }
        EXPECT_GT(transparentFrames, 0) << "the square's unchanged middle is left to show through";
    }
}

TEST(FrameOptimizer, RectanglesTransparencyAndFullPalettes) {
    const int w = 8, h = 6;
    std::vector<TGIFColor> palette(256);
    for (int i = 0; i < 256; ++i)
        palette[static_cast<std::size_t>(i)] =
            TGIFColor{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 7};
    std::vector<std::uint8_t> frame(w * h);
    for (std::size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<std::uint8_t>(i * 5);
    TFrameOptimizer optimizer(w, h);
    const TOptimizedFrame first = optimizer.Next(frame.data(), palette);
    EXPECT_EQ(std::make_tuple(first.Left, first.Top, first.Width, first.Height),
              std::make_tuple(0, 0, w, h));
    EXPECT_EQ(first.Pixels, frame);
    EXPECT_EQ(first.Colors, palette) << "a full palette gets no extra entry";

    // Two changed pixels with unchanged ones between them.
    std::vector<std::uint8_t> next = frame;
    next[1 * w + 2] = 255;
    next[3 * w + 6] = 254;
    const TOptimizedFrame second = optimizer.Next(next.data(), palette);
    EXPECT_EQ(std::make_tuple(second.Left, second.Top, second.Width, second.Height),
              std::make_tuple(2, 1, 5, 3));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const std::uint8_t got = second.Pixels[static_cast<std::size_t>(y * 5 + x)];
            const std::uint8_t want = next[static_cast<std::size_t>((y + 1) * w + x + 2)];
            EXPECT_TRUE(got == want || got == second.TransparentIndex);
        }
    // The transparent index of a full palette is one no changed pixel uses.
    EXPECT_NE(second.TransparentIndex, 255);
    EXPECT_NE(second.TransparentIndex, 254);

    // An index that equals another by colour is no change.
    std::vector<TGIFColor> twins = {{1, 2, 3}, {1, 2, 3}, {9, 9, 9}};
    TFrameOptimizer small(2, 1);
    const std::uint8_t a[2] = {0, 2};
    const std::uint8_t b[2] = {1, 2};
    small.Next(a, twins);
    const TOptimizedFrame same = small.Next(b, twins);
    EXPECT_EQ(same.Width * same.Height, 1);
    EXPECT_EQ(same.Colors.size(), 4u) << "three colours and the transparent entry";
    const std::uint8_t bad[2] = {3, 0};
    EXPECT_THROW(small.Next(bad, twins), GIFException);
    EXPECT_THROW(small.Next(a, {}), GIFException);
}

TEST(SharedPaletteReducer, OnlyTheChangedRectangleIsDitheredAgain) {
    const std::vector<Rgb> scene = Scene(6);
    TSharedPaletteReducer reducer(kWidth, kHeight, 255, TDitherMode::FloydSteinberg);
    std::vector<std::uint8_t> before;
    for (int k = 0; k < 3; ++k) {
        auto bitmap = ToBitmap(scene[static_cast<std::size_t>(k)]);
        const std::ptrdiff_t stride = bitmap->ScanLine(1) - bitmap->ScanLine(0);
        const TReducedFrame& r = reducer.Next(bitmap->ScanLine(0), stride);
        EXPECT_EQ(r.NewPalette, k == 0);
        EXPECT_LE(static_cast<int>(r.Palette.size()), 255);
        if (k > 0) {
            // The big square moves 4 pixels right in rows 10..21, the small
            // one a row down in columns 56..59.
            EXPECT_EQ(std::make_tuple(r.Left, r.Top, r.Width, r.Height),
                      std::make_tuple(5 + 4 * (k - 1), 10, 55 - 4 * (k - 1), 24 + k));
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x) {
                    const bool inside =
                        x >= r.Left && x < r.Left + r.Width && y >= r.Top && y < r.Top + r.Height;
                    if (!inside) {
                        ASSERT_EQ(r.Indices[static_cast<std::size_t>(y * kWidth + x)],
                                  before[static_cast<std::size_t>(y * kWidth + x)]);
                    }
                }
        }
        before = r.Indices;
    }
    EXPECT_EQ(reducer.PalettesBuilt(), 1);
}

// Mean squared error per channel of the shown colours against the source.
double ShownError(const TReducedFrame& r, const Rgb& source) {
    double sum = 0;
    for (std::size_t i = 0; i < r.Indices.size(); ++i) {
        const TPaletteEntry& e = r.Palette[r.Indices[i]];
        const int d[3] = {e.peRed - source[3 * i], e.peGreen - source[3 * i + 1],
                          e.peBlue - source[3 * i + 2]};
        sum += d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    }
    return sum / static_cast<double>(source.size());
}

TEST(SharedPaletteReducer, WithAToleranceJitterKeepsItsIndexesAndTheErrorStaysBounded) {
    // A still picture under a grain of up to two levels that changes every
    // frame, as decoded video has.
    const Rgb base = Scene(1)[0];
    std::mt19937 rng(11);
    std::vector<Rgb> frames;
    for (int k = 0; k <= 24; ++k) {
        Rgb f = base;
        for (auto& v : f)
            v = static_cast<std::uint8_t>(std::clamp(v + static_cast<int>(rng() % 5) - 2, 0, 255));
        frames.push_back(std::move(f));
    }
    constexpr int kTolerance = kDefaultTolerance;
    struct TRun {
        std::vector<double> Errors;
        int Changed = 0;
    };
    const auto run = [&](int tolerance) {
        TSharedPaletteReducer reducer(kWidth, kHeight, 16, TDitherMode::FloydSteinberg, tolerance);
        TRun result;
        std::vector<std::uint8_t> before;
        for (const Rgb& f : frames) {
            auto bitmap = ToBitmap(f);
            const TReducedFrame& r =
                reducer.Next(bitmap->ScanLine(0), bitmap->ScanLine(1) - bitmap->ScanLine(0));
            result.Errors.push_back(ShownError(r, f));
            for (std::size_t i = 0; i < before.size() && !r.NewPalette; ++i)
                result.Changed += r.Indices[i] != before[i];
            before = r.Indices;
        }
        return result;
    };
    const TRun exact = run(0);
    const TRun tolerant = run(kTolerance);
    // Nearly every index stays, and the shown colours stay about as close to
    // the source as when every pixel is dithered again.
    EXPECT_LT(tolerant.Changed * 20, exact.Changed) << exact.Changed;
    for (std::size_t k = 0; k < frames.size(); ++k)
        EXPECT_LE(tolerant.Errors[k], exact.Errors[k] + 3.0) << k;

    // A grey ramp moved 3 pixels left, so that each pixel is 9 levels
    // lighter in each channel, past the tolerance. The palette still fits, so
    // no new one is made, and the moved pixels must be dithered again: the
    // shown frame is about as close to the source as a fresh dithering with
    // that palette. (A kept index is at most the tolerance away from a
    // colour that was dithered, and inside the dithered rectangle at most the
    // tolerance squared further from the colour being dithered than the
    // nearest entry.)
    Rgb ramp(kWidth * kHeight * 3);
    Rgb lit = ramp;
    for (std::size_t i = 0; i < ramp.size(); ++i) {
        const int x = static_cast<int>((i / 3) % kWidth);
        ramp[i] = static_cast<std::uint8_t>(20 + 3 * x);
        lit[i] = static_cast<std::uint8_t>(20 + 3 * std::min(x + 3, kWidth - 1));
    }
    for (TDitherMode mode : {TDitherMode::Nearest, TDitherMode::FloydSteinberg}) {
        TSharedPaletteReducer reducer(kWidth, kHeight, 16, mode, kTolerance);
        auto first = ToBitmap(ramp);
        auto second = ToBitmap(lit);
        const std::ptrdiff_t stride = first->ScanLine(1) - first->ScanLine(0);
        reducer.Next(first->ScanLine(0), stride);
        const TReducedFrame& kept = reducer.Next(second->ScanLine(0), stride);
        ASSERT_FALSE(kept.NewPalette);
        // The same palette, every pixel dithered anew.
        TReducedFrame anew = kept;
        TExactColorLookup lookup(kept.Palette);
        auto engine = CreateBestDitherEngine(mode, kWidth, lookup);
        if (!engine)
            engine = CreateDitherEngine(mode, kWidth, lookup);
        for (int y = 0; y < kHeight; ++y) {
            engine->DitherRow(second->ScanLine(y), anew.Indices.data() + y * kWidth);
            engine->NextRow();
        }
        EXPECT_LE(ShownError(kept, lit), ShownError(anew, lit) + kTolerance * kTolerance / 3.0)
            << static_cast<int>(mode);
    }
}

TEST(OptimizedFrames, LayersOnlyMendAndGatherMoreColoursThanATable) {
    // The scene, then its last frame four times more: where the picture
    // stands still, every layer may only bring pixels closer.
    std::vector<Rgb> scene = Scene(9);
    for (int k = 0; k < 4; ++k)
        scene.push_back(scene.back());
    const auto distance = [](const std::uint8_t* a, const std::uint8_t* b) {
        const int d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
        return std::sqrt(static_cast<double>(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]));
    };
    for (const double margin : {0.0, 3.0}) {
        TEncoderTuning tuning;
        tuning.LayerMargin = margin;
        TGIFDocument document;
        TOptimizedFrameAdder adder(TDitherMode::Nearest, tuning);
        for (const Rgb& frame : scene)
            adder.Add(document, *ToBitmap(frame));
        const test::GiflibDecoded gif = test::GiflibDecode(test::SaveToBytes(document));
        ASSERT_TRUE(gif.Ok) << gif.Error;
        const std::vector<Rgb> shown = test::GiflibComposite(gif);
        ASSERT_EQ(shown.size(), scene.size());
        std::vector<double> errors;
        for (std::size_t k = 0; k < scene.size(); ++k) {
            double sum = 0;
            for (std::size_t i = 0; i < scene[k].size(); i += 3) {
                const double now = distance(&shown[k][i], &scene[k][i]);
                sum += now * now;
                // A pixel is drawn only when its new colour is closer than
                // what was shown by more than the margin.
                if (k > 0 && !std::equal(&shown[k][i], &shown[k][i] + 3, &shown[k - 1][i])) {
                    ASSERT_LT(now + margin, distance(&shown[k - 1][i], &scene[k][i]))
                        << "margin " << margin << " frame " << k << " pixel " << i / 3;
                }
            }
            errors.push_back(sum);
        }
        // Without a margin, the picture after the lighting change (frame 6)
        // comes closer, with colours no one table holds.
        if (margin > 0)
            continue;
        EXPECT_LT(errors.back(), errors[6] * 0.8);
        std::vector<std::array<std::uint8_t, 3>> colours;
        for (std::size_t i = 0; i < shown.back().size(); i += 3)
            colours.push_back({shown.back()[i], shown.back()[i + 1], shown.back()[i + 2]});
        std::sort(colours.begin(), colours.end());
        EXPECT_GT(std::unique(colours.begin(), colours.end()) - colours.begin(), 256);
    }
}

// A rich first frame shows more colours than the shared palette holds, and
// later every pixel shows what the shared road shows or what the screen
// showed before: the pixels the reducer keeps go on showing the first frame.
TEST(OptimizedFrames, ARichFirstFrameStaysWhereTheReducerKeepsItsIndexes) {
    constexpr int kTiles = 5; // 320 x 240 pixels
    std::vector<Rgb> small = Scene(9);
    std::vector<Rgb> scene;
    for (const Rgb& frame : small)
        scene.push_back(Tiled(frame, kTiles));
    const auto encoded = [&](const std::vector<Rgb>& frames, int tiles, int firstColors) {
        TEncoderTuning tuning;
        tuning.Colors = 16;
        tuning.Tolerance = 12;
        tuning.FirstColors = firstColors;
        TGIFDocument document;
        TOptimizedFrameAdder adder(TDitherMode::Nearest, tuning);
        for (const Rgb& frame : frames)
            adder.Add(document, *ToBitmap(frame, kWidth * tiles, kHeight * tiles));
        return test::SaveToBytes(document);
    };
    const auto shown = [&](const std::vector<Rgb>& frames, int tiles, int firstColors) {
        const test::GiflibDecoded gif = test::GiflibDecode(encoded(frames, tiles, firstColors));
        EXPECT_TRUE(gif.Ok) << gif.Error;
        return test::GiflibComposite(gif);
    };
    // A small picture has none: the shared road's frames. Nor has a drawn
    // one of eight colours, which the shared palette fits.
    EXPECT_EQ(shown(small, 1, 255), shown(small, 1, 0));
    std::vector<Rgb> drawn = scene;
    for (Rgb& frame : drawn)
        for (std::uint8_t& v : frame)
            v &= 0x80;
    EXPECT_EQ(encoded(drawn, kTiles, 255), encoded(drawn, kTiles, 0));
    const std::vector<Rgb> plain = shown(scene, kTiles, 0);
    const std::vector<Rgb> rich = shown(scene, kTiles, 255);
    ASSERT_EQ(plain.size(), scene.size());
    ASSERT_EQ(rich.size(), scene.size());
    std::vector<std::array<std::uint8_t, 3>> colours;
    for (std::size_t i = 0; i < rich[0].size(); i += 3)
        colours.push_back({rich[0][i], rich[0][i + 1], rich[0][i + 2]});
    std::sort(colours.begin(), colours.end());
    EXPECT_GT(std::unique(colours.begin(), colours.end()) - colours.begin(), 16);
    int kept = 0;
    for (std::size_t k = 1; k < scene.size(); ++k)
        for (std::size_t i = 0; i < scene[k].size(); i += 3) {
            const bool same = std::equal(&rich[k][i], &rich[k][i] + 3, &plain[k][i]);
            const bool stays = std::equal(&rich[k][i], &rich[k][i] + 3, &rich[k - 1][i]);
            ASSERT_TRUE(same || stays) << "frame " << k << " pixel " << i / 3;
            kept += same ? 0 : 1;
        }
    EXPECT_GT(kept, 0);
}

// Trying layers changes none of the frames tried; after them the frames are
// layers only where the layers cost less for their error (and, weighed by
// structure too, for their structural loss).
TEST(OptimizedFrames, TriedLayersAreTakenOnlyWhereTheyWin) {
    const std::vector<Rgb> scene = Scene(9);
    // Dark grain, new in every frame: layers with a margin keep stale grain.
    std::vector<Rgb> grain;
    for (int k = 0; k < 9; ++k) {
        std::mt19937 rng(static_cast<unsigned>(k));
        Rgb frame(kWidth * kHeight * 3);
        for (std::size_t i = 0; i < frame.size(); ++i)
            frame[i] = static_cast<std::uint8_t>(6 + (i / 3 % kWidth) / 8 + rng() % 7);
        grain.push_back(frame);
    }
    struct TCase {
        const char* What;
        const std::vector<Rgb>* Frames;
        int Colors;
        int ProbeColors;
        double ProbeMargin;
        bool Structure;
        bool Layered;
    };
    const TCase cases[] = {
        // Two shared colours show the scene badly; layers of 64 mend it.
        {"two shared colours, rich layers", &scene, 2, 64, 0.0, false, true},
        // Layers of one colour with a wide margin leave the squares behind.
        {"a full palette, poor layers", &scene, 255, 1, 40.0, false, false},
        // Stale grain costs the layers little squared error for their size,
        // but shifts the means of dark blocks.
        {"grain, layers with a margin", &grain, 255, 255, 6.0, false, true},
        {"grain, layers with a margin, by structure", &grain, 255, 255, 6.0, true, false},
    };
    constexpr int kTried = 3;
    for (const TCase& c : cases) {
        TEncoderTuning plain;
        plain.Colors = c.Colors;
        TEncoderTuning tried = plain;
        tried.ProbeFrames = kTried;
        tried.ProbeColors = c.ProbeColors;
        tried.ProbeMargin = c.ProbeMargin;
        tried.ProbeStructure = c.Structure;
        TOptimizedFrameSequence shared(TDitherMode::Nearest, plain);
        TOptimizedFrameSequence probed(TDitherMode::Nearest, tried);
        int same = 0;
        for (const Rgb& frame : *c.Frames) {
            const TOptimizedFrame a = shared.Next(*ToBitmap(frame));
            const TOptimizedFrame b = probed.Next(*ToBitmap(frame));
            const bool equal = a.Pixels == b.Pixels && a.Colors == b.Colors && a.Left == b.Left &&
                               a.Top == b.Top && a.Width == b.Width && a.Height == b.Height;
            if (same < kTried + 1) {
                ASSERT_TRUE(equal) << c.What << ": frame " << same << " was tried, not changed";
            }
            same += equal ? 1 : 0;
        }
        if (c.Layered)
            EXPECT_EQ(same, kTried + 1) << c.What;
        else
            EXPECT_EQ(same, static_cast<int>(c.Frames->size())) << c.What;
    }
}

// Frames large enough for a layer to be drawn in bands, and its palette made
// on several threads, come out the same for any number of threads.
TEST(OptimizedFrames, LayersAreTheSameForAnyNumberOfThreads) {
    constexpr int kTiles = 8; // 512 x 384 pixels
    TEncoderTuning tuning;
    tuning.LayerMargin = 1.0;
    std::vector<std::vector<std::uint8_t>> first;
    for (const int threads : {1, 2, 3}) {
        TOptimizedFrameSequence sequence(TDitherMode::Nearest, tuning, threads);
        std::vector<std::vector<std::uint8_t>> frames;
        for (const Rgb& frame : Scene(6)) {
            TOptimizedFrame optimized =
                sequence.Next(*ToBitmap(Tiled(frame, kTiles), kWidth * kTiles, kHeight * kTiles));
            frames.push_back(optimized.Pixels);
            for (const TGIFColor& c : optimized.Colors)
                frames.back().insert(frames.back().end(), {c.Red, c.Green, c.Blue});
        }
        if (first.empty())
            first = frames;
        else
            EXPECT_EQ(frames, first) << threads << " threads";
    }
}

// A layer's strings: a drawn pixel may take another entry, or become a hole
// that shows the screen, only within the bound of its own entry; a pixel
// left undrawn stays so; and the coded data does not grow (a wide bound
// shortens it by a tenth).
TEST(LzwStringChoice, ALayerTradesOnlyWithinTheBound) {
    constexpr int kW = 96, kH = 64, kColors = 12;
    std::vector<TPaletteEntry> palette;
    for (int i = 0; i < kColors; ++i)
        palette.push_back(TPaletteEntry{static_cast<std::uint8_t>(20 * i),
                                        static_cast<std::uint8_t>(20 * i),
                                        static_cast<std::uint8_t>(20 * i), 0});
    std::mt19937 rng(3);
    const auto noise = [&](int spread) {
        return static_cast<int>(rng() % (2 * spread + 1)) - spread;
    };
    const std::size_t pixels = kW * kH;
    std::vector<std::uint8_t> bgr(3 * pixels), screen(3 * pixels), indices(pixels), drawn(pixels);
    for (std::size_t i = 0; i < pixels; ++i) {
        const int grey = std::clamp(static_cast<int>(i % kW / 8) * 20 + noise(8), 0, 255);
        std::fill_n(&bgr[3 * i], 3, static_cast<std::uint8_t>(grey));
        std::fill_n(&screen[3 * i], 3,
                    static_cast<std::uint8_t>(std::clamp(grey + noise(14), 0, 255)));
        indices[i] = static_cast<std::uint8_t>(std::clamp((grey + 10) / 20, 0, kColors - 1));
        drawn[i] = rng() % 3 != 0 ? 1 : 0;
    }
    // Holes coded as the palette's size, as the frame will be.
    const auto coded = [&](const std::vector<std::uint8_t>& ix,
                           const std::vector<std::uint8_t>& d) {
        std::vector<std::uint8_t> out(pixels);
        for (std::size_t i = 0; i < pixels; ++i)
            out[i] = d[i] != 0 ? ix[i] : static_cast<std::uint8_t>(kColors);
        return LzwDataSize(out, kW, kH, kColors + 1);
    };
    const std::size_t before = coded(indices, drawn);
    for (const int bound : {0, 6, 12, 24}) {
        std::vector<std::uint8_t> ix = indices, d = drawn;
        TLzwChoiceBlock block{ix.data(), kW, 0, 0, kW, kH, bgr.data(), 3 * kW, nullptr};
        block.Drawn = d.data();
        block.ScreenRgb = screen.data();
        ExtendLzwStrings(block, palette, bound);
        int traded = 0;
        for (std::size_t i = 0; i < pixels; ++i) {
            ASSERT_TRUE(drawn[i] != 0 || (d[i] == 0 && ix[i] == indices[i])) << "undrawn " << i;
            const int g = bgr[3 * i] - screen[3 * i];
            const int now =
                d[i] != 0 ? TExactColorLookup::Distance(palette[ix[i]], &bgr[3 * i]) : 3 * g * g;
            if (drawn[i] != 0) {
                ASSERT_LE(now, TExactColorLookup::Distance(palette[indices[i]], &bgr[3 * i]) +
                                   bound * bound)
                    << "bound " << bound << ", pixel " << i;
            }
            traded += d[i] != drawn[i] || ix[i] != indices[i] ? 1 : 0;
        }
        EXPECT_EQ(traded > 0, bound > 0) << bound;
        EXPECT_LE(coded(ix, d) * (bound < 24 ? 1 : 10), before * (bound < 24 ? 1 : 9)) << bound;
    }
}

} // namespace
} // namespace framolo
