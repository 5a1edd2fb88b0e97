// SPDX-License-Identifier: GPL-3.0-or-later
// The window on enhanced mid-range models: every configuration word at its
// address, the user IDs at 8000h, and the "Programming entry" menu entry.

#include <gtest/gtest.h>

#include <QAction>

#include "gui/ui/cell_editor.h"
#include "gui/widgets/click_label.h"
#include "support/main_window_fixture.h"

namespace corvanel::test {
namespace {

class EnhancedWindow : public MainWindowTest {
protected:
    Form1& open_enhanced(int model) {
        EXPECT_EQ(parse_device_database(kTestDevicesEnhanced, "enhanced devices", program.database)
                      .status,
                  DatabaseStatus::Loaded);
        return open_window(QString::number(model));
    }
};

TEST_F(EnhancedWindow, ShowsEveryConfigurationWordAtItsAddress) {
    struct Case {
        int model;
        std::vector<QString> captions;  // of the words the model has
    };
    const std::vector<Case> cases{
        {1, {"Config. Word (8007h)", "Config. Word (8008h)"}},
        {2, {"CONF1 8007h", "CONF2 8008h", "CONF3 8009h"}},
        {3, {"CONF1 8007h", "CONF2 8008h", "CONF3 8009h", "CONF4 800Ah"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        Form1& form = open_enhanced(c.model);
        for (std::size_t k = 0; k < form.lfix.size(); ++k) {
            const bool shown = k < c.captions.size();
            EXPECT_EQ(form.lfix[k]->isVisible(), shown) << k;
            EXPECT_EQ(form.label_conf[k]->isVisible(), shown) << k;
            if (shown) {
                EXPECT_EQ(form.lfix[k]->text(), c.captions[k]);
                EXPECT_EQ(form.label_conf[k]->text(), "3FFF");
                // Captions beside one another must not overlap.
                if (k > 0) {
                    EXPECT_FALSE(form.lfix[k]->geometry().intersects(form.lfix[k - 1]->geometry()));
                    EXPECT_FALSE(form.label_conf[k]->geometry().intersects(
                        form.label_conf[k - 1]->geometry()));
                }
                EXPECT_FALSE(form.label_conf[k]->geometry().intersects(form.lfix_id->geometry()));
            }
        }
        EXPECT_EQ(form.label_id[0]->toolTip(), "User ID 8000h. Click to edit!");
        EXPECT_EQ(form.lfix_id->toolTip(), "User IDs (8000h-8003h)");

        // A word edited by hand lands in the image's word of that number.
        const std::size_t last = c.captions.size() - 1;
        form.label_conf_Click(static_cast<int>(last));
        form.unosbox->setText(QStringLiteral("1234"));
        form.unosbox_Enter();
        EXPECT_EQ(program.image.config_word(static_cast<int>(last) + 1), 0x1234);
        EXPECT_EQ(form.label_conf[last]->text(), "1234");
    }
}

TEST_F(EnhancedWindow, LowVoltageEntryIsASetting) {
    Form1& form = open_enhanced(1);
    ASSERT_NE(form.menulowvoltage, nullptr);
    EXPECT_FALSE(form.menulowvoltage->isChecked());
    EXPECT_EQ(program.programming_entry, ProgrammingEntry::HighVoltage);
    form.menulowvoltage->trigger();
    EXPECT_EQ(program.programming_entry, ProgrammingEntry::LowVoltage);
    EXPECT_EQ(store->find_string(QStringLiteral("Programming entry")),
              QStringLiteral("Low voltage"));
    form.menulowvoltage->trigger();
    EXPECT_EQ(program.programming_entry, ProgrammingEntry::HighVoltage);
    EXPECT_EQ(store->find_string(QStringLiteral("Programming entry")),
              QStringLiteral("High voltage"));

    // A new window starts from the stored setting.
    store->put_string(QStringLiteral("Programming entry"), QStringLiteral("Low voltage"));
    Form1& again = open_enhanced(1);
    EXPECT_TRUE(again.menulowvoltage->isChecked());
    EXPECT_EQ(program.programming_entry, ProgrammingEntry::LowVoltage);
}

}  // namespace
}  // namespace corvanel::test
