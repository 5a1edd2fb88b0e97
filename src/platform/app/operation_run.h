// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One run over the device database, a model, a HEX file and a port, without a
// window: what the command-line tool's commands and the production series of
// `program --repeat` share. The tool (cli/tool.h) adds its commands on top;
// the window's several-boards mode runs the series of one board through
// platform/app/board_series.h. Everything it says goes through print_lines
// (platform/app/console_host.h), so a board's thread can send it elsewhere.

#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/engine/chip_operations.h"
#include "core/engine/production_log.h"
#include "core/engine/program_state.h"
#include "core/engine/region_selection.h"
#include "core/engine/serial_number.h"
#include "platform/app/console_host.h"
#include "platform/app/job_files.h"
#include "platform/app/run_options.h"
#include "platform/app/settings_store.h"
#include "platform/link/port_map.h"
#include "platform/link/serial_link.h"

namespace corvanel {

// Exit codes of a run (the tool's exit status).
namespace run_exit {
inline constexpr int kDone = 0;           // loaded, saved, programmed, verified, blank
inline constexpr int kRefused = 1;        // the file or the chip said no
inline constexpr int kUsage = 2;          // usage or device database error
inline constexpr int kLink = 3;           // port not ready, programmer not responding
inline constexpr int kInterrupted = 130;  // Ctrl-C during an operation: stopped, voltages off
}  // namespace run_exit

// Prints `text` as lines on `out`.
void print(std::FILE* out, const QString& text);

// Prints "corvanel: TEXT" and the hint to --help on stderr; answers the usage exit code.
int usage_error(const QString& text);

// A HEX message as a block of lines with one blank line after it.
void print_message(std::FILE* out, const std::string& text);

// "-" and /dev/stdout name standard output.
[[nodiscard]] bool names_standard_output(const QString& path);

// The program's arguments as the bytes the system gave them. A file name that
// is not valid text in the local encoding cannot come back unchanged from its
// QString; with these the tool finds the original bytes again.
void set_raw_arguments(int argc, const char* const* argv);
// The bytes to hand to the file system for an argument: the raw argument it
// was decoded from, else the local 8-bit encoding of the text.
[[nodiscard]] std::string file_name_bytes(const QString& argument);

struct GangShared;

// The chips of one --repeat series, as its summary counts them.
struct RepeatCounts {
    std::int64_t passed = 0;
    std::int64_t failed = 0;
    std::int64_t cancelled = 0;
};

// A chip's end in a series, as its summary counts it.
enum class ChipVerdict { Pass, Fail, Cancelled };

// What a series tells whoever shows it, beside its lines. With `chip_ended`
// set, the verdict comes here instead of as a "PASS", "FAIL" or "CANCELLED" line.
struct SeriesEvents {
    // A chip of the model is in the socket: its programming begins.
    std::function<void()> chip_started;
    std::function<void(ChipVerdict)> chip_ended;
};

class OperationRun {
public:
    // `gang`: the serial numbers and the log this board shares with the other
    // boards of a gang run (platform/app/board_series.h); nothing for a run on one board.
    explicit OperationRun(Options options, GangShared* gang = nullptr);
    virtual ~OperationRun() = default;
    OperationRun(const OperationRun&) = delete;
    OperationRun& operator=(const OperationRun&) = delete;

    // What program --repeat counted, for the gang's summary over all boards.
    [[nodiscard]] const RepeatCounts& repeat_counts() const { return repeat_counts_; }
    // The run's result is in the production log: a late stop signal no longer changes it.
    [[nodiscard]] bool result_recorded() const { return result_recorded_; }
    // The in-process virtual board had its voltages on as its port closed (a
    // real board cannot be looked at from here: false).
    [[nodiscard]] bool left_powered() const { return left_powered_; }
    void set_series_events(SeriesEvents events) { events_ = std::move(events); }

    // Before a command: the settings file, the database, the configuration
    // fields and, when `needs_model`, the model; kDone or the exit code.
    [[nodiscard]] int load_run(bool needs_model);
    // `program FILE` with its production options, --repeat included.
    [[nodiscard]] int program_file();

protected:
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
    // Verify after Program All wrote the chip (the model's algorithm, or
    // `script`): notes the ID Program All read, and whether Verify's device ID
    // question was answered No.
    [[nodiscard]] int verify_programmed(const InstructionList* script = nullptr,
                                        bool continues = false);
    // A file with data the chip cannot hold is refused unless --force.
    [[nodiscard]] bool refuse_out_of_range(const QString& path);
    // Loads the file as the window's "&Open HEX File" does and prints what it shows.
    [[nodiscard]] bool load_hex(const QString& path);
    // Word addresses of the last loaded file outside the model.
    std::int64_t out_of_range_count_ = 0;
    // Before Program All or Verify of a file without an end record: asks as the
    // window does; --force answers yes. kDone to go on, else the exit code.
    [[nodiscard]] int confirm_complete_file();
    // The file for a Program All or a Verify: loaded, refused when it holds data the
    // chip cannot or (unless answered) has no end record. kDone, else the exit code.
    [[nodiscard]] int load_file_to_write(const QString& path);

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
    // After identify, with a job: the board's rails against the job's; kDone or
    // kRefused, the reason printed.
    [[nodiscard]] int check_job_rails();

    // The folder of the device database: the configuration fields file lies beside it.
    [[nodiscard]] QString data_folder() const;

    Options options_;
    // Where the run's texts go: standard output, or standard error while the
    // HEX text itself goes to standard output (read -, convert IN -).
    std::FILE* out_;
    bool terminal_;
    ConsoleHost host_;
    ProgramState state_;
    // The configuration word fields (code protection bits) of the chips.
    ConfigFieldTable config_fields_;
    // The window application's settings, only ever read: a run writes none.
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
    // Why the production run did not pass, when the run itself refused.
    std::string production_reason_;
    // The last run_operation did not start: the user did not go on past a guard.
    bool start_refused_ = false;
    // Program All wrote the chip, then Verify's device ID question was answered No.
    bool refused_after_program_ = false;
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
    // The boards of a gang take their numbers from one pool; a gang run without
    // --serial has none, and a board numbers its chips on its own.
    [[nodiscard]] bool shares_serials() const;
    // Takes the next chip's number from the gang's pool, waiting while other
    // boards hold the last ones; false when none is left or a stop came.
    [[nodiscard]] bool take_gang_serial();
    RepeatCounts repeat_counts_;
    SeriesEvents events_;
};

}  // namespace corvanel
