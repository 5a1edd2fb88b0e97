// SPDX-License-Identifier: GPL-3.0-or-later
// "&Open HEX File" and "&Save Buffer As" through the main window.

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <QPushButton>
#include "core/image/hex_text.h"

#include "gui/ui/memory_table.h"
#include "gui/widgets/click_label.h"
#include "gui/widgets/table_scroll_bar.h"
#include "support/main_window_fixture.h"

namespace corvanel::test {
namespace {

using HexCommands = MainWindowTest;

QByteArray read_all(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QString native_folder(const QTemporaryDir& dir) {
    return QDir::toNativeSeparators(dir.path()) + QDir::separator();
}

TEST_F(HexCommands, OpenLoadsTheFileAndRemembersItsFolder) {
    Form1& form = open_window();
    chosen_path = write_file(QStringLiteral("good.hex"), ":020000000528D1\r\n:00000001FF\r\n");
    for (ClickLabel* opener : {form.label_hex, form.Label7}) {
        chooser_calls.clear();
        QTest::mouseClick(opener, Qt::LeftButton);
        ASSERT_EQ(chooser_calls.size(), 1u);
        EXPECT_EQ(chooser_calls[0].mode, FileChooserMode::Open);
        EXPECT_EQ(chooser_calls[0].title, "Select HEX File To Open");
    }
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(program.image.flash_word(0), 0x2805);
    EXPECT_EQ(
        form.label_hex->text(),
        QString::fromStdString(short_path(QDir::toNativeSeparators(chosen_path).toStdString())));
    EXPECT_EQ(form.status_text(), "Operation completed. Total 1 (.000K) program words loaded.");
    EXPECT_EQ(last_path(), native_folder(folder));
    EXPECT_EQ(store->get_string(QStringLiteral("Last Path"), QString()), native_folder(folder));
    EXPECT_EQ(chooser_calls[0].start_folder, native_folder(folder));
}

TEST_F(HexCommands, MergeLaysASecondFileOverTheBufferOrNamesTheConflict) {
    Form1& form = open_window();
    chosen_path = write_file(QStringLiteral("app.hex"), ":020000000528D1\r\n:00000001FF\r\n");
    form.menuopen->trigger();
    ASSERT_EQ(program.image.flash_word(0), 0x2805);

    chosen_path = write_file(QStringLiteral("boot.hex"), ":020008000130C5\r\n:00000001FF\r\n");
    form.menumerge->trigger();
    EXPECT_EQ(chooser_calls.back().title, "Select HEX File To Merge");
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(program.image.flash_word(0), 0x2805);
    EXPECT_EQ(program.image.flash_word(4), 0x3001);
    EXPECT_EQ(form.status_text(), "HEX file merged: 1 words from boot.hex.");

    // A word the buffer holds otherwise: nothing merged, the address and both words named.
    chosen_path = write_file(QStringLiteral("other.hex"),
                             ":040006000230FF3095\r\n:020000000A30C4\r\n:00000001FF\r\n");
    form.menumerge->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, message_kind::kError);
    EXPECT_TRUE(messages[0].text.endsWith(
        QStringLiteral("At address 0000h the buffer holds 2805h and other.hex 300Ah.")))
        << messages[0].text.toStdString();
    EXPECT_EQ(form.status_text(), "HEX file not merged!");
    EXPECT_EQ(program.image.flash_word(3), 0x3FFF) << "nothing of a refused file is merged";
}

TEST_F(HexCommands, FileWithAnErrorShowsItsLineAndKeepsTheBuffer) {
    Form1& form = open_window();
    program.image.flash[1] = 0x0001;
    form.scrl1->setValue(20);
    // Line 3 holds the FLASH word FFFFh, which no chip word can hold.
    chosen_path =
        write_file(QStringLiteral("bad.hex"),
                   ":020000000528D1\r\n; a comment\r\n:0200020000FFFD\r\n:00000001FF\r\n");
    form.menuopen->trigger();
    // The buffer holds an edit: it is offered for saving first (not saved here).
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "Save the buffer first?");
    EXPECT_EQ(messages[1].kind, 16);
    EXPECT_EQ(messages[1].caption, "Tavrelix Corvanel");
    EXPECT_EQ(messages[1].text,
              "Input program file in Intel Hex Format contains errors.\r\n"
              "Line number 3: Invalid data byte in the record.");
    // No partial load, and the buffer from before is still there to work on.
    EXPECT_EQ(program.image.last_used_flash(), 1);
    EXPECT_EQ(program.image.flash[1], 0x0001);
    EXPECT_EQ(form.tabla_flash->rows().first(), "0000A0: 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF")
        << "the scroll position stays";
    EXPECT_EQ(form.label_hex->text(), "");
    EXPECT_EQ(form.status_text(), "HEX file not loaded!");
    EXPECT_TRUE(form.Command[0]->isEnabled());
}

TEST_F(HexCommands, UnreadableFileIsReportedAsNotLoaded) {
    Form1& form = open_window();
    chosen_path = folder.filePath(QStringLiteral("missing.hex"));
    form.menuopen->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, 16);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("missing.hex")));
    EXPECT_EQ(form.status_text(), "HEX file not loaded!");
}

TEST_F(HexCommands, CancelledDialogsChangeNothing) {
    Form1& form = open_window();
    const QString before_status = form.status_text();
    const QString remembered = last_path();
    chosen_path.clear();
    form.menuopen->trigger();
    form.menusave->trigger();
    EXPECT_EQ(chooser_calls.size(), 2u);
    EXPECT_EQ(chooser_calls[1].mode, FileChooserMode::Save);
    EXPECT_EQ(chooser_calls[1].title, "Save Buffer As");
    EXPECT_EQ(form.status_text(), before_status);
    EXPECT_EQ(last_path(), remembered);
    EXPECT_TRUE(messages.empty());
}

TEST_F(HexCommands, SaveWritesTheImageAndLoadsBackTheSame) {
    Form1& form = open_window(QStringLiteral("3"));
    program.image.flash[0] = 0x2805;
    program.image.flash[9] = 0x0000;
    program.image.eeprom[0] = 0x12;
    program.image.config1 = 0x3FF1;
    chosen_path = folder.filePath(QStringLiteral("out.hex"));
    form.menusave->trigger();
    EXPECT_TRUE(messages.empty()) << "a new file needs no question";
    EXPECT_EQ(form.status_text(), "HEX file saved.");
    EXPECT_EQ(form.label_hex->text(), QDir::toNativeSeparators(chosen_path));
    const QByteArray text = read_all(chosen_path);
    EXPECT_TRUE(text.startsWith(":100000000528FF3F")) << text.toStdString();
    EXPECT_TRUE(text.contains(":04400E00F13FFF3F40\r\n"));
    EXPECT_TRUE(text.endsWith(":024200001200AA\r\n:00000001FF\r\n"));
    const MemoryImage saved = program.image;
    form.menuclear->trigger();
    form.menuopen->trigger();
    EXPECT_EQ(program.image.flash, saved.flash);
    EXPECT_EQ(program.image.eeprom, saved.eeprom);
    EXPECT_EQ(program.image.config1, saved.config1);
    EXPECT_EQ(program.image.config2, saved.config2);
    EXPECT_EQ(form.status_text(), "Operation completed. Total 10 (.009K) program words loaded.");
}

TEST_F(HexCommands, SavingOverAnExistingFileAsksFirst) {
    Form1& form = open_window(QStringLiteral("2"));
    chosen_path = write_file(QStringLiteral("old.hex"), "old contents");
    const QString native = QDir::toNativeSeparators(chosen_path);

    message_answer = 7;  // No
    form.menusave->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, 4);
    EXPECT_EQ(messages[0].text, QStringLiteral("Do you want to overwrite file %1?").arg(native));
    EXPECT_EQ(read_all(chosen_path), "old contents");
    EXPECT_EQ(form.status_text(), "Serial port COM2 error!");
    EXPECT_EQ(last_path(), native_folder(folder)) << "the folder is remembered all the same";

    message_answer = 6;  // Yes
    form.menusave->trigger();
    EXPECT_EQ(read_all(chosen_path), ":02400E00F13F80\r\n:00000001FF\r\n");
    EXPECT_EQ(form.status_text(), "HEX file saved.");
}

// The tests run as root, which ignores folder permissions, so the write is made
// impossible another way: the target's folder is an ordinary file.
TEST_F(HexCommands, FailedSaveIsReportedAndLeavesTheOldFileIntact) {
    Form1& form = open_window(QStringLiteral("2"));
    const QString blocker = write_file(QStringLiteral("not-a-folder"), "keep me");
    form.label_hex->setText(QStringLiteral("loaded.hex"));
    chosen_path = blocker + QStringLiteral("/out.hex");
    form.menusave->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].kind, 16);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("out.hex")))
        << messages[0].text.toStdString();
    EXPECT_EQ(form.status_text(), "HEX file not saved!");
    EXPECT_EQ(form.label_hex->text(), "loaded.hex");
    EXPECT_EQ(read_all(blocker), "keep me");
    EXPECT_TRUE(form.Command[0]->isEnabled());

    // A folder where the file should go: answering Yes must not destroy it.
    messages.clear();
    const QString folder_target = folder.filePath(QStringLiteral("sub.hex"));
    ASSERT_TRUE(QDir().mkdir(folder_target));
    write_file(QStringLiteral("sub.hex/inside.txt"), "inside");
    chosen_path = folder_target;
    message_answer = 6;
    form.menusave->trigger();
    ASSERT_EQ(messages.size(), 2u) << "the question, then the failure";
    EXPECT_EQ(messages[1].kind, 16);
    EXPECT_EQ(form.status_text(), "HEX file not saved!");
    EXPECT_EQ(read_all(folder.filePath(QStringLiteral("sub.hex/inside.txt"))), "inside");
}

// The window saves the way every file of the program is saved: through a
// symbolic link (also a dangling one), never over a read-only file, and past a
// temporary file a killed save left behind.
TEST_F(HexCommands, SaveWritesThroughLinksAndRefusesReadOnlyFiles) {
    Form1& form = open_window(QStringLiteral("2"));
    const QString target = folder.filePath(QStringLiteral("real.hex"));
    const QString link = folder.filePath(QStringLiteral("link.hex"));
    ASSERT_TRUE(QFile::link(target, link));  // dangling: real.hex does not exist yet
    write_file(QStringLiteral(".real.hex.tmp"), "left by a killed save");
    chosen_path = link;
    message_answer = 6;
    form.menusave->trigger();
    EXPECT_EQ(form.status_text(), "HEX file saved.");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(read_all(target), ":02400E00F13F80\r\n:00000001FF\r\n");
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral(".real.hex.tmp"))));

    messages.clear();
    const QString locked = write_file(QStringLiteral("locked.hex"), "keep me");
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::ReadOwner));
    chosen_path = locked;
    form.menusave->trigger();
    ASSERT_EQ(messages.size(), 2u) << "the question, then the refusal";
    EXPECT_TRUE(messages[1].text.contains(QStringLiteral("The file is read-only")))
        << messages[1].text.toStdString();
    EXPECT_EQ(form.status_text(), "HEX file not saved!");
    EXPECT_EQ(read_all(locked), "keep me");
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

}  // namespace
}  // namespace corvanel::test
