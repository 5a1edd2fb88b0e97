#include "gui/link/port_commands.h"

#include <QStringList>

#include "core/devices/leading_number.h"
#include "core/devices/vpp_window.h"
#include "core/engine/program_state.h"
#include "gui/dialogs/input_box.h"
#include "gui/dialogs/message_box.h"
#include "platform/app/app_state.h"
#include "platform/app/settings_store.h"
#include "platform/link/serial_link.h"

namespace corvanel {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

void wrong_entry() {
    mymsgbox(QStringLiteral("Wrong entry!"), message_kind::kError, window_title());
}

bool is_digit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Compares two digit strings without leading zeros as whole numbers.
int compare_whole(const QString& a, const QString& b) {
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    return a.compare(b);
}

}  // namespace

TypedNumber TypedNumber::read(const QString& text) {
    TypedNumber number;
    qsizetype pos = 0;
    while (pos < text.size() && (text[pos] == QLatin1Char(' ') || text[pos] == QLatin1Char('\t'))) {
        ++pos;
    }
    if (pos < text.size() && (text[pos] == QLatin1Char('+') || text[pos] == QLatin1Char('-'))) {
        number.negative = text[pos] == QLatin1Char('-');
        ++pos;
    }
    while (pos < text.size() && is_digit(text[pos])) {
        if (!(number.whole.isEmpty() && text[pos] == QLatin1Char('0'))) {
            number.whole += text[pos];
        }
        ++pos;
    }
    if (pos < text.size() && text[pos] == QLatin1Char('.')) {
        ++pos;
        while (pos < text.size() && is_digit(text[pos])) {
            number.fraction += text[pos];
            ++pos;
        }
        while (number.fraction.endsWith(QLatin1Char('0'))) {
            number.fraction.chop(1);
        }
    }
    if (number.whole.isEmpty() && number.fraction.isEmpty()) {
        number.negative = false;  // minus zero is zero
    }
    return number;
}

bool TypedNumber::within(std::int32_t lower, std::int32_t upper) const {
    const QString low = lower == 0 ? QString() : QString::number(lower);
    const QString high = upper == 0 ? QString() : QString::number(upper);
    if (negative) {
        return false;  // bounds are never below zero, and minus zero was made zero
    }
    // whole.fraction >= lower  <=>  whole >= lower (lower is whole)
    if (compare_whole(whole, low) < 0) {
        return false;
    }
    // whole.fraction <= upper  <=>  whole < upper, or whole == upper with no fraction
    const int against_upper = compare_whole(whole, high);
    return against_upper < 0 || (against_upper == 0 && fraction.isEmpty());
}

QString TypedNumber::decimal_text() const {
    QString text = negative ? QStringLiteral("-") : QString();
    text += whole.isEmpty() ? QStringLiteral("0") : whole;
    if (!fraction.isEmpty()) {
        text += QLatin1Char('.') + fraction;
    }
    return text;
}

void change_serial_port_number(SerialLink& link) {
    ProgramState& state = link.state();
    const QString prompt = QStringLiteral("Please select programmer serial port number [1-16]:") +
                           kCrLf + kCrLf +
                           QStringLiteral("The list of COM ports that can be opened:") + kCrLf +
                           link.scan.openable_ports_text;
    QString answer = myinputbox(prompt, window_title(), QString::number(state.link.port_number));
    if (answer.isEmpty()) {
        return;
    }
    if (answer.toLower().startsWith(QStringLiteral("com"))) {
        answer.remove(0, 3);
    }
    if (!TypedNumber::read(answer).within(1, 16)) {
        wrong_entry();
        return;
    }
    link.close_port();
    state.link.port_number = leading_number(answer.toStdString());
    settings().put_number(QString::fromLatin1(setting_names::serial_port_number),
                          state.link.port_number);
    link.open_configured_port();
}

void change_baud_rate(SerialLink& link) {
    ProgramState& state = link.state();
    const QString answer =
        myinputbox(QStringLiteral("Please select programmer baud rate [1200-56000]."),
                   window_title(), QString::fromStdString(state.link.baud_text));
    if (answer.isEmpty()) {
        return;
    }
    const TypedNumber baud = TypedNumber::read(answer);
    if (!baud.within(1200, 56000)) {
        wrong_entry();
        return;
    }
    link.close_port();
    state.link.baud_text = baud.decimal_text().toStdString();
    settings().put_string(QString::fromLatin1(setting_names::serial_port_baud_rate),
                          baud.decimal_text());
    link.open_configured_port();
}

void change_programming_time(ProgramState& state) {
    const QString answer =
        myinputbox(QStringLiteral("Enter new programming time in ms [1-30]."), window_title(),
                   QString::number(state.model.programming_time));
    if (answer.isEmpty()) {
        return;
    }
    if (!TypedNumber::read(answer).within(1, 30)) {
        wrong_entry();
        return;
    }
    state.model.programming_time = leading_number(answer.toStdString());
}

std::optional<double> stored_board_vpp() {
    const QString stored =
        settings().find_string(QString::fromLatin1(setting_names::board_vpp)).value_or(QString());
    return parse_volts(stored.toStdString());
}

void change_board_vpp(ProgramState& state) {
    const std::optional<double> now = stored_board_vpp();
    const QString answer =
        myinputbox(QStringLiteral("Enter the programming voltage (Vpp) your board gives, in volts "
                                  "[0: unknown]. Before an operation on a chip whose Vpp window it "
                                  "misses, you are asked first."),
                   window_title(), now ? QString::number(*now) : QStringLiteral("0"));
    if (answer.isEmpty()) {
        return;
    }
    const QString typed = answer.trimmed();
    if (typed == QLatin1String("0")) {
        settings().put_string(QString::fromLatin1(setting_names::board_vpp), QString());
        state.board_vpp.reset();
        return;
    }
    const std::optional<double> volts = parse_volts(typed.toStdString());
    if (!volts) {
        wrong_entry();
        return;
    }
    settings().put_string(QString::fromLatin1(setting_names::board_vpp), typed);
    state.board_vpp = volts;
}

QString serial_port_pinout_text() {
    const QStringList lines = {
        QStringLiteral("Serial Port Pinout:"),
        QString(),
        QStringLiteral("Pin\tSignal\tDirection"),
        QStringLiteral("1\tDCD\tInput"),
        QStringLiteral("2\tRD\tInput"),
        QStringLiteral("3\tTD\tOutput"),
        QStringLiteral("4\tDTR\tOutput"),
        QStringLiteral("5\tGND\t-"),
        QStringLiteral("6\tDSR\tInput"),
        QStringLiteral("7\tRTS\tOutput"),
        QStringLiteral("8\tCTS\tInput"),
        QStringLiteral("9\tRI\tInput"),
        QString(),
        QStringLiteral("Directions are defined from the viewpoint of the PC."),
    };
    return lines.join(kCrLf) + kCrLf;
}

void show_serial_port_pinout() {
    mymsgbox(serial_port_pinout_text(), message_kind::kTick, window_title());
}

void toggle_vpp_test(ProgramState& state) {
    EngineHost& host = state.engine_host();
    state.link.vpp_test_on = !state.link.vpp_test_on;
    if (state.link.vpp_test_on) {
        // The label stays active while everything else is locked: clicking it
        // again is the way back.
        host.disable_commands();
        host.set_status_text("Vpp and Vdd voltages turned ON!");
        state.link.voltages_on(state.model.voltage_sequence);
    } else {
        host.enable_commands();
        host.set_status_text("Vpp and Vdd voltages turned OFF!");
        state.link.voltages_off();
    }
}

}  // namespace corvanel
