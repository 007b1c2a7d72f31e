#include "held_input.h"

#include <algorithm>

#include <QCoreApplication>
#include <QEvent>
#include <QWindow>

namespace fernwise {
namespace {

bool isUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd: return true;
        default: return false;
    }
}

}  // namespace

HeldInput::HeldInput(QWidget* answering) : answering_(answering) {
    QCoreApplication::instance()->installEventFilter(this);
}

HeldInput::~HeldInput() {
    QCoreApplication::instance()->removeEventFilter(this);
    for (const QPointer<QWidget>& widget : heldCloses_) {
        if (widget) QMetaObject::invokeMethod(widget.data(), &QWidget::close, Qt::QueuedConnection);
    }
}

bool HeldInput::answers(const QWidget* widget) const {
    return answering_ && (widget == answering_ || answering_->isAncestorOf(widget));
}

bool HeldInput::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (auto* widget = qobject_cast<QWidget*>(watched)) {
        if (type == QEvent::Close) {
            // Refused for now (an ignored close event keeps the window);
            // another window's close is made once the hold ends.
            event->ignore();
            if (!answers(widget) && std::find(heldCloses_.begin(), heldCloses_.end(), widget) == heldCloses_.end()) {
                heldCloses_.emplace_back(widget);
            }
            return true;
        }
        return isUserInput(type) && !answers(widget);
    }
    if (auto* window = qobject_cast<QWindow*>(watched)) {
        // A window's own close request reaches its widget, where it is held.
        if (!isUserInput(type)) return false;
        return !(answering_ && answering_->window()->windowHandle() == window);
    }
    // The main window's menu shortcuts and any other object's input.
    return isUserInput(type) && type != QEvent::MouseMove;
}

}  // namespace fernwise
