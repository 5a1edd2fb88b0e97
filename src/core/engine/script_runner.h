// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The interpreter of the device file's algorithm scripts. A script is a list of
// symbolic instructions ("begin", "s02-flash", "temp=s04", "checkflash", ...)
// that the interpreter turns into programmer commands. It does not loop by
// itself: it runs one step when an operation starts and one step for every byte
// the board answers. A step carries out one instruction, or one phase of an
// instruction that needs several answers, and sends at most one command.
//
// Corners the script language leaves open are given a fixed meaning here, so
// that a faulty device file can neither reach outside the image nor hang:
//  - A loop-set instruction that skips its loop, or an "ifpage" that skips its
//    block, with no "loop" (or "endifpage") after it: the closing instruction is
//    taken to stand after the last one, so the script is finished.
//  - A "loop" with no loop-set instruction run before it in this operation goes
//    on with the next instruction. A loop whose body did not move the address
//    (it could never end) is left after that pass as if its end was reached.
//  - A command code that is not two hex digits, or a data literal that is not
//    four, makes the instruction unrecognised (the fatal message).
//  - Negative pauses (also a negative programming time) pause 0 ms.
//  - The page size acts as 1 when below 1 and as 8000h (the largest FLASH the
//    image can hold) when above, for "calcflashpage" and "ifpage".
//  - Addresses outside the image: writes send the blank value (3FFFh, FFh),
//    reads there are dropped, checks expect the blank value.
//  - Data words outside 0..FFFFh are sent cut to 16 bits (see ProgrammerLink).

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "core/devices/instruction_decode.h"
#include "core/devices/model_application.h"

namespace corvanel {

struct ProgramState;
enum class OperationKind;

class ScriptRunner {
public:
    explicit ScriptRunner(ProgramState& state) : state_(state) {}
    ScriptRunner(const ScriptRunner&) = delete;
    ScriptRunner& operator=(const ScriptRunner&) = delete;

    // Replaces the script. An empty list counts as one empty instruction, the
    // way the device file splits a missing algorithm.
    void load_script(const InstructionList& instructions);
    // Instruction n is script()[n - 1].
    [[nodiscard]] const InstructionList& script() const { return script_; }
    [[nodiscard]] std::int32_t script_length() const {
        return static_cast<std::int32_t>(script_.size());
    }

    // Carries out one step. Does nothing while "Test Vpp" has the voltages on,
    // and nothing when called from inside a running step.
    void run_step();

    // Ends the running operation where it stands: nothing more is sent, the
    // receive notification stays off and no completion routine runs.
    void stop();

    // Called by a completion routine: the operation goes on with `next` (loaded and
    // rewound; its first step runs as soon as the routine returns) under the same
    // name, instead of ending. Identify reads with the second command set this way.
    void continue_with(const InstructionList& next);

    // An operation has been started and has not finished.
    [[nodiscard]] bool running() const { return !operation_name.empty(); }
    // A step (or the completion routine it runs) is in progress.
    [[nodiscard]] bool in_step() const { return in_step_; }
    // The completion routine is showing the operation's result.
    [[nodiscard]] bool completing() const { return completing_; }
    // Clock reading at the end of the last step that waits for the board.
    [[nodiscard]] double awaiting_since() const { return awaiting_since_; }
    void restart_wait(double now) { awaiting_since_ = now; }
    // Steps carried out since the program started (for measurements).
    [[nodiscard]] std::uint64_t steps_run() const { return steps_run_; }

    // The most steps the running operation may take before it is aborted as a
    // script that would never end; start_operation sets it from the image size.
    std::uint64_t step_limit = 0;  // 0: no limit
    // Steps of the running operation so far (start_operation resets it).
    std::uint64_t operation_steps = 0;

    // Where the interpreter stands between steps (see Position).
    [[nodiscard]] std::int32_t next_instruction() const { return position_.instruction; }
    [[nodiscard]] std::int32_t phase() const { return position_.phase; }
    [[nodiscard]] std::int32_t address() const { return position_.address; }
    [[nodiscard]] std::int32_t loop_start() const { return position_.loop_start; }
    [[nodiscard]] std::int32_t loop_end() const { return position_.loop_end; }
    [[nodiscard]] std::int32_t word_accumulator() const { return position_.word_accumulator; }
    // On to the first instruction, between instructions: an operation starts.
    void rewind() {
        position_.instruction = 1;
        position_.phase = 0;
        position_.word_accumulator = 0;
    }
    // A new script: the loop address back to 0, and a "loop" only ever returns to
    // a loop-set instruction of this script.
    void forget_loop() {
        position_.address = 0;
        position_.loop_start = 0;
    }
    // Puts the interpreter where an interrupted operation or a loop left it.
    void set_phase(std::int32_t phase) { position_.phase = phase; }
    void set_address(std::int32_t address) { position_.address = address; }

    std::int32_t last_flash = -1;
    std::int32_t last_eeprom = -1;
    std::int32_t temp_word = 0;
    std::string operation_name;  // "program", "erase", "read", "blank", "verify" or empty
    // The last word read by "deviceid=s" cc; -1 when none has been read yet.
    std::int32_t device_id_word = -1;
    // The last word read by "revision=s" cc; -1 when none has been read yet.
    std::int32_t revision_word = -1;
    // Calibration kept by this operation's "cal...=s" cc reads; -1: none yet.
    std::int32_t kept_calibration_word = -1;
    std::int32_t kept_calibration_bits = -1;
    std::int32_t kept_calibration_space[2] = {-1, -1};
    // The chip's calibration is erased and not yet written back: the window of an
    // Erase All or Program All in which ending the operation would lose it. A stop
    // request waits until it has passed; a failure in it rescues the values.
    [[nodiscard]] bool calibration_at_risk() const;
    // Forgets the calibration reads, erase and write-backs of the last operation.
    void reset_calibration();
    // What the last "protection=s" cc read found (start_operation clears both):
    // code protection keeps program memory, or data memory, from being read.
    bool program_memory_hidden = false;
    bool data_memory_hidden = false;

    // "Fast link": the instructions that need no board action (needs_board in the
    // kinds' table: the loop and page instructions, "calc...", the checks and the
    // pauses) are carried out inside the step, followed at once by the next
    // instruction, instead of sending the no-operation command 100 and waiting
    // for its answer. The board then hears
    // the same commands in the same order, only without those no-operations.
    bool fast_link = false;

    // Send-ahead: up to this many answer bytes may be outstanding; 0 (the
    // default) is lock-step. The interpreter sends the next commands without
    // waiting for each answer; a read's word lands where it belongs when its
    // answer arrives, and a check runs when the read before it is complete. All
    // answers are in before every pause, voltage change or instruction the
    // window cannot run ahead (those run lock-step), and before the end; on a
    // board that keeps the waits (ProgrammerLink::board_waits) a pause runs ahead
    // as a command, with no more than kBoardWaitInFlightMs of them unanswered.
    std::int32_t window = 0;
    // Forgets every answer the window still waits for (a new operation, a stop).
    void reset_send_ahead();

private:
    enum class StepEnd { Waiting, Finished, Unrecognized };
    // Carries out the instruction at `index` (counted from 0) and, with the fast
    // link, the idle instructions after it up to the next one that talks to the
    // board. On Unrecognized, `index` is that of the unknown instruction.
    StepEnd execute_step(std::size_t& index);
    // An instruction that needs no board action has been carried out: sends the
    // no-operation command, or with the fast link notes that the step goes on.
    void keep_moving();

    // Carries out the current instruction; false when it fits no rule.
    bool execute(const DecodedInstruction& instruction);
    // One function per kind of step (the role in the kinds' table).
    void voltages_step(InstructionKind kind);
    void flow_step(InstructionKind kind);
    void enter_loop(InstructionKind kind);  // a loop-set instruction
    void end_loop_pass();                   // "loop"
    void pause_step(const DecodedInstruction& instruction);
    // A pause's milliseconds (negative ones wait nothing).
    [[nodiscard]] int pause_ms(const DecodedInstruction& instruction) const;
    // The milliseconds the next board wait of the pause at the current position carries.
    [[nodiscard]] int next_board_wait_ms(const DecodedInstruction& instruction) const;
    static constexpr int kMostBoardWaitMs = 255;
    void command_step(const DecodedInstruction& instruction);
    void confirm_step();
    void finish();
    void advance() { ++position_.instruction; }
    // One more than the number of the first instruction of that kind at or after
    // `from`; script_length() + 1 when there is none.
    [[nodiscard]] std::int32_t after_next(std::int32_t from, InstructionKind kind) const;
    [[nodiscard]] std::int32_t effective_page_size() const;
    void show_progress(InstructionKind kind);
    void write_step(const DecodedInstruction& instruction);
    // The running operation is of `kind`, a Program All whose region erase keeps
    // some memory (the caller's erase_keeps) or the Verify after it.
    [[nodiscard]] bool keeps_by_erase(OperationKind kind) const;
    // The memory of a write or check kind is one the region erase keeps.
    [[nodiscard]] bool kept_by_erase(InstructionKind kind) const;
    // The section that the "begin" at instruction `begin` opens writes a kept memory.
    [[nodiscard]] bool section_writes_kept(std::int32_t begin) const;
    // The payload of "sCC-regions": every region of the chip not kept.
    [[nodiscard]] std::int32_t regions_to_erase() const;
    void read_step(const DecodedInstruction& instruction);
    void check_step(const DecodedInstruction& instruction);
    // The word a write instruction sends.
    [[nodiscard]] std::int32_t write_value(const DecodedInstruction& instruction) const;
    // A calibration read has completed: keeps it, or stops the operation (false).
    bool keep_calibration(InstructionKind kind, std::int32_t word);
    // The loop address holds the model's calibration word.
    [[nodiscard]] bool at_calibration_word(std::int32_t at) const;
    // Compares temp_word with what location `at` should hold for the check
    // `kind` and records a mismatch; true on the mismatch that ends the checking.
    bool compare_temp_word(InstructionKind kind, std::int32_t at);
    [[nodiscard]] bool temp_word_fits(InstructionKind kind) const;

    // Send-ahead (send_ahead.cpp).
    enum class Pending { Answers, Word, Check, LockStep };
    struct PendingAnswer {
        Pending what = Pending::Answers;
        std::int32_t bytes = 0;        // answer bytes still to come
        std::int32_t instruction = 0;  // Word, Check: the instruction's number
        std::int32_t at = 0;           // Word: the address when sent; Check: the location
        std::int32_t low = 0;          // Word: the low byte once it came
    };
    [[nodiscard]] bool sending_ahead() const { return window > 0 && running(); }
    // Whether an instruction of `kind` runs ahead of the board's answers: as the
    // kinds' table says, and a pause too where the board keeps the waits.
    [[nodiscard]] bool runs_ahead(InstructionKind kind) const;
    StepEnd step_sending_ahead(std::size_t& index);
    StepEnd send_ahead(std::size_t& index);
    void take_answer(std::int32_t byte);
    void run_ready_checks();
    void run_check_sent_ahead(const PendingAnswer& check);
    void complete_read_sent_ahead(const PendingAnswer& word, std::int32_t high);
    void expect_answers(Pending what, std::uint64_t bytes);
    [[nodiscard]] bool answered_lock_step_instruction_waits() const;

    // The interpreter's position: which instruction, which step of it, the loop
    // address and the running loop. Send-ahead keeps one copy of it while a read
    // sent ahead completes as if the interpreter stood where the read was sent.
    struct Position {
        std::int32_t instruction = 1;  // script_length() + 1: finished
        std::int32_t phase = 0;        // 0..3 inside a multi-step instruction
        std::int32_t address = 0;      // index into FLASH or EEPROM of the running loop
        std::int32_t word_accumulator = 0;
        std::int32_t loop_start = 0;  // instruction number of the running loop-set; 0: none
        std::int32_t loop_end = -1;
        std::int32_t loop_pass_address = 0;  // address when the loop body was last entered
    };

    ProgramState& state_;
    InstructionList script_;
    std::vector<DecodedInstruction> decoded_;
    Position position_;
    double awaiting_since_ = 0.0;
    std::uint64_t steps_run_ = 0;
    bool in_step_ = false;
    bool completing_ = false;
    bool continued_ = false;
    bool idle_ = false;              // the last instruction only kept the conversation going
    bool erases_by_region_ = false;  // the script has an "sCC-regions"
    std::deque<PendingAnswer> pending_;
    std::int64_t pending_bytes_ = 0;
    bool send_ahead_started_ = false;
    bool checks_closed_ = false;    // the mismatch limit was reached: later checks are not run
    bool end_at_boundary_ = false;  // then on to the last instruction between instructions

    // Factory calibration of this operation: the first raw read of the word and of
    // configuration word 1 (each is read twice and must read the same), whether a
    // command that changes the chip has gone out since it was kept, which write-backs
    // were sent (bit 0 word, bit 1 configuration bits) and which sections with them
    // have ended; the values of a recovery file the user chose to use.
    std::int32_t calibration_reads_[2] = {-1, -1};
    bool calibration_erased_ = false;
    int calibration_sent_ = 0;
    int calibration_restored_ = 0;
    std::int32_t saved_calibration_bits_ = -1;
    bool saved_calibration_used_ = false;  // a recovery file's values are being written back
    // The kept calibration was written to the recovery file before the erase.
    bool calibration_on_disk_ = false;
    bool stop_for_unsteady_calibration(const char* what, std::int32_t first, std::int32_t second);
};

}  // namespace corvanel
