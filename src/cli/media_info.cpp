#include "cli/media_info.h"

#include "cli/cli_host.h"
#include "cli/cli_report.h"

#include "convert/job_support.h"
#include "gif/gif_reader.h"
#include "platform/avifile/avifile_guards.h"

#include "gif/gif_document.h"
#include "platform/avifile/avifile.h"
#include "platform/streams/stream.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <sstream>
#include <vector>

namespace framolo {

std::string TFnv1a64::Hex() const {
    char buf[17];
    std::snprintf(buf, sizeof(buf), "%016llx", static_cast<unsigned long long>(hash_));
    return buf;
}

namespace {

template <class T> std::string OrNull(const std::optional<T>& v) {
    if (!v)
        return "null";
    if constexpr (std::is_same_v<T, std::string>)
        return JsonString(*v);
    else
        return std::to_string(*v);
}

// A codec tag's four characters, first byte first: a byte that is not
// printable ASCII is written \xNN, a backslash is doubled.
std::string FourCC(std::uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
        if (c == '\\') {
            s += "\\\\";
        } else if (c >= 32 && c < 127) {
            s += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\x%02x", c);
            s += escaped;
        }
    }
    return s;
}

// What is told of a frame's pixels, taken while they are there: the reader
// drops them once the frame is counted.
struct TFramePixels {
    bool Empty = true;
    std::string Hash;
};

int DescribeGif(TGIFDocument& doc, const std::vector<std::string>& warnings,
                const std::vector<TFramePixels>& pixelFacts, bool json, std::ostream& out) {
    std::optional<int> loopCount;
    for (int i = 0; i < doc.Frames().Count() && !loopCount; ++i) {
        const TGIFExtensionList& ext = doc.Frames()[i]->Extensions();
        for (int k = 0; k < ext.Count(); ++k)
            if (const auto* loop = dynamic_cast<const TGIFAppExtNSLoop*>(ext[k])) {
                loopCount = loop->LoopCount();
                break;
            }
    }
    std::ostringstream s;
    if (json) {
        s << "{\"format\": \"gif\", \"width\": " << doc.Width() << ", \"height\": " << doc.Height()
          << ", \"background\": " << int{doc.Header().BackgroundColorIndex()}
          << ", \"aspect\": " << int{doc.Header().AspectRatio()}
          << ", \"global_colors\": " << doc.GlobalColorMap().Count()
          << ", \"loop_count\": " << OrNull(loopCount) << ", \"warnings\": [";
        for (std::size_t i = 0; i < warnings.size(); ++i)
            s << (i ? ", " : "") << JsonString(warnings[i]);
        s << "], \"frames\": [";
    } else {
        s << "format: gif\nscreen: " << doc.Width() << " x " << doc.Height()
          << "\nbackground: " << int{doc.Header().BackgroundColorIndex()}
          << "\naspect: " << int{doc.Header().AspectRatio()}
          << "\nglobal colors: " << doc.GlobalColorMap().Count()
          << "\nloop count: " << (loopCount ? std::to_string(*loopCount) : "none") << "\n";
        for (const std::string& w : warnings)
            s << "warning: " << w << "\n";
        s << "frames: " << doc.Frames().Count() << "\n";
    }
    for (int i = 0; i < doc.Frames().Count(); ++i) {
        TGIFSubImage* f = doc.Frames()[i];
        std::optional<int> delay;
        std::optional<int> disposal;
        std::optional<int> transparent;
        if (const TGIFGraphicControlExtension* g = f->GraphicControl()) {
            delay = g->Delay();
            disposal = g->Disposal();
            if (g->Transparent())
                transparent = g->TransparentColorIndex();
        }
        const TFramePixels& pixels = pixelFacts.at(static_cast<std::size_t>(i));
        const TGIFColorMap& map = f->ActiveColorMap();
        std::optional<std::string> paletteHash;
        if (map.Count() > 0) {
            TFnv1a64 h;
            for (int c = 0; c < map.Count(); ++c) {
                const TGIFColor e = map.Entry(c);
                const std::uint8_t rgb[3] = {e.Red, e.Green, e.Blue};
                h.Add(rgb, 3);
            }
            paletteHash = h.Hex();
        }
        if (json) {
            s << (i ? ", " : "") << "{\"left\": " << f->Left() << ", \"top\": " << f->Top()
              << ", \"width\": " << f->Width() << ", \"height\": " << f->Height()
              << ", \"interlaced\": " << (f->Interlaced() ? "true" : "false")
              << ", \"local_colors\": " << f->ColorMap().Count()
              << ", \"empty\": " << (pixels.Empty ? "true" : "false")
              << ", \"delay\": " << OrNull(delay) << ", \"disposal\": " << OrNull(disposal)
              << ", \"transparent_index\": " << OrNull(transparent)
              << ", \"pixels_fnv1a64\": " << JsonString(pixels.Hash)
              << ", \"palette_fnv1a64\": " << OrNull(paletteHash) << "}";
        } else {
            s << "frame " << i << ": " << f->Width() << " x " << f->Height() << " at (" << f->Left()
              << ", " << f->Top() << ")" << (f->Interlaced() ? ", interlaced" : "")
              << ", local colors " << f->ColorMap().Count() << (pixels.Empty ? ", empty" : "")
              << ", delay " << (delay ? std::to_string(*delay) : "none") << ", disposal "
              << (disposal ? std::to_string(*disposal) : "none") << ", transparent "
              << (transparent ? std::to_string(*transparent) : "none") << ", pixels " << pixels.Hash
              << ", palette " << (paletteHash ? *paletteHash : "none") << "\n";
        }
    }
    if (json)
        s << "]}\n";
    out << s.str();
    return 0;
}

// Hash of the picture AVIStreamGetFrame delivers, as 24-bit BGR rows top to bottom.
std::string FrameHash(const std::uint8_t* dib) {
    TBitmapInfoHeader h;
    std::memcpy(&h, dib, sizeof(h));
    const int width = h.biWidth;
    const int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    const std::size_t stride = DIBRowBytes(width, h.biBitCount);
    const std::uint8_t* table = dib + h.biSize;
    const std::uint8_t* bits = table + (h.biBitCount <= 8 ? (std::size_t{4} << h.biBitCount) : 0);
    TFnv1a64 hash;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        const int stored = h.biHeight < 0 ? y : height - 1 - y;
        const std::uint8_t* src = bits + stride * static_cast<std::size_t>(stored);
        for (int x = 0; x < width; ++x) {
            const auto ux = static_cast<std::size_t>(x);
            if (h.biBitCount == 8) {
                const std::uint8_t* q = table + std::size_t{src[ux]} * 4;
                row[ux * 3] = q[0];
                row[ux * 3 + 1] = q[1];
                row[ux * 3 + 2] = q[2];
            } else {
                std::memcpy(&row[ux * 3], src + ux * 3, 3);
            }
        }
        hash.Add(row.data(), row.size());
    }
    return hash.Hex();
}

int DescribeVideo(const std::string& path, bool json, bool frameHashes, std::ostream& out,
                  std::ostream& err) {
    TAVILibraryGuard library;
    TAVIFileGuard file;
    // Released before the file: declared after it.
    std::deque<TAVIStreamGuard> streams;
    if (AVIFileOpen(file.File, path, OF_SHARE_DENY_WRITE) != 0) {
        file.File = nullptr;
        err << "framolo-cli: Failed to open AVI file: " << OpenFailureReason(path) << "\n";
        return 1;
    }
    std::ostringstream s;
    s << (json ? "{\"format\": \"video\", \"streams\": [" : "format: video\n");
    PAVIStream firstVideo = nullptr;
    int written = 0;
    for (std::uint32_t type : {streamtypeVIDEO, streamtypeAUDIO}) {
        for (int index = 0;; ++index) {
            PAVIStream stream = nullptr;
            if (AVIFileGetStream(file.File, stream, type, index) != 0 || stream == nullptr)
                break;
            streams.emplace_back().Stream = stream;
            TAVIStreamInfo info;
            if (AVIStreamInfo(stream, info, static_cast<std::int32_t>(sizeof(info))) != 0)
                continue;
            std::int32_t size = 0;
            std::vector<std::uint8_t> format;
            if (AVIStreamReadFormat(stream, 0, nullptr, &size) == 0 && size > 0) {
                format.resize(static_cast<std::size_t>(size));
                if (AVIStreamReadFormat(stream, 0, format.data(), &size) != 0)
                    format.clear();
            }
            const bool video = type == streamtypeVIDEO;
            if (video && firstVideo == nullptr)
                firstVideo = stream;
            const TRect& r = info.rcFrame;
            if (json) {
                s << (written++ ? ", " : "") << "{\"type\": \"" << (video ? "vids" : "auds")
                  << "\", \"scale\": " << info.dwScale << ", \"rate\": " << info.dwRate
                  << ", \"start\": " << info.dwStart << ", \"length\": " << info.dwLength
                  << ", \"sample_size\": " << info.dwSampleSize << ", \"frame\": [" << r.Left
                  << ", " << r.Top << ", " << r.Right << ", " << r.Bottom << "]";
            } else {
                s << "stream " << written++ << ": " << (video ? "vids" : "auds") << ", scale "
                  << info.dwScale << ", rate " << info.dwRate << ", start " << info.dwStart
                  << ", length " << info.dwLength << ", sample size " << info.dwSampleSize
                  << ", frame [" << r.Left << ", " << r.Top << ", " << r.Right << ", " << r.Bottom
                  << "]";
            }
            // A file cut short holds fewer frames than its header promises.
            const std::int32_t inFile = video ? AVIStreamLengthInFile(stream) : -1;
            if (inFile >= 0 && static_cast<std::uint32_t>(inFile) < info.dwLength)
                s << (json ? ", \"frames_in_file\": " : ", frames in file ") << inFile;
            if (video && format.size() >= 40) {
                TBitmapInfoHeader bih;
                std::memcpy(&bih, format.data(), sizeof(bih));
                if (json)
                    s << ", \"bit_count\": " << bih.biBitCount
                      << ", \"compression\": " << JsonString(FourCC(bih.biCompression));
                else
                    s << ", bit count " << bih.biBitCount << ", compression " << bih.biCompression
                      << " (" << FourCC(bih.biCompression) << ")";
            } else if (!video && format.size() >= 16) {
                TWaveFormatEx wf;
                std::memcpy(&wf, format.data(), std::min(format.size(), sizeof(wf)));
                if (json)
                    s << ", \"channels\": " << wf.nChannels
                      << ", \"samples_per_sec\": " << wf.nSamplesPerSec
                      << ", \"bits_per_sample\": " << wf.wBitsPerSample;
                else
                    s << ", channels " << wf.nChannels << ", samples per second "
                      << wf.nSamplesPerSec << ", bits per sample " << wf.wBitsPerSample;
            }
            s << (json ? "}" : "\n");
        }
    }
    if (json)
        s << "]";
    if (frameHashes && firstVideo != nullptr) {
        PGetFrame getFrame = AVIStreamGetFrameOpen(firstVideo, nullptr);
        if (getFrame == nullptr) {
            err << "framolo-cli: Failed to start AVI decompression\n";
            return 1;
        }
        const std::int32_t start = AVIStreamStart(firstVideo);
        const std::int32_t length = AVIStreamLengthInFile(firstVideo);
        s << (json ? ", \"frame_hashes\": [" : "frame hashes:\n");
        int status = 0;
        // Frame numbers stop at the largest one, however late the stream starts.
        const std::int32_t count = static_cast<std::int32_t>(
            std::min<std::int64_t>(length, std::int64_t{INT32_MAX} - start + 1));
        for (std::int32_t k = 0; k < count; ++k) {
            const void* dib = AVIStreamGetFrame(getFrame, start + k);
            if (dib == nullptr) {
                err << "framolo-cli: Failed to decompress AVI frame\n";
                status = 1;
                break;
            }
            const std::string hash = FrameHash(static_cast<const std::uint8_t*>(dib));
            if (json)
                s << (k ? ", " : "") << "\"" << hash << "\"";
            else
                s << "  " << (start + k) << ": " << hash << "\n";
        }
        AVIStreamGetFrameClose(getFrame);
        if (status != 0)
            return status;
        if (json)
            s << "]";
    }
    if (json)
        s << "}\n";
    out << s.str();
    return 0;
}

// True when the GIF reader takes the file's signature: its header is read from
// the file's first bytes, zero-padded so that a cut file still shows its
// signature.
bool ReaderTakesSignature(const std::string& path) {
    std::vector<std::uint8_t> head(32, 0);
    try {
        TFileStream f(path, fmOpenRead | fmShareDenyWrite);
        f.Read(head.data(), head.size());
    } catch (const std::exception&) {
        return false;
    }
    TMemoryStream stream(std::move(head));
    TGIFDocument probe;
    try {
        probe.Header().LoadFromStream(stream);
    } catch (const GIFException& e) {
        return std::string(e.what()) != gifmsg::InvalidSignature;
    }
    return true;
}

} // namespace

int DescribeFile(const std::string& path, bool json, bool frameHashes, std::ostream& out,
                 std::ostream& err) {
    // A GIF is what the GIF reader takes: its signature in either case, at
    // the start or after a short prefix. Loading stops at once on anything
    // else; a file whose signature the reader takes but whose rest it refuses
    // is a broken GIF, not a video.
    TGIFDocument doc;
    std::vector<std::string> warnings;
    doc.WarningHandler = [&](TPersistent*, int, const std::string& m) { warnings.push_back(m); };
    // Each frame's pixels are hashed as it is read and then dropped, so that
    // a long animation is never held whole.
    std::vector<TFramePixels> pixelFacts;
    doc.OnFrameLoaded = [&pixelFacts](TGIFSubImage& frame) {
        TFramePixels facts;
        facts.Empty = frame.Empty();
        TFnv1a64 hash;
        if (!facts.Empty)
            hash.Add(frame.Pixels(), frame.PixelCount());
        facts.Hash = hash.Hex();
        pixelFacts.push_back(std::move(facts));
        frame.FreePixels();
    };
    std::string gifError;
    bool loaded = false;
    try {
        doc.LoadFromFile(path);
        loaded = true;
    } catch (const std::exception& e) {
        gifError = e.what();
    }
    if (loaded)
        return DescribeGif(doc, warnings, pixelFacts, json, out);
    if (ReaderTakesSignature(path) || LowerCase(ExtractFileExt(path)) == ".gif") {
        err << "framolo-cli: " << gifError << "\n";
        return 1;
    }
    return DescribeVideo(path, json, frameHashes, out, err);
}

} // namespace framolo
