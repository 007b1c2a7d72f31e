#include "splash_window.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include "app_state.h"
#include "bitmap_resources.h"
#include "held_input.h"
#include "virtual_screen.h"

namespace fernwise {

SplashWindow::SplashWindow(QWidget* owner) : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName("KoSplashWindow");
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(splashSize, splashSize);
    QPalette background = palette();
    background.setColor(QPalette::Window, Qt::black);
    setPalette(background);
    setAutoFillBackground(true);
    // Owned by the main window without being its child: the main window is
    // disabled while the splash shows, and that would disable a child too.
    if (owner != nullptr && owner->windowHandle() != nullptr) {
        winId();
        windowHandle()->setTransientParent(owner->windowHandle());
    }
}

void SplashWindow::setPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void SplashWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!picture_.isNull()) painter.drawImage(0, 0, picture_);
}

int showSplash(SplashKind kind, const SplashHost& host, int pauseMs) {
    AppState& state = *host.state;
    QPointer<SplashWindow> splash = new SplashWindow(host.mainWindow);
    splash->move(state.display.screenWidth / 2 - splashSize / 2, state.display.screenHeight / 2 - splashSize / 2);
    if (host.mainWindow != nullptr) host.mainWindow->setEnabled(false);
    QGuiApplication::setOverrideCursor(Qt::BlankCursor);
    splash->show();
    if (kind == SplashKind::Closing && host.blankMainWindow) host.blankMainWindow();

    // The bitmap's colour table becomes the palette while the splash shows.
    const QImage picture =
        loadBitmapResource(kind == SplashKind::Opening ? openingSplashBitmapName : closingSplashBitmapName);
    if (!picture.isNull()) {
        state.palette.table = bitmapColorTable(picture);
        if (buildLogicalPalette(state.palette, host.paletteGate) == logicalPaletteBuilt && host.screen != nullptr) {
            host.screen->realize(*state.palette.logical);
        }
        splash->setPicture(picture);
    }
    if (host.shown) host.shown(splash);

    {
        // The whole program pauses: no plot or cycling step, no input, and a
        // request to close the main window waits until the splash is over.
        ModalScope pause(state);
        HeldInput hold;
        QEventLoop loop;
        // Qt makes a single shot of two seconds or more a coarse timer, which
        // may end the pause a twentieth early or late.
        QTimer::singleShot(pauseMs, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }

    if (host.mainWindow != nullptr) host.mainWindow->setEnabled(true);
    QGuiApplication::restoreOverrideCursor();
    if (splash) splash->close();

    if (kind == SplashKind::Opening) {
        loadPalette6(state.palette.table, defaultPalette());
        buildLogicalPalette(state.palette, host.paletteGate);
        if (host.screen != nullptr && state.palette.logical) host.screen->realize(*state.palette.logical);
    }
    return 0;
}

}  // namespace fernwise
