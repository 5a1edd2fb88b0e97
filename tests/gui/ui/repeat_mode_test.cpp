// SPDX-License-Identifier: GPL-3.0-or-later
// Repeat on Chip Insertion in the window, on the in-process board (whose chip
// never leaves the socket): the chip is programmed, verified, counted and
// logged once, the result shows large, the chip is not programmed again
// however long it stays, and Escape ends the mode with the voltages off.

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <functional>

#include "board/virtual_board.h"
#include "core/engine/board_identify.h"
#include "core/engine/serial_number.h"
#include "gui/dialogs/message_box.h"
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
        QTimer::singleShot(60000, &poll, [&] {  // ends with poll, so never in a later test
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
        EXPECT_EQ(dialog.counts_label->text(),
                  QStringLiteral("Pass 1  Fail 0  Total 1\nThis series: 1 passed, 0 failed"));
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
    // The board identified itself as a programmer: nothing was asked, not even
    // the consent to the reads, and no "apply the model?" offer after them.
    EXPECT_EQ(program.board_answer, BoardAnswer::Identified);
    EXPECT_TRUE(messages.empty()) << messages.front().text.toStdString();
    EXPECT_EQ(window->progress_bar->format(), QString()) << "no word of the last socket read";
}

TEST_F(RepeatWindow, NeedsConsentAndADeviceId) {
    // A board of the original protocol says nothing of itself: the user is asked.
    program.board_answer = BoardAnswer::Plain;
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

// A chip that fails its Verify: the FAIL panel says so without a message box
// that would hold up the series, the list of differences opens from the
// panel, the socket is watched on, and the panel's counters are the status
// bar's (which also count a Program All from before the mode).
TEST_F(RepeatWindow, AFailedVerifyShowsOnThePanelAndTheSeriesGoesOn) {
    window->Command[0]->click();
    QElapsedTimer waited;
    waited.start();
    while (window->production->counters().passed == 0 && waited.elapsed() < 60000) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    ASSERT_EQ(window->production->counters().passed, 1) << window->status_text().toStdString();
    messages.clear();
    bool corrupted = false;
    bool failed_seen = false;
    // Once the chip is being compared (its progress shows), its configuration
    // word, compared last, no longer holds what was programmed.
    QObject::connect(window->progress_bar, &QProgressBar::valueChanged, [&] {
        if (!corrupted && program.runner.running() &&
            program.runner.operation_name == operation_name(OperationKind::Verify)) {
            chip().set_config_space(0x2007, 0x3FFF);
            corrupted = true;
        }
    });
    run_mode([&](RepeatDialog& dialog) {
        if (dialog.watch().failed() == 0) {
            return false;
        }
        if (!failed_seen) {
            failed_seen = true;
            EXPECT_EQ(dialog.result_label->text(), QStringLiteral("FAIL"));
            EXPECT_TRUE(dialog.prompt_label->text().contains(QStringLiteral("Show Report")))
                << dialog.prompt_label->text().toStdString();
            EXPECT_EQ(dialog.counts_label->text(),
                      window->production->counters_label()->text() +
                          QStringLiteral("\nThis series: 0 passed, 1 failed"));
            EXPECT_TRUE(window->production->counters_label()->text().startsWith(
                QStringLiteral("Pass 1  Fail 1  Total 2")));
            EXPECT_TRUE(dialog.report_button->isEnabled());
            dialog.report_button->click();
            EXPECT_TRUE(dialog.report_window() != nullptr && dialog.report_window()->isVisible());
            auto* report = qobject_cast<Form08*>(dialog.report_window());
            EXPECT_TRUE(report != nullptr &&
                        report->message_text().startsWith(QStringLiteral("Chip verify failed:")));
            return false;
        }
        // The series goes on: the socket is read again while the report is open.
        if (!dialog.reading()) {
            return false;
        }
        QTest::keyClick(&dialog, Qt::Key_Escape);
        return true;
    });
    EXPECT_TRUE(corrupted);
    for (const ShownMessage& message : messages) {
        ADD_FAILURE() << "a message box came up: " << message.text.toStdString();
    }
    EXPECT_EQ(window->status_text(), QStringLiteral("Repeat ended: 1 chip, 0 passed, 1 failed."));
}

// Stopped while the chip is programmed: the chip is counted neither passed
// nor failed, here as in the status bar's counters and in the tool.
TEST_F(RepeatWindow, AChipStoppedIsCountedNeitherWay) {
    run_mode([&](RepeatDialog& dialog) {
        if (!program.runner.running() ||
            program.runner.operation_name != operation_name(OperationKind::Program)) {
            return false;
        }
        QTest::keyClick(&dialog, Qt::Key_Escape);
        return true;
    });
    EXPECT_EQ(window->status_text(),
              QStringLiteral("Repeat ended: 1 chip, 0 passed, 0 failed, 1 cancelled."));
    EXPECT_EQ(window->production->counters().total(), 0);
    EXPECT_FALSE(program.runner.running());
}

// A chip pulled out while Program All writes it: Verify finds the socket empty
// and its question is answered No. Erased and written, the chip is no cancelled
// one: it fails, and the log names it by the ID Program All read.
TEST_F(RepeatWindow, AChipPulledOutWhileItIsWrittenFails) {
    const QString log = folder.filePath(QStringLiteral("pulled.csv"));
    window->production->set_log_path(log);
    bool pulled = false;
    QString shown;
    run_mode([&](RepeatDialog& dialog) {
        if (!pulled) {
            if (program.runner.running() &&
                program.runner.operation_name == operation_name(OperationKind::Program)) {
                link->MSComm1.virtual_port()->board().replace_chip(
                    *Pic14Chip::create(kEmptySocketName));
                pulled = true;
            }
            return false;
        }
        if (dialog.watch().failed() + dialog.watch().cancelled() == 0) {
            return false;
        }
        shown = dialog.result_label->text();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        return true;
    });
    EXPECT_EQ(shown.toStdString(), "FAIL");
    EXPECT_EQ(window->production->counters().failed, 1);
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral(",PIC16F628A,1060,")) &&
                text.contains(QStringLiteral(",fail,")) &&
                text.contains(QStringLiteral("did not answer as a PIC16F628A at Verify")))
        << text.toStdString();
}

// The last serial number that fits goes to a chip that passes: the series ends
// there, said on the panel (no message box), and the log line says pass.
TEST_F(RepeatWindow, TheLastSerialNumberEndsTheSeriesWithAPass) {
    const QString log = folder.filePath(QStringLiteral("last.csv"));
    window->production->set_log_path(log);
    SerialNumber serial;
    serial.value = 65535;
    serial.location = SerialLocation::RetlwTable;
    serial.address = 0x10;
    serial.byte_count = 2;
    window->production->set_serial(serial, true);
    run_mode([&](RepeatDialog& dialog) {
        if (dialog.watch().passed() == 0) {
            return false;
        }
        EXPECT_EQ(dialog.result_label->text(), QStringLiteral("PASS"));
        EXPECT_TRUE(dialog.prompt_label->text().endsWith(QStringLiteral(
            "Serial number 65535 was the last that fits in 2 bytes: no serial number left.")))
            << dialog.prompt_label->text().toStdString();
        EXPECT_EQ(dialog.stop_button->text(), QStringLiteral("Close"));
        dialog.stop_button->click();
        return true;
    });
    EXPECT_TRUE(messages.empty()) << messages.front().text.toStdString();
    EXPECT_EQ(window->status_text(), QStringLiteral("Repeat ended: 1 chip, 1 passed, 0 failed."));
    EXPECT_FALSE(window->production->serial_enabled());
    EXPECT_EQ(chip().flash(0x10), 0x34FF);
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(file.readAll()).contains(QStringLiteral(",pass,65535,")));
}

}  // namespace
}  // namespace corvanel::test
