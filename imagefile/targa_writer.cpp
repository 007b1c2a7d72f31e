#include "targa_writer.h"

#include <array>
#include <cstdint>
#include <memory>
#include <new>

#include "save_file.h"

namespace fernwise {
namespace {

std::array<std::uint8_t, 18> targaHeader(int width, int height) {
    std::array<std::uint8_t, 18> header{};
    header[2] = 2;  // uncompressed true colour, no colour map
    header[12] = static_cast<std::uint8_t>(width);
    header[13] = static_cast<std::uint8_t>(width >> 8);
    header[14] = static_cast<std::uint8_t>(height);
    header[15] = static_cast<std::uint8_t>(height >> 8);
    header[16] = 24;    // bits per pixel
    header[17] = 0x20;  // first row is the top row
    return header;
}

// No extension area and no developer directory, then the signature that
// marks a version 2 file.
constexpr std::array<std::uint8_t, 26> targaFooter = {
    0, 0, 0, 0, 0, 0, 0, 0, 'T', 'R', 'U', 'E', 'V', 'I', 'S', 'I', 'O', 'N', '-', 'X', 'F', 'I', 'L', 'E', '.', 0,
};

}  // namespace

SaveStatus writeTarga(const SaveRequest& request, const VirtualScreen& screen, SaveProgress& progress) {
    const int width = screen.width();
    const int height = screen.height();
    // The format holds 16-bit sizes; a larger image would make a wrong file.
    if (width > 0xffff || height > 0xffff) return SaveStatus::WriteFailed;

    SaveFile file;
    if (!file.open(request.path, request.stop)) return SaveStatus::OpenFailed;

    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    std::unique_ptr<std::uint8_t[]> row;
    if (request.allocationGate == nullptr || request.allocationGate->allow(rowBytes)) {
        row.reset(new (std::nothrow) std::uint8_t[rowBytes]());
    }
    if (!row) {
        file.abandon();
        return SaveStatus::NoMemory;
    }

    const auto header = targaHeader(width, height);
    if (!file.write(header.data(), header.size())) {
        file.abandon();
        return SaveStatus::WriteFailed;
    }

    const PreviewLayout& layout = previewLayoutFor(request.sizeIndex);
    const ThumbnailSampler sampler(layout);
    beginProgressDisplay(progress, request.fileName, layout);
    for (int y = 0; y < height; ++y) {
        const bool sampled = sampler.samplesRow(y);
        for (int x = 0; x < width; ++x) {
            const Rgb color = screen.pixel(x, y);
            std::uint8_t* out = row.get() + 3 * static_cast<std::size_t>(x);
            out[0] = color.blue;
            out[1] = color.green;
            out[2] = color.red;
            if (sampled && x % sampler.step() == 0)
                progress.drawRgbPixel(sampler.thumbnailX(x), sampler.thumbnailY(y), color);
        }
        if (!file.write(row.get(), rowBytes)) {
            row.reset();
            file.abandon();
            endProgressDisplay(progress);
            return SaveStatus::WriteFailed;
        }
    }
    row.reset();

    // A failed footer write, or a failure that shows only when the file is
    // flushed, fails the save too.
    file.write(targaFooter.data(), targaFooter.size());
    const SaveStatus status = file.commit() ? SaveStatus::Saved : SaveStatus::WriteFailed;
    endProgressDisplay(progress);
    return status;
}

}  // namespace fernwise
