#include "gif/lzw_encoder.h"

#include <algorithm>
#include <cstring>

namespace framolo {

// ---- TGIFStream / TGIFWriter ----

std::size_t TGIFStream::Read(void*, std::size_t) {
    throw GIFException(gifmsg::InvalidStreamOperation);
}
std::size_t TGIFStream::Write(const void*, std::size_t) {
    throw GIFException(gifmsg::InvalidStreamOperation);
}
std::int64_t TGIFStream::Seek(std::int64_t, TSeekOrigin) {
    throw GIFException(gifmsg::InvalidStreamOperation);
}

TGIFWriter::~TGIFWriter() {
    try {
        Finish();
    } catch (...) {
        // The error that unwound us is the one to report; a second one would be noise.
    }
}

std::size_t TGIFWriter::Write(const void* buffer, std::size_t count) {
    Dirty = true;
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    std::size_t left = count;
    while (left > 0) {
        const std::size_t n = std::min<std::size_t>(left, 256 - BufferCount);
        std::memcpy(buffer_.data() + BufferCount, in, n);
        BufferCount += static_cast<std::uint32_t>(n);
        in += n;
        left -= n;
        if (BufferCount == 256)
            FlushBlock();
    }
    return count;
}

void TGIFWriter::FlushBlock() {
    buffer_[0] = static_cast<std::uint8_t>(BufferCount - 1);
    const std::uint32_t n = BufferCount;
    BufferCount = 1;
    Dirty = false;
    target_.WriteBuffer(buffer_.data(), n);
    blockBytes_ += n;
}

void TGIFWriter::Finish() {
    if (Dirty)
        FlushBlock();
}

// ---- THashTable ----

void THashTable::Clear() {
    std::memset(slots_.data(), 0xFF, sizeof(slots_));
}

int THashTable::Lookup(std::uint32_t key) const {
    int slot = static_cast<int>(((key >> 4) ^ key) % kSize);
    // Doubling modulo 8009 cycles through 4004 slots; the bound keeps a lookup
    // finite even if that cycle were ever full.
    for (int probes = 0; probes < kSize; ++probes) {
        const std::uint32_t v = slots_[static_cast<std::size_t>(slot)];
        const std::uint32_t k = v >> 12;
        if (k == kEmptyKey)
            return -1;
        if (k == key)
            return static_cast<int>(v & 0xFFF);
        slot = Next(slot);
    }
    return -1;
}

void THashTable::Insert(std::uint32_t key, int code) {
    int slot = static_cast<int>(((key >> 4) ^ key) % kSize);
    for (int probes = 0; probes < kSize; ++probes) {
        std::uint32_t& v = slots_[static_cast<std::size_t>(slot)];
        if ((v >> 12) == kEmptyKey) {
            v = (key << 12) | static_cast<std::uint32_t>(code);
            return;
        }
        slot = Next(slot);
    }
    // A full probe cycle: the string stays out of the table. The code stream is
    // still valid; the encoder just never refers to that code.
}

// ---- TGIFEncoder ----

std::int64_t TGIFEncoder::Compress(TStream& stream, int bitsPerPixel, int width, int height,
                                   bool interlace, const std::uint8_t* pixels, int maxColor) {
    MaxColor = maxColor;
    BitsPerPixel = std::max(bitsPerPixel, 2);
    Width = width;
    Height = height;
    Interlace = interlace;
    Pixels = pixels;

    StartWidth = BitsPerPixel + 1;
    stream.WriteByte(static_cast<std::uint8_t>(BitsPerPixel));
    CodeWidth = StartWidth;
    WidthLimit = (1 << CodeWidth) - 1;
    ClearCode = 1 << BitsPerPixel;
    EndCode = ClearCode + 1;
    FirstFreeCode = ClearCode + 2;
    BitBuffer = 0;
    BitCount = 0;
    ColumnsLeft = interlace ? width : static_cast<std::int64_t>(width) * height;
    Row = 0;
    Pass = 0;
    current_ = pixels;

    TGIFWriter writer(stream, onWarning_);
    writer_ = &writer;
    if (pixels != nullptr && height > 0 && width > 0)
        EncodeAll();
    EmitCode(EndCode);
    writer.Finish();
    writer_ = nullptr;
    stream.WriteByte(0);
    return writer.BlockBytes();
}

void TGIFEncoder::EmitCode(int code) {
    PackCode(code);
    if (code == EndCode)
        FlushBits();
}

void TGIFEncoder::Clear() {
    ClearPending = true;
    EmitCode(ClearCode);
}

bool TGIFEncoder::NextPixel() {
    if (--ColumnsLeft > 0) {
        ++current_;
        return true;
    }
    if (!Interlace)
        return false;
    static constexpr int kStep[4] = {8, 8, 4, 2};
    static constexpr int kStart[4] = {0, 4, 2, 1};
    ColumnsLeft = Width;
    Row += kStep[Pass];
    while (Row >= Height) {
        if (Pass == 3)
            return false;
        ++Pass;
        Row = kStart[Pass];
    }
    current_ = Pixels + static_cast<std::ptrdiff_t>(Row) * Width;
    return true;
}

// ---- TLZWEncoder ----

void TLZWEncoder::EmitCode(int code) {
    TGIFEncoder::EmitCode(code);
    if (NextCode > WidthLimit || ClearPending) {
        if (ClearPending) {
            CodeWidth = StartWidth;
            WidthLimit = (1 << StartWidth) - 1;
            ClearPending = false;
        } else {
            ++CodeWidth;
            // At 12 bits the limit is out of reach: codes stop at 4094.
            WidthLimit = CodeWidth == 12 ? 4096 : (1 << CodeWidth) - 1;
        }
    }
}

void TLZWEncoder::Clear() {
    TGIFEncoder::Clear();
    hashTable_->Clear();
    lastChild_->fill(0);
    NextCode = FirstFreeCode;
}

void TLZWEncoder::EncodeAll() {
    hashTable_ = std::make_unique<THashTable>();
    lastChild_ = std::make_unique<std::array<std::uint32_t, 4096>>();
    THashTable& table = *hashTable_;
    std::uint32_t* lastChild = lastChild_->data();
    Clear();
    bool first = true;
    const int maxColor = MaxColor;
    ForEachSpan([&](const std::uint8_t* pixels, std::size_t count) {
        std::size_t i = 0;
        if (first) {
            if (pixels[0] >= MaxColor)
                throw GIFException(gifmsg::ColorNotInTable);
            CurrentCode = pixels[0];
            first = false;
            i = 1;
        }
        int current = CurrentCode;
        for (; i < count; ++i) {
            const int p = pixels[i];
            if (p >= maxColor) {
                CurrentCode = current;
                throw GIFException(gifmsg::ColorNotInTable);
            }
            const std::uint32_t tag = static_cast<std::uint32_t>(p + 1) << 12;
            const std::uint32_t cached = lastChild[current];
            if ((cached & 0xFFFFF000u) == tag) {
                current = static_cast<int>(cached & 0xFFF);
                continue;
            }
            const std::uint32_t key =
                (static_cast<std::uint32_t>(current) << 8) | static_cast<std::uint32_t>(p);
            int slot = 0;
            const int code = table.Find(key, slot);
            if (code >= 0) {
                lastChild[current] = tag | static_cast<std::uint32_t>(code);
                current = code;
                continue;
            }
            // Outside a clear the width test is the only work EmitCode adds.
            EmitLzw(current);
            current = p;
            if (NextCode < 4095) {
                table.Store(slot, key, NextCode);
                if (slot >= 0)
                    lastChild[key >> 8] = tag | static_cast<std::uint32_t>(NextCode);
                ++NextCode;
            } else {
                // Codes 0..4094 are assigned, never 4095.
                Clear();
            }
        }
        CurrentCode = current;
    });
    EmitCode(CurrentCode);
    hashTable_.reset();
    lastChild_.reset();
}

// ---- TRLEEncoder ----

std::int64_t IntegerSqrt(std::int64_t x) {
    if (x < 2)
        return x;
    int d = 0;
    for (std::int64_t t = x; t > 0; t /= 4)
        ++d;
    std::int64_t r = std::int64_t{1} << d;
    for (int i = 0; i < 128; ++i) {
        const std::int64_t q = (x / r + r) / 2;
        if (q == r || q == r + 1)
            return r;
        r = q;
    }
    return r;
}

std::int64_t TriangleCount(std::int64_t n, std::int64_t c) {
    const std::int64_t per = c * (c + 1) / 2;
    std::int64_t sum = 0;
    if (per > 0) {
        sum += (n / per) * c;
        n %= per;
    }
    if (n > 0) {
        std::int64_t k = IntegerSqrt(n);
        while (k > 0 && k * (k + 1) >= 2 * n)
            --k;
        while (k * (k + 1) < 2 * n)
            ++k;
        sum += k;
    }
    return sum;
}

void TRLEEncoder::Plain(int code) {
    ClearPending = false;
    TGIFEncoder::EmitCode(code);
    ++CodesSinceClear;
    if (CodesSinceClear >= WidthBumpAt) {
        ++CodeWidth;
        WidthBumpAt += 1 << (CodeWidth - 1);
    }
    if (CodesSinceClear >= ClearAt)
        Clear();
}

void TRLEEncoder::Clear() {
    WidthBumpAt = WidthBumpStart;
    ClearAt = ClearStart;
    CodesSinceClear = 0;
    TableRunMax = 0;
    TGIFEncoder::Clear();
    CodeWidth = StartWidth;
}

void TRLEEncoder::FromClear(int n) {
    ClearAt = RunCodeLimit;
    TablePixel = RunPixel;
    int k = 1;
    while (n > 0) {
        if (k == 1) {
            TableRunMax = 1;
            Plain(RunPixel);
            n -= 1;
        } else if (n >= k) {
            TableRunMax = k;
            Plain(RunCode(k));
            n -= k;
        } else if (n == 1) {
            ++TableRunMax;
            Plain(RunPixel);
            break;
        } else {
            ++TableRunMax;
            Plain(RunCode(n));
            break;
        }
        k = CodesSinceClear == 0 ? 1 : k + 1;
    }
    ClearAt = ClearStart;
    if (CodesSinceClear >= ClearStart)
        Clear();
}

void TRLEEncoder::ClearOrRepeat(int n) {
    if (n > TriangleCount(n, RunCodeLimit) + 1) {
        Clear();
        FromClear(n);
        return;
    }
    for (int i = 0; i < n; ++i)
        Plain(RunPixel);
}

void TRLEEncoder::WithTable(int n) {
    const int r = TableRunMax;
    std::int64_t q = n / r;
    std::int64_t rest = n % r;
    std::int64_t extra = rest > 0 ? 1 : 0;
    if (CodesSinceClear + q + extra > RunCodeLimit) {
        q = RunCodeLimit - CodesSinceClear;
        rest = n - static_cast<std::int64_t>(r) * q;
        extra = TriangleCount(rest, RunCodeLimit) + 1;
    }
    if (TriangleCount(n, RunCodeLimit) + 1 < q + extra) {
        Clear();
        FromClear(n);
        return;
    }
    ClearAt = RunCodeLimit;
    for (std::int64_t i = 0; i < q; ++i)
        Plain(RunCode(r));
    if (rest > 0) {
        if (ClearPending)
            FromClear(static_cast<int>(rest));
        else if (rest == 1)
            Plain(RunPixel);
        else
            Plain(RunCode(static_cast<int>(rest)));
    }
    ClearAt = ClearStart;
    if (CodesSinceClear >= ClearStart)
        Clear();
}

void TRLEEncoder::Flush(int n) {
    if (n == 1) {
        Plain(RunPixel);
        return;
    }
    if (ClearPending)
        FromClear(n);
    else if (TableRunMax >= 2 && TablePixel == RunPixel)
        WithTable(n);
    else
        ClearOrRepeat(n);
}

void TRLEEncoder::EncodeAll() {
    WidthBumpStart = ClearCode - 1;
    ClearStart = BitsPerPixel <= 3 ? 9 : ClearCode - 2;
    RunCodeLimit = 4095 - FirstFreeCode;
    Clear();
    RunPixel = -1;
    int run = 0;
    do {
        const int p = FetchPixel();
        if (run > 0 && p != RunPixel) {
            Flush(run);
            run = 0;
        }
        if (p == RunPixel) {
            ++run;
        } else {
            RunPixel = p;
            run = 1;
        }
    } while (NextPixel());
    Flush(run);
}

std::int64_t CompressImageData(TStream& stream, std::uint8_t dataCoding, int bitsPerPixel,
                               int width, int height, bool interlace, const std::uint8_t* pixels,
                               int colorCount, const TGIFWarning& onWarning) {
    if (dataCoding == 1) {
        TRLEEncoder encoder(onWarning);
        return encoder.Compress(stream, bitsPerPixel, width, height, interlace, pixels, colorCount);
    }
    TLZWEncoder encoder(onWarning);
    return encoder.Compress(stream, bitsPerPixel, width, height, interlace, pixels, colorCount);
}

} // namespace framolo
