// SPDX-License-Identifier: GPL-3.0-or-later
// Send-ahead: the interpreter runs ahead of the board's answers by a bounded
// number of answer bytes.
//
// Every command written is noted in a queue with the answer bytes it asks for
// (one, three for a read) and what they mean: answers that only say "done", the
// word of a read that sent ahead (it lands where the read would have put it,
// through the read instruction's own code), or a check that waits for the read
// before it. The answers come in the order of the commands, so the head of the
// queue always names the next byte.
//
// Only the instructions whose commands do not depend on an earlier answer run
// ahead (runs_ahead in the kinds' table, core/devices/instruction_kind.h): the
// loop, page and "calc..." instructions, the writes of literals and image words,
// plain commands, the reads into the image, the configuration words, the
// temporary word and the device ID word, and the checks of the temporary word.
// Every other instruction (the voltages, the pauses, the device ID check, the
// calibration and protection reads) waits until every answer is in and then runs
// lock-step: its answers drive its steps exactly as without the window. A board
// that keeps the waits itself (104 4Ah) takes the pauses as commands: they run
// ahead too, while no more than kBoardWaitInFlightMs of them are unanswered.

#include <algorithm>
#include <cstdint>

#include "core/engine/chip_operations.h"
#include "core/engine/program_state.h"
#include "core/engine/script_runner.h"

namespace corvanel {

namespace {

using Kind = InstructionKind;

// Instructions carried out in one step without writing a command before the
// step sends a no-operation after all (see the fast link).
constexpr std::uint64_t kMaxSilentInstructions = 1U << 20;

// The answer bytes of a read as the chip's command set frames it: low, high and
// one more.
std::int32_t read_answer_bytes(const ProgrammerLink& link) {
    return link.encoder.set->read_answer_bytes;
}

}  // namespace

bool ScriptRunner::runs_ahead(Kind kind) const {
    return traits_of(kind).runs_ahead ||
           (traits_of(kind).role == KindRole::Pause && state_.link.board_waits);
}

void ScriptRunner::reset_send_ahead() {
    pending_.clear();
    pending_bytes_ = 0;
    send_ahead_started_ = false;
    checks_closed_ = false;
    end_at_boundary_ = false;
}

void ScriptRunner::expect_answers(Pending what, std::uint64_t bytes) {
    if (bytes == 0) {
        return;
    }
    const auto count = static_cast<std::int32_t>(bytes);
    pending_bytes_ += count;
    if (what == Pending::Answers && !pending_.empty() && pending_.back().what == Pending::Answers) {
        pending_.back().bytes += count;
        return;
    }
    PendingAnswer entry;
    entry.what = what;
    entry.bytes = count;
    pending_.push_back(entry);
}

bool ScriptRunner::answered_lock_step_instruction_waits() const {
    // A read that ran lock-step takes its low and high byte as steps of its own.
    if (position_.instruction < 1 || position_.instruction > script_length()) {
        return false;
    }
    const Kind kind = decoded_[static_cast<std::size_t>(position_.instruction - 1)].kind;
    return !runs_ahead(kind) || (reads_ahead(kind) && position_.phase >= 2);
}

ScriptRunner::StepEnd ScriptRunner::step_sending_ahead(std::size_t& index) {
    if (!send_ahead_started_) {
        // The operation's first step: no byte has come.
        send_ahead_started_ = true;
        return send_ahead(index);
    }
    run_ready_checks();
    if (running() && pending_.empty()) {
        // Nothing was asked that this byte could answer: a byte too many.
        abort_operation(state_, kOutOfStepText);
    }
    if (!running()) {
        return StepEnd::Waiting;
    }
    if (pending_.front().what == Pending::LockStep) {
        --pending_bytes_;
        if (--pending_.front().bytes == 0) {
            pending_.pop_front();
        }
        if (answered_lock_step_instruction_waits()) {
            // As without the window: this answer drives the instruction's next step.
            index = static_cast<std::size_t>(position_.instruction - 1);
            const std::uint64_t before = state_.link.answers_requested();
            const StepEnd end = execute_step(index);
            expect_answers(Pending::LockStep, state_.link.answers_requested() - before);
            return end;
        }
        if (!pending_.empty()) {
            return StepEnd::Waiting;
        }
        return send_ahead(index);
    }
    take_answer(state_.link.received_byte);
    if (!running()) {
        return StepEnd::Waiting;  // the answer was out of step: the operation has ended
    }
    return send_ahead(index);
}

void ScriptRunner::take_answer(std::int32_t byte) {
    PendingAnswer& head = pending_.front();
    --pending_bytes_;
    if (head.what == Pending::Word) {
        if (head.bytes == read_answer_bytes(state_.link)) {
            head.low = byte;
        } else if (head.bytes == read_answer_bytes(state_.link) - 1) {
            complete_read_sent_ahead(head, byte);
            if (!running()) {
                return;
            }
        }
    }
    if (--head.bytes == 0) {
        pending_.pop_front();
        run_ready_checks();
    }
}

void ScriptRunner::run_ready_checks() {
    while (running() && !pending_.empty() && pending_.front().what == Pending::Check) {
        const PendingAnswer check = pending_.front();
        pending_.pop_front();
        run_check_sent_ahead(check);
    }
}

void ScriptRunner::complete_read_sent_ahead(const PendingAnswer& word, std::int32_t high) {
    // The read's own last phase stores the word, as if the interpreter stood
    // where it stood when the read was sent; then it goes on from where it is.
    const Position resume = position_;
    position_.instruction = word.instruction;
    position_.phase = 3;
    position_.address = word.at;
    position_.word_accumulator = word.low;
    state_.link.received_byte = high;
    read_step(decoded_[static_cast<std::size_t>(word.instruction - 1)]);
    if (!running()) {
        return;  // a value no location can hold: out of step, aborted
    }
    position_ = resume;
}

void ScriptRunner::run_check_sent_ahead(const PendingAnswer& check) {
    if (checks_closed_) {
        return;  // after the last mismatch reported, as if the script had gone on to its end
    }
    const Kind kind = decoded_[static_cast<std::size_t>(check.instruction - 1)].kind;
    if (!temp_word_fits(kind)) {
        abort_operation(state_, kOutOfStepText);
        return;
    }
    if (compare_temp_word(kind, check.at)) {
        // The 25th mismatch: on to the last instruction (normally "end") once the
        // instruction running ahead is complete.
        checks_closed_ = true;
        end_at_boundary_ = true;
    }
}

ScriptRunner::StepEnd ScriptRunner::send_ahead(std::size_t& index) {
    ProgrammerLink& link = state_.link;
    std::uint64_t silent = 0;
    for (;;) {
        if (!running()) {
            return StepEnd::Waiting;
        }
        if (end_at_boundary_ && position_.phase == 0) {
            end_at_boundary_ = false;
            position_.instruction = script_length();
        }
        if (position_.instruction < 1 || position_.instruction > script_length()) {
            return pending_.empty() ? StepEnd::Finished : StepEnd::Waiting;
        }
        index = static_cast<std::size_t>(position_.instruction - 1);
        const DecodedInstruction& instruction = decoded_[index];
        const std::uint64_t before = link.answers_requested();

        if (!runs_ahead(instruction.kind)) {
            if (!pending_.empty()) {
                return StepEnd::Waiting;  // every answer first
            }
            const StepEnd end = execute_step(index);
            expect_answers(Pending::LockStep, link.answers_requested() - before);
            return end;
        }

        // No more than kBoardWaitInFlightMs of board waits unanswered: a stopped
        // operation's voltages-off waits behind them on the board.
        if (traits_of(instruction.kind).role == KindRole::Pause && link.board_waits &&
            pending_bytes_ > 0 &&
            link.board_wait_due_ms() + next_board_wait_ms(instruction) >
                board_extension::kBoardWaitInFlightMs) {
            return StepEnd::Waiting;
        }

        const bool sends_read = reads_ahead(instruction.kind) && position_.phase == 1;
        const std::int32_t cost = sends_read ? read_answer_bytes(link) : 1;
        if (pending_bytes_ > 0 && pending_bytes_ + cost > window) {
            return StepEnd::Waiting;
        }

        if (checks_ahead(instruction.kind)) {
            show_progress(instruction.kind);
            PendingAnswer check;
            check.what = Pending::Check;
            check.instruction = position_.instruction;
            check.at = located_by_value(instruction.kind) ? instruction.value : position_.address;
            if (traits_of(instruction.kind).moves_address) {
                ++position_.address;
            }
            advance();
            if (pending_.empty()) {
                run_check_sent_ahead(check);
            } else {
                pending_.push_back(check);
            }
            keep_moving();
        } else if (sends_read) {
            const std::int32_t at = position_.address;
            const std::int32_t number = position_.instruction;
            (void)execute(instruction);  // kReadWord
            PendingAnswer word;
            word.what = Pending::Word;
            word.bytes = read_answer_bytes(link);
            word.instruction = number;
            word.at = at;
            pending_.push_back(word);
            pending_bytes_ += read_answer_bytes(link);
            if (traits_of(instruction.kind).moves_address) {
                ++position_.address;
            }
            position_.phase = 0;
            position_.word_accumulator = 0;
            advance();
            silent = 0;
            continue;
        } else {
            (void)execute(instruction);
        }

        const std::uint64_t asked = link.answers_requested() - before;
        if (asked > 0) {
            expect_answers(Pending::Answers, asked);
            silent = 0;
        } else if (++silent > kMaxSilentInstructions) {
            link.send_nop();
            expect_answers(Pending::Answers, 1);
            silent = 0;
        }
    }
}

}  // namespace corvanel
