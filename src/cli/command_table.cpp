// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command_table.h"

#include <QStringList>

#include <array>
#include <vector>

#include "cli/tool.h"

namespace corvanel {

std::span<const ToolOption> tool_options() {
    static const std::array<ToolOption, 25> options = {{
        {.name = "--model",
         .value = "NAME|NUMBER",
         .text = &Options::model,
         .help = "model of the device database, by name (letter case ignored)\n"
                 "or number; default: the model the window remembers"},
        {.name = "--port",
         .value = "PORT",
         .text = &Options::port,
         .help = "COMn (mapped as in the window), a device path such as\n"
                 "/dev/ttyUSB0, or virtual[:STATE.hex], the in-process virtual\n"
                 "board emulating the model's chip (with STATE.hex it starts\n"
                 "from that file, when it exists, and writes the chip back to it);\n"
                 "default: the port the window remembers; given more than once,\n"
                 "program --repeat runs on every board at the same time"},
        {.name = "--baud",
         .value = "N",
         .text = &Options::baud,
         .help = "baud rate; default: the one the window remembers (56000)"},
        {.name = "--devices",
         .value = "FILE",
         .text = &Options::devices,
         .help = "another device database; default: corvaneldevices.txt\n"
                 "beside this program, else in the data folder\n"
                 "%1/ from the program's folder\n"
                 "(/usr/share/tavrelix-corvanel/ for /usr/bin/corvanel)"},
        {.name = "--verify", .flag = &Options::verify, .per_command = true},
        {.name = "--force",
         .flag = &Options::force,
         .per_command = true,
         .help = "program, verify, read, erase, blank, osccal: go on when the chip in\n"
                 "the socket does not answer with the model's device ID (or\n"
                 "no chip answers), or when the board's Vpp (measured, else\n"
                 "\"Board Vpp\") or Vdd (reported, else --vdd or \"Board Vdd\")\n"
                 "lies below the model's window (above it: refused whatever\n"
                 "--force says); program, verify: use a\n"
                 "file with data outside the model, or one without an end record;\n"
                 "program: write the --serial number over the file's data, and\n"
                 "write back memories an earlier run kept in a rescue file"},
        {.name = "--only",
         .value = "LIST",
         .text = &Options::only,
         .per_command = true,
         .help = "program, read, make-job: only these memories, a comma list of flash,\n"
                 "eeprom, id, config (default: all); program reads the chip\n"
                 "first and writes the others back as they were, read takes\n"
                 "only these from the chip; make-job: the job's memories"},
        {.name = "--preserve-eeprom",
         .flag = &Options::preserve_eeprom,
         .per_command = true,
         .help = "program: read the chip's EEPROM first (twice: the reads\n"
                 "must agree) and write it back after the erase (the file's\n"
                 "EEPROM is not programmed); a copy waits in a rescue file\n"
                 "until it is back on the chip"},
        {.name = "--merge",
         .value = "FILE",
         .text = &Options::merge,
         .per_command = true,
         .help = "check, dump, convert, program, verify: merge the second HEX\n"
                 "file FILE over the first (a boot loader beside an\n"
                 "application); refused where both hold different data for\n"
                 "one address (exit 1), named with both words"},
        {.name = "--repeat",
         .flag = &Options::repeat,
         .per_command = true,
         .help = "program, make-job: batch programming on chip insertion: wait for a chip\n"
                 "(its device ID read 3 times a second, voltages off between\n"
                 "reads), program and verify it, log it, then wait for its\n"
                 "removal and the next chip; never the same chip twice.\n"
                 "Ctrl-C ends it with the voltages off and a summary;\n"
                 "make-job: the job runs such a series (\"repeat: yes\")"},
        {.name = "--log",
         .value = "FILE",
         .text = &Options::log,
         .per_command = true,
         .help = "program, make-job: append a CSV line to FILE (time, model, device ID,\n"
                 "revision, chip checksum, pass, fail or cancelled, serial\n"
                 "number, file, file checksum, reason); a new file gets a\n"
                 "header; FILE must be a regular file; make-job: the job's log"},
        {.name = "--serial",
         .value = "START[:STEP]@F|E:ADDR[/N]",
         .text = &Options::serial,
         .per_command = true,
         .help = "program, make-job: write serial number START (decimal) into the chip,\n"
                 "low byte first in N bytes (default 2): F:ADDR a RETLW table\n"
                 "at program memory word ADDR (hex), E:ADDR EEPROM bytes at\n"
                 "ADDR (hex); no default place: refused on the file's data\n"
                 "(unless --force), on a calibration word or past the memory;\n"
                 "after a good Program All prints \"Next serial number: M\"\n"
                 "(START + STEP, default step 1; STEP must fit in N bytes);\n"
                 "make-job: the job's serial numbers"},
        {.name = "--set",
         .value = "WORD",
         .text = &Options::osccal_word,
         .per_command = true,
         .help = "osccal: the OSCCAL word to write back, four hex digits as\n"
                 "printed on the chip's label (a RETLW, 34xx); the chip is\n"
                 "erased (Erase All) and gets it as its calibration"},
        {.name = "--bandgap",
         .value = "BITS",
         .text = &Options::bandgap,
         .per_command = true,
         .help = "osccal: the band-gap calibration bits to write back, as\n"
                 "binary digits (\"10\"), in the same Erase All"},
        {.name = "--calibrate-vpp",
         .value = "VOLTS",
         .text = &Options::calibrate_vpp,
         .per_command = true,
         .help = "board: the Vpp a meter shows at the board's Vpp test point\n"
                 "(voltages off, at the level the model selects); the board\n"
                 "keeps the correction in its EEPROM (0 erases it)"},
        {.name = "--family",
         .value = "NAME",
         .text = &Options::family,
         .per_command = true,
         .help = "models: only the models of family NAME, as the device file's\n"
                 "family notes name it (\"16F188xx\", letter case ignored)"},
        {.name = "--fast",
         .flag = &Options::fast,
         .help = "fast link: script instructions that need no board action\n"
                 "run without the no-operation round trip (the board hears\n"
                 "the same commands, fewer no-operations); default: the\n"
                 "window's \"Fast Link\" setting, off"},
        {.name = "--low-voltage",
         .flag = &Options::low_voltage,
         .help = "enter programming mode with the low-voltage key (MCLR low,\n"
                 "no Vpp) instead of Vpp; only models with \"lvp: true\",\n"
                 "others are refused; default: the \"Programming entry\"\n"
                 "setting, \"High voltage\""},
        {.name = "--vdd",
         .value = "VOLTS",
         .text = &Options::vdd,
         .help = "the supply voltage the board gives the chip (\"5\", \"3.3\"),\n"
                 "over the \"Board Vdd\" setting; a board that reports its\n"
                 "own Vdd overrides both, and the in-process virtual board\n"
                 "runs at it (default 5.0); a model whose Vdd window it lies\n"
                 "below, or an LF part while it is unknown, is refused\n"
                 "without --force; above the window, in any case"},
        {.name = "--vpp",
         .value = "VOLTS",
         .text = &Options::vpp,
         .help = "the Vpp a meter shows on the board (\"8.6\"), over the \"Board\n"
                 "Vpp\" setting; a board that measures its Vpp overrides both.\n"
                 "A plain board needs it (or the setting) for a model whose\n"
                 "Vpp window tops at 9 V or less; above a model's window the\n"
                 "voltages stay off"},
        {.name = "--banner-wait",
         .flag = &Options::banner_wait,
         .help = "after opening the port wait up to 2 s for the board's\n"
                 "start-up banner before sending anything, also on a\n"
                 "pseudo-terminal (a real serial device always waits)"},
        {.name = "--window",
         .value = "N",
         .help = "send ahead: up to N answer bytes outstanding instead of\n"
                 "waiting for each answer (0: lock-step; the board must\n"
                 "buffer 3 x N bytes, see docs/serial-ports.md); default:\n"
                 "the \"Send-Ahead Window\" setting, else auto"},
        {.name = "--window",
         .value = "auto",
         .help = "the default: a board that identifies itself gives its\n"
                 "buffer (\"Send-ahead: 21 (board's buffer)\"); any other\n"
                 "has the window measured with no-operation commands\n"
                 "(voltages off) before a verify, read, blank check or large\n"
                 "program, once per port and baud rate (remembered in the\n"
                 "settings until answers are lost with it); with a window\n"
                 "the fast link is on"},
        {.name = "--help", .alias = "-h", .flag = &Options::help, .help = "this text"},
        {.name = "--version", .flag = &Options::version, .help = "the program's name and version"},
    }};
    return options;
}

std::span<const ToolCommand> tool_commands() {
    static const std::array<ToolCommand, 17> commands = {{
        {.name = "models",
         .options = "--family",
         .needs_model = false,
         .help = "one line per model: number, name, FLASH words, EEPROM bytes,\n"
                 "the Vpp and Vdd windows the chip accepts, its family, its\n"
                 "command set (\"6-bit commands\", \"8-bit commands\") and \"one\n"
                 "source\" where its data rests on a single source",
         .run = &Tool::cmd_models},
        {.name = "check",
         .arguments = "FILE",
         .options = "--merge",
         .hex_arguments = true,
         .help = "load FILE into a blank image of the model as the window's\n"
                 "\"Open HEX File\" does; print each message it would show\n"
                 "(followed by an empty line), then its status line and the\n"
                 "buffer's checksum (\"Checksum: 1A2B\", as the window shows it)",
         .run = &Tool::cmd_check},
        {.name = "dump",
         .arguments = "FILE",
         .options = "--merge",
         .hex_arguments = true,
         .help = "as check, then every FLASH and EEPROM row and the\n"
                 "configuration words (CONF1:, CONF2: when the model has it)",
         .run = &Tool::cmd_dump},
        {.name = "convert",
         .arguments = "IN OUT",
         .options = "--merge",
         .hex_arguments = true,
         .help = "as check, then write OUT as \"Save Buffer As\" does\n"
                 "(OUT - or /dev/stdout: the HEX text to standard output,\n"
                 "the tool's own lines to standard error)",
         .run = &Tool::cmd_convert},
        {.name = "program",
         .arguments = "FILE",
         .options = "--verify --force --only --preserve-eeprom --log --serial --merge --repeat",
         .needs_port = true,
         .hex_arguments = true,
         .help = "load FILE and run Program All (then Verify; a build with\n"
                 "code protection on gets its configuration word last)",
         .run = &Tool::cmd_program},
        {.name = "verify",
         .arguments = "FILE",
         .options = "--force --merge",
         .needs_port = true,
         .hex_arguments = true,
         .help = "load FILE and run Verify",
         .run = &Tool::cmd_verify},
        {.name = "read",
         .arguments = "OUT",
         .options = "--verify --force --only",
         .needs_port = true,
         .hex_arguments = true,
         .help = "run Read All (then Verify against what was read) and write\n"
                 "the image to OUT as convert does",
         .run = &Tool::cmd_read},
        {.name = "erase",
         .options = "--force",
         .needs_port = true,
         .help = "run Erase All",
         .run = &Tool::cmd_erase},
        {.name = "blank",
         .options = "--force",
         .needs_port = true,
         .help = "run Blank Check",
         .run = &Tool::cmd_blank},
        {.name = "detect",
         .needs_port = true,
         .help = "read the device ID of the chip in the socket (Vpp before Vdd)\n"
                 "and name every model that has it, with the revision",
         .run = &Tool::cmd_detect},
        {.name = "board",
         .options = "--calibrate-vpp",
         .needs_port = true,
         .help = "say what the board is (its Vdd and Vpp for the model, and\n"
                 "whether its Vpp is calibrated); with --calibrate-vpp, store\n"
                 "a meter's reading of its Vpp as its calibration",
         .run = &Tool::cmd_board},
        {.name = "board-test",
         .needs_port = true,
         .help = "test the board with the socket empty: identify, each rail with\n"
                 "each Vdd and Vpp level selected, the chip's Vdd and the data\n"
                 "line's pull-up at 3.3 V with MCLR held low (no Vpp reaches the\n"
                 "socket), a no-operation burst the size of the declared buffer;\n"
                 "one PASS or FAIL line each, a failed one with what to measure",
         .run = &Tool::cmd_board_test},
        {.name = "make-job",
         .arguments = "JOB FILE",
         .options = "--only --serial --log --repeat",
         .help = "write the job file JOB for the model and the HEX file FILE\n"
                 "(its SHA-256 taken now), with the memories, serial numbers,\n"
                 "log and --repeat given; with --vdd or --vpp the job expects\n"
                 "the board's rail within 5 % of it",
         .run = &Tool::cmd_make_job},
        {.name = "job",
         .arguments = "JOB",
         .needs_model = false,
         .needs_port = true,
         .help = "run the job file JOB (*.corvanel-job, see docs/job-files.md):\n"
                 "its model, HEX file (refused when its SHA-256 is not the\n"
                 "job's), memories, serial numbers and log, every chip verified,\n"
                 "one chip or a series (\"repeat: yes\") as program --repeat does;\n"
                 "refused when the board's rails lie outside the job's",
         .run = &Tool::cmd_job},
        {.name = "config",
         .arguments = "FILE",
         .hex_arguments = true,
         .help = "as check, then each configuration word with its options by\n"
                 "name (oscillator, watchdog, code protection, ...)",
         .run = &Tool::cmd_config},
        {.name = "osccal",
         .options = "--set --bandgap --force",
         .needs_port = true,
         .help = "read the chip and print its factory calibration (OSCCAL word,\n"
                 "band-gap bits) on the 12F629/675 and 16F630/676; with --set\n"
                 "or --bandgap, erase the chip with those values written back\n"
                 "and read them again",
         .run = &Tool::cmd_osccal},
        {.name = "ports",
         .help = "COM1 to COM16: the device each maps to and whether it can\n"
                 "be opened, or why not",
         .run = &Tool::cmd_ports},
    }};
    return commands;
}

namespace {

// The blank-separated words of a table field.
std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> found;
    while (!text.empty()) {
        const auto end = text.find(' ');
        if (end != 0) {
            found.push_back(text.substr(0, end));
        }
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return found;
}

}  // namespace

QString table_text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

int ToolCommand::argument_count() const {
    return static_cast<int>(words(arguments).size());
}

bool ToolCommand::takes_option(std::string_view option) const {
    for (const std::string_view word : words(options)) {
        if (word == option) {
            return true;
        }
    }
    return false;
}

const ToolCommand* find_tool_command(const QString& name) {
    for (const ToolCommand& command : tool_commands()) {
        if (table_text(command.name) == name) {
            return &command;
        }
    }
    return nullptr;
}

QString misplaced_option_error(const Options& options, const ToolCommand& command) {
    for (const ToolOption& option : tool_options()) {
        const bool given = (option.flag != nullptr && options.*option.flag) ||
                           (option.text != nullptr && !(options.*option.text).isEmpty());
        if (!option.per_command || !given || command.takes_option(option.name)) {
            continue;
        }
        // "--force goes with program, verify, read, erase and blank only"
        QStringList takers;
        for (const ToolCommand& other : tool_commands()) {
            if (other.takes_option(option.name)) {
                takers << table_text(other.name);
            }
        }
        QString list = takers.join(QStringLiteral(", "));
        if (takers.size() > 1) {
            const auto last = list.lastIndexOf(QStringLiteral(", "));
            list.replace(last, 2, QStringLiteral(" and "));
        }
        return QStringLiteral("%1 goes with %2 only").arg(table_text(option.name), list);
    }
    return {};
}

}  // namespace corvanel
