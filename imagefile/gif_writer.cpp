#include "gif_writer.h"

#include <array>
#include <cstdint>
#include <memory>
#include <new>

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

// The palette index of every pixel of row y: one lookup per stored value for
// an index screen (an index pixel shows the colour its entry has now), and
// for a colour screen one lookup per change of colour along the row, since
// fractal images hold long runs of one colour.
class RowIndexer {
public:
    RowIndexer(const VirtualScreen& screen, const PaletteEntries& entries) : screen_(screen), lookup_(entries) {
        for (std::size_t i = 0; i < indexOfStored_.size(); ++i)
            indexOfStored_[i] = lookup_.indexOf(screen.shownColors()[i]);
    }

    void indicesOfRow(int y, std::uint8_t* out) const {
        const int width = screen_.width();
        if (screen_.format() == PixelFormat::Indexed8) {
            const std::uint8_t* row = screen_.indexRow(y);
            for (int x = 0; x < width; ++x) out[x] = indexOfStored_[row[x]];
            return;
        }
        // Whole pixels are compared, the unused top byte included: at worst
        // that costs a lookup that was not needed.
        const std::uint32_t* row = screen_.rgbRow(y);
        std::uint32_t pixel = row[0];
        std::uint8_t index = lookup_.indexOfPacked(pixel);
        for (int x = 0; x < width; ++x) {
            if (row[x] != pixel) {
                pixel = row[x];
                index = lookup_.indexOfPacked(pixel);
            }
            out[x] = index;
        }
    }

private:
    const VirtualScreen& screen_;
    PaletteIndexLookup lookup_;
    std::array<std::uint8_t, paletteSize> indexOfStored_{};
};

// Feeds every pixel, rows from the top, to the encoder and draws the sampled
// ones into the thumbnail.
void encodeScreen(const VirtualScreen& screen, const PaletteEntries& entries, std::uint8_t* rowIndices,
                  Encoder& encoder, const ThumbnailSampler& sampler, bool paletteDevice, SaveProgress& progress) {
    const RowIndexer indexer(screen, entries);
    const int width = screen.width();
    for (int y = 0; y < screen.height(); ++y) {
        indexer.indicesOfRow(y, rowIndices);
        if (sampler.samplesRow(y)) {
            const int thumbnailY = sampler.thumbnailY(y);
            for (int x = 0; x < width; x += sampler.step()) {
                const std::uint8_t p = rowIndices[x];
                if (paletteDevice) {
                    progress.drawIndexPixel(sampler.thumbnailX(x), thumbnailY, p);
                } else {
                    progress.drawRgbPixel(sampler.thumbnailX(x), thumbnailY, entries[p].rgb());
                }
            }
        }
        encoder.add(rowIndices, static_cast<std::size_t>(width));
    }
}

}  // namespace

SaveStatus writeGif(const SaveRequest& request, const VirtualScreen& screen, const PaletteEntries& entries,
                    SaveProgress& progress) {
    const int width = screen.width();
    const int height = screen.height();
    // The format holds 16-bit sizes; a larger image would make a wrong file.
    if (width > 0xffff || height > 0xffff) return SaveStatus::WriteFailed;

    SaveFile file;
    if (!file.open(request.path, request.stop)) return SaveStatus::OpenFailed;
    if (!writeHeader(file, width, height) || !writeColorTable(file, entries)) {
        file.abandon();
        return SaveStatus::WriteFailed;
    }

    // The work buffers: the coder's table and one row of palette indices.
    Encoder encoder;
    std::unique_ptr<std::uint8_t[]> rowIndices;
    if (encoder.allocate(request.allocationGate) &&
        (request.allocationGate == nullptr || request.allocationGate->allow(static_cast<std::size_t>(width)))) {
        rowIndices.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(width)]());
    }
    if (!rowIndices) {
        encoder.release();
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
        encodeScreen(screen, entries, rowIndices.get(), encoder, ThumbnailSampler(layout), request.paletteDevice,
                     progress);
        encoder.finish();

        const std::uint8_t blockTerminator = 0;
        if (!file.write(&blockTerminator, 1)) status = SaveStatus::WriteFailed;
    }

    encoder.release();
    rowIndices.reset();
    const std::uint8_t trailer = ';';
    file.write(&trailer, 1);
    // Every failed write, of a sub-block or the trailer too, fails the save.
    if (status == SaveStatus::Saved && !file.commit()) status = SaveStatus::WriteFailed;
    if (status != SaveStatus::Saved) file.abandon();
    if (displayShown) endProgressDisplay(progress);
    return status;
}

}  // namespace fernwise
