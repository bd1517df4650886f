#include "giflib_util.h"

#include <algorithm>
#include <cstring>
#include <gif_lib.h>

namespace framolo::test {

namespace {
struct Reader {
    const std::vector<std::uint8_t>* bytes;
    std::size_t pos;
};

int ReadFromMemory(GifFileType* gif, GifByteType* out, int count) {
    auto* r = static_cast<Reader*>(gif->UserData);
    const std::size_t left = r->bytes->size() - r->pos;
    const std::size_t n = std::min<std::size_t>(left, static_cast<std::size_t>(count));
    std::memcpy(out, r->bytes->data() + r->pos, n);
    r->pos += n;
    return static_cast<int>(n);
}

std::vector<std::array<std::uint8_t, 3>> PaletteOf(const ColorMapObject* map) {
    std::vector<std::array<std::uint8_t, 3>> p;
    if (map == nullptr)
        return p;
    for (int i = 0; i < map->ColorCount; ++i)
        p.push_back({map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
    return p;
}
// giflib has no text for some of its codes (it answers a null pointer).
std::string ErrorText(int code) {
    const char* text = GifErrorString(code);
    return text != nullptr ? text : "giflib error " + std::to_string(code);
}

} // namespace

GiflibDecoded GiflibDecode(const std::vector<std::uint8_t>& bytes) {
    GiflibDecoded result;
    Reader reader{&bytes, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, ReadFromMemory, &error);
    if (gif == nullptr) {
        result.Error = ErrorText(error);
        return result;
    }
    if (DGifSlurp(gif) != GIF_OK) {
        result.Error = ErrorText(gif->Error);
        DGifCloseFile(gif, &error);
        return result;
    }
    result.Ok = true;
    result.Width = gif->SWidth;
    result.Height = gif->SHeight;
    result.Background = gif->SBackGroundColor;
    result.AspectByte = gif->AspectByte;
    result.GlobalPalette = PaletteOf(gif->SColorMap);
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        GiflibFrame f;
        f.Left = image.ImageDesc.Left;
        f.Top = image.ImageDesc.Top;
        f.Width = image.ImageDesc.Width;
        f.Height = image.ImageDesc.Height;
        f.Interlaced = image.ImageDesc.Interlace;
        f.HasLocalMap = image.ImageDesc.ColorMap != nullptr;
        const std::size_t n =
            static_cast<std::size_t>(f.Width) * static_cast<std::size_t>(f.Height);
        if (image.RasterBits != nullptr)
            f.Indexes.assign(image.RasterBits, image.RasterBits + n);
        f.Palette = f.HasLocalMap ? PaletteOf(image.ImageDesc.ColorMap) : result.GlobalPalette;
        GraphicsControlBlock gcb;
        if (DGifSavedExtensionToGCB(gif, i, &gcb) == GIF_OK) {
            for (int e = 0; e < image.ExtensionBlockCount; ++e) {
                if (image.ExtensionBlocks[e].Function == GRAPHICS_EXT_FUNC_CODE) {
                    f.Delay = gcb.DelayTime;
                    f.Disposal = gcb.DisposalMode;
                    f.TransparentIndex = gcb.TransparentColor;
                }
            }
        }
        for (int e = 0; e < image.ExtensionBlockCount; ++e) {
            const ExtensionBlock& b = image.ExtensionBlocks[e];
            if (b.Function == APPLICATION_EXT_FUNC_CODE && b.ByteCount == 11 &&
                (std::memcmp(b.Bytes, "NETSCAPE2.0", 11) == 0 ||
                 std::memcmp(b.Bytes, "ANIMEXTS1.0", 11) == 0) &&
                e + 1 < image.ExtensionBlockCount) {
                const ExtensionBlock& sub = image.ExtensionBlocks[e + 1];
                if (sub.Function == CONTINUE_EXT_FUNC_CODE && sub.ByteCount >= 3 &&
                    sub.Bytes[0] == 1 && result.LoopCount < 0)
                    result.LoopCount = sub.Bytes[1] | (sub.Bytes[2] << 8);
            }
            if (b.Function == COMMENT_EXT_FUNC_CODE) {
                std::string text(reinterpret_cast<const char*>(b.Bytes),
                                 static_cast<std::size_t>(b.ByteCount));
                while (e + 1 < image.ExtensionBlockCount &&
                       image.ExtensionBlocks[e + 1].Function == CONTINUE_EXT_FUNC_CODE) {
                    ++e;
                    text.append(reinterpret_cast<const char*>(image.ExtensionBlocks[e].Bytes),
                                static_cast<std::size_t>(image.ExtensionBlocks[e].ByteCount));
                }
                f.Comments.push_back(text);
            }
        }
        result.Frames.push_back(std::move(f));
    }
    DGifCloseFile(gif, &error);
    return result;
}

std::vector<std::vector<std::uint8_t>> GiflibComposite(const GiflibDecoded& gif) {
    const auto at = [&](int x, int y) {
        return 3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(gif.Width) +
                    static_cast<std::size_t>(x));
    };
    std::vector<std::uint8_t> screen(at(0, gif.Height), 0);
    std::vector<std::vector<std::uint8_t>> shown;
    for (const GiflibFrame& f : gif.Frames) {
        const std::vector<std::uint8_t> before = screen;
        for (int y = 0; y < f.Height; ++y)
            for (int x = 0; x < f.Width; ++x) {
                const int index = f.Indexes[static_cast<std::size_t>(y * f.Width + x)];
                if (index == f.TransparentIndex || f.Left + x >= gif.Width ||
                    f.Top + y >= gif.Height)
                    continue;
                const auto& c = f.Palette.at(static_cast<std::size_t>(index));
                std::copy(c.begin(), c.end(),
                          screen.begin() + static_cast<std::ptrdiff_t>(at(f.Left + x, f.Top + y)));
            }
        shown.push_back(screen);
        if (f.Disposal == 2) {
            for (int y = f.Top; y < std::min(f.Top + f.Height, gif.Height); ++y)
                for (int x = f.Left; x < std::min(f.Left + f.Width, gif.Width); ++x)
                    for (std::size_t k = 0; k < 3; ++k)
                        screen[at(x, y) + k] = 0;
        } else if (f.Disposal == 3) {
            screen = before;
        }
    }
    return shown;
}

} // namespace framolo::test
