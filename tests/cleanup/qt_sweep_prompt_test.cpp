#include <filesystem>
#include <functional>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include "qt_sweep_prompt.h"
#include "sweep.h"
#include "sweep_test_support.h"

namespace fernwise {
namespace {

namespace fs = std::filesystem;
using namespace sweeptest;

// What a real box showed, read while it was open.
struct ShownBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    bool owned = false;
};

using BoxAction = std::function<void(QMessageBox&)>;

// Waits for each next modal message box in turn, records it and applies the
// action, so that the real boxes can run inside a test without blocking.
class BoxAnswerer {
public:
    explicit BoxAnswerer(std::vector<BoxAction> actions) : actions_(std::move(actions)) {
        QObject::connect(&poll_, &QTimer::timeout, [this] { answerIfShown(); });
        poll_.start(5);
    }

    std::vector<ShownBox> shown;

private:
    void answerIfShown() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        // A later box may reuse the address of an earlier one, so the box
        // itself carries the mark that it was answered.
        if (box == nullptr || !box->isVisible() || box->property("answered").toBool()) return;
        box->setProperty("answered", true);
        QPushButton* defaultButton = box->defaultButton();
        shown.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                         defaultButton ? box->standardButton(defaultButton) : QMessageBox::NoButton,
                         box->parentWidget() != nullptr});
        if (shown.size() <= actions_.size())
            actions_[shown.size() - 1](*box);
        else
            box->reject();
    }

    std::vector<BoxAction> actions_;
    QTimer poll_;
};

BoxAction click(QMessageBox::StandardButton which) {
    return [which](QMessageBox& box) { box.button(which)->click(); };
}

TEST(QtSweepPromptTest, ConfirmationBoxIsPlainAndAnswersOkOrCancel) {
    QtSweepPrompt prompt;
    {
        BoxAnswerer answerer({click(QMessageBox::Ok)});
        EXPECT_EQ(prompt.ask("Delete Registry Key", confirmationText, SweepButtons::OkCancel), SweepAnswer::Ok);
        ASSERT_EQ(answerer.shown.size(), 1u);
        const ShownBox& box = answerer.shown[0];
        EXPECT_EQ(box.caption, "Delete Registry Key");
        EXPECT_EQ(box.text, confirmationText);
        EXPECT_EQ(box.icon, QMessageBox::NoIcon);
        EXPECT_EQ(box.buttons, QMessageBox::Ok | QMessageBox::Cancel);
        EXPECT_EQ(box.defaultButton, QMessageBox::Ok);
        EXPECT_FALSE(box.owned);
    }
    const std::vector<BoxAction> refusals = {
        click(QMessageBox::Cancel),
        [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); },
        [](QMessageBox& box) { box.close(); },
    };
    for (std::size_t i = 0; i < refusals.size(); ++i) {
        SCOPED_TRACE(i);
        BoxAnswerer answerer({refusals[i]});
        EXPECT_EQ(prompt.ask("Delete Registry Key", confirmationText, SweepButtons::OkCancel), SweepAnswer::Cancel);
        EXPECT_EQ(answerer.shown.size(), 1u);
    }
}

TEST(QtSweepPromptTest, ResultBoxOffersOnlyOk) {
    QtSweepPrompt prompt;
    BoxAnswerer answerer({click(QMessageBox::Ok)});
    prompt.ask("Delete Registry Key", "The Fernwise subkey was deleted.", SweepButtons::Ok);
    ASSERT_EQ(answerer.shown.size(), 1u);
    EXPECT_EQ(answerer.shown[0].buttons, QMessageBox::Ok);
    EXPECT_EQ(answerer.shown[0].icon, QMessageBox::NoIcon);
    EXPECT_FALSE(answerer.shown[0].owned);
}

// The whole program as a user meets it: the confirmation, OK, the result.
TEST(QtSweepPromptTest, WholeRunThroughTheRealBoxes) {
    fs::remove_all(configPath());
    writeFernwiseSettings();
    QtSweepPrompt prompt;
    BoxAnswerer answerer({click(QMessageBox::Ok), click(QMessageBox::Ok)});

    EXPECT_EQ(runSweep(prompt), RemovalResult::SubkeyAndParentDeleted);
    ASSERT_EQ(answerer.shown.size(), 2u);
    EXPECT_EQ(answerer.shown[0].text, confirmationText);
    EXPECT_EQ(answerer.shown[1].caption, "Delete Registry Key");
    EXPECT_EQ(answerer.shown[1].text, "The Fernwise subkey and the\n     Ko key were deleted.");
    EXPECT_FALSE(fs::exists(fs::symlink_status(koPath())));
    EXPECT_FALSE(fernwiseFindsSettings());
    fs::remove_all(configPath());
}

}  // namespace
}  // namespace fernwise
