#pragma once

#include "sweep_prompt.h"

namespace fernwise {

// The real boxes, on QMessageBox.
class QtSweepPrompt final : public SweepPrompt {
public:
    SweepAnswer ask(const QString& caption, const QString& text, SweepButtons buttons) override;
};

}  // namespace fernwise
