#pragma once

// The FFmpeg objects, each owned by a unique_ptr whose deleter makes the
// matching release call, and the demuxer and decoder of one stream that both
// readers build on. Private to the two FFmpeg modules (platform/avifile and
// platform/video): only their .cpp files include this header, so FFmpeg types
// stay out of every header the rest of Framolo sees.

#include "platform/avifile/avifile.h"

#include <cstdint>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace framolo {

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

// Pictures larger than this are refused instead of allocated.
constexpr std::int64_t kMaxPixels = AVIMaxFramePixels;
constexpr int kMaxDimension = AVIMaxFrameSide;

// Quiets FFmpeg's own logging, once per process.
void SilenceFfmpegLog();

// The file opened and its streams probed; null when FFmpeg cannot read it.
TFormatPtr OpenInput(const std::string& path);
// An opened decoder for the stream; null when FFmpeg has none for its codec.
TCodecPtr OpenDecoder(const AVStream* st);

// The demuxer and decoder of one stream of a file.
struct TStreamDecoder {
    std::string Path;
    int Index = -1; // the stream's index inside FFmpeg
    TFormatPtr Fmt;
    TCodecPtr Dec;
    TPacketPtr Pkt;
    bool InputDone = false; // the demuxer is at the end; the decoder drains

    AVStream* Stream() const { return Fmt->streams[Index]; }

    // Receives the decoder's next output into `out`, reading and sending the
    // stream's packets as the decoder asks for them; onPacket(packet) sees
    // each packet before it is sent. False when the decoder has no more.
    template <class OnPacket> bool ReceiveFrame(AVFrame* out, OnPacket&& onPacket) {
        for (;;) {
            int r = avcodec_receive_frame(Dec.get(), out);
            if (r == 0) {
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
            if (Pkt->stream_index == Index) {
                onPacket(*Pkt);
                // A damaged packet loses its own output; decoding goes on.
                avcodec_send_packet(Dec.get(), Pkt.get());
            }
            av_packet_unref(Pkt.get());
        }
    }
};

} // namespace framolo
