// The video reader: the pictures of one stream by frame number, as packed DIBs.

#include "platform/avifile/ffmpeg_handles.h"
#include "platform/avifile/media_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace framolo {

namespace {

// The pixels of a DIB start on this boundary.
constexpr std::size_t kPixelAlign = 64;

} // namespace

struct TVideoReader::TImpl : TStreamDecoder {
    std::shared_ptr<const TFrameClock> Clock;
    TFramePtr Cur;
    TFramePtr Next;
    TFramePtr Rgb;
    TSwsPtr Sws;
    bool CurValid = false;
    bool NextValid = false;
    std::int64_t CurNum = -1;
    std::int64_t NextNum = -1;
    bool HaveFirstTs = false;
    std::int64_t FirstTs = 0;
    bool HaveDelay = false;
    std::int64_t Delay = 0;
    bool MinPending = false;
    std::int64_t MinNumber = std::numeric_limits<std::int64_t>::min();
    std::int64_t LastOutNum = -1;
    std::int64_t LastPacketTs = std::numeric_limits<std::int64_t>::min();
    std::vector<std::uint8_t> Store; // the DIB lives at DibOffset
    std::size_t DibOffset = 0;
    std::size_t DibSize = 0;
    bool DibValid = false;

    std::int64_t Rank(std::int64_t t) const {
        const auto& v = Clock->Times;
        return static_cast<std::int64_t>(std::upper_bound(v.begin(), v.end(), t) - v.begin()) - 1;
    }
    std::int64_t FrameNumber(std::int64_t ts) const {
        return Clock->CountsFrames ? ts - Delay : Rank(ts - Delay);
    }
    std::int64_t PacketNumber(const AVPacket& p) const {
        if (Clock->CountsFrames) {
            const std::int64_t ts = p.dts != AV_NOPTS_VALUE ? p.dts : p.pts;
            return ts == AV_NOPTS_VALUE ? ts : ts + Clock->TsOffset;
        }
        return Rank(p.pts != AV_NOPTS_VALUE ? p.pts : p.dts);
    }
    // AVI timestamps are stream positions: dwStart for the first frame.
    std::int64_t SeekTs(std::int64_t k) const {
        if (Clock->CountsFrames) {
            return k - Clock->TsOffset;
        }
        if (Clock->Times.empty()) {
            return 0;
        }
        return Clock->Times[static_cast<std::size_t>(
            std::clamp<std::int64_t>(k, 0, static_cast<std::int64_t>(Clock->Times.size()) - 1))];
    }

    bool Receive(AVFrame* out, std::int64_t& num);
    bool FetchNext();
    void ResetDecoder();
    bool Rewind();
    bool SeekTo(std::int64_t k);
    void AdvanceTo(std::int64_t k);
    bool KeyFrameAhead(std::int64_t k) const;
    bool Convert(const AVFrame* f);
};

bool TVideoReader::TImpl::Receive(AVFrame* out, std::int64_t& num) {
    const auto onPacket = [this](const AVPacket& p) {
        if (!HaveFirstTs) {
            FirstTs = PacketNumber(p);
            HaveFirstTs = true;
        }
        if (MinPending) {
            MinNumber = PacketNumber(p);
            MinPending = false;
        }
        LastPacketTs = p.dts != AV_NOPTS_VALUE ? p.dts : p.pts;
    };
    while (ReceiveFrame(out, onPacket)) {
        const std::int64_t ts = out->best_effort_timestamp;
        if (!HaveDelay) {
            // The decoder's reordering delay shifts every timestamp by the
            // same amount; the first picture is the first frame.
            Delay = ts == AV_NOPTS_VALUE ? 0 : ts - (Clock->CountsFrames ? FirstTs : SeekTs(0));
            HaveDelay = true;
        }
        num = ts == AV_NOPTS_VALUE ? LastOutNum + 1 : FrameNumber(ts);
        if (num < MinNumber) {
            // Pictures before the key frame a seek landed on lack their
            // references; they are not ours to show.
            av_frame_unref(out);
            continue;
        }
        LastOutNum = num;
        return true;
    }
    return false;
}

bool TVideoReader::TImpl::FetchNext() {
    do {
        NextValid = Receive(Next.get(), NextNum);
    } while (NextValid && NextNum <= CurNum);
    return NextValid;
}

void TVideoReader::TImpl::ResetDecoder() {
    avcodec_flush_buffers(Dec.get());
    InputDone = false;
    CurValid = NextValid = false;
    DibValid = false;
    MinPending = false;
    MinNumber = std::numeric_limits<std::int64_t>::min();
    LastOutNum = -1;
    LastPacketTs = std::numeric_limits<std::int64_t>::min();
}

bool TVideoReader::TImpl::Rewind() {
    ResetDecoder();
    // A fresh demuxer hands the stream's own palette out again; a seek back
    // would keep the last changed one.
    if (!Clock->ForwardOnly &&
        av_seek_frame(Fmt.get(), Index, SeekTs(Clock->Start), AVSEEK_FLAG_BACKWARD) >= 0) {
        return true;
    }
    // Files without a usable index cannot seek; start them afresh.
    TFormatPtr f = OpenInput(Path);
    if (!f || Index >= static_cast<int>(f->nb_streams)) {
        return false;
    }
    Fmt = std::move(f);
    return true;
}

bool TVideoReader::TImpl::SeekTo(std::int64_t k) {
    std::int64_t target = k;
    for (int attempt = 0;; ++attempt) {
        const bool fromStart = attempt >= 3 || target <= Clock->Start || Clock->ForwardOnly;
        if (fromStart) {
            if (!Rewind()) {
                return false;
            }
        } else {
            ResetDecoder();
            if (av_seek_frame(Fmt.get(), Index, SeekTs(target), AVSEEK_FLAG_BACKWARD) < 0) {
                attempt = 2;
                continue;
            }
            MinPending = true;
        }
        CurValid = Receive(Cur.get(), CurNum);
        if (!CurValid) {
            if (fromStart) {
                return false;
            }
            attempt = 2;
            continue;
        }
        if (CurNum > k && !fromStart) {
            // The key frame shows later than wanted; look further back.
            if (MinNumber == std::numeric_limits<std::int64_t>::min()) {
                attempt = 2;
                continue;
            }
            target = std::min(target, MinNumber) - 1;
            continue;
        }
        // From the start, a first picture later than k stands for the dropped
        // frames before it.
        FetchNext();
        AdvanceTo(k);
        return true;
    }
}

void TVideoReader::TImpl::AdvanceTo(std::int64_t k) {
    while (NextValid && NextNum <= k) {
        std::swap(Cur, Next);
        CurNum = NextNum;
        DibValid = false;
        FetchNext();
    }
}

bool TVideoReader::TImpl::KeyFrameAhead(std::int64_t k) const {
    if (k - CurNum <= 1 || Clock->ForwardOnly) {
        return false;
    }
    const AVIndexEntry* e =
        avformat_index_get_entry_from_timestamp(Stream(), SeekTs(k), AVSEEK_FLAG_BACKWARD);
    return e && (e->flags & AVINDEX_KEYFRAME) && e->timestamp > LastPacketTs;
}

namespace {

// The number an enum field holds, read without loading it as the enum.
template <class E> int RawEnum(const E& field) {
    static_assert(sizeof(E) == sizeof(int));
    int value = 0;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

} // namespace

bool TVideoReader::TImpl::Convert(const AVFrame* f) {
    const int w = f->width;
    const int h = f->height;
    if (w <= 0 || h <= 0 || w > kMaxDimension || h > kMaxDimension ||
        std::int64_t{w} * h > kMaxPixels) {
        return false;
    }
    const bool pal8 = f->format == AV_PIX_FMT_PAL8 && f->data[1] != nullptr;
    const std::size_t rowBytes =
        pal8 ? static_cast<std::size_t>(w) : static_cast<std::size_t>(w) * 3;
    const std::size_t stride = (rowBytes + 3) & ~std::size_t{3};
    const std::size_t table = pal8 ? 256 * 4 : 0;
    const std::size_t image = stride * static_cast<std::size_t>(h);
    const std::size_t total = 40 + table + image;
    // The pixels start on a 64-byte boundary, so that the converter can write
    // the rows in place with its aligned code.
    if (Store.size() < total + kPixelAlign) {
        Store.assign(total + kPixelAlign, 0);
    }
    const auto address = reinterpret_cast<std::uintptr_t>(Store.data()) + 40 + table;
    DibOffset = static_cast<std::size_t>((kPixelAlign - address % kPixelAlign) % kPixelAlign);
    DibSize = total;
    std::uint8_t* d = Store.data() + DibOffset;
    std::memset(d, 0, 40 + table);
    TBitmapInfoHeader header;
    header.biWidth = w;
    header.biHeight = h;
    header.biBitCount = pal8 ? 8 : 24;
    header.biSizeImage = static_cast<std::uint32_t>(image);
    header.biClrUsed = pal8 ? 256 : 0;
    PackBitmapInfoHeader(header, d);
    std::uint8_t* pixels = d + 40 + table;
    // The bottom row of the picture is the first row of the DIB.
    std::uint8_t* const lastRow = pixels + static_cast<std::size_t>(h - 1) * stride;

    const std::uint8_t* src = nullptr;
    int srcStride = 0;
    if (pal8) {
        // FFmpeg keeps a palette as native 32-bit values 0xAARRGGBB.
        for (int i = 0; i < 256; ++i) {
            std::uint32_t v = 0;
            std::memcpy(&v, f->data[1] + 4 * i, 4);
            d[40 + 4 * i + 0] = static_cast<std::uint8_t>(v);
            d[40 + 4 * i + 1] = static_cast<std::uint8_t>(v >> 8);
            d[40 + 4 * i + 2] = static_cast<std::uint8_t>(v >> 16);
        }
        src = f->data[0];
        srcStride = f->linesize[0];
    } else {
        const auto fmt = static_cast<AVPixelFormat>(f->format);
        // The same conversion FFmpeg's own tools apply on the way to bgr24.
        Sws.reset(sws_getCachedContext(Sws.release(), w, h, fmt, w, h, AV_PIX_FMT_BGR24,
                                       SWS_BICUBIC, nullptr, nullptr, nullptr));
        if (!Sws) {
            return false;
        }
        int* invTable = nullptr;
        int* table2 = nullptr;
        int srcRange = 0;
        int dstRange = 0;
        int brightness = 0;
        int contrast = 0;
        int saturation = 0;
        if (sws_getColorspaceDetails(Sws.get(), &invTable, &srcRange, &table2, &dstRange,
                                     &brightness, &contrast, &saturation) >= 0) {
            // A damaged stream can put any number into these enum fields; they
            // are read as plain integers and anything unknown counts as unset.
            const int space = RawEnum(f->colorspace);
            const int* coeffs = sws_getCoefficients(
                space >= 0 && space < AVCOL_SPC_NB ? space : AVCOL_SPC_UNSPECIFIED);
            const int range = RawEnum(f->color_range);
            if (range == AVCOL_RANGE_MPEG || range == AVCOL_RANGE_JPEG) {
                srcRange = range == AVCOL_RANGE_JPEG ? 1 : 0;
            }
            sws_setColorspaceDetails(Sws.get(), coeffs, srcRange, coeffs, dstRange, brightness,
                                     contrast, saturation);
        }
        if (stride % kPixelAlign == 0) {
            // Rows aligned: convert straight into the DIB, bottom-up.
            std::uint8_t* dst[4] = {lastRow, nullptr, nullptr, nullptr};
            const int dstStride[4] = {-static_cast<int>(stride), 0, 0, 0};
            return sws_scale(Sws.get(), f->data, f->linesize, 0, h, dst, dstStride) == h;
        }
        if (!Rgb) {
            Rgb.reset(av_frame_alloc());
        }
        if (!Rgb) {
            return false;
        }
        if (Rgb->width != w || Rgb->height != h || !Rgb->data[0]) {
            av_frame_unref(Rgb.get());
            Rgb->format = AV_PIX_FMT_BGR24;
            Rgb->width = w;
            Rgb->height = h;
            if (av_frame_get_buffer(Rgb.get(), 0) < 0) {
                return false;
            }
        }
        if (sws_scale(Sws.get(), f->data, f->linesize, 0, h, Rgb->data, Rgb->linesize) != h) {
            return false;
        }
        src = Rgb->data[0];
        srcStride = Rgb->linesize[0];
    }
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = lastRow - static_cast<std::size_t>(y) * stride;
        std::memcpy(row, src + static_cast<std::ptrdiff_t>(y) * srcStride, rowBytes);
        std::memset(row + rowBytes, 0, stride - rowBytes);
    }
    return true;
}

TVideoReader::TVideoReader(std::unique_ptr<TImpl> impl) : FImpl(std::move(impl)) {}
TVideoReader::~TVideoReader() = default;

std::unique_ptr<TVideoReader> TVideoReader::Open(const std::string& path, int ffIndex,
                                                 std::shared_ptr<const TFrameClock> clock) {
    auto impl = std::make_unique<TImpl>();
    impl->Path = path;
    impl->Index = ffIndex;
    impl->Clock = std::move(clock);
    impl->Fmt = OpenInput(path);
    if (!impl->Fmt || !impl->Clock || ffIndex < 0 ||
        ffIndex >= static_cast<int>(impl->Fmt->nb_streams) ||
        impl->Stream()->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
        return nullptr;
    }
    impl->Dec = OpenDecoder(impl->Stream());
    impl->Pkt.reset(av_packet_alloc());
    impl->Cur.reset(av_frame_alloc());
    impl->Next.reset(av_frame_alloc());
    if (!impl->Dec || !impl->Pkt || !impl->Cur || !impl->Next) {
        return nullptr;
    }
    // Decoding the first picture fixes the decoder's timestamp delay and
    // proves that the stream decodes at all.
    impl->CurValid = impl->Receive(impl->Cur.get(), impl->CurNum);
    if (!impl->CurValid) {
        return nullptr;
    }
    impl->FetchNext();
    return std::make_unique<TVideoReader>(std::move(impl));
}

const std::uint8_t* TVideoReader::Frame(std::int64_t number) {
    TImpl& m = *FImpl;
    if (number < m.Clock->Start || number - m.Clock->Start >= m.Clock->Length ||
        (m.Clock->Available >= 0 && number - m.Clock->Start >= m.Clock->Available)) {
        return nullptr;
    }
    if (!m.CurValid || number < m.CurNum) {
        if (!m.SeekTo(number)) {
            return nullptr;
        }
    } else if (m.NextValid && number >= m.NextNum) {
        if (m.KeyFrameAhead(number)) {
            if (!m.SeekTo(number)) {
                return nullptr;
            }
        } else {
            m.AdvanceTo(number);
        }
    }
    if (!m.DibValid) {
        if (!m.Convert(m.Cur.get())) {
            return nullptr;
        }
        m.DibValid = true;
    }
    return m.Store.data() + m.DibOffset;
}

} // namespace framolo
