#include "cli/cli_report.h"

#include "convert/job_support.h"

#include <cstdio>

namespace framolo {

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (u < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof(buf), "\\u%04x", u);
                out += buf;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

void WriteReport(std::ostream& out, const TCliReport& report, bool json) {
    const std::int64_t kb = BytesToKBRounded(report.Bytes);
    char seconds[32];
    std::snprintf(seconds, sizeof(seconds), "%.3f", report.Seconds);
    if (json) {
        out << "{\"width\": " << report.Width << ", \"height\": " << report.Height
            << ", \"frames\": " << report.Frames << ", \"size_bytes\": " << report.Bytes
            << ", \"size_kb\": " << kb << ", \"output\": " << JsonString(report.Output)
            << ", \"seconds\": " << seconds;
        if (report.RaisedDelays >= 0)
            out << ", \"raised_delays\": " << report.RaisedDelays;
        out << "}\n";
    } else {
        out << "width: " << report.Width << "\nheight: " << report.Height
            << "\nframes: " << report.Frames << "\nsize: " << kb << " KB (" << report.Bytes
            << " bytes)\nsaved: " << report.Output << "\nseconds: " << seconds << "\n";
        if (report.RaisedDelays > 0)
            out << "note: " << report.RaisedDelays
                << (report.RaisedDelays == 1 ? " frame" : " frames")
                << " with delay 0 or 1 show for 10 hundredths of a second, as browsers play them\n";
    }
    out.flush();
}

} // namespace framolo
