// A random image and palettes through the GIF writer, and the file decoded
// again with giflib: it must hold the palette as its colour table and, for
// every pixel, the index of the pixel's shown colour (the first of entries
// 0..235 with that colour, else 236), computed here the plain way.
//
// Input: four bytes of shape and modes, then bytes that feed the palettes
// and the pixels (cyclically, or as the seed of generated noise).
#include <gif_lib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gif_writer.h"

namespace {

using namespace fernwise;

std::filesystem::path folder;

void removeFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

// Cycles through the input's tail; all zeros when there is none.
class ByteSource {
public:
    ByteSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t next() { return size_ == 0 ? 0 : data_[at_++ % size_]; }
    std::uint32_t seed() const {
        std::uint32_t s = 2166136261u;
        for (std::size_t i = 0; i < size_; ++i) s = (s ^ data_[i]) * 16777619u;
        return s;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// Palettes: from the bytes, from a few values (many duplicate entries, so
// the first match must win), all distinct, or one colour throughout.
PaletteEntries makeEntries(int mode, ByteSource& bytes, std::minstd_rand& random) {
    PaletteEntries entries{};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        PaletteEntry& e = entries[i];
        switch (mode) {
            case 0: e = {bytes.next(), bytes.next(), bytes.next(), reservedFlag}; break;
            case 1:
                e = {static_cast<std::uint8_t>(random() % 3 * 100), static_cast<std::uint8_t>(random() % 2 * 255),
                     static_cast<std::uint8_t>(random() % 2), reservedFlag};
                break;
            case 2: e = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 7, reservedFlag}; break;
            default: e = {9, 9, 9, reservedFlag}; break;
        }
    }
    return entries;
}

std::vector<std::uint8_t> decodedRaster(const std::filesystem::path& path, int width, int height,
                                        const PaletteEntries& entries) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (gif == nullptr) __builtin_trap();
    if (DGifSlurp(gif) != GIF_OK || gif->SWidth != width || gif->SHeight != height || gif->ImageCount != 1 ||
        gif->SColorMap == nullptr || gif->SColorMap->ColorCount != paletteSize)
        __builtin_trap();
    for (int i = 0; i < paletteSize; ++i) {
        const GifColorType& c = gif->SColorMap->Colors[i];
        const PaletteEntry& e = entries[static_cast<std::size_t>(i)];
        if (c.Red != e.red || c.Green != e.green || c.Blue != e.blue) __builtin_trap();
    }
    const SavedImage& image = gif->SavedImages[0];
    if (image.ImageDesc.Width != width || image.ImageDesc.Height != height || image.ImageDesc.Interlace)
        __builtin_trap();
    std::vector<std::uint8_t> raster(
        image.RasterBits, image.RasterBits + static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    DGifCloseFile(gif, &error);
    return raster;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A memory-backed folder where there is one: every input writes a file.
    std::string pattern =
        (std::filesystem::is_directory("/dev/shm") ? std::string("/dev/shm")
                                                   : std::filesystem::temp_directory_path().string()) +
        "/fernwise-gif-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    folder = pattern;
    std::atexit(removeFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const int width = 1 + (data[0] | (data[1] & 1) << 8);  // 1..512
    const int height = 1 + (data[1] >> 1);                 // 1..128
    const std::uint8_t modes = data[2];
    const PixelFormat format = (modes & 1) != 0 ? PixelFormat::Rgb32 : PixelFormat::Indexed8;
    const int paletteMode = modes >> 1 & 3;
    const int pixelMode = modes >> 3 & 3;
    const bool paletteDevice = (modes & 0x20) != 0;
    const bool cycled = (modes & 0x40) != 0;
    const bool rawTopByte = (modes & 0x80) != 0;
    const int colors = 1 + data[3];  // of the noise

    ByteSource bytes(data + 4, size - 4);
    std::minstd_rand random(bytes.seed());

    // The entries the file's colour table comes from, and the colours an
    // index screen shows: the same, or the entries as a cycled palette
    // has moved them on.
    const PaletteEntries entries = makeEntries(paletteMode, bytes, random);
    LogicalPalette logical;
    logical.entryCount = static_cast<std::uint16_t>(format == PixelFormat::Indexed8 ? 236 : 256);
    for (int i = 0; i < logical.entryCount; ++i) logical.entries.push_back(entries[static_cast<std::size_t>(i)]);
    PaletteEntries shownEntries = entries;
    if (cycled) rotatePaletteEntries(shownEntries);

    auto screen = VirtualScreen::create(width, height, format);
    if (!screen) __builtin_trap();
    screen->realize(logical);
    if (cycled) screen->animate(firstAnimatedEntry, animatedEntryCount, &shownEntries[firstAnimatedEntry]);

    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint32_t value = 0;
            switch (pixelMode) {
                case 0: value = bytes.next() | bytes.next() << 8 | bytes.next() << 16 | bytes.next() << 24; break;
                case 1: value = static_cast<std::uint32_t>(random() % static_cast<unsigned>(colors)); break;
                case 2: value = static_cast<std::uint32_t>((x / (1 + colors % 17) + y) % colors); break;
                default: value = data[3]; break;
            }
            if (format == PixelFormat::Indexed8) {
                screen->setIndex(x, y, static_cast<std::uint8_t>(value));
            } else if (pixelMode == 0) {
                // Any colour, the unused top byte included.
                screen->rgbRow(y)[x] = rawTopByte ? value : (value | 0xff000000u);
            } else {
                screen->setRgb(x, y, entries[value % paletteSize].rgb());
            }
        }
    }

    std::vector<std::uint8_t> expected;
    expected.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb shown = screen->pixel(x, y);
            std::uint8_t index = 236;
            for (int i = 0; i < 236; ++i) {
                if (entries[static_cast<std::size_t>(i)].rgb() == shown) {
                    index = static_cast<std::uint8_t>(i);
                    break;
                }
            }
            expected.push_back(index);
        }
    }

    const std::filesystem::path path = folder / "image.gif";
    SaveRequest request;
    request.path = path;
    request.fileName = "image.gif";
    request.sizeIndex = data[3] % 10;
    request.paletteDevice = paletteDevice;
    NullSaveProgress progress;
    if (writeGif(request, *screen, entries, progress) != SaveStatus::Saved) __builtin_trap();
    if (decodedRaster(path, width, height, entries) != expected) __builtin_trap();
    return 0;
}
