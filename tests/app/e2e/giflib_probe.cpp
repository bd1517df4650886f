// Prints what giflib reads from a GIF file: "FRAMES WIDTHxHEIGHT", or the
// error and exit status 1. The end-to-end test checks the window's output with it.
#include "giflib_util.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: giflib_probe FILE.gif\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
    const framolo::test::GiflibDecoded decoded = framolo::test::GiflibDecode(bytes);
    if (!decoded.Ok) {
        std::fprintf(stderr, "giflib: %s\n", decoded.Error.c_str());
        return 1;
    }
    std::printf("%zu %dx%d\n", decoded.Frames.size(), decoded.Width, decoded.Height);
    return 0;
}
