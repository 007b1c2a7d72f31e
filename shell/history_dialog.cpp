#include "history_dialog.h"

#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "plot_history.h"

namespace fernwise {

HistoryDialog::HistoryDialog(QWidget* owner, const PlotHistory& history) : QDialog(owner) {
    setObjectName("1100");
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle("    Also written to HISTORY.TXT file.");

    list_ = new QListWidget(this);
    list_->setObjectName(QString::number(static_cast<int>(HistoryDialogId::List)));
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setSortingEnabled(false);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    for (const std::string& line : history.listedLines()) list_->addItem(QString::fromStdString(line));

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName(QString::number(static_cast<int>(HistoryDialogId::Ok)));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    resize(320, 360);
    // Its owner may be blocked by the Parameters dialog that opens it, and
    // a blocked widget's child windows are disabled with it.
    setEnabled(true);
    show();
    // The keyboard goes to the History dialog opened last.
    activateWindow();
}

}  // namespace fernwise
