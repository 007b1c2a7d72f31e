#pragma once

#include <vector>

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace fernwise {

// While it lives, the program answers no input except that of one window
// (or none): keys, clicks and shortcuts meant for any other window are
// dropped, and a request to close another window waits until it ends, when
// the close is made. The level-set pass and the splash pause hold the whole
// program this way, as they did when they kept the message loop waiting.
class HeldInput : public QObject {
    Q_OBJECT
public:
    explicit HeldInput(QWidget* answering = nullptr);
    ~HeldInput() override;

    HeldInput(const HeldInput&) = delete;
    HeldInput& operator=(const HeldInput&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool answers(const QWidget* widget) const;

    QPointer<QWidget> answering_;
    std::vector<QPointer<QWidget>> heldCloses_;
};

}  // namespace fernwise
