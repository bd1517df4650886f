#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace framolo {

// What a finished conversion reports.
struct TCliReport {
    int Width = 0;
    int Height = 0;
    int Frames = 0;
    std::int64_t Bytes = 0;
    std::string Output;
    double Seconds = 0;
    // Frames whose delay of 0 or 1 a video shows for 10 hundredths; -1 when
    // the output is not a video.
    int RaisedDelays = -1;
};

// The report as lines of text, or as one JSON object on one line.
void WriteReport(std::ostream& out, const TCliReport& report, bool json);

// s as a JSON string literal, quotes included.
std::string JsonString(const std::string& s);

} // namespace framolo
