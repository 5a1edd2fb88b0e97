// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The command-line tool `corvanel`: the window application's chip operations
// and HEX file handling for scripts, Makefiles and production benches, on the
// same core, engine, device database, link and virtual board. One run of it
// works on the database, the model, the image and the port; its commands and
// options are listed once, in cli/command_table.*.

#include <QString>
#include <QStringList>

#include <memory>
#include <span>
#include <string>

#include "cli/host.h"
#include "cli/options.h"
#include "core/engine/chip_operations.h"
#include "core/engine/production_log.h"
#include "core/engine/program_state.h"
#include "core/engine/region_selection.h"
#include "core/engine/serial_number.h"
#include "platform/app/job_files.h"
#include "platform/app/settings_store.h"
#include "platform/link/port_map.h"
#include "platform/link/serial_link.h"

namespace corvanel {

// Exit codes of the tool.
namespace cli_exit {
inline constexpr int kDone = 0;           // loaded, saved, programmed, verified, blank
inline constexpr int kRefused = 1;        // the file or the chip said no
inline constexpr int kUsage = 2;          // usage or device database error
inline constexpr int kLink = 3;           // port not ready, programmer not responding
inline constexpr int kInterrupted = 130;  // Ctrl-C during an operation: stopped, voltages off
}  // namespace cli_exit

// Runs the tool on its arguments (the program name first); needs a
// QCoreApplication. Answers the exit code.
[[nodiscard]] int run_command_line_tool(const QStringList& arguments);

// The program's arguments as the bytes the system gave them. A file name that
// is not valid text in the local encoding cannot come back unchanged from its
// QString; with these the tool finds the original bytes again.
void set_raw_arguments(int argc, const char* const* argv);
// The bytes to hand to the file system for an argument: the raw argument it
// was decoded from, else the local 8-bit encoding of the text.
[[nodiscard]] std::string file_name_bytes(const QString& argument);

// The --help text, made from the command table.
[[nodiscard]] QString command_line_help();

struct ToolCommand;
struct GangShared;

// The chips of one --repeat series, as its summary counts them.
struct RepeatCounts {
    std::int64_t passed = 0;
    std::int64_t failed = 0;
    std::int64_t cancelled = 0;
};

// Everything one run of the tool works on.
class Tool {
public:
    // `gang`: the serial numbers and the log this board shares with the other
    // boards of a gang run (cli/gang.h); nothing for a run on one board.
    explicit Tool(Options options, GangShared* gang = nullptr);

    [[nodiscard]] int run();
    // What program --repeat counted, for the gang's summary over all boards.
    [[nodiscard]] const RepeatCounts& repeat_counts() const { return repeat_counts_; }
    // The run's result is in the production log: a late stop signal no longer changes it.
    [[nodiscard]] bool result_recorded() const { return result_recorded_; }
    // The in-process virtual board had its voltages on as its port closed (a
    // real board cannot be looked at from here: false).
    [[nodiscard]] bool left_powered() const { return left_powered_; }

private:
    // The command table names the commands' functions.
    friend std::span<const ToolCommand> tool_commands();

    [[nodiscard]] int load_database();
    [[nodiscard]] int select_model();
    [[nodiscard]] int open_port();
    [[nodiscard]] int close_port();
    // Runs the model's algorithm for the operation, or `algorithm` when given
    // (see start_operation_on).
    [[nodiscard]] int run_operation(OperationKind kind, const InstructionList* algorithm = nullptr,
                                    bool continues = false);
    // program --verify of a code-protected build: everything but the
    // configuration word, its verify, and only then the configuration word.
    [[nodiscard]] int program_protected_build();
    // A file with data the chip cannot hold is refused unless --force.
    [[nodiscard]] bool refuse_out_of_range(const QString& path);
    // Loads the file as the window's "&Open HEX File" does and prints what it shows.
    [[nodiscard]] bool load_hex(const QString& path);
    // Word addresses of the last loaded file outside the model.
    std::int64_t out_of_range_count_ = 0;
    [[nodiscard]] int save_hex(const QString& path);
    // Before a Read All: a target save_hex would refuse is refused now, as it
    // would be then, before the chip is read for nothing.
    [[nodiscard]] int refuse_target(const QString& path);
    // Before Program All or Verify of a file without an end record: asks as the
    // window does; --force answers yes. kDone to go on, else the exit code.
    [[nodiscard]] int confirm_complete_file();
    void print_image();

    // Production options of program and read (--only, --preserve-eeprom,
    // --serial, --log): checked before the port opens; kDone or the exit code.
    [[nodiscard]] int production_options();
    // Program All of the buffer with the production options: the chip read
    // first when a memory of it is kept, the merged image with the serial
    // number programmed (and verified with --verify).
    [[nodiscard]] int program_production();
    // After program: the log line and the next serial number; answers the
    // final exit code.
    [[nodiscard]] int finish_production(int result);
    // --repeat: waits for each chip, programs and verifies it with the
    // production options, waits for its removal; until Ctrl-C or a link failure.
    [[nodiscard]] int program_repeat();
    // One read of the device ID of what is in the socket, printing nothing:
    // the word, or -1 with `result` set when the read did not end well.
    [[nodiscard]] std::int32_t read_socket(int& result);
    // Before the port opens: the serial number's location (kDone or the exit
    // code). A refusal is logged as the run's line.
    [[nodiscard]] int check_serial_location();
    [[nodiscard]] int serial_location_refusal();
    // Reads the chip twice into state_.image and refuses when the kept memories
    // of the two reads differ; kDone or the exit code.
    [[nodiscard]] int read_kept_memories(const RegionSelection& programmed);
    // Program All and, with --verify, Verify of the image in the state.
    [[nodiscard]] int program_and_verify();

    [[nodiscard]] int cmd_models();
    [[nodiscard]] int cmd_ports();
    [[nodiscard]] int cmd_check();
    [[nodiscard]] int cmd_dump();
    [[nodiscard]] int cmd_convert();
    [[nodiscard]] int cmd_program();
    [[nodiscard]] int cmd_verify();
    [[nodiscard]] int cmd_read();
    [[nodiscard]] int cmd_erase();
    [[nodiscard]] int cmd_blank();
    [[nodiscard]] int cmd_simple(OperationKind kind);
    [[nodiscard]] int cmd_detect();
    [[nodiscard]] int cmd_board();
    [[nodiscard]] int cmd_config();
    [[nodiscard]] int cmd_osccal();
    [[nodiscard]] int cmd_job();
    [[nodiscard]] int cmd_make_job();
    [[nodiscard]] int cmd_board_test();
    // After identify, with a job: the board's rails against the job's; kDone or
    // kRefused, the reason printed.
    [[nodiscard]] int check_job_rails();

    [[nodiscard]] bool expect_args(int count);

    // The folder of the device database: the configuration fields file lies beside it.
    [[nodiscard]] QString data_folder() const;

    Options options_;
    // Where the tool's texts go: standard output, or standard error while the
    // HEX text itself goes to standard output (read -, convert IN -).
    std::FILE* out_;
    bool terminal_;
    CliHost host_;
    ProgramState state_;
    // The configuration word fields (code protection bits) of the chips.
    ConfigFieldTable config_fields_;
    // The window application's settings, only ever read: the tool writes none.
    SettingsStore stored_;
    std::unique_ptr<SerialLink> link_;
    PortTarget target_;
    QString port_name_;
    // The job being run (corvanel job): its rails are checked once the board is asked.
    std::optional<OpenedJob> job_;
    // The file last loaded had no end record.
    bool hex_cut_short_ = false;
    // --only (every memory without it) and --serial.
    RegionSelection regions_;
    std::optional<SerialNumber> serial_;
    // What program wrote, for the log: the image's checksum and the chip's ID word.
    std::optional<std::uint16_t> programmed_checksum_;
    std::int32_t programmed_id_word_ = -1;
    std::int32_t programmed_revision_word_ = -1;
    // The loaded file's checksum, before the serial number and kept memories.
    std::optional<std::uint16_t> file_checksum_;
    // Why the production run did not pass, when the tool itself refused.
    std::string production_reason_;
    // The last run_operation did not start: the user did not go on past a guard.
    bool start_refused_ = false;
    // The kept memories could not be saved, and the erase question was answered No.
    bool kept_unsaved_refused_ = false;
    // Code protection refused the region erase: this run keeps by reading instead.
    bool region_erase_refused_ = false;
    bool result_recorded_ = false;
    bool left_powered_ = false;
    // How finish_production judged the last chip.
    ProductionResult last_outcome_ = ProductionResult::Pass;
    // The last chip passed with the last serial number that fits: a series ends.
    bool serials_used_up_ = false;
    GangShared* gang_ = nullptr;
    // The number this board took from the gang's pool for the chip in hand,
    // until the chip's result settles it.
    std::optional<std::uint64_t> gang_serial_;
    // Takes the next chip's number from the gang's pool, waiting while other
    // boards hold the last ones; false when none is left or a stop came.
    [[nodiscard]] bool take_gang_serial();
    RepeatCounts repeat_counts_;
};

}  // namespace corvanel
