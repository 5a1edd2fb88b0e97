// SPDX-License-Identifier: GPL-3.0-or-later
// A job in the window, end to end on the in-process board: a HEX file changed
// since the job was written is refused with nothing changed; the job opened fixes
// the model, the file and the production settings and locks every other command;
// "Start" programs, verifies, numbers and logs one chip; "Close Job" gives the
// settings back. "Test Board" shows its table.

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTextBrowser>

#include "core/engine/job_file.h"
#include "gui/dialogs/document_view.h"
#include "gui/ui/job_mode.h"
#include "gui/ui/production_panel.h"
#include "platform/app/job_files.h"
#include "support/main_window_fixture.h"
#include "support/shipped_database.h"

namespace corvanel::test {
namespace {

class JobWindowTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        ASSERT_EQ(load_shipped_database(program.database).status, DatabaseStatus::Loaded);
        const int model = model_number(program.database, "PIC16F84A");
        ASSERT_GT(model, 0);
        use_serial_link(2);
        open_window(QString::number(model));
        ASSERT_TRUE(window->status_text().startsWith("Serial port COM2 ready..."));
    }

    void wait_until_idle() {
        QElapsedTimer since;
        since.start();
        do {
            QTest::qWait(20);
        } while ((window->production->busy() || program.runner.running()) &&
                 since.elapsed() < 60000);
    }

    std::vector<QAction*> menus() const {
        return {window->menu1->menuAction(), window->menu_edit->menuAction(),
                window->menu3->menuAction(), window->menu_production->menuAction(),
                window->menu4->menuAction(), window->menu5->menuAction()};
    }
};

TEST_F(JobWindowTest, LocksWhatTheJobFixesAndRefusesAChangedHexFile) {
    QFile small(QStringLiteral(CORVANEL_SOURCE_DIR "/tests/cli/data/small_16f628a.hex"));
    ASSERT_TRUE(small.open(QIODevice::ReadOnly));
    const QByteArray hex_bytes = small.readAll();
    const QString hex = write_file(QStringLiteral("fw.hex"), hex_bytes);
    const QString log = folder.filePath(QStringLiteral("fw.csv"));
    JobFile job;
    job.model = "PIC16F628A";
    job.serial = "700@E:10/2";
    job.repeat = false;
    const QString job_path = folder.filePath(QStringLiteral("fw.corvanel-job"));
    ASSERT_FALSE(save_job_file(job_path, job, hex, log));
    const std::string model_before = program.model.model_name;

    // Rebuilt since: refused before the buffer or the model changes.
    write_file(QStringLiteral("fw.hex"), hex_bytes + "\n");
    EXPECT_FALSE(window->open_job(job_path));
    ASSERT_FALSE(messages.empty());
    EXPECT_TRUE(messages.back().text.contains(QStringLiteral("is not the job's HEX file")));
    EXPECT_EQ(window->job_window(), nullptr);
    EXPECT_EQ(program.model.model_name, model_before);
    EXPECT_TRUE(window->loaded_file().isEmpty());
    EXPECT_TRUE(window->menu_production->menuAction()->isEnabled());

    write_file(QStringLiteral("fw.hex"), hex_bytes);
    ASSERT_TRUE(window->open_job(job_path));
    JobWindow* operator_window = window->job_window();
    ASSERT_NE(operator_window, nullptr);
    EXPECT_TRUE(operator_window->isVisible());
    EXPECT_EQ(program.model.model_name, "PIC16F628A");
    EXPECT_EQ(window->loaded_file(), hex);
    EXPECT_TRUE(window->production->serial_enabled());
    EXPECT_EQ(window->production->serial().value, 700u);
    EXPECT_EQ(window->production->log_path(), log);
    // Operator mode: Start, Stop and the counters only.
    for (QAction* menu : menus()) {
        EXPECT_FALSE(menu->isEnabled()) << menu->text().toStdString();
    }
    for (QPushButton* button : window->Command) {
        EXPECT_FALSE(button->isEnabled());
    }
    EXPECT_TRUE(operator_window->start_button->isEnabled());
    EXPECT_FALSE(operator_window->stop_button->isEnabled());
    // What still reaches the window is refused: a dropped file, another model, a cell.
    window->open_hex_file_asking(write_file(QStringLiteral("other.hex"), hex_bytes));
    EXPECT_EQ(window->loaded_file(), hex);
    EXPECT_EQ(window->status_text(), QStringLiteral("A job is open: close it first."));
    window->menumodel_Click();
    EXPECT_EQ(program.model.model_name, "PIC16F628A");

    QTest::mouseClick(operator_window->start_button, Qt::LeftButton);
    wait_until_idle();
    QFile logged(log);
    ASSERT_TRUE(logged.open(QIODevice::ReadOnly));
    const QString lines = QString::fromUtf8(logged.readAll());
    EXPECT_TRUE(lines.contains(QStringLiteral(",pass,700,"))) << lines.toStdString();
    QTest::qWait(300);
    EXPECT_TRUE(operator_window->counters_label->text().startsWith(QStringLiteral("Pass 1")))
        << operator_window->counters_label->text().toStdString();
    for (QAction* menu : menus()) {
        EXPECT_FALSE(menu->isEnabled()) << "after the chip: " << menu->text().toStdString();
    }
    EXPECT_TRUE(operator_window->start_button->isEnabled());

    QTest::mouseClick(operator_window->close_button, Qt::LeftButton);
    EXPECT_EQ(window->job_window(), nullptr);
    for (QAction* menu : menus()) {
        EXPECT_TRUE(menu->isEnabled()) << menu->text().toStdString();
    }
    EXPECT_FALSE(window->production->serial_enabled());
    EXPECT_TRUE(window->production->log_path().isEmpty());
}

TEST_F(JobWindowTest, TestBoardShowsItsTable) {
    message_answer = message_result::kYes;  // the socket is empty
    window->menutestboard_Click();
    ASSERT_NE(window->test_board_view(), nullptr);
    const QString shown =
        static_cast<DocumentView*>(window->test_board_view())->browser()->toPlainText();
    EXPECT_TRUE(shown.contains(QStringLiteral("PASS         Identify"))) << shown.toStdString();
    EXPECT_EQ(window->status_text(), QStringLiteral("Board test passed."));
    EXPECT_TRUE(window->menu3->menuAction()->isEnabled());
}

}  // namespace
}  // namespace corvanel::test
