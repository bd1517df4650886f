#include "gif/gif_blocks.h"
#include "gif/gif_document.h"
#include "platform/bytes/little_endian.h"

#include <algorithm>

namespace framolo {

namespace {
// The largest colour-table depth in the document: global table and every local one.
int LargestBitsPerPixel(const TGIFDocument& document) {
    int m = document.Header().ColorMap().BitsPerPixel();
    const TGIFImageList& frames = document.Frames();
    for (int i = 0; i < frames.Count(); ++i)
        m = std::max(m, frames[i]->ColorMap().BitsPerPixel());
    return m;
}
} // namespace

void WriteTextBlocks(TStream& stream, const std::vector<std::string>& lines) {
    std::uint8_t block[256];
    for (const std::string& line : lines) {
        std::size_t pos = 0;
        while (pos < line.size()) {
            const std::size_t n = std::min<std::size_t>(255, line.size() - pos);
            block[0] = static_cast<std::uint8_t>(n);
            std::copy_n(reinterpret_cast<const std::uint8_t*>(line.data()) + pos, n, block + 1);
            stream.WriteBuffer(block, n + 1);
            pos += n;
        }
    }
    stream.WriteByte(0);
}

void TGIFColorMap::SaveToStream(TStream& stream) const {
    if (count_ == 0)
        return;
    const int total = 1 << BitsPerPixel();
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(total) * 3, 0);
    for (int i = 0; i < count_; ++i) {
        const TGIFColor& c = entries_[static_cast<std::size_t>(i)];
        bytes[static_cast<std::size_t>(i) * 3] = c.Red;
        bytes[static_cast<std::size_t>(i) * 3 + 1] = c.Green;
        bytes[static_cast<std::size_t>(i) * 3 + 2] = c.Blue;
    }
    stream.WriteBuffer(bytes.data(), bytes.size());
}

void TGIFHeader::SaveToStream(TStream& stream) {
    const int version = document_ != nullptr ? document_->Version() : 0;
    // A document that cannot be written keeps its descriptor as it was.
    if (version >= 1 && version <= 2)
        Prepare();
    WriteGIFHeader(stream, version, descriptor_);
    if ((descriptor_.PackedFields & 0x80) != 0)
        colorMap_.SaveToStream(stream);
}

void TGIFTrailer::SaveToStream(TStream& stream) {
    stream.WriteByte(0x3B);
}

void TGIFImageList::SaveToStream(TStream& stream) {
    // Percentages round to the nearest, as the reader's do: 3 frames give 33, 67, 100.
    const int n = Count();
    for (int i = 0; i < n; ++i) {
        Frame(i)->SaveToStream(stream);
        if (document_ != nullptr)
            document_->Progress(
                this, TProgressStage::psRunning,
                static_cast<std::uint8_t>(((static_cast<std::int64_t>(i) + 1) * 200 + n) / (2 * n)),
                false, TRect{}, gifmsg::Saving);
    }
}

void TGIFSubImage::SaveToStream(TStream& stream) {
    extensions_.SaveToStream(stream);
    if (Empty())
        return;
    SaveImageData(stream);
}

void TGIFSubImage::SaveImageData(TStream& stream) {
    TGIFWarning warn;
    if (document_ != nullptr) {
        TGIFDocument* doc = document_;
        warn = [doc](TPersistent* sender, int severity, const std::string& message) {
            doc->ReportWarning(sender, severity, message);
        };
    }
    // Without a local table the data is coded for the deepest table of the file,
    // or for the global one where the document asks for it.
    int globalBits = 0;
    if (colorMap_.Count() == 0 && document_ != nullptr)
        globalBits = document_->CodesAtGlobalDepth() ? document_->Header().ColorMap().BitsPerPixel()
                                                     : LargestBitsPerPixel(*document_);
    WriteImageBlock(stream, descriptor_, colorMap_, Pixels(),
                    document_ != nullptr ? document_->DataCoding() : 0, globalBits, warn);
}

void TGIFGraphicControlExtension::SaveToStream(TStream& stream) {
    WriteIntroducer(stream);
    std::uint8_t b[6];
    b[0] = rec_.BlockSize;
    b[1] = rec_.PackedFields;
    PutLE16(b + 2, rec_.Delay);
    b[4] = rec_.TransparentColorIndex;
    b[5] = rec_.Terminator;
    stream.WriteBuffer(b, 6);
}

void TGIFTextExtension::SaveToStream(TStream& stream) {
    WriteIntroducer(stream);
    std::uint8_t b[13];
    b[0] = rec_.BlockSize;
    PutLE16(b + 1, rec_.Left);
    PutLE16(b + 3, rec_.Top);
    PutLE16(b + 5, rec_.Width);
    PutLE16(b + 7, rec_.Height);
    b[9] = rec_.CellWidth;
    b[10] = rec_.CellHeight;
    b[11] = rec_.TextFGColorIndex;
    b[12] = rec_.TextBGColorIndex;
    stream.WriteBuffer(b, 13);
    WriteTextBlocks(stream, Lines);
}

void TGIFCommentExtension::SaveToStream(TStream& stream) {
    WriteIntroducer(stream);
    WriteTextBlocks(stream, Lines);
}

void TGIFApplicationExtension::SaveToStream(TStream& stream) {
    WriteIntroducer(stream);
    stream.WriteByte(0x0B);
    stream.WriteBuffer(identifier_.data(), identifier_.size());
    WriteSubBlocks(stream);
}

void TGIFAppExtNSLoop::WriteSubBlocks(TStream& stream) {
    std::uint8_t b[4] = {3, 1, 0, 0};
    PutLE16(b + 2, loopCount_);
    stream.WriteBuffer(b, 4);
    if (bufferSize_ != 0) {
        std::uint8_t c[6] = {5, 2};
        PutLE32(c + 2, bufferSize_);
        stream.WriteBuffer(c, 6);
    }
    stream.WriteByte(0);
}

void TGIFUnknownAppExtension::WriteSubBlocks(TStream& stream) {
    for (const TGIFBlock& block : Blocks) {
        // A block holds at most 255 bytes; longer data would corrupt the stream.
        const std::size_t n = std::min<std::size_t>(block.Data.size(), 255);
        stream.WriteByte(static_cast<std::uint8_t>(n));
        stream.WriteBuffer(block.Data.data(), n);
    }
    stream.WriteByte(0);
}

void TGIFDocument::SaveToStream(TStream& stream) {
    Progress(this, TProgressStage::psStarting, 0, false, TRect{}, gifmsg::Saving);
    try {
        header_.SaveToStream(stream);
        frames_.SaveToStream(stream);
        TGIFTrailer trailer(this);
        trailer.SaveToStream(stream);
    } catch (...) {
        Progress(this, TProgressStage::psEnding, 0, true, TRect{}, gifmsg::Saving);
        throw;
    }
    Progress(this, TProgressStage::psEnding, 100, true, TRect{}, gifmsg::Saving);
}

} // namespace framolo
