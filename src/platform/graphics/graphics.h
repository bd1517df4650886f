#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace framolo {

class TStream;
class TCanvas;

// A colour value 0x00BBGGRR.
using TColor = std::uint32_t;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;

constexpr std::uint8_t GetRValue(TColor c) {
    return static_cast<std::uint8_t>(c);
}
constexpr std::uint8_t GetGValue(TColor c) {
    return static_cast<std::uint8_t>(c >> 8);
}
constexpr std::uint8_t GetBValue(TColor c) {
    return static_cast<std::uint8_t>(c >> 16);
}
constexpr TColor RGB(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return static_cast<TColor>(r) | (static_cast<TColor>(g) << 8) | (static_cast<TColor>(b) << 16);
}

// A DIB colour-table entry: blue, green, red, reserved.
struct TRGBQuad {
    std::uint8_t rgbBlue = 0;
    std::uint8_t rgbGreen = 0;
    std::uint8_t rgbRed = 0;
    std::uint8_t rgbReserved = 0;
    friend bool operator==(const TRGBQuad&, const TRGBQuad&) = default;
};

// A 24-bit DIB pixel: blue, green, red.
struct TRGBTriple {
    std::uint8_t rgbtBlue = 0;
    std::uint8_t rgbtGreen = 0;
    std::uint8_t rgbtRed = 0;
    friend bool operator==(const TRGBTriple&, const TRGBTriple&) = default;
};

// A logical-palette entry: red, green, blue, flags.
struct TPaletteEntry {
    std::uint8_t peRed = 0;
    std::uint8_t peGreen = 0;
    std::uint8_t peBlue = 0;
    std::uint8_t peFlags = 0;
    friend bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};

constexpr std::uint8_t PC_NOCOLLAPSE = 0x04;

struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    friend bool operator==(const TRect&, const TRect&) = default;
};

// An operation a graphic cannot perform.
class EInvalidGraphicOperation : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// A graphic that is not valid data.
class EInvalidGraphic : public EInvalidGraphicOperation {
public:
    using EInvalidGraphicOperation::EInvalidGraphicOperation;
};
// A resource (memory, a palette) that could not be had.
class EOutOfResources : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// An object that cannot be assigned to or from another.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A logical palette of at most 256 entries. Shared by handle; the handle's
// identity is what "the same palette" means.
class TPalette {
public:
    TPalette() = default;
    explicit TPalette(std::vector<TPaletteEntry> entries) : Entries(std::move(entries)) {}
    std::vector<TPaletteEntry> Entries;
    int Count() const { return static_cast<int>(Entries.size()); }
};
using HPALETTE = std::shared_ptr<TPalette>;

HPALETTE CreatePalette(std::vector<TPaletteEntry> entries);

enum class TProgressStage { psStarting, psRunning, psEnding };

class TPersistent;
using TNotifyEvent = std::function<void(TPersistent* sender)>;
using TProgressEvent =
    std::function<void(TPersistent* sender, TProgressStage stage, std::uint8_t percentDone,
                       bool redrawNow, const TRect& rect, const std::string& msg)>;

class TPersistent {
public:
    virtual ~TPersistent() = default;
    TPersistent() = default;
    TPersistent(const TPersistent&) = delete;
    TPersistent& operator=(const TPersistent&) = delete;

    // Copies from source; the default asks the source to assign itself to this.
    virtual void Assign(const TPersistent* source);

protected:
    // Copies this into dest; the default raises EConvertError.
    virtual void AssignTo(TPersistent* dest) const;
};

// The base of every picture.
class TGraphic : public TPersistent {
public:
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void SetWidth(int value) = 0;
    virtual void SetHeight(int value) = 0;
    bool Empty() const { return GetEmpty(); }

    virtual void LoadFromStream(TStream& stream) = 0;
    virtual void SaveToStream(TStream& stream) = 0;
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);

    virtual HPALETTE GetPalette() const { return nullptr; }
    virtual void SetPalette(HPALETTE) {}

    // Draws the graphic stretched into rect of the canvas.
    virtual void Draw(TCanvas& canvas, const TRect& rect) = 0;

    bool Transparent() const { return transparent_; }
    virtual void SetTransparent(bool value);

    bool PaletteModified() const { return paletteModified_; }
    void SetPaletteModified(bool value) { paletteModified_ = value; }
    bool Modified() const { return modified_; }
    void SetModified(bool value) { modified_ = value; }

    TNotifyEvent OnChange;
    TProgressEvent OnProgress;

protected:
    virtual bool GetEmpty() const = 0;
    // Fires OnChange and marks the graphic modified.
    virtual void Changed(TPersistent* sender);
    void Progress(TPersistent* sender, TProgressStage stage, std::uint8_t percentDone,
                  bool redrawNow, const TRect& rect, const std::string& msg);

private:
    bool transparent_ = false;
    bool paletteModified_ = false;
    bool modified_ = false;
};

} // namespace framolo
