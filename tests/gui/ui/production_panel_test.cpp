// SPDX-License-Identifier: GPL-3.0-or-later
// The window's production tools on the in-process board: serial numbers in
// chips programmed one after another, the log and the counters, memories of
// the chip kept through Program All (read twice and checked), Read All of
// chosen memories, a stopped Program All logged as cancelled, and a serial
// number over the file's code only on the user's word.

#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include "board/virtual_board.h"
#include "gui/ui/production_panel.h"
#include "platform/link/virtual_port.h"
#include "support/main_window_fixture.h"
#include "support/shipped_database.h"

namespace corvanel::test {
namespace {

class ProductionWindow : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        ASSERT_EQ(load_shipped_database(program.database).status, DatabaseStatus::Loaded);
        const int model = model_number(program.database, "PIC16F628A");
        ASSERT_GT(model, 0);
        use_serial_link(2);
        open_window(QString::number(model));
        // A first start on the virtual board also says what to try.
        ASSERT_TRUE(
            window->status_text().startsWith("Serial port COM2 ready... the virtual board."));
        panel = window->production;
        ASSERT_NE(panel, nullptr);
        (void)program.image.set_flash_word(0, 0x2805);
        (void)program.image.set_flash_word(1, 0x0123);
        (void)program.image.set_eeprom_byte(0, 0x12);
        program.image.config1 = 0x3F62;
    }

    Pic14Chip& chip() { return link->MSComm1.virtual_port()->board().chip(); }

    // Clicks a button and runs the event loop until the whole sequence is over.
    QString run(int button, const std::function<void()>& during = {}) {
        window->Command[static_cast<std::size_t>(button)]->click();
        QEventLoop loop;
        QTimer poll;
        bool finished = false;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (during) {
                during();
            }
            if (!panel->busy() && !program.runner.running() && !program.runner.in_step() &&
                !program.runner.completing()) {
                finished = true;
                loop.quit();
            }
        });
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        poll.start(0);
        loop.exec();
        EXPECT_TRUE(finished) << window->status_text().toStdString();
        return window->status_text();
    }

    QStringList log_lines(const QString& path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    ProductionPanel* panel = nullptr;
};

TEST_F(ProductionWindow, ChipsInARowGetConsecutiveSerialNumbers) {
    const QString log = folder.filePath(QStringLiteral("production.csv"));
    panel->set_log_path(log);
    panel->set_serial(SerialNumber{.value = 4094,
                                   .step = 3,
                                   .location = SerialLocation::RetlwTable,
                                   .address = 0x10,
                                   .byte_count = 2},
                      true);
    const MemoryImage buffer = program.image;
    for (int n = 0; n < 3; ++n) {
        // A fresh chip in the socket.
        chip().set_flash(0x10, 0x3FFF);
        chip().set_flash(0x11, 0x3FFF);
        chip().set_flash(0, 0x3FFF);
        const std::uint64_t number = 4094 + 3 * n;
        EXPECT_TRUE(run(0).startsWith(QStringLiteral("Chip programmed and verified. ")))
            << window->status_text().toStdString();
        EXPECT_EQ(chip().flash(0x10), 0x3400 | (number & 0xFF)) << n;
        EXPECT_EQ(chip().flash(0x11), 0x3400 | (number >> 8)) << n;
        EXPECT_EQ(chip().flash(0), 0x2805);
        // The buffer is the file's again; the number is only on the chip.
        EXPECT_EQ(program.image.flash, buffer.flash);
        EXPECT_EQ(panel->serial().value, number + 3);
        EXPECT_EQ(panel->counters().passed, n + 1);
        EXPECT_EQ(
            window->production->counters_label()->text(),
            QStringLiteral("Pass %1  Fail 0  Total %1  Next serial %2").arg(n + 1).arg(number + 3));
    }
    EXPECT_TRUE(window->Command[0]->isEnabled());
    EXPECT_EQ(store->find_string(QStringLiteral("Serial Number")), QStringLiteral("4103"));
    EXPECT_EQ(store->find_string(QStringLiteral("Serial Number Location")),
              QStringLiteral("F:10/2"));
    const QStringList lines = log_lines(log);
    ASSERT_EQ(lines.size(), 4) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("time,model,device_id,revision,checksum,result,serial,"
                                       "file,file_checksum,reason,port"));
    for (int n = 1; n <= 3; ++n) {
        EXPECT_TRUE(
            lines[n].contains(QStringLiteral(",PIC16F628A,1060,00,")) &&
            lines[n].section(QLatin1Char(','), 5, 5) == QStringLiteral("pass") &&
            lines[n].section(QLatin1Char(','), 6, 6) == QString::number(4094 + 3 * (n - 1)) &&
            lines[n].section(QLatin1Char(','), 8, 8) == lines[1].section(QLatin1Char(','), 8, 8) &&
            lines[n].endsWith(QLatin1Char(',')))
            << lines[n].toStdString();
    }
    EXPECT_NE(lines[1].section(QLatin1Char(','), 4, 4), lines[2].section(QLatin1Char(','), 4, 4))
        << "the serial number is part of the checksum of what was programmed";

    panel->reset_action->trigger();
    EXPECT_EQ(panel->counters().total(), 0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(ProductionWindow, KeptMemoriesStayOnTheChip) {
    chip().set_eeprom(0, 0xA5);
    chip().set_eeprom(5, 0x5A);
    panel->preserve_action->trigger();
    EXPECT_TRUE(panel->preserve_eeprom());
    EXPECT_TRUE(run(0).startsWith(QStringLiteral("Chip programmed and verified. ")))
        << window->status_text().toStdString();
    EXPECT_EQ(chip().flash(0), 0x2805);
    EXPECT_EQ(chip().eeprom(0), 0xA5);
    EXPECT_EQ(chip().eeprom(5), 0x5A);
    EXPECT_EQ(chip().config_word(1) & 0x21FF, 0x3F62 & 0x21FF);
    EXPECT_EQ(program.image.eeprom_byte(0), 0x12) << "the buffer keeps its own EEPROM";
    panel->preserve_action->trigger();

    // Program memory only: configuration and EEPROM stay as the chip has them.
    panel->region_actions[1]->trigger();
    panel->region_actions[2]->trigger();
    panel->region_actions[3]->trigger();
    EXPECT_EQ(panel->regions(), (RegionSelection{true, false, false, false}));
    EXPECT_EQ(store->find_string(QStringLiteral("Program Memories")), QStringLiteral("flash"));
    (void)program.image.set_flash_word(0, 0x2806);
    program.image.config1 = 0x3F61;
    const std::uint16_t config_before = chip().config_word(1);
    EXPECT_TRUE(run(0).startsWith(QStringLiteral("Chip programmed and verified. ")));
    EXPECT_EQ(chip().flash(0), 0x2806);
    EXPECT_EQ(chip().config_word(1), config_before);
    EXPECT_EQ(chip().eeprom(0), 0xA5);
    EXPECT_EQ(panel->counters().passed, 2);

    // Read All of the EEPROM only: the rest of the buffer stays.
    panel->region_actions[0]->trigger();
    panel->region_actions[1]->trigger();
    (void)program.image.set_flash_word(0, 0x1111);
    EXPECT_TRUE(run(1).startsWith(QStringLiteral("Chip read. ")));
    EXPECT_EQ(program.image.eeprom_byte(0), 0xA5);
    EXPECT_EQ(program.image.eeprom_byte(5), 0x5A);
    EXPECT_EQ(program.image.flash_word(0), 0x1111);
    EXPECT_EQ(program.image.config1, 0x3F61);
    EXPECT_TRUE(messages.empty());

    // A model without EEPROM: the menu does not offer it, and EEPROM alone is
    // refused before anything reaches the board (it would pass having done nothing).
    const int no_eeprom = model_number(program.database, "PIC12F609");
    ASSERT_GT(no_eeprom, 0);
    program.selected_model = no_eeprom;
    ASSERT_TRUE(apply_model(program.database, no_eeprom, program.model, program.image));
    link->follow_applied_model();
    window->menuclear->trigger();
    auto* menu = qobject_cast<QMenu*>(panel->region_actions[1]->parent());
    ASSERT_NE(menu, nullptr);
    emit menu->aboutToShow();
    EXPECT_FALSE(panel->region_actions[1]->isEnabled());
    EXPECT_FALSE(panel->preserve_action->isEnabled());
    EXPECT_TRUE(panel->region_actions[0]->isEnabled());
    const std::uint64_t steps = program.runner.operation_steps;
    for (const int button : {0, 1}) {
        EXPECT_EQ(run(button), "PIC12F609 has no EEPROM. No memory is selected for the operation.");
    }
    EXPECT_EQ(program.runner.operation_steps, steps) << "nothing may reach the board";
    EXPECT_EQ(panel->counters().passed, 2);
}

// A part whose erase takes its regions from a payload keeps its EEPROM through the
// erase: nothing is read first. A code-protected one erases every region or none,
// so its EEPROM is read and written back instead, and the run passes all the same.
TEST_F(ProductionWindow, APayloadErasePartKeepsItsEepromWithoutReadingIt) {
    const int model = model_number(program.database, "PIC16F18076");
    ASSERT_GT(model, 0);
    program.selected_model = model;
    ASSERT_TRUE(apply_model(program.database, model, program.model, program.image));
    link->follow_applied_model();
    window->menuclear->trigger();
    (void)program.image.set_flash_word(0, 0x2805);
    (void)program.image.set_eeprom_byte(0, 0x12);
    // Code protection on (CONFIG5 bit 0 clear), programmed whole.
    ASSERT_TRUE(program.image.set_config_word(5, 0x3FFE));
    EXPECT_TRUE(run(0).startsWith(QStringLiteral("Chip programmed. ")));
    ASSERT_TRUE(chip().program_protected());
    ASSERT_TRUE(program.image.set_config_word(5, 0x3FFF));
    panel->preserve_action->trigger();
    for (const bool locked : {true, false}) {
        SCOPED_TRACE(locked ? "code-protected" : "unprotected");
        chip().set_eeprom(0, 0xA5);
        chip().set_eeprom(7, 0x5A);
        bool read = false;
        EXPECT_TRUE(run(0, [&] { read = read || panel->reading_for_program(); })
                        .startsWith(QStringLiteral("Chip programmed and verified. ")))
            << window->status_text().toStdString();
        EXPECT_EQ(read, locked);
        EXPECT_FALSE(chip().program_protected());
        EXPECT_EQ(chip().flash(0), 0x2805);
        EXPECT_EQ(chip().eeprom(0), 0xA5);
        EXPECT_EQ(chip().eeprom(7), 0x5A);
    }
    EXPECT_TRUE(program.erase_keeps.none());
    EXPECT_TRUE(messages.empty()) << (messages.empty() ? std::string()
                                                       : messages.front().text.toStdString());
}

TEST_F(ProductionWindow, AStoppedProgramAllIsCancelled) {
    const QString log = folder.filePath(QStringLiteral("production.csv"));
    panel->set_log_path(log);
    panel->set_serial(SerialNumber{.value = 7,
                                   .step = 1,
                                   .location = SerialLocation::Eeprom,
                                   .address = 0x10,
                                   .byte_count = 1},
                      true);
    bool stopped = false;
    const QString status = run(0, [&] {
        if (!stopped && program.runner.running() && program.runner.operation_name == "program" &&
            program.runner.operation_steps > 50) {
            stopped = true;
            window->stop_Click();
        }
    });
    ASSERT_TRUE(stopped);
    EXPECT_FALSE(status.startsWith(QStringLiteral("Chip verified")));
    // A Stop is the user's choice, not a failed chip: counted neither way.
    EXPECT_EQ(panel->counters().failed, 0);
    EXPECT_EQ(panel->counters().passed, 0);
    EXPECT_EQ(panel->serial().value, 7U) << "a stopped chip does not use up its number";
    EXPECT_FALSE(link->MSComm1.virtual_port()->board().voltages_on());
    const QStringList lines = log_lines(log);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[1].section(QLatin1Char(','), 5, 5), QStringLiteral("cancelled"))
        << lines[1].toStdString();
    EXPECT_EQ(lines[1].section(QLatin1Char(','), 9, 9), QStringLiteral("stopped"));
    EXPECT_TRUE(window->Command[0]->isEnabled());

    // A serial number with no room in the chip is refused before anything runs.
    panel->set_serial(SerialNumber{.value = 7,
                                   .step = 1,
                                   .location = SerialLocation::Eeprom,
                                   .address = 0x7F,
                                   .byte_count = 2},
                      true);
    messages.clear();
    window->Command[0]->click();
    ASSERT_EQ(messages.size(), 1U);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("no room")))
        << messages[0].text.toStdString();
    EXPECT_EQ(panel->counters().total(), 0);
    EXPECT_FALSE(panel->busy());
}

TEST_F(ProductionWindow, ASerialNumberOverCodeIsAsked) {
    panel->set_serial(SerialNumber{.value = 1000,
                                   .step = 1,
                                   .location = SerialLocation::RetlwTable,
                                   .address = 0,
                                   .byte_count = 2},
                      true);
    chip().set_flash(0, 0x3FFF);
    message_answer = message_result::kNo;
    window->Command[0]->click();
    ASSERT_EQ(messages.size(), 1U);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("0000h is 2805h")))
        << messages[0].text.toStdString();
    EXPECT_NE(messages[0].kind & message_kind::kDefaultButton2, 0) << "No is the default";
    EXPECT_FALSE(panel->busy());
    EXPECT_EQ(chip().flash(0), 0x3FFF) << "nothing was programmed";
    EXPECT_EQ(panel->serial().value, 1000U);
    // Yes: the user wants it there.
    messages.clear();
    message_answer = message_result::kYes;
    EXPECT_TRUE(run(0).startsWith(QStringLiteral("Chip programmed and verified. ")))
        << window->status_text().toStdString();
    EXPECT_EQ(chip().flash(0), 0x3400 | (1000 & 0xFF));
    EXPECT_EQ(panel->serial().value, 1001U);
}

// A garbled answer byte in either read before the erase must never be written
// back as the chip's own EEPROM: over a spread of answer bytes around the
// EEPROM of both reads, every run either keeps the chip's EEPROM exactly or
// fails with the reason.
TEST_F(ProductionWindow, AGarbledReadBeforeTheEraseIsNeverWrittenBack) {
    BoardChannel& channel = link->MSComm1.virtual_port()->channel();
    // A Read All measures the reads' answers: the EEPROM comes after program
    // memory, before the configuration word and the user IDs.
    const MemoryImage buffer = program.image;
    const std::uint64_t start = channel.answers_produced();
    ASSERT_TRUE(run(1).startsWith(QStringLiteral("Chip read. ")));
    const std::uint64_t read = channel.answers_produced() - start;
    ASSERT_GT(read, 1100U);
    program.image = buffer;
    panel->preserve_action->trigger();
    int refused = 0;
    std::vector<std::uint64_t> offsets;
    // A step of 29 answers meets every phase of the seven answer bytes a
    // read word takes; both reads are covered.
    for (std::uint64_t offset = read - 1000; offset < read; offset += 29) {
        offsets.push_back(offset);
        offsets.push_back(read + offset);
    }
    for (const std::uint64_t offset : offsets) {
        for (int n = 0; n < 128; ++n) {
            chip().set_eeprom(n, (n * 7 + 3) & 0xFF);
        }
        BoardFaults faults;
        faults.corrupt_answer = channel.answers_produced() + offset;
        channel.set_faults(faults);
        messages.clear();
        const QString status = run(0);
        channel.set_faults(BoardFaults{});
        if (status.startsWith(QStringLiteral("Chip programmed and verified. "))) {
            for (int n = 0; n < 128; ++n) {
                ASSERT_EQ(chip().eeprom(n), (n * 7 + 3) & 0xFF)
                    << "a wrong success at answer " << offset << ", EEPROM " << n;
            }
        } else {
            ASSERT_FALSE(messages.empty() && status.isEmpty()) << offset;
            // Caught by the second read, or as an echo out of step.
            refused += status.contains(QStringLiteral("two reads of the chip differ")) ||
                               status.contains(QStringLiteral("out of step"))
                           ? 1
                           : 0;
        }
        EXPECT_FALSE(link->MSComm1.virtual_port()->board().voltages_on());
    }
    EXPECT_GT(refused, 0) << "no garbled byte reached the run";
}

}  // namespace
}  // namespace corvanel::test
