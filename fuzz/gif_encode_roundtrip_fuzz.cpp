// Fuzz target: pictures through the import and the writer and back. The input
// chooses the document's import settings and one to three small pictures;
// each picture is added to the document as the AVI-to-GIF job adds a decoded
// frame, and the document is saved. Checked:
// - the import keeps its promises: one index per pixel within the frame's
//   table; a picture of 8 bits, or one imported without reduction, keeps its
//   exact colours; the pixels of the transparent colour, and only those, get
//   the transparent index;
// - the saved file reads back, in our reader and (when linked) in giflib, to
//   the very indexes, colour tables and transparent indexes that were encoded.
//
// Input layout (bytes past the end come from a generator seeded by the input,
// so every input makes whole pictures):
//   0  reduction, index into kReductions (modulo)
//   1  dithering mode (modulo 7)
//   2  bit 0: coder (DataCoding 0 = LZW, 1 = run-length); bits 1..7: QuantizeBits
//      (modulo 9; Quantize and BestQuality make up to 2^QuantizeBits colours)
//   3  bits 0..1: frames - 1 (modulo 3); bit 2: transparent pictures;
//      bit 3: frame 0's table becomes the global one; bit 4: frames interlaced
//   per frame:
//      width - 1, height - 1 (modulo 64 each);
//      kind: bit 0: 8 bits with a palette (else 24 bits); bits 1..2: pattern
//      (0 fresh values, 1 runs, 2 a few values, 3 gradient);
//      8 bits: palette entries - 1, then the entries (red, green, blue);
//      then the pattern's bytes.
#include "gif/gif_document.h"
#include "gif/gif_reader.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/gif_exception.h"
#include "platform/streams/stream.h"

#ifdef FRAMOLO_FUZZ_GIFLIB
#include "giflib_util.h"
#endif

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace framolo;

namespace {

// The window's eight methods, the best-quality road and no reduction at all.
// CustomPalette is left out: the document has no way to hand the import a
// palette, and without one the import always fails.
constexpr std::array kReductions = {TColorReduction::Windows20,   TColorReduction::Windows256,
                                    TColorReduction::WindowsGray, TColorReduction::Monochrome,
                                    TColorReduction::GrayScale,   TColorReduction::Netscape,
                                    TColorReduction::Quantize,    TColorReduction::QuantizeWindows,
                                    TColorReduction::BestQuality, TColorReduction::NoReduction};

constexpr int kMaxSide = 64;
constexpr int kMaxFrames = 3;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "round trip broken: %s\n", what);
        __builtin_trap();
    }
}

// Only a screen that grows for a larger frame may warn; the list is emptied.
void CheckWarnings(std::vector<std::string>& warnings, bool screenGrows, const char* when) {
    for (const std::string& warning : warnings)
        if (!screenGrows ||
            (warning != gifmsg::ImageWidthTooSmall && warning != gifmsg::ImageHeightTooSmall &&
             warning != gifmsg::ImageExceedsScreen)) {
            std::fprintf(stderr, "warning while %s: %s\n", when, warning.c_str());
            Check(false, "unexpected warning");
        }
    warnings.clear();
}

// The input's bytes, then a xorshift generator seeded by all of them.
class TInputBytes {
public:
    TInputBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {
        for (std::size_t i = 0; i < size; ++i)
            state_ = (state_ ^ data[i]) * 16777619u;
        if (state_ == 0)
            state_ = 1;
    }
    std::uint8_t Byte() {
        if (pos_ < size_)
            return data_[pos_++];
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<std::uint8_t>(state_ >> 24);
    }
    int Below(int n) { return Byte() % n; }
    TColor Color() {
        const std::uint8_t r = Byte();
        const std::uint8_t g = Byte();
        return RGB(r, g, Byte());
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    std::uint32_t state_ = 2166136261u;
};

struct TPicture {
    std::unique_ptr<TBitmap> Bitmap;
    bool Indexed = false;
    // Every pixel's colour, rows top to bottom.
    std::vector<TColor> Colors;
    TColor TransparentColor = clNone;
};

// Pixel values (an index below `entries` for 8 bits, else a colour) in the
// chosen pattern, rows top to bottom.
std::vector<std::uint32_t> PatternValues(TInputBytes& in, int width, int height, int pattern,
                                         int entries) {
    const auto fresh = [&]() -> std::uint32_t {
        return entries > 0 ? static_cast<std::uint32_t>(in.Below(entries)) : in.Color();
    };
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::vector<std::uint32_t> values;
    values.reserve(count);
    switch (pattern) {
    case 0:
        while (values.size() < count)
            values.push_back(fresh());
        break;
    case 1:
        while (values.size() < count)
            values.insert(
                values.end(),
                std::min(static_cast<std::size_t>(1 + in.Below(64)), count - values.size()),
                fresh());
        break;
    case 2: {
        std::vector<std::uint32_t> few(static_cast<std::size_t>(2 + in.Below(7)));
        for (std::uint32_t& v : few)
            v = fresh();
        while (values.size() < count)
            values.push_back(few[static_cast<std::size_t>(in.Below(static_cast<int>(few.size())))]);
        break;
    }
    default: {
        const std::uint8_t blue = in.Byte();
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                values.push_back(
                    entries > 0
                        ? static_cast<std::uint32_t>((x + y) * entries / (width + height - 1))
                        : RGB(static_cast<std::uint8_t>(x * 255 / std::max(1, width - 1)),
                              static_cast<std::uint8_t>(y * 255 / std::max(1, height - 1)), blue));
        break;
    }
    }
    return values;
}

TPicture MakePicture(TInputBytes& in, bool transparent) {
    const int width = 1 + in.Below(kMaxSide);
    const int height = 1 + in.Below(kMaxSide);
    const std::uint8_t kind = in.Byte();
    TPicture picture;
    picture.Indexed = (kind & 1) != 0;
    std::vector<TRGBQuad> table;
    if (picture.Indexed) {
        table.resize(static_cast<std::size_t>(1 + in.Byte()));
        for (TRGBQuad& entry : table) {
            const TColor c = in.Color();
            entry = TRGBQuad{GetBValue(c), GetGValue(c), GetRValue(c), 0};
        }
    }
    const std::vector<std::uint32_t> values =
        PatternValues(in, width, height, (kind >> 1) & 3, static_cast<int>(table.size()));

    picture.Bitmap = std::make_unique<TBitmap>(
        width, height, picture.Indexed ? TPixelFormat::pf8bit : TPixelFormat::pf24bit);
    TBitmap& bitmap = *picture.Bitmap;
    if (picture.Indexed)
        bitmap.SetColorTable(table);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = values[static_cast<std::size_t>(y * width + x)];
            if (picture.Indexed) {
                row[x] = static_cast<std::uint8_t>(v);
                const TRGBQuad& e = table[v];
                picture.Colors.push_back(RGB(e.rgbRed, e.rgbGreen, e.rgbBlue));
            } else {
                row[3 * x] = GetBValue(v);
                row[3 * x + 1] = GetGValue(v);
                row[3 * x + 2] = GetRValue(v);
                picture.Colors.push_back(v);
            }
        }
    }
    if (transparent) {
        // The automatic transparent colour: the bottom-left pixel's.
        bitmap.SetTransparent(true);
        picture.TransparentColor = bitmap.TransparentColor();
    }
    return picture;
}

std::size_t DistinctColors(std::vector<TColor> colors) {
    std::sort(colors.begin(), colors.end());
    return static_cast<std::size_t>(std::unique(colors.begin(), colors.end()) - colors.begin());
}

int TransparentIndex(const TGIFSubImage& frame) {
    const TGIFGraphicControlExtension* control = frame.GraphicControl();
    return control != nullptr && control->Transparent() ? control->TransparentColorIndex() : -1;
}

// What the import promised about one frame made from picture.
void CheckImport(TGIFSubImage& frame, const TPicture& picture, bool exactColors) {
    const TBitmap& bitmap = *picture.Bitmap;
    Check(frame.Width() == bitmap.Width() && frame.Height() == bitmap.Height(), "frame size");
    Check(frame.PixelCount() == picture.Colors.size(), "pixel count");
    TGIFColorMap& map = frame.ActiveColorMap();
    Check(map.Count() >= 1 && map.Count() <= 256, "colour table size");
    const int transparentIndex = TransparentIndex(frame);
    Check(transparentIndex < 0 || picture.TransparentColor != clNone,
          "transparency without a transparent picture");
    const std::uint8_t* pixels = frame.Pixels();
    for (std::size_t p = 0; p < picture.Colors.size(); ++p) {
        const int index = pixels[p];
        Check(index < map.Count(), "index outside the colour table");
        if (transparentIndex >= 0) {
            Check((index == transparentIndex) == (picture.Colors[p] == picture.TransparentColor),
                  "transparent index not exactly on the transparent colour");
            if (index == transparentIndex)
                continue;
        }
        if (exactColors) {
            const TGIFColor c = map.Entry(index);
            Check(RGB(c.Red, c.Green, c.Blue) == picture.Colors[p], "colour changed");
        }
    }
}

// A frame as read back must be the frame as written. A table is written
// padded to a power of two with black.
void CheckReadBack(TGIFSubImage& written, TGIFSubImage& read) {
    Check(read.Left() == written.Left() && read.Top() == written.Top() &&
              read.Width() == written.Width() && read.Height() == written.Height(),
          "read back: frame place");
    Check(read.Interlaced() == written.Interlaced(), "read back: interlace");
    Check(read.PixelCount() == written.PixelCount() &&
              std::equal(written.Pixels(), written.Pixels() + written.PixelCount(), read.Pixels()),
          "read back: indexes");
    const TGIFColorMap& before = written.ActiveColorMap();
    const TGIFColorMap& after = read.ActiveColorMap();
    Check(after.Count() == 1 << before.BitsPerPixel(), "read back: colour table size");
    for (int i = 0; i < after.Count(); ++i)
        Check(after.Entry(i) == (i < before.Count() ? before.Entry(i) : TGIFColor{}),
              "read back: colour table");
    Check(TransparentIndex(read) == TransparentIndex(written), "read back: transparent index");
}

#ifdef FRAMOLO_FUZZ_GIFLIB
void CheckGiflib(TGIFDocument& document, const std::vector<std::uint8_t>& bytes) {
    const test::GiflibDecoded decoded = test::GiflibDecode(bytes);
    Check(decoded.Ok, "giflib: cannot decode");
    Check(decoded.Width == document.Width() && decoded.Height == document.Height(),
          "giflib: screen size");
    Check(static_cast<int>(decoded.Frames.size()) == document.Frames().Count(),
          "giflib: frame count");
    for (int i = 0; i < document.Frames().Count(); ++i) {
        TGIFSubImage& frame = *document.Frames()[i];
        const test::GiflibFrame& f = decoded.Frames[static_cast<std::size_t>(i)];
        Check(f.Indexes.size() == frame.PixelCount() &&
                  std::equal(f.Indexes.begin(), f.Indexes.end(), frame.Pixels()),
              "giflib: indexes");
        const TGIFColorMap& map = frame.ActiveColorMap();
        Check(static_cast<int>(f.Palette.size()) >= map.Count(), "giflib: colour table size");
        for (int e = 0; e < map.Count(); ++e) {
            const TGIFColor c = map.Entry(e);
            Check(f.Palette[static_cast<std::size_t>(e)] ==
                      std::array<std::uint8_t, 3>{c.Red, c.Green, c.Blue},
                  "giflib: colour table");
        }
        Check(f.TransparentIndex == TransparentIndex(frame), "giflib: transparent index");
    }
}
#endif

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TInputBytes in(data, size);
    const TColorReduction reduction =
        kReductions[static_cast<std::size_t>(in.Below(static_cast<int>(kReductions.size())))];
    const auto dither = static_cast<TDitherMode>(in.Below(7));
    const std::uint8_t coding = in.Byte();
    const std::uint8_t flags = in.Byte();

    TGIFDocument document;
    std::vector<std::string> warnings;
    document.WarningHandler = [&warnings](TPersistent*, int, const std::string& message) {
        warnings.push_back(message);
    };
    document.SetColorReduction(reduction);
    document.SetDitherMode(dither);
    document.SetDataCoding(coding & 1);
    document.SetQuantizeBits((coding >> 1) % 9);

    const int frames = 1 + (flags & 3) % kMaxFrames;
    for (int i = 0; i < frames; ++i) {
        TPicture picture = MakePicture(in, (flags & 4) != 0);
        const bool grows =
            document.Frames().Count() > 0 && (picture.Bitmap->Width() > document.Width() ||
                                              picture.Bitmap->Height() > document.Height());
        // Without reduction the import takes the picture's colours as they are.
        const bool exact = picture.Indexed || reduction == TColorReduction::NoReduction;
        try {
            document.Add(*picture.Bitmap);
        } catch (const GIFException& e) {
            Check(!picture.Indexed && reduction == TColorReduction::NoReduction &&
                      DistinctColors(picture.Colors) > 256 &&
                      std::strcmp(e.what(), gifmsg::ColorTableOverflow) == 0,
                  "import failed");
            CheckWarnings(warnings, grows, "importing");
            continue;
        }
        TGIFSubImage& frame = *document.Frames()[document.Frames().Count() - 1];
        frame.SetInterlaced((flags & 16) != 0);
        CheckImport(frame, picture, exact);
        // A frame larger than the screen so far grows it, with warnings.
        CheckWarnings(warnings, grows, "importing");
    }
    if (document.Frames().Count() == 0)
        return 0;
    if ((flags & 8) != 0) {
        // Only frames without a table of their own are written interlaced.
        TGIFSubImage& first = *document.Frames()[0];
        document.GlobalColorMap().Assign(&first.ColorMap());
        first.ColorMap().Clear();
    }

    TMemoryStream out;
    document.SaveToStream(out);
    CheckWarnings(warnings, false, "writing");

    TGIFDocument again;
    again.WarningHandler = document.WarningHandler;
    out.SetPosition(0);
    again.LoadFromStream(out);
    CheckWarnings(warnings, false, "reading");
    Check(again.Frames().Count() == document.Frames().Count(), "read back: frame count");
    Check(again.Width() == document.Width() && again.Height() == document.Height(),
          "read back: screen size");
    for (int i = 0; i < document.Frames().Count(); ++i)
        CheckReadBack(*document.Frames()[i], *again.Frames()[i]);
#ifdef FRAMOLO_FUZZ_GIFLIB
    CheckGiflib(document, out.Data());
#endif
    return 0;
}
