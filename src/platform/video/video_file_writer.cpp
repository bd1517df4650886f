#include "platform/video/video_file_writer.h"

#include "platform/avifile/ffmpeg_handles.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <vector>

namespace framolo {

namespace {

// What the encoder's look-ahead frames may take, and how many it keeps by
// default (x264's medium preset looks 40 ahead, VP9 25).
constexpr std::int64_t kEncoderMemoryBudget = std::int64_t{384} << 20;
constexpr std::int64_t kEncoderFramesAhead = 40;
// The largest picture a video takes: even with one frame ahead, an encoder
// holds a picture many times over.
constexpr std::int64_t kMaxVideoPixels = std::int64_t{4096} * 2160;

// A side as coded: H.264 and VP9 in 4:2:0 take even sizes.
int CodedWidthOf(int side) {
    return side + (side & 1);
}

// An output file's context, which owns the file it writes to.
struct TFormatOutput {
    void operator()(AVFormatContext* c) const {
        if (c && c->pb && !(c->oformat->flags & AVFMT_NOFILE))
            avio_closep(&c->pb);
        avformat_free_context(c);
    }
};

std::string FfmpegReason(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

std::string LowerExtension(const std::string& fileName) {
    const auto slash = fileName.find_last_of('/');
    const auto dot = fileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = fileName.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

// Quality 1..100 onto a constant-rate factor of 0..top, higher quality lower.
int RateFactor(int quality, int top) {
    const int q = std::clamp(quality, 1, 100);
    return static_cast<int>(std::lround((100.0 - q) * top / 100.0));
}

} // namespace

bool VideoFileFormatOf(const std::string& fileName, TVideoFileFormat& format) {
    const std::string ext = LowerExtension(fileName);
    if (ext == ".mp4") {
        format = TVideoFileFormat::Mp4;
        return true;
    }
    if (ext == ".webm") {
        format = TVideoFileFormat::WebM;
        return true;
    }
    return false;
}

struct TVideoFileWriter::TImpl {
    TVideoFileSettings Settings;
    int CodedWidth = 0;
    int CodedHeight = 0;
    std::unique_ptr<AVFormatContext, TFormatOutput> Format;
    TCodecPtr Codec;
    TFramePtr Frame;
    TPacketPtr Packet;
    TSwsPtr Scaler;
    AVStream* Stream = nullptr;
    // The picture at the coded size, padding filled with the background.
    std::vector<std::uint8_t> Padded;
    // Each frame's duration by its presentation time: encoders hand packets
    // back in decoding order, and a packet's duration is that of its frame.
    std::map<std::int64_t, std::int64_t> Durations;
    std::int64_t Clock = 0;
    bool Broken = false;
    bool HeaderWritten = false;
    std::string Error;

    bool Fail(const std::string& what, int code) {
        Error = code < 0 ? what + ": " + FfmpegReason(code) : what;
        Broken = true;
        return false;
    }

    bool Open(const std::string& fileName) {
        const bool mp4 = Settings.Format == TVideoFileFormat::Mp4;
        AVFormatContext* raw = nullptr;
        int rc =
            avformat_alloc_output_context2(&raw, nullptr, mp4 ? "mp4" : "webm", fileName.c_str());
        Format.reset(raw);
        if (rc < 0 || !raw)
            return Fail("Cannot set up the video file", rc);

        if (std::int64_t{CodedWidthOf(Settings.Width)} * CodedWidthOf(Settings.Height) >
            kMaxVideoPixels)
            return Fail("The picture of " + std::to_string(Settings.Width) + "x" +
                            std::to_string(Settings.Height) +
                            " is larger than a video the encoder holds within its memory "
                            "budget (" +
                            std::to_string(kMaxVideoPixels / 1000000) + " million pixels)",
                        0);
        const AVCodec* codec = avcodec_find_encoder_by_name(mp4 ? "libx264" : "libvpx-vp9");
        if (!codec)
            return Fail(mp4 ? "No H.264 encoder (libx264) is available"
                            : "No VP9 encoder (libvpx-vp9) is available",
                        0);
        Codec.reset(avcodec_alloc_context3(codec));
        if (!Codec)
            return Fail("Not enough memory for the video encoder", AVERROR(ENOMEM));

        CodedWidth = Settings.Width + (Settings.Width & 1);
        CodedHeight = Settings.Height + (Settings.Height & 1);
        AVCodecContext& c = *Codec;
        c.width = CodedWidth;
        c.height = CodedHeight;
        c.pix_fmt = AV_PIX_FMT_YUV420P;
        c.sample_aspect_ratio = AVRational{1, 1};
        // Hundredths of a second, the GIF's own clock: every delay is exact.
        c.time_base = AVRational{1, 100};
        c.color_range = AVCOL_RANGE_MPEG;
        c.colorspace = AVCOL_SPC_BT709;
        c.color_primaries = AVCOL_PRI_BT709;
        c.color_trc = AVCOL_TRC_BT709;
        if (Format->oformat->flags & AVFMT_GLOBALHEADER)
            c.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

        AVDictionary* options = nullptr;
        if (mp4) {
            av_dict_set_int(&options, "crf", RateFactor(Settings.Quality, 51), 0);
            av_dict_set(&options, "preset", "medium", 0);
        } else {
            // Constant quality: a rate factor with no bit-rate target.
            c.bit_rate = 0;
            av_dict_set_int(&options, "crf", RateFactor(Settings.Quality, 63), 0);
            av_dict_set(&options, "deadline", "good", 0);
            av_dict_set_int(&options, "cpu-used", 4, 0);
            av_dict_set_int(&options, "row-mt", 1, 0);
        }
        // The encoders hold the frames they look ahead at several times over
        // (planes at half-pixel steps, one set per thread): a large picture
        // gets fewer of them and fewer threads, so that a small GIF of a
        // large screen cannot take gigabytes.
        const std::int64_t frameBytes = std::int64_t{CodedWidth} * CodedHeight * 8;
        if (frameBytes * kEncoderFramesAhead > kEncoderMemoryBudget) {
            const auto ahead = static_cast<int>(std::clamp<std::int64_t>(
                kEncoderMemoryBudget / frameBytes, 1, kEncoderFramesAhead));
            av_dict_set_int(&options, mp4 ? "rc-lookahead" : "lag-in-frames", ahead, 0);
            c.thread_count = ahead >= 8 ? 2 : 1;
        }
        rc = avcodec_open2(&c, codec, &options);
        av_dict_free(&options);
        if (rc < 0)
            return Fail("Cannot open the video encoder", rc);

        Stream = avformat_new_stream(Format.get(), nullptr);
        if (!Stream)
            return Fail("Not enough memory for the video stream", AVERROR(ENOMEM));
        Stream->time_base = c.time_base;
        rc = avcodec_parameters_from_context(Stream->codecpar, &c);
        if (rc < 0)
            return Fail("Cannot describe the video stream", rc);

        if (!(Format->oformat->flags & AVFMT_NOFILE)) {
            rc = avio_open(&Format->pb, fileName.c_str(), AVIO_FLAG_WRITE);
            if (rc < 0)
                return Fail("Cannot create " + fileName, rc);
        }
        AVDictionary* muxOptions = nullptr;
        if (mp4)
            av_dict_set(&muxOptions, "movflags", "+faststart", 0);
        rc = avformat_write_header(Format.get(), &muxOptions);
        av_dict_free(&muxOptions);
        if (rc < 0)
            return Fail("Cannot write the video file's header", rc);
        HeaderWritten = true;

        Frame.reset(av_frame_alloc());
        Packet.reset(av_packet_alloc());
        if (!Frame || !Packet)
            return Fail("Not enough memory for the video encoder", AVERROR(ENOMEM));
        Frame->format = c.pix_fmt;
        Frame->width = c.width;
        Frame->height = c.height;
        rc = av_frame_get_buffer(Frame.get(), 0);
        if (rc < 0)
            return Fail("Not enough memory for a video frame", rc);

        Scaler.reset(sws_getContext(
            c.width, c.height, AV_PIX_FMT_RGB24, c.width, c.height, AV_PIX_FMT_YUV420P,
            SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP, nullptr, nullptr, nullptr));
        if (!Scaler)
            return Fail("Cannot set up the colour conversion", 0);
        // Full-range RGB in, studio-range BT.709 out, as the stream is tagged.
        const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(Scaler.get(), bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);

        const std::size_t row = static_cast<std::size_t>(CodedWidth) * 3;
        Padded.assign(row * static_cast<std::size_t>(CodedHeight), 0);
        const std::uint8_t rgb[3] = {static_cast<std::uint8_t>(Settings.Background),
                                     static_cast<std::uint8_t>(Settings.Background >> 8),
                                     static_cast<std::uint8_t>(Settings.Background >> 16)};
        for (std::size_t i = 0; i < Padded.size(); i += 3)
            std::memcpy(&Padded[i], rgb, 3);
        return true;
    }

    // Moves every packet the encoder has ready into the file.
    bool Drain() {
        for (;;) {
            int rc = avcodec_receive_packet(Codec.get(), Packet.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return true;
            if (rc < 0)
                return Fail("The video encoder failed", rc);
            const auto found = Durations.find(Packet->pts);
            if (found != Durations.end()) {
                Packet->duration = found->second;
                Durations.erase(found);
            }
            av_packet_rescale_ts(Packet.get(), Codec->time_base, Stream->time_base);
            Packet->stream_index = Stream->index;
            rc = av_interleaved_write_frame(Format.get(), Packet.get());
            if (rc < 0)
                return Fail("Cannot write to the video file", rc);
        }
    }

    bool Send(AVFrame* frame) {
        const int rc = avcodec_send_frame(Codec.get(), frame);
        if (rc < 0)
            return Fail("The video encoder failed", rc);
        return Drain();
    }
};

TVideoFileWriter::TVideoFileWriter(std::unique_ptr<TImpl> impl) : FImpl(std::move(impl)) {}
TVideoFileWriter::~TVideoFileWriter() = default;

std::unique_ptr<TVideoFileWriter> TVideoFileWriter::Create(const std::string& fileName,
                                                           const TVideoFileSettings& settings,
                                                           std::string& error) {
    if (settings.Width < 1 || settings.Height < 1 || settings.Width > 16384 ||
        settings.Height > 16384) {
        error = "A video frame must be 1 to 16384 pixels wide and high";
        return nullptr;
    }
    SilenceFfmpegLog();
    auto impl = std::make_unique<TImpl>();
    impl->Settings = settings;
    if (!impl->Open(fileName)) {
        error = impl->Error;
        return nullptr;
    }
    return std::make_unique<TVideoFileWriter>(std::move(impl));
}

bool TVideoFileWriter::AddFrame(const std::uint8_t* rgb, int stride, int hundredths) {
    TImpl& s = *FImpl;
    if (s.Broken)
        return false;
    const std::size_t row = static_cast<std::size_t>(s.CodedWidth) * 3;
    for (int y = 0; y < s.Settings.Height; ++y)
        std::memcpy(&s.Padded[static_cast<std::size_t>(y) * row],
                    rgb + static_cast<std::ptrdiff_t>(y) * stride,
                    static_cast<std::size_t>(s.Settings.Width) * 3);
    int rc = av_frame_make_writable(s.Frame.get());
    if (rc < 0)
        return s.Fail("Not enough memory for a video frame", rc);
    const std::uint8_t* source[1] = {s.Padded.data()};
    const int sourceStride[1] = {static_cast<int>(row)};
    sws_scale(s.Scaler.get(), source, sourceStride, 0, s.CodedHeight, s.Frame->data,
              s.Frame->linesize);
    const std::int64_t duration = std::max(hundredths, 1);
    s.Frame->pts = s.Clock;
    s.Durations[s.Clock] = duration;
    s.Clock += duration;
    return s.Send(s.Frame.get());
}

bool TVideoFileWriter::Finish() {
    TImpl& s = *FImpl;
    if (s.Broken)
        return false;
    if (!s.Send(nullptr))
        return false;
    const int rc = av_write_trailer(s.Format.get());
    if (rc < 0)
        return s.Fail("Cannot finish the video file", rc);
    if (s.Format->pb) {
        const int flushed = s.Format->pb->error;
        if (flushed < 0)
            return s.Fail("Cannot write to the video file", flushed);
    }
    s.Broken = true; // finished: no further frames
    return true;
}

const std::string& TVideoFileWriter::LastError() const {
    return FImpl->Error;
}

} // namespace framolo
