#pragma once

#include <cstdint>

#include <QDialog>

class QPushButton;
class QSlider;

namespace fernwise {

// The colour-cycling speed dialog, "     Select color-cycling speed": a trackbar (910) from
// "slow" (0) to "fast" (20) and an OK button (1). The remembered position
// follows the thumb at once; only OK turns it into the pause between cycling
// steps. There is no Cancel: Escape and the close box do nothing.
class CycleSpeedDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int dialogId = 900;
    static constexpr int trackbarId = 910;

    // `position` and `delay` are the program's cycleSpeedPosition and
    // cycleDelay; the dialog writes them as the user acts.
    CycleSpeedDialog(std::int32_t& position, std::uint32_t& delay, QWidget* parent = nullptr);

    QSlider* trackbar() const { return trackbar_; }
    QPushButton* okButton() const { return ok_; }

    void accept() override;
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::int32_t& position_;
    std::uint32_t& delay_;
    QSlider* trackbar_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace fernwise
