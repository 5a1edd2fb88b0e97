// SPDX-License-Identifier: GPL-3.0-or-later
// program --repeat: batch programming on chip insertion. The socket is watched
// through the device ID (core/engine/chip_insertion.h); each chip of the model
// gets the same Program All and Verify as a single `program`, with its log
// line and its serial number, and the next chip is taken only after this one
// has left the socket.

#include <QEventLoop>
#include <QTimer>

#include "core/devices/device_identity.h"
#include "core/engine/chip_identify.h"
#include "core/engine/chip_insertion.h"
#include "platform/app/board_series.h"
#include "platform/app/operation_run.h"

namespace corvanel {

namespace {

// Waits with the voltages off; a stop signal ends the wait within one poll.
void wait_between_reads() {
    QEventLoop loop;
    QTimer::singleShot(kInsertionPollMilliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

bool OperationRun::shares_serials() const {
    return gang_ != nullptr && gang_->serials.has_value();
}

bool OperationRun::take_gang_serial() {
    bool waiting = false;
    while (ConsoleHost::interrupt_signal() == 0) {
        const SerialPool::Taken taken = gang_->serials->take();
        if (taken.number) {
            gang_serial_ = taken.number;
            serial_->value = *taken.number;
            return true;
        }
        if (taken.used_up) {
            return false;
        }
        if (!waiting) {
            // Other boards hold the last numbers: one of their chips may fail
            // and hand its number back.
            print_lines(out_, "Waiting for a serial number the other boards may hand back.");
            waiting = true;
        }
        wait_between_reads();
    }
    return false;
}

std::int32_t OperationRun::read_socket(int& result) {
    host_.set_quiet(true);
    const StartResult started = start_identify(state_);
    bool answered = false;
    if (started == StartResult::Started) {
        answered = host_.wait_for_operation(state_);
    }
    host_.set_quiet(false);
    if (started == StartResult::Refused) {
        result = run_exit::kRefused;  // low-voltage entry on a model without it
        return -1;
    }
    if (started != StartResult::Started) {
        result = run_exit::kLink;
        return -1;
    }
    if (host_.interrupted()) {
        result = 128 + ConsoleHost::interrupt_signal();
        return -1;
    }
    if (!answered || link_->MSComm1.port_lost()) {
        // The read ends with the voltages off; a board that stopped answering
        // has had them switched off by the time-out.
        print_lines(stderr, "corvanel: " + host_.last_status());
        result = run_exit::kLink;
        return -1;
    }
    if (state_.operation_failed) {
        // Out of step: the word read tells neither a chip nor an empty socket.
        print_lines(stderr, "corvanel: " + host_.last_status());
        result = run_exit::kRefused;
        return -1;
    }
    return state_.runner.device_id_word;
}

int OperationRun::program_repeat() {
    // Polling switches the voltages on a few times a second. The identify
    // record of a board that answers command 107 would say that a programmer
    // is on the port; until the link keeps one, --repeat itself is the consent.
    const bool board_identified = false;
    if (const auto refused = repeat_refusal(state_.model.device_id, state_.model.model_name,
                                            board_identified, options_.repeat)) {
        return usage_error(QString::fromStdString(*refused));
    }
    if (const int opened = open_port(); opened != run_exit::kDone) {
        return opened;
    }
    // Each chip is verified: a production run that has not compared the chip
    // has not passed it.
    options_.verify = true;
    const MemoryImage file_image = state_.image;
    const std::string& model = state_.model.model_name;
    ChipInsertionWatch watch(*state_.model.device_id);
    print_lines(
        out_, "Repeat on chip insertion (Ctrl-C ends). " + insertion_prompt(watch.phase(), model));
    int result = run_exit::kDone;
    bool serial_done = false;  // the last serial number went to a chip that passed
    while (ConsoleHost::interrupt_signal() == 0) {
        const std::int32_t word = read_socket(result);
        if (word < 0) {
            break;
        }
        switch (watch.poll_result(word)) {
            case SocketEvent::None:
                break;
            case SocketEvent::WrongChip:
                print_lines(out_, identify_report(state_.database, word) + " Not programmed. " +
                                      insertion_prompt(watch.phase(), model));
                break;
            case SocketEvent::ChipRemoved:
                print_lines(out_, "Chip removed. " + insertion_prompt(watch.phase(), model));
                break;
            case SocketEvent::ChipInserted: {
                if (shares_serials() && serial_ && !take_gang_serial()) {
                    if (ConsoleHost::interrupt_signal() == 0) {
                        print_lines(out_, std::string("Not programmed: ") + kNoSerialLeft + ".");
                        serial_done = true;
                    }
                    break;
                }
                print_lines(out_, "Chip " + std::to_string(watch.chips() + 1) + ": " +
                                      identify_report(state_.database, word));
                if (events_.chip_started) {
                    events_.chip_started();
                }
                state_.image = file_image;
                programmed_id_word_ = -1;
                programmed_checksum_.reset();
                const int run = program_production();
                const int programmed = finish_production(run);
                const bool passed = programmed == run_exit::kDone;
                // Cancelled at a question: not programmed, so neither passed
                // nor failed (as the window counts it).
                const bool cancelled = last_outcome_ == ProductionResult::Cancelled;
                if (cancelled) {
                    watch.chip_cancelled();
                } else {
                    watch.chip_done(passed);
                }
                state_.image = file_image;
                if (events_.chip_ended) {
                    events_.chip_ended(passed      ? ChipVerdict::Pass
                                       : cancelled ? ChipVerdict::Cancelled
                                                   : ChipVerdict::Fail);
                } else {
                    print_lines(out_, passed ? "PASS" : cancelled ? "CANCELLED" : "FAIL");
                }
                if (passed && serials_used_up_) {
                    // The last number is on this chip: the series is complete.
                    serial_done = true;
                } else if (passed && serial_ && !shares_serials()) {
                    // finish_production has printed it: the next chip gets it.
                    serial_->value = next_serial(*serial_).value_or(serial_->value);
                }
                // A link that failed or a log that cannot be written end the
                // run: the next chip would fare no better.
                if (programmed == run_exit::kLink || programmed == run_exit::kUsage ||
                    (run == run_exit::kDone && !passed) || ConsoleHost::interrupt_signal() != 0) {
                    result = programmed;
                    break;
                }
                if (serial_done) {
                    break;
                }
                print_lines(out_, insertion_prompt(watch.phase(), model));
                break;
            }
        }
        if (!serial_done && shares_serials() && serial_ && gang_->serials->used_up()) {
            // Another board's chip took the last number: no chip here can get one.
            print_lines(out_, std::string("Series complete: ") + kNoSerialLeft + ".");
            serial_done = true;
        }
        if (result != run_exit::kDone || serial_done || ConsoleHost::interrupt_signal() != 0) {
            break;
        }
        wait_between_reads();
    }
    if (ConsoleHost::interrupt_signal() != 0) {
        // Between reads nothing is powered; during one the host has stopped it.
        state_.link.voltages_off();
        if (!host_.interrupted()) {
            print_lines(out_, "Interrupted: voltages off.");  // else the host has said so
        }
        result = 128 + ConsoleHost::interrupt_signal();
    }
    print_lines(out_, repeat_summary_text(watch));
    repeat_counts_ = RepeatCounts{watch.passed(), watch.failed(), watch.cancelled()};
    const int closed = close_port();
    return result != run_exit::kDone ? result : closed;
}

}  // namespace corvanel
