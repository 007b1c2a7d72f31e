#include "plasma_window.h"

#include <ctime>

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include "color_cycling.h"
#include "seams.h"
#include "virtual_screen.h"

namespace fernwise {
namespace {

bool isEnter(const QKeyEvent* event) { return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter; }

bool isClick(const QMouseEvent* event) {
    return event->button() == Qt::LeftButton || event->button() == Qt::RightButton;
}

}  // namespace

PlasmaWindow::PlasmaWindow(QWidget* owner, AppState& state, ScreenSource screen, BeepSeam* beeps,
                           std::unique_ptr<RandomSource> random, AllocationGate* paletteGate)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      state_(state),
      screen_(std::move(screen)),
      beeps_(beeps),
      random_(std::move(random)),
      paletteGate_(paletteGate),
      owner_(owner) {
    setObjectName("KoPlasmaWindow");
    setAttribute(Qt::WA_DeleteOnClose);
    setCursor(Qt::CrossCursor);
    setFocusPolicy(Qt::StrongFocus);
    QPalette background = palette();
    background.setColor(QPalette::Window, Qt::white);
    setPalette(background);
    setAutoFillBackground(true);
    resize(state_.geometry.plasmaWidth + 1, state_.geometry.plasmaHeight + 1);
    move(state_.geometry.plasmaWidth - (state_.geometry.plasmaWidth >> 1),
         state_.geometry.plasmaHeight - (state_.geometry.plasmaHeight >> 1));
    // Owned by the main window, not its child: the main window stays
    // disabled while the plasma is open, which would disable a child too.
    if (owner != nullptr && owner->windowHandle() != nullptr) {
        winId();
        windowHandle()->setTransientParent(owner->windowHandle());
    }
    origin_ = QPoint((state_.geometry.plasmaWidth >> 1) - plasmaFieldWidth / 2,
                     (state_.geometry.plasmaHeight >> 1) - plasmaFieldHeight / 2);

    state_.plot.rearm();
    backup_ = state_.palette.table;
    loadPalette6(state_.palette.table, plasmaPalette());
    buildLogicalPalette(state_.palette, paletteGate_);

    animation_.setSingleShot(false);
    connect(&animation_, &QTimer::timeout, this, &PlasmaWindow::animationStep);
    QMetaObject::invokeMethod(this, &PlasmaWindow::draw, Qt::QueuedConnection);
}

PlasmaWindow::~PlasmaWindow() {
    stopAnimation();
    closePlasma();
}

void PlasmaWindow::draw() {
    if (drawn_ || restored_) return;
    drawn_ = true;
    VirtualScreen* hardware = screen();
    const bool palettePlasma = state_.flags.paletteDevice && hardware != nullptr;
    if (palettePlasma && state_.palette.logical) hardware->realize(*state_.palette.logical);
    if (!random_) random_ = std::make_unique<SeededRandom>(static_cast<std::uint32_t>(std::time(nullptr)));
    field_.setReadBack(state_.palette.table, state_.palette.entries);
    field_.draw(*random_);
    update();
    if (!palettePlasma) {
        phase_ = Phase::Still;
        return;
    }
    savedCycleDelay_ = state_.cyclingPace.cycleDelay;
    state_.cyclingPace.cycleDelay = plasmaCycleDelay;
    phase_ = Phase::Animating;
    hold_.emplace(state_);
    animation_.start(static_cast<int>(state_.cyclingPace.cycleDelay));
}

void PlasmaWindow::animationStep() {
    VirtualScreen* hardware = screen();
    if (phase_ != Phase::Animating || hardware == nullptr) return;
    cycleStep(state_.palette.entries, *hardware);
    update();
}

void PlasmaWindow::stopAnimation() {
    if (phase_ != Phase::Animating) return;
    animation_.stop();
    state_.cyclingPace.cycleDelay = savedCycleDelay_;
    hold_.reset();
    phase_ = Phase::Still;
}

QRgb PlasmaWindow::shownColor(int x, int y) const {
    const int fx = x - origin_.x();
    const int fy = y - origin_.y();
    if (!drawn_ || fx < 0 || fy < 0 || fx >= field_.width() || fy >= field_.height() || !field_.isSet(fx, fy)) {
        return qRgb(255, 255, 255);
    }
    const std::uint8_t v = field_.valueAt(fx, fy);
    // On a palette-based display the pixel shows its entry of the hardware
    // palette as it is now; otherwise it holds the colour it was given.
    const VirtualScreen* hardware = screen();
    const Rgb c =
        state_.flags.paletteDevice && hardware != nullptr ? hardware->shownColors()[v] : state_.palette.table[v];
    return qRgb(c.red, c.green, c.blue);
}

void PlasmaWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!drawn_) return;
    QImage image(field_.row(0), field_.width(), field_.height(), field_.width(), QImage::Format_Indexed8);
    QList<QRgb> colors(paletteSize);
    const VirtualScreen* hardware = state_.flags.paletteDevice ? screen() : nullptr;
    for (int v = 0; v < paletteSize; ++v) {
        const Rgb c = hardware != nullptr ? hardware->shownColors()[static_cast<std::size_t>(v)]
                                          : state_.palette.table[static_cast<std::size_t>(v)];
        colors[v] = qRgb(c.red, c.green, c.blue);
    }
    colors[PlasmaField::unset] = qRgb(255, 255, 255);
    image.setColorTable(colors);
    painter.drawImage(origin_, image);
}

// While animating, Enter stops the colours and every other key is swallowed
// without a sound; in the still plasma Enter closes and other keys beep.
void PlasmaWindow::keyPressEvent(QKeyEvent* event) {
    event->accept();
    if (phase_ == Phase::Animating) {
        if (isEnter(event)) stopAnimation();
        return;
    }
    if (isEnter(event)) {
        close();
    } else if (!event->text().isEmpty() && beeps_ != nullptr) {
        beeps_->beep();
    }
}

void PlasmaWindow::mousePressEvent(QMouseEvent* event) {
    if (!isClick(event)) return;
    if (phase_ == Phase::Animating) {
        stopAnimation();
    } else {
        close();
    }
}

void PlasmaWindow::closeEvent(QCloseEvent* event) {
    stopAnimation();
    closePlasma();
    event->accept();
}

// The palette the program had comes back; the VirtualScreen stays black and
// the plot stays rearmed.
void PlasmaWindow::closePlasma() {
    if (restored_) return;
    restored_ = true;
    state_.palette.table = backup_;
    buildLogicalPalette(state_.palette, paletteGate_);
    if (VirtualScreen* hardware = screen(); hardware != nullptr && state_.palette.logical) {
        hardware->realize(*state_.palette.logical);
    }
    if (owner_) owner_->setEnabled(true);
    emit closed();
}

}  // namespace fernwise
