#include "image_size_dialog.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app_state.h"

namespace fernwise {

ImageSizeDialog::ImageSizeDialog(int sizeIndex, QWidget* parent) : QDialog(parent), sizeIndex_(sizeIndex) {
    setWindowTitle("Select the Image Dimensions");
    setObjectName(QString::number(dialogId));

    auto* group = new QGroupBox(this);
    group->setObjectName(QString::number(groupBoxId));
    auto* groupLayout = new QVBoxLayout(group);
    // The buttons exclude each other through the group box, as radio
    // buttons in one group do.
    for (int i = 0; i < imageSizeCount; ++i) {
        const ImageSize& size = imageSizes[static_cast<std::size_t>(i)];
        auto* radio = new QRadioButton(QString("%1 x %2").arg(size.width).arg(size.height), group);
        radio->setObjectName(QString::number(firstRadioId + i));
        radio->setChecked(i == sizeIndex);
        groupLayout->addWidget(radio);
        radios_[static_cast<std::size_t>(i)] = radio;
    }

    ok_ = new QPushButton("OK", this);
    ok_->setObjectName("1");
    ok_->setDefault(true);
    cancel_ = new QPushButton("Cancel", this);
    cancel_->setObjectName("2");
    connect(ok_, &QPushButton::clicked, this, &ImageSizeDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &ImageSizeDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);
}

void ImageSizeDialog::accept() {
    for (int i = 0; i < imageSizeCount; ++i) {
        if (radios_[static_cast<std::size_t>(i)]->isChecked()) {
            sizeIndex_ = i;
            break;
        }
    }
    done(okResult);
}

void ImageSizeDialog::reject() { done(cancelResult); }

}  // namespace fernwise
