#include "platform/streams/stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

namespace framolo {
namespace {

std::string TempPath(const std::string& name) {
    return std::string(FRAMOLO_TEST_WORK_DIR) + "/" + name;
}

TEST(MemoryStream, ReadWriteSeekAndShortReads) {
    TMemoryStream s;
    s.WriteDWord(0x11223344);
    s.WriteWord(0x5566);
    EXPECT_EQ(s.Size(), 6);
    EXPECT_EQ(s.Position(), 6);
    s.SetPosition(0);
    EXPECT_EQ(s.ReadDWord(), 0x11223344u);
    EXPECT_EQ(s.ReadWord(), 0x5566);
    std::uint8_t b = 0;
    EXPECT_EQ(s.Read(&b, 1), 0u);
    EXPECT_THROW(s.ReadByte(), EReadError);
    // Writing past the end after a seek fills the gap with zeros.
    s.Seek(2, TSeekOrigin::soEnd);
    s.WriteByte(9);
    EXPECT_EQ(s.Data(), (std::vector<std::uint8_t>{0x44, 0x33, 0x22, 0x11, 0x66, 0x55, 0, 0, 9}));
    EXPECT_THROW(s.Seek(-100, TSeekOrigin::soCurrent), EStreamError);
}

TEST(FileStream, WriteThenReadBackAcrossBufferBoundaries) {
    const std::string path = TempPath("stream_roundtrip.bin");
    std::vector<std::uint8_t> data(200000);
    std::iota(data.begin(), data.end(), 0);
    {
        TFileStream f(path, fmCreate);
        // Odd-sized writes straddle the 64 KiB buffer.
        std::size_t pos = 0;
        while (pos < data.size()) {
            const std::size_t n = std::min<std::size_t>(7777, data.size() - pos);
            f.WriteBuffer(data.data() + pos, n);
            pos += n;
        }
        EXPECT_EQ(f.Size(), static_cast<std::int64_t>(data.size()));
        // Patch a byte in the middle, as a writer patches sizes.
        f.SetPosition(100000);
        f.WriteByte(0xEE);
        f.Seek(0, TSeekOrigin::soEnd);
        f.WriteByte(0xAA);
        f.Flush();
    }
    data[100000] = 0xEE;
    data.push_back(0xAA);
    TFileStream f(path, fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(f.Size(), static_cast<std::int64_t>(data.size()));
    std::vector<std::uint8_t> back(data.size());
    f.ReadBuffer(back.data(), back.size());
    EXPECT_EQ(back, data);
    // Stepping back one byte at a time works and reads the right bytes.
    for (std::int64_t p = 70000; p > 60000; --p) {
        f.SetPosition(p);
        ASSERT_EQ(f.ReadByte(), data[static_cast<std::size_t>(p)]);
    }
    f.Seek(-1, TSeekOrigin::soEnd);
    EXPECT_EQ(f.ReadByte(), 0xAA);
    EXPECT_THROW(f.ReadByte(), EReadError);
    std::remove(path.c_str());
}

TEST(FileStream, OpenErrorsAreClear) {
    EXPECT_THROW(TFileStream(TempPath("no/such/dir/file"), fmCreate), EFOpenError);
    EXPECT_THROW(TFileStream(TempPath("missing-file"), fmOpenRead), EFOpenError);
    EXPECT_THROW(TFileStream(FRAMOLO_TEST_WORK_DIR, fmOpenRead), EFOpenError);
    // A read-only stream takes no bytes.
    const std::string path = TempPath("readonly.bin");
    { TFileStream(path, fmCreate).WriteByte(1); }
    TFileStream f(path, fmOpenRead);
    EXPECT_THROW(f.WriteByte(2), EWriteError);
    std::remove(path.c_str());
}

TEST(FileStream, AWriteErrorSaysTheSystemsReason) {
    // A device that is always full, as a disk can be.
    TFileStream full("/dev/full", fmCreate);
    const std::vector<std::uint8_t> bytes(100, 7);
    full.WriteBuffer(bytes.data(), bytes.size());
    try {
        full.Flush();
        ADD_FAILURE() << "a full device took the bytes";
    } catch (const EWriteError& e) {
        EXPECT_STREQ(e.what(), "Stream write error: No space left on device");
    }
}

TEST(FileStream, SetSizeTruncatesAndExtends) {
    const std::string path = TempPath("setsize.bin");
    TFileStream f(path, fmCreate);
    f.WriteDWord(0xFFFFFFFF);
    f.SetSize(2);
    EXPECT_EQ(f.Size(), 2);
    EXPECT_EQ(f.Position(), 2);
    f.SetSize(6);
    f.SetPosition(0);
    std::uint8_t b[6];
    f.ReadBuffer(b, 6);
    EXPECT_EQ(std::vector<std::uint8_t>(b, b + 6),
              (std::vector<std::uint8_t>{0xFF, 0xFF, 0, 0, 0, 0}));
    std::remove(path.c_str());
}

} // namespace
} // namespace framolo
