#include "png_file.h"

#include <spng.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace fernwise {
namespace {

int writeToSaveFile(spng_ctx*, void* user, void* data, std::size_t length) {
    return static_cast<SaveFile*>(user)->write(data, length) ? 0 : SPNG_IO_ERROR;
}

// These images are mostly runs of one index; no filtering and a fast level
// compress them about as well as the slow settings, at a fraction of the time.
constexpr int compressionLevel = 6;
constexpr int compressionStrategy = 3;  // Z_RLE

}  // namespace

PngWriter::PngWriter() = default;
PngWriter::~PngWriter() {
    if (ctx_ != nullptr) spng_ctx_free(ctx_);
}

bool PngWriter::fail(int code) {
    if (error_.empty()) error_ = spng_strerror(code);
    return false;
}

bool PngWriter::begin(SaveFile& file, std::uint32_t width, std::uint32_t height,
                      const std::array<Rgb, paletteSize>* palette, const std::string& parameters,
                      const std::string& band) {
    ctx_ = spng_ctx_new(SPNG_CTX_ENCODER);
    if (ctx_ == nullptr) throw std::bad_alloc();
    parameters_ = parameters;
    band_ = band;
    int r = spng_set_png_stream(ctx_, writeToSaveFile, &file);
    if (r != 0) return fail(r);
    spng_ihdr ihdr{};
    ihdr.width = width;
    ihdr.height = height;
    ihdr.bit_depth = 8;
    ihdr.color_type = palette != nullptr ? SPNG_COLOR_TYPE_INDEXED : SPNG_COLOR_TYPE_TRUECOLOR;
    if ((r = spng_set_ihdr(ctx_, &ihdr)) != 0) return fail(r);
    rowBytes_ = palette != nullptr ? width : 3 * static_cast<std::size_t>(width);
    if (palette != nullptr) {
        spng_plte plte{};
        plte.n_entries = paletteSize;
        for (int i = 0; i < paletteSize; ++i) {
            const Rgb c = (*palette)[static_cast<std::size_t>(i)];
            plte.entries[i] = {c.red, c.green, c.blue, 255};
        }
        if ((r = spng_set_plte(ctx_, &plte)) != 0) return fail(r);
    }
    spng_text texts[2]{};
    char empty[1] = "";
    auto fill = [&](spng_text& t, const char* keyword, std::string& text) {
        std::strncpy(t.keyword, keyword, sizeof t.keyword - 1);
        t.type = SPNG_ITXT;
        t.length = text.size();
        t.text = text.data();
        t.language_tag = empty;
        t.translated_keyword = empty;
    };
    fill(texts[0], parametersKeyword, parameters_);
    std::uint32_t count = 1;
    if (!band_.empty()) fill(texts[count++], bandKeyword, band_);
    if ((r = spng_set_text(ctx_, texts, count)) != 0) return fail(r);
    spng_set_option(ctx_, SPNG_FILTER_CHOICE, palette != nullptr ? SPNG_DISABLE_FILTERING : SPNG_FILTER_CHOICE_ALL);
    spng_set_option(ctx_, SPNG_IMG_COMPRESSION_LEVEL, compressionLevel);
    spng_set_option(ctx_, SPNG_IMG_COMPRESSION_STRATEGY, compressionStrategy);
    r = spng_encode_image(ctx_, nullptr, 0, SPNG_FMT_PNG, SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE);
    return r == 0 || fail(r);
}

bool PngWriter::writeRow(const std::uint8_t* row) {
    const int r = spng_encode_row(ctx_, row, rowBytes_);
    if (r == SPNG_EOI) return true;  // the last row: the file is finished
    if (r == SPNG_EMEM) throw std::bad_alloc();
    return r == 0 || fail(r);
}

PngReader::PngReader() = default;
PngReader::~PngReader() {
    if (ctx_ != nullptr) spng_ctx_free(ctx_);
    if (file_ != nullptr) std::fclose(file_);
}

bool PngReader::open(const std::string& path, std::string& reason) {
    // Never blocks on a FIFO, and reads only a regular file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        reason = "not a regular file";
        ::close(fd);
        return false;
    }
    file_ = fdopen(fd, "rb");
    if (file_ == nullptr) {
        reason = std::strerror(errno);
        ::close(fd);
        return false;
    }
    ctx_ = spng_ctx_new(0);
    if (ctx_ == nullptr) throw std::bad_alloc();
    spng_set_png_file(ctx_, file_);
    spng_ihdr ihdr{};
    int r = spng_get_ihdr(ctx_, &ihdr);
    if (r != 0) {
        reason = std::string("not a PNG image (") + spng_strerror(r) + ")";
        return false;
    }
    width_ = ihdr.width;
    height_ = ihdr.height;
    if (ihdr.bit_depth != 8 ||
        (ihdr.color_type != SPNG_COLOR_TYPE_INDEXED && ihdr.color_type != SPNG_COLOR_TYPE_TRUECOLOR) ||
        ihdr.interlace_method != 0) {
        reason = "not a PNG written by fernrender";
        return false;
    }
    indexed_ = ihdr.color_type == SPNG_COLOR_TYPE_INDEXED;
    if (indexed_) {
        spng_plte plte{};
        if ((r = spng_get_plte(ctx_, &plte)) != 0) {
            reason = std::string("damaged PNG image (") + spng_strerror(r) + ")";
            return false;
        }
        for (std::uint32_t i = 0; i < plte.n_entries; ++i) {
            palette_.push_back({plte.entries[i].red, plte.entries[i].green, plte.entries[i].blue});
        }
    }
    std::uint32_t count = 0;
    if (spng_get_text(ctx_, nullptr, &count) == 0 && count > 0) {
        std::vector<spng_text> texts(count);
        if (spng_get_text(ctx_, texts.data(), &count) == 0) {
            for (const spng_text& t : texts) texts_.emplace_back(t.keyword, std::string(t.text, t.length));
        }
    }
    return true;
}

std::string PngReader::text(const char* keyword) const {
    for (const auto& [key, value] : texts_) {
        if (key == keyword) return value;
    }
    return {};
}

bool PngReader::beginRows(std::string& reason) {
    const int r = spng_decode_image(ctx_, nullptr, 0, SPNG_FMT_PNG, SPNG_DECODE_PROGRESSIVE);
    if (r != 0) {
        reason = std::string("damaged PNG image (") + spng_strerror(r) + ")";
        return false;
    }
    return true;
}

bool PngReader::readRow(std::uint8_t* row, std::string& reason) {
    const int r = spng_decode_row(ctx_, row, rowBytes());
    if (r == 0 || r == SPNG_EOI) return true;
    if (r == SPNG_EMEM) throw std::bad_alloc();
    reason = r == SPNG_IO_ERROR && std::ferror(file_) ? std::strerror(errno)
                                                      : std::string("damaged PNG image (") + spng_strerror(r) + ")";
    return false;
}

}  // namespace fernwise
