// SPDX-License-Identifier: GPL-3.0-or-later
// Firmware of the Tavrelix Corvanel programmer board for an ATmega328P at 16 MHz
// (Arduino Uno or Nano, no Arduino core). It takes the host's command bytes off
// the serial line and drives a 14-bit PIC's ICSP pins (see docs/board-protocol.md
// for the bytes and the times, docs/board.md for the wiring).
//
// Pins (all on port D, so one register write moves a line):
//   PD2 (D2)  PGC      clock to the chip
//   PD3 (D3)  PGD      data, both ways; pulled up while the chip drives it
//   PD4 (D4)  VPP_OFF  high: the NPN holds MCLR low; low: MCLR rises to Vpp
//   PD5 (D5)  VDD_OFF  high: the PNP is off; low: the chip gets Vdd
//   PD6 (D6)  PGM      the classic parts' low-voltage pin, held low
//   PD7 (D7)  VDD_3V3  high (or floating, pulled up): the Vdd regulator's feedback
//                      divider is set for 3.32 V; low: for 4.99 V. The regulator
//                      is fed from the Vpp boost rail, because a Nano's own 5 V
//                      (4.4-4.7 V after its USB diode) is below the 4.5 V bulk
//                      erase needs. A 1k resistor bleeds the rail back down to
//                      3.3 V in a few ms (docs/board.md, "Vdd").
//   PB0 (D8)  VPP_MID  high: the boost's feedback gets a second lower resistor
//                      (the middle level, 11.5 V)
//   PB1 (D9)  VPP_HIGH high: a third one as well (the high level, 13.0 V, needs
//                      both); low or floating (gates pulled down): the low level,
//                      8.7 V, so a lost resistor or switch only lowers Vpp
//   PB5 (D13) LED      lit while the voltages are on
//   PC0 (A0)  VPP_SENSE  the Vpp rail (before the MCLR switch) through 33k over 10k
//   PC1 (A1)  VDD_SENSE  the Vdd rail (before the PNP) through 10k over 10k
//   PC2 (A2)  TARGET_VDD the chip's Vdd (after the PNP and J1) through 10k over 10k
// Both switches have a base resistor pulling them to "off", so while the AVR is
// in reset (pins floating) the chip has neither Vdd nor Vpp; the selection line
// has a pull-up too, so the rail comes up at 3.3 V, the Vdd no listed part minds,
// and the level switches' gates are pulled down, so Vpp comes up at its low level.
// The ADC measures against AVcc (the board's 5 V): A0 reads 0-21.5 V, A1 0-10 V at
// 5.00 V. AVcc itself is measured against the 1.1 V bandgap before each reading, so
// that a Nano's 4.4-4.7 V does not read every rail up to 14 % high.

#include <avr/eeprom.h>
#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/wdt.h>
#include <stdint.h>
#include <util/delay.h>
#include <util/delay_basic.h>

#include "core/link/board_protocol.h"

#ifndef CORVANEL_FW_BAUD
#define CORVANEL_FW_BAUD 56000UL
#endif
// Vdd first: Vdd to Vpp. The 16F7x7 need Vpp within 100 us, the 16F818/819 within 250 us.
#ifndef CORVANEL_FW_VDD_TO_VPP_US
#define CORVANEL_FW_VDD_TO_VPP_US 50
#endif
// Voltages switched off by the board itself after this long without a byte.
#ifndef CORVANEL_FW_SILENT_MS
#define CORVANEL_FW_SILENT_MS 10000U
#endif
// Entry hold (TENTH): from the last supply edge (Vdd or MCLR rising, whichever is
// later) to the first clock. The chips need 250 us; 300 us leaves room for the
// switches' own rise.
#ifndef CORVANEL_FW_ENTRY_HOLD_US
#define CORVANEL_FW_ENTRY_HOLD_US 300
#endif
// Low-voltage entry: Vdd rising (MCLR held low) to the first clock of the key.
#ifndef CORVANEL_FW_LV_HOLD_US
#define CORVANEL_FW_LV_HOLD_US 1000
#endif
// The longest wait for the Vdd rail to reach a new selection: from 5 V the rail
// falls to 3.3 V through its bleed resistor (the regulator cannot pull it down).
#define CORVANEL_FW_VDD_SETTLE_MS 50

namespace {

namespace command = corvanel::board_command;
namespace extension = corvanel::board_extension;
namespace identity = corvanel::board_identity;

constexpr uint8_t kPgc = 1 << PD2;
constexpr uint8_t kPgd = 1 << PD3;
constexpr uint8_t kVppOff = 1 << PD4;
constexpr uint8_t kVddOff = 1 << PD5;
constexpr uint8_t kPgm = 1 << PD6;
constexpr uint8_t kVdd3V3 = 1 << PD7;
constexpr uint8_t kVppSense = 0;  // ADC channels
constexpr uint8_t kVddSense = 1;
constexpr uint8_t kTargetVddSense = 2;
// The dividers: the rail is the pin's voltage times (top + bottom) / bottom, in tenths.
constexpr uint8_t kVppDividerTenths = 43;  // 33k over 10k: 4.3
constexpr uint8_t kVddDividerTenths = 20;  // 10k over 10k: 2.0
// The internal bandgap (ADMUX channel 1110b), 1.1 V typical (1.0-1.2 V from part to part).
constexpr uint8_t kBandgapChannel = 0x0E;
constexpr uint32_t kBandgapMv = 1100;
// AVcc outside this is no USB or regulator 5 V: the reading is taken as far as here.
constexpr uint16_t kAvccLowestMv = 4000;
constexpr uint16_t kAvccHighestMv = 5500;

// The Vpp levels: port B pins that switch lower resistors into the boost's feedback.
constexpr uint8_t kVppMid = 1 << PB0;
constexpr uint8_t kVppHigh = 1 << PB1;
struct VppLevel {
    uint8_t code;  // as identify reports it
    uint8_t pins;  // on port B
    uint16_t lowest_mv;
    uint16_t highest_mv;
};
// What each level's rail must read before voltages-on (docs/board-protocol.md): the
// nominal with its resistors' and reference's 4 %, inside the windows it serves.
constexpr VppLevel kLevels[] = {
    {identity::kLevelLow, 0, 8000, 9000},
    {identity::kLevelMiddle, kVppMid, 11000, 12000},
    {identity::kLevelHigh, kVppMid | kVppHigh, 12500, 13500},
};
// The longest wait for the Vpp rail to reach a new level: the boost charges its
// output capacitor up quickly, but down only through its load (R6 and U1).
constexpr uint8_t kLevelSettleMs = 100;

// The Vdd rail must read inside these before voltages-on, and the chip's Vdd after
// the switch too (the switch drops 0.05-0.1 V). With U1's feedback open its output
// follows Vpp: 5 V selected is no proof of 5 V.
constexpr uint16_t kVdd5VLowestMv = 4600;
constexpr uint16_t kVdd5VHighestMv = 5400;
constexpr uint16_t kVdd3V3LowestMv = 3000;
constexpr uint16_t kVdd3V3HighestMv = 3600;
// A rail within these counts as arrived after a select.
constexpr uint16_t kVdd3V3SettledMv = 3600;
constexpr uint16_t kVdd5VSettledMv = 4600;

// The Vpp calibration in the EEPROM: a mark, the factor (1.0 = 32768) and its
// complement. A blank EEPROM (FFh throughout) fails the mark, a torn write the
// complement: either reads as "not calibrated".
constexpr uint16_t kUnity = 32768;
constexpr uint8_t kCalibrationMark = 0xC7;
uint8_t* const kCalibrationMarkAt = reinterpret_cast<uint8_t*>(0);
uint16_t* const kCalibrationFactorAt = reinterpret_cast<uint16_t*>(1);
uint16_t* const kCalibrationCheckAt = reinterpret_cast<uint16_t*>(3);
// A meter reading more than 15 % from the board's was taken on the wrong point.
constexpr uint16_t kLowestFactor = 27853;   // 0.85
constexpr uint16_t kHighestFactor = 37683;  // 1.15
constexpr uint8_t kLed = 1 << PB5;

// --- Receive ring: 255 bytes, 3 x 64 for the send-ahead window of 64 and more -------
volatile uint8_t g_ring[256];
volatile uint8_t g_head = 0;  // written by the interrupt
volatile uint8_t g_tail = 0;  // written by the main loop
volatile bool g_overflow = false;
volatile bool g_frame_error = false;  // a byte came with its stop bit low
volatile uint16_t g_silent_ms = 0;    // since the last byte came in
volatile uint16_t g_window_ms = 0;    // since the check window of a rate switch opened
volatile uint16_t g_clock_ms = 0;     // timer 0's milliseconds, wrapping

bool g_powered = false;
bool g_vdd_5v = false;               // the Vdd rail's selection, 3.3 V after reset
bool g_load_pc_pending = false;      // extension 41h: the next data word is a 24-clock frame
bool g_calibration_pending = false;  // extension 48h: the next data word is a meter reading
uint8_t g_level = 0;                 // index in kLevels: low after reset
uint16_t g_factor = kUnity;          // the Vpp calibration, 1.0 when none is stored
bool g_calibrated = false;
uint8_t g_refusal = identity::kRefusedNone;  // why the last voltages-on was refused
uint16_t g_target_vdd_mv = 0;                // the chip's Vdd at the last voltages-on

// The UART's divisor at double speed (8 clocks a bit): the starting rate's, rounded
// to the nearest, and the rates 47h can switch to, which 16 MHz divides exactly.
constexpr uint16_t kStartingDivisor =
    (F_CPU + 4UL * CORVANEL_FW_BAUD) / (8UL * CORVANEL_FW_BAUD) - 1;
constexpr uint16_t divisor_of(uint8_t code) {
    return static_cast<uint16_t>(F_CPU / (8UL * identity::rate_of_code(code)) - 1);
}
static_assert(divisor_of(identity::kRate250000) == 7 && divisor_of(identity::kRate500000) == 3 &&
                  divisor_of(identity::kRate1000000) == 1,
              "the listed rates are exact at 16 MHz");
// What identify lists at offset 16. 2 Mbaud (UBRR 0) would leave the receive
// interrupt 80 cycles a byte, less than it and the clocking loop's need together.
constexpr uint8_t kListedRates =
    (1 << identity::kRate250000) | (1 << identity::kRate500000) | (1 << identity::kRate1000000);
uint16_t g_divisor = kStartingDivisor;  // the rate that holds now

void uart_divisor(uint16_t divisor) {
    UBRR0H = static_cast<uint8_t>(divisor >> 8);
    UBRR0L = static_cast<uint8_t>(divisor);  // the low byte last: it sets the new rate
}

void uart_init() {
    UCSR0A = 1 << U2X0;  // before the divisor: a simulator takes the rate from both
    uart_divisor(kStartingDivisor);
    UCSR0C = (1 << UCSZ01) | (1 << UCSZ00);  // 8 data bits, no parity, 1 stop bit
    UCSR0B = (1 << RXEN0) | (1 << TXEN0) | (1 << RXCIE0);
}

void tick_init() {
    // Timer 0, CTC: 16 MHz / 64 / 250 = 1 kHz.
    TCCR0A = 1 << WGM01;
    OCR0A = 249;
    TCCR0B = (1 << CS01) | (1 << CS00);
    TIMSK0 = 1 << OCIE0A;
}

void send(uint8_t byte) {
    while (!(UCSR0A & (1 << UDRE0))) {
        wdt_reset();
    }
    UDR0 = byte;
}

void send_word(uint16_t word) {
    send(static_cast<uint8_t>(word & 0xFF));
    send(static_cast<uint8_t>(word >> 8));
}

// Until the last byte written has left the line at `divisor`'s rate: the buffer
// empties when the byte moves into the shift register, which then takes a frame of
// 10 bits of 8 x (divisor + 1) clocks (the delay loop takes 4 clocks a turn).
void wait_sent(uint16_t divisor) {
    while (!(UCSR0A & (1 << UDRE0))) {
        wdt_reset();
    }
    _delay_loop_2(static_cast<uint16_t>(20 * (divisor + 1)));
}

// Four conversions of the multiplexer's channel against AVcc, summed. The first
// conversion after the multiplexer moves is thrown away: the sample capacitor still
// holds the last channel (and the bandgap needs its start-up time).
uint16_t convert4(uint8_t channel) {
    ADMUX = static_cast<uint8_t>((1 << REFS0) | channel);  // against AVcc
    uint16_t sum = 0;
    for (uint8_t i = 0; i < 5; ++i) {
        // 16 MHz / 128 = 125 kHz ADC clock: some 110 us a conversion.
        ADCSRA = (1 << ADEN) | (1 << ADSC) | (1 << ADPS2) | (1 << ADPS1) | (1 << ADPS0);
        while (ADCSRA & (1 << ADSC)) {
        }
        if (i != 0) {
            sum = static_cast<uint16_t>(sum + ADC);
        }
    }
    return sum;
}

// A channel's full scale: a reading of 1024 is AVcc times the divider.
uint32_t full_scale_mv(uint16_t avcc, uint8_t divider_tenths) {
    return static_cast<uint32_t>(avcc) * divider_tenths / 10;
}

// One quick conversion of a channel at 1 MHz (the one after the multiplexer moved
// is thrown away), scaled with a full scale worked out beforehand: some 65 us, with
// no division. Eight bits' worth of accuracy, plenty for a check of a few per cent,
// and short enough to sit inside the entry hold.
uint16_t quick_mv(uint8_t channel, uint32_t full_scale, uint16_t factor) {
    ADMUX = static_cast<uint8_t>((1 << REFS0) | channel);
    uint16_t reading = 0;
    for (uint8_t i = 0; i < 2; ++i) {
        ADCSRA = (1 << ADEN) | (1 << ADSC) | (1 << ADPS2);  // 16 MHz / 16
        while (ADCSRA & (1 << ADSC)) {
        }
        reading = ADC;
    }
    const uint32_t mv = ((reading * full_scale) >> 10) * factor >> 15;
    return static_cast<uint16_t>(mv > 0xFFFF ? 0xFFFF : mv);
}

// AVcc in millivolts: the bandgap reads 1.1 V x 1024 / AVcc, four times summed.
uint16_t avcc_mv() {
    const uint16_t sum = convert4(kBandgapChannel);
    if (sum == 0) {
        return kAvccHighestMv;  // no bandgap reading: the rails read high, the safe way
    }
    const uint32_t mv = kBandgapMv * 1024UL * 4 / sum;
    return static_cast<uint16_t>(mv < kAvccLowestMv    ? kAvccLowestMv
                                 : mv > kAvccHighestMv ? kAvccHighestMv
                                                       : mv);
}

// One ADC channel in millivolts at its divider's top, against an AVcc measured just
// before: a full-scale reading (1024) is AVcc times the divider. `factor` corrects the
// bandgap's error (kUnity: none).
uint16_t measure_mv(uint8_t channel, uint8_t divider_tenths, uint16_t avcc, uint16_t factor) {
    const uint32_t raw = convert4(channel) * full_scale_mv(avcc, divider_tenths) / (4UL * 1024);
    const uint32_t mv = raw * factor / kUnity;
    return static_cast<uint16_t>(mv > 0xFFFF ? 0xFFFF : mv);
}

// A rail as the board reads it, the calibration applied.
uint16_t rail_mv(uint8_t channel, uint8_t divider_tenths) {
    return measure_mv(channel, divider_tenths, avcc_mv(), g_factor);
}

// --- The Vpp calibration (extension 48h) ---------------------------------------------
void load_calibration() {
    const uint16_t factor = eeprom_read_word(kCalibrationFactorAt);
    g_calibrated = eeprom_read_byte(kCalibrationMarkAt) == kCalibrationMark &&
                   eeprom_read_word(kCalibrationCheckAt) == static_cast<uint16_t>(~factor) &&
                   factor >= kLowestFactor && factor <= kHighestFactor;
    g_factor = g_calibrated ? factor : kUnity;
}

// The meter's reading of the Vpp rail, in 10 mV; 0 erases the calibration. The
// factor is written before its mark, so that a reset half-way leaves no mark over
// a factor that does not match it.
void calibrate(uint16_t meter_10mv) {
    if (meter_10mv == 0) {
        eeprom_update_byte(kCalibrationMarkAt, 0xFF);
        load_calibration();
        return;
    }
    const uint16_t raw = measure_mv(kVppSense, kVppDividerTenths, avcc_mv(), kUnity);
    if (raw == 0) {
        return;
    }
    const uint32_t factor = static_cast<uint32_t>(meter_10mv) * 10 * kUnity / raw;
    if (factor < kLowestFactor || factor > kHighestFactor) {
        return;  // the meter was on the wrong point: nothing changes
    }
    eeprom_update_byte(kCalibrationMarkAt, 0xFF);
    eeprom_update_word(kCalibrationFactorAt, static_cast<uint16_t>(factor));
    eeprom_update_word(kCalibrationCheckAt, static_cast<uint16_t>(~factor));
    eeprom_update_byte(kCalibrationMarkAt, kCalibrationMark);
    load_calibration();
}

// --- The ICSP pins ------------------------------------------------------------------
void pins_safe() {
    // The switches' outputs go high before they become outputs, so they never glitch on.
    PORTD = static_cast<uint8_t>((PORTD | kVppOff | kVddOff | kVdd3V3) & ~(kPgc | kPgd | kPgm));
    DDRD |= kPgc | kPgd | kVppOff | kVddOff | kPgm | kVdd3V3;
    // The level switches low (their gates' pull-downs hold them there in reset too).
    PORTB &= static_cast<uint8_t>(~(kVppMid | kVppHigh | kLed));
    DDRB |= kVppMid | kVppHigh | kLed;
    DIDR0 = (1 << ADC0D) | (1 << ADC1D) | (1 << ADC2D);  // the sense inputs are analog only
}

void vpp_on() {
    PORTD &= static_cast<uint8_t>(~kVppOff);
}
void vdd_on() {
    PORTD &= static_cast<uint8_t>(~kVddOff);
}

// MCLR low first (the chip leaves programming mode and stays in reset), then Vdd
// off; PGC, PGD and PGM low throughout. Then the chip's supply is given time to fall.
void voltages_off() {
    PORTD = static_cast<uint8_t>((PORTD | kVppOff) & ~(kPgc | kPgd | kPgm));
    DDRD |= kPgd;
    _delay_us(10);
    PORTD |= kVddOff;
    PORTB &= static_cast<uint8_t>(~kLed);
    if (g_powered) {
        _delay_ms(3);
    }
    g_powered = false;
    g_load_pc_pending = false;
}

bool within(uint16_t mv, uint16_t lowest, uint16_t highest) {
    return mv >= lowest && mv <= highest;
}

// Whether `mv` is a Vdd the selection allows, at the rail or at the chip.
bool vdd_fits(uint16_t mv) {
    return g_vdd_5v ? within(mv, kVdd5VLowestMv, kVdd5VHighestMv)
                    : within(mv, kVdd3V3LowestMv, kVdd3V3HighestMv);
}

// Voltages-on, checked before and after: the rails before anything reaches the chip
// (Vpp within the selected level's range, for an entry that raises MCLR; the Vdd rail
// within the selected Vdd's range), the chip's own Vdd once it is switched on (a
// target powered from elsewhere, a switch that does not pass). A refused voltages-on
// leaves the voltages off, notes why for identify, and is not answered, so the host
// never reads an unpowered chip as blank. VddOnly: MCLR stays low (the low-voltage
// entries), so Vpp is not looked at.
enum class Entry : uint8_t { VppFirst, VddFirst, VddOnly };

bool voltages_on(Entry entry) {
    voltages_off();
    g_target_vdd_mv = 0;
    const uint16_t avcc = avcc_mv();
    if (entry != Entry::VddOnly) {
        const uint16_t vpp = measure_mv(kVppSense, kVppDividerTenths, avcc, g_factor);
        const VppLevel& level = kLevels[g_level];
        if (vpp > level.highest_mv) {
            g_refusal = identity::kRefusedVppHigh;
            return false;
        }
        if (vpp < level.lowest_mv) {
            g_refusal = identity::kRefusedVppLow;
            return false;
        }
    }
    if (!vdd_fits(measure_mv(kVddSense, kVddDividerTenths, avcc, g_factor))) {
        g_refusal = identity::kRefusedVddRail;
        return false;
    }
    const uint32_t target_full_scale = full_scale_mv(avcc, kVddDividerTenths);
    if (entry == Entry::VddFirst) {
        vdd_on();
        _delay_us(CORVANEL_FW_VDD_TO_VPP_US);
        vpp_on();
    } else if (entry == Entry::VppFirst) {
        vpp_on();
        _delay_us(50);
        vdd_on();
    } else {
        vdd_on();
    }
    PORTB |= kLed;
    g_powered = true;
    // A quick reading, so that a wrong Vdd goes off again within some 70 us.
    g_target_vdd_mv = quick_mv(kTargetVddSense, target_full_scale, g_factor);
    if (!vdd_fits(g_target_vdd_mv)) {
        voltages_off();
        g_refusal = identity::kRefusedTargetVdd;
        return false;
    }
    g_refusal = identity::kRefusedNone;
    if (entry == Entry::VddOnly) {
        _delay_us(CORVANEL_FW_LV_HOLD_US);
    } else {
        _delay_us(CORVANEL_FW_ENTRY_HOLD_US);
    }
    return true;
}

// Extensions 43h and 44h: only while the voltages are off, so a chip never sees
// its supply jump.
void select_vdd(bool five_volts) {
    if (g_powered || five_volts == g_vdd_5v) {
        return;
    }
    g_vdd_5v = five_volts;
    if (five_volts) {
        PORTD &= static_cast<uint8_t>(~kVdd3V3);
    } else {
        PORTD |= kVdd3V3;
    }
    for (uint8_t ms = 0; ms < CORVANEL_FW_VDD_SETTLE_MS; ++ms) {
        const uint16_t vdd = rail_mv(kVddSense, kVddDividerTenths);
        if (five_volts ? vdd >= kVdd5VSettledMv : vdd <= kVdd3V3SettledMv) {
            break;
        }
        _delay_ms(1);
    }
}

// Extensions 45h, 49h and 46h: only while the voltages are off. Answered once the
// rail reads inside the new level's range, or after kLevelSettleMs.
void select_level(uint8_t index) {
    if (g_powered || index == g_level) {
        return;
    }
    g_level = index;
    const VppLevel& level = kLevels[index];
    PORTB = static_cast<uint8_t>((PORTB & ~(kVppMid | kVppHigh)) | level.pins);
    for (uint8_t ms = 0; ms < kLevelSettleMs; ++ms) {
        if (within(rail_mv(kVppSense, kVppDividerTenths), level.lowest_mv, level.highest_mv)) {
            break;
        }
        _delay_ms(1);
    }
}

// Command 107: the voltages go off, both rails are measured, the record goes out.
// The refusal is reported once: the next voltages-on or identify starts afresh.
void identify() {
    voltages_off();
    const uint16_t vpp = rail_mv(kVppSense, kVppDividerTenths);
    const uint16_t vdd = rail_mv(kVddSense, kVddDividerTenths);
    constexpr uint16_t features =
        identity::kHasLowVoltageEntry | identity::kHasLoadPcAddress |
        identity::kHasLowVoltageEntry8 | identity::kHasCommands8 | identity::kHasVddSelect |
        identity::kMeasuresVpp | identity::kMeasuresVdd | identity::kHasVppLevels |
        identity::kHasVppCalibration | identity::kSensesTargetVdd | identity::kHasBlocks |
        identity::kHasLineRate | identity::kHasBoardWait;
    send(identity::kVersion2);
    send_word(features);
    send_word(sizeof g_ring - 1);  // the ring holds one byte less than its size
    send_word(g_vdd_5v ? identity::kVdd5VMillivolts : identity::kVdd3V3Millivolts);
    send_word(vdd);
    send_word(vpp);
    send(kLevels[g_level].code);
    send(g_calibrated ? identity::kStatusCalibrated : 0);
    send(g_refusal);
    send_word(g_target_vdd_mv);
    send(kListedRates);
    send(command::kIdentify);
    g_refusal = identity::kRefusedNone;
}

// --- Clocking the ICSP pins -------------------------------------------------------------
// Counted in cycles of 16 MHz (62.5 ns). sbi and cbi take 2 cycles each and move the
// pin as they run, so the time from one pin write to the next is the cycles of the
// instructions from the first write up to the second. An interrupt between two
// writes only lengthens a time: every time below is a chip's minimum, none a maximum.
//
// A bit out (shift_out_*): PGD written, 4 cycles (a one) or 2 (a zero), PGC up, 16
// cycles, PGC down, 5 cycles (a one) or 7 (a zero), the next bit's PGD; 25 cycles
// (1.56 us) a bit.
//   PGC high (TCKH, 100 ns): 16 cycles, 1 us. The level shifter's 10k pull-ups take
//     some 0.5 us to lift PGC past the chip's threshold (docs/board.md, "The ICSP
//     lines"), so the chip sees it high some 0.5 us.
//   PGC low (TCKL, 100 ns): 9 cycles, 0.56 us; the FETs pull low at once, and the
//     chip sees the low 0.5 us longer (the next rise's).
//   PGD set-up before the falling edge (TSET1, 100 ns): 20 cycles, 1.25 us, for a one;
//     a rising PGD, like PGC, needs 0.5 us of it to reach the chip's threshold. 18
//     cycles for a zero, which the FET pulls down at once.
//   PGD hold after the falling edge (THLD1, 100 ns): 5 cycles (312 ns) or more; the
//     FETs pull both lines low at once, so the chip sees the same.
// A bit in (shift_in_*): PGC up, 20 cycles, PGD sampled, 2 cycles, PGC down, 5
// cycles; 27 cycles (1.69 us) a bit. The chip sees the rising edge 0.5 us late,
// drives PGD within 80 ns (TDLY3), and a high reaches the AVR at some 0.75 us. The
// pin rises as the 2-cycle write ends and the read sees the pin as it was 1.5 cycles
// before (the input synchroniser): PGD is taken 16.5 cycles, 1.03 us, after the edge.
// Command to frame, and frame to the next command (TDLY2, 1 us): 24 cycles, 1.5 us,
// from the last falling edge; the chip sees the next rising edge 0.5 us later still.
constexpr unsigned long kTdlyCycles = 24;

#ifndef CORVANEL_FW_TOGGLE_CLOCK
#define CORVANEL_FW_PGC_UP "sbi %[port], %[pgc]\n\t"
#define CORVANEL_FW_PGC_DOWN "cbi %[port], %[pgc]\n\t"
#else
// Two writes to PIND toggle PGC up and down one cycle apart: 62.5 ns high, too short
// for the chip. Only built for the test that shows the chip notices.
#define CORVANEL_FW_PGC_UP "out %[pin], %[pgc_mask]\n\tout %[pin], %[pgc_mask]\n\t"
#define CORVANEL_FW_PGC_DOWN "rjmp .+0\n\t"
#endif
// Waits of 2, 12 and 17 cycles in as few words as the flash allows.
#define CORVANEL_FW_WAIT2 "rjmp .+0\n\t"
#define CORVANEL_FW_WAIT12                                                                    \
    CORVANEL_FW_WAIT2 CORVANEL_FW_WAIT2 CORVANEL_FW_WAIT2 CORVANEL_FW_WAIT2 CORVANEL_FW_WAIT2 \
        CORVANEL_FW_WAIT2
#define CORVANEL_FW_WAIT17 CORVANEL_FW_WAIT12 CORVANEL_FW_WAIT2 CORVANEL_FW_WAIT2 "nop\n\t"
#define CORVANEL_FW_PINS                                                            \
    [port] "I"(_SFR_IO_ADDR(PORTD)), [pin] "I"(_SFR_IO_ADDR(PIND)), [pgc] "I"(PD2), \
        [pgd] "I"(PD3), [pgc_mask] "r"(kPgc)

// `count` (1-8) bits of `byte` out on PGD, LSb first; the chip takes each on PGC's
// falling edge. PGD is left as the last bit set it, 5 cycles after the falling edge.
// What is left of the byte, shifted down `count` places.
__attribute__((always_inline)) inline uint8_t shift_out_lsb(uint8_t byte, uint8_t count) {
    asm volatile(
        "1: sbrc %[b], 0\n\t"
        "sbi %[port], %[pgd]\n\t"
        "sbrs %[b], 0\n\t"
        "cbi %[port], %[pgd]\n\t" CORVANEL_FW_PGC_UP
        "lsr %[b]\n\t"
        "dec %[n]\n\t" CORVANEL_FW_WAIT12 CORVANEL_FW_PGC_DOWN "brne 1b\n\t" CORVANEL_FW_WAIT2
        : [b] "+r"(byte), [n] "+r"(count)
        : CORVANEL_FW_PINS);
    return byte;
}

// The 8 bits of `byte` out on PGD, MSb first.
__attribute__((always_inline)) inline void shift_out_msb(uint8_t byte) {
    uint8_t count = 8;
    asm volatile(
        "1: sbrc %[b], 7\n\t"
        "sbi %[port], %[pgd]\n\t"
        "sbrs %[b], 7\n\t"
        "cbi %[port], %[pgd]\n\t" CORVANEL_FW_PGC_UP
        "lsl %[b]\n\t"
        "dec %[n]\n\t" CORVANEL_FW_WAIT12 CORVANEL_FW_PGC_DOWN "brne 1b\n\t" CORVANEL_FW_WAIT2
        : [b] "+r"(byte), [n] "+r"(count)
        : CORVANEL_FW_PINS);
}

// 8 bits in from PGD, which the chip drives after each rising edge; the first one
// taken ends up in bit 0 (LSb first) or in bit 7 (MSb first). The 6-bit read keeps
// PGC low 17 cycles (1.06 us): detect sends the 6-bit commands to whatever chip is in
// the socket, and a chip of the 8-bit set takes the 104 04h and the frame's first
// bits as commands of its own, one of which may take the rest as a payload: its
// TDLY2 (1 us) may then fall on any bit of the frame.
__attribute__((always_inline)) inline uint8_t shift_in_lsb() {
    uint8_t byte = 0;
    uint8_t count = 8;
    asm volatile("1: " CORVANEL_FW_PGC_UP "lsr %[b]\n\t" CORVANEL_FW_WAIT17
                 "sbic %[pin], %[pgd]\n\t"
                 "ori %[b], 0x80\n\t" CORVANEL_FW_PGC_DOWN CORVANEL_FW_WAIT12
                 "dec %[n]\n\t"
                 "brne 1b\n\t"
                 : [b] "+d"(byte), [n] "+r"(count)
                 : CORVANEL_FW_PINS);
    return byte;
}
__attribute__((always_inline)) inline uint8_t shift_in_msb() {
    uint8_t byte = 0;
    uint8_t count = 8;
    asm volatile("1: " CORVANEL_FW_PGC_UP "lsl %[b]\n\t" CORVANEL_FW_WAIT17
                 "sbic %[pin], %[pgd]\n\t"
                 "ori %[b], 0x01\n\t" CORVANEL_FW_PGC_DOWN
                 "dec %[n]\n\t"
                 "brne 1b\n\t"
                 : [b] "+d"(byte), [n] "+r"(count)
                 : CORVANEL_FW_PINS);
    return byte;
}

// After a frame or a command: PGD low (5 cycles after the last falling edge at the
// soonest), then TDLY2.
__attribute__((always_inline)) inline void end_of_frame() {
    PORTD &= static_cast<uint8_t>(~kPgd);
    __builtin_avr_delay_cycles(kTdlyCycles);
}

// The low-voltage key "MCHP": 32 bits, MSb first (the 8-bit set) or LSb first.
void clock_key(bool msb_first) {
    constexpr uint32_t kKey = 0x4D434850UL;
    for (uint8_t i = 0; i < 4; ++i) {
        if (msb_first) {
            shift_out_msb(static_cast<uint8_t>(kKey >> (8 * (3 - i))));
        } else {
            shift_out_lsb(static_cast<uint8_t>(kKey >> (8 * i)), 8);
        }
    }
}

void chip_command(uint8_t code) {
    shift_out_lsb(code & extension::kChipCommandMask, 6);
    end_of_frame();
}

// A frame's first bits read as a command to a chip that was sent none before it (a
// 105 or 109 whose command the line lost): the bits after them wait TDLY2 too, so
// that such a chip, like every other, never sees a time broken. 10 cycles more
// than the 9 of a bit's low time, with the code between: some 1.2 us.
__attribute__((always_inline)) inline void after_command_bits() {
    __builtin_avr_delay_cycles(10);
}

// Start bit 0, the 14 bits LSb first, stop bit 0: the word shifted left one place in
// 16 bits. After 41h (Load PC Address) the word in a 24-bit frame instead.
void data_frame(uint16_t word) {
    const uint8_t rest = shift_out_lsb(static_cast<uint8_t>(word << 1), 6);
    after_command_bits();
    shift_out_lsb(rest, 2);
    if (g_load_pc_pending) {
        g_load_pc_pending = false;
        shift_out_lsb(static_cast<uint8_t>(word >> 7), 8);
        shift_out_lsb(static_cast<uint8_t>(word >> 15), 8);
    } else {
        shift_out_lsb(static_cast<uint8_t>(word >> 7) & 0x7F, 8);
    }
    end_of_frame();
}

// The chip drives PGD after each rising edge; the board samples it before the
// falling edge. PGD is released (pulled up: an empty socket reads ones) for the
// frame and driven low again after it.
inline void release_data() {
    DDRD &= static_cast<uint8_t>(~kPgd);
    PORTD |= kPgd;
}
// The chip lets go of PGD after the frame's last falling edge: the board drives it
// again 0.5 us on, low (its pull-up off first, so that it never drives it high).
inline void take_data_back() {
    __builtin_avr_delay_cycles(8);
    PORTD &= static_cast<uint8_t>(~kPgd);
    DDRD |= kPgd;
    __builtin_avr_delay_cycles(kTdlyCycles);
}

// Start bit, 14 data bits LSb first, stop bit.
uint16_t read_frame() {
    release_data();
    const uint8_t low = shift_in_lsb();
    const uint8_t high = shift_in_lsb();
    take_data_back();
    return static_cast<uint16_t>(((static_cast<uint16_t>(high) << 8 | low) >> 1) & 0x3FFF);
}

// Command 110: 24 bits MSb first, the value in bits 16:1.
uint16_t read_payload() {
    release_data();
    const uint8_t top = shift_in_msb();
    const uint8_t middle = shift_in_msb();
    const uint8_t bottom = shift_in_msb();
    take_data_back();
    return static_cast<uint16_t>(static_cast<uint16_t>(top & 1) << 15 |
                                 static_cast<uint16_t>(middle) << 7 | bottom >> 1);
}

// Command 108: the 8-bit chip command, MSb first.
void chip_command8(uint8_t code) {
    shift_out_msb(code);
    end_of_frame();
}

// Command 109: the word shifted left one place in a 24-bit payload, MSb first.
void payload(uint16_t word) {
    shift_out_msb(static_cast<uint8_t>(word >> 15));
    after_command_bits();
    shift_out_msb(static_cast<uint8_t>(word >> 7));
    shift_out_msb(static_cast<uint8_t>(word << 1));
    end_of_frame();
}

// Extension 40h: Vdd on with MCLR held low, then the key "MCHP" LSb first and a 33rd
// clock; 42h (the 8-bit set): the key MSb first and no 33rd clock. False, with the
// voltages left off, when voltages-on was refused.
bool low_voltage_entry(bool msb_first) {
    if (!voltages_on(Entry::VddOnly)) {
        return false;
    }
    clock_key(msb_first);
    if (!msb_first) {
        shift_out_lsb(0, 1);
    }
    end_of_frame();
    return true;
}

// --- The line -------------------------------------------------------------------------
// Drops what comes in until the host has been quiet for 20 ms from now: after lost
// bytes, a block cut short or a failed rate switch nothing that follows can be
// trusted. Counted from now, not from the last byte: the tail of a block that comes
// after the board gave it up must not be taken for commands (a data byte of 101 would
// switch the voltages on again).
void ignore_until_quiet() {
    cli();
    g_silent_ms = 0;
    sei();
    for (;;) {
        cli();
        g_tail = g_head;
        g_overflow = false;
        g_frame_error = false;
        const uint16_t quiet = g_silent_ms;
        sei();
        if (quiet >= 20) {
            return;
        }
        wdt_reset();
    }
}

// The next byte from the host, or -1 when the receive ring overflowed meanwhile (the
// command under way is dropped). Switches the voltages off when the host goes silent.
// `gap_ms` (not 0): inside a block, whose next byte must come within that long of the
// one before; when it does not, the block is given up as after an overflow.
int16_t next_byte(uint8_t gap_ms = 0) {
    for (;;) {
        wdt_reset();
        if (g_overflow) {
            // Bytes were lost: voltages off, and listen again once the host is quiet.
            voltages_off();
            ignore_until_quiet();
            return -1;
        }
        if (g_tail != g_head) {
            const uint8_t byte = g_ring[g_tail];
            g_tail = static_cast<uint8_t>(g_tail + 1);
            return byte;
        }
        cli();
        const uint16_t quiet = g_silent_ms;
        sei();
        if (gap_ms != 0 && quiet >= gap_ms) {
            voltages_off();
            ignore_until_quiet();
            return -1;
        }
        if (g_powered && quiet >= CORVANEL_FW_SILENT_MS) {
            voltages_off();
        }
    }
}

// The two data bytes of 105 and 109, low first; -1 when the ring overflowed.
int32_t next_word(uint8_t gap_ms = 0) {
    const int16_t low = next_byte(gap_ms);
    if (low < 0) {
        return -1;
    }
    const int16_t high = next_byte(gap_ms);
    if (high < 0) {
        return -1;
    }
    // int is 16 bits wide here: shifted as int, a high byte of 80h or more turns negative.
    return (static_cast<int32_t>(high) << 8) | low;
}

// The next byte of a block: straight from the ring when it holds one, as it mostly
// does while a block clocks, without next_byte's call and loop.
__attribute__((always_inline)) inline int16_t block_byte() {
    const uint8_t tail = g_tail;
    if (tail != g_head && !g_overflow) {
        const uint8_t byte = g_ring[tail];
        g_tail = static_cast<uint8_t>(tail + 1);  // only then may the interrupt reuse it
        return byte;
    }
    return next_byte(command::kBlockByteGapMs);
}

// Commands 111 and 112: flags, the load (or read) code, the step code and n, then
// for a write the n words. The next words come into the ring under interrupt while
// this one clocks, so the line and the chip's pins run side by side. A byte that
// does not come in time gives the block up with the voltages off and no answer.
void block(bool write) {
    constexpr uint8_t gap = command::kBlockByteGapMs;
    g_load_pc_pending = false;
    uint8_t header[4];  // flags, code, step, n
    for (uint8_t& field : header) {
        const int16_t got = next_byte(gap);
        if (got < 0) {
            return;
        }
        field = static_cast<uint8_t>(got);
    }
    const uint8_t flags = header[0];
    const uint8_t code = header[1];
    const uint8_t step = header[2];
    const bool eight_bit = (flags & command::kBlockFlag8Bit) != 0;
    const bool stepping = (flags & command::kBlockFlagStep) != 0;
    const bool known = (flags & ~(command::kBlockFlag8Bit | command::kBlockFlagStep)) == 0;
    const bool clocks = known && g_powered;
    // A read word's high byte waits for the next command's clocks, by when the UART
    // has room for it: the low byte before it takes 10 us at 1 Mbaud, a command 12 us.
    int16_t held = -1;
    for (uint8_t left = header[3]; left != 0; --left) {
        if (write) {
            const int16_t low = block_byte();
            if (low < 0) {
                return;
            }
            const int16_t high = block_byte();
            if (high < 0) {
                return;
            }
            const uint16_t word = static_cast<uint16_t>(high << 8 | low);
            if (clocks && eight_bit) {
                chip_command8(code);
                payload(word);
            } else if (clocks) {
                chip_command(code);
                data_frame(word);
            }
        } else if (!clocks) {
            // What 106 or 110 answer with the voltages off; FFFFh for unknown flags.
            send_word(known && !eight_bit ? 0x3FFF : 0xFFFF);
        } else {
            if (eight_bit) {
                chip_command8(code);
            } else {
                chip_command(code);
            }
            if (held >= 0) {
                send(static_cast<uint8_t>(held));
            }
            const uint16_t word = eight_bit ? read_payload() : read_frame();
            send(static_cast<uint8_t>(word));
            held = static_cast<int16_t>(word >> 8);
        }
        if (clocks && stepping) {
            if (eight_bit) {
                chip_command8(step);
            } else {
                chip_command(step);
            }
        }
    }
    if (held >= 0) {
        send(static_cast<uint8_t>(held));
    }
    send(write ? command::kWriteBlock : command::kReadBlock);
}

// --- The board-timed wait (extension 4Ah) ----------------------------------------------
// Timer 0 counts 250 ticks of 4 us a millisecond (CTC at OCR0A 249); its interrupt
// counts the milliseconds.
struct Instant {
    uint16_t ms;
    uint8_t tick;
};

Instant now() {
    cli();
    uint16_t ms = g_clock_ms;
    const uint8_t tick = TCNT0;
    // The counter has wrapped but its interrupt has not run yet: a millisecond more.
    // A tick read just before the wrap is still high, and counts as read.
    if ((TIFR0 & (1 << OCF0A)) != 0 && tick < 125) {
        ++ms;
    }
    sei();
    return {ms, tick};
}

// Waits `ms` milliseconds from now, then answers 104. Now is some microseconds after
// the previous command's last clock (its TDLY2 and its answer) or after the wait's
// own last byte came in, whichever is later; when earlier answers still fill the
// UART (after reads at 56000 baud), up to two bytes' time more (0.36 ms). The chip's
// programming time runs meanwhile: the wait never ends early. It adds 0.2 % (half a
// tick a millisecond), room for a board clock that runs fast, and still ends within
// the 1 ms the protocol allows: 255 ms by 255.52 ms, 255.88 ms behind a full UART.
// Bytes keep coming into the ring; lost bytes end the wait as next_byte would
// (voltages off, no answer), and the host's silence is judged after it, as for any
// command.
void board_wait(uint8_t ms) {
    const Instant start = now();
    uint16_t end_ms = static_cast<uint16_t>(start.ms + ms);
    uint16_t end_tick = static_cast<uint16_t>(start.tick + (ms + 1U) / 2);
    while (end_tick >= 250) {
        end_tick = static_cast<uint16_t>(end_tick - 250);
        ++end_ms;
    }
    for (;;) {
        wdt_reset();
        if (g_overflow) {
            voltages_off();
            ignore_until_quiet();
            return;
        }
        const Instant at = now();
        const int16_t ahead = static_cast<int16_t>(at.ms - end_ms);
        if (ahead > 0 || (ahead == 0 && at.tick >= end_tick)) {
            break;
        }
    }
    send(command::kChipCommand);
}

// --- The line rate (extension 47h) ------------------------------------------------------
// Two 100s at the new rate, each answered, inside the check window; false on any
// other byte, a framing error, lost bytes or the window closing first. What came in
// before the switch was sent at the old rate and is dropped.
bool rate_checked() {
    cli();
    g_tail = g_head;
    g_overflow = false;
    g_frame_error = false;
    g_window_ms = 0;
    sei();
    uint8_t answered = 0;
    for (;;) {
        wdt_reset();
        if (g_overflow || g_frame_error) {
            return false;
        }
        if (g_tail != g_head) {
            const uint8_t byte = g_ring[g_tail];
            g_tail = static_cast<uint8_t>(g_tail + 1);
            if (byte != command::kNop) {
                return false;
            }
            send(command::kNop);
            if (++answered == 2) {
                return true;
            }
            continue;
        }
        cli();
        const uint16_t open_ms = g_window_ms;
        sei();
        if (open_ms >= identity::kRateCheckWindowMs) {
            return false;
        }
    }
}

// After the 104 that answers 104 47h `code` has been written. Code 0 goes back to the
// starting rate at once: the rate every board and host start at needs no check, and a
// host that closes its port sends it and goes. A listed rate is switched to with the
// voltages off only, and kept only when the check passes.
void switch_rate(uint8_t code) {
    uint16_t divisor = kStartingDivisor;
    if (code != identity::kRateStarting) {
        if (g_powered || code >= identity::kRateCodeCount || ((kListedRates >> code) & 1) == 0) {
            return;
        }
        divisor = divisor_of(code);
    }
    wait_sent(g_divisor);
    const uint16_t old = g_divisor;
    uart_divisor(divisor);
    g_divisor = divisor;
    if (code == identity::kRateStarting || rate_checked()) {
        return;
    }
    wait_sent(divisor);
    uart_divisor(old);
    g_divisor = old;
    ignore_until_quiet();
}

}  // namespace

// At 1 Mbaud a byte comes every 160 clocks, while the main loop clocks a block with
// interrupts on. Written by hand, it saves only the four registers it uses and takes
// 65 clocks with its entry and exit (the compiler's took 77), so that a block word's
// two bytes cost its clocking 8.1 us rather than 9.6. A byte is lost only when a third
// one ends while two wait unread: 320 clocks after the first, far more than this and
// the timer's interrupt (some 70 clocks) together.
//   status = UCSR0A (before UDR0: its flags are the byte's); byte = UDR0;
//   g_silent_ms = 0; a frame error noted; an overrun, or a full ring, is an overflow;
//   else the byte goes in at g_head, which moves on.
ISR(USART_RX_vect, ISR_NAKED) {
    asm volatile(
        "push r24\n\t"
        "in r24, __SREG__\n\t"
        "push r24\n\t"
        "push r25\n\t"
        "push r30\n\t"
        "push r31\n\t"
        "lds r25, %[status]\n\t"
        "lds r24, %[data]\n\t"
        "ldi r30, 0\n\t"
        "sts %[silent], r30\n\t"
        "sts %[silent]+1, r30\n\t"
        "ldi r30, 1\n\t"
        "sbrc r25, %[fe]\n\t"
        "sts %[frame_error], r30\n\t"
        "sbrc r25, %[dor]\n\t"
        "rjmp 1f\n\t"
        "lds r30, %[head]\n\t"
        "mov r25, r30\n\t"
        "inc r25\n\t"
        "lds r31, %[tail]\n\t"
        "cp r25, r31\n\t"
        "breq 1f\n\t"
        "ldi r31, 0\n\t"
        "subi r30, lo8(-(%[ring]))\n\t"
        "sbci r31, hi8(-(%[ring]))\n\t"
        "st Z, r24\n\t"
        "sts %[head], r25\n\t"
        "rjmp 2f\n\t"
        "1: ldi r30, 1\n\t"
        "sts %[overflow], r30\n\t"
        "2: pop r31\n\t"
        "pop r30\n\t"
        "pop r25\n\t"
        "pop r24\n\t"
        "out __SREG__, r24\n\t"
        "pop r24\n\t"
        "reti\n\t"
        :
        : [status] "n"(_SFR_MEM_ADDR(UCSR0A)), [data] "n"(_SFR_MEM_ADDR(UDR0)), [fe] "I"(FE0),
          [dor] "I"(DOR0), [silent] "i"(&g_silent_ms), [frame_error] "i"(&g_frame_error),
          [overflow] "i"(&g_overflow), [head] "i"(&g_head), [tail] "i"(&g_tail),
          [ring] "i"(g_ring));
}

ISR(TIMER0_COMPA_vect) {
    if (g_silent_ms != 0xFFFF) {
        ++g_silent_ms;
    }
    if (g_window_ms != 0xFFFF) {
        ++g_window_ms;
    }
    g_clock_ms = static_cast<uint16_t>(g_clock_ms + 1);
}

// After a watchdog reset the watchdog stays on at its shortest time-out (16 ms)
// until someone turns it off: this runs before the C runtime's start-up, so the
// firmware itself never resets again on the way to main. (A bootloader that runs
// first and does not turn it off, the old one of the classic Nano, resets over and
// over before the firmware starts: docs/board.md, "Building the firmware".)
extern "C" void early_watchdog_off() __attribute__((naked, used, section(".init3")));
extern "C" void early_watchdog_off() {
    MCUSR = 0;
    wdt_disable();
}

// The watchdog (0.5 s) first raises its interrupt, which makes the pins safe and
// starts the firmware afresh at address 0 without a reset: no bootloader runs, so
// none can loop. Only when that interrupt cannot run (interrupts off) does the
// second time-out reset the AVR.
void watchdog_on() {
    cli();
    wdt_reset();
    WDTCSR = (1 << WDCE) | (1 << WDE);
    WDTCSR = (1 << WDIE) | (1 << WDE) | (1 << WDP2) | (1 << WDP0);
}

ISR(WDT_vect, ISR_NAKED) {
    PORTD |= kVppOff;  // MCLR low first, then Vdd off
    PORTD |= kVddOff;
    asm volatile("jmp 0");
}

int main() {
    MCUSR = 0;
    wdt_disable();
    pins_safe();
    load_calibration();
    uart_init();
    tick_init();
    for (uint8_t i = 0; i < identity::kBannerSize; ++i) {
        send(static_cast<uint8_t>(identity::kBanner[i]));
    }
    watchdog_on();
    sei();

    for (;;) {
        const int16_t got = next_byte();
        // 48h arms the calibration for the very next command only.
        const bool calibrating = g_calibration_pending;
        g_calibration_pending = false;
        if (got < 0) {
            continue;
        }
        const uint8_t byte = static_cast<uint8_t>(got);
        switch (byte) {
            case command::kNop:
                g_load_pc_pending = false;
                send(command::kNop);
                break;
            case command::kVoltagesOnVddFirst:
            case command::kVoltagesOnVppFirst:
                // Refused (see voltages_on): no answer, so the host reports a board
                // that does not respond instead of reading a chip without voltages
                // as blank, and asks identify why.
                if (voltages_on(byte == command::kVoltagesOnVddFirst ? Entry::VddFirst
                                                                     : Entry::VppFirst)) {
                    send(byte);
                }
                break;
            case command::kVoltagesOff:
                voltages_off();
                send(command::kVoltagesOff);
                break;
            case command::kChipCommand: {
                const int16_t code = next_byte();
                if (code < 0) {
                    break;
                }
                g_load_pc_pending = false;
                if (code == extension::kLineRate) {
                    const int16_t rate = next_byte();
                    if (rate < 0) {
                        break;
                    }
                    send(command::kChipCommand);  // at the old rate
                    switch_rate(static_cast<uint8_t>(rate));
                    break;
                }
                if (code == extension::kBoardWait) {
                    const int16_t ms = next_byte();
                    if (ms >= 0) {
                        board_wait(static_cast<uint8_t>(ms));
                    }
                    break;
                }
                if (code == extension::kLowVoltageEntry || code == extension::kLowVoltageEntry8) {
                    if (!low_voltage_entry(code == extension::kLowVoltageEntry8)) {
                        break;  // refused: not answered (see voltages_on)
                    }
                } else if (code == extension::kVdd3V3 || code == extension::kVdd5V) {
                    select_vdd(code == extension::kVdd5V);
                } else if (code == extension::kVppLow) {
                    select_level(0);
                } else if (code == extension::kVppMiddle) {
                    select_level(1);
                } else if (code == extension::kVppHigh) {
                    select_level(2);
                } else if (code == extension::kVppCalibrate) {
                    g_calibration_pending = !g_powered;
                } else if (!g_powered) {
                    // Voltages off: answered, nothing clocked into an unpowered chip.
                } else if (code == extension::kLoadPcAddress) {
                    chip_command(extension::kLoadPcAddressChipCommand);
                    g_load_pc_pending = true;
                } else if (code < extension::kLowVoltageEntry || code > extension::kLastExtension) {
                    chip_command(static_cast<uint8_t>(code));
                }  // 4Bh-7Fh: an extension this board lacks, answered and ignored
                send(command::kChipCommand);
                break;
            }
            case command::kDataWord:
            case command::kPayload24: {
                if (byte == command::kPayload24) {
                    g_load_pc_pending = false;  // only a 105 carries 41h's address
                }
                const int32_t word = next_word();
                if (word < 0) {
                    break;
                }
                if (calibrating && byte == command::kDataWord) {
                    calibrate(static_cast<uint16_t>(word));
                } else if (g_powered && byte == command::kDataWord) {
                    data_frame(static_cast<uint16_t>(word));
                } else if (g_powered) {
                    payload(static_cast<uint16_t>(word));
                }
                send(byte);
                break;
            }
            case command::kReadWord: {
                g_load_pc_pending = false;
                // Voltages off: what the pulled-up data line of an empty socket reads.
                send_word(g_powered ? read_frame() : 0x3FFF);
                send(command::kReadWord);
                break;
            }
            case command::kChipCommand8: {
                const int16_t code = next_byte();
                if (code < 0) {
                    break;
                }
                g_load_pc_pending = false;
                if (g_powered) {
                    chip_command8(static_cast<uint8_t>(code));
                }
                send(command::kChipCommand8);
                break;
            }
            case command::kReadPayload24:
                g_load_pc_pending = false;
                // Voltages off: the pulled-up line, ones in every payload bit.
                send_word(g_powered ? read_payload() : 0xFFFF);
                send(command::kReadPayload24);
                break;
            case command::kIdentify:
                identify();
                break;
            case command::kWriteBlock:
            case command::kReadBlock:
                block(byte == command::kWriteBlock);
                break;
            default:
                break;  // not a command: ignored, not answered
        }
    }
}
