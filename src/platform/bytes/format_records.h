#pragma once

// The bitmap header of BMP files, packed DIBs and video stream formats, and
// the wave format of audio streams, with their packing into file bytes.

#include "platform/bytes/little_endian.h"

#include <cstdint>

namespace framolo {

constexpr std::uint32_t BI_RGB = 0;
constexpr std::uint32_t BI_BITFIELDS = 3;
constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

// The 40-byte bitmap header that starts a packed DIB and a video stream format.
struct TBitmapInfoHeader {
    std::uint32_t biSize = 40;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;
    std::uint16_t biPlanes = 1;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = BI_RGB;
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};
static_assert(sizeof(TBitmapInfoHeader) == 40);

// The wave format of an audio stream; cbSize extra bytes follow it in a format
// block. Packed because the record is 18 bytes in files and in memory.
#pragma pack(push, 2)
struct TWaveFormatEx {
    std::uint16_t wFormatTag = 0;
    std::uint16_t nChannels = 0;
    std::uint32_t nSamplesPerSec = 0;
    std::uint32_t nAvgBytesPerSec = 0;
    std::uint16_t nBlockAlign = 0;
    std::uint16_t wBitsPerSample = 0;
    std::uint16_t cbSize = 0;
};
#pragma pack(pop)
static_assert(sizeof(TWaveFormatEx) == 18);

// Writes the header into out[0 .. 39] as files store it.
inline void PackBitmapInfoHeader(const TBitmapInfoHeader& h, std::uint8_t* out) {
    PutLE32(out, h.biSize);
    PutLE32(out + 4, static_cast<std::uint32_t>(h.biWidth));
    PutLE32(out + 8, static_cast<std::uint32_t>(h.biHeight));
    PutLE16(out + 12, h.biPlanes);
    PutLE16(out + 14, h.biBitCount);
    PutLE32(out + 16, h.biCompression);
    PutLE32(out + 20, h.biSizeImage);
    PutLE32(out + 24, static_cast<std::uint32_t>(h.biXPelsPerMeter));
    PutLE32(out + 28, static_cast<std::uint32_t>(h.biYPelsPerMeter));
    PutLE32(out + 32, h.biClrUsed);
    PutLE32(out + 36, h.biClrImportant);
}

// Writes the format into out[0 .. 17] as files store it.
inline void PackWaveFormat(const TWaveFormatEx& f, std::uint8_t* out) {
    PutLE16(out, f.wFormatTag);
    PutLE16(out + 2, f.nChannels);
    PutLE32(out + 4, f.nSamplesPerSec);
    PutLE32(out + 8, f.nAvgBytesPerSec);
    PutLE16(out + 12, f.nBlockAlign);
    PutLE16(out + 14, f.wBitsPerSample);
    PutLE16(out + 16, f.cbSize);
}

} // namespace framolo
