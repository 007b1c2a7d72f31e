#include "sweep.h"

namespace fernwise {

std::optional<RemovalResult> runSweep(SweepPrompt& prompt) {
    const QString caption = QString::fromLatin1(sweepCaption);
    if (prompt.ask(caption, QString::fromLatin1(confirmationText), SweepButtons::OkCancel) != SweepAnswer::Ok)
        return std::nullopt;
    const RemovalResult removalResult = removeStoredSettings();
    prompt.ask(caption, removalMessage(removalResult), SweepButtons::Ok);
    return removalResult;
}

}  // namespace fernwise
