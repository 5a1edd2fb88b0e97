// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/icsp_pins.h"

#include <utility>

namespace corvanel {

namespace {

std::string ns_text(std::uint64_t ns) {
    return std::to_string(ns) + " ns";
}

std::string mv_text(int millivolts) {
    const int tenths = (millivolts + 50) / 100;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " V";
}

}  // namespace

IcspPins::IcspPins(Pic14Chip& chip) : chip_(chip) {}

void IcspPins::fault(std::uint64_t ns, std::string what) {
    faults_.push_back({ns, std::move(what)});
}

void IcspPins::advance_to(std::uint64_t ns) {
    if (ns > now_ns_) {
        now_ns_ = ns;
    }
    const std::uint64_t us = now_ns_ / 1000;
    if (us > chip_.now_us()) {
        chip_.advance_time(us - chip_.now_us());
    }
}

int IcspPins::absolute_max_vdd_millivolts(const ChipInfo& info) {
    return static_cast<int>(absolute_max_vdd_volts(info) * 1000.0 + 0.5);
}

void IcspPins::set_vdd_millivolts(int millivolts, std::uint64_t ns) {
    advance_to(ns);
    if (millivolts == vdd_mv_) {
        return;
    }
    vdd_mv_ = millivolts;
    if (vdd_) {
        check_vdd_level(now_ns_);
    }
}

void IcspPins::check_vdd_level(std::uint64_t ns) {
    if (chip_.info().empty_socket || vdd_mv_ <= 0) {
        return;
    }
    const int limit = absolute_max_vdd_millivolts(chip_.info());
    if (vdd_mv_ > limit) {
        fault(ns, "Vdd " + mv_text(vdd_mv_) + " above the " + chip_.info().name +
                      "'s absolute maximum of " + mv_text(limit));
    }
}

std::optional<std::uint64_t> IcspPins::entry_window_ns() const {
    switch (chip_.info().family) {
        case ChipFamily::F81x:
            return 250'000;
        case ChipFamily::F7x7:
            return 100'000;
        default:
            return std::nullopt;
    }
}

void IcspPins::set_vdd(bool on, std::uint64_t ns) {
    advance_to(ns);
    if (on == vdd_) {
        return;
    }
    vdd_ = on;
    if (on) {
        vdd_on_at_ = now_ns_;
        check_vdd_level(now_ns_);
    }
    supply_changed(now_ns_);
}

void IcspPins::set_vpp(bool on, std::uint64_t ns) {
    advance_to(ns);
    if (on == vpp_) {
        return;
    }
    vpp_ = on;
    if (on) {
        vpp_on_at_ = now_ns_;
    }
    supply_changed(now_ns_);
}

void IcspPins::set_pgm(bool high, std::uint64_t ns) {
    advance_to(ns);
    pgm_ = high;
}

void IcspPins::supply_changed(std::uint64_t ns) {
    // Whatever the pins were doing, a supply change starts the framing afresh.
    phase_ = Phase::Command;
    bits_ = 0;
    shift_ = 0;
    chip_drive_.reset();
    check_delay_ = false;
    lvp_session_ = false;  // MCLR rising or Vdd going ends a low-voltage session
    // The entry hold runs from the last supply edge while the chip has Vdd.
    supply_edge_at_ = ns;
    awaiting_first_clock_ = vdd_;
    if ((chip_on_ && !(vdd_ && vpp_)) || (!vdd_ && chip_.powered())) {
        // MCLR low resets the chip, Vdd off stops it; a chip that took the
        // low-voltage key (powered by Vdd alone) stops with Vdd too.
        chip_.power_off();
        chip_on_ = false;
    }
    if (!chip_on_ && vdd_ && vpp_) {
        if (pgm_) {
            fault(ns, "PGM high while MCLR rose to Vpp");
        }
        VoltageSequence order = VoltageSequence::VppFirst;
        if (vpp_on_at_ > vdd_on_at_) {
            const std::uint64_t late = vpp_on_at_ - vdd_on_at_;
            const auto window = entry_window_ns();
            if (window && late > *window) {
                fault(ns, "Vpp raised " + ns_text(late) + " after Vdd (the chip needs it within " +
                              ns_text(*window) + ")");
                order = VoltageSequence::VddFirst;
            } else if (!window) {
                order = VoltageSequence::VddFirst;
            }
            // Within its window a chip that needs Vpp early sees it in time: it enters
            // programming mode as with Vpp first.
        }
        chip_.power_on(order);
        chip_on_ = true;
        if (vpp_volts_ > 0) {
            chip_.vpp_applied(vpp_volts_);
        }
    }
}

void IcspPins::set_clock(bool high, std::uint64_t ns) {
    advance_to(ns);
    if (high == clock_) {
        return;
    }
    if (!vdd_) {
        fault(now_ns_, std::string("PGC ") + (high ? "rose" : "fell") + " while Vdd is off");
    }
    if (high && vdd_ && awaiting_first_clock_) {
        awaiting_first_clock_ = false;
        const std::uint64_t hold = now_ns_ - supply_edge_at_;
        entry_holds_.push_back(hold);
        if (hold < kEntryHoldNs) {
            fault(now_ns_, "first clock " + ns_text(hold) +
                               " after the last supply edge (the chip needs " +
                               ns_text(kEntryHoldNs) + ")");
        }
    }
    if (vdd_ && last_clock_edge_ != 0 && now_ns_ - last_clock_edge_ < kClockMinNs) {
        fault(now_ns_, std::string("PGC ") + (high ? "low" : "high") + " for only " +
                           ns_text(now_ns_ - last_clock_edge_));
    }
    clock_ = high;
    last_clock_edge_ = now_ns_;
    if (!vdd_) {
        return;
    }
    if (on_clock_edge) {
        on_clock_edge(high, now_ns_);
    }
    if (high) {
        rising_edge(now_ns_);
    } else {
        falling_edge(now_ns_);
    }
}

void IcspPins::set_data(bool driven, bool level, std::uint64_t ns) {
    advance_to(ns);
    const bool before = board_data();
    const bool was_driven = board_drives_;
    board_drives_ = driven;
    board_level_ = level;
    if (driven && !was_driven && chip_drive_) {
        fault(now_ns_, "the board drives PGD while the chip sends a read frame");
    }
    if (!vdd_ && board_data() != before) {
        fault(now_ns_,
              std::string("PGD ") + (board_data() ? "rose" : "fell") + " while Vdd is off");
    }
    if (board_data() != before || driven != was_driven) {
        last_data_change_ = now_ns_;
        if (vdd_ && driven && data_taken_since_change_ && last_fall_ != 0 &&
            now_ns_ - last_fall_ < kSetupHoldNs && phase_ != Phase::ReadOut &&
            phase_ != Phase::PayloadOut) {
            fault(now_ns_, "PGD changed " + ns_text(now_ns_ - last_fall_) +
                               " after the falling edge that took it");
        }
        data_taken_since_change_ = false;
    }
}

void IcspPins::begin_frame_check(std::uint64_t ns) {
    if (check_delay_) {
        check_delay_ = false;
        if (ns - command_done_at_ < kDelayAfterCommandNs) {
            fault(ns, "frame begun " + ns_text(ns - command_done_at_) +
                          " after its command (the chip needs 1000 ns)");
        }
    }
}

void IcspPins::rising_edge(std::uint64_t ns) {
    switch (phase_) {
        case Phase::ReadOut:
        case Phase::PayloadOut: {
            const bool frame = phase_ == Phase::ReadOut;
            if (bits_ == 0) {
                begin_frame_check(ns);
                if (board_drives_) {
                    fault(ns, std::string("the board drives PGD while the chip sends a read ") +
                                  (frame ? "frame" : "payload"));
                }
                if (frame) {
                    read_word_ = chip_.read_frame();
                } else {
                    read_payload_ = chip_.read_payload();
                }
            }
            // A frame: start bit 0, 14 data bits LSb first, stop bit 0; a payload: 24
            // bits MSb first.
            chip_drive_ = frame
                              ? bits_ >= 1 && bits_ <= 14 && ((read_word_ >> (bits_ - 1)) & 1) != 0
                              : ((read_payload_ >> (23 - bits_)) & 1) != 0;
            break;
        }
        case Phase::DataIn:
        case Phase::LoadPc:
        case Phase::PayloadIn:
            if (bits_ == 0) {
                begin_frame_check(ns);
            }
            break;
        case Phase::Command:
        case Phase::Key:
            break;
    }
}

void IcspPins::falling_edge(std::uint64_t ns) {
    const bool bit = board_data();
    if (board_drives_ && phase_ != Phase::ReadOut && phase_ != Phase::PayloadOut &&
        ns - last_data_change_ < kSetupHoldNs && !data_taken_since_change_) {
        fault(ns, "PGD set only " + ns_text(ns - last_data_change_) + " before the falling edge");
    }
    last_fall_ = ns;
    data_taken_since_change_ = true;

    if (!chip_on_ && !lvp_session_) {
        // Vdd on and MCLR held low: the clocks carry the low-voltage key.
        if (vpp_) {
            return;
        }
        phase_ = Phase::Key;
    }
    switch (phase_) {
        case Phase::Key:
            if (bits_ < 32) {
                shift_ |= static_cast<std::uint32_t>(bit) << bits_;
            }
            if (++bits_ == 32 && eight_bit()) {
                // MSb first and no 33rd clock: commands follow at once.
                ++lvp_keys_seen_;
                chip_.lvp_key(shift_);
                if (on_lvp_key) {
                    on_lvp_key(shift_);
                }
                lvp_session_ = shift_ == key_msb_first(kLowVoltageKey);
                bits_ = 0;
                shift_ = 0;
                phase_ = Phase::Command;
            } else if (bits_ == 32) {
                ++lvp_keys_seen_;
                // Vdd on, MCLR low, no power_on() before it: the chip takes the key as it is
                // powered by Vdd alone (it powers itself with MCLR low when it was off).
                chip_.lvp_key(shift_);
                if (on_lvp_key) {
                    on_lvp_key(shift_);
                }
            } else if (bits_ == 33) {
                // After the right key the clocks carry commands, with MCLR still low.
                lvp_session_ = shift_ == kLowVoltageKey;
                bits_ = 0;
                shift_ = 0;
                phase_ = Phase::Command;
            }
            break;
        case Phase::Command:
            if (eight_bit()) {
                command8_bit(bit, ns);
                break;
            }
            shift_ |= static_cast<std::uint32_t>(bit) << bits_;
            if (++bits_ == 6) {
                const auto code = static_cast<std::uint8_t>(shift_);
                bits_ = 0;
                shift_ = 0;
                chip_.command(code);
                command_done_at_ = ns;
                check_delay_ = true;
                switch (code) {
                    case chip_command::kLoadConfiguration:
                    case chip_command::kLoadProgram:
                    case chip_command::kLoadData:
                        phase_ = Phase::DataIn;
                        break;
                    case chip_command::kReadProgram:
                    case chip_command::kReadData:
                        phase_ = Phase::ReadOut;
                        break;
                    case 0x1D:  // Load PC address (enhanced parts)
                        phase_ = Phase::LoadPc;
                        break;
                    default:
                        check_delay_ = false;
                        break;
                }
            }
            break;
        case Phase::DataIn:
            shift_ |= static_cast<std::uint32_t>(bit) << bits_;
            if (++bits_ == 16) {
                chip_.data_frame(static_cast<std::uint16_t>(shift_ >> 1));
                bits_ = 0;
                shift_ = 0;
                phase_ = Phase::Command;
            }
            break;
        case Phase::LoadPc:
            shift_ |= static_cast<std::uint32_t>(bit) << bits_;
            if (++bits_ == 24) {
                chip_.load_pc(shift_);
                if (on_load_pc) {
                    on_load_pc(shift_);
                }
                bits_ = 0;
                shift_ = 0;
                phase_ = Phase::Command;
            }
            break;
        case Phase::ReadOut:
        case Phase::PayloadOut:
            if (++bits_ == (phase_ == Phase::ReadOut ? 16 : 24)) {
                chip_drive_.reset();  // the chip lets go of PGD
                bits_ = 0;
                phase_ = Phase::Command;
            }
            break;
        case Phase::PayloadIn:
            shift_ = (shift_ << 1) | static_cast<std::uint32_t>(bit);
            if (++bits_ == 24) {
                chip_.payload(shift_);
                if (command8_ == 0x80 && on_load_pc) {
                    on_load_pc(shift_);
                }
                bits_ = 0;
                shift_ = 0;
                phase_ = Phase::Command;
            }
            break;
    }
}

void IcspPins::command8_bit(bool bit, std::uint64_t ns) {
    shift_ = (shift_ << 1) | static_cast<std::uint32_t>(bit);
    if (++bits_ < 8) {
        return;
    }
    command8_ = static_cast<std::uint8_t>(shift_);
    bits_ = 0;
    shift_ = 0;
    chip_.command8(command8_);
    command_done_at_ = ns;
    check_delay_ = true;
    switch (command8_) {
        case 0x80:  // Load PC Address
        case 0x00:  // Load Data for NVM
        case 0x02:  // the same, then increment
            phase_ = Phase::PayloadIn;
            break;
        case 0xFC:  // Read Data from NVM
        case 0xFE:  // the same, then increment
            phase_ = Phase::PayloadOut;
            break;
        case 0x18:  // Bulk Erase: its regions come in a payload on some families
            if (chip_.rules().erase_select == EraseSelect::ByPayload) {
                phase_ = Phase::PayloadIn;
            } else {
                check_delay_ = false;
            }
            break;
        default:
            check_delay_ = false;
            break;
    }
}

}  // namespace corvanel
