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
    // Frames whose delay of 0 or 1 (or none) a clip shows for 10 hundredths;
    // -1 when the output is not a clip.
    int RaisedDelays = -1;
    // A run under a size limit: the limit in bytes (-1 for none), and the
    // quality and step it chose (the width and height are above).
    std::int64_t Limit = -1;
    int Quality = 0;
    int Step = 0;
    // How many full conversions and sample estimates it took.
    int Encodes = 0;
    int Estimates = 0;
};

// The report as lines of text, or as one JSON object on one line. A JSON
// report of an output name that is not valid UTF-8 gives its bytes in hex as
// well ("output_hex"), since "output" then reads them as Latin-1.
void WriteReport(std::ostream& out, const TCliReport& report, bool json);

// s as a JSON string literal, quotes included. Valid UTF-8 is kept as it is;
// each byte that is not part of a valid UTF-8 sequence (file names are bytes)
// becomes the character of its Latin-1 reading, written as \u00XX, so that
// the text stays valid JSON and every byte is still told apart.
std::string JsonString(const std::string& s);

} // namespace framolo
