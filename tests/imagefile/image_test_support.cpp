#include "image_test_support.h"

#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <random>
#include <unordered_map>

namespace fernwise::test {

PaletteEntries distinctEntries() {
    PaletteEntries entries{};
    for (int i = 0; i < paletteSize; ++i) {
        entries[static_cast<std::size_t>(i)] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i * 37 + 11),
                                                static_cast<std::uint8_t>(i * 91 + 5), reservedFlag};
    }
    return entries;
}

std::vector<std::uint8_t> expectedIndices(const VirtualScreen& screen, const PaletteEntries& entries) {
    std::vector<std::uint8_t> indices;
    indices.reserve(static_cast<std::size_t>(screen.width()) * screen.height());
    for (int y = 0; y < screen.height(); ++y) {
        for (int x = 0; x < screen.width(); ++x) {
            const Rgb color = screen.pixel(x, y);
            std::uint8_t index = 236;
            for (int i = 0; i < 236; ++i) {
                if (entries[static_cast<std::size_t>(i)].rgb() == color) {
                    index = static_cast<std::uint8_t>(i);
                    break;
                }
            }
            indices.push_back(index);
        }
    }
    return indices;
}

std::unique_ptr<VirtualScreen> paintScreen(int width, int height, PixelFormat format, const PaletteEntries& entries,
                                           const Pattern& pattern) {
    auto screen = VirtualScreen::create(width, height, format);
    if (format == PixelFormat::Indexed8) {
        LogicalPalette logical;
        logical.entries.assign(entries.begin(), entries.end());
        screen->realize(logical);
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t index = pattern(x, y);
            if (format == PixelFormat::Indexed8) {
                screen->setIndex(x, y, index);
            } else {
                screen->setRgb(x, y, entries[index].rgb());
            }
        }
    }
    return screen;
}

namespace {

std::uint32_t mix(std::uint32_t v) {
    v ^= v >> 16;
    v *= 0x7feb352du;
    v ^= v >> 15;
    v *= 0x846ca68bu;
    v ^= v >> 16;
    return v;
}

}  // namespace

Pattern ringsPattern(int width, int height) {
    return [cx = width / 3, cy = height / 2](int x, int y) {
        const std::uint32_t noise =
            mix(static_cast<std::uint32_t>(x) * 7919u + static_cast<std::uint32_t>(y) * 104729u);
        if (noise % 17 == 0) return static_cast<std::uint8_t>(noise >> 8);  // now and then any index, 236..255 too
        const double r = std::sqrt(double(x - cx) * (x - cx) + double(y - cy) * (y - cy));
        return static_cast<std::uint8_t>(1 + static_cast<int>(r / 3.0) % 235);
    };
}

Pattern solidPattern(std::uint8_t index) {
    return [index](int, int) { return index; };
}

Pattern noisePattern(int width, int colors, std::uint32_t seed) {
    return [width, colors, seed](int x, int y) {
        const std::uint32_t position =
            static_cast<std::uint32_t>(y) * static_cast<std::uint32_t>(width) + static_cast<std::uint32_t>(x);
        return static_cast<std::uint8_t>(mix(position ^ mix(seed)) % static_cast<std::uint32_t>(colors));
    };
}

std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

ReferenceStream referenceCodes(const std::vector<std::uint8_t>& pixels) {
    ReferenceStream stream;
    int width = 9;
    std::unordered_map<std::uint32_t, int> table;  // (prefix code << 8 | pixel) -> code
    int assigned = 0;
    int storeFill = 1;
    int current = -1;  // code of the current string, -1 when there is none
    int length = 0;
    auto emit = [&](int code) { stream.codes.push_back({static_cast<std::uint16_t>(code), width}); };
    auto clear = [&]() {
        emit(256);
        table.clear();
        assigned = 0;
        storeFill = 1;
        width = 9;
        current = -1;
        length = 0;
    };

    clear();
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const int p = pixels[i];
        if (current < 0) {
            current = p;
            length = 1;
            continue;
        }
        const std::uint32_t key = static_cast<std::uint32_t>(current) << 8 | static_cast<std::uint32_t>(p);
        const auto known = table.find(key);
        if (known != table.end() && length + 1 <= 96) {
            current = known->second;
            ++length;
            continue;
        }
        emit(current);
        ++assigned;
        if (known == table.end()) {
            table[key] = assigned + 257;
            storeFill += length + 1 + 3;
        }
        current = p;
        length = 1;
        if ((1 << width) == assigned + 257) ++width;
        if (assigned + 257 > 4093 || storeFill > 23895) {
            stream.resets.push_back({i + 1, assigned});
            emit(p);
            // The decoder counts the single pixel's code as an entry too, and
            // reads the clear code at the width that gives.
            if ((1 << width) == assigned + 258) ++width;
            clear();
        }
    }
    if (current >= 0) emit(current);
    emit(257);
    return stream;
}

std::vector<std::uint8_t> referenceGif(int width, int height, const PaletteEntries& entries,
                                       const std::vector<CodeWord>& codes) {
    auto word = [](std::vector<std::uint8_t>& out, int v) {
        out.push_back(static_cast<std::uint8_t>(v & 0xff));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    std::vector<std::uint8_t> out = {'G', 'I', 'F', '8', '7', 'a'};
    word(out, width);
    word(out, height);
    out.insert(out.end(), {0xf7, 0, 0});
    for (const PaletteEntry& e : entries) out.insert(out.end(), {e.red, e.green, e.blue});
    out.push_back(0x2c);
    word(out, 0);
    word(out, 0);
    word(out, width);
    word(out, height);
    out.insert(out.end(), {0x00, 0x08});

    // All codes as one bit string; a sub-block is cut as soon as 251 or more
    // whole bytes are waiting, and the end code flushes the rest.
    std::vector<std::uint8_t> bits;
    std::size_t bitCount = 0;
    std::size_t blockStart = 0;
    auto cut = [&](std::size_t end) {
        out.push_back(static_cast<std::uint8_t>(end - blockStart));
        out.insert(out.end(), bits.begin() + static_cast<std::ptrdiff_t>(blockStart),
                   bits.begin() + static_cast<std::ptrdiff_t>(end));
        blockStart = end;
    };
    for (const CodeWord& c : codes) {
        for (int b = 0; b < c.width; ++b, ++bitCount) {
            if (bitCount % 8 == 0) bits.push_back(0);
            if ((c.code >> b) & 1) bits.back() |= static_cast<std::uint8_t>(1 << (bitCount % 8));
        }
        if (c.code == 257) {
            cut(bits.size());
        } else if (bitCount / 8 - blockStart >= 251) {
            cut(bitCount / 8);
        }
    }
    out.push_back(0x00);
    out.push_back(0x3b);
    return out;
}

DecodedGif decodeWithGiflib(const std::filesystem::path& path) {
    DecodedGif decoded;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.string().c_str(), &error);
    if (gif == nullptr) {
        decoded.error = GifErrorString(error);
        return decoded;
    }
    if (DGifSlurp(gif) != GIF_OK) {
        decoded.error = GifErrorString(gif->Error);
        DGifCloseFile(gif, &error);
        return decoded;
    }
    decoded.width = gif->SWidth;
    decoded.height = gif->SHeight;
    decoded.imageCount = gif->ImageCount;
    if (gif->SColorMap != nullptr) {
        for (int i = 0; i < gif->SColorMap->ColorCount; ++i) {
            const GifColorType& c = gif->SColorMap->Colors[i];
            decoded.colorMap.push_back({c.Red, c.Green, c.Blue});
        }
    }
    if (gif->ImageCount > 0) {
        const SavedImage& image = gif->SavedImages[0];
        const std::size_t size =
            static_cast<std::size_t>(image.ImageDesc.Width) * static_cast<std::size_t>(image.ImageDesc.Height);
        decoded.raster.assign(image.RasterBits, image.RasterBits + size);
    }
    decoded.ok = DGifCloseFile(gif, &error) == GIF_OK;
    return decoded;
}

std::vector<RecordingProgress::Event> RecordingProgress::ofKind(Kind kind) const {
    std::vector<Event> found;
    std::copy_if(events.begin(), events.end(), std::back_inserter(found),
                 [kind](const Event& e) { return e.kind == kind; });
    return found;
}

ScratchFolder::ScratchFolder() {
    std::random_device seed;
    path_ = std::filesystem::temp_directory_path() / ("fernwise-imagefile-" + std::to_string(seed()));
    std::filesystem::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> ScratchFolder::fileNames() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace fernwise::test
