#pragma once

// Hand-building LZW code streams and feeding them to the decoder from memory.

#include "gif/gif_reader.h"
#include "gif/lzw_decoder.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace framolo::test {

// Packs (code, width) pairs least significant bit first.
inline std::vector<std::uint8_t> PackCodes(const std::vector<std::pair<int, int>>& codes) {
    std::vector<std::uint8_t> out;
    std::uint32_t acc = 0;
    int bits = 0;
    for (const auto& [code, width] : codes) {
        acc |= static_cast<std::uint32_t>(code) << bits;
        bits += width;
        while (bits >= 8) {
            out.push_back(static_cast<std::uint8_t>(acc));
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0)
        out.push_back(static_cast<std::uint8_t>(acc));
    return out;
}

// Cuts data into sub-blocks of at most blockSize bytes, with the zero-length
// terminator when asked.
inline std::vector<std::uint8_t> SubBlocks(const std::vector<std::uint8_t>& data,
                                           std::size_t blockSize = 255, bool terminator = true) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < data.size(); i += blockSize) {
        const std::size_t n = std::min(blockSize, data.size() - i);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
                   data.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    if (terminator)
        out.push_back(0);
    return out;
}

// Sub-blocks (size bytes included) served from memory.
class TMemoryBlockSource : public TGIFBlockSource {
public:
    explicit TMemoryBlockSource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    int NextBlock(std::uint8_t* dst, bool& terminator) override {
        if (pos_ >= bytes_.size())
            return -1;
        const std::size_t n = bytes_[pos_++];
        if (n == 0) {
            terminator = true;
            return 0;
        }
        const std::size_t got = std::min(n, bytes_.size() - pos_);
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(pos_), got, dst);
        pos_ += got;
        if (got < n)
            Warning(gifmsg::PrematureEnd);
        return static_cast<int>(got);
    }
    void SkipBlocks() override {
        while (pos_ < bytes_.size()) {
            const std::size_t n = bytes_[pos_++];
            if (n == 0)
                break;
            pos_ += n;
        }
    }
    void Warning(const char* message) override { Warnings.emplace_back(message); }

    std::size_t Position() const { return pos_; }
    std::vector<std::string> Warnings;

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t pos_ = 0;
};

inline std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
}

inline std::string GifDataPath(const std::string& name) {
    return std::string(FRAMOLO_TEST_DATA_DIR) + "/gif/" + name;
}

} // namespace framolo::test
