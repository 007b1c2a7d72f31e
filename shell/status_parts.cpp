#include "status_parts.h"

namespace fernwise {

StatusParts::StatusParts(QWidget* parent) : QWidget(parent) {}

void StatusParts::setParts(const std::vector<int>& rightEdges) {
    rightEdges_ = rightEdges;
    while (labels_.size() > rightEdges_.size()) {
        delete labels_.back();
        labels_.pop_back();
    }
    while (labels_.size() < rightEdges_.size()) {
        auto* label = new QLabel(this);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setTextFormat(Qt::PlainText);
        label->show();
        labels_.push_back(label);
    }
    layoutLabels();
}

void StatusParts::setText(int part, const QString& text) {
    if (part < 0 || part >= partCount()) return;
    labels_[static_cast<std::size_t>(part)]->setText(text);
}

QString StatusParts::text(int part) const {
    if (part < 0 || part >= partCount()) return {};
    return labels_[static_cast<std::size_t>(part)]->text();
}

QSize StatusParts::sizeHint() const { return {0, fontMetrics().height() + 6}; }

void StatusParts::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutLabels();
}

void StatusParts::layoutLabels() {
    int left = 0;
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        const int right = rightEdges_[i];
        labels_[i]->setGeometry(left, 0, std::max(right - left, 0), height());
        left = right;
    }
}

}  // namespace fernwise
