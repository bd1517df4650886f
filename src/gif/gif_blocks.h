#pragma once

#include "gif/gif_document.h"
#include "platform/streams/stream.h"

#include <cstddef>
#include <cstdint>

namespace framolo {

// The byte layout of a GIF file's fixed blocks. The document writer and the
// frame-by-frame encoder and stream writer all pack through these, so the
// same content gives the same bytes on every road.

// Signature, version and logical screen descriptor.
inline constexpr std::size_t kGIFHeaderBytes = 13;

// Writes the signature of version 1 ("GIF87a") or 2 ("GIF89a") and the
// logical screen descriptor as given. Raises "Unsupported GIF version" for any
// other version, before anything is written.
void WriteGIFHeader(TStream& stream, int version, const TLogicalScreenDescriptor& screen);

// The logical screen descriptor's packed byte. The colour resolution is that
// of the deepest table in the file. With a global table (globalBits > 0) the
// byte carries its flag, its sort flag and its size; without one, the size
// field repeats the resolution.
std::uint8_t ScreenPackedFields(int deepestBits, int globalBits, bool globalSorted);

// Writes an image descriptor, the local colour table when it has entries,
// and the image data coded with dataCoding (1: run-length, else LZW). A frame
// with a local table is always written non-interlaced, with the table's size
// and sort flag; without one, the descriptor keeps its interlace and reserved
// bits and the data is coded for the global table's globalBits.
// descriptor.PackedFields is updated to what was written. Returns the bytes
// of the image data's sub-blocks, their length bytes included: the part of the
// block that grows with the picture, unlike the descriptor, the table, the
// code size and the terminator.
//
// pixels holds descriptor.Width x descriptor.Height indexes, rows top to bottom.
std::int64_t WriteImageBlock(TStream& stream, TImageDescriptor& descriptor,
                             const TGIFColorMap& localTable, const std::uint8_t* pixels,
                             std::uint8_t dataCoding, int globalBits, const TGIFWarning& onWarning);

} // namespace framolo
