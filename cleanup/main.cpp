#include <cstdio>
#include <string_view>

#include <QApplication>

#include "fernwise_version.h"

#include "qt_sweep_prompt.h"
#include "sweep.h"

// fernsweep takes no arguments of its own but --version, and always ends with
// exit code 0: what happened is told in its message box, not in the exit
// status.
int main(int argc, char* argv[]) {
    // Answered before anything needs a display, and without touching the settings.
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--version") {
            std::printf("fernsweep %s\n", FERNWISE_VERSION);
            return 0;
        }
    }
    QApplication app(argc, argv);
    fernwise::QtSweepPrompt prompt;
    fernwise::runSweep(prompt);
    return 0;
}
