#pragma once

// Records and handles of the AVIFile calls. The record layouts are the ones
// AVI files and the callers use byte for byte (a 40-byte bitmap header, an
// 18-byte wave format, a 140-byte stream information record), so a caller may
// copy them to and from raw buffers.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/bytes/format_records.h"
#include "platform/graphics/graphics.h"

namespace framolo {

// Result of an AVIFile call: 0 is success, anything else a failure code.
using THResult = std::int32_t;

constexpr THResult AVIERR_OK = 0;
constexpr THResult AVIERR_UNSUPPORTED = static_cast<THResult>(0x80044065u);
constexpr THResult AVIERR_BADFORMAT = static_cast<THResult>(0x80044066u);
constexpr THResult AVIERR_MEMORY = static_cast<THResult>(0x80044067u);
constexpr THResult AVIERR_INTERNAL = static_cast<THResult>(0x80044068u);
constexpr THResult AVIERR_BADFLAGS = static_cast<THResult>(0x80044069u);
constexpr THResult AVIERR_BADPARAM = static_cast<THResult>(0x8004406Au);
constexpr THResult AVIERR_BADSIZE = static_cast<THResult>(0x8004406Bu);
constexpr THResult AVIERR_BADHANDLE = static_cast<THResult>(0x8004406Cu);
constexpr THResult AVIERR_FILEREAD = static_cast<THResult>(0x8004406Du);
constexpr THResult AVIERR_FILEWRITE = static_cast<THResult>(0x8004406Eu);
constexpr THResult AVIERR_FILEOPEN = static_cast<THResult>(0x8004406Fu);
constexpr THResult AVIERR_NODATA = static_cast<THResult>(0x80044071u);
constexpr THResult AVIERR_BUFFERTOOSMALL = static_cast<THResult>(0x80044072u);

// Open modes of AVIFileOpen.
constexpr std::uint32_t OF_READ = 0x0000;
constexpr std::uint32_t OF_WRITE = 0x0001;
constexpr std::uint32_t OF_READWRITE = 0x0002;
constexpr std::uint32_t OF_SHARE_EXCLUSIVE = 0x0010;
constexpr std::uint32_t OF_SHARE_DENY_WRITE = 0x0020;
constexpr std::uint32_t OF_CREATE = 0x1000;

// Flag of AVIStreamWrite and of index entries: the sample is a key frame.
constexpr std::uint32_t AVIIF_KEYFRAME = 0x10;

// A four-character code as stored in RIFF files: the first character in the
// lowest byte.
constexpr std::uint32_t MakeFourCC(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24);
}
constexpr std::uint32_t MakeFourCC(std::string_view s) {
    return s.size() == 4 ? MakeFourCC(s[0], s[1], s[2], s[3]) : 0;
}

constexpr std::uint32_t streamtypeVIDEO = MakeFourCC('v', 'i', 'd', 's');
constexpr std::uint32_t streamtypeAUDIO = MakeFourCC('a', 'u', 'd', 's');

// The 140-byte stream information record.
struct TAVIStreamInfo {
    std::uint32_t fccType = 0;
    std::uint32_t fccHandler = 0;
    std::uint32_t dwFlags = 0;
    std::uint32_t dwCaps = 0;
    std::uint16_t wPriority = 0;
    std::uint16_t wLanguage = 0;
    std::uint32_t dwScale = 0;
    std::uint32_t dwRate = 0;
    std::uint32_t dwStart = 0;
    std::uint32_t dwLength = 0;
    std::uint32_t dwInitialFrames = 0;
    std::uint32_t dwSuggestedBufferSize = 0;
    std::uint32_t dwQuality = 0;
    std::uint32_t dwSampleSize = 0;
    TRect rcFrame;
    std::uint32_t dwEditCount = 0;
    std::uint32_t dwFormatChangeCount = 0;
    char szName[64] = {};
};
static_assert(sizeof(TRect) == 16);
static_assert(sizeof(TAVIStreamInfo) == 140);
static_assert(offsetof(TAVIStreamInfo, rcFrame) == 52);

// Opaque handles. A handle stays valid until its release call; the objects
// behind them are owned by the AVIFile layer.
struct TAVIFileObject;
struct TAVIStreamObject;
struct TGetFrameObject;
using PAVIFile = TAVIFileObject*;
using PAVIStream = TAVIStreamObject*;
using PGetFrame = TGetFrameObject*;

} // namespace framolo
