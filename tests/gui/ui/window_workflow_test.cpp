// SPDX-License-Identifier: GPL-3.0-or-later
// The everyday helpers of the main window against the in-process board: the
// checksum under the tables, the progress bar, Verify after Program All, reload
// and Program on Change, the recent files, the link settings of the Options menu
// and the calibration view.

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTextBrowser>
#include <QTimer>

#include <functional>
#include <map>

#include "board/pic14_chip.h"
#include "gui/dialogs/calibration_dialog.h"
#include "gui/dialogs/document_view.h"
#include "gui/ui/memory_table.h"
#include "gui/ui/production_panel.h"
#include "gui/widgets/click_label.h"
#include "platform/link/virtual_port.h"
#include "support/main_window_fixture.h"
#include "support/shipped_database.h"

namespace corvanel::test {
namespace {

// The checksum as anyone would work it out from a HEX file by hand: the words of
// the data records (low byte first), every program word of the model counted
// with the blank 3FFFh where the file has none, and the configuration word(s)
// under the device file's "configmask:" bits.
int independent_checksum(const QString& path, int flash_words, std::vector<int> masks) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    std::map<long, int> bytes;
    long upper = 0;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (!line.startsWith(':')) {
            continue;
        }
        const QByteArray record = QByteArray::fromHex(line.mid(1));
        const int count = static_cast<unsigned char>(record[0]);
        const long address =
            (static_cast<unsigned char>(record[1]) << 8) | static_cast<unsigned char>(record[2]);
        const int type = static_cast<unsigned char>(record[3]);
        if (type == 4) {
            upper = ((static_cast<unsigned char>(record[4]) << 8) |
                     static_cast<unsigned char>(record[5]))
                    << 16;
        } else if (type == 0) {
            for (int i = 0; i < count; ++i) {
                bytes[upper + address + i] = static_cast<unsigned char>(record[4 + i]);
            }
        }
    }
    const auto word = [&](long address) {
        const auto low = bytes.find(address * 2);
        const auto high = bytes.find(address * 2 + 1);
        if (low == bytes.end() && high == bytes.end()) {
            return 0x3FFF;
        }
        return ((low != bytes.end() ? low->second : 0xFF) |
                ((high != bytes.end() ? high->second : 0xFF) << 8)) &
               0x3FFF;
    };
    long sum = 0;
    for (long address = 0; address < flash_words; ++address) {
        sum += word(address);
    }
    for (std::size_t n = 0; n < masks.size(); ++n) {
        sum += word(0x2007 + static_cast<long>(n)) & masks[n];
    }
    return static_cast<int>(sum & 0xFFFF);
}

QString hex(int value) {
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

class WindowWorkflow : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        ASSERT_EQ(load_shipped_database(program.database).status, DatabaseStatus::Loaded);
        // Verify after Program All as a user finds it: not set, so on.
        QSettings(store->location(), QSettings::IniFormat)
            .remove(QStringLiteral("Verify After Program"));
    }

    Form1& open_model(const char* name, int virtual_port = 0) {
        if (virtual_port != 0) {
            use_serial_link(virtual_port);
            store->put_string(QStringLiteral("Serial Port Number"), QString::number(virtual_port));
        }
        const int number = model_number(program.database, name);
        EXPECT_GT(number, 0) << name;
        return open_window(QString::number(number));
    }

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
        poll.start(0);
        loop.exec();
        return reached;
    }

    [[nodiscard]] bool idle() const {
        return !program.runner.running() && !program.runner.completing() &&
               !program.runner.in_step() && window->Command[0]->isEnabled();
    }

    Pic14Chip& chip() { return link->MSComm1.virtual_port()->board().chip(); }

    // Writes a small program whose first word is `first` (a HEX file of one record).
    QString write_program(const QString& name, int first) {
        const QByteArray data = QByteArray::number(first & 0xFF, 16).rightJustified(2, '0') +
                                QByteArray::number(first >> 8, 16).rightJustified(2, '0');
        QByteArray record = "02000000" + data;
        int sum = 0;
        for (const char byte : QByteArray::fromHex(record)) {
            sum += static_cast<unsigned char>(byte);
        }
        record += QByteArray::number((0x100 - (sum & 0xFF)) & 0xFF, 16).rightJustified(2, '0');
        QFile file(folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(":" + record.toUpper() + "\r\n:00000001FF\r\n");
        return folder.filePath(name);
    }
};

TEST_F(WindowWorkflow, ChecksumUnderTheTablesMatchesTheRecordsOfGpasmBuilds) {
    struct Case {
        const char* model;
        const char* file;
        int flash;
        std::vector<int> masks;
    };
    const Case cases[] = {
        {"PIC16F628A", "hex_16f628a.hex", 2048, {0x21FF}},
        {"PIC16F877A", "hex_16f877a.hex", 8192, {0x2FCF}},
        {"PIC12F675", "hex_12f675.hex", 1024, {0x31FF}},
    };
    for (const Case& c : cases) {
        Form1& form = open_model(c.model);
        const QString path = QStringLiteral(CORVANEL_SOURCE_DIR "/tests/data/") + c.file;
        form.open_hex_file(path);
        ASSERT_TRUE(form.status_text().startsWith("Operation completed.")) << c.file;
        const int expected = independent_checksum(path, c.flash, c.masks);
        EXPECT_EQ(form.label_checksum->text(), QStringLiteral("Checksum: ") + hex(expected))
            << c.file;
        // The checksum stands under the tables, clear of them and inside the window.
        EXPECT_GE(form.label_checksum->y(), form.label_status->geometry().bottom()) << c.file;
        EXPECT_LE(form.progress_bar->geometry().bottom(), form.centralWidget()->height());
        // An edit of the buffer shows at once; EEPROM does not count.
        const QString before = form.label_checksum->text();
        program.image.set_eeprom_byte(0, 0x00);
        form.updatedisplay();
        EXPECT_EQ(form.label_checksum->text(), before) << c.file;
        program.image.set_flash_word(0x20, program.image.flash_word(0x20) - 1);
        form.updatedisplay();
        EXPECT_EQ(form.label_checksum->text(),
                  QStringLiteral("Checksum: ") + hex((expected + 0xFFFF) & 0xFFFF))
            << c.file;
        window.reset();
    }
}

TEST_F(WindowWorkflow, ProgramAllShowsProgressAndVerifiesUnlessTurnedOff) {
    Form1& form = open_model("PIC16F877A", 2);
    form.open_hex_file(QStringLiteral(CORVANEL_SOURCE_DIR "/tests/data/hex_16f877a.hex"));
    QStringList formats;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!formats.contains(form.progress_bar->format())) {
            formats << form.progress_bar->format();
        }
    });
    watch.start(0);
    form.Command[0]->click();
    ASSERT_TRUE(run_until([&] {
        return form.status_text().startsWith("Chip programmed and verified. ");
    })) << form.status_text().toStdString();
    watch.stop();
    // The time of the whole sequence, not of its Verify alone.
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^Chip programmed and verified\\. [0-9]+\\.[0-9] s$"))
            .match(form.status_text())
            .hasMatch())
        << form.status_text().toStdString();
    EXPECT_TRUE(
        formats.filter(QRegularExpression(QStringLiteral("^Program All: FLASH %p%"))).size() > 0)
        << formats.join(" | ").toStdString();
    EXPECT_TRUE(formats.contains(QStringLiteral("Verify: done")))
        << formats.join(" | ").toStdString();
    EXPECT_EQ(form.progress_bar->value(), form.progress_bar->maximum());
    EXPECT_EQ(chip().flash(0x1FFF), 0x3477);

    // Turned off in the Options menu: Program All alone, as before.
    form.menuverifyafter->setChecked(false);
    EXPECT_EQ(store->find_number(QStringLiteral("Verify After Program")), 0);
    form.Command[0]->click();
    ASSERT_TRUE(run_until([&] { return form.status_text().startsWith("Chip programmed. "); }));
    ASSERT_TRUE(run_until([&] { return idle(); }));
    QTest::qWait(100);
    EXPECT_TRUE(form.status_text().startsWith("Chip programmed. "))
        << form.status_text().toStdString();
    EXPECT_EQ(form.progress_bar->format(), QStringLiteral("Program All: done"));
}

// The bar names the operation that was stopped, and a cancelled run replaces the
// result of the run before.
TEST_F(WindowWorkflow, ProgressBarNamesTheStoppedOrCancelledOperation) {
    // Lock-step: a window of answers sent ahead ends a Read All before the Stop.
    store->put_number(QString::fromLatin1(setting_names::send_ahead_window), 0);
    Form1& form = open_model("PIC16F877A", 2);
    form.open_hex_file(QStringLiteral(CORVANEL_SOURCE_DIR "/tests/data/hex_16f877a.hex"));
    struct StopCase {
        int button;  // Command index
        const char* caption;
        bool escape;
    };
    // Program All only: a Read All or Verify of the in-process board ends before
    // a key press is seen.
    for (const StopCase& stop :
         {StopCase{0, "Program All", false}, StopCase{0, "Program All", true}}) {
        SCOPED_TRACE(stop.caption);
        messages.clear();
        form.Command[static_cast<std::size_t>(stop.button)]->click();
        ASSERT_TRUE(run_until([&] { return form.progress_bar->value() > 0; }))
            << form.progress_bar->format().toStdString();
        if (stop.escape) {
            QTest::keyClick(form.tabla_flash, Qt::Key_Escape);
        } else {
            form.command_stop->click();
        }
        ASSERT_TRUE(run_until([&] { return idle(); }));
        QTest::qWait(50);
        ASSERT_TRUE(form.status_text().startsWith(QStringLiteral("Operation stopped.")))
            << form.status_text().toStdString();
        EXPECT_EQ(form.progress_bar->format(), QString::fromLatin1(stop.caption) + ": stopped");
    }

    // A good Verify, then a Program All refused at its question: the bar says
    // so instead of "Verify: done".
    form.Command[4]->click();
    ASSERT_TRUE(run_until([&] { return idle() && form.status_text().startsWith("Chip "); }));
    EXPECT_EQ(form.progress_bar->format(), QStringLiteral("Verify: done"));
    form.out_of_range_warning_ = QStringLiteral("The file has data out of range.\r\n");
    message_answer = message_result::kNo;
    form.Command[0]->click();
    EXPECT_EQ(form.status_text(), QStringLiteral("Program all cancelled."));
    EXPECT_EQ(form.progress_bar->format(), QStringLiteral("Program All: cancelled"));
    EXPECT_EQ(form.progress_bar->value(), 0);
}

TEST_F(WindowWorkflow, RewritingTheLoadedFileReloadsItAndProgramsOnChange) {
    Form1& form = open_model("PIC16F628A", 2);
    const QString path = write_program(QStringLiteral("build.hex"), 0x2801);
    form.open_hex_file(path);
    ASSERT_EQ(program.image.flash_word(0), 0x2801);

    // "Ask" (the default): the question, and No keeps the buffer.
    message_answer = message_result::kNo;
    write_program(QStringLiteral("build.hex"), 0x2802);
    ASSERT_TRUE(run_until([&] { return !messages.empty(); }, 5000));
    EXPECT_TRUE(messages.back().text.contains("has changed on disk"))
        << messages.back().text.toStdString();
    EXPECT_EQ(program.image.flash_word(0), 0x2801);
    // Yes reloads.
    message_answer = message_result::kYes;
    write_program(QStringLiteral("build.hex"), 0x2803);
    ASSERT_TRUE(run_until([&] { return program.image.flash_word(0) == 0x2803; }, 5000));

    // "Never": the file may change, the buffer stays.
    form.reload_choices->actions()[2]->trigger();
    EXPECT_EQ(store->find_string(QStringLiteral("Reload On Change")), QStringLiteral("Never"));
    write_program(QStringLiteral("build.hex"), 0x2804);
    QTest::qWait(800);
    EXPECT_EQ(program.image.flash_word(0), 0x2803);

    // "Program on Change": each rewrite (an editor that replaces the file too)
    // reaches the chip, verified, and is counted.
    const std::size_t questions = messages.size();
    form.menuprogramonchange->setChecked(true);
    for (int build = 1; build <= 3; ++build) {
        if (build == 2) {
            QFile::remove(path);  // replaced, as editors and linkers do
        }
        write_program(QStringLiteral("build.hex"), 0x2810 + build);
        const QString counted = QStringLiteral("Programmed on change: %1").arg(build);
        ASSERT_TRUE(run_until([&] { return form.status_text().endsWith(counted); }, 30000))
            << build << ": " << form.status_text().toStdString();
        EXPECT_TRUE(form.status_text().startsWith("Chip programmed and verified. "));
        EXPECT_EQ(chip().flash(0), 0x2810 + build);
        EXPECT_EQ(form.programmed_on_change(), build);
    }
    EXPECT_EQ(messages.size(), questions) << "no question in the build loop";
}

// A build that writes the file in two steps: the first, without its end record,
// asks "Continue?"; the complete file arrives while the question is open. The
// answer starts the run it was asked for, and the new file is programmed after
// it, each with its own serial number and log line: no run is started over
// another, none fails.
TEST_F(WindowWorkflow, RewriteWhileAQuestionIsOpenWaitsForTheAnswer) {
    Form1& form = open_model("PIC16F877A", 2);
    const QString path = write_program(QStringLiteral("build.hex"), 0x2810);
    form.open_hex_file(path);
    const QString log = folder.filePath(QStringLiteral("production.csv"));
    form.production->set_log_path(log);
    form.production->set_serial(SerialNumber{.value = 100,
                                             .step = 1,
                                             .location = SerialLocation::RetlwTable,
                                             .address = 0x10,
                                             .byte_count = 2},
                                true);
    form.menuprogramonchange->setChecked(true);

    int questions = 0;
    QStringList other_messages;
    set_message_box_interceptor([&](const QString& text, int, const QString&) {
        if (!text.contains(QStringLiteral("no end record"))) {
            other_messages << text;
            return message_result::kYes;
        }
        if (++questions == 1) {
            // The build's second step, 0.5 s later; the user is slow to answer.
            QTest::qWait(500);
            (void)write_program(QStringLiteral("build.hex"), 0x2812);
            QTest::qWait(1500);
        }
        return message_result::kYes;
    });
    // The first step: the data, not yet the end record.
    (void)write_program(QStringLiteral("part.hex"), 0x2811);
    QFile part(folder.filePath(QStringLiteral("part.hex")));
    ASSERT_TRUE(part.open(QIODevice::ReadOnly));
    const QByteArray data = part.readAll().replace(":00000001FF\r\n", "");
    QFile build(path);
    ASSERT_TRUE(build.open(QIODevice::WriteOnly | QIODevice::Truncate));
    build.write(data);
    build.close();

    ASSERT_TRUE(run_until(
        [&] {
            return idle() && !form.production->busy() &&
                   form.status_text().endsWith(QStringLiteral("Programmed on change: 2"));
        },
        60000))
        << form.status_text().toStdString() << " | " << other_messages.join(" | ").toStdString();
    QTest::qWait(700);  // no third run comes
    EXPECT_EQ(questions, 1);
    EXPECT_TRUE(other_messages.isEmpty()) << other_messages.join(" | ").toStdString();
    EXPECT_EQ(form.production->counters().passed, 2);
    EXPECT_EQ(form.production->counters().failed, 0);
    EXPECT_EQ(form.programmed_on_change(), 2);
    EXPECT_EQ(chip().flash(0), 0x2812);
    EXPECT_EQ(chip().flash(0x10), 0x3400 | 101);
    EXPECT_EQ(form.production->serial().value, 102U);
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString lines = QString::fromUtf8(file.readAll());
    EXPECT_EQ(lines.count(QStringLiteral("pass")), 2) << lines.toStdString();
    EXPECT_FALSE(lines.contains(QStringLiteral("fail"))) << lines.toStdString();

    // A second start while a sequence runs is refused, not laid over it.
    form.Command[0]->click();
    ASSERT_TRUE(form.production->busy());
    form.production->start(OperationKind::Program);
    EXPECT_EQ(form.status_text(), QStringLiteral("Operation in progress."));
    ASSERT_TRUE(run_until([&] { return idle() && !form.production->busy(); }));
    EXPECT_EQ(form.production->counters().passed, 3);
    EXPECT_EQ(form.production->counters().failed, 0);
}

TEST_F(WindowWorkflow, RecentFilesKeepTheEightNewestInTheSettings) {
    Form1& form = open_model("PIC16F628A");
    QStringList paths;
    for (int n = 0; n < 10; ++n) {
        paths << write_program(QStringLiteral("f%1.hex").arg(n), 0x2800 + n);
        form.open_hex_file(paths.back());
    }
    form.open_hex_file(paths[5]);  // opened again: to the top, not twice
    const QStringList expected = {paths[5], paths[9], paths[8], paths[7],
                                  paths[6], paths[4], paths[3], paths[2]};
    EXPECT_EQ(form.recent_files(), expected);
    EXPECT_EQ(form.menurecent->actions().size(), 8);
    EXPECT_TRUE(form.menurecent->actions()[0]->text().endsWith(QStringLiteral("f5.hex")));
    EXPECT_EQ(store->find_string(QStringLiteral("Recent File 1")), paths[5]);

    // A new window finds them; choosing one opens it; a vanished one leaves the list.
    window.reset();
    Form1& again = open_model("PIC16F628A");
    EXPECT_EQ(again.recent_files(), expected);
    again.menurecent->actions()[2]->trigger();
    EXPECT_EQ(program.image.flash_word(0), 0x2808);
    QFile::remove(paths[7]);
    again.menurecent->actions()[3]->trigger();
    ASSERT_FALSE(messages.empty());
    EXPECT_TRUE(messages.back().text.contains("no longer exists"));
    EXPECT_FALSE(again.recent_files().contains(paths[7]));
    EXPECT_EQ(again.menurecent->actions().size(), 7);
}

TEST_F(WindowWorkflow, OptionsMenuKeepsTheLinkSettings) {
    Form1& form = open_model("PIC16F628A");
    // Unless chosen: fast link off, the automatic send-ahead window, ask, no
    // program on change; Verify after Program All is on.
    EXPECT_FALSE(form.menufastlink->isChecked());
    EXPECT_TRUE(form.send_ahead_choices->actions()[1]->isChecked());
    EXPECT_TRUE(form.reload_choices->actions()[0]->isChecked());
    EXPECT_FALSE(form.menuprogramonchange->isChecked());
    EXPECT_TRUE(form.menuverifyafter->isChecked());
    EXPECT_FALSE(store->find_number(QStringLiteral("Fast Link")));

    form.menufastlink->setChecked(true);
    form.send_ahead_choices->actions()[1]->trigger();
    EXPECT_EQ(store->find_number(QStringLiteral("Fast Link")), 1);
    EXPECT_EQ(store->find_string(QStringLiteral("Send-Ahead Window")), QStringLiteral("Automatic"));
    EXPECT_TRUE(form.menusendahead->menuAction()->toolTip().contains("receive buffer"));

    window.reset();
    Form1& again = open_model("PIC16F628A");
    EXPECT_TRUE(again.menufastlink->isChecked());
    EXPECT_TRUE(again.send_ahead_choices->actions()[1]->isChecked());
    again.send_ahead_choices->actions()[0]->trigger();
    EXPECT_EQ(store->find_number(QStringLiteral("Send-Ahead Window")), 0);
}

TEST_F(WindowWorkflow, CalibrationViewReadsAndWritesBackTheFactoryValues) {
    Form1& form = open_model("PIC12F675", 2);
    ASSERT_TRUE(form.menucalibration->isEnabled());
    const std::uint16_t factory = chip().flash(0x3FF);
    ASSERT_EQ(factory & 0x3C00, 0x3400);
    const QString path = write_program(QStringLiteral("app.hex"), 0x2805);
    form.open_hex_file(path);

    CalibrationDialog dialog(
        program.model,
        [&](CalibrationDialog::Done done) { form.read_calibration(std::move(done)); },
        [&](const SavedCalibration& typed, CalibrationDialog::Done done) {
            form.write_calibration(typed, std::move(done));
        });
    dialog.read_button()->click();
    ASSERT_TRUE(run_until([&] { return dialog.read_button()->isEnabled(); }));
    EXPECT_TRUE(dialog.chip_text().startsWith(
        QStringLiteral("OSCCAL (03FFh): %1, RETLW ").arg(hex(factory))))
        << dialog.chip_text().toStdString();
    EXPECT_TRUE(dialog.chip_text().contains("\nBand-gap (2007h bits 13:12): "));
    // The buffer is still the file.
    EXPECT_EQ(program.image.flash_word(0), 0x2805);
    EXPECT_EQ(program.image.flash_word(0x3FF), 0x3FFF);
    EXPECT_TRUE(form.label_hex->text().contains("app.hex"));

    // A value that is no calibration word is refused before anything is sent.
    dialog.word_edit()->setText(QStringLiteral("3FFF"));
    dialog.write_button()->click();
    ASSERT_FALSE(messages.empty());
    EXPECT_TRUE(messages.back().text.contains("not a calibration word"));
    EXPECT_EQ(chip().flash(0x3FF), factory);

    // The label's value goes back in, with the band-gap bits, after the question.
    message_answer = message_result::kYes;
    dialog.word_edit()->setText(QStringLiteral("34ac"));
    dialog.bandgap_edit()->setText(QStringLiteral("01"));
    dialog.write_button()->click();
    EXPECT_TRUE(messages.back().text.contains("OSCCAL 34ACh, band-gap 01b"))
        << messages.back().text.toStdString();
    ASSERT_TRUE(run_until([&] { return dialog.write_button()->isEnabled(); }));
    EXPECT_EQ(dialog.chip_text(),
              QStringLiteral("OSCCAL (03FFh): 34AC, RETLW ACh\nBand-gap (2007h bits 13:12): 01"));
    EXPECT_EQ(chip().flash(0x3FF), 0x34AC);
    EXPECT_EQ(chip().config_word(1) & 0x3000, 0x1000);
    EXPECT_FALSE(program.typed_calibration);
}

// The calibration view keeps what it read in a file and loads it back into its
// fields, from where Write to Chip puts it in the chip.
TEST_F(WindowWorkflow, CalibrationValuesGoToAFileAndBack) {
    Form1& form = open_model("PIC12F675", 2);
    const std::uint16_t factory = chip().flash(0x3FF);
    const int bandgap = chip().config_word(1) & 0x3000;
    const QString file = folder.filePath(QStringLiteral("label-values.txt"));
    chosen_path = file;
    QString saved;
    QString word_after_read;
    QString word_after_load;
    QString bits_after_load;
    QTimer::singleShot(0, [&] {
        auto* view = qobject_cast<CalibrationDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(view, nullptr);
        EXPECT_TRUE(view->save_button()->isVisible());
        view->read_button()->click();
        ASSERT_TRUE(run_until([&] { return view->read_button()->isEnabled(); }));
        word_after_read = view->word_edit()->text();
        view->save_button()->click();
        QFile written(file);
        if (written.open(QIODevice::ReadOnly)) {
            saved = QString::fromLatin1(written.readAll());
        }
        view->word_edit()->clear();
        view->bandgap_edit()->clear();
        view->load_button()->click();
        word_after_load = view->word_edit()->text();
        bits_after_load = view->bandgap_edit()->text();
        // A file that is not one: refused, the fields kept.
        chosen_path = write_program(QStringLiteral("not-calibration.hex"), 0x2805);
        view->load_button()->click();
        view->reject();
    });
    form.menucalibration->trigger();
    EXPECT_EQ(word_after_read, hex(factory));
    EXPECT_EQ(saved, QStringLiteral("OSCCAL %1\r\nCONFIG %2\r\n").arg(hex(factory), hex(bandgap)));
    EXPECT_EQ(word_after_load, hex(factory));
    EXPECT_EQ(bits_after_load,
              QStringLiteral("%1%2").arg((bandgap >> 13) & 1).arg((bandgap >> 12) & 1));
    ASSERT_FALSE(messages.empty());
    EXPECT_TRUE(messages.back().text.endsWith(
        QStringLiteral("holds no calibration values (lines \"OSCCAL 34xx\" and \"CONFIG xxxx\").")))
        << messages.back().text.toStdString();
    ASSERT_GE(chooser_calls.size(), 3U);
    EXPECT_EQ(chooser_calls[0].mode, FileChooserMode::Save);
    EXPECT_TRUE(
        chooser_calls[0].start_folder.endsWith(QStringLiteral("calibration-PIC12F675.txt")));
    EXPECT_EQ(chooser_calls[1].mode, FileChooserMode::Open);
}

// Help: the board's page from the documentation folder (a summary that names it
// when there is none) and the folder itself for the rest.
TEST_F(WindowWorkflow, HelpShowsTheBoardWiringAndOpensTheDocumentation) {
    Form1& form = open_window();
    form.menuwiring->trigger();
    auto* summary = form.findChild<DocumentView*>();
    ASSERT_NE(summary, nullptr);
    EXPECT_EQ(summary->windowTitle(), QStringLiteral("Board Wiring"));
    EXPECT_TRUE(summary->browser()->toPlainText().contains(QStringLiteral("Arduino Uno or Nano")));
    EXPECT_TRUE(summary->browser()->toPlainText().contains(QStringLiteral("board.md")));
    summary->close();
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    messages.clear();
    QUrl opened;
    set_folder_opener([&](const QUrl& url) {
        opened = url;
        return true;
    });
    form.menudocs->trigger();
    ASSERT_EQ(messages.size(), 1U) << "no folder yet";
    EXPECT_TRUE(
        messages[0].text.startsWith(QStringLiteral("The documentation folder was not found")));
    EXPECT_TRUE(opened.isEmpty());

    // Installed beside the program.
    QDir(folder.path()).mkpath(QStringLiteral("docs"));
    (void)write_file(QStringLiteral("docs/board.md"), "# The board\n\nPGC goes to pin D2.\n");
    form.menuwiring->trigger();
    auto* page = form.findChild<DocumentView*>();
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->browser()->toPlainText().contains(QStringLiteral("PGC goes to pin D2.")));
    page->close();
    form.menudocs->trigger();
    EXPECT_EQ(opened,
              QUrl::fromLocalFile(folder.filePath(QStringLiteral("docs")) + QLatin1Char('/')));
    set_folder_opener({});
}

}  // namespace
}  // namespace corvanel::test
