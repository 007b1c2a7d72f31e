#pragma once

#include <QAbstractScrollArea>
#include <QRect>

namespace fernwise {

class VirtualScreen;

// What the view asks of the window that owns it.
class ImageViewClient {
public:
    virtual ~ImageViewClient() = default;
    // nullptr while there is none; the view is then black.
    virtual const VirtualScreen* paintedScreen() const = 0;
    virtual void viewResized(int clientWidth, int clientHeight) = 0;
    virtual void viewScrolled() = 0;
    virtual void viewMousePress(Qt::MouseButton button, int x, int y) = 0;
    virtual void viewMouseRelease(Qt::MouseButton button, int x, int y) = 0;
    virtual void viewMouseMove(int x, int y) = 0;
    // A key that reached the view; true when it was handled.
    virtual bool viewKey(int key, const QString& text) = 0;
};

// The main window's client area: the VirtualScreen seen through two scroll
// offsets, with the zoom box's outline over it. Window point (u, v) shows
// VirtualScreen point (u + scrollX, v + scrollY); whatever lies outside the
// image is black.
class ImageView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit ImageView(ImageViewClient& client, QWidget* parent = nullptr);

    int scrollX() const;
    int scrollY() const;

    // The zoom outline, a one-pixel white frame covering `frame`.
    void showOutline(const QRect& frame);
    void hideOutline();
    bool outlineVisible() const { return outlineVisible_; }
    QRect outline() const { return outline_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    ImageViewClient& client_;
    bool outlineVisible_ = false;
    QRect outline_;
};

}  // namespace fernwise
