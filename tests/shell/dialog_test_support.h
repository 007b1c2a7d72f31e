#pragma once

#include <deque>
#include <vector>

#include <QString>

#include "seams.h"

namespace fernwise::dialogtest {

// The temporary folder the whole run works in; its "config" folder is the
// XDG_CONFIG_HOME the settings land in.
QString testRoot();

struct ShownMessage {
    QString text;
    QString caption;
    MessageIcon icon;
    QWidget* parent;
};

// Message boxes, recorded instead of shown.
class CapturedMessages final : public MessageSeam {
public:
    MessageAnswer show(QWidget* parent, const QString& text, const QString& caption, MessageIcon icon,
                       MessageButtons) override {
        shown.push_back({text, caption, icon, parent});
        return MessageAnswer::Ok;
    }
    std::vector<ShownMessage> shown;
};

// File dialogs that answer from a script (an empty answer is a cancel) and
// record what they were asked.
class ScriptedFileDialogs final : public FileDialogSeam {
public:
    QString choose(QWidget*, const FileDialogRequest& request) override {
        requests.push_back(request);
        if (answers.empty()) return {};
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<QString> answers;
    std::vector<FileDialogRequest> requests;
};

}  // namespace fernwise::dialogtest
