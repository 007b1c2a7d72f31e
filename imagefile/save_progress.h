#pragma once

#include <cstdint>
#include <string>

#include "palette.h"
#include "preview_layout.h"

namespace fernwise {

enum class FrameShade { Shadow, Highlight };

struct Point {
    int x = 0;
    int y = 0;

    bool operator==(const Point&) const = default;
};

// What an image writer shows while it saves: the busy state of the program
// and, in the save popup, a status line and a sampled thumbnail inside a
// sunken frame. The desktop program draws this with its toolkit; the batch
// renderer shows nothing. All coordinates are the popup's client
// coordinates.
class SaveProgress {
public:
    virtual ~SaveProgress() = default;

    // The wait cursor (the previous one remembered) and the main window
    // disabled; endBusy restores both.
    virtual void beginBusy() = 0;
    virtual void endBusy() = 0;

    // Takes the popup's drawing surface with the program's palette realised
    // in it; endDrawing releases it, so an implementation may show what was
    // drawn then (or whenever it likes in between).
    virtual void beginDrawing() = 0;
    virtual void endDrawing() = 0;

    // The width in pixels that drawText would give `text`.
    virtual int textWidth(const std::string& text) = 0;
    // `x`, `y` is the top-left corner of the text.
    virtual void drawText(int x, int y, const std::string& text) = 0;
    // A solid one-pixel line in the button shadow or highlight colour; the
    // end point is not drawn.
    virtual void drawLine(Point from, Point to, FrameShade shade) = 0;
    // One thumbnail pixel, by palette index on a palette-based display and
    // by colour otherwise.
    virtual void drawIndexPixel(int x, int y, std::uint8_t paletteIndex) = 0;
    virtual void drawRgbPixel(int x, int y, Rgb color) = 0;
};

// For saves nobody watches.
class NullSaveProgress final : public SaveProgress {
public:
    void beginBusy() override {}
    void endBusy() override {}
    void beginDrawing() override {}
    void endDrawing() override {}
    int textWidth(const std::string&) override { return 0; }
    void drawText(int, int, const std::string&) override {}
    void drawLine(Point, Point, FrameShade) override {}
    void drawIndexPixel(int, int, std::uint8_t) override {}
    void drawRgbPixel(int, int, Rgb) override {}
};

// The width of the save popup's client area; the status line is centred in it.
inline constexpr int savePopupWidth = 300;

// Shows the busy state, takes the drawing surface and draws the status line
// "Saving image as <fileName>" and the sunken thumbnail frame of `layout`.
void beginProgressDisplay(SaveProgress& progress, const std::string& fileName, const PreviewLayout& layout);
// Releases the drawing surface and ends the busy state.
void endProgressDisplay(SaveProgress& progress);

// Where the sampled pixels of an image land in the thumbnail: pixel (x, y)
// with both multiples of the step is drawn at
// (left + 1 + x / step, 66 + y / step). The rows count from 65 whatever the
// frame's top is (it is 65 in every layout).
class ThumbnailSampler {
public:
    explicit ThumbnailSampler(const PreviewLayout& layout) : layout_(layout) {}

    int step() const { return layout_.step; }
    bool samplesRow(int y) const { return y % layout_.step == 0; }
    int thumbnailX(int x) const { return layout_.left + 1 + x / layout_.step; }
    int thumbnailY(int y) const { return 65 + 1 + y / layout_.step; }

private:
    PreviewLayout layout_;
};

}  // namespace fernwise
