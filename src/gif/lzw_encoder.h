#pragma once

#include "gif/gif_document.h"

#include <array>
#include <cstdint>

namespace framolo {

// A write-only adapter over a target stream with a 256-byte block buffer.
class TGIFStream : public TStream {
public:
    TGIFStream(TStream& target, TGIFWarning onWarning)
        : target_(target), onWarning_(std::move(onWarning)) {}
    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

protected:
    TStream& target_;
    TGIFWarning onWarning_;
    std::array<std::uint8_t, 256> buffer_{};
    std::uint32_t BufferCount = 1;
};

// Packs bytes into data sub-blocks. Byte 0 of the buffer is the block length;
// every block but the last holds 255 bytes and no empty block precedes the terminator.
class TGIFWriter : public TGIFStream {
public:
    TGIFWriter(TStream& target, TGIFWarning onWarning) : TGIFStream(target, std::move(onWarning)) {}
    ~TGIFWriter() override;
    TGIFWriter(const TGIFWriter&) = delete;
    TGIFWriter& operator=(const TGIFWriter&) = delete;

    std::size_t Write(const void* buffer, std::size_t count) override;
    void PutByte(std::uint8_t b) {
        Dirty = true;
        buffer_[BufferCount++] = b;
        if (BufferCount == 256)
            FlushBlock();
    }
    void FlushBlock();
    // Flushes a pending block; the destructor does the same but cannot report errors.
    void Finish();
    // The bytes of the sub-blocks written so far, their length bytes included.
    std::int64_t BlockBytes() const { return blockBytes_; }

    bool Dirty = false;

private:
    std::int64_t blockBytes_ = 0;
};

// Open-addressed table of (prefix, pixel) -> code, 8009 slots.
class THashTable {
public:
    static constexpr int kSize = 8009;
    void Clear();
    // Code stored for key, or -1.
    int Lookup(std::uint32_t key) const;
    void Insert(std::uint32_t key, int code);

    // One probe walk: the code stored for key (>= 0), or -1 with `slot` set to
    // the empty slot where key belongs (-1 when the probe cycle is full).
    int Find(std::uint32_t key, int& slot) const {
        int s = static_cast<int>(((key >> 4) ^ key) % kSize);
        for (int probes = 0; probes < kSize; ++probes) {
            const std::uint32_t v = slots_[static_cast<std::size_t>(s)];
            if ((v >> 12) == kEmptyKey) {
                slot = s;
                return -1;
            }
            if ((v >> 12) == key)
                return static_cast<int>(v & 0xFFF);
            s = Next(s);
        }
        slot = -1;
        return -1;
    }
    void Store(int slot, std::uint32_t key, int code) {
        if (slot >= 0)
            slots_[static_cast<std::size_t>(slot)] = (key << 12) | static_cast<std::uint32_t>(code);
    }

private:
    static constexpr std::uint32_t kEmptyKey = 0xFFFFF;
    static int Next(int slot) {
        int n = slot == 0 ? -1 : slot - (kSize - slot);
        return n < 0 ? n + kSize : n;
    }
    std::array<std::uint32_t, kSize> slots_{};
};

// Shared driver of the image-data coders.
class TGIFEncoder {
public:
    explicit TGIFEncoder(TGIFWarning onWarning) : onWarning_(std::move(onWarning)) {}
    virtual ~TGIFEncoder() = default;
    TGIFEncoder(const TGIFEncoder&) = delete;
    TGIFEncoder& operator=(const TGIFEncoder&) = delete;

    // Writes the minimum code size, the coded pixels in data sub-blocks and the terminator.
    // Returns the bytes of the sub-blocks, their length bytes included.
    std::int64_t Compress(TStream& stream, int bitsPerPixel, int width, int height, bool interlace,
                          const std::uint8_t* pixels, int maxColor);

protected:
    virtual void EmitCode(int code);
    virtual void Clear();
    virtual void EncodeAll() = 0;

    void PackCode(int code) {
        BitBuffer |= static_cast<std::uint32_t>(code) << BitCount;
        BitCount += CodeWidth;
        while (BitCount >= 8) {
            writer_->PutByte(static_cast<std::uint8_t>(BitBuffer));
            BitBuffer >>= 8;
            BitCount -= 8;
        }
    }
    void FlushBits() {
        while (BitCount > 0) {
            writer_->PutByte(static_cast<std::uint8_t>(BitBuffer));
            BitBuffer >>= 8;
            BitCount = BitCount > 8 ? BitCount - 8 : 0;
        }
    }
    // Index of the next pixel, or false when the frame is done.
    int FetchPixel() {
        const int p = *current_;
        if (p >= MaxColor)
            throw GIFException(gifmsg::ColorNotInTable);
        return p;
    }
    bool NextPixel();
    // Calls f(first, count) for each contiguous run of pixels in coding order:
    // the whole frame, or each row in interlace order.
    template <class F> void ForEachSpan(F&& f) {
        if (!Interlace) {
            f(Pixels, static_cast<std::size_t>(Width) * static_cast<std::size_t>(Height));
            return;
        }
        static constexpr int kStep[4] = {8, 8, 4, 2};
        static constexpr int kStart[4] = {0, 4, 2, 1};
        for (int pass = 0; pass < 4; ++pass)
            for (int row = kStart[pass]; row < Height; row += kStep[pass])
                f(Pixels + static_cast<std::ptrdiff_t>(row) * Width,
                  static_cast<std::size_t>(Width));
    }

    TGIFWarning onWarning_;
    int MaxColor = 0;
    int BitsPerPixel = 0;
    int Width = 0;
    int Height = 0;
    bool Interlace = false;
    const std::uint8_t* Pixels = nullptr;
    TGIFWriter* writer_ = nullptr;
    std::uint32_t BitBuffer = 0;
    int BitCount = 0;
    bool ClearPending = false;
    int CodeWidth = 0;
    int StartWidth = 0;
    int WidthLimit = 0;
    int ClearCode = 0;
    int EndCode = 0;
    int FirstFreeCode = 0;
    const std::uint8_t* current_ = nullptr;
    std::int64_t ColumnsLeft = 0;
    int Row = 0;
    int Pass = 0;
};

class TLZWEncoder : public TGIFEncoder {
public:
    using TGIFEncoder::TGIFEncoder;

protected:
    void EmitCode(int code) override;
    void Clear() override;
    void EncodeAll() override;

private:
    void EmitLzw(int code) {
        PackCode(code);
        if (NextCode > WidthLimit) {
            ++CodeWidth;
            WidthLimit = CodeWidth == 12 ? 4096 : (1 << CodeWidth) - 1;
        }
    }
    int CurrentCode = 0;
    int NextCode = 0;
    std::unique_ptr<THashTable> hashTable_;
    // The child most recently looked up or added for each code: (pixel + 1) << 12 | code,
    // 0 when unknown. Runs and repeated patterns are found here without hashing;
    // it only ever holds pairs the hash table holds too.
    std::unique_ptr<std::array<std::uint32_t, 4096>> lastChild_;
};

// Codes runs of equal pixels without a string table of its own.
class TRLEEncoder : public TGIFEncoder {
public:
    using TGIFEncoder::TGIFEncoder;

protected:
    void Clear() override;
    void EncodeAll() override;

private:
    void Plain(int code);
    void Flush(int n);
    void FromClear(int n);
    void ClearOrRepeat(int n);
    void WithTable(int n);
    int RunCode(int k) const { return FirstFreeCode + k - 2; }

    int RunCodeLimit = 0;
    int WidthBumpStart = 0;
    int ClearStart = 0;
    int RunPixel = -1;
    int TableRunMax = 0;
    int TablePixel = 0;
    int CodesSinceClear = 0;
    int ClearAt = 0;
    int WidthBumpAt = 0;
};

// Least sum of triangle-run lengths needed to cover n pixels with codes limited to c.
std::int64_t TriangleCount(std::int64_t n, std::int64_t c);
std::int64_t IntegerSqrt(std::int64_t x);

// Codes one frame's pixels with the coder DataCoding selects (1: run-length, else LZW).
// Returns the bytes of its data sub-blocks, their length bytes included.
std::int64_t CompressImageData(TStream& stream, std::uint8_t dataCoding, int bitsPerPixel,
                               int width, int height, bool interlace, const std::uint8_t* pixels,
                               int colorCount, const TGIFWarning& onWarning);

} // namespace framolo
