#include "gif/lzw_decoder.h"

#include "gif/gif_reader.h"

#include <algorithm>
#include <cstring>

namespace framolo {

TLZWDecoder::TLZWDecoder(TGIFBlockSource& source, int minCodeSize)
    : source_(source), minCodeSize_(minCodeSize) {
    // A larger clear code would not fit the tables (and 2^minCodeSize would
    // soon not fit an int): such data cannot be decoded.
    if (minCodeSize < 0 || minCodeSize > kMaxMinCodeSize)
        throw GIFException(gifmsg::InvalidCodeSize);
    clearCode_ = 1 << minCodeSize;
    endCode_ = clearCode_ + 1;
    codeWidth_ = minCodeSize + 1;
    widthLimit_ = 2 * clearCode_;
    nextCode_ = clearCode_ + 2;
    // Codes below the clear code stand for themselves and never change; every
    // other entry starts as prefix 0, suffix 0.
    for (int c = 0; c < clearCode_; ++c)
        suffix_[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c);
}

void TLZWDecoder::Fail() {
    // No pixel comes out of a decoder that has raised an error.
    state_ = -3;
    stackTop_ = kStackSize;
}

std::size_t TLZWDecoder::Read(std::uint8_t* out, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        if (stackTop_ < kStackSize) {
            const std::size_t n = std::min(count - done, kStackSize - stackTop_);
            std::memcpy(out + done, stack_.data() + stackTop_, n);
            stackTop_ += n;
            done += n;
            continue;
        }
        if (state_ != 0)
            break;
        state_ = DecodeCode();
    }
    return done;
}

void TLZWDecoder::Finish() {
    if (stackTop_ < kStackSize) {
        // A string that ran past the frame: its next pixel is taken and nothing
        // is read, so the stream stays inside the image data.
        ++stackTop_;
        return;
    }
    if (state_ == 0)
        state_ = DecodeCode();
    stackTop_ = kStackSize;
}

int TLZWDecoder::ReadCode() {
    if (freshStart_) {
        // The table is set up as by a clear code even when the data does not
        // begin with one.
        freshStart_ = false;
        return clearCode_;
    }
    const int w = codeWidth_;
    if (bitPosition_ + w >= bitLimit_) {
        if (inputDone_) {
            if (bitPosition_ >= bitLimit_)
                source_.Warning(gifmsg::DecoderUnderrun);
            return -1;
        }
        buffer_[0] = buffer_[static_cast<std::size_t>(byteCount_ - 2)];
        buffer_[1] = buffer_[static_cast<std::size_t>(byteCount_ - 1)];
        bool terminator = false;
        const int n = source_.NextBlock(buffer_.data() + 2, terminator);
        if (n < 0 || n > 255)
            return -1;
        if (terminator) {
            terminatorSeen_ = true;
            inputDone_ = true;
        }
        // The code is still taken from what the buffer holds: the two carried
        // bytes, and after a terminator whatever follows them.
        byteCount_ = n + 2;
        bitPosition_ = bitPosition_ - bitLimit_ + 16;
        bitLimit_ = (n + 2) * 8;
    }
    // bitPosition_ + w < bitLimit_ <= 257 * 8 here, or bitPosition_ <= 28 right
    // after a refill, so the three bytes lie inside the buffer.
    const auto s = static_cast<std::size_t>(bitPosition_ >> 3);
    if (s + 2 >= buffer_.size())
        return -1;
    const std::uint32_t v = static_cast<std::uint32_t>(buffer_[s]) |
                            (static_cast<std::uint32_t>(buffer_[s + 1]) << 8) |
                            (static_cast<std::uint32_t>(buffer_[s + 2]) << 16);
    const int code = static_cast<int>((v >> (bitPosition_ & 7)) & ((1u << w) - 1u));
    bitPosition_ += w;
    return code;
}

int TLZWDecoder::DecodeCode() {
    int code = ReadCode();
    if (code < 0)
        return code;

    if (code == clearCode_) {
        // Only entries below nextCode_ were assigned since the last reset.
        const int assigned = std::min(nextCode_, kLastAssignable + 1);
        for (int c = clearCode_; c < assigned; ++c) {
            prefix_[static_cast<std::size_t>(c)] = 0;
            suffix_[static_cast<std::size_t>(c)] = 0;
        }
        codeWidth_ = minCodeSize_ + 1;
        widthLimit_ = 2 * clearCode_;
        nextCode_ = clearCode_ + 2;
        do
            code = ReadCode();
        while (code == clearCode_);
        if (code < 0)
            return code;
        // The code after a clear is output as it stands, whatever it is; the
        // next entry is built on it.
        previousCode_ = code;
        firstPixel_ = static_cast<std::uint8_t>(code);
        stack_[kStackSize - 1] = firstPixel_;
        stackTop_ = kStackSize - 1;
        return 0;
    }

    if (code == endCode_) {
        if (!terminatorSeen_)
            source_.SkipBlocks();
        return -2;
    }

    const int incoming = code;
    std::size_t top = kStackSize;
    if (code >= nextCode_) {
        // Not yet in the table: the previous string and its own first pixel.
        stack_[--top] = firstPixel_;
        code = previousCode_;
    }
    // Without a loop a chain visits each entry at most once, far fewer than
    // the stack holds; a chain that fills the stack loops, be it an entry that
    // names itself or a ring of several.
    while (code >= clearCode_) {
        if (top == 1) {
            Fail();
            throw GIFException(gifmsg::CircularTableEntry);
        }
        const auto c = static_cast<std::size_t>(code);
        stack_[--top] = suffix_[c];
        code = prefix_[c];
    }
    firstPixel_ = suffix_[static_cast<std::size_t>(code)];
    stack_[--top] = firstPixel_;
    stackTop_ = top;

    if (nextCode_ <= kLastAssignable) {
        const auto n = static_cast<std::size_t>(nextCode_);
        prefix_[n] = static_cast<std::uint16_t>(previousCode_);
        suffix_[n] = firstPixel_;
        ++nextCode_;
        // Codes stop growing at 12 bits for minimum code sizes up to 11.
        if (nextCode_ >= widthLimit_ && widthLimit_ <= kLastAssignable) {
            widthLimit_ *= 2;
            ++codeWidth_;
        }
    }
    previousCode_ = incoming;
    return 0;
}

} // namespace framolo
