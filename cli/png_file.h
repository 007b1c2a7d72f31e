#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "palette.h"
#include "save_file.h"

struct spng_ctx;

namespace fernwise {

// The text chunks fernrender writes: every option that made the image, one
// "--opt=value" a line, and for a band its rows ("FIRST:COUNT").
inline constexpr const char* parametersKeyword = "fernwise-parameters";
inline constexpr const char* bandKeyword = "fernwise-band";

// Writes a PNG row by row into a SaveFile: 8-bit indexed colour with a
// 256-entry palette, or 8-bit RGB.
class PngWriter {
public:
    PngWriter();
    ~PngWriter();
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    // `palette` null: RGB rows of 3 * width bytes; else index rows of width bytes.
    bool begin(SaveFile& file, std::uint32_t width, std::uint32_t height, const std::array<Rgb, paletteSize>* palette,
               const std::string& parameters, const std::string& band);
    bool writeRow(const std::uint8_t* row);
    // The library's reason for a failure that was not the file's.
    std::string error() const { return error_; }

private:
    bool fail(int code);

    spng_ctx* ctx_ = nullptr;
    std::size_t rowBytes_ = 0;
    std::string parameters_;
    std::string band_;
    std::string error_;
};

// Reads a PNG this program wrote, row by row.
class PngReader {
public:
    PngReader();
    ~PngReader();
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    // False with `reason` set when the file cannot be opened or is no PNG.
    bool open(const std::string& path, std::string& reason);
    std::uint32_t width() const { return width_; }
    std::uint32_t height() const { return height_; }
    bool indexed() const { return indexed_; }
    const std::vector<Rgb>& palette() const { return palette_; }
    // The text of a chunk; empty when the file has none.
    std::string text(const char* keyword) const;
    // Starts reading the rows; then each readRow fills one row.
    bool beginRows(std::string& reason);
    bool readRow(std::uint8_t* row, std::string& reason);
    std::size_t rowBytes() const { return indexed_ ? width_ : 3 * static_cast<std::size_t>(width_); }

private:
    spng_ctx* ctx_ = nullptr;
    std::FILE* file_ = nullptr;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    bool indexed_ = false;
    std::vector<Rgb> palette_;
    std::vector<std::pair<std::string, std::string>> texts_;
};

}  // namespace fernwise
