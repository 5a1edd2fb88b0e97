// SPDX-License-Identifier: GPL-3.0-or-later
// The five chip operations started from the main window, run against the
// in-process board on a virtual port.

#include <QAction>
#include <QActionGroup>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "board/chip_state_file.h"
#include "core/engine/chip_operations.h"
#include "gui/dialogs/config_word_dialog.h"
#include "gui/ui/cell_editor.h"
#include "gui/ui/memory_table.h"
#include "gui/widgets/click_label.h"
#include "platform/link/virtual_port.h"
#include "support/main_window_fixture.h"
#include "support/shipped_database.h"

namespace corvanel::test {
namespace {

class WindowOperations : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        ASSERT_EQ(load_shipped_database(program.database).status, DatabaseStatus::Loaded);
        model_number = test::model_number(program.database, "PIC16F628A");
        ASSERT_GT(model_number, 0);
    }

    // Runs the event loop, as the program does, until the operation's result
    // stands in the status line.
    bool wait_for_result() {
        QEventLoop loop;
        QTimer poll;
        bool finished = false;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            const QString status = window->status_text();
            if (status.startsWith(QStringLiteral("Chip")) ||
                status.startsWith(QStringLiteral("Code protection is on")) ||
                status.startsWith(QStringLiteral("Programmer not responding"))) {
                finished = true;
                loop.quit();
            }
        });
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        poll.start(20);
        loop.exec();
        return finished;
    }

    // Clicks the operation's button and waits for its result.
    QString run(int button) {
        window->Command[button]->click();
        EXPECT_TRUE(wait_for_result()) << window->status_text().toStdString();
        return window->status_text();
    }

    // As a port opened anew on a plain board: one that answered identify and
    // then falls silent on the same port is a line at fault, not a plain board.
    void forget_the_identified_board() {
        forget_board(program);
        program.board_answer = BoardAnswer::Plain;
    }

    int model_number = 0;
};

TEST_F(WindowOperations, ProgramVerifyAndReadBackOnTheVirtualBoard) {
    use_serial_link(2);
    Form1& form = open_window(QString::number(model_number));
    // A first start on the virtual board also says what to try.
    ASSERT_TRUE(form.status_text().startsWith("Serial port COM2 ready... the virtual board."));

    program.image.set_flash_word(0, 0x2805);
    program.image.set_flash_word(1, 0x0123);
    program.image.set_eeprom_byte(3, 0x5A);
    program.image.user_ids = {0x0001, 0x000A, 0x0002, 0x000B};  // __IDLOCS 0x1A2B
    const MemoryImage written = program.image;

    EXPECT_TRUE(run(0).startsWith("Chip programmed. ")) << form.status_text().toStdString();
    EXPECT_TRUE(form.status_text().endsWith(" seconds elapsed..."));
    EXPECT_TRUE(form.Command[0]->isEnabled()) << "the completion unlocks the commands";

    EXPECT_TRUE(run(4).startsWith("Chip verified. ")) << form.status_text().toStdString();
    EXPECT_TRUE(messages.empty());

    form.menuclear->trigger();
    EXPECT_TRUE(run(1).startsWith("Chip read. ")) << form.status_text().toStdString();
    EXPECT_EQ(program.image.flash, written.flash);
    EXPECT_EQ(program.image.eeprom, written.eeprom);
    EXPECT_EQ(program.image.user_ids, written.user_ids);
    EXPECT_EQ(form.label_id[1]->text(), "000A");
    EXPECT_TRUE(form.tabla_flash->rows().first().startsWith("000000: 2805 0123 3FFF"));

    EXPECT_TRUE(run(2).startsWith("Chip erased. "));
    EXPECT_TRUE(run(3).startsWith("Chip is blank. "));
}

// A "Board Vpp" outside the model's window is asked about before anything reaches
// the board, with "No" the default; "No" leaves the chip untouched, "Yes" goes on.
// Above the model's window the board's Vpp is refused outright, whatever the
// answer; below it (the chip stays out of programming mode, unharmed) it is asked.
TEST_F(WindowOperations, BoardVppAboveTheWindowIsRefusedAndBelowItAsked) {
    int model_722 = 0;
    for (int n = 1; n <= program.database.model_count(); ++n) {
        if (program.database.model(n).name == "PIC16F722") {
            model_722 = n;
        }
    }
    store->put_string(QStringLiteral("Board Vpp"), QStringLiteral("13"));
    use_serial_link(2);
    Form1& form = open_window(QString::number(model_722));
    EXPECT_TRUE(form.label_ime->toolTip().startsWith(
        "Vpp: 8.0-9.0 V, Vdd: 1.8-5.5 V (erase 2.7-5.5 V). Family: 16F722-727, 6-bit "
        "commands. Click to change"))
        << form.label_ime->toolTip().toStdString();
    program.image.set_flash_word(0, 0x2805);

    for (const int answer : {message_result::kNo, message_result::kYes}) {
        messages.clear();
        message_answer = answer;
        form.Command[0]->click();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].kind, message_kind::kError);
        EXPECT_TRUE(messages[0].text.startsWith(
            "The board's Vpp is 13.0 V, above the window of PIC16F722 (8.0-9.0 V): it can "
            "damage the chip.\r\nTurn the Vpp trimmer down to 8.5-8.8 V"))
            << messages[0].text.toStdString();
        EXPECT_EQ(form.status_text(), "Voltages refused.");
        EXPECT_TRUE(form.Command[0]->isEnabled());
        EXPECT_EQ(program.runner.operation_steps, 0u) << "nothing may reach the board";
    }

    store->put_string(QStringLiteral("Board Vpp"), QStringLiteral("7.5"));
    program.board_vpp = 7.5;
    messages.clear();
    message_answer = message_result::kNo;
    form.Command[0]->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, message_kind::kQuestion | message_kind::kDefaultButton2);
    EXPECT_TRUE(messages[0].text.startsWith(
        "The board's Vpp of 7.5 V is outside the window of PIC16F722 (8.0-9.0 V).\r\n"))
        << messages[0].text.toStdString();
    EXPECT_EQ(form.status_text(), "Program all cancelled.");

    messages.clear();
    message_answer = message_result::kYes;
    EXPECT_TRUE(run(0).startsWith("Chip programmed. ")) << form.status_text().toStdString();
    EXPECT_EQ(messages.size(), 1u);
}

// "Send-Ahead Window" = "Automatic": the window measures the board before its
// Verify and keeps the result for the port; without it the window stays lock-step.
TEST_F(WindowOperations, AnAutomaticWindowIsMeasuredOncePerPort) {
    use_serial_link(2);
    // Lock-step chosen (the default is automatic).
    store->put_number(QString::fromLatin1(setting_names::send_ahead_window), 0);
    Form1& form = open_window(QString::number(model_number));
    EXPECT_TRUE(run(2).startsWith("Chip erased. "));
    EXPECT_TRUE(run(3).startsWith("Chip is blank. "));
    EXPECT_EQ(program.runner.window, 0);
    EXPECT_FALSE(program.send_ahead_memory.find(2, program.link.baud_text));

    // A board of the original protocol: it declares no buffer, so the window is
    // measured (a board that identifies itself gives its own).
    link->MSComm1.virtual_port()->board().set_plain(true);
    forget_the_identified_board();
    store->put_string(QString::fromLatin1(setting_names::send_ahead_window),
                      QStringLiteral("automatic"));
    EXPECT_TRUE(run(2).startsWith("Chip erased. "));  // gains nothing: not measured
    EXPECT_FALSE(program.send_ahead_memory.find(2, program.link.baud_text));
    EXPECT_TRUE(run(3).startsWith("Chip is blank. ")) << form.status_text().toStdString();
    const auto measured = program.send_ahead_memory.find(2, program.link.baud_text);
    ASSERT_TRUE(measured.has_value());
    EXPECT_EQ(measured->window, kAutoWindowMax);
    EXPECT_EQ(measured->source, SendAheadChoice::Source::Measured);
    EXPECT_EQ(program.runner.window, kAutoWindowMax);

    store->put_string(QString::fromLatin1(setting_names::send_ahead_window), QStringLiteral("64"));
    EXPECT_TRUE(run(3).startsWith("Chip is blank. "));
    EXPECT_EQ(program.runner.window, 0) << "numbers are the tool's; the window stays lock-step";
}

// The status bar says how the link runs, from the same choice as the operation's
// "Send-ahead: ..." text: when the port opens, when the settings change and
// once the probe has measured.
TEST_F(WindowOperations, TheStatusBarSaysHowTheLinkRuns) {
    use_serial_link(2);
    Form1& form = open_window(QString::number(model_number));
    ASSERT_EQ(program.board_answer, BoardAnswer::Identified);
    ASSERT_TRUE(program.board.has_value());
    const QString declared =
        QStringLiteral("Fast, window %1 (board's buffer)").arg(program.board->send_ahead_window());
    EXPECT_EQ(form.label_link->text(), declared) << "the default is automatic";

    form.send_ahead_choices->actions()[0]->trigger();
    EXPECT_EQ(form.label_link->text(), "Lock-step");
    form.menufastlink->setChecked(true);
    EXPECT_EQ(form.label_link->text(), "Fast, lock-step");
    form.menufastlink->setChecked(false);
    form.send_ahead_choices->actions()[1]->trigger();
    EXPECT_EQ(form.label_link->text(), declared);

    // A board of the original protocol declares nothing: the Verify measures.
    link->MSComm1.virtual_port()->board().set_plain(true);
    forget_the_identified_board();
    EXPECT_TRUE(run(3).startsWith("Chip is blank. ")) << form.status_text().toStdString();
    EXPECT_EQ(form.label_link->text(),
              QStringLiteral("Fast, window %1 (measured)").arg(kAutoWindowMax));

    // Lost answers put the port to lock-step until it is opened again.
    // (Fast Link off, as the menu has it once the run's own fast link is over.)
    program.auto_window = true;
    program.runner.window = kAutoWindowMax;
    program.runner.fast_link = false;
    note_send_ahead_failure(program);
    program.engine_host().set_status_text("Programmer not responding!");
    EXPECT_EQ(form.label_link->text(), "Lock-step (answers lost)");

    // A closed port has no link to show.
    link->close_port();
    program.engine_host().set_status_text("Serial port COM2 closed.");
    EXPECT_EQ(form.label_link->text(), "");
}

TEST_F(WindowOperations, FailedVerifyShowsTheMismatchReport) {
    use_serial_link(2);
    Form1& form = open_window(QString::number(model_number));
    program.image.set_flash_word(7, 0x0000);
    form.menuoperation[4]->trigger();  // the "&Tools" entry starts the same operation
    ASSERT_TRUE(wait_for_result());
    EXPECT_TRUE(form.status_text().startsWith("Chip verify failed. "));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, 16);
    EXPECT_TRUE(messages[0].text.startsWith("Chip verify failed:\r\n\r\n"))
        << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.endsWith("\r\n1 mismatch in all.")) << "the total count";

    // A chip that differs everywhere: the check stops at the limit and says so.
    for (int i = 0; i < 64; ++i) {
        program.image.set_flash_word(i, 0x0000);
    }
    messages.clear();
    form.menuoperation[4]->trigger();
    ASSERT_TRUE(wait_for_result());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(
        messages[0].text.endsWith("\r\n25 mismatches: the check stops there, there may be more."))
        << messages[0].text.toStdString();
}

// A code-protected build programmed from the window: its Verify compares the
// configuration word and the user IDs, and says that program memory is hidden
// instead of a mismatch at every word.
TEST_F(WindowOperations, VerifyOfAProtectedChipSaysWhatItCannotRead) {
    ConfigFieldTable fields;
    ASSERT_TRUE(load_config_fields(CORVANEL_SOURCE_DIR "/data/corvanelconfig.txt", fields).ok);
    install_config_field_table(&fields);
    use_serial_link(2);
    Form1& form = open_window(QString::number(model_number));
    program.image.set_flash_word(0, 0x2805);
    program.image.config1 = 0x1F62;  // _CP_ON
    program.image.user_ids = {1, 2, 3, 4};
    EXPECT_TRUE(run(0).startsWith("Chip programmed. ")) << form.status_text().toStdString();

    messages.clear();
    EXPECT_TRUE(run(4).startsWith("Code protection is on: program memory cannot be read. "))
        << form.status_text().toStdString();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, 64);
    EXPECT_EQ(messages[0].text, "Code protection is on: program memory cannot be read.");

    // The user IDs are still read and compared.
    program.image.user_ids[3] = 5;
    messages.clear();
    EXPECT_TRUE(run(4).startsWith("Chip verify failed. "));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains("ID Word 2003h,   0004h,   0005h,"))
        << messages[0].text.toStdString();
    install_config_field_table(nullptr);
}

// The "Program anyway?" question belongs to the buffer of a file with data
// outside the model; a Read All replaces that buffer with the chip's.
TEST_F(WindowOperations, ReadAllEndsTheOutOfRangeQuestion) {
    use_serial_link(2);
    Form1& form = open_window(QString::number(model_number));
    chosen_path = write_file(QStringLiteral("big.hex"),
                             ":020000000528D1\r\n:02200000FF3FA0\r\n:00000001FF\r\n");
    form.menuopen->trigger();
    ASSERT_EQ(messages.size(), 1u);
    messages.clear();
    message_answer = 7;  // No
    form.Command[0]->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.endsWith("Program anyway?"));
    EXPECT_EQ(form.status_text(), "Program all cancelled.");

    messages.clear();
    EXPECT_TRUE(run(1).startsWith("Chip read. "));
    EXPECT_TRUE(run(0).startsWith("Chip programmed. "));
    EXPECT_TRUE(messages.empty());
}

// A file cut short at a line boundary loads as it is; Program All and Verify
// ask first, and "No" leaves the chip alone. Read All makes the buffer whole.
TEST_F(WindowOperations, AsksBeforeProgrammingAFileWithoutItsEndRecord) {
    use_serial_link(2);
    Form1& form = open_window(QString::number(model_number));
    const QString cut = folder.filePath(QStringLiteral("cut.hex"));
    QFile file(cut);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(":0400000005282301AB\r\n");
    file.close();
    form.open_hex_file(cut);
    ASSERT_TRUE(form.status_text().startsWith("Operation completed. Total 2 "));
    const QString question =
        QStringLiteral("The file has no end record: it may be cut short.\r\nContinue?");

    for (const int button : {0, 4}) {
        messages.clear();
        message_answer = message_result::kNo;
        form.Command[button]->click();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, question);
        EXPECT_EQ(messages[0].kind, message_kind::kQuestion);
        EXPECT_FALSE(program.runner.running());
        EXPECT_TRUE(form.Command[button]->isEnabled());
    }
    messages.clear();
    message_answer = message_result::kYes;
    EXPECT_TRUE(run(0).startsWith("Chip programmed. ")) << form.status_text().toStdString();
    ASSERT_EQ(messages.size(), 1u);

    messages.clear();
    EXPECT_TRUE(run(1).startsWith("Chip read. "));
    EXPECT_TRUE(run(4).startsWith("Chip verified. "));
    EXPECT_TRUE(messages.empty()) << "a buffer read from the chip is whole";
}

// With "Verify Read" set, Read All goes on with a Verify against what was read.
TEST_F(WindowOperations, VerifyReadComparesTheChipWithWhatWasRead) {
    store->put_number(QStringLiteral("Verify Read"), 1);
    use_serial_link(2);
    Form1& form = open_window(QString::number(model_number));
    program.image.set_flash_word(0, 0x2805);
    EXPECT_TRUE(run(0).startsWith("Chip programmed. "));
    form.menuclear->trigger();
    form.Command[1]->click();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (form.status_text().startsWith(QStringLiteral("Chip verif"))) {
            loop.quit();
        }
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    poll.start(10);
    loop.exec();
    EXPECT_TRUE(form.status_text().startsWith("Chip verified. "))
        << form.status_text().toStdString();
    EXPECT_EQ(program.image.flash_word(0), 0x2805);
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowOperations, TestVppLocksTheCommandsUntilClickedAgain) {
    use_serial_link(2);
    Form1& form = open_window(QString::number(model_number));
    QTest::mouseClick(form.label_vpp, Qt::LeftButton);
    EXPECT_EQ(form.status_text(), "Vpp and Vdd voltages turned ON!");
    EXPECT_FALSE(form.Command[0]->isEnabled());
    EXPECT_TRUE(form.label_vpp->isEnabled());
    QTest::mouseClick(form.label_vpp, Qt::LeftButton);
    EXPECT_EQ(form.status_text(), "Vpp and Vdd voltages turned OFF!");
    EXPECT_TRUE(form.Command[0]->isEnabled());
}

// Everything a person might click while an operation runs. Each is refused
// with the same status text and changes neither the image, the model nor the
// port; the operation's result is what it is without the clicks.
class OperationOwnership : public WindowOperations {
protected:
    void SetUp() override {
        WindowOperations::SetUp();
        use_serial_link(2);
        open_window(QString::number(model_number));
        window->set_model_chooser([this] { ++chooser_opened; });
        chosen_path = folder.filePath(QStringLiteral("never-opened.hex"));
    }

    [[nodiscard]] std::string chip() const {
        return chip_state_hex(link->MSComm1.virtual_port()->board().chip());
    }

    // Clicks everything, `rounds` times, each time the event loop runs during
    // the operation started by `button`; answers the result text.
    QString run_with_clicks(int button, int rounds) {
        Form1& form = *window;
        int done = 0;
        QTimer clicker;
        clicker.setInterval(0);
        QObject::connect(&clicker, &QTimer::timeout, &clicker, [&] {
            if (done >= rounds || !program.runner.running()) {
                return;
            }
            ++done;
            for (ClickLabel* label :
                 {form.Label1, form.label_ime, form.label_info, form.label_hex, form.Label7,
                  form.label_vpp, form.label_conf[0], form.label_conf[1], form.label_id[0]}) {
                emit label->clicked();
                refusals += form.status_text() == QStringLiteral("Operation in progress.") ? 1 : 0;
            }
            emit form.label_vpp->clicked();  // twice: on and off again, once it was a toggle
            emit form.tabla_flash->right_released(QPoint(70, 5));
            emit form.tabla_eeprom->right_released(QPoint(70, 5));
            form.unosbox->setText(QStringLiteral("0"));
            form.unosbox_Enter();
            form.menuclear_Click();
            form.menumodel_Click();
            form.menuopen_Click();
            form.open_hex_file(chosen_path);
            // An operation button pressed while another runs.
            emit form.Command[1]->clicked();
            busy_said += form.status_text() == QStringLiteral("Operation in progress.") ? 1 : 0;
        });
        clicker.start();
        const QString result = run(button);
        clicker.stop();
        EXPECT_GT(done, 0) << "the clicks came while the operation ran";
        return result;
    }

    int chooser_opened = 0;
    int refusals = 0;
    int busy_said = 0;
};

TEST_F(OperationOwnership, ClicksDuringProgramAllChangeNothing) {
    Form1& form = *window;
    for (int i = 0; i < 64; ++i) {
        program.image.set_flash_word(i, 0x2800 + i);
    }
    program.image.set_eeprom_byte(5, 0xA5);
    program.image.config1 = 0x2162;
    const MemoryImage image = program.image;

    ASSERT_TRUE(run(0).startsWith("Chip programmed. "));
    const std::string quiet_chip = chip();
    ASSERT_TRUE(run(2).startsWith("Chip erased. "));

    EXPECT_TRUE(run_with_clicks(0, 20).startsWith("Chip programmed. "))
        << form.status_text().toStdString();
    EXPECT_EQ(chip(), quiet_chip);
    EXPECT_EQ(program.image.flash, image.flash);
    EXPECT_EQ(program.image.eeprom, image.eeprom);
    EXPECT_EQ(program.image.config1, image.config1);
    EXPECT_EQ(refusals, 20 * 9);
    EXPECT_EQ(busy_said, 20);
    EXPECT_EQ(chooser_opened, 0);
    EXPECT_TRUE(chooser_calls.empty());
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(program.link.vpp_test_on);
    EXPECT_FALSE(form.unosbox->isVisible());
    EXPECT_TRUE(run(4).startsWith("Chip verified. ")) << form.status_text().toStdString();
}

TEST_F(OperationOwnership, ClicksDuringReadAllChangeNothing) {
    Form1& form = *window;
    for (int i = 0; i < 2048; i += 7) {
        program.image.set_flash_word(i, i & 0x3FFF);
    }
    program.image.set_eeprom_byte(127, 0x11);
    ASSERT_TRUE(run(0).startsWith("Chip programmed. "));
    const MemoryImage programmed = program.image;

    form.menuclear_Click();
    ASSERT_TRUE(run(1).startsWith("Chip read. "));
    const MemoryImage quiet_read = program.image;
    EXPECT_EQ(quiet_read.flash, programmed.flash);

    form.menuclear_Click();
    EXPECT_TRUE(run_with_clicks(1, 30).startsWith("Chip read. "))
        << form.status_text().toStdString();
    EXPECT_EQ(program.image.flash, quiet_read.flash);
    EXPECT_EQ(program.image.eeprom, quiet_read.eeprom);
    EXPECT_EQ(program.image.config1, quiet_read.config1);
    EXPECT_EQ(chooser_opened, 0);
    EXPECT_FALSE(program.link.vpp_test_on);
    EXPECT_TRUE(form.Command[0]->isEnabled());
}

// A device file whose script would loop: the window ends the operation with a
// result, voltages off, and the commands unlocked.
TEST_F(WindowOperations, LoopingScriptEndsInBoundedTime) {
    use_serial_link(2);
    Form1& form = open_window(QString::number(model_number));
    program.model.program_list = {"begin",     "setflashloop", "s02-flash", "s06", "loop",
                                  "s02-flash", "s06",          "loop",      "end"};
    EXPECT_TRUE(run(0).startsWith("Chip programmed. ")) << form.status_text().toStdString();
    EXPECT_FALSE(link->MSComm1.virtual_port()->board().voltages_on());
    EXPECT_TRUE(form.Command[0]->isEnabled());
}

}  // namespace
}  // namespace corvanel::test
