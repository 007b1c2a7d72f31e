#pragma once

#include <optional>

#include "settings_removal.h"
#include "sweep_prompt.h"

namespace fernwise {

// The caption of both boxes and the text of the confirmation.
inline constexpr const char* sweepCaption = "Delete Registry Key";
inline constexpr const char* confirmationText =
    "Press OK to delete the Registry subkey\n"
    "     which is written by Fernwise Studio:\n"
    "\n"
    "HKEY_CURRENT_USER\\Software\\Ko\\Fernwise\n"
    "\n"
    "Or you can delete it manually.\n"
    "\n"
    "Then you can delete the program files\n"
    "     without leaving a trace.\n"
    "\n"
    "Press Cancel if you've changed your mind.";

// The whole run of the tool: asks for confirmation, removes the stored
// settings and reports what it did. Returns the result, or nullopt when the
// user cancelled and nothing was touched.
std::optional<RemovalResult> runSweep(SweepPrompt& prompt);

}  // namespace fernwise
