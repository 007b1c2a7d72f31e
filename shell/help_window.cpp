#include "help_window.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace fernwise {

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window), browser_(new QTextBrowser(this)) {
    setWindowTitle("Fernwise Studio Help");
    setObjectName("helpWindow");
    browser_->setOpenExternalLinks(false);
    auto* contents = new QPushButton("&Contents", this);
    auto* back = new QPushButton("&Back", this);
    auto* closeButton = new QPushButton("Close", this);
    connect(contents, &QPushButton::clicked, this, &HelpWindow::showIndex);
    connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    back->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(back);
    buttons->addStretch();
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(browser_);
    resize(640, 560);
}

void HelpWindow::showIndex() {
    browser_->setSource(QUrl(indexPage));
    browser_->clearHistory();
}

}  // namespace fernwise
