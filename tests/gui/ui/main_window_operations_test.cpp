// The five chip operations started from the main window, run against the
// in-process board on a virtual port.

#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include "gui/ui/cell_editor.h"
#include "gui/ui/memory_table.h"
#include "gui/widgets/click_label.h"
#include "support/main_window_fixture.h"

namespace corvanel::test {
namespace {

class WindowOperations : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        program.database = DeviceDatabase{};
        ASSERT_EQ(
            load_device_database(CORVANEL_SOURCE_DIR "/data/corvaneldevices.txt", program.database)
                .status,
            DatabaseStatus::Loaded);
        for (int n = 1; n <= program.database.model_count(); ++n) {
            if (program.database.model(n).name == "PIC16F628A") {
                model_number = n;
            }
        }
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

    int model_number = 0;
};

TEST_F(WindowOperations, ProgramVerifyAndReadBackOnTheVirtualBoard) {
    use_serial_link(2);
    Form1& form = open_window(QString::number(model_number));
    ASSERT_EQ(form.status_text(), "Serial port COM2 ready...");

    program.image.set_flash_word(0, 0x2805);
    program.image.set_flash_word(1, 0x0123);
    program.image.set_eeprom_byte(3, 0x5A);
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
    EXPECT_TRUE(form.tabla_flash->rows().first().startsWith("000000: 2805 0123 3FFF"));

    EXPECT_TRUE(run(2).startsWith("Chip erased. "));
    EXPECT_TRUE(run(3).startsWith("Chip is blank. "));
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

}  // namespace
}  // namespace corvanel::test
