#include "platform/avifile/ffmpeg_handles.h"

#include "platform/avifile/media_reader.h"

#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace framolo {

namespace {

// Never more decoder threads than this.
constexpr int kDecoderThreads = 2;

} // namespace

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

void SilenceFfmpegLog() {
    // Once per process: the level is a plain global inside FFmpeg.
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

} // namespace framolo
