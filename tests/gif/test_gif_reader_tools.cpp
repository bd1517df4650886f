// GIF files made now by ImageMagick, gifsicle and ffmpeg read to the same
// index rasters, palettes, delays, disposal and transparency as giflib reads.
#include "gif_reader_test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

namespace framolo::test {
namespace {

bool HaveTool(const char* name) {
    return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

struct Made {
    std::string Name;
    std::string Command;
};

// The files, made once per run. Each command writes {out}; {dir} holds the
// files made before it.
std::vector<std::filesystem::path> MakeFiles() {
    const std::filesystem::path dir = std::filesystem::path(FRAMOLO_TEST_WORK_DIR) / "reader_tools";
    std::filesystem::create_directories(dir);
    std::vector<Made> made;
    // One still per bit depth, 1 to 8, from the same picture.
    for (int bits = 1; bits <= 8; ++bits)
        made.push_back({"im-" + std::to_string(bits) + "bit.gif",
                        "convert -seed 7 -size 53x41 plasma:fractal -colors " +
                            std::to_string(1 << bits) + " {out}"});
    made.push_back({"im-interlaced.gif",
                    "convert -seed 3 -size 50x37 plasma: -colors 64 -interlace GIF {out}"});
    made.push_back({"im-anim.gif",
                    "convert -seed 1 -delay 7 -dispose Background -size 32x24 plasma: plasma: "
                    "plasma: -loop 3 {out}"});
    made.push_back({"im-transparent.gif",
                    "convert -size 30x20 xc:none -fill red -draw \"circle 15,10 15,3\" {out}"});
    made.push_back({"gs-interlaced.gif", "gifsicle --interlace {dir}/im-anim.gif -o {out}"});
    made.push_back({"gs-optimized.gif", "gifsicle -O3 --colors 16 {dir}/im-anim.gif -o {out}"});
    made.push_back(
        {"gs-disposal.gif",
         "gifsicle --disposal previous --delay 12 --loopcount=5 {dir}/im-anim.gif -o {out}"});
    made.push_back({"gs-2bit.gif", "gifsicle --colors 4 --dither {dir}/im-8bit.gif -o {out}"});
    made.push_back({"gs-local.gif",
                    "gifsicle --local-colors {dir}/im-anim.gif -o {out} 2>/dev/null || "
                    "gifsicle {dir}/im-anim.gif -o {out}"});
    made.push_back(
        {"ff-default.gif",
         "ffmpeg -v error -nostdin -f lavfi -i testsrc=size=96x64:rate=10:duration=0.6 -y {out}"});
    made.push_back(
        {"ff-palette.gif",
         "ffmpeg -v error -nostdin -f lavfi -i testsrc2=size=80x60:rate=8:duration=0.625 -vf "
         "\"split[a][b];[a]palettegen=max_colors=32[p];[b][p]paletteuse=dither=bayer\" -y {out}"});
    made.push_back({"ff-loop.gif",
                    "ffmpeg -v error -nostdin -f lavfi -i mandelbrot=size=64x48:rate=5 -t 0.8 "
                    "-loop 2 -y {out}"});

    std::vector<std::filesystem::path> files;
    for (const Made& m : made) {
        const std::filesystem::path out = dir / m.Name;
        std::string cmd = m.Command;
        for (auto [key, value] : {std::pair<std::string, std::string>{"{out}", out.string()},
                                  std::pair<std::string, std::string>{"{dir}", dir.string()}}) {
            for (std::size_t p; (p = cmd.find(key)) != std::string::npos;)
                cmd.replace(p, key.size(), value);
        }
        std::filesystem::remove(out);
        // Every source is finite; the limits only guard against a tool that
        // would wait for more input.
        cmd = "ulimit -v 4000000; timeout 60 sh -c '" + cmd + "'";
        if (std::system(cmd.c_str()) == 0 && std::filesystem::exists(out))
            files.push_back(out);
        else
            ADD_FAILURE() << "could not make " << m.Name << " with: " << cmd;
    }
    return files;
}

TEST(GIFReaderTools, FilesMadeByOtherToolsDecodeLikeGiflib) {
    for (const char* tool : {"convert", "gifsicle", "ffmpeg"})
        if (!HaveTool(tool))
            GTEST_SKIP() << tool << " is not installed";
    const auto files = MakeFiles();
    std::set<int> paletteSizes;
    bool interlaced = false, local = false, global = false, animated = false, transparent = false;
    bool disposals = false;
    for (const auto& path : files) {
        const auto bytes = ReadFileBytes(path.string());
        ExpectSameAsGiflib(bytes, path.filename().string());
        const GiflibDecoded d = GiflibDecode(bytes);
        animated |= d.Frames.size() > 1;
        global |= !d.GlobalPalette.empty();
        for (const GiflibFrame& f : d.Frames) {
            paletteSizes.insert(static_cast<int>(f.Palette.size()));
            interlaced |= f.Interlaced;
            local |= f.HasLocalMap;
            transparent |= f.TransparentIndex >= 0;
            disposals |= f.Disposal > 1;
        }
    }
    // The files must cover what the comparison is meant to show.
    EXPECT_TRUE(interlaced && local && global && animated && transparent && disposals);
    for (int size = 2; size <= 256; size *= 2)
        EXPECT_TRUE(paletteSizes.count(size)) << "no file with a table of " << size;
}

} // namespace
} // namespace framolo::test
