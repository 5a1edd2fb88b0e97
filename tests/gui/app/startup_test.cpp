// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up: the program entry's single instance, program folder and device
// database, and the main window's load sequence.

#include <QDir>
#include <QLockFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <QPushButton>
#include "gui/app/program_entry.h"

#include "gui/ui/memory_table.h"
#include "gui/widgets/click_label.h"
#include "gui/widgets/table_scroll_bar.h"
#include "support/main_window_fixture.h"

namespace corvanel::test {
namespace {

using LoadSequence = MainWindowTest;

TEST_F(LoadSequence, StoredModelOutOfRangeIsRepairedToModelOne) {
    const struct {
        const char* stored;
        int applied;
        const char* stored_after;
    } cases[] = {
        {"2", 2, "2"},  {"3", 3, "3"},   {"2.5", 2, "2.5"},  // rounded half to even
        {"0", 1, "1"},  {"4", 1, "1"},   {"99", 1, "1"},
        {"-3", 1, "1"}, {"abc", 1, "1"}, {"", 1, "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        Form1& form = open_window(QString::fromLatin1(c.stored));
        EXPECT_EQ(program.selected_model, c.applied);
        EXPECT_EQ(QString::fromStdString(program.model.model_name),
                  QString::fromStdString(program.database.model(c.applied).name));
        EXPECT_EQ(form.label_ime->text().toStdString(), program.database.model(c.applied).name);
        EXPECT_EQ(store->get_string(QStringLiteral("Microcontroller Model"), QStringLiteral("?")),
                  c.stored_after);
    }
}

TEST_F(LoadSequence, FirstRunStoresTheDefaultsAndReportsThePort) {
    QFile::remove(store->location());
    window = std::make_unique<Form1>();
    window->load_sequence();
    QSettings stored(store->location(), QSettings::IniFormat);
    EXPECT_EQ(stored.value("Color Theme").toString(), "Original Lite");
    EXPECT_EQ(stored.value("Last Path").toString(), program_folder());
    EXPECT_EQ(stored.value("Microcontroller Model").toString(), "1");
    EXPECT_EQ(stored.value("Serial Port Number").toInt(), 2) << "no port could be opened";
    EXPECT_EQ(stored.value("Serial Port Baud Rate").toString(), "56000");
    EXPECT_EQ(last_path(), program_folder());
    EXPECT_EQ(window->status_text(), "Serial port COM2 error!");
    EXPECT_FALSE(program.link.port_ready);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(LoadSequence, EndsWithABlankImageAndTheFlashTableAsWheelTarget) {
    program.image.flash_size = 8;  // whatever shape came before
    Form1& form = open_window(QStringLiteral("3"));
    EXPECT_EQ(program.image.flash_size, 8192);
    EXPECT_EQ(program.image.last_used_flash(), -1);
    EXPECT_EQ(form.wheel_target(), Form1::WheelTarget::Flash);
    EXPECT_TRUE(form.scrl1->hasFocus());
    EXPECT_EQ(form.scrl1->maximum(), 1016);
    EXPECT_EQ(form.scrl2->maximum(), 24);
    EXPECT_EQ(form.label_hex->text(), "");
}

TEST_F(LoadSequence, ScanFindsTheOpenablePortsBeforeOpeningTheConfiguredOne) {
    use_serial_link(3);
    Form1& form = open_window();
    EXPECT_EQ(link->scan.openable_ports_text, "- Serial port COM3 available");
    EXPECT_EQ(link->scan.last_openable_port, 3);
    EXPECT_EQ(store->get_number(QStringLiteral("Serial Port Number"), 0), 3);
    EXPECT_TRUE(program.link.port_ready);
    EXPECT_TRUE(form.status_text().startsWith("Serial port COM3 ready... the virtual board."))
        << form.status_text().toStdString();
}

TEST(ProgramEntry, ProgramFolderEndsInASeparatorAndKeepsItsCase) {
    const QString sep = QDir::separator();
    const QString folder = make_program_folder(QStringLiteral("/Opt/Corvanel"));
    EXPECT_TRUE(folder.endsWith(sep));
    EXPECT_EQ(make_program_folder(folder), folder) << "no second separator";
#ifdef Q_OS_WIN
    EXPECT_EQ(folder, QStringLiteral("\\opt\\corvanel\\"));
#else
    EXPECT_EQ(folder, QStringLiteral("/Opt/Corvanel/"));
#endif
}

TEST(ProgramEntry, DatabaseProblemsEndStartUp) {
    ensure_app();
    QTemporaryDir dir;
    ProgramState program;

    const QString missing = dir.filePath(QStringLiteral("corvaneldevices.txt"));
    const DatabaseStartup absent = load_database_for_startup(missing, program);
    EXPECT_FALSE(absent.go_on);
    EXPECT_TRUE(absent.message.contains(missing)) << absent.message.toStdString();

    QFile empty(missing);
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.write("no models in here\r\n");
    empty.close();
    const DatabaseStartup silent = load_database_for_startup(missing, program);
    EXPECT_FALSE(silent.go_on);
    EXPECT_TRUE(silent.message.isEmpty()) << "a file without models ends without a word";

    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.write(kTestDevices);
    empty.close();
    EXPECT_TRUE(load_database_for_startup(missing, program).go_on);
    EXPECT_EQ(program.database.model_count(), 3);
}

TEST(ProgramEntry, SecondLockOnTheSamePathIsRefusedUntilTheFirstEnds) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("instance.lock"));
    QLockFile first(path);
    ASSERT_TRUE(acquire_single_instance(first));
    QLockFile second(path);
    EXPECT_FALSE(acquire_single_instance(second));
    first.unlock();
    EXPECT_TRUE(acquire_single_instance(second));
}

// The real program, started twice: the second copy ends at once and quietly
// while the first keeps its window.
TEST(ProgramEntry, SecondStartEndsSilently) {
    const QString program_path = QStringLiteral(CORVANEL_BIN_DIR "/tavrelix-corvanel");
    if (!QFile::exists(program_path) ||
        !QFile::exists(QStringLiteral(CORVANEL_BIN_DIR "/corvaneldevices.txt"))) {
        GTEST_SKIP() << "the window application is not built";
    }
    ensure_app();
    QTemporaryDir dir;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());

    QProcess first;
    first.setProcessEnvironment(environment);
    first.start(program_path, {});
    ASSERT_TRUE(first.waitForStarted(5000));
    // The first copy holds its lock once its window is up.
    const QString lock_path = dir.filePath(QStringLiteral("tavrelix-corvanel.lock"));
    for (int i = 0; i < 100 && !QFile::exists(lock_path); ++i) {
        QTest::qWait(50);
    }
    ASSERT_TRUE(QFile::exists(lock_path));
    QTest::qWait(300);

    QProcess second;
    second.setProcessEnvironment(environment);
    second.start(program_path, {});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    // A second start with a HEX file hands it to the running copy, which takes it.
    const QString hex = dir.filePath(QStringLiteral("handed.hex"));
    QFile hex_file(hex);
    ASSERT_TRUE(hex_file.open(QIODevice::WriteOnly));
    hex_file.write(":020000000528D1\n:00000001FF\n");
    hex_file.close();
    QProcess third;
    third.setProcessEnvironment(environment);
    third.start(program_path, {hex});
    ASSERT_TRUE(third.waitForFinished(10000));
    EXPECT_EQ(third.exitCode(), 0);
    const QString handoff = handoff_path(lock_path);
    for (int i = 0; i < 100 && QFile::exists(handoff); ++i) {
        QTest::qWait(50);
    }
    EXPECT_FALSE(QFile::exists(handoff)) << "the running copy took the file";

    // A stop signal ends the window as it ends the tool: 128 + the signal.
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(5000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 143);
}

TEST(ProgramEntry, FileArgumentIsTheFirstThatIsNoOption) {
    EXPECT_EQ(file_argument({"tavrelix-corvanel"}), "");
    EXPECT_EQ(file_argument({"tavrelix-corvanel", "prog.hex"}), "prog.hex");
    EXPECT_EQ(file_argument({"tavrelix-corvanel", "--verbose", "a.hex", "b.hex"}), "a.hex");
    QTemporaryDir dir;
    const QString lock = dir.filePath(QStringLiteral("x.lock"));
    EXPECT_EQ(take_handed_off_file(lock), "") << "nothing handed over";
    ASSERT_TRUE(hand_off_file(lock, dir.filePath(QStringLiteral("p.hex"))));
    EXPECT_EQ(take_handed_off_file(lock), dir.filePath(QStringLiteral("p.hex")));
    EXPECT_EQ(take_handed_off_file(lock), "") << "taken once";
}

}  // namespace
}  // namespace corvanel::test
