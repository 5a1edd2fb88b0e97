// SPDX-License-Identifier: GPL-3.0-or-later
// Repeat on Chip Insertion in the window, on the in-process board (whose chip
// never leaves the socket): the chip is programmed, verified, counted and
// logged once, the result shows large, the chip is not programmed again
// however long it stays, and Escape ends the mode with the voltages off.

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <functional>

#include "board/virtual_board.h"
#include "gui/ui/production_panel.h"
#include "gui/ui/repeat_mode.h"
#include "platform/link/virtual_port.h"
#include "support/main_window_fixture.h"
#include "support/shipped_database.h"

namespace corvanel::test {
namespace {

class RepeatWindow : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        ASSERT_EQ(load_shipped_database(program.database).status, DatabaseStatus::Loaded);
        const int model = model_number(program.database, "PIC16F628A");
        ASSERT_GT(model, 0);
        use_serial_link(2);
        open_window(QString::number(model));
        ASSERT_TRUE(window->status_text().startsWith("Serial port COM2 ready..."));
        (void)program.image.set_flash_word(0, 0x2805);
        (void)program.image.set_flash_word(1, 0x0123);
        program.image.config1 = 0x3F62;
    }

    Pic14Chip& chip() { return link->MSComm1.virtual_port()->board().chip(); }

    // Opens the mode (it runs its own event loop) and calls `check` every 20 ms
    // with the mode's window until it answers true or a minute has passed.
    void run_mode(const std::function<bool(RepeatDialog&)>& check) {
        bool done = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            RepeatDialog* dialog = window->repeat_dialog();
            if (dialog != nullptr && !done && check(*dialog)) {
                done = true;
            }
        });
        poll.start(20);
        QTimer::singleShot(60000, [&] {
            if (window->repeat_dialog() != nullptr) {
                window->repeat_dialog()->reject();
            }
        });
        window->menurepeat_Click();
        EXPECT_TRUE(done);
    }
};

TEST_F(RepeatWindow, ProgramsTheChipInTheSocketOnceAndEndsOnEscape) {
    const QString log = folder.filePath(QStringLiteral("repeat.csv"));
    window->production->set_log_path(log);
    message_answer = message_result::kYes;  // the consent to the reads
    QElapsedTimer since_pass;
    QString shown;
    QString shown_style;
    std::int64_t reads_after_pass = 0;
    run_mode([&](RepeatDialog& dialog) {
        if (dialog.watch().passed() == 0) {
            return false;
        }
        if (!since_pass.isValid()) {
            since_pass.start();
            shown = dialog.result_label->text();
            shown_style = dialog.result_label->styleSheet();
        }
        if (dialog.reading()) {
            ++reads_after_pass;
        }
        // A dozen reads with the chip still in the socket.
        if (since_pass.elapsed() < 4000) {
            return false;
        }
        EXPECT_EQ(dialog.result_label->text(), QStringLiteral("PASS"));
        EXPECT_TRUE(dialog.prompt_label->text().contains(QStringLiteral("Remove the chip.")) &&
                    dialog.prompt_label->text().startsWith(
                        QStringLiteral("Chip programmed and verified. ")))
            << dialog.prompt_label->text().toStdString();
        EXPECT_EQ(dialog.counts_label->text(), QStringLiteral("Pass 1  Fail 0  Total 1"));
        QTest::keyClick(&dialog, Qt::Key_Escape);
        return true;
    });
    EXPECT_EQ(window->repeat_dialog(), nullptr);
    EXPECT_EQ(shown, QStringLiteral("PASS"));
    EXPECT_TRUE(shown_style.contains(QStringLiteral("#1B7A2B"))) << shown_style.toStdString();
    EXPECT_GT(reads_after_pass, 5) << "the socket is still watched after the chip passed";
    EXPECT_EQ(window->status_text(), QStringLiteral("Repeat ended: 1 chip, 1 passed, 0 failed."));
    EXPECT_EQ(window->production->counters().passed, 1);
    EXPECT_EQ(chip().flash(0), 0x2805);
    EXPECT_FALSE(program.link.vpp_test_on);
    EXPECT_FALSE(program.runner.running());
    EXPECT_EQ(program.image.flash_word(1), 0x0123) << "the buffer stays the file's";
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines =
        QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral(",pass"))) << lines[1].toStdString();
    // Only the consent was asked; no "apply the model?" offer after the reads.
    ASSERT_EQ(messages.size(), 1U);
    EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("Repeat on Chip Insertion reads")));
}

TEST_F(RepeatWindow, NeedsConsentAndADeviceId) {
    message_answer = message_result::kNo;
    window->menurepeat_Click();
    EXPECT_EQ(messages.size(), 1U);
    EXPECT_EQ(window->production->counters().total(), 0);
    EXPECT_EQ(chip().flash(0), 0x3FFF) << "nothing was programmed without consent";

    // A model without a device ID cannot tell a chip from an empty socket.
    const int without_id = model_number(program.database, "PIC16F84");
    ASSERT_GT(without_id, 0);
    ASSERT_TRUE(apply_model(program.database, without_id, program.model, program.image));
    messages.clear();
    message_answer = message_result::kYes;
    window->menurepeat_Click();
    ASSERT_EQ(messages.size(), 1U);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("has no device ID")));
    EXPECT_EQ(messages[0].kind, message_kind::kError);
}

}  // namespace
}  // namespace corvanel::test
