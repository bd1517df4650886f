#include "convert/job_support.h"

#include "platform/graphics/graphics.h"

#include <cctype>
#include <cmath>
#include <limits>
#include <utility>

namespace framolo {

std::int32_t StrToInt(const std::string& text) {
    // Leading and trailing blanks are allowed, as are a sign and hexadecimal "$"
    // forms in other tools; the fields here only ever hold digits.
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1])))
        --e;
    bool negative = false;
    std::size_t i = b;
    if (i < e && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == e)
        throw EConvertError("'" + text + "' is not a valid integer value");
    std::int64_t value = 0;
    for (; i < e; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            throw EConvertError("'" + text + "' is not a valid integer value");
        value = value * 10 + (c - '0');
        if (value > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1)
            throw EConvertError("'" + text + "' is not a valid integer value");
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<std::int32_t>::max() ||
        value < std::numeric_limits<std::int32_t>::min())
        throw EConvertError("'" + text + "' is not a valid integer value");
    return static_cast<std::int32_t>(value);
}

std::int64_t BytesToKBRounded(std::int64_t bytes) {
    const std::int64_t q = bytes / 1024;
    const std::int64_t r = bytes % 1024;
    if (r > 512 || (r == 512 && (q % 2) != 0))
        return q + 1;
    return q;
}

std::string ExtractFileExt(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t sep = path.find_last_of("/\\");
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep))
        return "";
    return path.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    const std::string old = ExtractFileExt(path);
    return path.substr(0, path.size() - old.size()) + ext;
}

std::string LowerCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::optional<std::string> FrameRangeProblem(const std::string& startName, std::int32_t start,
                                             const std::string& endName, std::int32_t end,
                                             std::int32_t first, std::int32_t last) {
    const std::string within = "choose a range within the clip's frames " + std::to_string(first) +
                               " to " + std::to_string(last);
    const auto named = [](const std::string& name, std::int32_t value) {
        return name + " " + std::to_string(value);
    };
    for (const auto& [name, value] : {std::pair{&startName, start}, std::pair{&endName, end}})
        if (value < first || value > last)
            return named(*name, value) + " is outside the clip: " + within;
    if (start > end)
        return named(startName, start) + " comes after " + named(endName, end) + ": " + within;
    return std::nullopt;
}

bool IsZeroStep(const std::string& text) {
    try {
        return StrToInt(text) == 0;
    } catch (const EConvertError&) {
        return false;
    }
}

namespace {
int RoundHalfEven(double v) {
    return static_cast<int>(std::nearbyint(v));
}
} // namespace

TPreviewPlacement FitPreview(int w, int h, int pw, int ph) {
    TPreviewPlacement p;
    if (w > pw && h > ph) {
        p.FillClient = true;
        p.Width = pw;
        p.Height = ph;
    } else if (w > pw) {
        p.Width = pw - 8;
        p.Height = RoundHalfEven(static_cast<double>(h) * (pw - 8) / w);
        p.Left = 4;
        p.Top = RoundHalfEven((ph - p.Height) / 2.0);
    } else if (h > ph) {
        p.Height = ph - 8;
        p.Width = RoundHalfEven(static_cast<double>(w) * (ph - 8) / h);
        p.Top = 4;
        p.Left = RoundHalfEven((pw - p.Width) / 2.0);
    } else {
        p.Width = w;
        p.Height = h;
        p.Left = RoundHalfEven((pw - w) / 2.0);
        p.Top = RoundHalfEven((ph - h) / 2.0);
    }
    return p;
}

} // namespace framolo
