// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/app/operation_run.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <string>
#include <vector>

#ifdef Q_OS_WIN
#include <io.h>
#define CORVANEL_ISATTY _isatty
#define CORVANEL_FILENO _fileno
#else
#include <unistd.h>
#define CORVANEL_ISATTY isatty
#define CORVANEL_FILENO fileno
#endif

#include "core/devices/config_fields.h"
#include "core/devices/device_database.h"
#include "core/devices/leading_number.h"
#include "core/devices/model_application.h"
#include "core/devices/model_fit.h"
#include "core/engine/board_identify.h"
#include "core/engine/line_rate.h"
#include "core/image/hex_merge.h"
#include "core/image/intel_hex_reader.h"
#include "platform/app/app_state.h"
#include "platform/app/data_files.h"
#include "platform/app/operation_settings.h"
#include "platform/link/port_setup.h"
#include "platform/link/virtual_port.h"

namespace corvanel {

namespace {

// "; did you mean PIC16F1509?" for a name typed without its maker's prefix
// (16F1509), or one whose name ends with what was typed; empty when none does.
QString model_suggestion(const DeviceDatabase& database, const QString& typed) {
    QStringList names;
    for (int n = 1; n <= database.model_count(); ++n) {
        const QString name = QString::fromStdString(database.model(n).name);
        if (name.endsWith(typed, Qt::CaseInsensitive) && !names.contains(name)) {
            names << name;
        }
    }
    if (typed.isEmpty() || names.isEmpty() || names.size() > 3) {
        return {};
    }
    return QStringLiteral("; did you mean %1?").arg(names.join(QStringLiteral(" or ")));
}

bool writes_hex_to_stdout(const Options& options) {
    const bool writes =
        options.command == QLatin1String("read") || options.command == QLatin1String("convert");
    return writes && !options.args.isEmpty() && names_standard_output(options.args.back());
}

std::vector<std::string>& raw_arguments() {
    static std::vector<std::string> arguments;
    return arguments;
}

}  // namespace

void print(std::FILE* out, const QString& text) {
    print_lines(out, text.toStdString());
}

int usage_error(const QString& text) {
    print(stderr, QStringLiteral("corvanel: ") + text);
    print(stderr, QStringLiteral("Try 'corvanel --help'."));
    return run_exit::kUsage;
}

// A HEX message as a block of lines with one blank line after it. Like the
// window's message box, a message loses one line end at its end, so a text
// that already ends with one is not followed by two blank lines.
void print_message(std::FILE* out, const std::string& text) {
    std::string_view body = text;
    if (body.size() >= 2 && body.substr(body.size() - 2) == "\r\n") {
        body.remove_suffix(2);
    }
    print_lines(out, body);
    std::fputc('\n', out);
}

// "-" and /dev/stdout name standard output: the HEX text goes there, and
// everything the tool says goes to standard error instead. (/dev/stdout is
// taken by name: through its link a file behind the output would be replaced
// by a new one, and the output itself would get nothing.)
bool names_standard_output(const QString& path) {
    return path == QLatin1String("-") || path == QLatin1String("/dev/stdout");
}

void set_raw_arguments(int argc, const char* const* argv) {
    raw_arguments().assign(argv, argv + argc);
}

std::string file_name_bytes(const QString& argument) {
    for (const std::string& raw : raw_arguments()) {
        if (QFile::decodeName(QByteArray::fromStdString(raw)) == argument) {
            return raw;
        }
    }
    return QFile::encodeName(argument).toStdString();
}

OperationRun::OperationRun(Options options, GangShared* gang)
    : options_(std::move(options)),
      out_(writes_hex_to_stdout(options_) ? stderr : stdout),
      // Several boards' progress bars cannot share one terminal line.
      terminal_(gang == nullptr && CORVANEL_ISATTY(CORVANEL_FILENO(out_)) != 0),
      host_(out_, terminal_),
      gang_(gang) {
    state_.host = &host_;
    host_.set_answer_yes(options_.force);
}

// The configuration fields file lies beside the device database in use.
QString OperationRun::data_folder() const {
    const QString database =
        options_.devices.isEmpty()
            ? find_device_database(make_program_folder(QCoreApplication::applicationDirPath())).path
            : options_.devices;
    return QFileInfo(database).absolutePath();
}

int OperationRun::load_run(bool needs_model) {
    // Every read of a FIFO named settings.ini would wait for a writer.
    if (const auto refused = stored_.refusal()) {
        print(stderr, QStringLiteral("corvanel: ") + *refused);
        return run_exit::kUsage;
    }
    if (const int loaded = load_database(); loaded != run_exit::kDone) {
        return loaded;
    }
    // Without the fields file nothing is known of code protection, and Verify
    // compares every word as before; `config` reports the file's fault itself.
    const QString fields = QDir(data_folder()).filePath(QString::fromLatin1(kConfigFieldsFileName));
    if (QFileInfo::exists(fields) &&
        load_config_fields(file_name_bytes(fields), config_fields_).ok) {
        state_.config_fields = &config_fields_;
    }
    if (needs_model) {
        if (const int selected = select_model(); selected != run_exit::kDone) {
            return selected;
        }
    }
    return run_exit::kDone;
}

int OperationRun::load_database() {
    QString path = options_.devices;
    if (path.isEmpty()) {
        const DeviceDatabaseLookup lookup =
            find_device_database(make_program_folder(QCoreApplication::applicationDirPath()));
        if (!lookup.found) {
            print(stderr, QStringLiteral("corvanel: ") + device_database_missing_text(lookup));
            return run_exit::kUsage;
        }
        path = lookup.path;
    }
    const DatabaseLoadResult loaded = load_device_database(file_name_bytes(path), state_.database);
    switch (loaded.status) {
        case DatabaseStatus::Loaded:
            return run_exit::kDone;
        case DatabaseStatus::NoModels:
            print(stderr, QStringLiteral("corvanel: %1 holds no models").arg(path));
            return run_exit::kUsage;
        case DatabaseStatus::FileError:
        case DatabaseStatus::BadLine:
            break;
    }
    print(stderr, QStringLiteral("corvanel: ") + QString::fromStdString(loaded.message));
    return run_exit::kUsage;
}

int OperationRun::select_model() {
    const DeviceDatabase& database = state_.database;
    int number = 0;
    if (options_.model.isEmpty()) {
        // As the window starts: the remembered number, model 1 when it names none.
        const QString stored =
            stored_.find_string(setting_names::microcontroller_model)
                .value_or(QString::fromLatin1(setting_defaults::microcontroller_model));
        number = leading_number(stored.toStdString());
        if (!database.has_model(number)) {
            number = 1;
        }
    } else {
        bool is_number = false;
        number = options_.model.toInt(&is_number);
        if (!is_number) {
            number = 0;
            for (int n = 1; n <= database.model_count(); ++n) {
                if (QString::fromStdString(database.model(n).name)
                        .compare(options_.model, Qt::CaseInsensitive) == 0) {
                    number = n;
                    break;
                }
            }
        }
        if (!database.has_model(number)) {
            return usage_error(
                QStringLiteral("no model %1 in the device database%2 (see "
                               "'corvanel models')")
                    .arg(options_.model, model_suggestion(database, options_.model)));
        }
    }
    state_.selected_model = number;
    if (!apply_model(database, number, state_.model, state_.image)) {
        return usage_error(QStringLiteral("model %1 cannot be applied").arg(number));
    }
    state_.image.clear_image();
    return run_exit::kDone;
}

int OperationRun::open_port() {
    ConsoleHost::set_port_open(true);
    link_ = std::make_unique<SerialLink>(state_);
    QtSerialChannel& port = link_->MSComm1;
    port.set_virtual_chip(state_.model.model_name);

    QString baud = options_.baud;
    if (baud.isEmpty()) {
        baud = stored_.find_string(setting_names::serial_port_baud_rate)
                   .value_or(QString::fromLatin1(setting_defaults::serial_port_baud_rate));
    } else if (!parse_line_settings(baud + QString::fromLatin1(kLineSettingsSuffix))) {
        return usage_error(QStringLiteral("--baud %1 is not a baud rate").arg(baud));
    }

    std::int32_t com_number = 0;
    if (!options_.port.isEmpty()) {
        target_ = parse_port_target(options_.port, port.ports_folder());
        com_number = parse_com_name(options_.port).value_or(0);
    } else {
        // As the window starts: the remembered port, else the last one that opens.
        const auto stored = stored_.find_number(setting_names::serial_port_number);
        com_number = stored ? *stored : scan_ports(port).last_openable_port;
        target_ = map_com_port(com_number, port.ports_folder());
    }
    port_name_ = com_number > 0 ? QStringLiteral("COM%1").arg(com_number) : options_.port;
    state_.link.port_number = com_number;
    state_.link.baud_text = baud.toStdString();
    // A rate the user chose (--baud, or the window's "Change Baud Rate") is kept:
    // no faster one is agreed with the board.
    state_.link.rate_pinned = !options_.baud.isEmpty() || baud_rate_chosen(stored_);
    host_.set_skip_pauses(target_.is_virtual());
    const OperationOptions given{.vpp = options_.vpp,
                                 .vdd = options_.vdd,
                                 .fast = options_.fast,
                                 .low_voltage = options_.low_voltage,
                                 .window = options_.window,
                                 .window_auto = options_.window_auto};
    const OperationSettingsResult built = build_operation_settings(stored_, &given);
    if (!built.ok()) {
        ConsoleHost::set_port_open(false);
        return usage_error(built.error);
    }
    apply_operation_settings(built.settings, state_);
    port.set_virtual_vdd(state_.board_vdd.value_or(5.0));
    port.set_banner_wait(options_.banner_wait ? BannerWait::Always : BannerWait::Automatic);

    const bool ready = port.select_target(target_) &&
                       port.set_line_settings(baud + QString::fromLatin1(kLineSettingsSuffix)) &&
                       port.open();
    state_.link.port_ready = ready;
    if (!ready) {
        ConsoleHost::set_port_open(false);
        QString reason = port.last_error();
        if (target_.is_none()) {
            reason = QStringLiteral("no such port");
        }
        print(stderr, QStringLiteral("Serial port %1 error! (%2)").arg(port_name_, reason));
        return run_exit::kLink;
    }
    if (!port.latency().note.isEmpty()) {
        // The port works, only slower per round trip: say so and go on.
        print(stderr, QStringLiteral("corvanel: %1: %2").arg(port_name_, port.latency().note));
    }
    keep_measured_windows(state_, stored_, [this] { return port_name_; });
    forget_board(state_);
    (void)identify_board(state_);
    (void)agree_line_rate(state_);
    if (const int signal_number = ConsoleHost::interrupt_signal(); signal_number != 0) {
        // Stopped while the board was asked what it is and which rate it takes (a
        // rate switch cut short leaves the line unsure): nothing more is sent but
        // voltages-off, and nothing is started.
        state_.link.voltages_off_after_fault();
        print_lines(out_, "Interrupted: voltages off.");
        (void)close_port();
        return 128 + signal_number;
    }
    // The in-process board is no hardware to name; a real board's line tells the
    // user which Vdd and Vpp the guards judged by.
    if (port.virtual_port() == nullptr && (state_.board_answer == BoardAnswer::Identified ||
                                           state_.board_answer == BoardAnswer::Garbled)) {
        print(stderr, QStringLiteral("corvanel: %1: %2")
                          .arg(port_name_, QString::fromStdString(board_status_text(state_))));
    }
    return check_job_rails();
}

int OperationRun::close_port() {
    if (!link_) {
        return run_exit::kDone;
    }
    if (VirtualPort* board = link_->MSComm1.virtual_port()) {
        left_powered_ = board->board().voltages_on();
    }
    link_->close_port();  // the board back at its starting rate first
    const QString error = link_->MSComm1.last_error();
    link_.reset();
    ConsoleHost::set_port_open(false);
    if (!error.isEmpty()) {
        print(stderr, QStringLiteral("corvanel: ") + error);
        return run_exit::kLink;
    }
    return run_exit::kDone;
}

int OperationRun::run_operation(OperationKind kind, const InstructionList* algorithm,
                                bool continues) {
    const StartResult started = algorithm != nullptr
                                    ? start_operation_on(state_, kind, *algorithm, continues)
                                    : start_operation(state_, kind);
    if (started == StartResult::Refused) {
        start_refused_ = true;
        return run_exit::kRefused;  // the board's Vpp does not suit the chip
    }
    if (started != StartResult::Started) {
        return run_exit::kLink;
    }
    const bool answered = host_.wait_for_operation(state_);
    if (host_.interrupted()) {
        return 128 + ConsoleHost::interrupt_signal();
    }
    if (host_.program_ended()) {
        return run_exit::kUsage;  // the device file's script has an unknown instruction
    }
    if (!answered || link_->MSComm1.port_lost()) {
        return run_exit::kLink;
    }
    if (state_.operation_failed) {
        return run_exit::kRefused;  // out of step, or a script that would not end
    }
    if (state_.operation_refused) {
        return run_exit::kRefused;  // the chip in the socket is not the model's
    }
    if ((kind == OperationKind::Blank || kind == OperationKind::Verify) &&
        state_.report.mismatch_count != 0) {
        return run_exit::kRefused;
    }
    if (kind == OperationKind::Verify && verify_incomplete(state_.runner)) {
        return run_exit::kRefused;  // code protection hid a memory: not verified
    }
    return run_exit::kDone;
}

bool OperationRun::load_hex(const QString& path) {
    HexOpenReport report = open_hex_file(file_name_bytes(path), state_.image);
    add_model_fit_text(state_.database, state_.selected_model, report);
    out_of_range_count_ = report.out_of_range_count;
    for (const HexMessage& message : report.messages) {
        print_message(out_, message.text);
    }
    print_lines(out_, report.status_text);
    hex_cut_short_ = report.loaded && report.cut_short;
    if (!report.loaded || options_.merge.isEmpty()) {
        return report.loaded;
    }
    const HexMergeResult merged = merge_hex_file(file_name_bytes(options_.merge), state_.image);
    for (const HexMessage& message : merged.messages) {
        print_message(out_, message.text);
    }
    print_lines(out_, merged.status_text);
    // What the chip cannot hold of either file, or either file cut short,
    // stops program and verify as it would for one file.
    out_of_range_count_ += merged.out_of_range_count;
    hex_cut_short_ = hex_cut_short_ || merged.cut_short;
    return merged.merged;
}

int OperationRun::confirm_complete_file() {
    if (!hex_cut_short_) {
        return run_exit::kDone;
    }
    const std::string question = std::string(kNoEndRecordText) + "\r\nContinue?";
    return host_.show_message(question, message_kind::kQuestion, "") == message_result::kYes
               ? run_exit::kDone
               : run_exit::kRefused;
}

int OperationRun::load_file_to_write(const QString& path) {
    if (!load_hex(path) || refuse_out_of_range(path)) {
        return run_exit::kRefused;
    }
    return confirm_complete_file();
}

bool OperationRun::refuse_out_of_range(const QString& path) {
    if (out_of_range_count_ == 0 || options_.force) {
        return false;
    }
    // The warning above listed the addresses; what the chip can hold would be
    // programmed without the rest, and a truncated program is no success.
    print(stderr, QStringLiteral("corvanel: %1 has data for %2 addresses outside %3; refused "
                                 "(--force uses the rest)")
                      .arg(path)
                      .arg(out_of_range_count_)
                      .arg(QString::fromStdString(state_.model.model_name)));
    return true;
}

int OperationRun::check_job_rails() {
    if (!job_) {
        return run_exit::kDone;
    }
    const std::string refused =
        job_rails_refusal(job_->job, effective_board_vdd(state_), effective_board_vpp(state_));
    if (refused.empty()) {
        return run_exit::kDone;
    }
    print_lines(stderr, "corvanel: " + refused + " Nothing was written.");
    (void)close_port();
    return run_exit::kRefused;
}

}  // namespace corvanel
