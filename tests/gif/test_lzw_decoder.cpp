// The LZW decoder on hand-built code streams, on recorded code streams with
// known output, and against a slow pixel-at-a-time model of the decoding rules
// on many random streams.
#include "lzw_test_util.h"

#include <gtest/gtest.h>

#include <random>

namespace framolo::test {
namespace {

struct Decoded {
    std::vector<std::uint8_t> Pixels; // only the pixels the decoder wrote
    std::vector<std::string> Warnings;
    std::size_t Position = 0; // source position after Finish
    bool Circular = false;
};

// Decodes `count` pixels of a frame as the frame reader does, then Finish.
Decoded Decode(int minCodeSize, const std::vector<std::uint8_t>& blocks, std::size_t count) {
    TMemoryBlockSource source(blocks);
    Decoded d;
    d.Pixels.resize(count);
    try {
        TLZWDecoder decoder(source, minCodeSize);
        d.Pixels.resize(decoder.Read(d.Pixels.data(), count));
        decoder.Finish();
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), gifmsg::CircularTableEntry);
        d.Circular = true;
    }
    d.Warnings = source.Warnings;
    d.Position = source.Position();
    return d;
}

// ---- Hand-built code streams ----

struct CodeCase {
    const char* Name;
    int MinCodeSize;
    std::vector<std::pair<int, int>> Codes; // (code, width)
    std::size_t Count;
    std::vector<std::uint8_t> Want;
};

TEST(LZWDecoder, HandBuiltStreams) {
    std::vector<CodeCase> cases = {
        // 1- and 2-bit images use minimum code size 2: codes start 3 bits wide.
        {"min size 2 starts at 3 bits",
         2,
         {{4, 3}, {1, 3}, {2, 3}, {3, 3}, {0, 4}, {5, 4}},
         4,
         {1, 2, 3, 0}},
        // A code equal to NextCode is the previous string and its first pixel.
        {"code equal to next code", 2, {{4, 3}, {1, 3}, {6, 3}, {5, 3}}, 3, {1, 1, 1}},
        {"chained entries",
         2,
         {{4, 3}, {2, 3}, {3, 3}, {6, 3}, {7, 4}, {5, 4}},
         6,
         {2, 3, 2, 3, 3, 2}},
        // Without a leading clear code the table is set up all the same.
        {"no leading clear", 2, {{1, 3}, {2, 3}, {5, 3}}, 2, {1, 2}},
        // Repeated clear codes are skipped.
        {"repeated clears", 2, {{4, 3}, {4, 3}, {4, 3}, {3, 3}, {5, 3}}, 1, {3}},
        // A clear in the middle resets the width and the table.
        {"clear mid-stream",
         2,
         {{4, 3}, {1, 3}, {1, 3}, {1, 3}, {4, 4}, {2, 3}, {6, 3}, {5, 3}},
         6,
         {1, 1, 1, 2, 2, 2}},
        // The code after a clear is output as it stands, even the end code.
        {"end code right after clear", 2, {{4, 3}, {5, 3}, {1, 3}, {5, 3}}, 2, {5, 1}},
        // Minimum code size 12: 13-bit codes, every code below 4096 is a
        // literal (its low 8 bits), entries are never assigned.
        {"min size 12",
         12,
         {{4096, 13}, {300, 13}, {4095, 13}, {5000, 13}, {6000, 13}, {4097, 13}},
         7,
         {44, 255, 255, 255, 0, 0, 255}},
        // Minimum code size 0: codes grow from 1 bit wide at the first entries.
        {"min size 0", 0, {{1, 1}, {0, 1}, {0, 1}, {3, 2}, {2, 3}}, 4, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const Decoded d = Decode(c.MinCodeSize, SubBlocks(PackCodes(c.Codes)), c.Count);
        EXPECT_EQ(d.Pixels, c.Want);
        EXPECT_FALSE(d.Circular);
    }
}

TEST(LZWDecoder, WidthGrowsFrom9To10BitsWhenNextCodeReaches512) {
    // After a clear, 255 codes are read at 9 bits (254 entries bring NextCode
    // to 512); the 256th is read at 10 bits. A width change one code early or
    // late garbles the tail.
    std::vector<std::pair<int, int>> codes = {{256, 9}};
    std::vector<std::uint8_t> want;
    for (int i = 0; i < 255; ++i) {
        codes.emplace_back((i * 37) % 256, 9);
        want.push_back(static_cast<std::uint8_t>((i * 37) % 256));
    }
    codes.emplace_back(7, 10);
    want.push_back(7);
    codes.emplace_back(257, 10);
    const Decoded d = Decode(8, SubBlocks(PackCodes(codes)), want.size());
    EXPECT_EQ(d.Pixels, want);
    EXPECT_TRUE(d.Warnings.empty());
}

TEST(LZWDecoder, EndCodeSkipsTrailingSubBlocks) {
    std::vector<std::uint8_t> bytes = SubBlocks(PackCodes({{4, 3}, {1, 3}, {5, 3}}), 255, false);
    const std::vector<std::uint8_t> extra = {3, 0xAA, 0xBB, 0xCC, 2, 0x01, 0x02, 0};
    bytes.insert(bytes.end(), extra.begin(), extra.end());
    const std::size_t afterData = bytes.size();
    bytes.push_back(0x2C);
    const Decoded d = Decode(2, bytes, 1);
    EXPECT_EQ(d.Pixels, std::vector<std::uint8_t>{1});
    EXPECT_EQ(d.Position, afterData) << "the next block must start right after the terminator";
}

TEST(LZWDecoder, MoreCodesThanPixelsLeavesTheRestUnread) {
    // Three pixels of data for a two-pixel frame: Finish reads the third code,
    // which is no end code, so the terminator stays unread.
    const std::vector<std::uint8_t> data = PackCodes({{4, 3}, {1, 3}, {2, 3}, {3, 3}, {5, 3}});
    std::vector<std::uint8_t> bytes = SubBlocks(data, 1, true);
    const Decoded d = Decode(2, bytes, 2);
    EXPECT_EQ(d.Pixels, (std::vector<std::uint8_t>{1, 2}));
    EXPECT_LT(d.Position, bytes.size()) << "the terminator must not have been consumed";
}

TEST(LZWDecoder, LoopingTableEntriesAreRejected) {
    // Code 7 comes before it exists, so entry 7 is later built on itself.
    const Decoded self =
        Decode(2, SubBlocks(PackCodes({{4, 3}, {1, 3}, {7, 3}, {0, 3}, {7, 4}})), 16);
    EXPECT_TRUE(self.Circular);
    // Entries 6 and 7 name each other: walking either would never end.
    const Decoded ring =
        Decode(2, SubBlocks(PackCodes({{4, 3}, {7, 3}, {6, 3}, {0, 3}, {6, 4}})), 64);
    EXPECT_TRUE(ring.Circular);
}

TEST(LZWDecoder, MinimumCodeSizeAbove12IsRejected) {
    TMemoryBlockSource source({});
    for (int size : {13, 14, 255}) {
        try {
            TLZWDecoder decoder(source, size);
            ADD_FAILURE() << "size " << size << " accepted";
        } catch (const GIFException& e) {
            EXPECT_STREQ(e.what(), gifmsg::InvalidCodeSize);
        }
    }
}

TEST(LZWDecoder, DataEndingEarlyKeepsTheRestAndWarnsOnce) {
    // Two pixels of data and a terminator for a frame of ten: the buffer runs
    // dry, the warning comes once, and later calls read nothing.
    const Decoded d = Decode(2, SubBlocks(PackCodes({{4, 3}, {1, 3}, {2, 3}})), 10);
    ASSERT_GE(d.Pixels.size(), 2u);
    EXPECT_LT(d.Pixels.size(), 10u);
    EXPECT_EQ(d.Pixels[0], 1);
    EXPECT_EQ(d.Pixels[1], 2);
    EXPECT_EQ(d.Warnings, std::vector<std::string>{gifmsg::DecoderUnderrun});

    // A stream that simply stops, without a terminator, ends without warning.
    const Decoded cut = Decode(2, SubBlocks(PackCodes({{4, 3}, {1, 3}, {2, 3}}), 255, false), 10);
    EXPECT_TRUE(cut.Warnings.empty());
}

TEST(LZWDecoder, BlockLongerThanTheStreamUsesWhatIsThere) {
    std::vector<std::uint8_t> data = PackCodes({{4, 3}, {1, 3}, {2, 3}, {3, 3}, {5, 3}});
    std::vector<std::uint8_t> bytes = {40};
    bytes.insert(bytes.end(), data.begin(), data.end());
    const Decoded d = Decode(2, bytes, 3);
    EXPECT_EQ(d.Pixels, (std::vector<std::uint8_t>{1, 2, 3}));
    ASSERT_FALSE(d.Warnings.empty());
    EXPECT_EQ(d.Warnings[0], gifmsg::PrematureEnd);
}

// ---- Recorded code streams ----

// The .giflzw files hold the minimum code size and the sub-block payloads
// without their size bytes.
void CheckRecorded(const std::string& lzwName, const std::string& wantName) {
    const std::vector<std::uint8_t> lzw = ReadFileBytes(GifDataPath("wuffs/" + lzwName));
    const std::vector<std::uint8_t> want = ReadFileBytes(GifDataPath("wuffs/" + wantName));
    ASSERT_FALSE(lzw.empty());
    ASSERT_FALSE(want.empty());
    const std::vector<std::uint8_t> payload(lzw.begin() + 1, lzw.end());
    const Decoded d = Decode(lzw[0], SubBlocks(payload), want.size());
    EXPECT_EQ(d.Pixels, want);
    EXPECT_TRUE(d.Warnings.empty());
}

TEST(LZWDecoder, RecordedStreamsDecodeToTheirGoldens) {
    CheckRecorded("bricks-dither.indexes.giflzw", "bricks-dither.indexes");
    CheckRecorded("bricks-gray.indexes.giflzw", "bricks-gray.indexes");
    CheckRecorded("bricks-nodither.indexes.giflzw", "bricks-nodither.indexes");
    CheckRecorded("pi.txt.giflzw", "pi.txt");
}

// ---- Against a model ----

// The decoding rules taken one pixel at a time, with a stack of ints and full
// (untruncated) suffixes: slow and plain, for comparison only.
class ModelDecoder {
public:
    ModelDecoder(TGIFBlockSource& source, int minCodeSize)
        : source_(source), minSize_(minCodeSize), clear_(1 << minCodeSize), end_(clear_ + 1),
          prefix_(8192, 0), suffix_(8192, 0) {}

    int Next() {
        if (!stack_.empty()) {
            const int v = stack_.back();
            stack_.pop_back();
            return v;
        }
        if (ended_ != 0)
            return ended_;
        int code = ReadCode();
        if (code < 0)
            return ended_ = code;
        if (code == clear_) {
            for (int c = 0; c < 4096; ++c) {
                prefix_[c] = 0;
                suffix_[c] = c < clear_ ? c : 0;
            }
            width_ = minSize_ + 1;
            limit_ = 2 * clear_;
            next_ = clear_ + 2;
            do
                code = ReadCode();
            while (code == clear_);
            if (code < 0)
                return ended_ = code;
            first_ = prev_ = code;
            return code;
        }
        if (code == end_) {
            if (!terminatorSeen_)
                source_.SkipBlocks();
            return ended_ = -2;
        }
        const int incoming = code;
        if (code >= next_) {
            stack_.push_back(first_);
            code = prev_;
        }
        while (code >= clear_) {
            stack_.push_back(suffix_[code]);
            if (prefix_[code] == code || stack_.size() >= 8192)
                throw GIFException(gifmsg::CircularTableEntry);
            code = prefix_[code];
        }
        first_ = suffix_[code];
        stack_.push_back(first_);
        if (next_ <= 4095) {
            prefix_[next_] = prev_;
            suffix_[next_] = first_;
            ++next_;
            if (next_ >= limit_ && limit_ <= 4095) {
                limit_ *= 2;
                ++width_;
            }
        }
        prev_ = incoming;
        const int v = stack_.back();
        stack_.pop_back();
        return v;
    }

private:
    int ReadCode() {
        if (fresh_) {
            fresh_ = false;
            return clear_;
        }
        if (bitPos_ + width_ >= bitLimit_) {
            if (inputDone_) {
                if (bitPos_ >= bitLimit_)
                    source_.Warning(gifmsg::DecoderUnderrun);
                return -1;
            }
            buf_[0] = buf_[count_ - 2];
            buf_[1] = buf_[count_ - 1];
            bool terminator = false;
            const int n = source_.NextBlock(buf_ + 2, terminator);
            if (n < 0)
                return -1;
            if (terminator)
                terminatorSeen_ = inputDone_ = true;
            count_ = n + 2;
            bitPos_ = bitPos_ - bitLimit_ + 16;
            bitLimit_ = (n + 2) * 8;
        }
        const int s = bitPos_ / 8;
        const int e = (bitPos_ + width_) / 8;
        int v = buf_[s];
        if (e > s)
            v |= buf_[s + 1] << 8;
        if (e > s + 1)
            v |= buf_[s + 2] << 16;
        const int code = (v >> (bitPos_ % 8)) & ((1 << width_) - 1);
        bitPos_ += width_;
        return code;
    }

    TGIFBlockSource& source_;
    int minSize_, clear_, end_;
    int width_ = 0, limit_ = 0, next_ = 0, prev_ = 0, first_ = 0, ended_ = 0;
    bool fresh_ = true, inputDone_ = false, terminatorSeen_ = false;
    std::uint8_t buf_[2 + 256 + 2] = {};
    int count_ = 2, bitPos_ = 0, bitLimit_ = 0;
    std::vector<int> prefix_, suffix_, stack_;
};

Decoded DecodeWithModel(int minCodeSize, const std::vector<std::uint8_t>& blocks,
                        std::size_t count) {
    TMemoryBlockSource source(blocks);
    Decoded d;
    try {
        ModelDecoder m(source, minCodeSize);
        for (std::size_t i = 0; i < count; ++i) {
            const int v = m.Next();
            if (v < 0)
                break;
            d.Pixels.push_back(static_cast<std::uint8_t>(v));
        }
        m.Next();
    } catch (const GIFException&) {
        d.Circular = true;
    }
    d.Warnings = source.Warnings;
    d.Position = source.Position();
    return d;
}

// Codes a decoder might meet: mostly known entries and literals, sometimes
// clear and end codes, codes not yet in the table and wild values, written at
// the width a decoder is expected to read them.
std::vector<std::uint8_t> RandomCodeStream(std::mt19937& rng, int minSize, int codes) {
    const int clear = 1 << minSize;
    int width = minSize + 1, limit = 2 * clear, next = clear + 2;
    bool afterClear = true;
    std::vector<std::pair<int, int>> out;
    std::uniform_int_distribution<int> pct(0, 999);
    if (pct(rng) < 800)
        out.emplace_back(clear, width);
    for (int i = 0; i < codes; ++i) {
        const int p = pct(rng);
        int code;
        if (p < 5) {
            code = clear;
        } else if (p < 7) {
            code = clear + 1;
        } else if (p < 30) {
            code = std::uniform_int_distribution<int>(0, (1 << width) - 1)(rng);
        } else if (p < 450) {
            code = std::uniform_int_distribution<int>(0, clear - 1)(rng);
        } else {
            code = std::uniform_int_distribution<int>(clear + 2, std::max(clear + 2, next))(rng);
        }
        out.emplace_back(code, width);
        if (code == clear) {
            width = minSize + 1;
            limit = 2 * clear;
            next = clear + 2;
            afterClear = true;
        } else if (code == clear + 1) {
            break;
        } else if (afterClear) {
            afterClear = false;
        } else if (next <= 4095) {
            ++next;
            if (next >= limit && limit <= 4095) {
                limit *= 2;
                ++width;
            }
        }
    }
    return PackCodes(out);
}

TEST(LZWDecoder, MatchesTheModelOnRandomStreams) {
    std::mt19937 rng(20261207);
    int circular = 0, complete = 0;
    for (int round = 0; round < 1500; ++round) {
        const int minSize = std::uniform_int_distribution<int>(0, 12)(rng);
        std::vector<std::uint8_t> data;
        if (round % 10 == 0) {
            data.resize(std::uniform_int_distribution<std::size_t>(0, 600)(rng));
            for (auto& b : data)
                b = static_cast<std::uint8_t>(rng());
        } else {
            data = RandomCodeStream(rng, minSize, std::uniform_int_distribution<int>(1, 3000)(rng));
        }
        const auto blockSize = std::uniform_int_distribution<std::size_t>(1, 255)(rng);
        std::vector<std::uint8_t> bytes = SubBlocks(data, blockSize, round % 3 != 0);
        if (round % 7 == 0 && !bytes.empty())
            bytes.resize(std::uniform_int_distribution<std::size_t>(0, bytes.size() - 1)(rng));
        if (round % 5 == 0) {
            bytes.insert(bytes.end(), {4, 1, 2, 3, 4, 0});
        }
        const std::size_t count = std::uniform_int_distribution<std::size_t>(0, 3000)(rng);

        SCOPED_TRACE("round " + std::to_string(round));
        const Decoded want = DecodeWithModel(minSize, bytes, count);
        const Decoded got = Decode(minSize, bytes, count);
        ASSERT_EQ(got.Circular, want.Circular);
        circular += want.Circular ? 1 : 0;
        if (want.Circular)
            continue;
        complete += want.Pixels.size() == count ? 1 : 0;
        ASSERT_EQ(got.Pixels, want.Pixels);
        ASSERT_EQ(got.Warnings, want.Warnings);
        ASSERT_EQ(got.Position, want.Position);
    }
    // The generator must reach both outcomes, or the comparison proves little.
    EXPECT_GT(circular, 10);
    EXPECT_GT(complete, 100);
}

} // namespace
} // namespace framolo::test
