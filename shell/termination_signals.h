#pragma once

class QWidget;

namespace fernwise {

struct SaveStop;

// Set by those signals at once, so that a save in progress stops within a
// megabyte (the earlier file kept) instead of holding the close until the
// whole image is written.
SaveStop& terminationSaveStop();

// Closes `window` (and so runs its destroy sequence) when the process is asked
// to end by SIGTERM, SIGINT or SIGHUP, as at logout or Ctrl+C in a terminal.
// Does nothing where the platform has no such signals.
void closeOnTerminationSignals(QWidget* window);

}  // namespace fernwise
