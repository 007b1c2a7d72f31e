#pragma once

#include <QDialog>

class QListWidget;

namespace fernwise {

struct PlotHistory;

// Control ids of the History dialog (1100).
enum class HistoryDialogId { Ok = 1, List = 1110 };

// The modeless History dialog: the ring's entries, newest first, as they
// were when the dialog was created. It is shown at once and destroys itself
// when closed.
class HistoryDialog : public QDialog {
    Q_OBJECT

public:
    HistoryDialog(QWidget* owner, const PlotHistory& history);

    QListWidget* list() const { return list_; }

private:
    QListWidget* list_ = nullptr;
};

}  // namespace fernwise
