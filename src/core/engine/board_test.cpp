// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/board_test.h"

#include "core/engine/line_rate.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

#include "core/engine/program_state.h"
#include "core/link/board_identity.h"
#include "core/link/board_protocol.h"

namespace corvanel {

namespace {

// A board answers each byte within milliseconds; the simulated AVR and a loaded
// machine take longer. The wait runs from the last byte that came.
constexpr double kQuietSeconds = 1.0;
constexpr auto kRound = std::chrono::milliseconds(1);
// A board of the original protocol declares no buffer: it is asked lock-step.
constexpr int kPlainRoundTrips = 16;
// More than any board's buffer needs; a record claiming more is not believed.
constexpr int kLargestBurst = 4096;
constexpr std::uint16_t kPulledUpWord = 0x3FFF;
// The 6-bit set's Read Data from Program Memory: the one command a chip left in
// the socket by mistake would hear, and it changes nothing.
constexpr std::uint8_t kReadProgramCommand = 0x04;

struct Range {
    double low = 0.0;
    double high = 0.0;
    [[nodiscard]] bool holds(double volts) const { return volts >= low && volts <= high; }
};

// The board's own checks at voltages-on (docs/board-protocol.md).
constexpr Range kVdd3V3Range{3.0, 3.6};
constexpr Range kVdd5VRange{4.6, 5.4};
// A trimmer board without levels: anything a listed part's window may ask for,
// up to the 14.5 V above which such a board refuses.
constexpr Range kTrimmerVppRange{8.0, 14.5};

struct VddChoice {
    std::uint8_t code;
    std::int32_t millivolts;
    Range range;
    const char* name;
};
constexpr std::array<VddChoice, 2> kVddChoices{{
    {board_extension::kVdd3V3, board_identity::kVdd3V3Millivolts, kVdd3V3Range, "3.3 V"},
    {board_extension::kVdd5V, board_identity::kVdd5VMillivolts, kVdd5VRange, "5 V"},
}};

struct LevelChoice {
    std::uint8_t code;
    std::int32_t level;
    Range range;
    const char* name;
};
constexpr std::array<LevelChoice, 3> kLevelChoices{{
    {board_extension::kVppLow, board_identity::kLevelLow, {8.0, 9.0}, "low"},
    {board_extension::kVppMiddle, board_identity::kLevelMiddle, {11.0, 12.0}, "middle"},
    {board_extension::kVppHigh, board_identity::kLevelHigh, {12.5, 13.5}, "high"},
}};

std::string volts2(double volts) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.2f V", volts);
    return text.data();
}

std::string range_text(const Range& range) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "(%.1f-%.1f V)", range.low, range.high);
    return text.data();
}

std::string hex_word(std::uint16_t word) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "%04Xh", static_cast<unsigned>(word));
    return text.data();
}

// The conversation of one test run: bytes out as they are, answers read with the
// receive notification off.
class Bench {
public:
    Bench(ProgramState& state, BoardTestReport& report)
        : state_(state), link_(state.link), report_(report) {}

    // The user asked to stop: every wait ends at once. The lines written from
    // then on judge answers cut short, so the report keeps only those before.
    bool stopped() {
        if (!stopped_ && state_.engine_host().stop_requested()) {
            stopped_ = true;
            report_.stopped = true;
            lines_before_stop_ = report_.lines.size();
        }
        return stopped_;
    }
    [[nodiscard]] std::size_t lines_before_stop() const { return lines_before_stop_; }

    void write(std::initializer_list<std::uint8_t> bytes) {
        for (const std::uint8_t byte : bytes) {
            if (link_.channel != nullptr) {
                link_.channel->write_byte(byte);
            }
        }
        state_.engine_host().process_events();
    }

    // Reads until `expected` bytes have come (a record: as many as its first byte
    // says, with `record`) or none came for kQuietSeconds.
    std::vector<std::uint8_t> read(std::size_t expected, bool record = false) {
        EngineHost& host = state_.engine_host();
        std::vector<std::uint8_t> answer;
        const double start = host.clock_seconds();
        double last = start;
        for (;;) {
            host.process_events();
            if (stopped()) {
                return answer;
            }
            const std::vector<std::uint8_t> bytes = link_.take_waiting_bytes();
            const double now = host.clock_seconds();
            if (!bytes.empty()) {
                answer.insert(answer.end(), bytes.begin(), bytes.end());
                last = now;
                if (record) {
                    expected = identify_answer_bytes(answer.front()).value_or(answer.size());
                    record = false;
                }
            }
            const bool at_once = link_.channel != nullptr && link_.channel->answers_at_once();
            if (answer.size() >= expected || at_once || !(now > start) ||
                now - last >= kQuietSeconds) {
                return answer;
            }
            std::this_thread::sleep_for(kRound);
        }
    }

    // 107 and its record: nothing when none came, `garbled` when bytes came that
    // are no record. `raw` keeps the bytes (the rate bitmap is read from them).
    std::optional<BoardIdentity> identify(bool& garbled, std::vector<std::uint8_t>* raw = nullptr) {
        write({board_command::kIdentify});
        const std::vector<std::uint8_t> bytes = read(kIdentifyAnswerBytes2, true);
        garbled = !bytes.empty();
        std::optional<BoardIdentity> identity = parse_board_identity(bytes);
        if (identity) {
            garbled = false;
            if (raw != nullptr) {
                *raw = bytes;
            }
        }
        return identity;
    }

    // 104 and a selecting extension; answers whether 104 came back alone.
    bool select(std::uint8_t code) {
        write({board_command::kChipCommand, code});
        return read(1) == std::vector<std::uint8_t>{board_command::kChipCommand};
    }

    // Out of step: voltages off from wherever the board is in a command, and the
    // line left until it is quiet.
    void recover() {
        write({board_command::kVoltagesOff, board_command::kVoltagesOff,
               board_command::kVoltagesOff});
        (void)read(kLargestBurst);
    }

    // `count` no-operations in one burst; answers how many 100s came back in order.
    std::size_t burst(int count) {
        for (int i = 0; i < count; ++i) {
            if (link_.channel != nullptr) {
                link_.channel->write_byte(board_command::kNop);
            }
        }
        state_.engine_host().process_events();
        const std::vector<std::uint8_t> answer = read(static_cast<std::size_t>(count));
        const auto good = std::find_if(answer.begin(), answer.end(), [](std::uint8_t byte) {
            return byte != board_command::kNop;
        });
        const auto in_order = static_cast<std::size_t>(good - answer.begin());
        return answer.size() > static_cast<std::size_t>(count) ? 0 : in_order;
    }

private:
    ProgramState& state_;
    ProgrammerLink& link_;
    BoardTestReport& report_;
    bool stopped_ = false;
    std::size_t lines_before_stop_ = 0;
};

BoardTestLine line(std::string name, BoardTestVerdict verdict, std::string reading,
                   std::string meter = {}) {
    return {std::move(name), verdict, std::move(reading), std::move(meter)};
}

const char* const kLineMeter =
    "Check the serial line: the port and its baud rate, the USB cable, and that the "
    "board's firmware runs (its LED blinks once at reset).";

std::string vdd_meter(const VddChoice& choice) {
    return "Measure VDD_REG (U1's OUT) to GND with the voltages off and " +
           std::string(choice.name) + " selected: it should read " +
           (choice.code == board_extension::kVdd5V ? "4.86-5.11 V" : "3.24-3.40 V") +
           ". Wrong there: U1 and its divider (R15, R16" +
           (choice.code == board_extension::kVdd5V ? ", R19, Q4" : ", R18, Q3") +
           "); right there: the divider into A1 (R21, R22).";
}

std::string vpp_meter(const LevelChoice& choice) {
    return "Measure VPP (U4's OUT+) to GND with the voltages off and the " +
           std::string(choice.name) + " level selected: it should read " +
           range_text(choice.range) +
           ". Wrong there: the level resistors (R23-R28) and Q5, Q6; right there: "
           "the divider into A0 (R13, R14) or the calibration (corvanel board "
           "--calibrate-vpp VOLTS).";
}

struct Rails {
    bool vdd_3v3_sound = false;
};

Rails test_vdd_rails(Bench& bench, const BoardIdentity& board, BoardTestReport& report) {
    Rails rails;
    if (!board.has(board_identity::kMeasuresVdd)) {
        report.lines.push_back(
            line("Vdd rail", BoardTestVerdict::NotDeclared, "the board does not measure its Vdd"));
        return rails;
    }
    if (!board.has(board_identity::kHasVddSelect)) {
        const bool three = board.vdd_selected_mv == board_identity::kVdd3V3Millivolts;
        const VddChoice& choice = kVddChoices[three ? 0 : 1];
        const double volts = board.vdd_measured_mv / 1000.0;
        report.lines.push_back(line(
            "Vdd rail", choice.range.holds(volts) ? BoardTestVerdict::Pass : BoardTestVerdict::Fail,
            volts2(volts) + " " + range_text(choice.range), vdd_meter(choice)));
        return rails;
    }
    for (const VddChoice& choice : kVddChoices) {
        if (bench.stopped()) {
            return rails;
        }
        const std::string name = "Vdd rail, " + std::string(choice.name) + " selected";
        bool garbled = false;
        std::optional<BoardIdentity> now;
        if (bench.select(choice.code)) {
            now = bench.identify(garbled);
        }
        if (!now) {
            report.lines.push_back(
                line(name, BoardTestVerdict::Fail, "the board did not answer", kLineMeter));
            report.link_failed = true;
            return rails;
        }
        const double volts = now->vdd_measured_mv / 1000.0;
        const bool selected = now->vdd_selected_mv == choice.millivolts;
        const bool sound = selected && choice.range.holds(volts);
        if (choice.code == board_extension::kVdd3V3) {
            rails.vdd_3v3_sound = sound;
        }
        report.lines.push_back(
            line(name, sound ? BoardTestVerdict::Pass : BoardTestVerdict::Fail,
                 selected ? volts2(volts) + " " + range_text(choice.range)
                          : "the board kept " + volts2(now->vdd_selected_mv / 1000.0) + " selected",
                 vdd_meter(choice)));
    }
    return rails;
}

void test_vpp_rails(Bench& bench, const BoardIdentity& board, BoardTestReport& report) {
    if (!board.has(board_identity::kMeasuresVpp)) {
        report.lines.push_back(
            line("Vpp rail", BoardTestVerdict::NotDeclared, "the board does not measure its Vpp"));
        return;
    }
    if (!board.has(board_identity::kHasVppLevels)) {
        const double volts = board.vpp_measured_mv / 1000.0;
        report.lines.push_back(
            line("Vpp rail",
                 kTrimmerVppRange.holds(volts) ? BoardTestVerdict::Pass : BoardTestVerdict::Fail,
                 volts2(volts) + " " + range_text(kTrimmerVppRange) + ", set by the trimmer",
                 "Measure VPP to GND with the voltages off: it should read what the board reports. "
                 "Turn the trimmer into the range; no Vpp at all: the boost module's input."));
        return;
    }
    for (const LevelChoice& choice : kLevelChoices) {
        if (bench.stopped()) {
            return;
        }
        const std::string name = "Vpp rail, " + std::string(choice.name) + " level";
        bool garbled = false;
        std::optional<BoardIdentity> now;
        if (bench.select(choice.code)) {
            now = bench.identify(garbled);
        }
        if (!now) {
            report.lines.push_back(
                line(name, BoardTestVerdict::Fail, "the board did not answer", kLineMeter));
            report.link_failed = true;
            return;
        }
        const double volts = now->vpp_measured_mv / 1000.0;
        const bool selected = now->vpp_level == choice.level;
        report.lines.push_back(line(
            name,
            selected && choice.range.holds(volts) ? BoardTestVerdict::Pass : BoardTestVerdict::Fail,
            selected ? volts2(volts) + " " + range_text(choice.range)
                     : "the board did not select the level",
            vpp_meter(choice)));
    }
}

// The one voltages-on: the low-voltage entry at 3.3 V, MCLR held low. The chip's
// Vdd behind the switch is measured at it, and a read frame clocked with nothing
// driving PGD reads the line's pull-up.
void test_powered_socket(Bench& bench, const BoardIdentity& board, const Rails& rails,
                         BoardTestReport& report) {
    const char* const chip_vdd = "Chip's Vdd at the socket, 3.3 V";
    const char* const pull_up = "PGD pull-up";
    const std::string pull_up_meter =
        "Take any chip out of the socket. Then measure PGD at the socket to GND while "
        "the test runs again: a line held low is a shorted socket pin or level shifter "
        "channel (U3, R8); no pull-up: U3's 10 kOhm resistors.";
    const bool can_power = board.has(board_identity::kHasVddSelect) &&
                           board.has(board_identity::kHasLowVoltageEntry) && rails.vdd_3v3_sound;
    if (!can_power) {
        // Voltages off, the board answers the pulled-up line's word without a clock.
        bench.write({board_command::kReadWord});
        const std::vector<std::uint8_t> answer = bench.read(3);
        const bool read = answer.size() >= 2;
        const std::uint16_t word =
            read ? static_cast<std::uint16_t>(answer[0] | (answer[1] << 8)) : 0;
        const char* why = board.has(board_identity::kHasVddSelect)
                              ? "the 3.3 V rail did not pass: the socket was not switched on"
                              : "the board cannot select 3.3 V and hold MCLR low";
        report.lines.push_back(line(chip_vdd,
                                    board.has(board_identity::kHasVddSelect)
                                        ? BoardTestVerdict::NotTested
                                        : BoardTestVerdict::NotDeclared,
                                    why));
        // With the voltages off the board answers 3FFFh without a clock: that tells
        // nothing of the line, but any other answer is a board at fault.
        report.lines.push_back(line(
            pull_up,
            read && word == kPulledUpWord ? BoardTestVerdict::NotTested : BoardTestVerdict::Fail,
            (read ? hex_word(word) : std::string("no answer")) +
                " with the voltages off, the board's own answer: the line was not clocked",
            read ? "With the voltages off the board must answer 3FFFh: its firmware is "
                   "not this protocol's."
                 : kLineMeter));
        return;
    }
    // MCLR stays low, yet the low level is what MCLR would rise to if it did not.
    const bool levels = board.has(board_identity::kHasVppLevels);
    bench.write({board_command::kChipCommand, board_extension::kVdd3V3});
    if (levels) {
        bench.write({board_command::kChipCommand, board_extension::kVppLow});
    }
    bench.write({board_command::kChipCommand, board_extension::kLowVoltageEntry});
    const std::size_t echoes = levels ? 3 : 2;
    const std::vector<std::uint8_t> entry = bench.read(echoes);
    const bool powered = entry == std::vector<std::uint8_t>(echoes, board_command::kChipCommand);
    std::optional<std::uint16_t> word;
    if (powered) {
        bench.write({board_command::kChipCommand, kReadProgramCommand, board_command::kReadWord,
                     board_command::kVoltagesOff});
        const std::vector<std::uint8_t> answer = bench.read(5);
        if (answer.size() == 5 && answer[0] == board_command::kChipCommand &&
            answer[3] == board_command::kReadWord && answer[4] == board_command::kVoltagesOff) {
            word = static_cast<std::uint16_t>(answer[1] | (answer[2] << 8));
        } else {
            bench.recover();
        }
    } else {
        bench.recover();
    }
    bool garbled = false;
    const std::optional<BoardIdentity> after = bench.identify(garbled);
    if (!after) {
        report.lines.push_back(
            line(chip_vdd, BoardTestVerdict::Fail, "the board did not answer", kLineMeter));
        report.link_failed = true;
        return;
    }
    const std::string refusal = board_refusal_text(*after);
    if (!board.has(board_identity::kSensesTargetVdd)) {
        report.lines.push_back(line(chip_vdd, BoardTestVerdict::NotDeclared,
                                    "the board does not measure the chip's Vdd"));
    } else {
        const double volts = after->target_vdd_mv / 1000.0;
        const bool sound = powered && kVdd3V3Range.holds(volts);
        report.lines.push_back(line(
            chip_vdd, sound ? BoardTestVerdict::Pass : BoardTestVerdict::Fail,
            (after->target_vdd_mv > 0 ? volts2(volts) + " " + range_text(kVdd3V3Range)
                                      : std::string("not measured")) +
                (powered || refusal.empty() ? std::string() : ": the board refused, " + refusal),
            "Measure VDD at the socket (pin Vdd to GND) during the test: 3.14-3.40 V. Near 0 V: "
            "the Vdd switch Q1, D1, R1; far below VDD_REG: a short at the socket or on the "
            "target; right there: the divider into A2 (R29, R30)."));
    }
    report.lines.push_back(line(
        pull_up, word && *word == kPulledUpWord ? BoardTestVerdict::Pass : BoardTestVerdict::Fail,
        word ? hex_word(*word) + " read with Vdd on (3FFFh expected)"
             : std::string(powered ? "the read was not answered" : "not read: no Vdd"),
        word ? pull_up_meter : std::string(kLineMeter)));
}

void test_burst(Bench& bench, const BoardIdentity* board, const std::string& name,
                BoardTestReport& report) {
    if (board == nullptr) {
        int answered = 0;
        for (int i = 0; i < kPlainRoundTrips && !bench.stopped(); ++i) {
            answered += static_cast<int>(bench.burst(1));
        }
        report.lines.push_back(line(
            name, answered == kPlainRoundTrips ? BoardTestVerdict::Pass : BoardTestVerdict::Fail,
            std::to_string(answered) + " of " + std::to_string(kPlainRoundTrips) +
                " no-operations answered one at a time (no buffer declared)",
            kLineMeter));
        return;
    }
    const int count = std::clamp(board->buffer_bytes, 1, kLargestBurst);
    const std::size_t answered = bench.burst(count);
    const bool sound = answered == static_cast<std::size_t>(count);
    if (!sound) {
        bench.recover();
    }
    report.lines.push_back(
        line(name, sound ? BoardTestVerdict::Pass : BoardTestVerdict::Fail,
             std::to_string(answered) + " of " + std::to_string(count) +
                 " no-operations answered, sent in one burst",
             "The board loses bytes of a burst as large as the buffer it declares: a firmware "
             "built with a smaller buffer, or a serial adapter that drops bytes. The window "
             "setting \"Send-Ahead Window\" 0 (lock-step) works around it."));
}

std::string rate_list(std::uint8_t rates) {
    std::string text;
    for (std::uint8_t code = 1; code < board_identity::kRateCodeCount; ++code) {
        if ((rates & (1U << code)) != 0) {
            text += (text.empty() ? "" : ", ") + std::to_string(board_identity::rate_of_code(code));
        }
    }
    return text;
}

void test_rates(Bench& bench, const BoardIdentity& board, const std::vector<std::uint8_t>& raw,
                const BoardRateSwitch& switch_rate, BoardTestReport& report) {
    const std::uint8_t rates =
        raw.size() > board_identity::kLineRatesAt ? raw[board_identity::kLineRatesAt] : 0;
    if (!board.has(board_identity::kHasLineRate) || rate_list(rates).empty()) {
        report.lines.push_back(line("Line rates", BoardTestVerdict::NotDeclared,
                                    "the board declares no rate to switch to"));
        return;
    }
    if (!switch_rate) {
        report.lines.push_back(line("Line rates", BoardTestVerdict::NotTested,
                                    rate_list(rates) + " baud declared; this port does not "
                                                       "switch rates"));
        return;
    }
    for (std::uint8_t code = 1; code < board_identity::kRateCodeCount; ++code) {
        if ((rates & (1U << code)) == 0) {
            continue;
        }
        if (bench.stopped()) {
            return;
        }
        const std::string name =
            "No-operation burst at " + std::to_string(board_identity::rate_of_code(code)) + " baud";
        const bool switched = switch_rate(code);
        if (bench.stopped()) {
            (void)switch_rate(board_identity::kRateStarting);
            return;  // a switch cut short by the stop is no verdict on the rate
        }
        if (!switched) {
            report.lines.push_back(line(
                name, BoardTestVerdict::Fail, "the switch's check exchange failed",
                "The serial adapter may not carry this rate (some bridges stop at 115200 "
                "baud), or the board's crystal is off: the board stays at its starting rate."));
            continue;
        }
        test_burst(bench, &board, name, report);
        // Also after a stop: the board is left at the rate it starts at.
        if (!switch_rate(board_identity::kRateStarting) && !bench.stopped()) {
            report.lines.push_back(line("Back to the starting rate", BoardTestVerdict::Fail,
                                        "the board did not come back", kLineMeter));
            report.link_failed = true;
            return;
        }
    }
}

// After a stop: the voltages off from wherever the board is in a command, the
// reset state asked for without waiting for its answers, and only the lines
// judged before the stop kept.
BoardTestReport finish_stopped(Bench& bench, ProgramState& state, BoardTestReport& report,
                               const BoardIdentity* board) {
    bench.write(
        {board_command::kVoltagesOff, board_command::kVoltagesOff, board_command::kVoltagesOff});
    if (board != nullptr && board->has(board_identity::kHasVddSelect)) {
        bench.write({board_command::kChipCommand, board_extension::kVdd3V3});
    }
    if (board != nullptr && board->has(board_identity::kHasVppLevels)) {
        bench.write({board_command::kChipCommand, board_extension::kVppLow});
    }
    (void)state.link.take_waiting_bytes();
    report.lines.resize(std::min(report.lines.size(), bench.lines_before_stop()));
    report.link_failed = false;
    return report;
}

}  // namespace

BoardRateSwitch rate_switch_of(ProgramState& state) {
    if (state.link.rate_pinned) {
        return {};
    }
    return [&state](std::uint8_t code) { return switch_line_rate(state, code); };
}

bool BoardTestReport::passed() const {
    return !link_failed && !stopped &&
           std::none_of(lines.begin(), lines.end(),
                        [](const BoardTestLine& l) { return l.verdict == BoardTestVerdict::Fail; });
}

std::string BoardTestReport::failed_names() const {
    std::string names;
    for (const BoardTestLine& l : lines) {
        if (l.verdict == BoardTestVerdict::Fail) {
            names += (names.empty() ? "" : ", ") + l.name;
        }
    }
    return names;
}

std::string board_test_verdict_text(BoardTestVerdict verdict) {
    switch (verdict) {
        case BoardTestVerdict::Pass:
            return "PASS";
        case BoardTestVerdict::Fail:
            return "FAIL";
        case BoardTestVerdict::NotDeclared:
            return "not declared";
        case BoardTestVerdict::NotTested:
            return "not tested";
    }
    return {};
}

BoardTestReport run_board_test(ProgramState& state, const BoardRateSwitch& switch_rate) {
    BoardTestReport report;
    ProgrammerLink& link = state.link;
    if (!link.port_ready || link.vpp_test_on || state.runner.running() || state.runner.in_step()) {
        report.lines.push_back(line("Identify", BoardTestVerdict::NotTested,
                                    "the board cannot be asked now (an operation or Test Vpp "
                                    "runs, or the port is closed)"));
        report.link_failed = true;
        return report;
    }
    link.set_receive_notification(0);
    (void)link.take_waiting_bytes();
    Bench bench(state, report);
    bool garbled = false;
    std::vector<std::uint8_t> raw;
    const std::optional<BoardIdentity> board = bench.identify(garbled, &raw);
    if (bench.stopped()) {
        return finish_stopped(bench, state, report, nullptr);
    }
    if (garbled) {
        report.lines.push_back(line("Identify", BoardTestVerdict::Fail,
                                    "bytes came that are no identity record", kLineMeter));
        report.link_failed = true;
        bench.recover();
        return report;
    }
    if (!board) {
        report.lines.push_back(line("Identify", BoardTestVerdict::NotDeclared,
                                    "no answer: a board of the original protocol"));
        for (const char* rail : {"Vdd rail", "Vpp rail"}) {
            report.lines.push_back(
                line(rail, BoardTestVerdict::NotDeclared, "a plain board reports no voltages"));
        }
        test_powered_socket(bench, BoardIdentity{}, Rails{}, report);
        if (!bench.stopped()) {
            test_burst(bench, nullptr, "No-operation round trips", report);
        }
        if (bench.stopped()) {
            return finish_stopped(bench, state, report, nullptr);
        }
        report.lines.push_back(
            line("Line rates", BoardTestVerdict::NotDeclared, "a plain board keeps its one rate"));
        return report;
    }
    report.lines.push_back(line("Identify", BoardTestVerdict::Pass,
                                board_identity_text(*board) + ", buffer " +
                                    std::to_string(board->buffer_bytes) + " bytes"));
    const Rails rails = test_vdd_rails(bench, *board, report);
    if (!report.link_failed && !bench.stopped()) {
        test_vpp_rails(bench, *board, report);
    }
    if (!report.link_failed && !bench.stopped()) {
        test_powered_socket(bench, *board, rails, report);
    }
    if (!report.link_failed && !bench.stopped()) {
        test_burst(bench, &*board, "No-operation burst, the declared buffer", report);
    }
    if (!report.link_failed && !bench.stopped()) {
        test_rates(bench, *board, raw, switch_rate, report);
    }
    if (bench.stopped()) {
        return finish_stopped(bench, state, report, &*board);
    }
    // The reset state again: the least any chip can be harmed by.
    if (board->has(board_identity::kHasVddSelect)) {
        (void)bench.select(board_extension::kVdd3V3);
    }
    if (board->has(board_identity::kHasVppLevels)) {
        (void)bench.select(board_extension::kVppLow);
    }
    bench.write({board_command::kVoltagesOff});
    (void)bench.read(1);
    (void)link.take_waiting_bytes();
    return report;
}

std::vector<std::string> board_test_table(const BoardTestReport& report) {
    std::size_t width = 0;
    for (const BoardTestLine& l : report.lines) {
        width = std::max(width, l.name.size());
    }
    std::vector<std::string> table;
    for (const BoardTestLine& l : report.lines) {
        std::string verdict = board_test_verdict_text(l.verdict);
        verdict.resize(12, ' ');
        std::string name = l.name;
        name.resize(width, ' ');
        table.push_back(verdict + " " + name + "  " + l.reading);
        if (l.verdict == BoardTestVerdict::Fail && !l.meter.empty()) {
            table.push_back(std::string(13, ' ') + "Meter: " + l.meter);
        }
    }
    table.push_back(report.stopped    ? "Interrupted: board test stopped, voltages off."
                    : report.passed() ? "Board test passed."
                    : report.failed_names().empty()
                        ? "Board test failed: the board stopped answering."
                        : "Board test failed: " + report.failed_names() + ".");
    return table;
}

}  // namespace corvanel
