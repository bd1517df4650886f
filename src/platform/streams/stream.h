#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace framolo {

// A read or write that moved fewer bytes than asked.
class EStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class EReadError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// A byte stream with a position. Read and Write move as many bytes as they can
// and say how many; ReadBuffer and WriteBuffer insist on all of them.
class TStream {
public:
    virtual ~TStream() = default;
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;

    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
    virtual std::int64_t Size();
    virtual void SetSize(std::int64_t newSize);

    std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(std::int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }

    // Throws EReadError ("Stream read error") when fewer bytes arrive.
    void ReadBuffer(void* buffer, std::size_t count);
    // Throws EWriteError ("Stream write error") when fewer bytes are taken.
    void WriteBuffer(const void* buffer, std::size_t count);

    std::uint8_t ReadByte();
    void WriteByte(std::uint8_t b) { WriteBuffer(&b, 1); }
    std::uint16_t ReadWord();
    void WriteWord(std::uint16_t w);
    std::uint32_t ReadDWord();
    void WriteDWord(std::uint32_t d);

    // Copies count bytes from source (all of it from its start when count is 0).
    std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

// A growable in-memory stream.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<std::uint8_t> data) : data_(std::move(data)) {}

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }
    void SetSize(std::int64_t newSize) override;

    void Clear();
    const std::uint8_t* Memory() const { return data_.data(); }
    const std::vector<std::uint8_t>& Data() const { return data_; }
    std::vector<std::uint8_t> TakeData();

    void LoadFromStream(TStream& source);
    void LoadFromFile(const std::string& fileName);
    void SaveToStream(TStream& target) const;
    void SaveToFile(const std::string& fileName) const;

private:
    std::vector<std::uint8_t> data_;
    std::size_t pos_ = 0;
};

// A read-only view of bytes owned by somebody else.
class TReadOnlyMemoryStream : public TStream {
public:
    TReadOnlyMemoryStream(const void* data, std::size_t size)
        : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(size_); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// File open modes, as bit flags.
enum : std::uint32_t {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareDenyWrite = 0x0020,
    fmCreate = 0xFF00,
};

// A buffered file stream. Reads and writes go through one 64 KiB buffer, so
// stepping back a byte or two after a read costs no system call.
class TFileStream : public TStream {
public:
    TFileStream(const std::string& fileName, std::uint32_t mode);
    ~TFileStream() override;

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override;
    void SetSize(std::int64_t newSize) override;

    // Writes pending bytes to the file; throws EWriteError when the disk refuses.
    void Flush();
    const std::string& FileName() const { return fileName_; }

private:
    void FlushWrite();
    void DropReadBuffer();

    std::string fileName_;
    int fd_ = -1;
    bool writable_ = false;
    std::vector<std::uint8_t> buffer_;
    // The buffer holds bytes [bufStart_, bufStart_ + bufLen_) of the file when
    // reading, or pending bytes to be written at bufStart_ when dirty_.
    std::int64_t bufStart_ = 0;
    std::size_t bufLen_ = 0;
    std::size_t bufPos_ = 0;
    bool dirty_ = false;
};

} // namespace framolo
