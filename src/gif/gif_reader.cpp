// Reading GIF files into documents. The reader is lenient: many defects give a
// warning and reading goes on or stops quietly; structural defects raise
// GIFException. Image data is handed to the LZW decoder sub-block by sub-block.
#include "gif/gif_reader.h"
#include "platform/streams/system_memory.h"

#include "gif/lzw_decoder.h"
#include "platform/bytes/little_endian.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace framolo {

TGIFReadLimits GIFReadLimits;

namespace {

constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;

// Reads exactly n bytes; anything less is a file cut short.
void ReadExact(TStream& stream, void* buffer, std::size_t n) {
    if (n != 0 && stream.Read(buffer, n) != n)
        throw GIFException(gifmsg::PrematureEnd);
}

// Reads one byte that is only tested: the end of the stream is an answer, not
// an error.
bool ReadOne(TStream& stream, std::uint8_t& b) {
    return stream.Read(&b, 1) == 1;
}

void StepBack(TStream& stream) {
    stream.Seek(-1, TSeekOrigin::soCurrent);
}

void Skip(TStream& stream, std::int64_t n) {
    if (n != 0)
        stream.Seek(n, TSeekOrigin::soCurrent);
}

// Progress percentage, rounded to the nearest like the platform's MulDiv and
// kept in 0..100 (a skip may leave the position past the end).
std::uint8_t Percent(std::int64_t position, std::int64_t size) {
    if (size <= 0 || position <= 0)
        return 0;
    if (position >= size)
        return 100;
    return static_cast<std::uint8_t>((position * 200 + size) / (2 * size));
}

// "No class": what SubClassFor answers when the stream cannot say, which the
// class search turns into "Unknown extension type".
const TGIFExtensionClass kNoExtensionClass{0, nullptr, nullptr};

// The stream stands just after an introducer. Answers the class for the
// extension that starts there, or nullptr; the position is left unchanged.
const TGIFExtensionClass* FindExtensionClass(TStream& stream) {
    const std::int64_t start = stream.Position();
    const TGIFExtensionClass* cls = nullptr;
    std::uint8_t label = 0;
    if (ReadOne(stream, label)) {
        cls = FindExtension(label);
        // Registered classes could answer each other in a ring; a handful of
        // refinements is more than any real hierarchy needs.
        for (int depth = 0; cls != nullptr && depth < 16; ++depth) {
            const TGIFExtensionClass* sub =
                cls->SubClassFor != nullptr ? cls->SubClassFor(stream) : nullptr;
            if (sub == nullptr || sub == cls)
                break;
            cls = sub;
        }
        if (cls == &kNoExtensionClass || (cls != nullptr && cls->CreateFor == nullptr))
            cls = nullptr;
    }
    stream.SetPosition(start);
    return cls;
}

// Reads the introducer and label every extension record starts with.
void ReadIntroducer(TStream& stream, std::uint8_t label) {
    std::uint8_t head[2];
    ReadExact(stream, head, 2);
    if (head[0] != kExtensionIntroducer)
        throw GIFException(gifmsg::InvalidExtensionIntroducer);
    if (head[1] != label)
        throw GIFException(gifmsg::ExtensionLabelMismatch);
}

// Data sub-blocks as lines, one per block, up to a zero length or the end.
void ReadTextBlocks(TStream& stream, std::vector<std::string>& lines) {
    lines.clear();
    std::uint8_t n = 0;
    while (ReadOne(stream, n) && n != 0) {
        std::string line(n, '\0');
        ReadExact(stream, line.data(), n);
        lines.push_back(std::move(line));
    }
}

// Feeds the decoder the data sub-blocks of one image, straight from the stream.
class TStreamBlockSource final : public TGIFBlockSource {
public:
    TStreamBlockSource(TStream& stream, TGIFSubImage& frame) : stream_(stream), frame_(frame) {}

    int NextBlock(std::uint8_t* dst, bool& terminator) override {
        std::uint8_t n = 0;
        if (!ReadOne(stream_, n))
            return -1;
        if (n == 0) {
            terminator = true;
            return 0;
        }
        const std::size_t got = stream_.Read(dst, n);
        // A cut file still shows what it holds: the bytes that are there are
        // decoded and the rest of the frame keeps its fill.
        if (got < n)
            Warning(gifmsg::PrematureEnd);
        return static_cast<int>(got);
    }

    void SkipBlocks() override {
        std::uint8_t n = 0;
        while (ReadOne(stream_, n) && n != 0)
            Skip(stream_, n);
    }

    void Warning(const char* message) override { frame_.ReportWarning(&frame_, 1, message); }

private:
    TStream& stream_;
    TGIFSubImage& frame_;
};

// Pixels held by the document's frames other than the one being read.
std::int64_t PixelsInUse(const TGIFDocument* document, const TGIFSubImage* except) {
    std::int64_t total = 0;
    if (document == nullptr)
        return 0;
    for (int i = 0; i < document->Frames().Count(); ++i) {
        const TGIFSubImage* f = document->Frames()[i];
        if (f != except)
            total += static_cast<std::int64_t>(f->PixelCount());
    }
    return total;
}

// Interlaced rows come in four passes: every 8th row from 0, every 8th from 4,
// every 4th from 2, every 2nd from 1. Passes that start below the frame are
// skipped.
class TInterlaceRows {
public:
    explicit TInterlaceRows(int height) : height_(height) {}
    int Row() const { return row_; }
    void Next() {
        row_ += step_;
        // Four passes at most: after the last, step is 1 and row 0 < height.
        for (int guard = 0; row_ >= height_ && guard < 8; ++guard) {
            if (pass_ > 0)
                step_ /= 2;
            ++pass_;
            row_ = step_ / 2;
        }
    }

private:
    int height_;
    int pass_ = 0;
    int step_ = 8;
    int row_ = 0;
};

// The frames and extensions the read under way may still make, -1 outside a
// read. A document's read counts them across its frames, and the reads it
// makes of a frame or a frame's extensions take from its allowance. The
// reader has no threads of its own, and a thread's reads never overlap.
thread_local std::int64_t tBlocksLeft = -1;

// Takes one block from the read's allowance; refuses the read past it.
void TakeBlock() {
    if (tBlocksLeft == 0)
        throw GIFException(gifmsg::TooManyBlocks(GIFReadLimits.MaxBlocks));
    if (tBlocksLeft > 0)
        --tBlocksLeft;
}

// Gives the outermost read its allowance, and ends it with that read.
class TBlockAllowance {
public:
    TBlockAllowance() : outermost_(tBlocksLeft < 0) {
        if (outermost_)
            tBlocksLeft = GIFReadLimits.MaxBlocks;
    }
    ~TBlockAllowance() {
        if (outermost_)
            tBlocksLeft = -1;
    }
    TBlockAllowance(const TBlockAllowance&) = delete;
    TBlockAllowance& operator=(const TBlockAllowance&) = delete;

private:
    bool outermost_;
};

// The document limit, but never more than half of this machine's memory: the
// pixels of every frame are held at once, and a small file can claim many large
// frames, so a limit the machine cannot hold would end in an out-of-memory kill.
std::int64_t DocumentPixelLimit() {
    static const std::int64_t memory = PhysicalMemoryBytes();
    return memory > 0 ? std::min(GIFReadLimits.MaxDocumentPixels, memory / 2)
                      : GIFReadLimits.MaxDocumentPixels;
}

// Decodes a frame's image data into a new pixel buffer. pixelsInUse counts
// the pixels the document's other frames were decoded to, for the limits.
void DecodeImage(TGIFSubImage& frame, TStream& stream, std::int64_t pixelsInUse) {
    const int width = frame.Width();
    const int height = frame.Height();
    const std::int64_t count = static_cast<std::int64_t>(width) * height;
    // Checked before anything is allocated: a descriptor may claim 65535 x
    // 65535 pixels, and a small file thousands of such frames. A refused
    // frame is left cleared.
    const TGIFDocument* document = frame.Document();
    const std::int64_t budget = document != nullptr ? document->PixelBudget()
                                                    : std::max<std::int64_t>(DefaultPixelBudget, 0);
    auto refuse = [&frame](const std::string& message) {
        frame.Clear();
        throw GIFException(message);
    };
    if (count > GIFReadLimits.MaxFramePixels)
        refuse(gifmsg::FrameTooLarge);
    if (pixelsInUse > budget - count)
        refuse(gifmsg::PixelBudgetExceeded(pixelsInUse + count, budget));
    if (pixelsInUse > DocumentPixelLimit() - count)
        refuse(gifmsg::DocumentTooLarge);

    std::uint8_t fill = 0;
    if (frame.Transparent() && frame.GraphicControl() != nullptr)
        fill = static_cast<std::uint8_t>(frame.GraphicControl()->TransparentColorIndex());
    std::vector<std::uint8_t> pixels;
    try {
        pixels.assign(static_cast<std::size_t>(count), fill);
    } catch (const std::bad_alloc&) {
        throw GIFException(gifmsg::FrameTooLarge);
    }

    std::uint8_t minCodeSize = 0;
    if (!ReadOne(stream, minCodeSize)) {
        // No data at all: the frame keeps its fill value.
    } else if (minCodeSize > TLZWDecoder::kMaxMinCodeSize) {
        // Its clear code would not fit the decoder's tables. The frame keeps
        // its fill value and the data is passed over, so the frames after it
        // still load.
        TStreamBlockSource source(stream, frame);
        source.Warning(gifmsg::InvalidCodeSize);
        source.SkipBlocks();
    } else {
        TStreamBlockSource source(stream, frame);
        TLZWDecoder decoder(source, minCodeSize);
        if (!frame.Interlaced()) {
            decoder.Read(pixels.data(), pixels.size());
        } else {
            TInterlaceRows rows(height);
            const auto w = static_cast<std::size_t>(width);
            for (int i = 0; i < height && w > 0; ++i, rows.Next()) {
                if (rows.Row() < 0 || rows.Row() >= height)
                    break;
                std::uint8_t* out = pixels.data() + static_cast<std::size_t>(rows.Row()) * w;
                if (decoder.Read(out, w) < w)
                    break;
            }
        }
        decoder.Finish();
    }
    frame.SetPixels(std::move(pixels));
}

// Reads one frame: its extensions, then its image when one follows.
void ReadFrame(TGIFSubImage& frame, TStream& stream, std::int64_t pixelsInUse) {
    frame.Clear();
    frame.Extensions().LoadFromStream(stream, &frame);

    std::uint8_t next = 0;
    if (!ReadOne(stream, next))
        return;
    StepBack(stream);
    // Extensions after the last image, or before the trailer, form a frame
    // without image.
    if (next == kTrailer || next == 0x00)
        return;

    std::uint8_t d[10];
    ReadExact(stream, d, 10);
    TImageDescriptor& desc = frame.Descriptor();
    desc.Separator = d[0];
    desc.Left = GetLE16(d + 1);
    desc.Top = GetLE16(d + 3);
    desc.Width = GetLE16(d + 5);
    desc.Height = GetLE16(d + 7);
    desc.PackedFields = d[9];
    // The bounds are kept as they stand; only a frame without area is given
    // the screen's size so that it shows something.
    if (desc.Width == 0 || desc.Height == 0) {
        if (const TGIFDocument* doc = frame.Document()) {
            desc.Width = static_cast<std::uint16_t>(doc->Width());
            desc.Height = static_cast<std::uint16_t>(doc->Height());
        }
        frame.ReportWarning(&frame, 1, gifmsg::ImageExceedsScreen);
    }
    if ((desc.PackedFields & 0x80) != 0)
        frame.ColorMap().LoadFromStream(stream, 2 << (desc.PackedFields & 7));
    DecodeImage(frame, stream, pixelsInUse);
}

} // namespace

// ---- Document ----

void TGIFDocument::LoadFromStream(TStream& stream) {
    Progress(this, TProgressStage::psStarting, 0, false, TRect{}, gifmsg::Loading);
    try {
        Clear();
        const std::int64_t start = stream.Position();
        try {
            header_.LoadFromStream(stream);
            frames_.LoadFromStream(stream, this);
            TGIFTrailer trailer(this);
            trailer.LoadFromStream(stream);
        } catch (...) {
            // The frames read so far stay; the stream goes back to where the
            // load began.
            stream.SetPosition(start);
            throw;
        }
    } catch (...) {
        Progress(this, TProgressStage::psEnding, 0, true, TRect{}, gifmsg::Loading);
        throw;
    }
    Progress(this, TProgressStage::psEnding, 100, true, TRect{}, gifmsg::Loading);
}

// ---- Header ----

void TGIFHeader::LoadFromStream(TStream& stream) {
    const std::int64_t start = stream.Position();
    auto isGIF = [](const std::uint8_t* s) {
        // Case-insensitive: only 'G'/'g', 'I'/'i' and 'F'/'f' pass.
        return (s[0] | 0x20) == 'g' && (s[1] | 0x20) == 'i' && (s[2] | 0x20) == 'f';
    };
    std::uint8_t sig[6];
    ReadExact(stream, sig, 6);
    if (!isGIF(sig)) {
        // Some files carry a 4-byte prefix before the signature.
        stream.SetPosition(start + 4);
        ReadExact(stream, sig, 6);
        if (!isGIF(sig))
            throw GIFException(gifmsg::InvalidSignature);
    }
    // The version is neither checked nor kept: the writer works it out afresh.
    std::uint8_t lsd[7];
    ReadExact(stream, lsd, 7);
    descriptor_.ScreenWidth = GetLE16(lsd);
    descriptor_.ScreenHeight = GetLE16(lsd + 2);
    descriptor_.PackedFields = lsd[4];
    descriptor_.BackgroundColorIndex = lsd[5];
    descriptor_.AspectRatio = lsd[6];
    if ((descriptor_.PackedFields & 0x80) != 0)
        colorMap_.LoadFromStream(stream, 2 << (descriptor_.PackedFields & 7));
    else
        colorMap_.Clear();
}

void TGIFColorMap::LoadFromStream(TStream& stream, int count) {
    if (count < 0 || count > 256)
        throw GIFException(gifmsg::ColorTableOverflow);
    std::uint8_t raw[256 * 3];
    ReadExact(stream, raw, static_cast<std::size_t>(count) * 3);
    Clear();
    SetCount(count);
    TGIFColor* entries = MutableData();
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* p = raw + 3 * i;
        entries[i] = TGIFColor{p[0], p[1], p[2]};
    }
    Changed();
}

void TGIFTrailer::LoadFromStream(TStream& stream) {
    std::uint8_t b = 0;
    // A stream that simply ends is accepted.
    if (ReadOne(stream, b) && b != kTrailer)
        ReportWarning(this, 1, gifmsg::InvalidTrailer);
}

// ---- Frames ----

void TGIFImageList::LoadFromStream(TStream& stream, TPersistent* parent) {
    auto* document = dynamic_cast<TGIFDocument*>(parent);
    if (document == nullptr)
        document = document_;
    const std::int64_t size = stream.Size();
    std::int64_t inUse = PixelsInUse(document, nullptr);

    // Zero bytes between blocks are padding some writers leave; they are
    // skipped.
    auto nextBlock = [&stream](std::uint8_t& b) {
        do {
            if (!ReadOne(stream, b))
                return false;
        } while (b == 0);
        return true;
    };

    TBlockAllowance allowance;
    std::uint8_t b = 0;
    if (!nextBlock(b))
        return;
    while (b != kTrailer) {
        if (b != kExtensionIntroducer && b != kImageSeparator) {
            // Whatever follows is not GIF: the frames so far are kept.
            ReportWarning(this, 1, gifmsg::UnknownBlockType);
            break;
        }
        StepBack(stream);
        TakeBlock();
        auto frame = std::make_unique<TGIFSubImage>(document);
        ReadFrame(*frame, stream, inUse);
        inUse += static_cast<std::int64_t>(frame->PixelCount());
        TGIFSubImage& added = *frame;
        Add(std::move(frame));
        if (document != nullptr && document->OnFrameLoaded)
            document->OnFrameLoaded(added);
        if (document != nullptr)
            document->Progress(this, TProgressStage::psRunning, Percent(stream.Position(), size),
                               false, TRect{}, gifmsg::Loading);
        if (!nextBlock(b))
            return;
    }
    StepBack(stream);
}

void TGIFSubImage::LoadFromStream(TStream& stream) {
    TBlockAllowance allowance;
    ReadFrame(*this, stream, PixelsInUse(document_, this));
}

// ---- Extensions ----

void TGIFExtensionList::LoadFromStream(TStream& stream, TPersistent* parent) {
    auto* frame = dynamic_cast<TGIFSubImage*>(parent);
    TBlockAllowance allowance;
    std::uint8_t b = 0;
    if (!ReadOne(stream, b))
        return;
    while (b != kImageSeparator && b != kTrailer) {
        if (b != kExtensionIntroducer) {
            // The frame's extensions end here; the frame reader decides what
            // the byte starts.
            ReportWarning(this, 1, gifmsg::InvalidExtensionIntroducer);
            break;
        }
        const TGIFExtensionClass* cls = FindExtensionClass(stream);
        if (cls == nullptr)
            throw GIFException(gifmsg::UnknownExtension);
        StepBack(stream);
        TakeBlock();
        std::unique_ptr<TGIFExtension> extension = cls->CreateFor(frame);
        extension->LoadFromStream(stream);
        Add(std::move(extension));
        if (!ReadOne(stream, b))
            return;
    }
    StepBack(stream);
}

void TGIFGraphicControlExtension::LoadFromStream(TStream& stream) {
    ReadIntroducer(stream, ExtensionLabel());
    std::uint8_t r[6] = {};
    const std::size_t got = stream.Read(r, 6);
    // A cut block keeps the fields that arrived; the rest keep their values.
    if (got < 6)
        ReportWarning(this, 1, gifmsg::PrematureEnd);
    std::uint8_t now[6] = {rec_.BlockSize, rec_.PackedFields, 0, 0, rec_.TransparentColorIndex,
                           rec_.Terminator};
    PutLE16(now + 2, rec_.Delay);
    std::memcpy(now, r, got);
    rec_.BlockSize = now[0];
    rec_.PackedFields = now[1];
    rec_.Delay = GetLE16(now + 2);
    rec_.TransparentColorIndex = now[4];
    rec_.Terminator = now[5];
    if (Transparent() && subImage_ != nullptr)
        subImage_->SetTransparent(true);
}

void TGIFTextExtension::LoadFromStream(TStream& stream) {
    ReadIntroducer(stream, ExtensionLabel());
    std::uint8_t h[13];
    ReadExact(stream, h, 13);
    rec_.BlockSize = h[0];
    rec_.Left = GetLE16(h + 1);
    rec_.Top = GetLE16(h + 3);
    rec_.Width = GetLE16(h + 5);
    rec_.Height = GetLE16(h + 7);
    rec_.CellWidth = h[9];
    rec_.CellHeight = h[10];
    rec_.TextFGColorIndex = h[11];
    rec_.TextBGColorIndex = h[12];
    ReadTextBlocks(stream, Lines);
}

void TGIFCommentExtension::LoadFromStream(TStream& stream) {
    ReadIntroducer(stream, ExtensionLabel());
    ReadTextBlocks(stream, Lines);
}

const TGIFExtensionClass* TGIFApplicationExtension::SubClassFor(TStream& stream) {
    const std::int64_t start = stream.Position();
    const TGIFExtensionClass* answer = nullptr;
    std::uint8_t size = 0;
    if (!ReadOne(stream, size)) {
        answer = &kNoExtensionClass;
    } else if (size == 10) {
        // A 10-byte identifier, as some old writers made: never registered.
        std::uint8_t id[10];
        answer =
            stream.Read(id, 10) == 10 ? &TGIFUnknownAppExtension::ClassInfo() : &kNoExtensionClass;
    } else if (size >= 11) {
        // A block longer than 11 bytes still starts with the identifier; the
        // bytes after it are skipped when the extension is read. Picking the
        // registered class here keeps a copy, which reads the written form
        // back, from meeting a registered identifier with raw blocks.
        TGIFApplicationRec id{};
        if (stream.Read(id.data(), id.size()) == id.size()) {
            answer = FindAppExtension(id);
            if (answer == nullptr)
                answer = &TGIFUnknownAppExtension::ClassInfo();
        }
    }
    // A smaller size, or a short identifier, stays with the generic class,
    // which reads the block as an unknown application extension or rejects it.
    stream.SetPosition(start);
    return answer;
}

void TGIFApplicationExtension::LoadFromStream(TStream& stream) {
    ReadIntroducer(stream, ExtensionLabel());
    std::uint8_t size = 0;
    ReadExact(stream, &size, 1);
    if (size < 10)
        throw GIFException(gifmsg::UnsupportedAppBlockSize);
    // A 10-byte identifier takes the byte after it as its eleventh, and
    // reading resumes right after the 10 bytes. Bytes past the eleventh in a
    // longer block are skipped: no identifier is longer.
    ReadExact(stream, identifier_.data(), identifier_.size());
    Skip(stream, static_cast<std::int64_t>(size) - 11);
    ReadSubBlocks(stream);
}

void TGIFAppExtNSLoop::ReadSubBlocks(TStream& stream) {
    std::uint8_t size = 0;
    // The end of the stream ends the sub-blocks like a zero size byte.
    while (ReadOne(stream, size) && size != 0) {
        std::uint8_t id = 0;
        if (!ReadOne(stream, id))
            break;
        // Only the low three bits name the sub-block: 1 holds the loop count
        // in 2 bytes, 2 the buffer size in 4; any other is skipped whole.
        const int kind = id & 7;
        const int bytes = kind == 1 ? 2 : kind == 2 ? 4 : 0;
        if (size - 1 < bytes)
            throw GIFException(gifmsg::InvalidData);
        std::uint8_t v[4] = {};
        ReadExact(stream, v, static_cast<std::size_t>(bytes));
        if (kind == 1)
            loopCount_ = GetLE16(v);
        else if (kind == 2)
            bufferSize_ = GetLE32(v);
        Skip(stream, size - 1 - bytes);
    }
}

void TGIFUnknownAppExtension::ReadSubBlocks(TStream& stream) {
    Blocks.clear();
    std::uint8_t size = 0;
    while (ReadOne(stream, size) && size != 0) {
        TGIFBlock block;
        block.Data.resize(size);
        ReadExact(stream, block.Data.data(), size);
        Blocks.push_back(std::move(block));
    }
}

} // namespace framolo
