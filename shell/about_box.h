#pragma once

#include <functional>

#include <QImage>
#include <QPointer>
#include <QWidget>

namespace fernwise {

class MessageSeam;

inline constexpr int aboutWidth = 166;
inline constexpr int aboutHeight = 200;
inline constexpr const char* aboutBitmapMessage = "Unable to allocate bitmap buffer.\nTry to free up some memory.";

// The About box: the 166 x 200 About picture in a popup that closes on any
// character key or mouse click, with no beep.
class AboutBox : public QWidget {
    Q_OBJECT
public:
    AboutBox(QWidget* owner, const QImage& picture);

    const QImage& picture() const { return picture_; }

signals:
    // The box has closed; the main window is enabled again.
    void closed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void closeBox();

    QImage picture_;
    QPointer<QWidget> owner_;
    bool closing_ = false;
};

// Command 310 after aboutOpen was set: creates the About box in the middle of
// the display, shows it and disables the main window until it closes, when
// `onClosed` runs. When the picture cannot be loaded, `onClosed` runs at once
// and "Unable to allocate bitmap buffer." is shown; the result is then
// nullptr.
AboutBox* openAboutBox(QWidget* mainWindow, int screenWidth, int screenHeight, MessageSeam* messages,
                       std::function<void()> onClosed, const QString& bitmapName = QString());

}  // namespace fernwise
