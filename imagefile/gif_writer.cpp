#include "gif_writer.h"

#include <array>
#include <cstdint>

#include "gif_block_packer.h"
#include "lzw_encoder.h"
#include "palette_index_lookup.h"
#include "save_file.h"

namespace fernwise {
namespace {

using Packer = GifBlockPacker<SaveFile>;
using Encoder = LzwEncoder<Packer>;

void putWord(std::uint8_t* at, int value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

bool writeHeader(SaveFile& file, int width, int height) {
    std::array<std::uint8_t, 13> header{'G', 'I', 'F', '8', '7', 'a'};
    putWord(&header[6], width);
    putWord(&header[8], height);
    header[10] = 0xf7;  // global colour table of 256 entries, 8-bit resolution
    header[11] = 0;     // background colour
    header[12] = 0;     // no aspect ratio
    return file.write(header.data(), header.size());
}

bool writeColorTable(SaveFile& file, const PaletteEntries& entries) {
    std::array<std::uint8_t, 3 * paletteSize> table{};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        table[3 * i] = entries[i].red;
        table[3 * i + 1] = entries[i].green;
        table[3 * i + 2] = entries[i].blue;
    }
    return file.write(table.data(), table.size());
}

bool writeImageDescriptor(SaveFile& file, int width, int height) {
    std::array<std::uint8_t, 11> descriptor{','};
    putWord(&descriptor[5], width);
    putWord(&descriptor[7], height);
    descriptor[9] = 0;   // no local colour table, not interlaced
    descriptor[10] = 8;  // LZW minimum code size
    return file.write(descriptor.data(), descriptor.size());
}

// Feeds every pixel, rows from the top, to the encoder and draws the sampled
// ones into the thumbnail. `indexerForRow(y)` gives a function from x to the
// palette index of pixel (x, y).
template <class RowIndexer>
void encodePixels(const VirtualScreen& screen, RowIndexer&& indexerForRow, Encoder& encoder,
                  const ThumbnailSampler& sampler, const PaletteEntries& entries, bool paletteDevice,
                  SaveProgress& progress) {
    const int width = screen.width();
    const int step = sampler.step();
    for (int y = 0; y < screen.height(); ++y) {
        auto indexOf = indexerForRow(y);
        if (!sampler.samplesRow(y)) {
            for (int x = 0; x < width; ++x) encoder.add(indexOf(x));
            continue;
        }
        const int thumbnailY = sampler.thumbnailY(y);
        for (int x = 0; x < width; ++x) {
            const std::uint8_t p = indexOf(x);
            if (x % step == 0) {
                if (paletteDevice) {
                    progress.drawIndexPixel(sampler.thumbnailX(x), thumbnailY, p);
                } else {
                    progress.drawRgbPixel(sampler.thumbnailX(x), thumbnailY, entries[p].rgb());
                }
            }
            encoder.add(p);
        }
    }
}

void encodeScreen(const VirtualScreen& screen, const PaletteEntries& entries, Encoder& encoder,
                  const ThumbnailSampler& sampler, bool paletteDevice, SaveProgress& progress) {
    const PaletteIndexLookup lookup(entries);
    if (screen.format() == PixelFormat::Indexed8) {
        // An index pixel shows the colour its entry has now, so each of the
        // 256 stored values needs one lookup per save.
        std::array<std::uint8_t, paletteSize> indexOfStored{};
        for (std::size_t i = 0; i < indexOfStored.size(); ++i) indexOfStored[i] = lookup.indexOf(screen.shownColors()[i]);
        auto indexer = [&](int y) {
            const std::uint8_t* row = screen.indexRow(y);
            return [row, &indexOfStored](int x) { return indexOfStored[row[x]]; };
        };
        encodePixels(screen, indexer, encoder, sampler, entries, paletteDevice, progress);
        return;
    }
    // Fractal images hold long runs of one colour: remember the last answer.
    std::uint32_t lastColour = 0;
    std::uint8_t lastIndex = lookup.indexOfPacked(0);
    auto indexer = [&](int y) {
        const std::uint32_t* row = screen.rgbRow(y);
        return [row, &lookup, &lastColour, &lastIndex](int x) {
            const std::uint32_t colour = row[x] & 0xffffffu;
            if (colour != lastColour) {
                lastColour = colour;
                lastIndex = lookup.indexOfPacked(colour);
            }
            return lastIndex;
        };
    };
    encodePixels(screen, indexer, encoder, sampler, entries, paletteDevice, progress);
}

}  // namespace

SaveStatus writeGif(const SaveRequest& request, const VirtualScreen& screen, const PaletteEntries& entries,
                    SaveProgress& progress) {
    const int width = screen.width();
    const int height = screen.height();
    // The format holds 16-bit sizes; a larger image would make a wrong file.
    if (width > 0xffff || height > 0xffff) return SaveStatus::WriteFailed;

    SaveFile file;
    if (!file.open(request.path)) return SaveStatus::OpenFailed;
    if (!writeHeader(file, width, height) || !writeColorTable(file, entries)) {
        file.abandon();
        return SaveStatus::WriteFailed;
    }

    Encoder encoder;
    if (encoder.allocate(request.allocationGate) != Encoder::Allocation::Done) {
        file.abandon();
        return SaveStatus::NoMemory;
    }

    SaveStatus status = SaveStatus::Saved;
    bool displayShown = false;
    if (!writeImageDescriptor(file, width, height)) {
        status = SaveStatus::WriteFailed;
    } else {
        Packer packer(file);
        packer.reset();
        encoder.start(packer);

        const PreviewLayout& layout = previewLayoutFor(request.sizeIndex);
        beginProgressDisplay(progress, request.fileName, layout);
        displayShown = true;
        encodeScreen(screen, entries, encoder, ThumbnailSampler(layout), request.paletteDevice, progress);
        encoder.finish();

        const std::uint8_t blockTerminator = 0;
        if (!file.write(&blockTerminator, 1)) status = SaveStatus::WriteFailed;
    }

    encoder.release();
    const std::uint8_t trailer = ';';
    file.write(&trailer, 1);
    // Every failed write, of a sub-block or the trailer too, fails the save.
    if (status == SaveStatus::Saved && !file.commit()) status = SaveStatus::WriteFailed;
    if (status != SaveStatus::Saved) file.abandon();
    if (displayShown) endProgressDisplay(progress);
    return status;
}

}  // namespace fernwise
