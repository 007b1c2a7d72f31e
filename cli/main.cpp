#include <csignal>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "fernrender.h"
#include "save_file.h"

namespace {

fernwise::SaveStop saveStop;
volatile std::sig_atomic_t stopSignal = 0;

// Ctrl-C, SIGTERM or a hang-up: where a save would leave a named temporary
// file behind, the save is asked to stop (it does within a megabyte) and the
// program ends by the signal afterwards; otherwise it ends at once, which
// leaves nothing behind and the earlier file as it was.
extern "C" void onStopSignal(int signal) {
    stopSignal = signal;
    saveStop.requested.store(true);
    if (saveStop.namedTemporaries.load() == 0) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
}

void endBySignal() {
    if (stopSignal == 0) return;
    std::signal(stopSignal, SIG_DFL);
    std::raise(stopSignal);
}

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action {};
        // A signal the caller ignores (nohup) stays ignored.
        if (sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) continue;
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        sigaction(signal, &action, nullptr);
    }
#endif
    int status = 1;
    try {
        std::vector<std::string> args(argv + 1, argv + argc);
        status = fernwise::runFernrender(args, std::cout, std::cerr, &saveStop);
    } catch (const std::bad_alloc&) {
        // Whatever ran out, the output was not replaced: a failed save keeps
        // the earlier file.
        std::cerr << "fernrender: not enough memory\n";
        status = 1;
    }
    endBySignal();
    return status;
}
