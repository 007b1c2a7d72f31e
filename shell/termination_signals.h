#pragma once

class QWidget;

namespace fernwise {

// Closes `window` (and so runs its destroy sequence) when the process is asked
// to end by SIGTERM, SIGINT or SIGHUP, as at logout or Ctrl+C in a terminal.
// Does nothing where the platform has no such signals.
void closeOnTerminationSignals(QWidget* window);

}  // namespace fernwise
