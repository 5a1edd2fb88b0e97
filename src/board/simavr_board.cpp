// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/simavr_board.h"

#include <avr_adc.h>
#include <avr_eeprom.h>
#include <avr_ioport.h>
#include <avr_uart.h>
#include <sim_avr.h>
#include <sim_elf.h>
#include <sim_io.h>
#include <sim_irq.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "core/link/board_protocol.h"

namespace corvanel {

namespace {

constexpr std::uint8_t kPgc = 1 << 2;
constexpr std::uint8_t kPgd = 1 << 3;
constexpr std::uint8_t kVppOff = 1 << 4;
constexpr std::uint8_t kVddOff = 1 << 5;
constexpr std::uint8_t kPgm = 1 << 6;
constexpr std::uint8_t kVdd3V3 = 1 << 7;
constexpr std::uint8_t kVppMid = 1 << 0;  // port B
constexpr std::uint8_t kVppHigh = 1 << 1;

// Standard output sent to /dev/null while it lives.
class QuietStdout {
public:
    QuietStdout() {
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        if (saved_ >= 0 && null >= 0) {
            dup2(null, STDOUT_FILENO);
        }
        if (null >= 0) {
            close(null);
        }
    }
    ~QuietStdout() {
        std::fflush(stdout);
        if (saved_ >= 0) {
            dup2(saved_, STDOUT_FILENO);
            close(saved_);
        }
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

private:
    int saved_ = -1;
};

std::uint64_t ns_from_cycles(std::uint64_t cycles) {
    return cycles * 1000 / (SimulatedBoard::kCpuHz / 1'000'000);
}

// The UART's registers in the data space.
constexpr int kUcsr0A = 0xC0;
constexpr int kUcsr0B = 0xC1;
constexpr int kUbrr0L = 0xC4;
constexpr int kUbrr0H = 0xC5;
constexpr std::uint8_t kU2x0 = 1 << 1;
constexpr std::uint8_t kRxen0 = 1 << 4;

// CPU clocks a bit at the UART's divisor and speed; 0 while the receiver is off.
std::uint64_t uart_cycles_per_bit(const avr_t* avr) {
    if ((avr->data[kUcsr0B] & kRxen0) == 0) {
        return 0;
    }
    const std::uint64_t divisor =
        (static_cast<std::uint64_t>(avr->data[kUbrr0H] & 0x0F) << 8 | avr->data[kUbrr0L]) + 1;
    return ((avr->data[kUcsr0A] & kU2x0) != 0 ? 8 : 16) * divisor;
}

// Bytes the simulator's UART has taken in and the firmware has not read yet.
unsigned unread_bytes(const uart_fifo_t& input) {
    return (input.write + uart_fifo_fifo_size - input.read) & (uart_fifo_fifo_size - 1);
}

// The simulator's UART of the ATmega328P (its input queue).
avr_uart_t* find_uart(avr_t* avr) {
    for (avr_io_t* io = avr->io_port; io != nullptr; io = io->next) {
        if (io->kind != nullptr && std::string(io->kind) == "uart" &&
            reinterpret_cast<avr_uart_t*>(io)->name == '0') {
            return reinterpret_cast<avr_uart_t*>(io);
        }
    }
    return nullptr;
}

}  // namespace

struct SimulatedBoard::Simulator {
    avr_t* avr = nullptr;
    avr_uart_t* uart = nullptr;
    ~Simulator() {
        if (avr != nullptr) {
            avr_terminate(avr);
        }
    }
};

struct SimulatorHooks {
    static void uart_output(avr_irq_t*, std::uint32_t value, void* param) {
        auto* board = static_cast<SimulatedBoard*>(param);
        if (board->bridge_limit_ == 0 || board->uart_baud() <= board->bridge_limit_) {
            board->answers_.push_back(static_cast<std::uint8_t>(value));
        }
    }
    static void port(avr_irq_t*, std::uint32_t value, void* param) {
        auto* board = static_cast<SimulatedBoard*>(param);
        board->port_written(static_cast<std::uint8_t>(value), board->ddr_);
    }
    static void direction(avr_irq_t*, std::uint32_t value, void* param) {
        auto* board = static_cast<SimulatedBoard*>(param);
        board->port_written(board->port_, static_cast<std::uint8_t>(value));
    }
    static void port_b(avr_irq_t*, std::uint32_t value, void* param) {
        auto* board = static_cast<SimulatedBoard*>(param);
        board->port_b_written(static_cast<std::uint8_t>(value), board->ddr_b_);
    }
    static void direction_b(avr_irq_t*, std::uint32_t value, void* param) {
        auto* board = static_cast<SimulatedBoard*>(param);
        board->port_b_written(board->port_b_, static_cast<std::uint8_t>(value));
    }
    // One byte time of the line: the next byte the host sent reaches the UART, at the
    // rate the firmware's UART is set to now, so the line follows a rate switch. The
    // simulated UART takes a byte in at its own rate, slower than the line's; a real
    // UART resynchronises on every start bit, the simulated one would fall behind
    // and overflow, so the line runs at the slower of the two rates.
    static avr_cycle_count_t line_tick(avr_t* avr, avr_cycle_count_t when, void* param) {
        auto* board = static_cast<SimulatedBoard*>(param);
        board->feed_line();
        const std::uint64_t per_bit = uart_cycles_per_bit(avr);
        if (per_bit == 0) {
            return when + board->cycles_per_byte_;  // the receiver is off: bytes are lost
        }
        // The simulator counts 11 bits a byte (a parity bit always) and rounds to the
        // microsecond: 12 bit times keep the line just behind it.
        return when + std::max<std::uint64_t>(per_bit * 10, per_bit * 12) + 16;
    }
};

SimulatedBoard::SimulatedBoard(Pic14Chip chip, long baud)
    : sim_(std::make_unique<Simulator>()),
      chip_(std::move(chip)),
      pins_(chip_),
      baud_(baud),
      cycles_per_byte_(static_cast<std::uint64_t>(kCpuHz) * 10 / static_cast<std::uint64_t>(baud)) {
}

SimulatedBoard::~SimulatedBoard() = default;

std::unique_ptr<SimulatedBoard> SimulatedBoard::load(const std::string& elf_path, Pic14Chip chip,
                                                     long baud, std::string& error) {
    if (baud <= 0) {
        error = "the baud rate must be above 0";
        return nullptr;
    }
    if (!std::filesystem::is_regular_file(elf_path)) {
        error = "no firmware file " + elf_path;
        return nullptr;
    }
    elf_firmware_t firmware{};
    // The simulator's loader prints what it loaded on standard output, where the
    // board server's first line must be the terminal's path: it goes to /dev/null.
    QuietStdout quiet;
    if (elf_read_firmware(elf_path.c_str(), &firmware) != 0) {
        error = elf_path + " is not an AVR ELF file";
        return nullptr;
    }
    std::unique_ptr<SimulatedBoard> board(new SimulatedBoard(std::move(chip), baud));
    avr_t* avr = avr_make_mcu_by_name("atmega328p");
    if (avr == nullptr) {
        error = "the simulator has no ATmega328P";
        return nullptr;
    }
    board->sim_->avr = avr;
    avr_init(avr);
    avr->log = LOG_ERROR;
    firmware.frequency = kCpuHz;
    avr_load_firmware(avr, &firmware);
    avr->frequency = kCpuHz;
    board->set_avcc_millivolts(board->avcc_mv_);

    board->quiet_uart();
    board->sim_->uart = find_uart(avr);
    avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUTPUT),
                            SimulatorHooks::uart_output, board.get());

    avr_irq_t* port_d = avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ('D'), 0);
    avr_irq_register_notify(port_d + IOPORT_IRQ_REG_PORT, SimulatorHooks::port, board.get());
    avr_irq_register_notify(port_d + IOPORT_IRQ_DIRECTION_ALL, SimulatorHooks::direction,
                            board.get());
    avr_irq_t* port_b = avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ('B'), 0);
    avr_irq_register_notify(port_b + IOPORT_IRQ_REG_PORT, SimulatorHooks::port_b, board.get());
    avr_irq_register_notify(port_b + IOPORT_IRQ_DIRECTION_ALL, SimulatorHooks::direction_b,
                            board.get());
    avr_cycle_timer_register(avr, board->cycles_per_byte_, SimulatorHooks::line_tick, board.get());
    board->pins_.set_vpp_volts(board->vpp_volts_);
    board->port_written(0, 0);
    board->feed_adc();
    return board;
}

std::vector<std::uint8_t> SimulatedBoard::eeprom() const {
    std::vector<std::uint8_t> bytes(kEepromBytes, 0xFF);
    avr_eeprom_desc_t desc{};
    desc.ee = bytes.data();
    desc.size = static_cast<std::uint32_t>(bytes.size());
    // Versions of the simulator differ: some copy into the buffer given, others
    // answer a pointer to their own bytes.
    (void)avr_ioctl(sim_->avr, AVR_IOCTL_EEPROM_GET, &desc);
    if (desc.ee != nullptr && desc.ee != bytes.data()) {
        std::copy_n(desc.ee, bytes.size(), bytes.begin());
    }
    return bytes;
}

bool SimulatedBoard::set_eeprom(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() != kEepromBytes) {
        return false;
    }
    std::vector<std::uint8_t> copy = bytes;  // the simulator copies from it
    avr_eeprom_desc_t desc{};
    desc.ee = copy.data();
    desc.size = static_cast<std::uint32_t>(copy.size());
    (void)avr_ioctl(sim_->avr, AVR_IOCTL_EEPROM_SET, &desc);
    return eeprom() == bytes;
}

// The UART: no console printing and no sleeping while the firmware polls it.
void SimulatedBoard::quiet_uart() {
    std::uint32_t flags = 0;
    avr_ioctl(sim_->avr, AVR_IOCTL_UART_GET_FLAGS('0'), &flags);
    flags &= ~static_cast<std::uint32_t>(AVR_UART_FLAG_POLL_SLEEP | AVR_UART_FLAG_STDIO);
    avr_ioctl(sim_->avr, AVR_IOCTL_UART_SET_FLAGS('0'), &flags);
}

void SimulatedBoard::reset() {
    avr_t* avr = sim_->avr;
    // The simulator's reset clears its cycle timers (the line's among them) and
    // may start its count again; the chip's pins keep the time they had.
    const avr_cycle_count_t cycle = avr->cycle;
    avr_reset(avr);
    avr->cycle = cycle;
    quiet_uart();
    to_board_.clear();
    answers_.clear();
    avr_cycle_timer_register(avr, cycles_per_byte_, SimulatorHooks::line_tick, this);
    // The reset clears PORTD and DDRD, but the simulator's port signals keep the
    // values they had and pass on only changes: without this, the firmware's first
    // DDRD write after the reset (the same as before it) would never reach the
    // pins, and they would stay inputs while the firmware drives them.
    avr_irq_t* port_d = avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ('D'), 0);
    avr_raise_irq(port_d + IOPORT_IRQ_REG_PORT, 0);
    avr_raise_irq(port_d + IOPORT_IRQ_DIRECTION_ALL, 0);
    avr_irq_t* port_b = avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ('B'), 0);
    avr_raise_irq(port_b + IOPORT_IRQ_REG_PORT, 0);
    avr_raise_irq(port_b + IOPORT_IRQ_DIRECTION_ALL, 0);
    port_written(0, 0);
    port_b_written(0, 0);
    feed_adc();
}

long SimulatedBoard::uart_baud() const {
    const std::uint64_t per_bit = uart_cycles_per_bit(sim_->avr);
    return per_bit == 0 ? 0 : static_cast<long>(kCpuHz / per_bit);
}

void SimulatedBoard::feed_line() {
    if (to_board_.empty()) {
        return;
    }
    std::uint8_t byte = to_board_.front();
    to_board_.pop_front();
    if (bridge_limit_ != 0 && uart_baud() > bridge_limit_) {
        byte = 0x00;
    }
    if (sim_->uart != nullptr && unread_bytes(sim_->uart->input) >= 3) {
        ++receive_overruns_;
    }
    avr_raise_irq(avr_io_getirq(sim_->avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_INPUT), byte);
}

void SimulatedBoard::set_vpp_supply(double volts) {
    vpp_forced_ = true;
    vpp_volts_ = volts;
    pins_.set_vpp_volts(volts);
    feed_adc();
}

// The level switches pull the boost's feedback down: PB0 the middle level, PB0 and
// PB1 together the high one. A pin that is no output is held low by its gate's
// pull-down, and so is PB1 without PB0 (its resistor alone gives no level).
void SimulatedBoard::port_b_written(std::uint8_t port, std::uint8_t ddr) {
    port_b_ = port;
    ddr_b_ = ddr;
    const auto high = [&](std::uint8_t bit) { return (ddr & bit) != 0 && (port & bit) != 0; };
    const int level = !high(kVppMid) ? 0 : high(kVppHigh) ? 2 : 1;
    if (level == level_) {
        return;
    }
    level_ = level;
    if (!vpp_forced_) {
        vpp_volts_ = kLevelVolts[level];
        pins_.set_vpp_volts(vpp_volts_);
        feed_adc();
    }
}

void SimulatedBoard::hold_target_vdd(std::optional<int> millivolts) {
    target_vdd_held_mv_ = millivolts;
    feed_adc();
}

int SimulatedBoard::target_vdd_millivolts() const {
    if (target_vdd_held_mv_) {
        return *target_vdd_held_mv_;
    }
    return vdd_on_ ? vdd_rail_millivolts() : 0;
}

void SimulatedBoard::set_bandgap_millivolts(int millivolts) {
    bandgap_mv_ = millivolts;
    feed_adc();
}

void SimulatedBoard::set_avcc_millivolts(int millivolts) {
    avcc_mv_ = millivolts;
    avr_t* avr = sim_->avr;
    avr->vcc = static_cast<std::uint32_t>(millivolts);
    avr->avcc = static_cast<std::uint32_t>(millivolts);
    avr->aref = static_cast<std::uint32_t>(millivolts);
    feed_adc();
}

void SimulatedBoard::hold_vdd_rail(std::optional<int> millivolts) {
    vdd_rail_held_mv_ = millivolts;
    pins_.set_vdd_millivolts(vdd_rail_millivolts(), now_ns());
    feed_adc();
}

void SimulatedBoard::feed_adc() {
    // The simulator's band-gap is always 1.1 V. A real one of another voltage makes
    // the firmware take AVcc, and so every rail, 1100 / bandgap of its value: the
    // same readings come from the inputs scaled by that.
    const double bandgap_error = 1100.0 / bandgap_mv_;
    const auto to_pin = [this, bandgap_error](double rail_volts, double divider) {
        const double millivolts = rail_volts * 1000.0 * divider * bandgap_error;
        // The pin clamps at AVcc (its protection diode) and ground.
        return static_cast<std::uint32_t>(
            std::clamp(millivolts + 0.5, 0.0, static_cast<double>(avcc_mv_)));
    };
    avr_irq_t* adc = avr_io_getirq(sim_->avr, AVR_IOCTL_ADC_GETIRQ, 0);
    avr_raise_irq(adc + ADC_IRQ_ADC0, to_pin(vpp_volts_, kVppDivider));
    avr_raise_irq(adc + ADC_IRQ_ADC1, to_pin(vdd_rail_millivolts() / 1000.0, kVddDivider));
    avr_raise_irq(adc + ADC_IRQ_ADC2, to_pin(target_vdd_millivolts() / 1000.0, kVddDivider));
}

void SimulatedBoard::port_written(std::uint8_t port, std::uint8_t ddr) {
    port_ = port;
    ddr_ = ddr;
    const std::uint64_t ns = now_ns();
    const auto output = [&](std::uint8_t bit) { return (ddr & bit) != 0; };
    // A switch whose pin is no output is held off by its base resistor.
    vpp_on_ = output(kVppOff) && (port & kVppOff) == 0;
    const bool vdd_on = output(kVddOff) && (port & kVddOff) == 0;
    const bool vdd_switched = vdd_on != vdd_on_;
    vdd_on_ = vdd_on;
    // The 5 V PNP is held off by its base resistor while PD7 is no output.
    const bool vdd_5v = output(kVdd3V3) && (port & kVdd3V3) == 0;
    if (vdd_5v != vdd_5v_ || vdd_switched) {
        vdd_5v_ = vdd_5v;
        feed_adc();
    }
    pins_.set_vdd_millivolts(vdd_rail_millivolts(), ns);
    pins_.set_pgm(output(kPgm) && (port & kPgm) != 0, ns);
    pins_.set_data(output(kPgd), (port & kPgd) != 0, ns);
    pins_.set_vpp(vpp_on_, ns);
    pins_.set_vdd(vdd_on_, ns);
    pins_.set_clock(output(kPgc) && (port & kPgc) != 0, ns);
    // What PGD reads while it is an input: the chip's level, else the AVR's pull-up
    // (PORT bit set) or nothing (low). The simulator applies it to the pin once the
    // write that called here is done.
    const bool level = pins_.chip_data().value_or((port & kPgd) != 0);
    avr_ioport_external_t external{};
    external.name = 'D';
    external.mask = kPgd;
    external.value = level ? kPgd : 0;
    avr_ioctl(sim_->avr, AVR_IOCTL_IOPORT_SET_EXTERNAL('D'), &external);
}

std::uint64_t SimulatedBoard::now_ns() const {
    return ns_from_cycles(sim_->avr->cycle);
}

std::vector<std::uint8_t> SimulatedBoard::take_answers() {
    std::vector<std::uint8_t> out(answers_.begin(), answers_.end());
    answers_.clear();
    return out;
}

bool SimulatedBoard::run_for(std::uint64_t microseconds) {
    avr_t* avr = sim_->avr;
    const avr_cycle_count_t end = avr->cycle + microseconds * (kCpuHz / 1'000'000);
    while (!crashed_ && avr->cycle < end) {
        const int state = avr_run(avr);
        if (state == cpu_Done || state == cpu_Crashed) {
            crashed_ = true;
        }
    }
    pins_.advance_to(now_ns());
    return !crashed_;
}

bool SimulatedBoard::run_until_answer(std::uint64_t microseconds) {
    avr_t* avr = sim_->avr;
    const avr_cycle_count_t end = avr->cycle + microseconds * (kCpuHz / 1'000'000);
    while (!crashed_ && answers_.empty() && avr->cycle < end) {
        const int state = avr_run(avr);
        if (state == cpu_Done || state == cpu_Crashed) {
            crashed_ = true;
        }
    }
    pins_.advance_to(now_ns());
    return !answers_.empty();
}

std::vector<std::uint8_t> SimulatedBoard::take_start_bytes(std::uint64_t microseconds) {
    const std::uint64_t end = now_ns() + microseconds * 1000;
    while (answers_.size() < board_identity::kBannerSize && now_ns() < end && run_for(100)) {
    }
    return take_answers();
}

void SimulatedBoardChannel::write_byte(std::uint8_t byte) {
    ++written_;
    board_.send(byte);
}

bool SimulatedBoardChannel::has_waiting() {
    if (!pending_.empty()) {
        return true;
    }
    board_.run_until_answer(patience_us_);
    const auto answers = board_.take_answers();
    pending_.insert(pending_.end(), answers.begin(), answers.end());
    return !pending_.empty();
}

std::vector<std::uint8_t> SimulatedBoardChannel::read_all() {
    (void)has_waiting();
    std::vector<std::uint8_t> out;
    out.swap(pending_);
    return out;
}

void SimulatedBoardChannel::note_pause(int milliseconds) {
    if (milliseconds > 0) {
        board_.run_for(static_cast<std::uint64_t>(milliseconds) * 1000);
        const auto answers = board_.take_answers();
        pending_.insert(pending_.end(), answers.begin(), answers.end());
    }
}

}  // namespace corvanel
