#include "platform/bytes/format_records.h"

#include <gtest/gtest.h>

#include <vector>

namespace framolo {
namespace {

TEST(FormatRecords, PackIntoTheBytesFilesStore) {
    TBitmapInfoHeader h;
    h.biWidth = 0x01020304;
    h.biHeight = -2;
    h.biBitCount = 24;
    h.biCompression = 0x44495658; // "XVID"
    h.biSizeImage = 0x0A0B0C0D;
    h.biXPelsPerMeter = 0x11;
    h.biYPelsPerMeter = 0x22;
    h.biClrUsed = 256;
    h.biClrImportant = 0x33;
    std::vector<std::uint8_t> bitmap(40);
    PackBitmapInfoHeader(h, bitmap.data());
    EXPECT_EQ(bitmap, (std::vector<std::uint8_t>{
                          40,   0, 0,   0,   4,   3,   2,    1,    0xFE, 0xFF, 0xFF, 0xFF, 1, 0,
                          24,   0, 'X', 'V', 'I', 'D', 0x0D, 0x0C, 0x0B, 0x0A, 0x11, 0,    0, 0,
                          0x22, 0, 0,   0,   0,   1,   0,    0,    0x33, 0,    0,    0}));

    TWaveFormatEx f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 2;
    f.nSamplesPerSec = 44100;
    f.nAvgBytesPerSec = 176400;
    f.nBlockAlign = 4;
    f.wBitsPerSample = 16;
    f.cbSize = 0x0102;
    std::vector<std::uint8_t> wave(18);
    PackWaveFormat(f, wave.data());
    EXPECT_EQ(wave, (std::vector<std::uint8_t>{1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0,
                                               16, 0, 2, 1}));
}

} // namespace
} // namespace framolo
