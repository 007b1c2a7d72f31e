#include <QApplication>

#include "qt_sweep_prompt.h"
#include "sweep.h"

// fernsweep takes no arguments of its own and always ends with exit code 0:
// what happened is told in its message box, not in the exit status.
int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    fernwise::QtSweepPrompt prompt;
    fernwise::runSweep(prompt);
    return 0;
}
