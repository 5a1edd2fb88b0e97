// SPDX-License-Identifier: GPL-3.0-or-later
// The window a user can trust with a chip and a buffer: closing or stopping an
// operation leaves the chip unpowered and the buffer as it was, and the buffer
// is only given up when the model really changes or the user says so.

#include <QAction>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>

#include "core/engine/board_identify.h"
#include "core/engine/chip_operations.h"
#include "core/image/intel_hex_writer.h"
#include "gui/devices/model_chooser.h"
#include "gui/dialogs/input_box.h"
#include "gui/ui/memory_table.h"
#include "gui/widgets/click_label.h"
#include "platform/link/virtual_port.h"
#include "support/main_window_fixture.h"
#include "support/shipped_database.h"

namespace corvanel::test {
namespace {

const QString kStopQuestion = QStringLiteral("An operation is running. Stop it and close?");
const QString kSaveQuestion = QStringLiteral("Save the buffer first?");
// 2805h at 0000h and 0123h at 0001h.
const QByteArray kSmallHex = ":0400000005282301AB\n:00000001FF\n";

class WindowSafety : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        ASSERT_EQ(load_shipped_database(program.database).status, DatabaseStatus::Loaded);
        model_number = test::model_number(program.database, "PIC16F628A");
        ASSERT_GT(model_number, 0);
        // Each question gets its own answer; every message is recorded.
        set_message_box_interceptor([this](const QString& text, int kind, const QString& caption) {
            messages.push_back({text, kind, caption});
            if (text == kStopQuestion) {
                return stop_answer;
            }
            if (text == kSaveQuestion) {
                return save_answer;
            }
            return message_result::kOk;
        });
        use_serial_link(2);
        open_window(QString::number(model_number));
        // A first start on the virtual board also says what to try.
        ASSERT_TRUE(
            window->status_text().startsWith("Serial port COM2 ready... the virtual board."));
    }

    // Runs the event loop until `done` holds or the time is up.
    static bool run_until(const std::function<bool()>& done, int milliseconds = 60000) {
        QEventLoop loop;
        QTimer poll;
        bool reached = false;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (done()) {
                reached = true;
                loop.quit();
            }
        });
        QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
        poll.start(0);  // at every event pass: the in-process board is quick
        loop.exec();
        return reached;
    }

    [[nodiscard]] bool board_powered() const {
        return link->MSComm1.virtual_port()->board().voltages_on();
    }

    [[nodiscard]] int count(const QString& text) const {
        int n = 0;
        for (const ShownMessage& message : messages) {
            n += message.text == text ? 1 : 0;
        }
        return n;
    }

    // Nothing runs, nothing is powered, and the window would start the next
    // operation at once.
    void expect_idle_and_unpowered() const {
        EXPECT_FALSE(program.runner.running());
        EXPECT_FALSE(program.runner.in_step());
        EXPECT_FALSE(program.stop_requested);
        EXPECT_FALSE(program.image_before_read.has_value());
        EXPECT_FALSE(program.link.vpp_test_on);
        EXPECT_FALSE(board_powered());
        EXPECT_TRUE(window->Command[0]->isEnabled());
        EXPECT_FALSE(window->command_stop->isEnabled());
    }

    int model_number = 0;
    int stop_answer = message_result::kNo;
    int save_answer = message_result::kNo;
};

enum class Way { Close, StopButton, Escape };

struct StopCase {
    const char* name;
    int button;  // 0 Program All, 1 Read All, -1 "Test Vpp"
    Way way;
    int answer;                // to "Stop it and close?"
    const char* final_status;  // what the status line says at the end
    bool closed;
    bool partly_written_said;
};

TEST_F(WindowSafety, ClosingOrStoppingLeavesTheChipUnpoweredAndTheBufferAsItWas) {
    const StopCase cases[] = {
        {"close during Program All, Yes", 0, Way::Close, message_result::kYes, "Operation stopped.",
         true, false},
        {"close during Read All, Yes", 1, Way::Close, message_result::kYes, "Operation stopped.",
         true, false},
        {"close during Read All, No", 1, Way::Close, message_result::kNo, "Chip read. ", false,
         false},
        {"Stop during Read All", 1, Way::StopButton, 0, "Operation stopped.", false, false},
        {"Escape during Program All", 0, Way::Escape, 0, "Operation stopped.", false, true},
        {"close with Test Vpp on, Yes", -1, Way::Close, message_result::kYes,
         "Vpp and Vdd voltages turned OFF!", true, false},
    };
    for (const StopCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (!window->isVisible()) {
            link->close_port();  // as the program's end would
            open_window(QString::number(model_number));
        }
        messages.clear();
        stop_answer = c.answer;
        // A buffer that came from a file (nothing to save when the window
        // closes), as long as the chip, so that Program All takes a while.
        MemoryImage full = program.image;
        for (int i = 0; i < full.flash_size; ++i) {
            full.set_flash_word(i, (i * 7) & 0x3FFF);
        }
        window->open_hex_file(write_file(QStringLiteral("full.hex"),
                                         QByteArray::fromStdString(write_hex_text(full))));
        ASSERT_EQ(program.image.flash, full.flash);
        ASSERT_TRUE(window->label_hex->text().endsWith("full.hex"));
        const MemoryImage previous = program.image;

        bool stop_was_enabled = false;
        const auto act = [&] {
            stop_was_enabled = window->command_stop->isEnabled();
            switch (c.way) {
                case Way::Close:
                    window->close();
                    break;
                case Way::StopButton:
                    window->command_stop->click();
                    break;
                case Way::Escape:
                    QTest::keyClick(window->tabla_flash, Qt::Key_Escape);
                    break;
            }
        };
        if (c.button >= 0) {
            // The action comes in the event pass the engine gives after a
            // command, well under way (past the device ID check): the user's
            // click arrives while a step runs, as it does on a real board.
            bool acted = false;
            const std::function<void()> pass = program.link.process_events;
            program.link.process_events = [&] {
                pass();
                if (!acted && program.runner.running() && program.runner.operation_steps > 40) {
                    acted = true;
                    act();
                }
            };
            window->Command[static_cast<std::size_t>(c.button)]->click();
            ASSERT_TRUE(run_until([&] { return acted; })) << window->status_text().toStdString();
            program.link.process_events = pass;
        } else {
            emit window->label_vpp->clicked();
            ASSERT_TRUE(board_powered());
            act();
        }
        EXPECT_TRUE(stop_was_enabled);
        // A close asked during a step waits for the stop; the window closes after it.
        ASSERT_TRUE(run_until([&] {
            return window->status_text().startsWith(c.final_status) &&
                   window->isVisible() == !c.closed;
        })) << window->status_text().toStdString()
            << " after " << messages.size() << " messages, the first: "
            << (messages.empty() ? std::string() : messages.front().text.toStdString());
        QApplication::processEvents();  // a message shown after the status line

        EXPECT_EQ(count(kStopQuestion), c.way == Way::Close ? 1 : 0);
        for (const ShownMessage& message : messages) {
            if (message.text == kStopQuestion) {
                EXPECT_EQ(message.kind, message_kind::kQuestion | message_kind::kDefaultButton2);
            }
        }
        EXPECT_EQ(window->isVisible(), !c.closed);
        EXPECT_EQ(count(kSaveQuestion), 0) << "the buffer came from a file";
        const bool partly = std::any_of(messages.begin(), messages.end(), [](const auto& m) {
            return m.text.contains(QStringLiteral("only partly written"));
        });
        EXPECT_EQ(partly, c.partly_written_said);
        expect_idle_and_unpowered();
        if (c.final_status == std::string("Chip read. ")) {
            EXPECT_EQ(window->label_hex->text(), "") << "the buffer is the chip now";
        } else {
            EXPECT_EQ(program.image.flash, previous.flash);
            EXPECT_EQ(program.image.eeprom, previous.eeprom);
            EXPECT_EQ(program.image.config1, previous.config1);
        }
    }
}

enum class ChooserAction { Cancel, SelectSame, SelectOther };

struct ChooserCase {
    const char* name;
    ChooserAction action;
    bool edited;      // the buffer differs from the file it was loaded from
    int save_answer;  // to "Save the buffer first?"
    bool save_to_file;
    bool asked;
    bool model_changes;
};

TEST_F(WindowSafety, TheBufferGoesOnlyWithARealModelChangeAndAfterAsking) {
    const ChooserCase cases[] = {
        {"Cancel keeps an edited buffer", ChooserAction::Cancel, true, 0, false, false, false},
        {"Select of the same model", ChooserAction::SelectSame, true, 0, false, false, false},
        {"another model, buffer as loaded", ChooserAction::SelectOther, false, 0, false, false,
         true},
        {"another model, edited, not saved", ChooserAction::SelectOther, true, message_result::kNo,
         false, true, true},
        {"another model, edited, saved first", ChooserAction::SelectOther, true,
         message_result::kYes, true, true, true},
        {"another model, edited, save cancelled", ChooserAction::SelectOther, true,
         message_result::kYes, false, true, false},
    };
    const QString hex_path = write_file(QStringLiteral("small.hex"), kSmallHex);
    for (const ChooserCase& c : cases) {
        SCOPED_TRACE(c.name);
        store->put_string(QStringLiteral("Microcontroller Model"), QString::number(model_number));
        program.selected_model = model_number;
        (void)apply_model(program.database, model_number, program.model, program.image);
        window->open_hex_file(hex_path);
        if (c.edited) {
            program.image.set_flash_word(9, 0x1234);
        }
        messages.clear();
        save_answer = c.save_answer;
        const QString saved = folder.filePath(QStringLiteral("saved-%1").arg(&c - cases));
        chosen_path = c.save_to_file ? saved : QString();
        const MemoryImage before = program.image;

        const int other = model_number == 1 ? 2 : model_number - 1;
        QTimer::singleShot(0, window.get(), [&] {
            auto* chooser = qobject_cast<Form5*>(QApplication::activeModalWidget());
            ASSERT_NE(chooser, nullptr);
            switch (c.action) {
                case ChooserAction::Cancel:
                    chooser->opcija_Click(other);
                    chooser->Command2_Click();
                    break;
                case ChooserAction::SelectSame:
                    chooser->opcija_DblClick(model_number);
                    break;
                case ChooserAction::SelectOther:
                    chooser->opcija_DblClick(other);
                    break;
            }
        });
        window->menumodel_Click();

        EXPECT_EQ(count(kSaveQuestion), c.asked ? 1 : 0);
        EXPECT_EQ(program.selected_model, c.model_changes ? other : model_number);
        EXPECT_EQ(store->get_string(QStringLiteral("Microcontroller Model"), {}),
                  QString::number(program.selected_model));
        if (c.model_changes) {
            EXPECT_EQ(program.image.flash_word(0), 0x3FFF) << "cleared in the new model's shape";
            EXPECT_EQ(window->label_hex->text(), "");
        } else {
            EXPECT_EQ(program.image.flash, before.flash) << "the buffer is kept";
            EXPECT_EQ(program.model.model_name, "PIC16F628A");
        }
        // "Save Buffer As" adds the extension a name lacks.
        EXPECT_EQ(QFileInfo::exists(saved + QStringLiteral(".hex")), c.save_to_file);
    }
}

// Open HEX File from its shortcut, as a user works: edits in the buffer are
// never dropped without the question that Reload and Recent Files ask.
TEST_F(WindowSafety, CtrlOAsksBeforeEditsAreReplaced) {
    struct Case {
        const char* name;
        bool edited;
        bool file_chosen;  // the Open dialog gives a file (else it is cancelled)
        int save_answer;
        bool saved_as;  // the Save dialog gives a name (Yes)
        bool asked;
        bool opened;
    };
    const Case cases[] = {
        {"edited, No: opened", true, true, message_result::kNo, false, true, true},
        {"edited, Yes, saved: opened", true, true, message_result::kYes, true, true, true},
        {"edited, Yes, save cancelled: kept", true, true, message_result::kYes, false, true, false},
        {"edited, Open cancelled: nothing asked", true, false, message_result::kNo, false, false,
         false},
        {"as loaded: opened at once", false, true, message_result::kNo, false, false, true},
    };
    const QString first = write_file(QStringLiteral("first.hex"), kSmallHex);
    const QString second =
        write_file(QStringLiteral("second.hex"), ":020000000A28CC\n:00000001FF\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window->open_hex_file(first);
        if (c.edited) {
            program.image.set_flash_word(9, 0x1234);
        }
        const QString saved = folder.filePath(QStringLiteral("saved-%1.hex").arg(&c - cases));
        set_file_chooser([&](FileChooserMode mode, const QString&, const QString&, const QString&) {
            if (mode == FileChooserMode::Save) {
                return c.saved_as ? saved : QString();
            }
            return c.file_chosen ? second : QString();
        });
        messages.clear();
        save_answer = c.save_answer;
        QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
        EXPECT_EQ(count(kSaveQuestion), c.asked ? 1 : 0);
        EXPECT_EQ(window->loaded_file(), c.opened ? second : (c.saved_as ? saved : first));
        EXPECT_EQ(program.image.flash_word(0), c.opened ? 0x280A : 0x2805);
        EXPECT_EQ(program.image.flash_word(9), c.opened ? 0x3FFF : (c.edited ? 0x1234 : 0x3FFF));
        EXPECT_EQ(QFileInfo::exists(saved), c.saved_as);
    }
}

// A virtual board whose chip state file holds another chip: the status line
// and the refused operation say what is wrong and what to do, and choosing the
// model the file was saved for starts the board.
TEST_F(WindowSafety, AVirtualBoardWithAnotherChipsStateSaysWhatToDo) {
    // 1234h at word 1000h: on a PIC16F1847 (8192 words), beyond a PIC16F628A (2048).
    const QString state_file =
        write_file(QStringLiteral("state.hex"), ":02200000341298\r\n:00000001FF\r\n");
    {
        QFile com2(folder.filePath(QStringLiteral("ports/COM2")));
        ASSERT_TRUE(com2.open(QIODevice::WriteOnly | QIODevice::Truncate));
        com2.write(("virtual:" + state_file).toUtf8());
    }
    link->close_port();
    EXPECT_FALSE(link->open_configured_port());
    const QString why =
        QStringLiteral(
            "The virtual board's chip state file %1 was saved for another chip than the "
            "PIC16F628A (line 1: address 002000h is not on this chip). Choose the model it was "
            "saved for, or move the file away to start with a blank PIC16F628A.")
            .arg(QDir::toNativeSeparators(state_file));
    EXPECT_EQ(window->status_text(), QStringLiteral("Serial port COM2 error! ") + why);
    window->Command[0]->click();
    EXPECT_EQ(window->status_text(), QStringLiteral("Serial port 2 error! ") + why);

    const int f1847 = test::model_number(program.database, "PIC16F1847");
    ASSERT_GT(f1847, 0);
    window->set_model_chooser([&] {
        program.selected_model = f1847;
        (void)apply_model(program.database, f1847, program.model, program.image);
    });
    window->menumodel_Click();
    EXPECT_TRUE(program.link.port_ready) << window->status_text().toStdString();
    EXPECT_TRUE(program.link.port_fault.empty());
    window->Command[1]->click();
    ASSERT_TRUE(run_until([&] { return window->status_text().startsWith("Chip read. "); }))
        << window->status_text().toStdString();
    EXPECT_EQ(program.image.flash_word(0x1000), 0x1234) << "the board started from the file";
}

TEST_F(WindowSafety, AFailedLoadKeepsTheBufferAndClosingAsksToSaveEditsOrARead) {
    Form1& form = *window;
    form.open_hex_file(write_file(QStringLiteral("small.hex"), kSmallHex));
    program.image.set_eeprom_byte(4, 0x42);  // an edit after loading
    const MemoryImage edited = program.image;

    form.open_hex_file(write_file(QStringLiteral("bad.hex"), ":0400000005282301AC\n"));
    EXPECT_FALSE(messages.empty()) << "the reader's message is shown";
    EXPECT_EQ(form.status_text(), "HEX file not loaded!");
    EXPECT_EQ(program.image.flash, edited.flash);
    EXPECT_EQ(program.image.eeprom, edited.eeprom);
    EXPECT_TRUE(form.label_hex->text().endsWith("small.hex"));

    // No: the window stays open with its buffer; answering the save question
    // with a name writes the file and then closes.
    messages.clear();
    save_answer = message_result::kYes;
    chosen_path.clear();  // the save dialog is cancelled
    form.close();
    EXPECT_EQ(count(kSaveQuestion), 1);
    EXPECT_TRUE(form.isVisible());
    chosen_path = folder.filePath(QStringLiteral("kept.hex"));
    form.close();
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(QFileInfo::exists(chosen_path));
    EXPECT_FALSE(board_powered());

    // A Read All that was not saved counts as unsaved data too.
    link->close_port();
    Form1& again = open_window(QString::number(model_number));
    again.menuclear_Click();
    ASSERT_FALSE(again.buffer_unsaved());
    program.image.set_flash_word(0, 0x0777);
    again.Command[0]->click();
    ASSERT_TRUE(run_until([&] { return again.status_text().startsWith("Chip programmed. "); }))
        << again.status_text().toStdString();
    again.menuclear_Click();
    again.Command[1]->click();
    ASSERT_TRUE(run_until([&] { return again.status_text().startsWith("Chip read. "); }));
    EXPECT_TRUE(again.buffer_unsaved());
    messages.clear();
    save_answer = message_result::kNo;
    window->close();
    EXPECT_EQ(count(kSaveQuestion), 1);
    EXPECT_FALSE(window->isVisible()) << "No: closed without saving";
}

}  // namespace
}  // namespace corvanel::test

namespace corvanel::test {
namespace {

// The window's own ways to power the chip outside an operation: Test Vpp and
// Tools > Identify Chip. Every question is answered Yes, as a hasty user would.
class WindowSupplyGuard : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        ASSERT_EQ(load_shipped_database(program.database).status, DatabaseStatus::Loaded);
        message_answer = message_result::kYes;
        use_serial_link(2);
    }

    void expect_refused(const char* chip, double vpp, double vdd, const char* says) {
        open_window(QString::number(model_number(program.database, chip)));
        ASSERT_NE(link->MSComm1.virtual_port(), nullptr);
        VirtualBoard& board = link->MSComm1.virtual_port()->board();
        board.set_vpp(vpp);
        board.set_vdd(vdd);
        ASSERT_EQ(identify_board(program), BoardAnswer::Identified);

        messages.clear();
        emit window->label_vpp->clicked();
        QApplication::processEvents();
        EXPECT_FALSE(program.link.vpp_test_on);
        EXPECT_FALSE(board.voltages_on());
        EXPECT_EQ(window->status_text(), "Voltages refused.");
        ASSERT_EQ(messages.size(), 1U);
        EXPECT_TRUE(messages[0].text.contains(QString::fromLatin1(says)))
            << messages[0].text.toStdString();
        EXPECT_EQ(messages[0].kind & 0xFF, message_kind::kError);
        EXPECT_TRUE(window->Command[0]->isEnabled());

        messages.clear();
        window->menuidentify->trigger();
        QApplication::processEvents();
        EXPECT_FALSE(program.runner.running());
        EXPECT_FALSE(board.voltages_on());
        EXPECT_EQ(window->status_text(), "Voltages refused.");
        ASSERT_EQ(messages.size(), 1U);
        EXPECT_TRUE(messages[0].text.contains(QString::fromLatin1(says)));
    }
};

// "Change Board Vdd" reaches the open virtual board (its identify reports the
// new supply), and a Vdd that writes but cannot erase the 16F628A is said.
TEST_F(WindowSupplyGuard, ChangeBoardVddReachesTheVirtualBoardAndNamesTheEraseWindow) {
    open_window(QString::number(model_number(program.database, "PIC16F628A")));
    ASSERT_NE(link->MSComm1.virtual_port(), nullptr);
    set_input_box_interceptor(
        [](const QString&, const QString&, const QString&) { return QStringLiteral("3.3"); });
    for (QAction* action : window->findChildren<QAction*>()) {
        if (action->text() == QStringLiteral("Change Board V&dd")) {
            action->trigger();
        }
    }
    set_input_box_interceptor({});
    EXPECT_EQ(link->MSComm1.virtual_port()->board().vdd(), 3.3);
    ASSERT_TRUE(program.board.has_value());
    EXPECT_EQ(program.board->vdd_selected_mv, 3300);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().text, "PIC16F628A: 2.0-5.5 V, erase 4.5-5.5 V: 3.3 V cannot erase");
}

TEST_F(WindowSupplyGuard, A13VoltBoardPowersNo9VoltPart) {
    expect_refused("PIC16F1847", 13.0, 5.0,
                   "The board measured a Vpp of 13.0 V, above the window of PIC16F1847 "
                   "(8.0-9.0 V)");
}

TEST_F(WindowSupplyGuard, A5VoltBoardPowersNoLfPart) {
    expect_refused("PIC16LF1554", 8.5, 5.0,
                   "The board's Vdd is 5.0 V, above the window of PIC16LF1554");
}

}  // namespace
}  // namespace corvanel::test
