#include "color/palettes.h"

#include <vector>

namespace framolo {

namespace {

constexpr TPaletteEntry Gray(int level, std::uint8_t flags) {
    const auto v = static_cast<std::uint8_t>(level);
    return TPaletteEntry{v, v, v, flags};
}

void AppendCube(std::vector<TPaletteEntry>& entries) {
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                entries.push_back(TPaletteEntry{static_cast<std::uint8_t>(r * 51),
                                                static_cast<std::uint8_t>(g * 51),
                                                static_cast<std::uint8_t>(b * 51), 0});
}

} // namespace

const std::array<TPaletteEntry, 20>& SystemColors() {
    static constexpr std::array<TPaletteEntry, 20> kColors = {{
        {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
        {0, 0, 128, 0},     {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
        {192, 220, 192, 0}, {166, 202, 240, 0}, {255, 251, 240, 0}, {160, 160, 164, 0},
        {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},     {255, 255, 0, 0},
        {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
    }};
    return kColors;
}

HPALETTE BlackWhitePalette() {
    return CreatePalette({Gray(0, PC_NOCOLLAPSE), Gray(255, PC_NOCOLLAPSE)});
}

HPALETTE WindowsGrayPalette() {
    return CreatePalette({Gray(0, PC_NOCOLLAPSE), Gray(128, PC_NOCOLLAPSE),
                          Gray(192, PC_NOCOLLAPSE), Gray(255, PC_NOCOLLAPSE)});
}

HPALETTE GrayRampPalette() {
    std::vector<TPaletteEntry> entries;
    entries.reserve(256);
    for (int i = 0; i < 256; ++i)
        entries.push_back(Gray(i, PC_NOCOLLAPSE));
    return CreatePalette(std::move(entries));
}

HPALETTE NetscapePalette() {
    std::vector<TPaletteEntry> entries;
    entries.reserve(216);
    AppendCube(entries);
    return CreatePalette(std::move(entries));
}

HPALETTE DefaultPalette() {
    const auto& colors = SystemColors();
    return CreatePalette(std::vector<TPaletteEntry>(colors.begin(), colors.end()));
}

HPALETTE ScreenHalftonePalette() {
    const auto& system = SystemColors();
    std::vector<TPaletteEntry> entries(system.begin(), system.begin() + 10);
    entries.reserve(256);
    AppendCube(entries);
    // Four grays inside each of the five steps of 51 between the cube's
    // grays, rounded to the nearest level: 10, 20, 31, 41, 61, ...
    for (int step = 0; step < 5; ++step)
        for (int j = 1; j <= 4; ++j)
            entries.push_back(Gray((step * 255 + j * 51 + 2) / 5, 0));
    entries.insert(entries.end(), system.begin() + 10, system.end());
    return CreatePalette(std::move(entries));
}

} // namespace framolo
