#include "gif/encode/gif_encoding.h"

namespace framolo {

TEncoderTuning TGifEncoding::Tuning() const {
    if (Quality > 0) {
        TEncoderTuning tuning = TuningForQuality(Quality);
        if (Dither && *Dither != TDitherMode::Nearest) {
            tuning.LayerMargin = -1;
            tuning.ProbeMargin = -1;
            tuning.FirstColors = 0;
        }
        return tuning;
    }
    TEncoderTuning tuning;
    tuning.Tolerance = Tolerance;
    return tuning;
}

TGifEncoding QualityEncoding(int quality) {
    TGifEncoding encoding;
    encoding.Reduction = TColorReduction::BestQuality;
    encoding.Dither = kQualityDither;
    encoding.Optimize = true;
    encoding.Quality = quality;
    return encoding;
}

} // namespace framolo
