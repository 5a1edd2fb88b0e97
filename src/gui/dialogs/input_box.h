// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program's own input box. Every value typed by the user is asked for
// through myinputbox, which shows the modal window Form07: a prompt, an entry
// field holding the current value (selected, so typing replaces it), "OK" and
// "Cancel". The caller checks and converts the answer itself.

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace corvanel {

class Form07 : public QDialog {
    Q_OBJECT
public:
    explicit Form07(QWidget* parent = nullptr);

    // Takes prompt, caption (empty = the product title) and the default
    // answer, and lays the window out for them. Call before showing.
    void set_prompt(const QString& prompt, const QString& caption, const QString& default_text);

    // Sizes the prompt to its text, moves the field and the buttons below it
    // and fills the field with the answer, all selected.
    void prepare_display();

    // Paints the window, the prompt and the entry field from the colour roles.
    void settheme();

    // The entry's text after "OK", "" after "Cancel"; the default until then.
    [[nodiscard]] const QString& answer() const { return answer_; }
    [[nodiscard]] const QString& prompt_text() const { return prompt_text_; }

    [[nodiscard]] QLabel* lab_title() const { return lab_title_; }
    [[nodiscard]] QLineEdit* txt_input() const { return txt_input_; }
    [[nodiscard]] QPushButton* Command1() const { return command1_; }
    [[nodiscard]] QPushButton* Command2() const { return command2_; }

    // "OK": the answer is the entry's text.
    void Command1_Click();
    // "Cancel": the answer is "".
    void Command2_Click();

    // Escape and the window frame act as "Cancel".
    void reject() override;

private:
    QString prompt_text_;
    QString answer_;

    QLabel* lab_title_;
    QLineEdit* txt_input_;
    QPushButton* command1_;
    QPushButton* command2_;
};

// Asks for one value and returns the typed text, or "" on Cancel. An empty
// caption means the product title "Tavrelix Corvanel".
QString myinputbox(const QString& prompt, const QString& caption, const QString& default_text);

// Replaces the window for tests and non-interactive hosts: while set,
// myinputbox calls it (with the caption already resolved) and returns its
// answer. An empty function shows the real window again.
using InputBoxInterceptor = std::function<QString(const QString& prompt, const QString& caption,
                                                  const QString& default_text)>;
void set_input_box_interceptor(InputBoxInterceptor interceptor);

}  // namespace corvanel
