#pragma once

#include "color/color_types.h"
#include "gif/encode/gif_encoding.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>

namespace framolo {

// The numbers of an AVI to GIF run, in the order the window lists them.
enum class TParamField { Start, End, Step, Width, Height, Delay, Loop };

// A rectangle of the source picture, in its pixels from the top left.
struct TCropRect {
    int X = 0;
    int Y = 0;
    int Width = 0;
    int Height = 0;
    bool operator==(const TCropRect&) const = default;
};

// The order a run writes the frames of its range in: as they come,
// backwards, or forwards and then backwards without showing the turning
// frames twice.
enum class TFrameOrder { Forward, Reverse, Bounce };

// The parameters of one AVI to GIF run: its frames, and how they are coded.
struct TFrameParams : TGifEncoding {
    // The frames Start to End, both included, every Step-th.
    std::int32_t Start = 0;
    std::int32_t End = 0;
    std::int32_t Step = 1;
    // Every frame is scaled to Width x Height, the GIF's logical screen.
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    // How long each frame shows, in milliseconds; stored in hundredths of a
    // second with the remainder carried to the next frame, low 16 bits.
    std::int32_t Delay = 0;
    // The loop count stored with the first frame (low 16 bits); 0 loops forever.
    std::int32_t Loop = 0;

    // Set: every source frame is cut to this rectangle before it is scaled.
    std::optional<TCropRect> Crop;
    TFrameOrder Order = TFrameOrder::Forward;

    std::int32_t& operator[](TParamField field);
    std::int32_t operator[](TParamField field) const;
};

// The frames a run writes: the range's Start to End by Step, twice less the
// turning frames for Bounce; 0 for an empty range or a step below 1.
std::int64_t FramesTaken(const TFrameParams& params);
// The source frame written as frame k (0 .. FramesTaken - 1) of the output.
std::int64_t SourceFrame(const TFrameParams& params, std::int64_t k);

// "WxH+X+Y", as X11 and image tools write a geometry; unset for anything else
// and for a size of 0.
std::optional<TCropRect> ParseCrop(const std::string& text);
// Why crop does not fit a picture of width x height, naming its size; unset
// when it fits.
std::optional<std::string> CropProblem(const TCropRect& crop, int width, int height);

// Where an AVI to GIF job takes its parameters from. The job asks for each
// number at the moment its steps use it (End before every frame, Width,
// Height and Delay for every frame, Loop once), so that a source the user may
// edit during a run, the window's fields, is read anew each time; a source
// fixed for the run, the command line's options, answers the same each time.
class TFrameParamSource {
public:
    virtual ~TFrameParamSource() = default;

    // False when the run has no step to go by (the window's step field is
    // empty); the job then does not start.
    virtual bool HasStep() = 0;
    // Puts the input focus into the control of field, where there is one.
    virtual void FocusField(TParamField field) { (void)field; }
    // Brings the numbers of params named by fields up to date, one after the
    // other in the order given. Raises EConvertError ("'x' is not a valid
    // integer value") at the first one that holds no number.
    virtual void Read(TFrameParams& params, std::initializer_list<TParamField> fields) = 0;
    // Fills in the choices that hold for the whole run: reduction, dithering,
    // coder and optimizing. Read once, as the run's document is made.
    virtual void ReadChoices(TFrameParams& params) = 0;
};

// A source whose parameters do not change during a run.
class TFixedParamSource : public TFrameParamSource {
public:
    TFixedParamSource() = default;
    explicit TFixedParamSource(const TFrameParams& params) : Params(params) {}

    TFrameParams Params;

    bool HasStep() override { return true; }
    void Read(TFrameParams& params, std::initializer_list<TParamField> fields) override;
    void ReadChoices(TFrameParams& params) override;
};

// The colour reduction of item index of the window's list: item i is method
// i + 1 (0 "Windows20" to 7 "QuantizeWindows"), and the index after them is
// the best-quality method, which a host may offer too. Unset for no item (-1)
// and any other index.
std::optional<TColorReduction> ListReduction(int index);
// What an item of the window's reduction list asks for: items 0 to 7 are
// the methods as ListReduction gives them, item 8 "Best quality" is the
// best-quality method, item 9 "Best quality, smaller file" is that method on
// the small-file road at the default quality. Unset for any other index.
struct TReductionItem {
    std::optional<TColorReduction> Reduction;
    bool Optimize = false;
    int Quality = 0;
};
TReductionItem WindowReductionItem(int index);
// The two items the window lists after the eight methods, and their indexes.
inline constexpr const char* kBestQualityItem = "Best quality";
inline constexpr const char* kBestSmallerItem = "Best quality, smaller file";
inline constexpr int kBestQualityIndex = 8;
inline constexpr int kBestSmallerIndex = 9;

// The dithering mode of item index of the window's list (item i is mode i);
// unset for no item and any other index.
std::optional<TDitherMode> ListDither(int index);

} // namespace framolo
