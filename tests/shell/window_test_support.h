#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QSettings>
#include <QTimer>

#include <gtest/gtest.h>

#include "app_state.h"
#include "dialog_test_support.h"
#include "main_window.h"
#include "params_dialog.h"
#include "seams.h"
#include "settings.h"
#include "startup.h"

namespace fernwise::windowtest {

using dialogtest::CapturedMessages;
using dialogtest::ScriptedFileDialogs;
using dialogtest::ShownMessage;
using dialogtest::testRoot;

class CountingBeeps final : public BeepSeam {
public:
    void beep() override { ++count; }
    int count = 0;
};

// Refuses every allocation it is asked about.
struct RefusingGate final : AllocationGate {
    bool allow(std::size_t) override { return false; }
};

inline void forgetStoredImageSize() {
    QSettings(QSettings::NativeFormat, QSettings::UserScope, "Ko", "Fernwise").remove("ResIndex");
}

// The Parameters dialog while it runs: it blocks only its owner, so it is no
// modal widget to Qt.
inline ParamsDialog* openParamsDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<ParamsDialog*>(widget); dialog != nullptr && dialog->isVisible()) return dialog;
    }
    return nullptr;
}

// Ends the modal dialog that the next command opens, once it runs, without
// an OK (some dialogs ignore Escape, so this does not go through reject).
// While it lives, closes every modal dialog as soon as one runs (polling,
// so it works whether the dialog opens before or after the next event pass).
class ModalCloser {
public:
    ModalCloser() {
        QObject::connect(&timer_, &QTimer::timeout, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                dialog->done(QDialog::Rejected);
            } else if (ParamsDialog* params = openParamsDialog()) {
                params->done(QDialog::Rejected);
            }
        });
        timer_.start(5);
    }

private:
    QTimer timer_;
};

// A started program: the main window made as start-up makes it, with the
// loop's steps run by hand.
class WindowTest : public ::testing::Test {
protected:
    struct Start {
        int sizeIndex = 0;  // -1: nothing stored
        int displayBits = 32;
        QSize screen{1024, 768};
        bool splashAvailable = true;
        ScreenFactory createScreen{};
        AllocationGate* paletteGate = nullptr;
        // Every pass shows exactly one row, however slowly the workers run.
        std::chrono::milliseconds rowWait = RowPipeline::untilFinished;
        QString paletteFolder{};  // the palettes that come with the program
    };

    // Runs start-up and the first queued messages (splash, Plot).
    StartupCode start(const Start& how) {
        if (how.sizeIndex < 0) {
            forgetStoredImageSize();
        } else {
            settings.writeResIndex(how.sizeIndex);
        }
        StartupOptions options;
        options.display.bitsPerPixel = how.displayBits;
        options.display.size = how.screen;
        options.seams = Seams{&messages, &files, &beeps};
        options.settings = &settings;
        options.loopDriver = LoopDriver::Manual;
        options.createScreen = how.createScreen;
        options.paletteGate = how.paletteGate;
        options.plotWorkers.rowWait = how.rowWait;
        options.paletteFolder = how.paletteFolder;
        registerWindowClasses(state);
        state.splash.splashAvailable = how.splashAvailable;
        // The splashes show their pictures without holding the tests.
        state.splash.openingSplashMs = 0;
        state.splash.closingSplashMs = 0;
        const StartupCode code = createMainWindow(state, options, window);
        if (window) {
            QObject::connect(window.get(), &MainWindow::commandRequested, [this](int id) { requested.push_back(id); });
            QObject::connect(window.get(), &MainWindow::quitRequested,
                             [this](int exitCode) { quitCodes.push_back(exitCode); });
        }
        QCoreApplication::processEvents();
        return code;
    }
    StartupCode start() { return start(Start{}); }

    // Runs loop passes until the plot is no longer running.
    void finishPlot() {
        for (int guard = 0; state.run.plotting && guard < 100000; ++guard) window->loopPass();
    }
    void passes(int count) {
        for (int i = 0; i < count; ++i) window->loopPass();
    }

    void TearDown() override {
        if (window && !window->destroyed()) window->hide();
        window.reset();
        QCoreApplication::processEvents();
    }

    CapturedMessages messages;
    ScriptedFileDialogs files;
    CountingBeeps beeps;
    Settings settings;
    AppState state;
    std::unique_ptr<MainWindow> window;
    std::vector<int> requested;
    std::vector<int> quitCodes;
};

}  // namespace fernwise::windowtest
