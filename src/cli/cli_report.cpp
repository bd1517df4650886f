#include "cli/cli_report.h"

#include "convert/job_support.h"

#include <cstdio>

namespace framolo {

namespace {

// The length of the valid UTF-8 sequence at s[at], 0 when there is none: no
// overlong forms, no surrogates, nothing past U+10FFFF.
std::size_t Utf8SequenceAt(const std::string& s, std::size_t at) {
    const auto byte = [&s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned lead = byte(at);
    std::size_t length = 0;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > s.size())
        return 0;
    // The second byte carries the limits; the others are plain continuations.
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned b = byte(at + i);
        if (b < (i == 1 ? low : 0x80) || b > (i == 1 ? high : 0xBF))
            return 0;
    }
    return length;
}

// The bytes of a name that is not valid UTF-8, in hex; empty for one that is.
// Its JSON string reads such bytes as Latin-1, which names another file.
std::string HexOfNonUtf8(const std::string& s) {
    bool valid = true;
    for (std::size_t i = 0; i < s.size() && valid;) {
        const std::size_t length = Utf8SequenceAt(s, i);
        valid = length > 0;
        i += length;
    }
    if (valid)
        return "";
    std::string hex;
    for (const char c : s) {
        char buf[3];
        std::snprintf(buf, sizeof(buf), "%02x", static_cast<unsigned char>(c));
        hex += buf;
    }
    return hex;
}

} // namespace

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size();) {
        const char c = s[i];
        const auto u = static_cast<unsigned char>(c);
        const std::size_t length = Utf8SequenceAt(s, i);
        if (length > 1) {
            out.append(s, i, length);
            i += length;
            continue;
        }
        ++i;
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
            if (u < 0x20 || length == 0) {
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
            << ", \"size_kb\": " << kb << ", \"output\": " << JsonString(report.Output);
        if (const std::string hex = HexOfNonUtf8(report.Output); !hex.empty())
            out << ", \"output_hex\": \"" << hex << "\"";
        out << ", \"seconds\": " << seconds;
        if (report.RaisedDelays >= 0)
            out << ", \"raised_delays\": " << report.RaisedDelays;
        if (report.Limit >= 0)
            out << ", \"max_size_bytes\": " << report.Limit << ", \"quality\": " << report.Quality
                << ", \"step\": " << report.Step << ", \"encodes\": " << report.Encodes
                << ", \"estimates\": " << report.Estimates;
        out << "}\n";
    } else {
        out << "width: " << report.Width << "\nheight: " << report.Height
            << "\nframes: " << report.Frames << "\nsize: " << kb << " KB (" << report.Bytes
            << " bytes)\nsaved: " << report.Output << "\nseconds: " << seconds << "\n";
        if (report.Limit >= 0)
            out << "limit: " << report.Limit << " bytes\nquality: " << report.Quality
                << "\nstep: " << report.Step << "\n";
        if (report.RaisedDelays > 0)
            out << "note: " << report.RaisedDelays
                << (report.RaisedDelays == 1 ? " frame" : " frames")
                << " with delay 0 or 1 show for 10 hundredths of a second, as browsers play them\n";
    }
    out.flush();
}

} // namespace framolo
