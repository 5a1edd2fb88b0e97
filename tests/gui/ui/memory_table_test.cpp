// SPDX-License-Identifier: GPL-3.0-or-later
// The memory tables: rows after a load, scroll bar and mouse wheel limits, the
// wheel target and the "&Clear Buffer" command.

#include <QWheelEvent>

#include <QPushButton>

#include "gui/ui/memory_table.h"
#include "gui/widgets/click_label.h"
#include "gui/widgets/table_scroll_bar.h"
#include "support/main_window_fixture.h"

namespace corvanel::test {
namespace {

using MemoryTables = MainWindowTest;

void send_wheel(QWidget* target, int delta) {
    const QPointF position(target->width() / 2.0, target->height() / 2.0);
    QWheelEvent event(position, target->mapToGlobal(position), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

TEST_F(MemoryTables, RowsAfterLoadingAFile) {
    Form1& form = open_window();
    // Words 0 to 2, EEPROM bytes 0 and 9, configuration word 3F31h.
    chosen_path = write_file(QStringLiteral("prog.hex"),
                             ":060000000528AB00000022\r\n"
                             ":02400E00313F40\r\n"
                             ":024200001200AA\r\n"
                             ":02421200340076\r\n"
                             ":00000001FF\r\n");
    form.menuopen->trigger();
    ASSERT_TRUE(messages.empty()) << messages.front().text.toStdString();
    EXPECT_EQ(form.tabla_flash->rows(),
              QStringList({"000000: 2805 00AB 0000 3FFF 3FFF 3FFF 3FFF 3FFF",
                           "000008: 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF",
                           "000010: 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF",
                           "000018: 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF",
                           "000020: 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF",
                           "000028: 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF",
                           "000030: 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF",
                           "000038: 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF"}));
    EXPECT_EQ(form.tabla_eeprom->rows(),
              QStringList({"0000: 12 FF FF FF FF FF FF FF", "0008: FF 34 FF FF FF FF FF FF",
                           "0010: FF FF FF FF FF FF FF FF", "0018: FF FF FF FF FF FF FF FF",
                           "0020: FF FF FF FF FF FF FF FF", "0028: FF FF FF FF FF FF FF FF",
                           "0030: FF FF FF FF FF FF FF FF", "0038: FF FF FF FF FF FF FF FF"}));
    EXPECT_FALSE(form.tabla_flash->text().endsWith("\r\n"));
    EXPECT_EQ(form.tabla_flash->text().count("\r\n"), 7);
    EXPECT_EQ(form.label_conf[0]->text(), "3F31");
    EXPECT_EQ(form.label_info->text(), "FLASH: 2048,  EEPROM: 128");
}

TEST_F(MemoryTables, ScrollingKeepsEveryTableInsideItsArea) {
    const struct {
        const char* model;
        int flash_maximum;
        int eeprom_maximum;
        const char* bottom_row_at_maximum;
    } cases[] = {
        {"2", 0, 0, "000038: 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF"},
        {"3", 1016, 24, "001FF8: 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        Form1& form = open_window(QString::fromLatin1(c.model));
        ASSERT_TRUE(form.isActiveWindow());
        EXPECT_EQ(form.scrl1->maximum(), c.flash_maximum);
        EXPECT_EQ(form.scrl2->maximum(), c.eeprom_maximum);
        ASSERT_EQ(form.wheel_target(), Form1::WheelTarget::Flash);

        // The scroll bar cannot pass its ends.
        form.scrl1->setValue(c.flash_maximum + 5);
        EXPECT_EQ(form.scrl1->value(), c.flash_maximum);
        EXPECT_EQ(form.tabla_flash->rows().last(), c.bottom_row_at_maximum);
        form.scrl1->setValue(-1);
        EXPECT_EQ(form.scrl1->value(), 0);

        // Wheel toward the user moves down 3 rows, clamped at the maximum.
        send_wheel(form.tabla_flash, -120);
        EXPECT_EQ(form.scrl1->value(), std::min(3, c.flash_maximum));
        form.scrl1->setValue(c.flash_maximum);
        send_wheel(form.tabla_flash, -120);
        EXPECT_EQ(form.scrl1->value(), c.flash_maximum);
        EXPECT_EQ(form.tabla_flash->rows().last(), c.bottom_row_at_maximum);

        // Away from the user moves up, clamped at 0.
        form.scrl1->setValue(std::min(2, c.flash_maximum));
        send_wheel(form.tabla_flash, 120);
        EXPECT_EQ(form.scrl1->value(), 0);
        send_wheel(form.tabla_flash, 120);
        EXPECT_EQ(form.scrl1->value(), 0);
        EXPECT_TRUE(form.tabla_flash->rows().first().startsWith("000000:"));
    }
}

TEST_F(MemoryTables, WheelCountsFullNotchesAndIgnoresTheirSize) {
    Form1& form = open_window(QStringLiteral("3"));
    send_wheel(form.tabla_flash, -40);
    send_wheel(form.tabla_flash, -40);
    EXPECT_EQ(form.scrl1->value(), 0) << "two thirds of a notch";
    send_wheel(form.tabla_flash, -40);
    EXPECT_EQ(form.scrl1->value(), 3);
    send_wheel(form.tabla_flash, -360);
    EXPECT_EQ(form.scrl1->value(), 12) << "three notches in one event";
    // Over the scroll bar itself the wheel moves 3 rows too, not the bar's own step.
    send_wheel(form.scrl1, 120);
    EXPECT_EQ(form.scrl1->value(), 9);
    // Direct notifications: one step each, whatever the delta.
    form.MouseWheel(0, -1, 0, 0);
    EXPECT_EQ(form.scrl1->value(), 12);
}

TEST_F(MemoryTables, WheelFollowsThePointerBetweenTables) {
    Form1& form = open_window(QStringLiteral("3"));
    ASSERT_EQ(form.wheel_target(), Form1::WheelTarget::Flash);
    QTest::mouseMove(form.tabla_eeprom, QPoint(20, 20));
    EXPECT_EQ(form.wheel_target(), Form1::WheelTarget::Eeprom);
    EXPECT_TRUE(form.scrl2->hasFocus());
    send_wheel(form.tabla_eeprom, -120);
    EXPECT_EQ(form.scrl2->value(), 3);
    EXPECT_EQ(form.scrl1->value(), 0);
    EXPECT_TRUE(form.tabla_eeprom->rows().first().startsWith("0018:"));
    QTest::mouseMove(form.tabla_flash, QPoint(30, 30));
    EXPECT_EQ(form.wheel_target(), Form1::WheelTarget::Flash);
    // A table handed the focus passes it to its scroll bar.
    form.tabla_eeprom->setFocus();
    EXPECT_TRUE(form.scrl2->hasFocus());
}

TEST_F(MemoryTables, WheelSwitchedOffBySettingOrWhileInactive) {
    store->put_number(QStringLiteral("Mouse Wheel Enabled"), 0);
    Form1& form = open_window(QStringLiteral("3"));
    EXPECT_FALSE(form.wheel_enabled());
    send_wheel(form.tabla_flash, -120);
    send_wheel(form.scrl1, -120);
    EXPECT_EQ(form.scrl1->value(), 0);

    store->put_number(QStringLiteral("Mouse Wheel Enabled"), 1);
    form.Form_Activate();
    EXPECT_TRUE(form.wheel_enabled());
    form.Form_Deactivate();
    send_wheel(form.tabla_flash, -120);
    EXPECT_EQ(form.scrl1->value(), 0);
}

TEST_F(MemoryTables, ThumbDragRedrawsAtEveryPosition) {
    Form1& form = open_window(QStringLiteral("3"));
    form.scrl1->setSliderDown(true);
    form.scrl1->setSliderPosition(100);
    form.scrl1->setSliderDown(false);
    EXPECT_EQ(form.scrl1->value(), 100);
    EXPECT_TRUE(form.tabla_flash->rows().first().startsWith("000320:"));
}

TEST_F(MemoryTables, ModelWithoutEepromOrSecondConfigWord) {
    Form1& form = open_window(QStringLiteral("2"));
    EXPECT_TRUE(form.tabla_eeprom->rows().isEmpty());
    EXPECT_EQ(form.label_info->text(), "FLASH: 64,  EEPROM: 0");
    EXPECT_EQ(form.label_conf[0]->text(), "3FF1") << "the model's erased value";
    EXPECT_FALSE(form.label_conf[1]->isVisible());
    EXPECT_FALSE(form.lfix[1]->isVisible());
    EXPECT_EQ(form.label_conf[1]->text(), "");

    Form1& big = open_window(QStringLiteral("3"));
    EXPECT_TRUE(big.label_conf[1]->isVisible());
    EXPECT_TRUE(big.lfix[1]->isVisible());
    EXPECT_EQ(big.label_conf[1]->text(), "3FFF");
}

TEST_F(MemoryTables, ClearBufferBlanksTheImageAndReturnsToTheFirstRows) {
    Form1& form = open_window(QStringLiteral("3"));
    form.scrl1->setValue(500);
    form.scrl2->setValue(10);
    program.image.flash[4000] = 0x0123;
    program.image.config1 = 0x0001;
    form.label_hex->setText(QStringLiteral("prog.hex"));
    form.set_status(QStringLiteral("Chip read. 1.00 seconds elapsed..."));
    form.scrl2->setFocus();

    form.menuclear->trigger();
    EXPECT_EQ(program.image.flash_word(4000), 0x3FFF);
    EXPECT_EQ(program.image.config1, 0x3FFF);
    EXPECT_EQ(form.scrl1->value(), 0);
    EXPECT_EQ(form.scrl2->value(), 0);
    EXPECT_EQ(form.scrl1->maximum(), 1016);
    EXPECT_EQ(form.label_hex->text(), "");
    EXPECT_EQ(form.status_text(), "");
    EXPECT_EQ(form.wheel_target(), Form1::WheelTarget::Flash);
    EXPECT_TRUE(form.Command[0]->isEnabled());
}

TEST(MemoryTableRows, BlankRowsAndScrollMaxima) {
    MemoryImage image;
    image.flash_size = 2048;
    image.eeprom_size = 128;
    image.clear_image();
    EXPECT_EQ(flash_rows(image, 0).first(), "000000: 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF");
    EXPECT_EQ(flash_rows(image, 0).first().size(), 47);
    EXPECT_EQ(eeprom_rows(image, 8).first(), "0040: FF FF FF FF FF FF FF FF");
    EXPECT_EQ(eeprom_rows(image, 8).first().size(), 29);
    const std::pair<int, int> maxima[] = {{0, 0}, {64, 0}, {72, 1}, {128, 8}, {8192, 1016}};
    for (const auto& [cells, maximum] : maxima) {
        EXPECT_EQ(scroll_maximum(cells), maximum) << cells;
    }
}

}  // namespace
}  // namespace corvanel::test
