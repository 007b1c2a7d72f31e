#include "save_popup.h"

#include <cstdlib>

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>

#include "seams.h"

namespace fernwise {

SavePopup::SavePopup(QWidget* owner, QWidget* busyWindow, BeepSeam* beeps, std::function<QRgb(std::uint8_t)> shownColor)
    : QWidget(owner, Qt::Window | Qt::FramelessWindowHint),
      busyWindow_(busyWindow),
      beeps_(beeps),
      shownColor_(std::move(shownColor)),
      canvas_(popupWidth, popupHeight, QImage::Format_RGB32) {
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(popupWidth, popupHeight);
    // The popup window class has a white background.
    canvas_.fill(Qt::white);
    ok_ = new QPushButton("OK", this);
    ok_->setObjectName("0");
    ok_->setGeometry(130, 190, 40, 30);
    ok_->setDefault(true);
    ok_->setEnabled(false);
    // Keys go to the popup itself, so that Space beeps there instead of
    // pressing the button.
    ok_->setFocusPolicy(Qt::NoFocus);
    setFocusPolicy(Qt::StrongFocus);
    connect(ok_, &QPushButton::clicked, this, &SavePopup::closePopup);
}

SavePopup::~SavePopup() {
    // A popup destroyed in the middle of a save must not leave the program
    // disabled under a wait cursor.
    if (busy_) endBusy();
}

void SavePopup::beginBusy() {
    busy_ = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (busyWindow_ != nullptr) busyWindow_->setEnabled(false);
}

void SavePopup::endBusy() {
    busy_ = false;
    if (busyWindow_ != nullptr) busyWindow_->setEnabled(true);
    QApplication::restoreOverrideCursor();
}

void SavePopup::beginDrawing() { lastShownRow_ = -1; }

void SavePopup::endDrawing() { repaint(); }

int SavePopup::textWidth(const std::string& text) {
    return fontMetrics().horizontalAdvance(QString::fromStdString(text));
}

void SavePopup::drawText(int x, int y, const std::string& text) {
    QPainter painter(&canvas_);
    painter.setFont(font());
    painter.setPen(Qt::black);
    const QString shown = QString::fromStdString(text);
    const QFontMetrics metrics(font());
    painter.drawText(QRect(x, y, metrics.horizontalAdvance(shown) + 1, metrics.height()), Qt::AlignLeft | Qt::AlignTop,
                     shown);
    update();
}

void SavePopup::drawLine(Point from, Point to, FrameShade shade) {
    const QRgb color =
        shade == FrameShade::Shadow ? palette().color(QPalette::Dark).rgb() : palette().color(QPalette::Light).rgb();
    // Steps from `from` toward `to` without reaching it, as a pen line does.
    const int dx = to.x - from.x;
    const int dy = to.y - from.y;
    const int steps = std::max(std::abs(dx), std::abs(dy));
    for (int i = 0; i < steps; ++i) {
        const int x = from.x + (dx * i) / steps;
        const int y = from.y + (dy * i) / steps;
        setCanvasPixel(x, y, color);
    }
    update();
}

void SavePopup::drawIndexPixel(int x, int y, std::uint8_t paletteIndex) {
    setCanvasPixel(x, y, shownColor_(paletteIndex));
    if (y != lastShownRow_) {
        // The writer holds the program while it saves: show the thumbnail
        // grow row by row all the same.
        lastShownRow_ = y;
        repaint();
    }
}

void SavePopup::drawRgbPixel(int x, int y, Rgb color) {
    setCanvasPixel(x, y, qRgb(color.red, color.green, color.blue));
    if (y != lastShownRow_) {
        lastShownRow_ = y;
        repaint();
    }
}

void SavePopup::setCanvasPixel(int x, int y, QRgb color) {
    if (canvas_.rect().contains(x, y)) canvas_.setPixel(x, y, color);
}

void SavePopup::closePopup() {
    emit closedByUser();
    close();
}

void SavePopup::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, canvas_);
    // The dialog frame around the popup.
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(0, 0, width() - 1, 0);
    painter.drawLine(0, 0, 0, height() - 1);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(width() - 1, 0, width() - 1, height() - 1);
    painter.drawLine(0, height() - 1, width() - 1, height() - 1);
}

void SavePopup::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        closePopup();
        return;
    }
    if (!event->text().isEmpty()) {
        if (beeps_ != nullptr) beeps_->beep();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace fernwise
