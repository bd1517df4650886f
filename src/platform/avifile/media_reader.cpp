#include "platform/avifile/media_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>
#include <numeric>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace framolo {

namespace {

struct TFormatCloser {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct TCodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct TFrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct TPacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct TSwsFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct TSwrFree {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
using TFormatPtr = std::unique_ptr<AVFormatContext, TFormatCloser>;
using TCodecPtr = std::unique_ptr<AVCodecContext, TCodecCloser>;
using TFramePtr = std::unique_ptr<AVFrame, TFrameFree>;
using TPacketPtr = std::unique_ptr<AVPacket, TPacketFree>;
using TSwsPtr = std::unique_ptr<SwsContext, TSwsFree>;
using TSwrPtr = std::unique_ptr<SwrContext, TSwrFree>;

// Frames larger than this are refused instead of allocated.
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 28;
constexpr int kMaxDimension = 32768;
// Never more decoder threads than this.
constexpr int kDecoderThreads = 2;
constexpr std::size_t kPixelAlign = 64;

TFormatPtr OpenInput(const std::string& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        return {}; // FFmpeg frees the context on failure
    }
    TFormatPtr f(raw);
    if (avformat_find_stream_info(f.get(), nullptr) < 0) {
        return {};
    }
    return f;
}

TCodecPtr OpenDecoder(const AVStream* st) {
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) {
        return {};
    }
    TCodecPtr c(avcodec_alloc_context3(codec));
    if (!c || avcodec_parameters_to_context(c.get(), st->codecpar) < 0) {
        return {};
    }
    c->pkt_timebase = st->time_base;
    c->thread_count = kDecoderThreads;
    c->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(c.get(), codec, nullptr) < 0) {
        return {};
    }
    return c;
}

bool IsPcmCodec(AVCodecID id) {
    return id >= AV_CODEC_ID_PCM_S16LE && id < AV_CODEC_ID_ADPCM_IMA_QT;
}

std::uint32_t Sat32(std::int64_t v) {
    return static_cast<std::uint32_t>(
        std::clamp<std::int64_t>(v, 0, std::numeric_limits<std::uint32_t>::max()));
}

void PutLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void PutLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

std::vector<std::uint8_t> PcmFormat(const TAudioShape& shape) {
    const auto block = static_cast<std::uint16_t>(2 * shape.Channels);
    std::vector<std::uint8_t> f(18, 0);
    PutLe16(&f[0], WAVE_FORMAT_PCM);
    PutLe16(&f[2], static_cast<std::uint16_t>(shape.Channels));
    PutLe32(&f[4], static_cast<std::uint32_t>(shape.SampleRate));
    PutLe32(&f[8], static_cast<std::uint32_t>(shape.SampleRate) * block);
    PutLe16(&f[12], block);
    PutLe16(&f[14], 16);
    return f;
}

// The stream information of sound delivered as PCM, in the form PCM streams
// of AVI files use: one sample is one block of all channels.
void SetPcmInfo(TAVIStreamInfo& info, const TAudioShape& shape) {
    const auto block = static_cast<std::uint32_t>(2 * shape.Channels);
    info.fccType = streamtypeAUDIO;
    info.fccHandler = 0;
    info.dwScale = block;
    info.dwRate = static_cast<std::uint32_t>(shape.SampleRate) * block;
    info.dwStart = 0;
    info.dwLength = Sat32(shape.Length);
    info.dwSampleSize = block;
    info.dwSuggestedBufferSize = info.dwRate;
    info.rcFrame = {};
}

bool ShapeAudio(const AVStream* st, TAudioShape& shape) {
    const AVCodecParameters* p = st->codecpar;
    const int channels = p->ch_layout.nb_channels;
    if (channels <= 0 || p->sample_rate <= 0) {
        return false;
    }
    shape.Channels = std::min(channels, 2);
    shape.SampleRate = p->sample_rate;
    shape.SourceIsPcm = IsPcmCodec(p->codec_id);
    return true;
}

void CopyName(TAVIStreamInfo& info, const std::string& name) {
    const std::size_t n = std::min(name.size(), sizeof(info.szName) - 1);
    std::memcpy(info.szName, name.data(), n);
    info.szName[n] = '\0';
}

int FfIndexFor(const AVFormatContext* f, const TAviLayout& layout, std::size_t s) {
    if (f->nb_streams == layout.Streams.size()) {
        return static_cast<int>(s);
    }
    // Otherwise pair the k-th stream of a type with FFmpeg's k-th of that type.
    const std::uint32_t type = layout.Streams[s].Header.fccType;
    const AVMediaType want = type == streamtypeVIDEO   ? AVMEDIA_TYPE_VIDEO
                             : type == streamtypeAUDIO ? AVMEDIA_TYPE_AUDIO
                                                       : AVMEDIA_TYPE_UNKNOWN;
    if (want == AVMEDIA_TYPE_UNKNOWN) {
        return -1;
    }
    std::size_t k = 0;
    for (std::size_t i = 0; i < s; ++i) {
        k += layout.Streams[i].Header.fccType == type ? 1 : 0;
    }
    for (unsigned i = 0; i < f->nb_streams; ++i) {
        if (f->streams[i]->codecpar->codec_type == want && k-- == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void DescribeAvi(const AVFormatContext* f, const TAviLayout& layout, TMediaFile& m) {
    for (std::size_t s = 0; s < layout.Streams.size(); ++s) {
        const TAviStreamLayout& ls = layout.Streams[s];
        const TAviStreamHeader& h = ls.Header;
        TMediaStream ms;
        ms.Video = h.fccType == streamtypeVIDEO;
        ms.Audio = h.fccType == streamtypeAUDIO;
        ms.FfIndex = FfIndexFor(f, layout, s);
        ms.Format = ls.Format;
        TAVIStreamInfo& in = ms.Info;
        in.fccType = h.fccType;
        in.fccHandler = h.fccHandler;
        in.dwFlags = h.dwFlags;
        in.wPriority = h.wPriority;
        in.wLanguage = h.wLanguage;
        in.dwScale = h.dwScale;
        in.dwRate = h.dwRate;
        in.dwStart = h.dwStart;
        in.dwLength = h.dwLength;
        in.dwInitialFrames = h.dwInitialFrames;
        in.dwSuggestedBufferSize = h.dwSuggestedBufferSize;
        in.dwQuality = h.dwQuality;
        in.dwSampleSize = h.dwSampleSize;
        in.rcFrame = {h.rcLeft, h.rcTop, h.rcRight, h.rcBottom};
        CopyName(in, ls.Name);
        if (ms.Video) {
            // Writers that leave the length or the rectangle at 0 still give a
            // usable stream: the index counts the frames, the format has the size.
            if (in.dwLength == 0 && !ls.Chunks.empty()) {
                in.dwLength = Sat32(static_cast<std::int64_t>(ls.Chunks.size()));
            }
            if (in.rcFrame == TRect{} && ls.Format.size() >= 12) {
                std::int32_t w = 0;
                std::int32_t hh = 0;
                std::memcpy(&w, ls.Format.data() + 4, 4);
                std::memcpy(&hh, ls.Format.data() + 8, 4);
                in.rcFrame = {
                    0, 0, std::clamp(w, 0, kMaxDimension),
                    std::clamp(hh < 0 ? -std::max(hh, -kMaxDimension) : hh, 0, kMaxDimension)};
            }
            auto clock = std::make_shared<TFrameClock>();
            clock->CountsFrames = true;
            clock->Start = in.dwStart;
            clock->Length = in.dwLength;
            clock->ForwardOnly = ls.PaletteChanges > 0;
            if (ls.IndexSource == TAviIndexSource::Scan) {
                clock->Available = static_cast<std::int64_t>(ls.Chunks.size());
            }
            ms.Clock = std::move(clock);
        } else if (ms.Audio && ms.FfIndex >= 0) {
            const AVStream* st = f->streams[ms.FfIndex];
            if (!ShapeAudio(st, ms.AudioShape)) {
                ms.FfIndex = -1;
            } else {
                const int channels = st->codecpar->ch_layout.nb_channels;
                const bool asStored = st->codecpar->codec_id == AV_CODEC_ID_PCM_S16LE &&
                                      channels <= 2 &&
                                      h.dwSampleSize == static_cast<std::uint32_t>(2 * channels);
                if (asStored) {
                    // Already what we deliver: the header's own values hold.
                    ms.AudioShape.Length = h.dwLength;
                } else {
                    ms.AudioShape.Length =
                        h.dwRate == 0
                            ? 0
                            : av_rescale(static_cast<std::int64_t>(h.dwLength) * h.dwScale,
                                         ms.AudioShape.SampleRate, h.dwRate);
                    SetPcmInfo(in, ms.AudioShape);
                }
                ms.Format = PcmFormat(ms.AudioShape);
            }
        }
        m.Streams.push_back(std::move(ms));
    }
}

void DescribeOther(AVFormatContext* f, TMediaFile& m) {
    // Frame numbers in other containers are ranks of presentation times, so
    // every packet's time is listed once, without decoding.
    std::vector<std::vector<std::int64_t>> times(f->nb_streams);
    std::vector<std::int64_t> maxPacket(f->nb_streams, 0);
    TPacketPtr pkt(av_packet_alloc());
    if (!pkt) {
        return;
    }
    while (av_read_frame(f, pkt.get()) >= 0) {
        const auto i = static_cast<std::size_t>(pkt->stream_index);
        if (i < times.size() && f->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            const std::int64_t t = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
            if (t != AV_NOPTS_VALUE) {
                times[i].push_back(t);
            }
            maxPacket[i] = std::max<std::int64_t>(maxPacket[i], pkt->size);
        }
        av_packet_unref(pkt.get());
    }
    for (unsigned i = 0; i < f->nb_streams; ++i) {
        const AVStream* st = f->streams[i];
        const AVCodecParameters* p = st->codecpar;
        TMediaStream ms;
        ms.FfIndex = static_cast<int>(i);
        if (p->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            ms.Video = true;
            AVRational rate = st->avg_frame_rate;
            if (rate.num <= 0 || rate.den <= 0) {
                rate = st->r_frame_rate;
            }
            if (rate.num <= 0 || rate.den <= 0) {
                rate = {25, 1};
            }
            int num = 0;
            int den = 0;
            av_reduce(&num, &den, rate.num, rate.den, std::numeric_limits<std::int32_t>::max());
            auto clock = std::make_shared<TFrameClock>();
            clock->CountsFrames = false;
            clock->Times = std::move(times[i]);
            std::sort(clock->Times.begin(), clock->Times.end());
            clock->Times.erase(std::unique(clock->Times.begin(), clock->Times.end()),
                               clock->Times.end());
            clock->Length = static_cast<std::int64_t>(clock->Times.size());
            TAVIStreamInfo& in = ms.Info;
            in.fccType = streamtypeVIDEO;
            in.fccHandler = p->codec_tag;
            in.dwScale = static_cast<std::uint32_t>(den);
            in.dwRate = static_cast<std::uint32_t>(num);
            in.dwLength = Sat32(clock->Length);
            in.dwSuggestedBufferSize = Sat32(maxPacket[i]);
            in.rcFrame = {0, 0, std::clamp(p->width, 0, kMaxDimension),
                          std::clamp(p->height, 0, kMaxDimension)};
            ms.Clock = std::move(clock);
            // A bitmap header that describes the coded stream.
            ms.Format.assign(40, 0);
            const int bits = p->bits_per_coded_sample > 0 ? p->bits_per_coded_sample : 24;
            PutLe32(&ms.Format[0], 40);
            PutLe32(&ms.Format[4], static_cast<std::uint32_t>(in.rcFrame.Right));
            PutLe32(&ms.Format[8], static_cast<std::uint32_t>(in.rcFrame.Bottom));
            PutLe16(&ms.Format[12], 1);
            PutLe16(&ms.Format[14], static_cast<std::uint16_t>(bits));
            PutLe32(&ms.Format[16], p->codec_tag);
        } else if (p->codec_type == AVMEDIA_TYPE_AUDIO && ShapeAudio(st, ms.AudioShape)) {
            ms.Audio = true;
            const int rate = ms.AudioShape.SampleRate;
            if (st->duration != AV_NOPTS_VALUE && st->duration > 0) {
                ms.AudioShape.Length = av_rescale_q(st->duration, st->time_base, {1, rate});
            } else if (f->duration != AV_NOPTS_VALUE && f->duration > 0) {
                ms.AudioShape.Length = av_rescale(f->duration, rate, AV_TIME_BASE);
            }
            SetPcmInfo(ms.Info, ms.AudioShape);
            ms.Format = PcmFormat(ms.AudioShape);
        } else {
            continue;
        }
        const AVDictionaryEntry* title = av_dict_get(st->metadata, "title", nullptr, 0);
        if (title && title->value) {
            CopyName(ms.Info, title->value);
        }
        m.Streams.push_back(std::move(ms));
    }
}

} // namespace

void SilenceFfmpegLog() {
    // Once per process: the level is a plain global inside FFmpeg.
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

std::optional<TMediaFile> ProbeMedia(const std::string& path, const TAviLayout* layout) {
    TFormatPtr f = OpenInput(path);
    if (!f) {
        return std::nullopt;
    }
    TMediaFile m;
    m.IsAvi = layout != nullptr;
    if (layout) {
        DescribeAvi(f.get(), *layout, m);
    } else {
        DescribeOther(f.get(), m);
    }
    return m;
}

// ---------------------------------------------------------------------------
// Video

struct TVideoReader::TImpl {
    std::string Path;
    int Index = -1;
    std::shared_ptr<const TFrameClock> Clock;
    TFormatPtr Fmt;
    TCodecPtr Dec;
    TPacketPtr Pkt;
    TFramePtr Cur;
    TFramePtr Next;
    TFramePtr Rgb;
    TSwsPtr Sws;
    bool CurValid = false;
    bool NextValid = false;
    std::int64_t CurNum = -1;
    std::int64_t NextNum = -1;
    bool InputDone = false;
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
    std::int64_t PacketNumber(const AVPacket* p) const {
        if (Clock->CountsFrames) {
            return p->dts != AV_NOPTS_VALUE ? p->dts : p->pts;
        }
        return Rank(p->pts != AV_NOPTS_VALUE ? p->pts : p->dts);
    }
    // AVI timestamps are stream positions: dwStart for the first frame.
    std::int64_t SeekTs(std::int64_t k) const {
        if (Clock->CountsFrames) {
            return k;
        }
        if (Clock->Times.empty()) {
            return 0;
        }
        return Clock->Times[static_cast<std::size_t>(
            std::clamp<std::int64_t>(k, 0, static_cast<std::int64_t>(Clock->Times.size()) - 1))];
    }
    AVStream* Stream() const { return Fmt->streams[Index]; }

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
    for (;;) {
        int r = avcodec_receive_frame(Dec.get(), out);
        if (r == 0) {
            const std::int64_t ts = out->best_effort_timestamp;
            if (!HaveDelay) {
                // The decoder's reordering delay shifts every timestamp by
                // the same amount; the first picture is the first frame.
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
        if (r != AVERROR(EAGAIN) || InputDone) {
            return false;
        }
        r = av_read_frame(Fmt.get(), Pkt.get());
        if (r < 0) {
            InputDone = true;
            avcodec_send_packet(Dec.get(), nullptr);
            continue;
        }
        if (Pkt->stream_index != Index) {
            av_packet_unref(Pkt.get());
            continue;
        }
        if (!HaveFirstTs) {
            FirstTs = PacketNumber(Pkt.get());
            HaveFirstTs = true;
        }
        if (MinPending) {
            MinNumber = PacketNumber(Pkt.get());
            MinPending = false;
        }
        LastPacketTs = Pkt->dts != AV_NOPTS_VALUE ? Pkt->dts : Pkt->pts;
        // A damaged packet loses its own picture; decoding goes on.
        avcodec_send_packet(Dec.get(), Pkt.get());
        av_packet_unref(Pkt.get());
    }
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
    PutLe32(d + 0, 40);
    PutLe32(d + 4, static_cast<std::uint32_t>(w));
    PutLe32(d + 8, static_cast<std::uint32_t>(h));
    PutLe16(d + 12, 1);
    PutLe16(d + 14, pal8 ? 8 : 24);
    PutLe32(d + 16, BI_RGB);
    PutLe32(d + 20, static_cast<std::uint32_t>(image));
    PutLe32(d + 32, pal8 ? 256 : 0);
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
            const int* coeffs = sws_getCoefficients(f->colorspace);
            if (f->color_range != AVCOL_RANGE_UNSPECIFIED) {
                srcRange = f->color_range == AVCOL_RANGE_JPEG ? 1 : 0;
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

// ---------------------------------------------------------------------------
// Audio

struct TAudioReader::TImpl {
    std::string Path;
    int Index = -1;
    TAudioShape Shape;
    TFormatPtr Fmt;
    TCodecPtr Dec;
    TSwrPtr Swr;
    TPacketPtr Pkt;
    TFramePtr Frm;
    AVChannelLayout InLayout{};
    int InFormat = -1;
    int InRate = 0;
    std::vector<std::int16_t> Buf; // interleaved PCM from BufPos on
    std::int64_t BufPos = 0;
    bool PosKnown = true;
    bool InputDone = false;
    bool Done = false;

    ~TImpl() { av_channel_layout_uninit(&InLayout); }
    AVStream* Stream() const { return Fmt->streams[Index]; }
    bool OpenFresh();
    bool Decode();
    bool Convert(const AVFrame* f);
    bool Seek(std::int64_t start);
};

bool TAudioReader::TImpl::OpenFresh() {
    Fmt = OpenInput(Path);
    if (!Fmt || Index < 0 || Index >= static_cast<int>(Fmt->nb_streams) ||
        Stream()->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) {
        return false;
    }
    Dec = OpenDecoder(Stream());
    Swr.reset();
    InFormat = -1;
    Buf.clear();
    BufPos = 0;
    PosKnown = true;
    InputDone = false;
    Done = false;
    return Dec != nullptr;
}

bool TAudioReader::TImpl::Convert(const AVFrame* f) {
    AVChannelLayout in{};
    if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || f->ch_layout.nb_channels <= 0) {
        av_channel_layout_default(&in, f->ch_layout.nb_channels > 0 ? f->ch_layout.nb_channels
                                                                    : Shape.Channels);
    } else if (av_channel_layout_copy(&in, &f->ch_layout) < 0) {
        return false;
    }
    if (!Swr || InFormat != f->format || InRate != f->sample_rate ||
        av_channel_layout_compare(&in, &InLayout) != 0) {
        AVChannelLayout out{};
        av_channel_layout_default(&out, Shape.Channels);
        SwrContext* raw = nullptr;
        const int r =
            swr_alloc_set_opts2(&raw, &out, AV_SAMPLE_FMT_S16, Shape.SampleRate, &in,
                                static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&out);
        Swr.reset(raw);
        if (r < 0 || swr_init(Swr.get()) < 0) {
            av_channel_layout_uninit(&in);
            Swr.reset();
            return false;
        }
        av_channel_layout_uninit(&InLayout);
        InLayout = in;
        InFormat = f->format;
        InRate = f->sample_rate;
    } else {
        av_channel_layout_uninit(&in);
    }
    const int room = swr_get_out_samples(Swr.get(), f ? f->nb_samples : 0);
    if (room < 0) {
        return false;
    }
    const std::size_t old = Buf.size();
    Buf.resize(old + static_cast<std::size_t>(room) * static_cast<std::size_t>(Shape.Channels));
    auto* out = reinterpret_cast<std::uint8_t*>(Buf.data() + old);
    const int got = swr_convert(Swr.get(), &out, room,
                                const_cast<const std::uint8_t**>(f->extended_data), f->nb_samples);
    if (got < 0) {
        Buf.resize(old);
        return false;
    }
    Buf.resize(old + static_cast<std::size_t>(got) * static_cast<std::size_t>(Shape.Channels));
    return true;
}

bool TAudioReader::TImpl::Decode() {
    for (;;) {
        int r = avcodec_receive_frame(Dec.get(), Frm.get());
        if (r == 0) {
            if (!PosKnown) {
                // After a seek in PCM the first frame's time fixes the position.
                const AVStream* st = Stream();
                const std::int64_t origin = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
                if (Frm->pts == AV_NOPTS_VALUE) {
                    av_frame_unref(Frm.get());
                    return false;
                }
                BufPos = av_rescale_q(Frm->pts - origin, st->time_base, {1, Shape.SampleRate});
                PosKnown = true;
            }
            const bool ok = Convert(Frm.get());
            av_frame_unref(Frm.get());
            return ok;
        }
        if (r != AVERROR(EAGAIN) || InputDone) {
            return false;
        }
        r = av_read_frame(Fmt.get(), Pkt.get());
        if (r < 0) {
            InputDone = true;
            avcodec_send_packet(Dec.get(), nullptr);
            continue;
        }
        if (Pkt->stream_index == Index) {
            avcodec_send_packet(Dec.get(), Pkt.get());
        }
        av_packet_unref(Pkt.get());
    }
}

bool TAudioReader::TImpl::Seek(std::int64_t start) {
    if (Shape.SourceIsPcm) {
        const AVStream* st = Stream();
        const std::int64_t origin = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
        const std::int64_t ts = origin + av_rescale_q(start, {1, Shape.SampleRate}, st->time_base);
        if (av_seek_frame(Fmt.get(), Index, ts, AVSEEK_FLAG_BACKWARD) >= 0) {
            avcodec_flush_buffers(Dec.get());
            Buf.clear();
            PosKnown = false;
            InputDone = false;
            Done = false;
            return true;
        }
    }
    // Compressed sound is decoded from its start, so that every sample lands
    // where a decode from the start puts it.
    return OpenFresh();
}

TAudioReader::TAudioReader(std::unique_ptr<TImpl> impl) : FImpl(std::move(impl)) {}
TAudioReader::~TAudioReader() = default;

std::unique_ptr<TAudioReader> TAudioReader::Open(const std::string& path, int ffIndex,
                                                 const TAudioShape& shape) {
    auto impl = std::make_unique<TImpl>();
    impl->Path = path;
    impl->Index = ffIndex;
    impl->Shape = shape;
    impl->Pkt.reset(av_packet_alloc());
    impl->Frm.reset(av_frame_alloc());
    if (shape.Channels < 1 || shape.Channels > 2 || shape.SampleRate <= 0 || !impl->Pkt ||
        !impl->Frm || !impl->OpenFresh()) {
        return nullptr;
    }
    return std::make_unique<TAudioReader>(std::move(impl));
}

std::int64_t TAudioReader::Read(std::int64_t start, std::int64_t count, std::int16_t* dst) {
    TImpl& m = *FImpl;
    if (start < 0 || count < 0) {
        return -1;
    }
    const auto ch = static_cast<std::size_t>(m.Shape.Channels);
    auto buffered = [&] { return static_cast<std::int64_t>(m.Buf.size() / ch); };
    const std::int64_t farAhead = m.Shape.SampleRate; // a second of sound
    if (start < m.BufPos || (m.Shape.SourceIsPcm && start > m.BufPos + buffered() + farAhead)) {
        if (!m.Seek(start)) {
            return -1;
        }
    }
    for (;;) {
        if (m.PosKnown && m.BufPos < start) {
            const std::int64_t drop = std::min(start - m.BufPos, buffered());
            m.Buf.erase(m.Buf.begin(), m.Buf.begin() + static_cast<std::ptrdiff_t>(drop) *
                                                           static_cast<std::ptrdiff_t>(ch));
            m.BufPos += drop;
        }
        if (m.PosKnown && m.BufPos > start) {
            // A seek landed after `start` (a packet boundary past it); go back
            // to the beginning, which is always exact.
            if (!m.OpenFresh()) {
                return -1;
            }
            continue;
        }
        if ((m.PosKnown && m.BufPos == start && buffered() >= count) || m.Done) {
            break;
        }
        if (!m.Decode()) {
            if (!m.PosKnown) {
                // A seek found no timed frame to stand on; start over instead.
                if (!m.OpenFresh()) {
                    return -1;
                }
                continue;
            }
            m.Done = true;
        }
    }
    if (!m.PosKnown || m.BufPos != start) {
        return 0;
    }
    const std::int64_t n = std::min(count, buffered());
    if (n > 0 && dst) {
        std::memcpy(dst, m.Buf.data(), static_cast<std::size_t>(n) * ch * sizeof(std::int16_t));
    }
    return n;
}

} // namespace framolo
