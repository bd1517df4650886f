#include "gif/optimized_frames.h"

#include "color/best_quantizer.h"
#include "color/changed_rect.h"
#include "color/dib_access.h"
#include "color/exact_color_lookup.h"
#include "color/parallel_parts.h"
#include "gif/lzw_string_choice.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace framolo {

namespace {
// A layer's palette is made from the pixels further from their colour than
// the margin by kLayerPoolSlack RGB levels, and than kLayerPoolShare of the
// picture's pixels (measured on every kLayerSampleStep-th one), though never
// leaving out pixels further than kLayerNoise: the share stands for the noise
// of a picture that stands still, and where it moves most pixels are further
// off than noise.
constexpr double kLayerPoolSlack = 2.0;
constexpr double kLayerPoolShare = 0.75;
constexpr double kLayerNoise = 6.0;
constexpr std::size_t kLayerSampleStep = 7;
// A smaller picture gets no rich first frame: there a second table and the
// richer frame cost more than the colours its still parts keep give back.
constexpr std::int64_t kRichFirstPixels = 65536;
// Nor does a first frame that the shared palette fits within 4 RGB levels
// (TReducedFrame::PaletteError): a drawn picture of few colours, which more
// colours would change by nothing a person sees.
constexpr double kRichFirstError = 16.0;
// A layer with fewer pixels to look up is drawn on one thread.
constexpr std::size_t kLayerPixelsPerThread = 131072;
// The side of the blocks whose structure tried frames are weighed by.
constexpr int kSsimBlock = 8;

std::vector<TGIFColor> GifColors(const std::vector<TPaletteEntry>& entries) {
    std::vector<TGIFColor> colors;
    colors.reserve(entries.size());
    for (const TPaletteEntry& e : entries)
        colors.push_back(TGIFColor{e.peRed, e.peGreen, e.peBlue});
    return colors;
}

// How far a picture's structure is from the screen's: 1 minus the mean SSIM
// of its kSsimBlock-square blocks, over red, green and blue.
double StructuralLoss(const TOptimizedFrameSequence::TReducedStep& step,
                      const std::vector<std::uint8_t>& screen) {
    // The constants of the SSIM that video tools report: 0.03 * 255 squared
    // for the contrast, and 1/64 of 0.01 * 255 squared for the mean, which so
    // weighs a shifted mean in dark blocks strongly.
    constexpr double kC1 = 6.5025 / 64, kC2 = 58.5225 * 63 / 64;
    const auto w = static_cast<std::size_t>(step.Width);
    double sum = 0;
    int blocks = 0;
    for (int top = 0; top + kSsimBlock <= step.Height; top += kSsimBlock)
        for (int left = 0; left + kSsimBlock <= step.Width; left += kSsimBlock)
            for (int c = 0; c < 3; ++c) {
                std::int64_t a = 0, b = 0, aa = 0, bb = 0, ab = 0;
                for (int y = top; y < top + kSsimBlock; ++y) {
                    const std::uint8_t* p = step.Bgr + step.Stride * y + 3 * left + (2 - c);
                    const std::uint8_t* s =
                        screen.data() +
                        3 * (static_cast<std::size_t>(y) * w + static_cast<std::size_t>(left)) + c;
                    for (int x = 0; x < kSsimBlock; ++x, p += 3, s += 3) {
                        a += *p;
                        b += *s;
                        aa += *p * *p;
                        bb += *s * *s;
                        ab += *p * *s;
                    }
                }
                constexpr double n = kSsimBlock * kSsimBlock;
                const double ma = static_cast<double>(a) / n, mb = static_cast<double>(b) / n;
                const double va = static_cast<double>(aa) / n - ma * ma;
                const double vb = static_cast<double>(bb) / n - mb * mb;
                const double cov = static_cast<double>(ab) / n - ma * mb;
                sum += (2 * ma * mb + kC1) * (2 * cov + kC2) /
                       ((ma * ma + mb * mb + kC1) * (va + vb + kC2));
                ++blocks;
            }
    return blocks > 0 ? 1.0 - sum / blocks : 0;
}

} // namespace

TOptimizedFrameSequence::TOptimizedFrameSequence(TDitherMode mode, int colors, int tolerance)
    : TOptimizedFrameSequence(mode, TSharedPaletteReducer::TTuning{colors, tolerance}) {}

TOptimizedFrameSequence::TOptimizedFrameSequence(TDitherMode mode,
                                                 const TSharedPaletteReducer::TTuning& tuning,
                                                 int threads)
    : mode_(mode), tuning_(tuning), threads_(std::max(threads, 1)) {}

TOptimizedFrameSequence::~TOptimizedFrameSequence() = default;

TOptimizedFrame TOptimizedFrameSequence::Next(TBitmap& frame) {
    TReducedStep step = Reduce(frame);
    return Place(step);
}

TOptimizedFrameSequence::TReducedStep TOptimizedFrameSequence::Reduce(TBitmap& frame) {
    const int width = frame.Width();
    const int height = frame.Height();
    if (width <= 0 || height <= 0 || (width_ > 0 && (width != width_ || height != height_)))
        throw GIFException("Invalid image dimensions");
    width_ = width;
    height_ = height;
    TDIBReader reader(frame, TPixelFormat::pf24bit);
    TReducedStep step;
    step.Width = width;
    step.Height = height;
    step.Bgr = reader.RowPointer(0);
    step.Stride = height > 1 ? reader.RowPointer(1) - reader.RowPointer(0) : 0;
    // Layers are made from the screen, which only Place knows.
    if (tuning_.LayerMargin >= 0 || layered_.load())
        return step;
    if (!reducer_)
        reducer_ = std::make_unique<TSharedPaletteReducer>(width, height, mode_, tuning_);
    // What the reducer chose before, for telling the pixels it kept; only the
    // string search and a rich first frame need it.
    if (tuning_.LzwBound > 0 || tuning_.FirstColors > 0)
        step.Before = reducer_->Indices();
    step.Frame = reducer_->Next(step.Bgr, step.Stride);
    if (step.Frame.NewPalette)
        step.Before.clear();
    return step;
}

TOptimizedFrame TOptimizedFrameSequence::Place(TReducedStep& step) {
    TReducedFrame& reduced = step.Frame;
    if (!optimizer_)
        optimizer_ = std::make_unique<TFrameOptimizer>(step.Width, step.Height);
    if (tuning_.LayerMargin >= 0)
        return PlaceLayer(step, tuning_.Colors, tuning_.LayerMargin, 0);
    if (layered_.load()) {
        // The layers taken may go further than the tried ones.
        if (tuning_.LayeredMargin > tuning_.ProbeMargin)
            return PlaceLayer(step, tuning_.ProbeColors, tuning_.LayeredMargin,
                              tuning_.LayeredLzwBound);
        return PlaceLayer(step, tuning_.ProbeColors, tuning_.ProbeMargin, tuning_.ProbeLzwBound);
    }
    if (!optimizer_->Started() && tuning_.FirstColors > 0 &&
        static_cast<std::int64_t>(step.Width) * step.Height >= kRichFirstPixels &&
        reduced.PaletteError >= kRichFirstError) {
        // The reducer goes on from its own first frame; only the screen shows
        // the richer one. The file's global table is the reducer's, which the
        // frames after this one use.
        richFirst_ = true;
        global_ = TFrameOptimizer::TableFor(GifColors(reduced.Palette));
        if (tuning_.LzwBound > 0)
            shown_ = std::move(reduced.Indices);
        TOptimizedFrame first = PlaceLayer(step, tuning_.FirstColors, 0, 0);
        if (!first.UsesGlobalTable)
            first.GlobalTable = global_;
        return first;
    }
    // After a rich first frame, only the pixels whose index the reducer
    // changed are drawn (all of them on a new palette).
    std::vector<std::uint8_t> drawn;
    if (richFirst_ && !step.Before.empty()) {
        drawn.resize(reduced.Indices.size());
        for (std::size_t i = 0; i < drawn.size(); ++i)
            drawn[i] = reduced.Indices[i] != step.Before[i] ? 1 : 0;
    }
    // The layer this frame would be on a screen of its own, which layers
    // alone have drawn since the first frame.
    const bool probe =
        tuning_.ProbeMargin >= 0 && probed_ < tuning_.ProbeFrames && optimizer_->Started();
    if (probe) {
        if (!probeScreen_)
            probeScreen_ = std::make_unique<TFrameOptimizer>(*optimizer_);
        std::swap(optimizer_, probeScreen_);
        AddCost(PlaceLayer(step, tuning_.ProbeColors, tuning_.ProbeMargin, tuning_.ProbeLzwBound),
                step, probeLayers_);
        std::swap(optimizer_, probeScreen_);
    }
    if (tuning_.LzwBound > 0) {
        // A pixel the reducer kept shows what it showed, unless that entry is
        // now further from its colour than the bound allows beside the
        // reducer's own; the others may take an entry that lengthens the
        // coder's strings.
        const bool kept = !step.Before.empty() && shown_.size() == reduced.Indices.size();
        std::size_t changed = reduced.Indices.size();
        if (kept) {
            changed = 0;
            std::vector<std::uint8_t> indices = shown_;
            const auto w = static_cast<std::size_t>(step.Width);
            const int slack = tuning_.LzwBound * tuning_.LzwBound;
            const auto distance = [&](const std::uint8_t* bgr, std::uint8_t index) {
                return TExactColorLookup::Distance(reduced.Palette[index], bgr);
            };
            for (int y = reduced.Top; y < reduced.Top + reduced.Height; ++y) {
                const std::uint8_t* row = step.Bgr + step.Stride * y;
                for (int x = reduced.Left; x < reduced.Left + reduced.Width; ++x) {
                    const std::size_t i =
                        static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x);
                    const std::uint8_t own = reduced.Indices[i];
                    changed += own != step.Before[i] ? 1 : 0;
                    if (own != step.Before[i] ||
                        (own != indices[i] &&
                         distance(row + 3 * x, indices[i]) > distance(row + 3 * x, own) + slack))
                        indices[i] = own;
                }
            }
            reduced.Indices = std::move(indices);
        }
        // An error that moves with the picture is seen less than one that
        // stands: the more of the frame changed, the further the bound goes,
        // up to 2.5 times the tuning's for a frame that changed as a whole.
        const std::size_t total = std::max<std::size_t>(reduced.Indices.size(), 1);
        const int grown =
            tuning_.LzwBound + static_cast<int>(static_cast<std::size_t>(3 * tuning_.LzwBound) *
                                                changed / (2 * total));
        // Past 10 levels a grown bound spoils drawn edges (text, lines) that
        // then stand still, and saves little: it grows no further.
        const int bound = std::min(grown, std::max(tuning_.LzwBound, 10));
        ExtendLzwStrings({reduced.Indices.data(), step.Width, reduced.Left, reduced.Top,
                          reduced.Width, reduced.Height, step.Bgr, step.Stride,
                          kept ? shown_.data() : nullptr},
                         reduced.Palette, bound);
    }
    TOptimizedFrame optimized =
        Locate(reduced.Palette, reduced.Indices.data(), drawn.empty() ? nullptr : drawn.data());
    // The step is spent: its indexes become what the screen shows.
    if (tuning_.LzwBound > 0)
        shown_ = std::move(reduced.Indices);
    if (probe) {
        AddCost(optimized, step, probeShared_);
        if (++probed_ == tuning_.ProbeFrames) {
            probeScreen_.reset();
            layered_.store(probeLayers_.Weight(tuning_.ProbeStructure) <
                           probeShared_.Weight(tuning_.ProbeStructure));
        }
    }
    return optimized;
}

void TOptimizedFrameSequence::AddCost(TOptimizedFrame frame, const TReducedStep& step,
                                      TCost& total) const {
    TFrameOptimizer::ChooseTransparency(frame);
    total.Bytes += static_cast<double>(LzwDataSize(frame.Pixels, frame.Width, frame.Height,
                                                   static_cast<int>(frame.Colors.size())) +
                                       (frame.UsesGlobalTable ? 0 : 3 * frame.Colors.size()));
    const std::vector<std::uint8_t>& screen = optimizer_->Screen();
    const auto w = static_cast<std::size_t>(step.Width);
    for (int y = 0; y < step.Height; ++y) {
        const std::uint8_t* p = step.Bgr + step.Stride * y;
        const std::uint8_t* s = screen.data() + 3 * static_cast<std::size_t>(y) * w;
        std::int64_t row = 0;
        for (std::size_t x = 0; x < w; ++x, p += 3, s += 3)
            row += TExactColorLookup::ScreenDistance(p, s);
        total.Error += static_cast<double>(row);
    }
    if (tuning_.ProbeStructure)
        total.Structure += StructuralLoss(step, screen);
}

TOptimizedFrame TOptimizedFrameSequence::Locate(const std::vector<TPaletteEntry>& entries,
                                                const std::uint8_t* indices,
                                                const std::uint8_t* drawn) {
    TOptimizedFrame optimized = optimizer_->Locate(indices, GifColors(entries), drawn);
    if (global_.empty())
        global_ = optimized.Colors;
    optimized.UsesGlobalTable = optimized.Colors == global_;
    return optimized;
}

TOptimizedFrame TOptimizedFrameSequence::PlaceLayer(const TReducedStep& step, int colors,
                                                    double layerMargin, int lzwBound) {
    const auto w = static_cast<std::size_t>(step.Width);
    const std::size_t pixels = w * static_cast<std::size_t>(step.Height);
    const bool first = !optimizer_->Started();
    const std::vector<std::uint8_t>& screen = optimizer_->Screen();
    const double margin = std::max(layerMargin, 0.0);
    // How far each pixel's colour is from what the screen shows (squared).
    layerShown_.resize(pixels);
    // Pixels past the margin, each of which the drawing below looks up.
    std::size_t lookups = 0;
    const double marginSquared = margin * margin;
    for (int y = 0; y < step.Height; ++y) {
        const std::uint8_t* p = step.Bgr + step.Stride * y;
        const std::uint8_t* s = screen.data() + 3 * static_cast<std::size_t>(y) * w;
        int* shown = layerShown_.data() + static_cast<std::size_t>(y) * w;
        for (std::size_t x = 0; x < w; ++x, p += 3, s += 3) {
            shown[x] =
                first ? std::numeric_limits<int>::max() : TExactColorLookup::ScreenDistance(p, s);
            lookups += static_cast<double>(shown[x]) > marginSquared ? 1 : 0;
        }
    }
    // The palette is spent on the pixels the screen shows worst: further from
    // their colour than the margin by kLayerPoolSlack, and than three
    // quarters of the picture (or kLayerNoise). Built over every pixel that could be drawn, it
    // would go to the many that are off by a level or two (noise in video,
    // rounding in drawn pictures) and mend few; pixels left out still take an
    // entry that lands near them.
    double poolDistance = margin + kLayerPoolSlack;
    if (!first) {
        std::vector<int> sample;
        sample.reserve(pixels / kLayerSampleStep + 1);
        for (std::size_t i = 0; i < pixels; i += kLayerSampleStep)
            sample.push_back(layerShown_[i]);
        const auto at = sample.begin() + static_cast<std::ptrdiff_t>(
                                             static_cast<double>(sample.size()) * kLayerPoolShare);
        std::nth_element(sample.begin(), at, sample.end());
        poolDistance =
            std::max(poolDistance, std::min(kLayerNoise, std::sqrt(static_cast<double>(*at))));
    }
    layerPool_.clear();
    for (int y = 0; y < step.Height; ++y) {
        const std::uint8_t* row = step.Bgr + step.Stride * y;
        const int* shown = layerShown_.data() + static_cast<std::size_t>(y) * w;
        for (std::size_t x = 0; x < w; ++x)
            if (static_cast<double>(shown[x]) > poolDistance * poolDistance)
                layerPool_.insert(layerPool_.end(), row + 3 * x, row + 3 * x + 3);
    }
    // With nothing far off, the last palette serves the few pixels that may still gain.
    if (!layerPool_.empty())
        layerPalette_ = TBestQuantizer(std::clamp(colors, 1, 255), tuning_.RefineRounds,
                                       tuning_.SamplePixels, threads_)
                            .Quantize(layerPool_.data(), static_cast<int>(layerPool_.size() / 3), 1,
                                      static_cast<std::ptrdiff_t>(layerPool_.size()));
    if (layerPalette_.empty())
        layerPalette_.push_back(TPaletteEntry{});
    layerIndices_.assign(pixels, 0);
    layerDrawn_.assign(pixels, 0);
    // Bands of rows are drawn apart, each with a lookup of its own.
    const int bands = lookups >= kLayerPixelsPerThread ? threads_ : 1;
    // Locals, since the byte stores below could otherwise alias them.
    const int* distances = layerShown_.data();
    std::uint8_t* indices = layerIndices_.data();
    std::uint8_t* drawn = layerDrawn_.data();
    const std::uint8_t* bgr = step.Bgr;
    const std::ptrdiff_t stride = step.Stride;
    const int height = step.Height;
    RunInParts(bands, [=, this](int band) {
        TExactColorLookup lookup(layerPalette_);
        for (int y = height * band / bands; y < height * (band + 1) / bands; ++y) {
            const std::uint8_t* p = bgr + stride * y;
            const std::size_t at = static_cast<std::size_t>(y) * w;
            for (std::size_t x = 0; x < w; ++x, p += 3) {
                // On the first frame every distance is the largest int: all is drawn.
                const double shown = static_cast<double>(distances[at + x]);
                if (shown <= marginSquared)
                    continue;
                int distance = 0;
                const int index = lookup.Nearest(p[2], p[1], p[0], distance);
                if (std::sqrt(static_cast<double>(distance)) + margin < std::sqrt(shown)) {
                    indices[at + x] = static_cast<std::uint8_t>(index);
                    drawn[at + x] = 1;
                }
            }
        }
    });
    if (lzwBound > 0 && !first) {
        // Over the drawn pixels' rectangle, which the frame is cut to.
        const TChangedRect rect = FindChangedRect(
            step.Width, step.Height, [](int) { return false; },
            [&](int x, int y) {
                return drawn[static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x)] != 0;
            });
        if (!rect.Empty()) {
            TLzwChoiceBlock block{indices,
                                  step.Width,
                                  rect.Left,
                                  rect.Top,
                                  rect.Right - rect.Left + 1,
                                  rect.Bottom - rect.Top + 1,
                                  bgr,
                                  stride,
                                  nullptr};
            block.Drawn = drawn;
            block.ScreenRgb = screen.data();
            ExtendLzwStrings(block, layerPalette_, lzwBound);
        }
    }
    return Locate(layerPalette_, layerIndices_.data(), layerDrawn_.data());
}

int AddOptimizedFrame(TGIFDocument& document, TOptimizedFrame&& frame) {
    auto sub = std::make_unique<TGIFSubImage>(&document);
    sub->SetBounds(frame.Left, frame.Top, frame.Width, frame.Height);
    sub->SetPixels(std::move(frame.Pixels));
    if (!frame.UsesGlobalTable)
        sub->ColorMap().SetColors(frame.Colors);

    auto control = std::make_unique<TGIFGraphicControlExtension>(sub.get());
    control->SetDisposal(frame.Disposal);
    if (frame.TransparentIndex >= 0) {
        control->SetTransparentColorIndex(frame.TransparentIndex);
        control->SetTransparent(true);
    }
    sub->Extensions().Add(std::move(control));
    return document.Add(std::move(sub));
}

TOptimizedFrameAdder::TOptimizedFrameAdder(TDitherMode mode, int colors, int tolerance)
    : sequence_(mode, colors, tolerance) {}

TOptimizedFrameAdder::TOptimizedFrameAdder(TDitherMode mode,
                                           const TSharedPaletteReducer::TTuning& tuning)
    : sequence_(mode, tuning) {}

int TOptimizedFrameAdder::Add(TGIFDocument& document, TBitmap& frame) {
    TOptimizedFrame optimized = sequence_.Next(frame);
    TFrameOptimizer::ChooseTransparency(optimized);
    if (document.GlobalColorMap().Count() == 0)
        document.GlobalColorMap().SetColors(optimized.GlobalTable.empty() ? optimized.Colors
                                                                          : optimized.GlobalTable);
    return AddOptimizedFrame(document, std::move(optimized));
}

} // namespace framolo
