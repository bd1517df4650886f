#pragma once

// The AVIFile calls: opening AVI files (and other containers FFmpeg reads),
// their streams, stream information and formats, decoded frames as packed
// DIBs, audio as 16-bit PCM, and writing new uncompressed AVI files.
//
// Every call that returns THResult gives AVIERR_OK (0) on success. Calls are
// for one thread at a time per handle; separate handles may be used from
// separate threads.

#include <cstdint>
#include <string>

#include "platform/avifile/avifile_types.h"

namespace framolo {

// Library set-up and shut-down; paired calls. The other calls also work
// without them, the pair only counts users.
void AVIFileInit();
void AVIFileExit();

// Opens `path`. Modes: OF_READ (0) and OF_SHARE_DENY_WRITE (0x20) read;
// OF_CREATE | OF_WRITE | OF_SHARE_EXCLUSIVE (0x1011) creates a new AVI file,
// replacing an existing one. `handler` must be null (no handler choice).
// A video stream that starts at a frame number the calls can take but runs
// past the largest one (2^31 - 1) would lose its last frames: such a file is
// refused with AVIERR_UNSUPPORTED.
THResult AVIFileOpen(PAVIFile& file, const std::string& path, std::uint32_t mode,
                     const void* handler = nullptr);
// Releases a file handle; the file is finished and closed once it and every
// stream taken from it are released. Returns the remaining reference count.
std::uint32_t AVIFileRelease(PAVIFile file);
// Finishes a file opened for writing: its indexes, final sizes and the close.
// AVIERR_FILEWRITE when any of it fails (a full disk); the file's streams
// refuse writes afterwards. Releasing the last handle finishes a file too, but
// has no way to report a failure, so a writer that must know calls this first.
THResult AVIFileFinish(PAVIFile file);

// The `index`-th stream (from 0) of type streamtypeVIDEO or streamtypeAUDIO.
THResult AVIFileGetStream(PAVIFile file, PAVIStream& stream, std::uint32_t fccType,
                          std::int32_t index);
std::uint32_t AVIStreamRelease(PAVIStream stream);

// Fills `info` (size must be at least the record's 140 bytes).
THResult AVIStreamInfo(PAVIStream stream, TAVIStreamInfo& info, std::int32_t size);

// The stream format. With `format` null, `size` receives the format's size;
// otherwise up to `size` bytes are copied and `size` receives the number
// copied. Video: 40-byte bitmap header and its colour table as stored.
// Audio: the 16-bit PCM wave format in which AVIStreamRead delivers samples.
THResult AVIStreamReadFormat(PAVIStream stream, std::int32_t position, void* format,
                             std::int32_t* size);

THResult AVIStreamBeginStreaming(PAVIStream stream, std::int32_t start, std::int32_t end,
                                 std::int32_t rate);
THResult AVIStreamEndStreaming(PAVIStream stream);

// The largest pictures the decoder delivers: at most this many pixels a
// side, and this many in all. A stream of larger pictures gives no frames.
inline constexpr int AVIMaxFrameSide = 32768;
inline constexpr std::int64_t AVIMaxFramePixels = std::int64_t{1} << 28;

// A frame decoder for a video stream; `wanted` must be null (the decoder picks
// 8 bits with a palette for palettised sources, 24-bit BGR otherwise).
// Null on failure.
PGetFrame AVIStreamGetFrameOpen(PAVIStream stream, const TBitmapInfoHeader* wanted);
// The frame at `position` as a packed DIB (40-byte header, colour table, rows
// bottom-up padded to 4 bytes), owned by the decoder and valid until its next
// call. Null on failure or for a position outside the stream.
const void* AVIStreamGetFrame(PGetFrame getFrame, std::int32_t position);
THResult AVIStreamGetFrameClose(PGetFrame getFrame);

std::int32_t AVIStreamStart(PAVIStream stream);  // -1 for a bad handle
std::int32_t AVIStreamLength(PAVIStream stream); // -1 for a bad handle
// The samples of a stream whose data the file holds, counted from
// AVIStreamStart: fewer than AVIStreamLength for a video stream of a file cut
// short (a recording cut off, a download stopped half-way), whose header
// promises frames that never reached the file. An empty chunk (a dropped
// frame) counts as present. -1 for a bad handle.
std::int32_t AVIStreamLengthInFile(PAVIStream stream);

// Audio: reads up to `samples` PCM frames from `start` into `buffer`. With
// `buffer` null, `bytesRead` receives the bytes needed. A read that starts at
// or after the end succeeds with 0 samples.
THResult AVIStreamRead(PAVIStream stream, std::int32_t start, std::int32_t samples, void* buffer,
                       std::int32_t bufferSize, std::int32_t* bytesRead, std::int32_t* samplesRead);

// Milliseconds at which `sample` starts, and the sample that starts nearest to
// `time`; -1 for a bad handle.
std::int32_t AVIStreamSampleToTime(PAVIStream stream, std::int32_t sample);
std::int32_t AVIStreamTimeToSample(PAVIStream stream, std::int32_t time);

// Writing, on a file opened with OF_CREATE.
THResult AVIFileCreateStream(PAVIFile file, PAVIStream& stream, const TAVIStreamInfo& info);
THResult AVIStreamSetFormat(PAVIStream stream, std::int32_t position, const void* format,
                            std::int32_t size);
// Writes `samples` samples at sample number `start`. Samples must come in
// order; a sample number that is skipped becomes an empty chunk.
THResult AVIStreamWrite(PAVIStream stream, std::int32_t start, std::int32_t samples,
                        const void* buffer, std::int32_t size, std::uint32_t flags,
                        std::int32_t* samplesWritten, std::int32_t* bytesWritten);

} // namespace framolo
