#pragma once

// Shared helpers of the image file tests: a palette and images to save, a
// recording progress display, an allocation gate that refuses on demand, an
// independent model of the GIF code stream, and giflib as the decoder.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "palette.h"
#include "save_progress.h"
#include "virtual_screen.h"

namespace fernwise::test {

// 256 distinct colours (red = index), so every index of 0..235 survives the
// trip through a colour.
PaletteEntries distinctEntries();

// The palette index of each pixel by the plain rule: the first of entries
// 0..235 with the pixel's colour, else 236. Row by row from the top.
std::vector<std::uint8_t> expectedIndices(const VirtualScreen& screen, const PaletteEntries& entries);

// A screen of the given form whose pixels show entries[pattern(x, y)].
using Pattern = std::function<std::uint8_t(int x, int y)>;
std::unique_ptr<VirtualScreen> paintScreen(int width, int height, PixelFormat format, const PaletteEntries& entries,
                                           const Pattern& pattern);

// Test images: rings with scattered noise (long runs and many strings, like
// a fractal), one colour, and noise over a given number of colours.
Pattern ringsPattern(int width, int height);
Pattern solidPattern(std::uint8_t index);
Pattern noisePattern(int width, int colors, std::uint32_t seed);

std::vector<std::uint8_t> readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// The GIF data as the encoding rules define it, computed with a dictionary
// keyed by (prefix code, pixel) rather than the writer's string store.
struct CodeWord {
    std::uint16_t code;
    int width;
    bool operator==(const CodeWord&) const = default;
};
struct ReferenceStream {
    std::vector<CodeWord> codes;
    // For each table reset: the number of pixels read when it happened and
    // the codes assigned since the clear before it.
    struct Reset {
        std::size_t pixelsRead;
        int codesAssigned;
    };
    std::vector<Reset> resets;
};
ReferenceStream referenceCodes(const std::vector<std::uint8_t>& pixels);
// The whole file: header, colour table, descriptor, sub-blocks, terminator
// and trailer.
std::vector<std::uint8_t> referenceGif(int width, int height, const PaletteEntries& entries,
                                       const std::vector<CodeWord>& codes);

// What giflib's decoder makes of a file.
struct DecodedGif {
    bool ok = false;
    std::string error;
    int width = 0;
    int height = 0;
    int imageCount = 0;
    std::vector<Rgb> colorMap;
    std::vector<std::uint8_t> raster;
};
DecodedGif decodeWithGiflib(const std::filesystem::path& path);

// Records what a writer would draw, in order.
class RecordingProgress : public SaveProgress {
public:
    enum class Kind { BeginBusy, EndBusy, BeginDrawing, EndDrawing, Text, Line, IndexPixel, RgbPixel };
    struct Event {
        Kind kind;
        Point at;
        Point to{};
        std::string text{};
        FrameShade shade = FrameShade::Shadow;
        std::uint8_t index = 0;
        Rgb color{};
    };

    // Every character is 7 pixels wide.
    int charWidth = 7;
    std::vector<Event> events;

    void beginBusy() override { events.push_back({Kind::BeginBusy, {}}); }
    void endBusy() override { events.push_back({Kind::EndBusy, {}}); }
    void beginDrawing() override { events.push_back({Kind::BeginDrawing, {}}); }
    void endDrawing() override { events.push_back({Kind::EndDrawing, {}}); }
    int textWidth(const std::string& text) override { return charWidth * static_cast<int>(text.size()); }
    void drawText(int x, int y, const std::string& text) override { events.push_back({Kind::Text, {x, y}, {}, text}); }
    void drawLine(Point from, Point to, FrameShade shade) override {
        events.push_back({Kind::Line, from, to, {}, shade});
    }
    void drawIndexPixel(int x, int y, std::uint8_t index) override {
        events.push_back({Kind::IndexPixel, {x, y}, {}, {}, FrameShade::Shadow, index});
    }
    void drawRgbPixel(int x, int y, Rgb color) override {
        events.push_back({Kind::RgbPixel, {x, y}, {}, {}, FrameShade::Shadow, 0, color});
    }

    std::vector<Event> ofKind(Kind kind) const;
};

// Refuses the allocation with the given number (1 for the first asked),
// allows the rest.
class RefusingGate : public AllocationGate {
public:
    explicit RefusingGate(int refused) : refused_(refused) {}
    bool allow(std::size_t) override { return ++asked_ != refused_; }
    int asked() const { return asked_; }

private:
    int refused_;
    int asked_ = 0;
};

// A fresh, empty folder removed at the end of the test.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // The names of the files in it, sorted.
    std::vector<std::string> fileNames() const;

private:
    std::filesystem::path path_;
};

}  // namespace fernwise::test
