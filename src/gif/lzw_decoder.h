#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace framolo {

// Where the LZW decoder gets its bytes: the data sub-blocks of one image. The
// container reader implements it over a stream; tests feed it from memory.
class TGIFBlockSource {
public:
    virtual ~TGIFBlockSource() = default;
    // Reads the next data sub-block into dst, which has room for 255 bytes.
    // Answers -1 when the input ended before a size byte; otherwise the number
    // of bytes stored, with terminator set for the zero-length block. A block
    // cut short by the end of the input answers the bytes that were there
    // (after a warning), which may be none.
    virtual int NextBlock(std::uint8_t* dst, bool& terminator) = 0;
    // Skips sub-blocks up to and including the terminator, or to the end.
    virtual void SkipBlocks() = 0;
    virtual void Warning(const char* message) = 0;
};

// Decodes the LZW code stream of one frame into pixel indexes.
//
// Codes are read least significant bit first from a buffer holding one data
// sub-block and the last two bytes of the one before it, so a code of up to 13
// bits never needs more than three buffer bytes. Strings are expanded into a
// stack, last pixel first, and copied out in one piece; pixels that did not fit
// the caller's request stay on the stack for the next call.
//
// After the end code, the end of the data, or an error, the decoder hands out
// no more pixels and reads nothing more.
class TLZWDecoder {
public:
    // The largest minimum code size accepted. Its clear code, 4096, is the
    // first code the 4096-entry table cannot hold, so every code read with it
    // is a literal, the clear code, the end code or a never-assigned entry.
    static constexpr int kMaxMinCodeSize = 12;

    // Raises GIFException for a minimum code size above kMaxMinCodeSize.
    TLZWDecoder(TGIFBlockSource& source, int minCodeSize);
    TLZWDecoder(const TLZWDecoder&) = delete;
    TLZWDecoder& operator=(const TLZWDecoder&) = delete;

    // Writes up to count pixels (the low 8 bits of each value) to out and
    // answers how many were written; fewer than count means the code stream
    // has ended. Raises GIFException for a looping table entry.
    std::size_t Read(std::uint8_t* out, std::size_t count);

    // Called once after the frame's last pixel: consumes one more pixel, so
    // that an end code standing there is read and the data sub-blocks behind
    // it are skipped.
    void Finish();

    // -1 when the data ran out without an end code, -2 after the end code,
    // 0 while codes may still follow.
    int EndState() const { return state_; }

private:
    // Decodes one code onto the stack. Answers the result state: 0 when pixels
    // were pushed, -1 or -2 when the code stream has ended.
    int DecodeCode();
    // The same for a code already read.
    int DecodeGiven(int code);
    // Decodes the code just read, not a clear or end code, onto the stack.
    void DecodeOntoStack(int code);
    // Adds the entry that follows every code after the first past a clear.
    void AddEntry();
    int ReadCode();
    int TakeCode(int w);
    int ReadCodeSlow();
    void Fail();

    static constexpr int kTableSize = 8192; // every 13-bit code has an entry
    static constexpr int kLastAssignable = 4095;
    static constexpr std::size_t kStackSize = 8192;

    TGIFBlockSource& source_;
    int minCodeSize_;
    int clearCode_;
    int endCode_;
    int codeWidth_;
    int widthLimit_;
    int nextCode_;
    int previousCode_ = 0;
    std::uint8_t firstPixel_ = 0;
    int state_ = 0;
    bool freshStart_ = true;
    bool inputDone_ = false;
    bool terminatorSeen_ = false;

    // The bit buffer: two carried bytes, then up to 255 block bytes, then
    // slack so that a three-byte load never leaves the array.
    std::array<std::uint8_t, 2 + 255 + 3> buffer_{};
    int byteCount_ = 2;
    int bitPosition_ = 0;
    int bitLimit_ = 0;

    // Pixels of the current string occupy stack_[stackTop_, kStackSize).
    std::size_t stackTop_ = kStackSize;

    // Entry c is the string of entry prefix_[c] followed by suffix_[c]. Only
    // the low 8 bits of a suffix are kept: suffixes are only ever output.
    // length_[c] is the length of that string for c >= the clear code; it is
    // exact while no entry has been built on an entry not yet assigned
    // (tainted_ false), which holds for every well-formed stream. A tainted
    // table is walked through the stack, with its loop check, until the next
    // clear code.
    std::array<std::uint16_t, kTableSize> prefix_;
    std::array<std::uint16_t, kTableSize> length_;
    std::array<std::uint8_t, kTableSize> suffix_;
    bool tainted_ = false;
    // Only stack_[stackTop_, kStackSize) is ever read.
    std::array<std::uint8_t, kStackSize> stack_;
};

} // namespace framolo
