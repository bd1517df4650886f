#include "avi_test_support.h"

#include "clip_tools.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include <unistd.h>

namespace framolo::avitest {

namespace fs = std::filesystem;

fs::path WorkDir() {
    fs::path dir = fs::path(test::WorkPath("avi"));
    fs::create_directories(dir);
    return dir;
}

namespace {

// The clips made once per test run, shared by the tests and never written to
// by them.
fs::path ClipDir() {
    static const fs::path dir = [] {
        fs::path d = fs::path(test::ClipPath("avi"));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

} // namespace

int Run(const std::string& command, std::string* out) {
    return test::RunCommand(command, out);
}

std::filesystem::path MakeClip(const std::string& name, const std::string& args) {
    static std::mutex lock;
    static std::map<std::string, fs::path> made;
    std::lock_guard<std::mutex> guard(lock);
    auto it = made.find(name);
    if (it != made.end()) {
        return it->second;
    }
    // CTest runs every test in a process of its own, several at once: a clip
    // is named after its arguments, made under a private name and renamed
    // into place, so processes share finished clips and never half-written
    // ones.
    const fs::path stem(name);
    const fs::path path =
        ClipDir() /
        (stem.stem().string() + "-" + std::to_string(std::hash<std::string>{}(args) % 1000000007u) +
         stem.extension().string());
    if (!fs::exists(path)) {
        const fs::path part = ClipDir() / (stem.stem().string() + ".part" +
                                           std::to_string(::getpid()) + stem.extension().string());
        const std::string cmd = "ffmpeg -nostdin -hide_banner -loglevel error -y " + args + " '" +
                                part.string() + "' 2>&1";
        if (Run(cmd) == 0 && fs::exists(part)) {
            fs::rename(part, path);
        } else {
            fs::remove(part);
        }
    }
    made[name] = fs::exists(path) ? path : fs::path();
    return made[name];
}

namespace {

// A scratch file of this process, removed when the holder goes.
struct TScratch {
    fs::path Path;
    explicit TScratch(const std::string& suffix)
        : Path(WorkDir() / ("scratch" + std::to_string(::getpid()) + suffix)) {}
    ~TScratch() {
        std::error_code ec;
        fs::remove(Path, ec);
    }
};

} // namespace

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

const std::vector<std::uint8_t>* TReference::At(std::int64_t k) const {
    const std::vector<std::uint8_t>* best = nullptr;
    std::int64_t bestNum = -1;
    for (std::size_t i = 0; i < Numbers.size(); ++i) {
        if (Numbers[i] <= k && Numbers[i] > bestNum) {
            bestNum = Numbers[i];
            best = &Pictures[i];
        }
    }
    return best;
}

namespace {

std::pair<std::int64_t, std::int64_t> ParseRatio(const std::string& s) {
    const auto slash = s.find('/');
    if (slash == std::string::npos) {
        return {std::stoll(s), 1};
    }
    return {std::stoll(s.substr(0, slash)), std::stoll(s.substr(slash + 1))};
}

std::string Quote(const fs::path& p) {
    // Appended rather than "'" + p.string(): GCC 12 at -O3 warns falsely
    // (-Wrestrict) about the temporary string that form makes.
    std::string quoted = "'";
    quoted += p.string();
    quoted += '\'';
    return quoted;
}

} // namespace

TReference DecodeReference(const fs::path& clip) {
    TReference ref;
    std::string info;
    Run("ffprobe -v error -select_streams v:0 -show_entries stream=width,height,time_base,"
        "avg_frame_rate -of default=nw=1 " +
            Quote(clip),
        &info);
    std::istringstream lines(info);
    std::string line;
    std::pair<std::int64_t, std::int64_t> tb{1, 1};
    std::pair<std::int64_t, std::int64_t> fps{1, 1};
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "width")
            ref.Width = std::stoi(value);
        if (key == "height")
            ref.Height = std::stoi(value);
        if (key == "time_base")
            tb = ParseRatio(value);
        if (key == "avg_frame_rate")
            fps = ParseRatio(value);
    }
    std::string stamps;
    Run("ffprobe -v error -select_streams v:0 -show_entries frame=best_effort_timestamp "
        "-of csv=p=0 " +
            Quote(clip),
        &stamps);
    std::vector<std::int64_t> ts;
    std::istringstream st(stamps);
    while (std::getline(st, line)) {
        // Side data (a pan-scan area, a GOP time code) comes on lines of its own.
        const bool noTime = line.rfind("N/A", 0) == 0;
        if (line.empty() ||
            (!noTime && !std::isdigit(static_cast<unsigned char>(line[0])) && line[0] != '-')) {
            continue;
        }
        // A picture flushed out of the decoder at the end may have no time;
        // it is the one after the last.
        if (noTime) {
            ts.push_back(ts.empty() ? 0
                                    : ts.back() + tb.second * fps.second / (tb.first * fps.first));
        } else {
            ts.push_back(std::stoll(line));
        }
    }
    const TScratch scratch(".bgr");
    const fs::path& raw = scratch.Path;
    Run("ffmpeg -nostdin -v error -y -i " + Quote(clip) +
        " -map 0:v:0 -fps_mode passthrough -f rawvideo -pix_fmt bgr24 " + Quote(raw));
    const auto bytes = ReadFile(raw);
    const std::size_t frameBytes = static_cast<std::size_t>(ref.Width) * ref.Height * 3;
    if (frameBytes == 0 || ts.empty() || bytes.size() != frameBytes * ts.size()) {
        return {};
    }
    for (std::size_t i = 0; i < ts.size(); ++i) {
        // Seconds since the first picture, in frames of the average rate.
        const long double sec = static_cast<long double>(ts[i] - ts[0]) * tb.first / tb.second;
        ref.Numbers.push_back(std::llround(sec * fps.first / fps.second));
        ref.Pictures.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(i * frameBytes),
                                  bytes.begin() +
                                      static_cast<std::ptrdiff_t>((i + 1) * frameBytes));
    }
    return ref;
}

std::vector<std::int16_t> DecodeReferencePcm(const fs::path& clip, int channels) {
    const TScratch scratch(".pcm");
    const fs::path& raw = scratch.Path;
    Run("ffmpeg -nostdin -v error -y -i " + Quote(clip) + " -map 0:a:0 -f s16le -ac " +
        std::to_string(channels) + " " + Quote(raw));
    const auto bytes = ReadFile(raw);
    std::vector<std::int16_t> pcm(bytes.size() / 2);
    std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
    return pcm;
}

TBitmapInfoHeader DibHeader(const void* dib) {
    TBitmapInfoHeader h;
    std::memcpy(&h, dib, sizeof h);
    return h;
}

std::vector<std::uint8_t> DibToBgr(const void* dib, int* width, int* height) {
    const TBitmapInfoHeader h = DibHeader(dib);
    const auto* bytes = static_cast<const std::uint8_t*>(dib);
    const int w = h.biWidth;
    const int hh = std::abs(h.biHeight);
    const std::size_t stride = (static_cast<std::size_t>(w) * h.biBitCount + 31) / 32 * 4;
    const std::size_t table = h.biBitCount <= 8 ? std::size_t{4} << h.biBitCount : 0;
    const std::uint8_t* pixels = bytes + h.biSize + table;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(w) * hh * 3);
    for (int y = 0; y < hh; ++y) {
        const int srcRow = h.biHeight > 0 ? hh - 1 - y : y;
        const std::uint8_t* row = pixels + static_cast<std::size_t>(srcRow) * stride;
        for (int x = 0; x < w; ++x) {
            std::uint8_t* o = &out[(static_cast<std::size_t>(y) * w + x) * 3];
            if (h.biBitCount == 8) {
                const std::uint8_t* q = bytes + h.biSize + 4 * row[x];
                o[0] = q[0];
                o[1] = q[1];
                o[2] = q[2];
            } else {
                std::memcpy(o, row + 3 * x, 3);
            }
        }
    }
    if (width)
        *width = w;
    if (height)
        *height = hh;
    return out;
}

bool FindStrh(const std::vector<std::uint8_t>& file, int n, TRawStrh& out) {
    auto le32 = [&](std::size_t at) {
        std::uint32_t v = 0;
        std::memcpy(&v, &file[at], 4);
        return v;
    };
    const char tag[4] = {'s', 't', 'r', 'h'};
    for (std::size_t i = 0; i + 64 <= file.size(); ++i) {
        if (std::memcmp(&file[i], tag, 4) != 0) {
            continue;
        }
        if (n-- > 0) {
            continue;
        }
        const std::size_t d = i + 8;
        out.fccType = le32(d);
        out.fccHandler = le32(d + 4);
        out.dwScale = le32(d + 20);
        out.dwRate = le32(d + 24);
        out.dwStart = le32(d + 28);
        out.dwLength = le32(d + 32);
        out.dwSampleSize = le32(d + 44);
        std::memcpy(out.rc, &file[d + 48], 8);
        return true;
    }
    return false;
}

TProbe ProbeVideo(const fs::path& clip) {
    TProbe p;
    std::string out;
    Run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=r_frame_rate,nb_frames,nb_read_frames -of default=nw=1 " +
            Quote(clip),
        &out);
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "r_frame_rate")
            p.FrameRate = value;
        if (key == "nb_frames" && value != "N/A")
            p.NbFrames = std::stoll(value);
        if (key == "nb_read_frames" && value != "N/A")
            p.DecodedFrames = std::stoll(value);
    }
    return p;
}

} // namespace framolo::avitest
