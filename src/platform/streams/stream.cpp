#include "platform/streams/stream.h"

#include "platform/bytes/little_endian.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
#define FRAMOLO_OPEN _open
#define FRAMOLO_CLOSE _close
#define FRAMOLO_LSEEK _lseeki64
#define FRAMOLO_READ _read
#define FRAMOLO_WRITE _write
#define FRAMOLO_FTRUNCATE _chsize_s
#define FRAMOLO_BINARY _O_BINARY
#else
#include <unistd.h>
#define FRAMOLO_OPEN ::open
#define FRAMOLO_CLOSE ::close
#define FRAMOLO_LSEEK ::lseek
#define FRAMOLO_READ ::read
#define FRAMOLO_WRITE ::write
#define FRAMOLO_FTRUNCATE ::ftruncate
#define FRAMOLO_BINARY 0
#endif

namespace framolo {

namespace {

// A file's write error says what the system gave as the reason (a full disk
// among them), since the fixed text alone leaves a person guessing.
std::string WriteErrorText(int error) {
    return std::string("Stream write error: ") + std::strerror(error);
}
constexpr std::size_t kFileBufferSize = 64 * 1024;

std::int64_t ResolveSeek(std::int64_t offset, TSeekOrigin origin, std::int64_t current,
                         std::int64_t size) {
    std::int64_t base = 0;
    switch (origin) {
    case TSeekOrigin::soBeginning:
        base = 0;
        break;
    case TSeekOrigin::soCurrent:
        base = current;
        break;
    case TSeekOrigin::soEnd:
        base = size;
        break;
    }
    if ((offset > 0 && base > std::numeric_limits<std::int64_t>::max() - offset) ||
        base + offset < 0)
        throw EStreamError("Invalid stream position");
    return base + offset;
}
} // namespace

std::int64_t TStream::Size() {
    const std::int64_t pos = Seek(0, TSeekOrigin::soCurrent);
    const std::int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(pos, TSeekOrigin::soBeginning);
    return size;
}

void TStream::SetSize(std::int64_t) {
    throw EStreamError("Stream size cannot be changed");
}

void TStream::ReadBuffer(void* buffer, std::size_t count) {
    if (count != 0 && Read(buffer, count) != count)
        throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::size_t count) {
    if (count != 0 && Write(buffer, count) != count)
        throw EWriteError("Stream write error");
}

std::uint8_t TStream::ReadByte() {
    std::uint8_t b = 0;
    ReadBuffer(&b, 1);
    return b;
}

std::uint16_t TStream::ReadWord() {
    std::uint8_t b[2];
    ReadBuffer(b, 2);
    return GetLE16(b);
}

void TStream::WriteWord(std::uint16_t w) {
    std::uint8_t b[2];
    PutLE16(b, w);
    WriteBuffer(b, 2);
}

std::uint32_t TStream::ReadDWord() {
    std::uint8_t b[4];
    ReadBuffer(b, 4);
    return GetLE32(b);
}

void TStream::WriteDWord(std::uint32_t d) {
    std::uint8_t b[4];
    PutLE32(b, d);
    WriteBuffer(b, 4);
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::min<std::int64_t>(count, 65536)));
    std::int64_t left = count;
    while (left > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(left, 65536));
        source.ReadBuffer(buf.data(), n);
        WriteBuffer(buf.data(), n);
        left -= static_cast<std::int64_t>(n);
    }
    return count;
}

// ---- TMemoryStream ----

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
    if (pos_ >= data_.size())
        return 0;
    const std::size_t n = std::min(count, data_.size() - pos_);
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
    if (count == 0)
        return 0;
    if (count > std::numeric_limits<std::size_t>::max() - pos_)
        throw EWriteError("Stream write error");
    const std::size_t end = pos_ + count;
    if (end > data_.size()) {
        if (end > data_.capacity())
            data_.reserve(std::max(end, data_.capacity() + data_.capacity() / 2));
        data_.resize(end);
    }
    std::memcpy(data_.data() + pos_, buffer, count);
    pos_ = end;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    pos_ = static_cast<std::size_t>(
        ResolveSeek(offset, origin, static_cast<std::int64_t>(pos_), Size()));
    return static_cast<std::int64_t>(pos_);
}

void TMemoryStream::SetSize(std::int64_t newSize) {
    if (newSize < 0)
        throw EStreamError("Invalid stream size");
    data_.resize(static_cast<std::size_t>(newSize));
    pos_ = std::min(pos_, data_.size());
}

void TMemoryStream::Clear() {
    data_.clear();
    pos_ = 0;
}

std::vector<std::uint8_t> TMemoryStream::TakeData() {
    pos_ = 0;
    return std::exchange(data_, {});
}

void TMemoryStream::LoadFromStream(TStream& source) {
    source.SetPosition(0);
    const std::int64_t size = source.Size();
    std::vector<std::uint8_t> d(static_cast<std::size_t>(size));
    source.ReadBuffer(d.data(), d.size());
    data_ = std::move(d);
    pos_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
    TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(f);
}

void TMemoryStream::SaveToStream(TStream& target) const {
    target.WriteBuffer(data_.data(), data_.size());
}

void TMemoryStream::SaveToFile(const std::string& fileName) const {
    TFileStream f(fileName, fmCreate);
    SaveToStream(f);
    f.Flush();
}

// ---- TReadOnlyMemoryStream ----

std::size_t TReadOnlyMemoryStream::Read(void* buffer, std::size_t count) {
    if (pos_ >= size_)
        return 0;
    const std::size_t n = std::min(count, size_ - pos_);
    std::memcpy(buffer, data_ + pos_, n);
    pos_ += n;
    return n;
}

std::size_t TReadOnlyMemoryStream::Write(const void*, std::size_t) {
    return 0;
}

std::int64_t TReadOnlyMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    pos_ = static_cast<std::size_t>(
        ResolveSeek(offset, origin, static_cast<std::int64_t>(pos_), Size()));
    return static_cast<std::int64_t>(pos_);
}

// ---- TFileStream ----

TFileStream::TFileStream(const std::string& fileName, std::uint32_t mode) : fileName_(fileName) {
    int flags = FRAMOLO_BINARY;
    if (mode == fmCreate || (mode & 0xFF00u) == fmCreate) {
        flags |= O_RDWR | O_CREAT | O_TRUNC;
        writable_ = true;
    } else if ((mode & 3u) == fmOpenWrite) {
        flags |= O_WRONLY;
        writable_ = true;
    } else if ((mode & 3u) == fmOpenReadWrite) {
        flags |= O_RDWR;
        writable_ = true;
    } else {
        flags |= O_RDONLY;
    }
    fd_ = FRAMOLO_OPEN(fileName.c_str(), flags, 0666);
    if (fd_ < 0) {
        const std::string why = std::strerror(errno);
        if (writable_ && (flags & O_CREAT))
            throw EFOpenError("Cannot create file \"" + fileName + "\". " + why);
        throw EFOpenError("Cannot open file \"" + fileName + "\". " + why);
    }
    struct stat st {};
    if (fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        FRAMOLO_CLOSE(fd_);
        fd_ = -1;
        throw EFOpenError("Cannot open file \"" + fileName + "\". Is a directory");
    }
    buffer_.resize(kFileBufferSize);
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) {
        try {
            FlushWrite();
        } catch (...) {
            // A destructor cannot report; callers who care call Flush() first.
        }
        FRAMOLO_CLOSE(fd_);
    }
}

void TFileStream::DropReadBuffer() {
    if (!dirty_) {
        bufStart_ += static_cast<std::int64_t>(bufPos_);
        bufLen_ = 0;
        bufPos_ = 0;
    }
}

void TFileStream::FlushWrite() {
    if (!dirty_)
        return;
    if (FRAMOLO_LSEEK(fd_, bufStart_, SEEK_SET) < 0)
        throw EWriteError(WriteErrorText(errno));
    std::size_t done = 0;
    while (done < bufLen_) {
        const auto n =
            FRAMOLO_WRITE(fd_, buffer_.data() + done, static_cast<unsigned>(bufLen_ - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            dirty_ = false;
            bufStart_ += static_cast<std::int64_t>(bufPos_);
            bufLen_ = bufPos_ = 0;
            throw EWriteError(WriteErrorText(error));
        }
        done += static_cast<std::size_t>(n);
    }
    dirty_ = false;
    bufStart_ += static_cast<std::int64_t>(bufPos_);
    bufLen_ = 0;
    bufPos_ = 0;
}

void TFileStream::Flush() {
    FlushWrite();
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
    FlushWrite();
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        if (bufPos_ < bufLen_) {
            const std::size_t n = std::min(count - done, bufLen_ - bufPos_);
            std::memcpy(out + done, buffer_.data() + bufPos_, n);
            bufPos_ += n;
            done += n;
            continue;
        }
        // Refill: the buffer now starts at the current position.
        bufStart_ += static_cast<std::int64_t>(bufPos_);
        bufLen_ = bufPos_ = 0;
        if (FRAMOLO_LSEEK(fd_, bufStart_, SEEK_SET) < 0)
            break;
        const auto n = FRAMOLO_READ(fd_, buffer_.data(), static_cast<unsigned>(buffer_.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        bufLen_ = static_cast<std::size_t>(n);
    }
    return done;
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count) {
    if (!writable_)
        return 0;
    if (!dirty_)
        DropReadBuffer();
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        if (bufPos_ == buffer_.size())
            FlushWrite();
        const std::size_t n = std::min(count - done, buffer_.size() - bufPos_);
        std::memcpy(buffer_.data() + bufPos_, in + done, n);
        bufPos_ += n;
        bufLen_ = std::max(bufLen_, bufPos_);
        dirty_ = true;
        done += n;
    }
    return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    const std::int64_t current = bufStart_ + static_cast<std::int64_t>(bufPos_);
    if (origin == TSeekOrigin::soCurrent && offset == 0)
        return current;
    const std::int64_t target =
        ResolveSeek(offset, origin, current, origin == TSeekOrigin::soEnd ? Size() : 0);
    // Inside the read buffer: move the cursor only.
    if (!dirty_ && target >= bufStart_ &&
        target <= bufStart_ + static_cast<std::int64_t>(bufLen_)) {
        bufPos_ = static_cast<std::size_t>(target - bufStart_);
        return target;
    }
    FlushWrite();
    bufStart_ = target;
    bufLen_ = bufPos_ = 0;
    return target;
}

std::int64_t TFileStream::Size() {
    FlushWrite();
    struct stat st {};
    if (fstat(fd_, &st) != 0)
        throw EStreamError("Stream size unavailable");
    return static_cast<std::int64_t>(st.st_size);
}

void TFileStream::SetSize(std::int64_t newSize) {
    if (newSize < 0)
        throw EStreamError("Invalid stream size");
    FlushWrite();
    if (FRAMOLO_FTRUNCATE(fd_, newSize) != 0)
        throw EWriteError(WriteErrorText(errno));
    const std::int64_t current = bufStart_ + static_cast<std::int64_t>(bufPos_);
    bufStart_ = std::min(current, newSize);
    bufLen_ = bufPos_ = 0;
}

} // namespace framolo
