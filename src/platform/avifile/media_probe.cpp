// Probing: what a file holds, described as the AVIFile calls describe it.

#include "platform/avifile/ffmpeg_handles.h"
#include "platform/avifile/media_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace framolo {

namespace {

bool IsPcmCodec(AVCodecID id) {
    return id >= AV_CODEC_ID_PCM_S16LE && id < AV_CODEC_ID_ADPCM_IMA_QT;
}

std::uint32_t Sat32(std::int64_t v) {
    return static_cast<std::uint32_t>(
        std::clamp<std::int64_t>(v, 0, std::numeric_limits<std::uint32_t>::max()));
}

std::vector<std::uint8_t> PcmFormat(const TAudioShape& shape) {
    TWaveFormatEx f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = static_cast<std::uint16_t>(shape.Channels);
    f.nSamplesPerSec = static_cast<std::uint32_t>(shape.SampleRate);
    f.nBlockAlign = static_cast<std::uint16_t>(2 * shape.Channels);
    f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
    f.wBitsPerSample = 16;
    std::vector<std::uint8_t> bytes(sizeof(TWaveFormatEx));
    PackWaveFormat(f, bytes.data());
    return bytes;
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
            // The header's frame count is only a claim. An index lists every
            // frame the file holds, dropped ones included, and so does a scan
            // of a whole file: such a stream is never longer than its chunks.
            // Only a file cut short keeps the length its header promises (the
            // frames past the cut are missing, not absent). A header that says
            // 0 always takes the count of the chunks.
            const std::uint32_t chunks = Sat32(static_cast<std::int64_t>(ls.Chunks.size()));
            const bool counted = ls.IndexSource == TAviIndexSource::OpenDml ||
                                 ls.IndexSource == TAviIndexSource::Idx1 ||
                                 (ls.IndexSource == TAviIndexSource::Scan && !layout.CutShort);
            if (in.dwLength == 0 || (counted && in.dwLength > chunks)) {
                in.dwLength = chunks;
            }
            // The rectangle likewise: the format has the size.
            if (in.rcFrame == TRect{} && ls.Format.size() >= 12) {
                const auto w = static_cast<std::int32_t>(GetLE32(ls.Format.data() + 4));
                const auto hh = static_cast<std::int32_t>(GetLE32(ls.Format.data() + 8));
                in.rcFrame = {
                    0, 0, std::clamp(w, 0, kMaxDimension),
                    std::clamp(hh < 0 ? -std::max(hh, -kMaxDimension) : hh, 0, kMaxDimension)};
            }
            auto clock = std::make_shared<TFrameClock>();
            clock->CountsFrames = true;
            clock->Start = in.dwStart;
            clock->Length = in.dwLength;
            clock->ForwardOnly = ls.PaletteChanges > 0;
            // A start of more than an hour is not believed by the demuxer,
            // whose timestamps then begin at 0; its index shows which it did.
            if (ms.FfIndex >= 0 && in.dwStart > 0) {
                const AVIndexEntry* first = avformat_index_get_entry(f->streams[ms.FfIndex], 0);
                if (first != nullptr && first->timestamp < static_cast<std::int64_t>(in.dwStart))
                    clock->TsOffset = in.dwStart;
            }
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
    // A packet without a presentation time is placed by its decoding time plus
    // the lead the last packet with both times showed (MPEG streams stamp only
    // some of their packets; the decoding time alone lags by the reorder delay).
    std::vector<std::int64_t> lead(f->nb_streams, 0);
    TPacketPtr pkt(av_packet_alloc());
    if (!pkt) {
        return;
    }
    while (av_read_frame(f, pkt.get()) >= 0) {
        const auto i = static_cast<std::size_t>(pkt->stream_index);
        if (i < times.size() && f->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            if (pkt->pts != AV_NOPTS_VALUE) {
                times[i].push_back(pkt->pts);
                if (pkt->dts != AV_NOPTS_VALUE)
                    lead[i] = pkt->pts - pkt->dts;
            } else if (pkt->dts != AV_NOPTS_VALUE) {
                times[i].push_back(pkt->dts + lead[i]);
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
            // MPEG program and transport streams seek by byte position and land
            // wherever a time is found, seldom on a key frame, and a seek back to
            // the first frame may miss it: their readers go back by starting afresh.
            clock->ForwardOnly = (f->iformat->flags & AVFMT_TS_DISCONT) != 0;
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
            TBitmapInfoHeader h;
            h.biWidth = in.rcFrame.Right;
            h.biHeight = in.rcFrame.Bottom;
            h.biBitCount = static_cast<std::uint16_t>(
                p->bits_per_coded_sample > 0 ? p->bits_per_coded_sample : 24);
            h.biCompression = p->codec_tag;
            ms.Format.assign(sizeof(h), 0);
            PackBitmapInfoHeader(h, ms.Format.data());
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

} // namespace framolo
