#pragma once

#include <QWidget>

class QTextBrowser;

namespace fernwise {

// The help viewer: the bundled help pages in a browser window, opened at
// their index by the Help command and closed when the program ends.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* indexPage = "qrc:/help/index.html";

    explicit HelpWindow(QWidget* parent = nullptr);

    void showIndex();
    QTextBrowser* browser() const { return browser_; }

private:
    QTextBrowser* browser_;
};

}  // namespace fernwise
