#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace framolo {

// FNV-1a, 64 bits.
class TFnv1a64 {
public:
    void Add(const std::uint8_t* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            hash_ ^= data[i];
            hash_ *= 0x100000001b3ULL;
        }
    }
    std::uint64_t Value() const { return hash_; }
    std::string Hex() const;

private:
    std::uint64_t hash_ = 0xcbf29ce484222325ULL;
};

// Describes a GIF or video file on out, as JSON or as readable lines.
// Returns the process exit code; errors go to err.
int DescribeFile(const std::string& path, bool json, bool frameHashes, std::ostream& out,
                 std::ostream& err);

} // namespace framolo
