#pragma once

#include "convert/conversion_host.h"

#include <cstdint>
#include <string>

namespace framolo {

enum class TJobEnd { NotStarted, Finished, Stopped, Failed };

struct TJobOutcome {
    TJobEnd End = TJobEnd::NotStarted;
    int FrameCount = 0;
    // Size of the written file, when the job writes one.
    std::int64_t Bytes = 0;
    std::string Error;
};

// Turns a range of frames of the open clip into an animated GIF document that
// the host's preview takes over. Runs synchronously on the calling thread.
class TAviToGifJob {
public:
    explicit TAviToGifJob(TConversionHost& host) : host_(host) {}
    TJobOutcome Run();

    // Size of the tab-1 preview panel, for placing the preview.
    static constexpr int kPanelWidth = 160;
    static constexpr int kPanelHeight = 121;

private:
    void Convert(TJobOutcome& outcome);
    void Report(TJobOutcome& outcome);

    TConversionHost& host_;
};

} // namespace framolo
