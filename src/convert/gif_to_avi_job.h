#pragma once

#include "convert/conversion_sink.h"

#include <cstdint>

namespace framolo {

// Writes every frame of the sink's GIF document as one key frame of a new
// uncompressed 8-bit AVI file. Runs synchronously on the calling thread.
class TGifToAviJob {
public:
    explicit TGifToAviJob(TConversionSink& sink) : sink_(sink) {}
    TJobOutcome Run();

    // The frame rate is 65 / dwScale with dwScale the GIF delay in 1/100 s.
    static constexpr std::uint32_t kRate = 65;

private:
    void Convert(TGIFDocument& document, TJobOutcome& outcome);
    TConversionSink& sink_;
};

} // namespace framolo
