// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program's own message box. Every message the user sees goes through
// mymsgbox, which shows the modal window Form08: the text on a prompt-coloured
// field sized to fit it, one of four icons, "OK" or "Yes"/"No", the keys Y, Z
// (first button) and N (second button), and a click on the text copies it.

#include <QDialog>
#include <QFont>
#include <QPixmap>
#include <QString>

#include <functional>

#include "core/message_kind.h"

class QLabel;
class QPushButton;
class QTextEdit;
class QWidget;

namespace corvanel {

// Kinds and results: core/message_kind.h. Any other kind shows no icon and the
// single "OK" button.

// The dialogs' text font: Microsoft Sans Serif 9 pt where the platform has it,
// else the nearest sans-serif face.
[[nodiscard]] QFont dialog_font();

// The message as the box shows it and copies it: one trailing CR LF removed,
// and each word longer than 55 characters broken once after its last "\" (or,
// without one, its last "_") within the first 55 characters. Lines stay
// separated by CR LF.
[[nodiscard]] QString prepare_message_text(const QString& text);

// The 48 x 48 icon of a kind (0, 4, 16, 64), drawn here; a null pixmap for
// any other kind.
[[nodiscard]] QPixmap message_icon(int kind, qreal device_pixel_ratio = 1.0);

class Form08 : public QDialog {
    Q_OBJECT
public:
    explicit Form08(QWidget* parent = nullptr);

    // Takes text, kind and caption (empty = the product title) and lays the
    // window out for them. Call before showing.
    void set_message(const QString& text, int kind, const QString& caption);

    // Sizes the text field to the prepared text, moves the buttons below it,
    // sizes the window and shows the icon and buttons of the kind.
    void prepare_display();

    // Paints the window and the text field from the current colour roles.
    void settheme();

    // Which button (or key, or the window frame) closed the box: 1, 6 or 7.
    [[nodiscard]] int message_result() const { return message_result_; }
    [[nodiscard]] int message_kind() const { return message_kind_; }
    [[nodiscard]] const QString& message_text() const { return message_text_; }
    [[nodiscard]] const QString& prepared_text() const { return prepared_text_; }
    // The prepared text as it goes to the clipboard: CR LF on Windows, the
    // platform's own line ends elsewhere.
    [[nodiscard]] QString clipboard_text() const;

    // The controls, for the layout's users and for tests.
    [[nodiscard]] QLabel* lab_title() const { return lab_title_; }
    [[nodiscard]] QTextEdit* txt_title() const { return txt_title_; }
    [[nodiscard]] QPushButton* Command1() const { return command1_; }
    [[nodiscard]] QPushButton* Command2() const { return command2_; }
    [[nodiscard]] QLabel* img_ok() const { return img_ok_; }
    [[nodiscard]] QLabel* img_info() const { return img_info_; }
    [[nodiscard]] QLabel* img_err() const { return img_err_; }
    [[nodiscard]] QLabel* img_ask() const { return img_ask_; }

    // First button: "Yes" (6) in a kind-4 box, "OK" (1) otherwise.
    void Command1_Click();
    // Second button: "No" (7).
    void Command2_Click();
    // Copies the prepared text to the clipboard.
    void lab_title_Click();

    // Escape and the window frame: "No" in a kind-4 box, so that a question
    // closed without an answer never says yes; "OK" otherwise.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Y, Z and N act in every kind; true when the key was one of them.
    bool Form_KeyDown(int key);

    QString message_text_;
    QString prepared_text_;
    int message_kind_ = message_kind::kTick;
    bool default_second_ = false;
    int message_result_ = message_result::kOk;

    QLabel* lab_title_;
    QTextEdit* txt_title_;
    QPushButton* command1_;
    QPushButton* command2_;
    QLabel* img_ok_;
    QLabel* img_info_;
    QLabel* img_err_;
    QLabel* img_ask_;
};

// Shows `text` in a modal message box and returns 1 (OK), 6 (Yes) or 7 (No).
// An empty caption means the product title "Tavrelix Corvanel".
int mymsgbox(const QString& text, int kind, const QString& caption = QString());

// Replaces the window for tests and non-interactive hosts: while set, mymsgbox
// calls it (with the caption already resolved) and returns its result instead
// of showing anything. An empty function shows the real window again.
// How many message boxes are open now (nested ones counted; the interceptor's
// calls too): while a question waits, what it asks about must not change under it.
[[nodiscard]] int open_message_boxes();

using MessageBoxInterceptor =
    std::function<int(const QString& text, int kind, const QString& caption)>;
void set_message_box_interceptor(MessageBoxInterceptor interceptor);

}  // namespace corvanel
