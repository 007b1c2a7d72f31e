#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "app_state.h"
#include "palette.h"
#include "plasma.h"

namespace fernwise {

class BeepSeam;
class VirtualScreen;

// KoPlasmaWindow: a 320 x 240 midpoint-displacement plasma in the middle of
// a white window, drawn once in random colours of its own palette and, on a
// palette-based display, set in motion by colour cycling until the first
// Enter or click; the next Enter or click closes the window and brings back
// the palette the program had.
class PlasmaWindow : public QWidget {
    Q_OBJECT
public:
    enum class Phase { Waiting, Animating, Still };

    // The main window's VirtualScreen, which holds the emulated hardware
    // palette, as it is at the moment of asking (nullptr once it is gone).
    using ScreenSource = std::function<VirtualScreen*()>;

    // Creation: rearms the plot, keeps the palette and loads the plasma
    // palette, then queues the drawing. `random` replaces the time-seeded
    // generator (tests).
    PlasmaWindow(QWidget* owner, AppState& state, ScreenSource screen, BeepSeam* beeps,
                 std::unique_ptr<RandomSource> random = nullptr, AllocationGate* paletteGate = nullptr);
    ~PlasmaWindow() override;

    Phase phase() const { return phase_; }
    const PlasmaField& field() const { return field_; }
    // The field's top-left corner in the window.
    QPoint fieldOrigin() const { return origin_; }
    // The colour the window shows at a point of its client area.
    QRgb shownColor(int x, int y) const;
    // One step of the animation (its timer's work).
    void animationStep();

public slots:
    // MSG_DRAW_PLASMA: draws the field and, on a palette-based display,
    // starts the animation.
    void draw();

signals:
    void closed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void stopAnimation();
    void closePlasma();

    VirtualScreen* screen() const { return screen_ ? screen_() : nullptr; }

    AppState& state_;
    ScreenSource screen_;
    BeepSeam* beeps_;
    std::unique_ptr<RandomSource> random_;
    AllocationGate* paletteGate_;
    QPointer<QWidget> owner_;
    PaletteTable backup_{};
    PlasmaField field_;
    QPoint origin_;
    Phase phase_ = Phase::Waiting;
    bool drawn_ = false;
    bool restored_ = false;
    QTimer animation_;
    std::uint32_t savedCycleDelay_ = 0;
    // While it animates the plasma holds the program as its loop would.
    std::optional<ModalScope> hold_;
};

}  // namespace fernwise
