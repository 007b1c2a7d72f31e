#pragma once

#include <vector>

#include <QLabel>
#include <QStringList>
#include <QWidget>

namespace fernwise {

// The status bar's row of parts, each with a fixed right edge measured from
// the bar's left end (edges may lie beyond the window; such parts are cut
// off). Changing the division keeps the texts of the parts that remain.
class StatusParts : public QWidget {
    Q_OBJECT
public:
    explicit StatusParts(QWidget* parent = nullptr);

    void setParts(const std::vector<int>& rightEdges);
    int partCount() const { return static_cast<int>(rightEdges_.size()); }
    const std::vector<int>& rightEdges() const { return rightEdges_; }

    // A part that does not exist takes nothing.
    void setText(int part, const QString& text);
    QString text(int part) const;

    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutLabels();

    std::vector<int> rightEdges_;
    std::vector<QLabel*> labels_;
};

}  // namespace fernwise
