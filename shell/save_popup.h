#pragma once

#include <functional>

#include <QImage>
#include <QWidget>

#include "save_progress.h"

class QPushButton;

namespace fernwise {

class BeepSeam;

// The save popup: a 300 x 240 frameless window beside the main window in
// which an image writer draws its status line and thumbnail, with an OK
// button (child id 0) that is enabled once the save succeeded. Enter or OK
// closes it; any other character key beeps.
class SavePopup : public QWidget, public SaveProgress {
    Q_OBJECT
public:
    static constexpr int popupWidth = 300;
    static constexpr int popupHeight = 240;

    // `shownColour` gives the colour a palette index shows on the display;
    // `busyWindow` is disabled while the writer runs.
    SavePopup(QWidget* owner, QWidget* busyWindow, BeepSeam* beeps, std::function<QRgb(std::uint8_t)> shownColor);
    ~SavePopup() override;

    QPushButton* okButton() const { return ok_; }
    // What has been drawn so far, in client coordinates.
    const QImage& canvas() const { return canvas_; }

    // SaveProgress.
    void beginBusy() override;
    void endBusy() override;
    void beginDrawing() override;
    void endDrawing() override;
    int textWidth(const std::string& text) override;
    void drawText(int x, int y, const std::string& text) override;
    void drawLine(Point from, Point to, FrameShade shade) override;
    void drawIndexPixel(int x, int y, std::uint8_t paletteIndex) override;
    void drawRgbPixel(int x, int y, Rgb color) override;

signals:
    // The popup was closed by its OK button, by Enter or by the program.
    void closedByUser();

public slots:
    // The close request of the program (after a failed save) and of the OK
    // button.
    void closePopup();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setCanvasPixel(int x, int y, QRgb color);

    QWidget* busyWindow_;
    BeepSeam* beeps_;
    std::function<QRgb(std::uint8_t)> shownColor_;
    QPushButton* ok_;
    QImage canvas_;
    bool busy_ = false;
    int lastShownRow_ = -1;
};

}  // namespace fernwise
