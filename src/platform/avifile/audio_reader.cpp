// The audio reader: the sound of one stream as interleaved 16-bit PCM.

#include "platform/avifile/ffmpeg_handles.h"
#include "platform/avifile/media_reader.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
}

namespace framolo {

struct TAudioReader::TImpl : TStreamDecoder {
    TAudioShape Shape;
    TSwrPtr Swr;
    TFramePtr Frm;
    AVChannelLayout InLayout{};
    int InFormat = -1;
    int InRate = 0;
    std::vector<std::int16_t> Buf; // interleaved PCM from BufPos on
    std::int64_t BufPos = 0;
    bool PosKnown = true;
    bool Done = false;

    ~TImpl() { av_channel_layout_uninit(&InLayout); }
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
    if (!ReceiveFrame(Frm.get(), [](const AVPacket&) {})) {
        return false;
    }
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
