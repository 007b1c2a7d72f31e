#pragma once

#include <array>

#include <QDialog>

class QPushButton;
class QRadioButton;

namespace fernwise {

// The image size dialog, "Select the Image Dimensions": ten sizes as radio buttons
// 520..529 in a group box 510, with OK (1) and Cancel (2). Its result is 1
// for OK and 2 for Cancel (also for Escape and the close box).
class ImageSizeDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int dialogId = 500;
    static constexpr int groupBoxId = 510;
    static constexpr int firstRadioId = 520;
    static constexpr int okResult = 1;
    static constexpr int cancelResult = 2;

    // Opens with the button of `sizeIndex` checked.
    ImageSizeDialog(int sizeIndex, QWidget* parent = nullptr);

    // After OK: the offset of the first checked button from 520, or the
    // index it opened with when none is checked.
    int sizeIndex() const { return sizeIndex_; }

    QRadioButton* radioButton(int index) const { return radios_[static_cast<std::size_t>(index)]; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

    void accept() override;
    void reject() override;

private:
    int sizeIndex_;
    std::array<QRadioButton*, 10> radios_{};
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace fernwise
