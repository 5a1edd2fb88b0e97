#include "cli/cli_tool.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <optional>
#include <string>

#ifdef Q_OS_WIN
#include <io.h>
#define CORVANEL_ISATTY _isatty
#define CORVANEL_FILENO _fileno
#else
#include <unistd.h>
#define CORVANEL_ISATTY isatty
#define CORVANEL_FILENO fileno
#endif

#include "cli/cli_host.h"
#include "core/devices/device_database.h"
#include "core/devices/leading_number.h"
#include "core/devices/model_application.h"
#include "core/engine/chip_operations.h"
#include "core/engine/program_state.h"
#include "core/image/hex_text.h"
#include "core/image/intel_hex_reader.h"
#include "core/image/intel_hex_writer.h"
#include "platform/app/settings_store.h"
#include "platform/link/port_map.h"
#include "platform/link/port_setup.h"
#include "platform/link/serial_link.h"

namespace corvanel {

namespace {

struct Options {
    QString model;
    QString port;
    QString baud;
    QString devices;
    bool verify = false;
    bool help = false;
    QString command;
    QStringList args;
};

void print(std::FILE* out, const QString& text) {
    print_lines(out, text.toStdString());
}

int usage_error(const QString& text) {
    print(stderr, QStringLiteral("corvanel: ") + text);
    print(stderr, QStringLiteral("Try 'corvanel --help'."));
    return cli_exit::kUsage;
}

std::optional<Options> parse_arguments(const QStringList& arguments, QString& error) {
    Options options;
    const QStringList valued = {QStringLiteral("--model"), QStringLiteral("--port"),
                                QStringLiteral("--baud"), QStringLiteral("--devices")};
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.help = true;
            continue;
        }
        if (arg == QLatin1String("--verify")) {
            options.verify = true;
            continue;
        }
        if (arg.startsWith(QLatin1String("--"))) {
            QString name = arg;
            QString value;
            bool has_value = false;
            if (const auto eq = arg.indexOf(QLatin1Char('=')); eq > 0) {
                name = arg.left(eq);
                value = arg.mid(eq + 1);
                has_value = true;
            }
            if (!valued.contains(name)) {
                error = QStringLiteral("unknown option %1").arg(name);
                return std::nullopt;
            }
            if (!has_value) {
                if (i + 1 >= arguments.size()) {
                    error = QStringLiteral("%1 needs a value").arg(name);
                    return std::nullopt;
                }
                value = arguments[++i];
            }
            if (name == QLatin1String("--model")) {
                options.model = value;
            } else if (name == QLatin1String("--port")) {
                options.port = value;
            } else if (name == QLatin1String("--baud")) {
                options.baud = value;
            } else {
                options.devices = value;
            }
            continue;
        }
        if (options.command.isEmpty()) {
            options.command = arg;
        } else {
            options.args << arg;
        }
    }
    return options;
}

// Everything one run of the tool works on.
class Tool {
public:
    explicit Tool(Options options)
        : options_(std::move(options)),
          terminal_(CORVANEL_ISATTY(CORVANEL_FILENO(stdout)) != 0),
          host_(stdout, terminal_) {
        state_.host = &host_;
    }

    int run();

private:
    [[nodiscard]] int load_database();
    [[nodiscard]] int select_model();
    [[nodiscard]] int open_port();
    [[nodiscard]] int close_port();
    [[nodiscard]] int run_operation(OperationKind kind);
    // Loads the file as the window's "&Open HEX File" does and prints what it shows.
    [[nodiscard]] bool load_hex(const QString& path);
    [[nodiscard]] int save_hex(const QString& path);
    void print_image();

    [[nodiscard]] int cmd_models();
    [[nodiscard]] int cmd_ports();
    [[nodiscard]] int cmd_file(bool dump);
    [[nodiscard]] int cmd_convert();
    [[nodiscard]] int cmd_program();
    [[nodiscard]] int cmd_verify();
    [[nodiscard]] int cmd_read();
    [[nodiscard]] int cmd_simple(OperationKind kind);

    [[nodiscard]] bool expect_args(int count);

    Options options_;
    bool terminal_;
    CliHost host_;
    ProgramState state_;
    // The window application's settings, only ever read: the tool writes none.
    SettingsStore stored_;
    std::unique_ptr<SerialLink> link_;
    PortTarget target_;
    QString port_name_;
};

bool Tool::expect_args(int count) {
    if (options_.args.size() == count) {
        return true;
    }
    usage_error(QStringLiteral("%1 takes %2 argument%3")
                    .arg(options_.command)
                    .arg(count)
                    .arg(count == 1 ? QString() : QStringLiteral("s")));
    return false;
}

int Tool::load_database() {
    const QString path = options_.devices.isEmpty()
                             ? QDir(QCoreApplication::applicationDirPath())
                                   .filePath(QString::fromLatin1(kDeviceDatabaseFileName))
                             : options_.devices;
    const DatabaseLoadResult loaded = load_device_database(path.toStdString(), state_.database);
    switch (loaded.status) {
        case DatabaseStatus::Loaded:
            return cli_exit::kDone;
        case DatabaseStatus::NoModels:
            print(stderr, QStringLiteral("corvanel: %1 holds no models").arg(path));
            return cli_exit::kUsage;
        case DatabaseStatus::FileError:
        case DatabaseStatus::BadLine:
            break;
    }
    print(stderr, QStringLiteral("corvanel: ") + QString::fromStdString(loaded.message));
    return cli_exit::kUsage;
}

int Tool::select_model() {
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
            return usage_error(QStringLiteral("no model %1 in the device database (see 'corvanel "
                                              "models')")
                                   .arg(options_.model));
        }
    }
    state_.selected_model = number;
    if (!apply_model(database, number, state_.model, state_.image)) {
        return usage_error(QStringLiteral("model %1 cannot be applied").arg(number));
    }
    state_.image.clear_image();
    return cli_exit::kDone;
}

int Tool::open_port() {
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
    host_.set_skip_pauses(target_.is_virtual());

    const bool ready = port.select_target(target_) &&
                       port.set_line_settings(baud + QString::fromLatin1(kLineSettingsSuffix)) &&
                       port.open();
    state_.link.port_ready = ready;
    if (!ready) {
        QString reason = port.last_error();
        if (target_.is_none()) {
            reason = QStringLiteral("no such port");
        }
        print(stderr, QStringLiteral("Serial port %1 error! (%2)").arg(port_name_, reason));
        return cli_exit::kLink;
    }
    return cli_exit::kDone;
}

int Tool::close_port() {
    if (!link_) {
        return cli_exit::kDone;
    }
    link_->close_port();
    const QString error = link_->MSComm1.last_error();
    link_.reset();
    if (!error.isEmpty()) {
        print(stderr, QStringLiteral("corvanel: ") + error);
        return cli_exit::kLink;
    }
    return cli_exit::kDone;
}

int Tool::run_operation(OperationKind kind) {
    if (start_operation(state_, kind) != StartResult::Started) {
        return cli_exit::kLink;
    }
    const bool answered = host_.wait_for_operation(state_);
    if (host_.interrupted()) {
        return cli_exit::kInterrupted;
    }
    if (host_.program_ended()) {
        return cli_exit::kUsage;  // the device file's script has an unknown instruction
    }
    if (!answered) {
        return cli_exit::kLink;
    }
    if ((kind == OperationKind::Blank || kind == OperationKind::Verify) &&
        state_.report.mismatch_count != 0) {
        return cli_exit::kRefused;
    }
    return cli_exit::kDone;
}

bool Tool::load_hex(const QString& path) {
    const HexOpenReport report = open_hex_file(path.toStdString(), state_.image);
    for (const HexMessage& message : report.messages) {
        print_lines(stdout, message.text);
        std::fputc('\n', stdout);
    }
    print_lines(stdout, report.status_text);
    return report.loaded;
}

int Tool::save_hex(const QString& path) {
    const HexSaveResult result = save_hex_file(path.toStdString(), state_.image);
    for (const HexMessage& message : result.messages) {
        print_lines(stdout, message.text);
        std::fputc('\n', stdout);
    }
    print_lines(stdout, result.status_text);
    return result.saved ? cli_exit::kDone : cli_exit::kRefused;
}

void Tool::print_image() {
    const MemoryImage& image = state_.image;
    for (std::int32_t row = 0; row < image.flash_size / 8; ++row) {
        std::string line = hex6(row * 8) + ":";
        for (std::int32_t i = 0; i < 8; ++i) {
            line += " " + hex4(image.flash_word(row * 8 + i));
        }
        print_lines(stdout, line);
    }
    for (std::int32_t row = 0; row < image.eeprom_size / 8; ++row) {
        std::string line = hex4(row * 8) + ":";
        for (std::int32_t i = 0; i < 8; ++i) {
            line += " " + hex2(image.eeprom_byte(row * 8 + i));
        }
        print_lines(stdout, line);
    }
    print_lines(stdout, "CONF1: " + hex4(image.config1));
    if (image.config2_used) {
        print_lines(stdout, "CONF2: " + hex4(image.config2));
    }
}

int Tool::cmd_models() {
    if (!expect_args(0)) {
        return cli_exit::kUsage;
    }
    for (int n = 1; n <= state_.database.model_count(); ++n) {
        ActiveModel model;
        MemoryImage image;
        (void)apply_model(state_.database, n, model, image);
        const std::string line =
            QStringLiteral("%1  %2  %3  %4")
                .arg(n, 2)
                .arg(QString::fromStdString(state_.database.model(n).name), -12)
                .arg(image.flash_size, 5)
                .arg(image.eeprom_size, 4)
                .toStdString();
        print_lines(stdout, line);
    }
    return cli_exit::kDone;
}

int Tool::cmd_ports() {
    if (!expect_args(0)) {
        return cli_exit::kUsage;
    }
    QtSerialChannel port;
    port.set_virtual_chip(state_.model.model_name);
    for (int n = kFirstComPort; n <= kLastComPort; ++n) {
        const PortTarget target = map_com_port(n, port.ports_folder());
        QString verdict;
        if (probe_port(port, n) == 1) {
            verdict = target.is_virtual()
                          ? QStringLiteral("can be opened (in-process board, %1)")
                                .arg(QString::fromStdString(state_.model.model_name))
                          : QStringLiteral("can be opened");
        } else {
            verdict = QStringLiteral("cannot be opened: ") + port.last_error();
        }
        print(stdout,
              QStringLiteral("COM%1  %2  %3").arg(n, -2).arg(target.describe(), -16).arg(verdict));
    }
    return cli_exit::kDone;
}

int Tool::cmd_file(bool dump) {
    if (!expect_args(1)) {
        return cli_exit::kUsage;
    }
    if (!load_hex(options_.args[0])) {
        return cli_exit::kRefused;
    }
    if (dump) {
        print_image();
    }
    return cli_exit::kDone;
}

int Tool::cmd_convert() {
    if (!expect_args(2)) {
        return cli_exit::kUsage;
    }
    if (!load_hex(options_.args[0])) {
        return cli_exit::kRefused;
    }
    return save_hex(options_.args[1]);
}

int Tool::cmd_program() {
    if (!expect_args(1)) {
        return cli_exit::kUsage;
    }
    if (!load_hex(options_.args[0])) {
        return cli_exit::kRefused;
    }
    if (const int opened = open_port(); opened != cli_exit::kDone) {
        return opened;
    }
    int result = run_operation(OperationKind::Program);
    if (result == cli_exit::kDone && options_.verify) {
        result = run_operation(OperationKind::Verify);
    }
    const int closed = close_port();
    return result != cli_exit::kDone ? result : closed;
}

int Tool::cmd_verify() {
    if (!expect_args(1)) {
        return cli_exit::kUsage;
    }
    if (!load_hex(options_.args[0])) {
        return cli_exit::kRefused;
    }
    return cmd_simple(OperationKind::Verify);
}

int Tool::cmd_read() {
    if (!expect_args(1)) {
        return cli_exit::kUsage;
    }
    if (const int opened = open_port(); opened != cli_exit::kDone) {
        return opened;
    }
    int result = run_operation(OperationKind::Read);
    const int closed = close_port();
    if (result == cli_exit::kDone) {
        result = save_hex(options_.args[0]);
    }
    return result != cli_exit::kDone ? result : closed;
}

int Tool::cmd_simple(OperationKind kind) {
    if (const int opened = open_port(); opened != cli_exit::kDone) {
        return opened;
    }
    const int result = run_operation(kind);
    const int closed = close_port();
    return result != cli_exit::kDone ? result : closed;
}

int Tool::run() {
    if (options_.help) {
        print(stdout, command_line_help());
        return cli_exit::kDone;
    }
    const QString& command = options_.command;
    if (command.isEmpty()) {
        return usage_error(QStringLiteral("no command given"));
    }
    const QStringList known = {"models", "check", "dump",  "convert", "program",
                               "verify", "read",  "erase", "blank",   "ports"};
    if (!known.contains(command)) {
        return usage_error(QStringLiteral("unknown command %1").arg(command));
    }
    if (options_.verify && command != QLatin1String("program")) {
        return usage_error(QStringLiteral("--verify goes with program only"));
    }
    if (const int loaded = load_database(); loaded != cli_exit::kDone) {
        return loaded;
    }
    if (command == QLatin1String("models")) {
        return cmd_models();
    }
    if (const int selected = select_model(); selected != cli_exit::kDone) {
        return selected;
    }
    if (command == QLatin1String("ports")) {
        return cmd_ports();
    }
    if (command == QLatin1String("check")) {
        return cmd_file(false);
    }
    if (command == QLatin1String("dump")) {
        return cmd_file(true);
    }
    if (command == QLatin1String("convert")) {
        return cmd_convert();
    }
    if (command == QLatin1String("program")) {
        return cmd_program();
    }
    if (command == QLatin1String("verify")) {
        return cmd_verify();
    }
    if (command == QLatin1String("read")) {
        return cmd_read();
    }
    if (!expect_args(0)) {
        return cli_exit::kUsage;
    }
    return cmd_simple(command == QLatin1String("erase") ? OperationKind::Erase
                                                        : OperationKind::Blank);
}

}  // namespace

QString command_line_help() {
    return QStringLiteral(
        "Usage: corvanel [OPTIONS] COMMAND [ARGS]\n"
        "\n"
        "Programs 14-bit PIC microcontrollers through the programmer board, and reads,\n"
        "checks and converts Intel HEX files, exactly as the Tavrelix Corvanel window does.\n"
        "\n"
        "Options:\n"
        "  --model NAME|NUMBER  model of the device database, by name (letter case ignored)\n"
        "                       or number; default: the model the window remembers\n"
        "  --port PORT          COMn (mapped as in the window), a device path such as\n"
        "                       /dev/ttyUSB0, or virtual[:STATE.hex], the in-process virtual\n"
        "                       board emulating the model's chip (with STATE.hex it starts\n"
        "                       from that file, when it exists, and writes the chip back to it);\n"
        "                       default: the port the window remembers\n"
        "  --baud N             baud rate; default: the one the window remembers (56000)\n"
        "  --devices FILE       another device database; default: corvaneldevices.txt\n"
        "                       beside this program\n"
        "  -h, --help           this text\n"
        "The window's settings are read for the defaults and never written.\n"
        "\n"
        "Commands:\n"
        "  models               one line per model: number, name, FLASH words, EEPROM bytes\n"
        "  check FILE           load FILE into a blank image of the model as the window's\n"
        "                       \"Open HEX File\" does; print each message it would show\n"
        "                       (followed by an empty line), then its status line\n"
        "  dump FILE            as check, then every FLASH and EEPROM row and the\n"
        "                       configuration words (CONF1:, CONF2: when the model has it)\n"
        "  convert IN OUT       as check, then write OUT as \"Save Buffer As\" does\n"
        "  program FILE [--verify]\n"
        "                       load FILE and run Program All (then Verify)\n"
        "  verify FILE          load FILE and run Verify\n"
        "  read OUT             run Read All and write the image to OUT as convert does\n"
        "  erase                run Erase All\n"
        "  blank                run Blank Check\n"
        "  ports                COM1 to COM16: the device each maps to and whether it can\n"
        "                       be opened, or why not\n"
        "The operations print their start and result lines (on a terminal also a progress\n"
        "line with a bar); a failed blank check or verify prints the mismatch report.\n"
        "\n"
        "Exit status:\n"
        "  0  done: loaded, saved, programmed, verified, blank\n"
        "  1  the file or the chip said no: not loaded, not saved, verify failed, not blank\n"
        "  2  usage or device database error\n"
        "  3  the link failed: port not ready, programmer not responding (5 s time-out)\n"
        "  130  interrupted with Ctrl-C: the operation is stopped and the voltages\n"
        "       switched off first\n"
        "\n"
        "Ports: on Linux COM1-COM4 are /dev/ttyS0-3, COM5-COM12 /dev/ttyUSB0-7 and\n"
        "COM13-COM16 /dev/ttyACM0-3, unless ~/.config/Tavrelix Corvanel/ports/COMn (a link\n"
        "to a device, or a file holding a device path or the word virtual) says otherwise.\n"
        "A serial device that cannot be opened for lack of permission needs membership\n"
        "of the dialout group.");
}

int run_command_line_tool(const QStringList& arguments) {
    QString error;
    auto options = parse_arguments(arguments, error);
    if (!options) {
        return usage_error(error);
    }
    CliHost::catch_interrupts();
    Tool tool(std::move(*options));
    return tool.run();
}

}  // namespace corvanel
