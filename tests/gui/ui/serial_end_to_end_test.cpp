// SPDX-License-Identifier: GPL-3.0-or-later
// The window over the real serial path: the board server emulates a PIC16F628A
// on a pseudo-terminal and registers it as COM7; the window opens COM7 through
// QSerialPort and runs the chip operations on it, as a user would with a board.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <functional>

#include <sys/resource.h>

#include "core/image/intel_hex_reader.h"
#include "gui/dialogs/input_box.h"
#include "gui/link/port_commands.h"
#include "gui/ui/memory_table.h"
#include "platform/app/crash_voltages_off.h"
#include "support/main_window_fixture.h"
#include "support/shipped_database.h"

namespace corvanel::test {
namespace {

// Runs the event loop until `done` holds. Unlike QTest::qWaitFor, which sleeps
// between passes, the loop wakes as soon as the serial port has bytes, so the
// operations run at the speed of the line.
bool run_until(const std::function<bool()>& done, int timeout_ms) {
    if (done()) {
        return true;
    }
    QEventLoop loop;
    QTimer check;
    check.setInterval(5);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    QTimer::singleShot(timeout_ms, &loop, &QEventLoop::quit);
    check.start();
    loop.exec();
    return done();
}

const QString kServer = QStringLiteral(CORVANEL_BIN_DIR "/corvanel-board");
const QString kDevices = QString::fromStdString(kShippedFile);
const QString kProgram = QStringLiteral(CORVANEL_SOURCE_DIR "/tests/cli/data/small_16f628a.hex");

class SerialEndToEnd : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        if (!QFileInfo::exists(kServer) || !QFileInfo::exists(kDevices)) {
            GTEST_SKIP() << "the board server or the device file is not built";
        }
        ASSERT_EQ(load_shipped_database(program.database).status, DatabaseStatus::Loaded);
        model_number_ = model_number(program.database, "PIC16F628A");
        ASSERT_GT(model_number_, 0);
        chip_state_ = folder.filePath(QStringLiteral("chip.hex"));
        config_home_ = folder.filePath(QStringLiteral("config"));
        link = std::make_unique<SerialLink>(program);
        link->MSComm1.set_ports_folder(config_home_ + QStringLiteral("/Tavrelix Corvanel/ports"));
        store->put_number(QStringLiteral("Serial Port Number"), 7);
    }

    void TearDown() override {
        stop_server();
        set_input_box_interceptor({});
        MainWindowTest::TearDown();
    }

    // Starts the board server registered as COM7, keeping the chip in chip.hex.
    void start_server(const QStringList& more = {}) {
        server_ = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config_home_);
        server_->setProcessEnvironment(environment);
        server_->start(kServer, QStringList{QStringLiteral("--chip"), QStringLiteral("PIC16F628A"),
                                            QStringLiteral("--state"), chip_state_,
                                            QStringLiteral("--register"), QStringLiteral("COM7")} +
                                    more);
        ASSERT_TRUE(server_->waitForStarted(5000));
        ASSERT_TRUE(QTest::qWaitFor([this] { return server_->canReadLine(); }, 5000));
        ASSERT_TRUE(
            QFileInfo::exists(config_home_ + QStringLiteral("/Tavrelix Corvanel/ports/COM7")));
    }

    // SIGTERM lets the server save the chip; a kill pulls the board out.
    void stop_server(bool kill = false) {
        if (!server_) {
            return;
        }
        if (kill) {
            server_->kill();
        } else {
            server_->terminate();
        }
        server_->waitForFinished(5000);
        server_.reset();
    }

    void click_and_wait(int button, const QString& result_prefix, int timeout_ms = 30000) {
        ASSERT_TRUE(window->Command[static_cast<std::size_t>(button)]->isEnabled());
        QTest::mouseClick(window->Command[static_cast<std::size_t>(button)], Qt::LeftButton);
        EXPECT_TRUE(
            run_until([&] { return window->status_text().startsWith(result_prefix); }, timeout_ms))
            << "status: " << window->status_text().toStdString();
        EXPECT_TRUE(window->status_text().endsWith(QStringLiteral(" seconds elapsed...")));
    }

    // The program file as the window would load it.
    MemoryImage expected_image() {
        MemoryImage image = program.image;
        (void)corvanel::open_hex_file(kProgram.toStdString(), image);
        return image;
    }

    std::unique_ptr<QProcess> server_;
    QString chip_state_;
    QString config_home_;
    int model_number_ = 0;
};

void expect_same_chip(const MemoryImage& actual, const MemoryImage& expected) {
    EXPECT_EQ(actual.flash, expected.flash);
    EXPECT_EQ(actual.eeprom, expected.eeprom);
    EXPECT_EQ(actual.config1, expected.config1);
}

TEST_F(SerialEndToEnd, ProgramVerifyReadEraseBlankOverThePseudoTerminal) {
    start_server();
    Form1& form = open_window(QString::number(model_number_));
    EXPECT_TRUE(form.status_text().startsWith(
        QStringLiteral("Serial port COM7 ready... Corvanel board v2")));
    form.open_hex_file(kProgram);
    const MemoryImage file = expected_image();
    expect_same_chip(program.image, file);

    click_and_wait(0, QStringLiteral("Chip programmed. "));
    click_and_wait(4, QStringLiteral("Chip verified. "));

    // The board's saved chip holds the file.
    stop_server();
    MemoryImage saved = program.image;
    saved.clear_image();
    ASSERT_TRUE(corvanel::open_hex_file(chip_state_.toStdString(), saved).loaded);
    expect_same_chip(saved, file);

    // The same chip back on a new terminal: the port command opens COM7 again.
    start_server();
    set_input_box_interceptor(
        [](const QString&, const QString&, const QString&) { return QStringLiteral("COM7"); });
    change_serial_port_number(*link);
    EXPECT_TRUE(form.status_text().startsWith(
        QStringLiteral("Serial port COM7 ready... Corvanel board v2")))
        << form.status_text().toStdString();

    form.menuclear_Click();
    click_and_wait(1, QStringLiteral("Chip read. "));
    expect_same_chip(program.image, file);
    EXPECT_TRUE(form.tabla_flash->text().startsWith(
        QStringLiteral("000000: 2805 3FFF 3FFF 3FFF 0009 1683 0186 1283")));

    click_and_wait(2, QStringLiteral("Chip erased. "));
    click_and_wait(3, QStringLiteral("Chip is blank. "));
    EXPECT_TRUE(messages.empty());
}

// A board that carries the faster line rates is switched to one as the port
// opens; quitting the window sends it back to its starting rate, as closing
// the port does, so that the next program finds it where it starts.
TEST_F(SerialEndToEnd, QuittingSendsTheBoardBackToItsStartingRate) {
    start_server({QStringLiteral("--baud"), QStringLiteral("56000")});
    open_window(QString::number(model_number_));
    // The window's first start stores the default rate: that pins nothing.
    ASSERT_NE(program.link.agreed_rate, 0) << window->status_text().toStdString();
    window->end_for_exit();
    EXPECT_EQ(program.link.agreed_rate, 0);
    QString said;
    const auto last_rate = [&] {
        said += QString::fromLocal8Bit(server_->readAllStandardError());
        const auto at = said.lastIndexOf(QStringLiteral("line rate "));
        return at < 0 ? QString() : said.mid(at).section(QLatin1Char('\n'), 0, 0);
    };
    EXPECT_TRUE(
        run_until([&] { return last_rate() == QStringLiteral("line rate 56000 baud"); }, 5000))
        << said.toStdString();
}

// The board pulled out (the server killed, its terminal gone): the port reports
// it, so the operation fails at once rather than after the answer time-out, and
// the port is closed. With the board back, the next operation opens it again.
TEST_F(SerialEndToEnd, BoardPulledOutFailsAtOnceAndTheWindowRecovers) {
    start_server();
    Form1& form = open_window(QString::number(model_number_));
    ASSERT_TRUE(form.status_text().startsWith(
        QStringLiteral("Serial port COM7 ready... Corvanel board v2")));
    form.open_hex_file(kProgram);
    const MemoryImage file = expected_image();

    QTest::mouseClick(form.Command[0], Qt::LeftButton);
    ASSERT_TRUE(run_until([&] { return form.status_text().startsWith("F:"); }, 10000));
    stop_server(true);
    EXPECT_FALSE(form.Command[0]->isEnabled());
    QElapsedTimer waited;
    waited.start();
    EXPECT_TRUE(run_until([&] { return form.Command[0]->isEnabled(); }, 15000));
    EXPECT_LT(waited.elapsed(), 1000);
    EXPECT_TRUE(form.status_text().startsWith(QStringLiteral("Serial port lost: ")));
    EXPECT_TRUE(form.status_text().endsWith(QStringLiteral(" was removed. Operation aborted.")))
        << form.status_text().toStdString();
    EXPECT_FALSE(program.link.port_ready);
    EXPECT_FALSE(link->MSComm1.is_open());
    expect_same_chip(program.image, file);  // still there to save

    start_server();
    click_and_wait(0, QStringLiteral("Chip programmed. "));
    click_and_wait(4, QStringLiteral("Chip verified. "));
    EXPECT_TRUE(program.link.port_ready);
}

// Run only by the test below, in a process of its own: Program All over the
// board server, and a crash while it writes.
TEST_F(SerialEndToEnd, DISABLED_CrashChild) {
    const QString ports = qEnvironmentVariable("CORVANEL_CRASH_PORTS");
    if (ports.isEmpty()) {
        GTEST_SKIP() << "started by CrashDuringProgramAllLeavesTheVoltagesOff";
    }
    const rlimit no_core{0, 0};
    (void)setrlimit(RLIMIT_CORE, &no_core);
    if (qEnvironmentVariableIsEmpty("CORVANEL_CRASH_UNHANDLED")) {
        install_crash_voltages_off();
    }
    link->MSComm1.set_ports_folder(ports);
    Form1& form = open_window(QString::number(model_number_));
    ASSERT_TRUE(form.status_text().startsWith(
        QStringLiteral("Serial port COM7 ready... Corvanel board v2")));
    form.open_hex_file(kProgram);
    QTest::mouseClick(form.Command[0], Qt::LeftButton);
    ASSERT_TRUE(run_until([&] { return form.status_text().startsWith("F:"); }, 10000));
    // Inside the window's own event handling, as a fault in a slot would.
    QTimer::singleShot(0, &form, [] { (void)std::raise(SIGSEGV); });
    (void)run_until([] { return false; }, 5000);
    ADD_FAILURE() << "still running after SIGSEGV";
}

// A crash of the window in the middle of Program All: the crash handler sends
// voltages-off on the port, so the board server reports the chip unpowered.
// Without the handler the same crash leaves it powered.
TEST_F(SerialEndToEnd, CrashDuringProgramAllLeavesTheVoltagesOff) {
    for (const bool handled : {true, false}) {
        SCOPED_TRACE(handled ? "with the handler" : "without the handler");
        start_server();
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CORVANEL_CRASH_PORTS"),
                           config_home_ + QStringLiteral("/Tavrelix Corvanel/ports"));
        if (!handled) {
            environment.insert(QStringLiteral("CORVANEL_CRASH_UNHANDLED"), QStringLiteral("1"));
        }
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=SerialEndToEnd.DISABLED_CrashChild"),
                     QStringLiteral("--gtest_also_run_disabled_tests")});
        ASSERT_TRUE(child.waitForFinished(60000));
        const QString output = QString::fromLocal8Bit(child.readAll());
        EXPECT_EQ(child.exitStatus(), QProcess::CrashExit) << output.toStdString();
        EXPECT_EQ(child.exitCode(), SIGSEGV) << output.toStdString();
        EXPECT_FALSE(output.contains(QStringLiteral("Failure"))) << output.toStdString();

        // The board runs out the waits it was handed (300 ms at most) before the
        // handler's voltages-off.
        QTest::qWait(500);
        if (server_->state() != QProcess::NotRunning) {
            server_->terminate();
            ASSERT_TRUE(server_->waitForFinished(5000));
        }
        const QString report = QString::fromLocal8Bit(server_->readAllStandardError());
        server_.reset();
        EXPECT_TRUE(report.contains(handled ? QStringLiteral("voltages off at exit")
                                            : QStringLiteral("voltages on at exit")))
            << report.toStdString();
    }
}

}  // namespace
}  // namespace corvanel::test
