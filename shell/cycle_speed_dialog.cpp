#include "cycle_speed_dialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "color_cycling.h"

namespace fernwise {

CycleSpeedDialog::CycleSpeedDialog(std::int32_t& position, std::uint32_t& delay, QWidget* parent)
    : QDialog(parent), position_(position), delay_(delay) {
    setWindowTitle("     Select color-cycling speed");
    setObjectName(QString::number(dialogId));

    trackbar_ = new QSlider(Qt::Horizontal, this);
    trackbar_->setObjectName(QString::number(trackbarId));
    trackbar_->setTickPosition(QSlider::TicksBelow);
    trackbar_->setTickInterval(1);
    trackbar_->setPageStep(4);
    trackbar_->setRange(slowestCycleSpeed, fastestCycleSpeed);
    trackbar_->setValue(position_);
    // Every move of the thumb, tracking included, is remembered at once.
    connect(trackbar_, &QSlider::valueChanged, this, [this](int value) { position_ = value; });

    auto* slow = new QLabel("slow", this);
    auto* fast = new QLabel("fast", this);
    ok_ = new QPushButton("OK", this);
    ok_->setObjectName("1");
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &CycleSpeedDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(slow);
    row->addWidget(trackbar_, 1);
    row->addWidget(fast);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addLayout(buttons);
    setMinimumWidth(300);
}

void CycleSpeedDialog::accept() {
    delay_ = cycleDelayForPosition(position_);
    done(1);
}

// The dialog knows no other command than OK.
void CycleSpeedDialog::reject() {}

void CycleSpeedDialog::closeEvent(QCloseEvent* event) { event->ignore(); }

}  // namespace fernwise
