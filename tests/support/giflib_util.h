#pragma once

// Decodes GIF bytes with giflib, an independent decoder used only by tests.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace framolo::test {

struct GiflibFrame {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool Interlaced = false;
    bool HasLocalMap = false;
    // Index raster, rows top to bottom (giflib undoes interlacing).
    std::vector<std::uint8_t> Indexes;
    // The colours the frame uses: its local map, else the global one.
    std::vector<std::array<std::uint8_t, 3>> Palette;
    // From the frame's graphic control extension; -1 when it has none.
    int Delay = -1;
    int Disposal = -1;
    int TransparentIndex = -1;
    std::vector<std::string> Comments;
};

struct GiflibDecoded {
    bool Ok = false;
    std::string Error;
    int Width = 0;
    int Height = 0;
    int Background = 0;
    int AspectByte = 0;
    std::vector<std::array<std::uint8_t, 3>> GlobalPalette;
    int LoopCount = -1; // -1 without a looping extension
    std::vector<GiflibFrame> Frames;
};

GiflibDecoded GiflibDecode(const std::vector<std::uint8_t>& bytes);

// What a viewer shows after each frame, 3 bytes red, green, blue per pixel:
// the screen starts black, every frame is drawn over it (transparent pixels
// leave it as it is), then disposed of as its control extension says
// (2: its rectangle becomes black, 3: the screen goes back to before it).
std::vector<std::vector<std::uint8_t>> GiflibComposite(const GiflibDecoded& gif);

} // namespace framolo::test
