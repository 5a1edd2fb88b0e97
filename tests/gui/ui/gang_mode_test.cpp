// SPDX-License-Identifier: GPL-3.0-or-later
// Several boards at once in the window: two in-process boards (whose chips
// never leave their sockets) each program and verify their chip once, with
// serial numbers from one series and one log naming the port; each tile shows
// PASS, and Stop ends both with their voltages off.

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <set>

#include "board/virtual_board.h"
#include "gui/dialogs/message_box.h"
#include "gui/ui/gang_mode.h"
#include "gui/ui/production_panel.h"
#include "gui/widgets/screen_fit.h"
#include "support/main_window_fixture.h"
#include "support/shipped_database.h"

namespace corvanel::test {
namespace {

constexpr const char* kProgram =
    ":020000000528D1\n"
    ":00000001FF\n";

class GangWindow : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        ASSERT_EQ(load_shipped_database(program.database).status, DatabaseStatus::Loaded);
        // Every board loads the database the window finds in its program folder.
        ASSERT_TRUE(QFile::copy(QString::fromStdString(kShippedFile),
                                folder.filePath(QStringLiteral("corvaneldevices.txt"))));
        const int model = model_number(program.database, "PIC16F628A");
        ASSERT_GT(model, 0);
        use_serial_link(2);
        open_window(QString::number(model));
        hex = write_file(QStringLiteral("gang.hex"), kProgram);
        window->open_hex_file(hex);
        ASSERT_EQ(window->loaded_file(), hex);
    }

    // Runs the boards until `check` answers true (every 20 ms) or a minute has passed.
    void run_boards(const QStringList& ports, const std::function<bool(GangDialog&)>& check) {
        bool done = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            GangDialog* dialog = window->gang_dialog();
            if (dialog != nullptr && !done && check(*dialog)) {
                done = true;
            }
        });
        poll.start(20);
        QTimer::singleShot(60000, &poll, [&] {  // ends with poll, so never in a later test
            if (window->gang_dialog() != nullptr) {
                window->gang_dialog()->reject();
            }
        });
        window->run_gang(ports);
        EXPECT_TRUE(done);
    }

    QString hex;
};

TEST_F(GangWindow, EachBoardPassesItsChipWithItsOwnSerialAndStopSwitchesAllOff) {
    const QString log = folder.filePath(QStringLiteral("gang.csv"));
    window->production->set_log_path(log);
    window->production->set_serial(SerialNumber{.value = 100,
                                                .step = 1,
                                                .location = SerialLocation::RetlwTable,
                                                .address = 0x7F0,
                                                .byte_count = 2},
                                   true);
    message_answer = message_result::kYes;  // the consent to the reads
    const QString a = folder.filePath(QStringLiteral("a.hex"));
    const QString b = folder.filePath(QStringLiteral("b.hex"));
    const QStringList ports = {QStringLiteral("virtual:") + a, QStringLiteral("virtual:") + b};
    std::vector<QString> shown;
    struct Ended {
        bool running;
        bool left_powered;
        int exit;
    };
    std::vector<Ended> ended;
    run_boards(ports, [&](GangDialog& dialog) {
        for (const GangDialog::Tile& tile : dialog.tiles()) {
            if (tile.result_label->text() != QLatin1String("PASS")) {
                return false;
            }
        }
        for (const GangDialog::Tile& tile : dialog.tiles()) {
            shown.push_back(tile.port_label->text() + QLatin1Char(' ') + tile.result_label->text() +
                            QLatin1Char(' ') + tile.counts_label->text());
        }
        QObject::connect(&dialog, &QDialog::finished, [&] {
            for (const GangDialog::Tile& tile : dialog.tiles()) {
                ended.push_back({tile.running, tile.left_powered, tile.exit});
            }
        });
        QTest::mouseClick(dialog.stop_button, Qt::LeftButton);
        return true;
    });
    ASSERT_EQ(window->gang_dialog(), nullptr) << "Stop closes the window once every board ended";
    ASSERT_EQ(shown.size(), 2U);
    EXPECT_EQ(shown[0], ports[0] + QStringLiteral(" PASS Pass 1  Fail 0"));
    EXPECT_EQ(shown[1], ports[1] + QStringLiteral(" PASS Pass 1  Fail 0"));
    ASSERT_EQ(ended.size(), 2U);
    for (const Ended& board : ended) {
        EXPECT_FALSE(board.running);
        EXPECT_FALSE(board.left_powered) << "Stop leaves every board's voltages off";
        EXPECT_EQ(board.exit, 130) << "a stopped series is not a finished one";
    }
    EXPECT_TRUE(program.link.port_ready) << "the window's own port is open again";
    EXPECT_EQ(window->status_text(), QStringLiteral("All 2 boards: 2 chips, 2 passed, 0 failed."));
    EXPECT_EQ(window->production->counters().passed, 2);
    // The window's next series goes on after the numbers the boards used.
    EXPECT_EQ(window->production->serial().value, 102U);
    EXPECT_TRUE(window->production->serial_enabled());

    // One log line per chip, each naming its board; the two numbers differ.
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines =
        QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << lines.join(QLatin1Char('\n')).toStdString();
    const QStringList header = lines[0].split(QLatin1Char(','));
    const auto serial_column = header.indexOf(QStringLiteral("serial"));
    const auto port_column = header.indexOf(QStringLiteral("port"));
    ASSERT_GE(serial_column, 0);
    ASSERT_GE(port_column, 0);
    std::set<QString> serials;
    std::set<QString> log_ports;
    for (int i = 1; i < 3; ++i) {
        const QStringList cells = lines[i].split(QLatin1Char(','));
        EXPECT_TRUE(lines[i].contains(QStringLiteral(",pass,"))) << lines[i].toStdString();
        serials.insert(cells.value(serial_column));
        log_ports.insert(cells.value(port_column));
    }
    EXPECT_EQ(serials, (std::set<QString>{QStringLiteral("100"), QStringLiteral("101")}));
    EXPECT_EQ(log_ports.size(), 2U);

    // Both chips hold the program; they differ in their numbers alone.
    QStringList chips;
    for (const QString& state : {a, b}) {
        QFile chip(state);
        ASSERT_TRUE(chip.open(QIODevice::ReadOnly)) << state.toStdString();
        chips.append(QString::fromLatin1(chip.readAll()));
        EXPECT_TRUE(chips.back().startsWith(QStringLiteral(":100000000528")))
            << chips.back().toStdString();
    }
    EXPECT_NE(chips[0], chips[1]);
}

// A board whose series ends on its own (here its port never opens) shows so on
// its tile, with the reason, while the other board goes on with its chip.
TEST_F(GangWindow, BoardWhoseSeriesEndsOnItsOwnShowsStoppedWithTheReason) {
    message_answer = message_result::kYes;
    const QString missing = folder.filePath(QStringLiteral("no-such-tty"));
    const QStringList ports = {
        QStringLiteral("virtual:") + folder.filePath(QStringLiteral("a.hex")), missing};
    QString result;
    QString said;
    QString other;
    run_boards(ports, [&](GangDialog& dialog) {
        const GangDialog::Tile& lost = dialog.tiles()[1];
        const GangDialog::Tile& good = dialog.tiles()[0];
        if (lost.running || good.result_label->text() != QLatin1String("PASS")) {
            return false;
        }
        result = lost.result_label->text();
        said = lost.state_label->text();
        other = good.result_label->text();
        QTest::mouseClick(dialog.stop_button, Qt::LeftButton);
        return true;
    });
    EXPECT_EQ(result.toStdString(), "STOPPED") << "not READY, as if it waited for a chip";
    EXPECT_TRUE(said.contains(QStringLiteral("does not exist"))) << said.toStdString();
    EXPECT_EQ(other.toStdString(), "PASS");
    EXPECT_EQ(window->status_text().toStdString(), "All 2 boards: 1 chip, 1 passed, 0 failed.");
}

// Boards that refuse their series before a chip (a serial number over the
// file's code) stop at once; each tile says why, as a window says it: without
// the command-line tool's name before the line.
TEST_F(GangWindow, BoardsThatRefuseTheSeriesSayWhyOnTheirTiles) {
    message_answer = message_result::kYes;
    window->production->set_serial(SerialNumber{.value = 5,
                                                .step = 1,
                                                .location = SerialLocation::RetlwTable,
                                                .address = 0,
                                                .byte_count = 2},
                                   true);
    const QStringList ports = {
        QStringLiteral("virtual:") + folder.filePath(QStringLiteral("c.hex")),
        QStringLiteral("virtual:") + folder.filePath(QStringLiteral("d.hex"))};
    std::vector<std::string> shown;
    run_boards(ports, [&](GangDialog& dialog) {
        if (dialog.running()) {
            return false;
        }
        for (const GangDialog::Tile& tile : dialog.tiles()) {
            shown.push_back(tile.result_label->text().toStdString() + " | " +
                            tile.state_label->text().toStdString());
        }
        QTest::mouseClick(dialog.stop_button, Qt::LeftButton);
        return true;
    });
    ASSERT_EQ(shown.size(), 2U);
    for (const std::string& tile : shown) {
        EXPECT_EQ(tile.rfind("STOPPED | ", 0), 0U) << tile;
        EXPECT_NE(tile.find("\nThe serial number's location F:0/2 holds program data"),
                  std::string::npos)
            << tile;
    }
}

// Four boards side by side need some 1250 pixels: a screen with less (a
// 1366-pixel laptop at 150 % scale has 910) gets them in rows, so that no
// board and no "Stop" lies off it.
TEST_F(GangWindow, TilesWrapToTheScreenWidth) {
    const int room = available_screen_width(window.get());
    ASSERT_GT(room, 0);
    ASSERT_LT(room, 4 * 310) << "the test screen holds four tiles in a row";
    GangDialog dialog(*window,
                      {QStringLiteral("virtual:a"), QStringLiteral("virtual:b"),
                       QStringLiteral("virtual:c"), QStringLiteral("virtual:d")},
                      Options{});
    EXPECT_LE(dialog.sizeHint().width(), room);
    EXPECT_LE(dialog.sizeHint().height(), available_screen_height(window.get()));
}

TEST_F(GangWindow, RefusesFewerThanTwoPortsOrOneTwice) {
    const struct {
        QStringList ports;
        const char* said;
    } cases[] = {
        {{QStringLiteral("virtual")}, "Give two ports or more"},
        {{QStringLiteral("virtual:x"), QStringLiteral("COM3"), QStringLiteral("virtual:x")},
         "The port virtual:x is given twice."},
    };
    for (const auto& refused : cases) {
        messages.clear();
        window->run_gang(refused.ports);
        ASSERT_EQ(messages.size(), 1U);
        EXPECT_TRUE(messages[0].text.startsWith(QLatin1String(refused.said)))
            << messages[0].text.toStdString();
        EXPECT_TRUE(program.link.port_ready) << "the window's own port stays open";
    }
}

}  // namespace
}  // namespace corvanel::test
