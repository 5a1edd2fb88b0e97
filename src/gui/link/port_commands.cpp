// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/link/port_commands.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include "core/devices/leading_number.h"
#include "core/devices/vdd_window.h"
#include "core/devices/vpp_window.h"
#include "core/engine/board_identify.h"
#include "core/engine/program_state.h"
#include "core/engine/supply_limits.h"
#include "core/engine/vdd_guard.h"
#include "core/engine/vpp_calibration.h"
#include "gui/dialogs/input_box.h"
#include "gui/dialogs/message_box.h"
#include "platform/app/app_state.h"
#include "platform/app/operation_settings.h"
#include "platform/app/settings_store.h"
#include "platform/link/port_map.h"
#include "platform/link/serial_link.h"
#include "platform/link/virtual_port.h"

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

std::vector<PortChoice> rescan_port_choices(SerialLink& link) {
    // A probe of its own: the working port stays open (and is counted as
    // openable, since this program holds it).
    QtSerialChannel probe;
    probe.set_ports_folder(link.MSComm1.ports_folder());
    probe.set_virtual_chip(link.state().model.model_name);
    const ProgrammerLink& line = link.state().link;
    std::vector<PortChoice> choices;
    PortScan scan;
    for (int n = kFirstComPort; n <= kLastComPort; ++n) {
        const PortTarget target = map_com_port(n, probe.ports_folder());
        PortChoice choice;
        choice.number = n;
        choice.target = target.describe();
        choice.registered = target.origin != QLatin1String("default");
        choice.openable = (line.port_ready && line.port_number == n) || probe_port(probe, n) == 1;
        if (!choice.openable) {
            choice.reason = probe.last_error();
        } else {
            if (!scan.openable_ports_text.isEmpty()) {
                scan.openable_ports_text += kCrLf;
            }
            scan.openable_ports_text += QStringLiteral("- Serial port COM%1 available").arg(n);
            scan.last_openable_port = n;
        }
        const bool device_there =
            target.kind == PortTarget::Kind::Device && QFileInfo::exists(target.device);
        if (choice.openable || choice.registered || device_there) {
            choices.push_back(choice);
        }
    }
    link.scan.openable_ports_text = scan.openable_ports_text;
    return choices;
}

QString port_choices_text(const std::vector<PortChoice>& choices) {
    // The openable ports first, in the lines the dialog has always shown.
    QStringList lines;
    for (const PortChoice& choice : choices) {
        if (choice.openable) {
            QString line = QStringLiteral("- Serial port COM%1 available").arg(choice.number);
            // A port registered in the ports folder (the board server's): say where it leads.
            if (choice.registered && choice.target != QLatin1String("virtual")) {
                line += QStringLiteral(" (%1)").arg(choice.target);
            }
            lines << line;
        }
    }
    QString text = lines.join(kCrLf);
    QStringList others;
    for (const PortChoice& choice : choices) {
        if (!choice.openable) {
            others << QStringLiteral("- COM%1 %2: %3")
                          .arg(choice.number)
                          .arg(choice.registered ? choice.target + QStringLiteral(" (registered)")
                                                 : choice.target)
                          .arg(choice.reason);
        }
    }
    if (!others.isEmpty()) {
        text += kCrLf + kCrLf + QStringLiteral("Ports that cannot be opened now:") + kCrLf +
                others.join(kCrLf);
    }
    text += kCrLf + kCrLf +
            QStringLiteral("V: Virtual board (an emulated programmer and chip in this program)");
    return text;
}

int use_virtual_board(SerialLink& link) {
    const QString folder = link.MSComm1.ports_folder();
    // A COM port that already leads to the virtual board is used as it is.
    int number = 0;
    for (int n = kFirstComPort; n <= kLastComPort && number == 0; ++n) {
        if (map_com_port(n, folder).is_virtual()) {
            number = n;
        }
    }
    for (int n = kLastComPort; n >= kFirstComPort && number == 0; --n) {
        const PortTarget target = map_com_port(n, folder);
        if (target.origin == QLatin1String("default") && !QFileInfo::exists(target.device)) {
            QDir().mkpath(folder);
            QFile entry(folder + QStringLiteral("/COM%1").arg(n));
            if (entry.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                entry.write("virtual\n") > 0) {
                number = n;
            }
        }
    }
    if (number == 0) {
        return 0;
    }
    ProgramState& state = link.state();
    link.close_port();
    state.link.port_number = number;
    settings().put_number(QString::fromLatin1(setting_names::serial_port_number), number);
    (void)link.open_configured_port();
    return number;
}

void change_serial_port_number(SerialLink& link) {
    ProgramState& state = link.state();
    const std::vector<PortChoice> choices = rescan_port_choices(link);
    const QString prompt = QStringLiteral("Please select programmer serial port number [1-16]:") +
                           kCrLf + kCrLf +
                           QStringLiteral("The list of COM ports that can be opened:") + kCrLf +
                           port_choices_text(choices);
    QString answer = myinputbox(prompt, window_title(), QString::number(state.link.port_number));
    if (answer.isEmpty()) {
        return;
    }
    const QString word = answer.trimmed().toLower();
    if (word == QLatin1String("v") || word == QLatin1String("virtual") ||
        word == QLatin1String("virtual board")) {
        if (use_virtual_board(link) == 0) {
            wrong_entry();
        }
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
    if (!link.open_configured_port()) {
        // Why, as `corvanel ports` says it: a missing device, the dialout group.
        mymsgbox(QStringLiteral("Serial port COM%1 cannot be opened: %2")
                     .arg(state.link.port_number)
                     .arg(link.MSComm1.last_error()),
                 message_kind::kError, window_title());
    }
}

void offer_virtual_board_when_no_port(SerialLink& link, bool first_start) {
    if (!first_start || link.state().link.port_ready || !link.scan.openable_ports_text.isEmpty()) {
        return;
    }
    const int answer = mymsgbox(
        QStringLiteral("No serial port can be opened on this computer.") + kCrLf + kCrLf +
            QStringLiteral("Use the virtual board (an emulated programmer and chip) to try the "
                           "program? Options, Change Serial Port Number chooses a port later."),
        message_kind::kQuestion, window_title());
    if (answer == message_result::kYes) {
        (void)use_virtual_board(link);
    }
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

ProgrammingEntry stored_programming_entry() {
    return build_operation_settings(settings()).settings.programming_entry;
}

std::optional<double> stored_board_vpp() {
    return build_operation_settings(settings()).settings.board_vpp;
}

void calibrate_board_vpp_command(ProgramState& state) {
    const QString answer =
        myinputbox(QStringLiteral("Measure the board's Vpp with a meter at its Vpp test point, "
                                  "voltages off, and enter it in volts [0: erase the "
                                  "calibration]. The board corrects its own readings by it."),
                   window_title(), QString())
            .trimmed();
    if (answer.isEmpty()) {
        return;
    }
    const std::optional<double> volts = answer == QLatin1String("0")
                                            ? std::optional<double>(0.0)
                                            : parse_volts(answer.toStdString());
    if (!volts) {
        wrong_entry();
        return;
    }
    const VppCalibrationResult result = calibrate_board_vpp(state, *volts);
    const std::string line = board_status_text(state);
    state.engine_host().set_status_text(line.empty() ? result.text : result.text + " " + line);
    mymsgbox(QString::fromStdString(result.text),
             result.ok ? message_kind::kInformation : message_kind::kError, window_title());
}

std::optional<double> ask_board_vpp_setting(const QString& question) {
    const QString answer = myinputbox(question, window_title(), QString()).trimmed();
    const std::optional<double> volts = parse_volts(answer.toStdString());
    if (answer.isEmpty()) {
        return std::nullopt;
    }
    if (!volts) {
        wrong_entry();
        return std::nullopt;
    }
    settings().put_string(QString::fromLatin1(setting_names::board_vpp), answer);
    return volts;
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

std::optional<double> stored_board_vdd() {
    return build_operation_settings(settings()).settings.board_vdd;
}

void change_board_vdd(ProgramState& state) {
    const std::optional<double> now = stored_board_vdd();
    QString window;
    if (state.model.vdd_window) {
        window = QStringLiteral(" %1 takes %2.")
                     .arg(QString::fromStdString(state.model.model_name),
                          QString::fromStdString(vdd_window_text(*state.model.vdd_window)));
    }
    const QString answer = myinputbox(
        QStringLiteral("Enter the supply voltage (Vdd) your board gives the chip, in volts "
                       "[0: unknown]. A board that reports its own Vdd overrides it. Before an "
                       "operation on a chip whose Vdd window it misses (or on an LF part while "
                       "it is unknown), you are asked first.") +
            window,
        window_title(), now ? QString::number(*now) : QStringLiteral("0"));
    if (answer.isEmpty()) {
        return;
    }
    const QString typed = answer.trimmed();
    if (typed == QLatin1String("0")) {
        settings().put_string(QString::fromLatin1(setting_names::board_vdd), QString());
        state.board_vdd.reset();
        return;
    }
    const std::optional<double> volts = parse_board_vdd(typed.toStdString());
    if (!volts) {
        wrong_entry();
        return;
    }
    settings().put_string(QString::fromLatin1(setting_names::board_vdd), typed);
    state.board_vdd = volts;
    // An open virtual board gives the chip what it is told: the guards then judge
    // the Vdd it reports, as they would a real board's.
    if (const auto* port = dynamic_cast<const QtSerialChannel*>(state.link.channel);
        port != nullptr && port->virtual_port() != nullptr) {
        port->virtual_port()->board().set_vdd(*volts);
        if (state.board_answer == BoardAnswer::Identified) {
            (void)identify_board(state);
        }
    }
    if (state.model.vdd_window) {
        const std::string note = erase_window_note(*state.model.vdd_window, *volts);
        if (!note.empty()) {
            mymsgbox(QString::fromStdString(state.model.model_name + ": " + note),
                     message_kind::kInformation, window_title());
        }
    }
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
    if (!state.link.vpp_test_on) {
        // The same limits as an operation: the board is asked again, and a Vpp or
        // Vdd the applied model cannot take keeps the voltages off.
        if (state.board_answer == BoardAnswer::Identified ||
            state.board_answer == BoardAnswer::Garbled) {
            (void)identify_board(state);
        }
        if (!check_supply_limits(state, false, kSupplyRefusedStatus)) {
            return;
        }
        // A board with Vdd select gets the applied model's supply (and Vpp level) first.
        prepare_vdd_select(state);
        // Set first: the interpreter drops the answer to the voltages-on.
        state.link.vpp_test_on = true;
        if (!state.link.voltages_on(state.model.voltage_sequence)) {
            state.link.vpp_test_on = false;
            (void)host.show_message(state.link.refusal, message_kind::kError, "");
            host.set_status_text(kSupplyRefusedStatus);
            return;
        }
        // The label stays active while everything else is locked: clicking it
        // again is the way back.
        host.disable_commands();
        host.set_status_text("Vpp and Vdd voltages turned ON!");
    } else {
        state.link.vpp_test_on = false;
        host.enable_commands();
        host.set_status_text("Vpp and Vdd voltages turned OFF!");
        state.link.voltages_off();
    }
}

}  // namespace corvanel
