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
    // Codes below the clear code stand for themselves and never change. An
    // entry at or above nextCode_ is unassigned, which reads as prefix 0,
    // suffix 0 (two pixels); the clear and end entries are never assigned
    // and hold exactly that.
    for (int c = 0; c < clearCode_; ++c)
        suffix_[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c);
    for (int c = clearCode_; c < nextCode_; ++c) {
        prefix_[static_cast<std::size_t>(c)] = 0;
        suffix_[static_cast<std::size_t>(c)] = 0;
        length_[static_cast<std::size_t>(c)] = 2;
    }
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
        if (tainted_) {
            state_ = DecodeCode();
            continue;
        }
        const int code = ReadCode();
        if (code < 0) {
            state_ = code;
            break;
        }
        if (code == clearCode_ || code == endCode_) {
            state_ = DecodeGiven(code);
            continue;
        }
        // The string's length is known, so when it fits it is written
        // straight into place, last pixel first.
        const bool unknown = code >= nextCode_;
        int c = unknown ? previousCode_ : code;
        if (c >= nextCode_) {
            // Built on an unassigned entry: rare enough for the slow way.
            DecodeOntoStack(code);
            continue;
        }
        const std::size_t length =
            (c < clearCode_ ? 1u : length_[static_cast<std::size_t>(c)]) + (unknown ? 1u : 0u);
        if (length > count - done) {
            DecodeOntoStack(code);
            continue;
        }
        // The walk is bounded by the length, so a wrong length could only
        // garble pixels inside this string, never write outside it.
        std::uint8_t* p = out + done + length;
        std::size_t above = length - 1;
        if (unknown) {
            *--p = firstPixel_;
            --above;
        }
        for (; above > 0 && c >= clearCode_; --above) {
            const auto e = static_cast<std::size_t>(c);
            *--p = suffix_[e];
            c = prefix_[e];
        }
        if (above != 0 || c >= clearCode_) {
            Fail();
            throw GIFException(gifmsg::CircularTableEntry);
        }
        firstPixel_ = suffix_[static_cast<std::size_t>(c)];
        *--p = firstPixel_;
        done += length;
        AddEntry();
        previousCode_ = code;
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

// The w-bit code at the bit position, which the caller has checked lies with
// the two bytes after it inside the buffer.
inline int TLZWDecoder::TakeCode(int w) {
    const auto s = static_cast<std::size_t>(bitPosition_ >> 3);
    const std::uint32_t v = static_cast<std::uint32_t>(buffer_[s]) |
                            (static_cast<std::uint32_t>(buffer_[s + 1]) << 8) |
                            (static_cast<std::uint32_t>(buffer_[s + 2]) << 16);
    const int code = static_cast<int>((v >> (bitPosition_ & 7)) & ((1u << w) - 1u));
    bitPosition_ += w;
    return code;
}

inline int TLZWDecoder::ReadCode() {
    const int w = codeWidth_;
    if (bitPosition_ + w >= bitLimit_)
        return ReadCodeSlow();
    // bitPosition_ + w < bitLimit_ <= 257 * 8, so the three bytes lie inside
    // the buffer.
    return TakeCode(w);
}

int TLZWDecoder::ReadCodeSlow() {
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
    // Right after a refill bitPosition_ <= 28; otherwise bitPosition_ + w <
    // bitLimit_ <= 257 * 8. Either way the three bytes lie inside the buffer.
    if (static_cast<std::size_t>(bitPosition_ >> 3) + 2 >= buffer_.size())
        return -1;
    return TakeCode(w);
}

void TLZWDecoder::AddEntry() {
    if (nextCode_ > kLastAssignable)
        return;
    const auto n = static_cast<std::size_t>(nextCode_);
    prefix_[n] = static_cast<std::uint16_t>(previousCode_);
    suffix_[n] = firstPixel_;
    // An entry built on one that is not assigned yet (only a code beyond the
    // table does that) may change length later, or loop.
    if (previousCode_ >= nextCode_ && previousCode_ <= kLastAssignable)
        tainted_ = true;
    const int prefixLength = previousCode_ < clearCode_ ? 1
                             : previousCode_ >= nextCode_
                                 ? 2
                                 : length_[static_cast<std::size_t>(previousCode_)];
    length_[n] = static_cast<std::uint16_t>(prefixLength + 1);
    ++nextCode_;
    // Codes stop growing at 12 bits for minimum code sizes up to 11.
    if (nextCode_ >= widthLimit_ && widthLimit_ <= kLastAssignable) {
        widthLimit_ *= 2;
        ++codeWidth_;
    }
}

int TLZWDecoder::DecodeCode() {
    return DecodeGiven(ReadCode());
}

int TLZWDecoder::DecodeGiven(int code) {
    if (code < 0)
        return code;

    if (code == clearCode_) {
        // Lowering nextCode_ unassigns every entry above the clear and end
        // codes.
        tainted_ = false;
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

    DecodeOntoStack(code);
    return 0;
}

void TLZWDecoder::DecodeOntoStack(int code) {
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
        if (code >= nextCode_) {
            // Unassigned: prefix 0, suffix 0.
            stack_[--top] = 0;
            code = 0;
            continue;
        }
        const auto c = static_cast<std::size_t>(code);
        stack_[--top] = suffix_[c];
        code = prefix_[c];
    }
    firstPixel_ = suffix_[static_cast<std::size_t>(code)];
    stack_[--top] = firstPixel_;
    stackTop_ = top;
    AddEntry();
    previousCode_ = incoming;
}

} // namespace framolo
