#include "about_box.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include "bitmap_resources.h"
#include "seams.h"

namespace fernwise {

AboutBox::AboutBox(QWidget* owner, const QImage& picture)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), picture_(picture), owner_(owner) {
    setObjectName("KoPopupWindow");
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(aboutWidth, aboutHeight);
    setFocusPolicy(Qt::StrongFocus);
    // Owned by the main window, not its child: the main window is disabled
    // while the box is open, which would disable a child as well.
    if (owner != nullptr && owner->windowHandle() != nullptr) {
        winId();
        windowHandle()->setTransientParent(owner->windowHandle());
    }
}

void AboutBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.drawImage(0, 0, picture_);
}

// Any key that yields a character closes the box; no key beeps here.
void AboutBox::keyPressEvent(QKeyEvent* event) {
    if (event->text().isEmpty()) {
        QWidget::keyPressEvent(event);
        return;
    }
    closeBox();
}

void AboutBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) closeBox();
}

void AboutBox::closeBox() {
    if (closing_) return;
    closing_ = true;
    if (owner_) owner_->setEnabled(true);
    emit closed();
    close();
}

AboutBox* openAboutBox(QWidget* mainWindow, int screenWidth, int screenHeight, MessageSeam* messages,
                       std::function<void()> onClosed, const QString& bitmapName) {
    const QImage picture = loadBitmapResource(bitmapName.isEmpty() ? QString(aboutBitmapName) : bitmapName);
    if (picture.isNull()) {
        if (onClosed) onClosed();
        if (mainWindow != nullptr) mainWindow->setEnabled(true);
        if (messages != nullptr) messages->show(mainWindow, aboutBitmapMessage, "Memory Problem", MessageIcon::Warning);
        return nullptr;
    }
    auto* box = new AboutBox(mainWindow, picture);
    if (onClosed) QObject::connect(box, &AboutBox::closed, box, onClosed);
    box->move(screenWidth / 2 - aboutWidth / 2, screenHeight / 2 - aboutHeight / 2);
    box->show();
    box->activateWindow();
    box->setFocus();
    if (mainWindow != nullptr) mainWindow->setEnabled(false);
    return box;
}

}  // namespace fernwise
