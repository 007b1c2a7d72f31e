#include "image_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include "screen_image.h"
#include "virtual_screen.h"

namespace fernwise {

ImageView::ImageView(ImageViewClient& client, QWidget* parent) : QAbstractScrollArea(parent), client_(client) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setCursor(Qt::CrossCursor);
    // Everything is painted from the VirtualScreen; no background first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
}

int ImageView::scrollX() const { return horizontalScrollBar()->value(); }
int ImageView::scrollY() const { return verticalScrollBar()->value(); }

void ImageView::showOutline(const QRect& frame) {
    if (outlineVisible_) viewport()->update(outline_);
    outline_ = frame;
    outlineVisible_ = true;
    viewport()->update(frame);
}

void ImageView::hideOutline() {
    if (!outlineVisible_) return;
    outlineVisible_ = false;
    viewport()->update(outline_);
}

void ImageView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRegion& dirty = event->region();
    const VirtualScreen* screen = client_.paintedScreen();
    if (screen == nullptr) {
        for (const QRect& r : dirty) painter.fillRect(r, Qt::black);
        return;
    }
    const QImage image = screenImage(*screen);
    const QPoint offset(scrollX(), scrollY());
    const QRect imageArea = image.rect().translated(-offset);
    for (const QRect& r : dirty) {
        const QRect shown = r & imageArea;
        if (!shown.isEmpty()) painter.drawImage(shown.topLeft(), image, shown.translated(offset));
        const QRegion outside = QRegion(r) - QRegion(shown);
        for (const QRect& black : outside) painter.fillRect(black, Qt::black);
    }
    if (outlineVisible_ && dirty.intersects(outline_)) {
        const QRect& f = outline_;
        painter.fillRect(QRect(f.left(), f.top(), f.width(), 1), Qt::white);
        painter.fillRect(QRect(f.left(), f.bottom(), f.width(), 1), Qt::white);
        painter.fillRect(QRect(f.left(), f.top(), 1, f.height()), Qt::white);
        painter.fillRect(QRect(f.right(), f.top(), 1, f.height()), Qt::white);
    }
}

void ImageView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    client_.viewResized(viewport()->width(), viewport()->height());
}

void ImageView::scrollContentsBy(int, int) {
    // A full repaint rather than moving pixels: the zoom outline stays where
    // it is in the window while the picture moves under it.
    viewport()->update();
    client_.viewScrolled();
}

void ImageView::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    client_.viewMousePress(event->button(), p.x(), p.y());
}

void ImageView::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second click of a double click is a press like any other.
    mousePressEvent(event);
}

void ImageView::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    client_.viewMouseRelease(event->button(), p.x(), p.y());
}

void ImageView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    client_.viewMouseMove(p.x(), p.y());
}

void ImageView::keyPressEvent(QKeyEvent* event) {
    // The arrow and page keys do not scroll: only the scroll bars do.
    if (!client_.viewKey(event->key(), event->text())) event->ignore();
}

bool ImageView::focusNextPrevChild(bool) {
    // Tab is a command of the window, not a move to another control.
    return false;
}

}  // namespace fernwise
