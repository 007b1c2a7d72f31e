#include "termination_signals.h"

#include "save_file.h"

#include <QSocketNotifier>
#include <QWidget>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>
#include <csignal>
#endif

namespace fernwise {

namespace {
SaveStop saveStop;
}  // namespace

SaveStop& terminationSaveStop() { return saveStop; }

#ifdef Q_OS_UNIX
namespace {

// A signal handler may only write to a descriptor; the event loop reads the
// other end and does the real work on the UI thread.
int signalPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int signal) {
    // A second signal ends the program even if the event loop never comes
    // back to close the window.
    if (saveStop.requested.exchange(true)) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    const char byte = 1;
    [[maybe_unused]] ssize_t written = ::write(signalPipe[0], &byte, 1);
}

}  // namespace

void closeOnTerminationSignals(QWidget* window) {
    if (signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window, notifier] {
        char byte = 0;
        [[maybe_unused]] ssize_t got = ::read(signalPipe[1], &byte, 1);
        notifier->setEnabled(false);
        window->close();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}
#else
void closeOnTerminationSignals(QWidget*) {}
#endif

}  // namespace fernwise
