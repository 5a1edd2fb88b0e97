// SPDX-License-Identifier: GPL-3.0-or-later
// The configuration words by name in the window: the labels' tooltips, the
// dialog of named fields (a click) beside the raw editor (a right click), and
// the device ID: "Identify Chip" and the question before Program All.

#include "gui/dialogs/config_word_dialog.h"

#include <QComboBox>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include "core/devices/device_identity.h"
#include "gui/ui/cell_editor.h"
#include "gui/widgets/click_label.h"
#include "support/main_window_fixture.h"
#include "support/shipped_database.h"

namespace corvanel::test {
namespace {

const ConfigFieldTable& shipped_fields() {
    static const ConfigFieldTable table = [] {
        ConfigFieldTable loaded;
        EXPECT_TRUE(load_config_fields(CORVANEL_SOURCE_DIR "/data/corvanelconfig.txt", loaded).ok);
        return loaded;
    }();
    return table;
}

class ConfigWords : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        install_config_field_table(&shipped_fields());
    }
    void TearDown() override {
        install_config_field_table(nullptr);
        MainWindowTest::TearDown();
    }
};

// Every field of two chips: moving its drop-down one option on changes the
// word in that field's bits only.
TEST_F(ConfigWords, EachDropDownChangesOnlyItsFieldsBits) {
    for (const char* chip : {"PIC16F628A", "PIC16F877A"}) {
        const ConfigWordFields* fields = config_word_fields(chip, 1);
        ASSERT_NE(fields, nullptr) << chip;
        for (int i = 0; i < static_cast<int>(fields->fields.size()); ++i) {
            const ConfigField& field = fields->fields[static_cast<std::size_t>(i)];
            SCOPED_TRACE(field.name);
            ConfigWordDialog dialog(*fields, 0x3F21);
            QComboBox* box = dialog.field_box(i);
            const int before = box->currentIndex();
            QTest::keyClick(box, before + 1 < box->count() ? Qt::Key_Down : Qt::Key_Up);
            ASSERT_NE(box->currentIndex(), before);
            const ConfigOption& chosen =
                field.options[static_cast<std::size_t>(box->currentIndex())];
            EXPECT_EQ(dialog.word() & ~field.mask, 0x3F21 & ~field.mask);
            EXPECT_EQ(dialog.word() & field.mask, chosen.value);
        }
    }
}

TEST_F(ConfigWords, ClickOpensTheDialogAndOkStoresTheWord) {
    Form1& form = open_window(QStringLiteral("1"));  // PIC16F628A
    program.image.config1 = 0x3F21;
    form.updatedisplay();
    const QString tooltip = form.label_conf[0]->toolTip();
    EXPECT_TRUE(tooltip.startsWith("Oscillator (FOSC): XT, XT oscillator"))
        << tooltip.toStdString();
    EXPECT_TRUE(tooltip.contains("\nWatchdog timer (WDTE): OFF, WDT disabled\n"));

    // Cancel changes nothing.
    bool acted = false;
    drive_modal<ConfigWordDialog, int>(
        [&] {
            QTest::mouseClick(form.label_conf[0], Qt::LeftButton);
            return 0;
        },
        [](ConfigWordDialog& dialog) {
            QTest::keyClick(dialog.field_box(0), Qt::Key_Down);
            dialog.cancel_button()->click();
        },
        acted);
    EXPECT_TRUE(acted);
    EXPECT_EQ(program.image.config1, 0x3F21);

    // The oscillator from XT to HS, then OK: only bits 4, 1, 0 change.
    drive_modal<ConfigWordDialog, int>(
        [&] {
            QTest::mouseClick(form.label_conf[0], Qt::LeftButton);
            return 0;
        },
        [](ConfigWordDialog& dialog) {
            EXPECT_EQ(dialog.field_box(0)->currentText().left(4), "XT -");
            QTest::keyClick(dialog.field_box(0), Qt::Key_Down);
            dialog.ok_button()->click();
        },
        acted);
    EXPECT_TRUE(acted);
    EXPECT_EQ(program.image.config1, 0x3F22);
    EXPECT_EQ(form.label_conf[0]->text(), "3F22");
    EXPECT_TRUE(form.label_conf[0]->toolTip().startsWith("Oscillator (FOSC): HS"));
    EXPECT_FALSE(form.unosbox->isVisible());

    // The raw editor stays on the right button.
    QTest::mouseClick(form.label_conf[0], Qt::RightButton);
    ASSERT_TRUE(form.unosbox->isVisible());
    QTest::keyClicks(form.unosbox, QStringLiteral("3f71"));
    QTest::keyClick(form.unosbox, Qt::Key_Return);
    EXPECT_EQ(program.image.config1, 0x3F71);
}

TEST_F(ConfigWords, ChipWithoutFieldsKeepsTheRawEditor) {
    Form1& form = open_window(QStringLiteral("2"));  // TINY64: no such chip in the table
    EXPECT_EQ(form.label_conf[0]->toolTip(), "Click to edit!");
    QTest::mouseClick(form.label_conf[0], Qt::LeftButton);
    EXPECT_TRUE(form.unosbox->isVisible());
}

// The shipped database on the in-process board emulating a PIC16F628A, with
// another model applied behind the board's back.
class WindowDeviceId : public ConfigWords {
protected:
    void SetUp() override {
        ConfigWords::SetUp();
        ASSERT_EQ(load_shipped_database(program.database).status, DatabaseStatus::Loaded);
        f628a = model_number(program.database, "PIC16F628A");
        f84a = model_number(program.database, "PIC16F84A");
        use_serial_link(2);
        open_window(QString::number(f628a));
        program.selected_model = f84a;
        ASSERT_TRUE(apply_model(program.database, f84a, program.model, program.image));
        program.image.clear_image();
    }

    // Runs the event loop until the operation has ended.
    void wait_until_idle() {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (!program.runner.running()) {
                loop.quit();
            }
        });
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        poll.start(20);
        loop.exec();
        EXPECT_FALSE(program.runner.running());
        QApplication::processEvents();  // what the window does after the operation
    }

    int f628a = 0;
    int f84a = 0;
};

TEST_F(WindowDeviceId, ProgramAllAsksAndNoCancels) {
    message_answer = 7;
    window->Command[0]->click();
    wait_until_idle();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              "The chip in the socket answers as PIC16F628A (ID 1060h, revision 0), not "
              "PIC16F84A. Continue?");
    EXPECT_EQ(messages[0].kind & 0xFF, 4);
    EXPECT_EQ(messages[0].kind & message_kind::kDefaultButton2, message_kind::kDefaultButton2)
        << "No by default";
    EXPECT_EQ(window->status_text(), "Program all cancelled.");
    EXPECT_TRUE(window->Command[0]->isEnabled());
}

TEST_F(WindowDeviceId, IdentifyChipOffersTheModel) {
    message_answer = 6;
    window->menuidentify->trigger();
    wait_until_idle();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, 4);
    EXPECT_EQ(messages[0].text,
              "The chip in the socket answers as PIC16F628A (ID 1060h, revision 0).\r\n\r\n"
              "Apply the model PIC16F628A?");
    EXPECT_EQ(program.selected_model, f628a);
    EXPECT_EQ(program.model.model_name, "PIC16F628A");
    EXPECT_EQ(store->get_string(QStringLiteral("Microcontroller Model"), QString()),
              QString::number(f628a));

    // Asked again, the applied model is the chip's: nothing more is offered.
    messages.clear();
    window->menuidentify->trigger();
    wait_until_idle();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(window->status_text(),
              "The chip in the socket answers as PIC16F628A (ID 1060h, revision 0).");
}

}  // namespace
}  // namespace corvanel::test
