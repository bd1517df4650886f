#pragma once

#include "convert/avi_to_gif_job.h"
#include "convert/conversion_host.h"

namespace framolo {

// Writes every frame of the host's GIF document as one key frame of a new
// uncompressed 8-bit AVI file. Runs synchronously on the calling thread.
class TGifToAviJob {
public:
    explicit TGifToAviJob(TConversionHost& host) : host_(host) {}
    TJobOutcome Run();

    // The frame rate is 65 / dwScale with dwScale the GIF delay in 1/100 s.
    static constexpr std::uint32_t kRate = 65;

private:
    void Convert(TGIFDocument& document, TJobOutcome& outcome);
    TConversionHost& host_;
};

} // namespace framolo
