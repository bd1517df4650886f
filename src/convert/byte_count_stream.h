#pragma once

#include "platform/streams/stream.h"

#include <algorithm>

namespace framolo {

// A write-only stream that keeps no bytes, only their count: the size of a
// file without the file. Seeking back and rewriting does not grow it.
class TByteCountStream : public TStream {
public:
    std::size_t Read(void*, std::size_t) override { return 0; }
    std::size_t Write(const void*, std::size_t count) override {
        position_ += static_cast<std::int64_t>(count);
        size_ = std::max(size_, position_);
        return count;
    }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
        const std::int64_t base = origin == TSeekOrigin::soBeginning ? 0
                                  : origin == TSeekOrigin::soCurrent ? position_
                                                                     : size_;
        position_ = std::max<std::int64_t>(0, base + offset);
        return position_;
    }
    std::int64_t Size() override { return size_; }

private:
    std::int64_t position_ = 0;
    std::int64_t size_ = 0;
};

} // namespace framolo
