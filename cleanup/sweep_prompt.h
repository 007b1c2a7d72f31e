#pragma once

#include <QString>

namespace fernwise {

enum class SweepButtons { Ok, OkCancel };
enum class SweepAnswer { Ok, Cancel };

// The message boxes of the clean-up tool go through here, so that tests can
// answer them instead of blocking on a modal box.
class SweepPrompt {
public:
    virtual ~SweepPrompt() = default;

    // Shows one box without an owner window and without an icon. Closing the
    // box, or Escape, answers Cancel where a Cancel button is offered.
    virtual SweepAnswer ask(const QString& caption, const QString& text, SweepButtons buttons) = 0;
};

}  // namespace fernwise
