#pragma once

#include <functional>

#include <QImage>
#include <QWidget>

namespace fernwise {

struct AllocationGate;
struct AppState;
class VirtualScreen;
enum class SplashKind { Opening = 1, Closing = 2 };

inline constexpr int splashSize = 240;

// KoSplashWindow: a black 240 x 240 popup in the middle of the display
// showing one of the splash bitmaps.
class SplashWindow : public QWidget {
    Q_OBJECT
public:
    explicit SplashWindow(QWidget* owner);

    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};

// What a splash works on.
struct SplashHost {
    QWidget* mainWindow = nullptr;    // disabled while the splash shows
    AppState* state = nullptr;        // the palette and the display size
    VirtualScreen* screen = nullptr;  // the emulated hardware palette
    AllocationGate* paletteGate = nullptr;
    // Paints the main window's client area black (the closing splash).
    std::function<void()> blankMainWindow;
    // Tells whoever watches that a splash window has just been shown.
    std::function<void(SplashWindow*)> shown;
};

// Shows the opening (1) or closing (2) splash for `pauseMs` and returns when
// it is over; the splash takes its palette from its bitmap, and the opening
// splash ends by loading the default palette for the first plot. No plot or
// cycling step and no input is handled meanwhile. Returns 0.
int showSplash(SplashKind kind, const SplashHost& host, int pauseMs);

}  // namespace fernwise
