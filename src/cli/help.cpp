// SPDX-License-Identifier: GPL-3.0-or-later
#include <QString>

#include "cli/command_table.h"
#include "cli/tool.h"
#include "platform/app/data_files.h"

namespace corvanel {

namespace {

// Where the description of an entry starts; a longer term stands on a line of
// its own, the description below it.
constexpr qsizetype kDescriptionColumn = 23;

// "  TERM  first line\n" and the further lines indented to the description.
QString help_entry(const QString& term, std::string_view description) {
    QString entry = QStringLiteral("  ") + term;
    if (entry.size() + 2 > kDescriptionColumn) {
        entry += QLatin1Char('\n') + QString(kDescriptionColumn, QLatin1Char(' '));
    } else {
        entry = entry.leftJustified(kDescriptionColumn);
    }
    entry += table_text(description)
                 .replace(QLatin1Char('\n'),
                          QLatin1Char('\n') + QString(kDescriptionColumn, QLatin1Char(' ')));
    return entry + QLatin1Char('\n');
}

QString options_help() {
    QString text;
    for (const ToolOption& option : tool_options()) {
        if (option.help.empty()) {
            continue;  // shown after the commands that take it
        }
        QString term = table_text(option.name);
        if (!option.alias.empty()) {
            term = table_text(option.alias) + QStringLiteral(", ") + term;
        }
        if (!option.value.empty()) {
            term += QLatin1Char(' ') + table_text(option.value);
        }
        text += help_entry(term, option.help);
    }
    return text;
}

QString commands_help() {
    QString text;
    for (const ToolCommand& command : tool_commands()) {
        QString term = table_text(command.name);
        if (!command.arguments.empty()) {
            term += QLatin1Char(' ') + table_text(command.arguments);
        }
        // A per-command option without an entry of its own among the options.
        for (const ToolOption& option : tool_options()) {
            if (option.per_command && option.help.empty() && command.takes_option(option.name)) {
                term += QStringLiteral(" [") + table_text(option.name) + QLatin1Char(']');
            }
        }
        text += help_entry(term, command.help);
    }
    return text;
}

}  // namespace

QString command_line_help() {
    const QString text = QStringLiteral(
        "Usage: corvanel [OPTIONS] COMMAND [ARGS]\n"
        "\n"
        "Programs 14-bit PIC microcontrollers through the programmer board, and reads,\n"
        "checks and converts Intel HEX files, exactly as the Tavrelix Corvanel window does.\n"
        "\n"
        "Options:\n"
        "%1"
        "The window's settings are read for the defaults and never written.\n"
        "\n"
        "Commands:\n"
        "%2"
        "The operations print their start and result lines (on a terminal also a progress\n"
        "line with a bar); a failed blank check or verify prints the mismatch report.\n"
        "Every operation first reads the chip's device ID when the model has one; a chip\n"
        "that answers as another model, or no chip at all, stops it (exit 1) unless\n"
        "--force is given. Program and verify refuse a file with data outside the model\n"
        "(exit 1) unless --force is given. When the \"Board Vpp\" setting is outside the\n"
        "model's Vpp window, every operation stops before it starts (exit 1) unless --force\n"
        "is given.\n"
        "A HEX file without an end record stops program and verify too (it may be cut\n"
        "short). Only regular files are read (up to 64 MiB) and replaced: a FIFO, a\n"
        "device or a folder is refused.\n"
        "\n"
        "Exit status:\n"
        "  0  done: loaded, saved, programmed, verified, blank\n"
        "  1  the file or the chip said no: not loaded, not saved, verify failed, not blank;\n"
        "     or the operation was aborted: programmer answers out of step, a script\n"
        "     that does not end (nothing is saved from a failed read);\n"
        "     wrong or no chip in the socket; a file with data outside the model;\n"
        "     a verify that code protection kept from reading program memory\n"
        "  2  usage or device database error (also a script instruction the interpreter\n"
        "     does not know)\n"
        "  3  the link failed: port not ready, programmer not responding (5 s time-out),\n"
        "     serial port lost (the adapter pulled, the board server ended)\n"
        "  130  interrupted with Ctrl-C: the operation is stopped and the voltages\n"
        "       switched off first (143 for SIGTERM, 129 for SIGHUP, the same way);\n"
        "       outside an operation (opening the port, the board test included) the\n"
        "       tool ends at once, voltages off. A second signal ends it at once in any\n"
        "       case, after writing voltages-off to the port. A crash (SIGSEGV, SIGABRT,\n"
        "       SIGBUS, SIGFPE, SIGILL) also writes voltages-off to the port before the\n"
        "       tool ends\n"
        "\n"
        "Ports: on Linux COM1-COM4 are /dev/ttyS0-3, COM5-COM12 /dev/ttyUSB0-7 and\n"
        "COM13-COM16 /dev/ttyACM0-3, unless ~/.config/Tavrelix Corvanel/ports/COMn (a link\n"
        "to a device, or a file holding a device path or the word virtual) says otherwise.\n"
        "A serial device that cannot be opened for lack of permission needs membership\n"
        "of the dialout group.");
    // The --devices lines name the data folder as seen from this program.
    return text.arg(options_help().arg(data_folder_from_program_folder()), commands_help());
}

}  // namespace corvanel
