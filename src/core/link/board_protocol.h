// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The command bytes of the programmer board. Both ends of the serial line use
// them: the protocol that drives a real board, the virtual board that stands in
// for one, and the board firmware itself (firmware/board_firmware.cpp). avr-g++
// (GCC 5) compiles this file too: plain constants and <stdint.h> only, no other
// header of the C++ standard library (avr-libc has none), no nested namespace
// names and no inline variables (its C++17 lacks them).

#include <stdint.h>

namespace corvanel {
namespace board_command {

constexpr uint8_t kNop = 100;
constexpr uint8_t kVoltagesOnVddFirst = 101;
constexpr uint8_t kVoltagesOnVppFirst = 102;
constexpr uint8_t kVoltagesOff = 103;
constexpr uint8_t kChipCommand = 104;  // followed by the chip's command code
constexpr uint8_t kDataWord = 105;     // followed by the low, then the high byte
constexpr uint8_t kReadWord = 106;     // answered by low, high and one more byte

// The 8-bit command set (16F188xx, 16F153xx, 16F184xx, 16F152xx, 16F171xx...):
// commands of 8 bits and payloads of 24 bits, both MSb first. A payload carries the
// 16-bit value shifted left one place (bit 0 a stop bit, bits 23:17 zero).
constexpr uint8_t kChipCommand8 = 108;   // followed by the 8-bit command
constexpr uint8_t kPayload24 = 109;      // followed by the low, then the high byte
constexpr uint8_t kReadPayload24 = 110;  // answered by low, high and one more byte

// Blocks the board clocks itself (feature bit 10): flags, the load (or read) code,
// the step code, a count n of 1-255, and for a write the n words (low, high).
// A write block is answered 111 once at its end; a read block answers each word
// (low, high), then 112.
constexpr uint8_t kWriteBlock = 111;
constexpr uint8_t kReadBlock = 112;
constexpr uint8_t kBlockHeaderBytes = 5;     // the command, flags, code, step and n
constexpr uint8_t kBlockFlag8Bit = 1U << 0;  // the 8-bit set's framing (else the 6-bit set's)
constexpr uint8_t kBlockFlagStep = 1U << 1;  // clock the step code after each word
constexpr uint8_t kBlockMaxWords = 255;
// A block whose next byte has not come this long after the one before is given up
// (voltages off, the line ignored until quiet, as after an overflow).
constexpr uint16_t kBlockByteGapMs = 50;

// The bytes of a board command that starts with `command`: the command and its
// data bytes (an unknown byte counts as one).
constexpr uint8_t command_length(uint8_t command) {
    return command == kChipCommand || command == kChipCommand8 ? 2
           : command == kDataWord || command == kPayload24     ? 3
                                                               : 1;
}

// The longest command on the wire: 105 or 109 and its two data bytes. A board that
// lost bytes of a command takes what comes next as that command's data, so this many
// voltages-off bytes in a row put at least one of them where a command is read.
constexpr uint8_t kLongestCommandBytes = 3;

}  // namespace board_command
}  // namespace corvanel

// Chip command codes 40h to 7Fh after board command 104 are no PIC's commands
// (the 6-bit command sets stop at 3Fh): the board acts on them itself.
namespace corvanel {
namespace board_extension {

// Low-voltage entry: Vdd on with MCLR held low (Vpp never applied), then the
// 32-bit key "MCHP" (4D434850h) clocked in LSb first and one 33rd clock.
constexpr uint8_t kLowVoltageEntry = 0x40;
// Load PC Address (16F183xx): chip command 1Dh; the data word that follows goes
// out as a 24-clock frame.
constexpr uint8_t kLoadPcAddress = 0x41;
// Low-voltage entry of the 8-bit command set: as 40h, but the key goes out MSb
// first and without the 33rd clock.
constexpr uint8_t kLowVoltageEntry8 = 0x42;

constexpr bool is_extension(int32_t code) {
    return code >= 0x40 && code <= 0x7F;
}

}  // namespace board_extension
}  // namespace corvanel

// ---- Board identity, banner and Vdd select (board side) ------------------------------
// Identify (107), the start-up banner and the Vdd select extensions. The firmware
// writes its record from these, the host reads it with them.
namespace corvanel {
namespace board_command {

// No data bytes; answered by the identity record (board_identity below), then 107.
// A board of the original protocol ignores it and does not answer.
constexpr uint8_t kIdentify = 107;

}  // namespace board_command
}  // namespace corvanel

namespace corvanel {
namespace board_extension {

// The chip command 6 bits wide: codes below 40h go to the chip as they are; 40h
// to kLastExtension are the board's own.
constexpr uint8_t kChipCommandMask = 0x3F;
constexpr uint8_t kLastExtension = 0x7F;
// The chip's own Load PC Address command that extension 41h sends.
constexpr uint8_t kLoadPcAddressChipCommand = 0x1D;
// Vdd select: honoured only while the voltages are off (answered 104 either way).
// After reset the board gives 3.3 V, which harms no listed part.
constexpr uint8_t kVdd3V3 = 0x43;
constexpr uint8_t kVdd5V = 0x44;
// Vpp levels: honoured only while the voltages are off; low after reset.
constexpr uint8_t kVppLow = 0x45;        // about 8.7 V (the board accepts 8.0-9.0 V)
constexpr uint8_t kVppHigh = 0x46;       // about 13.0 V (12.5-13.5 V)
constexpr uint8_t kLineRate = 0x47;      // a rate code follows as a third byte
constexpr uint8_t kVppCalibrate = 0x48;  // the next 105: the Vpp rail by a meter, in 10 mV
constexpr uint8_t kVppMiddle = 0x49;     // about 11.5 V (11.0-12.0 V)
constexpr uint8_t kBoardWait = 0x4A;     // a third byte: wait that many milliseconds
// A host keeps at most this much board-timed waiting unanswered, so that a stopped
// operation reaches its voltages-off soon.
constexpr uint16_t kBoardWaitInFlightMs = 300;

}  // namespace board_extension
}  // namespace corvanel

namespace corvanel {
namespace board_identity {

constexpr uint8_t kVersion = 1;
constexpr uint8_t kRecordSize = 11;  // the record; 107 follows it (12 bytes in all)
// Version 2 adds the Vpp level, the status, the last refusal, the target's Vdd and
// the line rates: 17 bytes, 18 with the 107.
constexpr uint8_t kVersion2 = 2;
constexpr uint8_t kRecordSize2 = 17;

// Offsets in the record; 16-bit fields are little-endian.
constexpr uint8_t kVersionAt = 0;
constexpr uint8_t kFeaturesAt = 1;
constexpr uint8_t kReceiveBufferAt = 3;  // bytes the host may have in flight
constexpr uint8_t kVddSelectedAt = 5;    // millivolts, 0: unknown
constexpr uint8_t kVddMeasuredAt = 7;    // millivolts, 0: cannot measure
constexpr uint8_t kVppMeasuredAt = 9;    // millivolts, voltages off; 0: cannot measure
constexpr uint8_t kVppLevelAt = 11;      // version 2: 0 no levels, 1 low, 2 middle, 3 high
constexpr uint8_t kStatusAt = 12;        // version 2: bit 0 a Vpp calibration is stored
constexpr uint8_t kRefusalAt = 13;       // version 2: why the last voltages-on was refused
constexpr uint8_t kTargetVddAt = 14;     // version 2: target Vdd at the last voltages-on, mV
constexpr uint8_t kLineRatesAt = 16;     // version 2: bit k: rate code k can be switched to

constexpr uint8_t kLevelNone = 0;
constexpr uint8_t kLevelLow = 1;
constexpr uint8_t kLevelMiddle = 2;
constexpr uint8_t kLevelHigh = 3;

constexpr uint8_t kStatusCalibrated = 1U << 0;

// Why a voltages-on was refused (not answered).
constexpr uint8_t kRefusedNone = 0;
constexpr uint8_t kRefusedVppHigh = 1;
constexpr uint8_t kRefusedVppLow = 2;
constexpr uint8_t kRefusedVddRail = 3;
constexpr uint8_t kRefusedTargetVdd = 4;

// Feature bits.
constexpr uint16_t kHasLowVoltageEntry = 1U << 0;   // extension 40h
constexpr uint16_t kHasLoadPcAddress = 1U << 1;     // extension 41h
constexpr uint16_t kHasLowVoltageEntry8 = 1U << 2;  // extension 42h
constexpr uint16_t kHasVddSelect = 1U << 3;         // extensions 43h and 44h
constexpr uint16_t kHasCommands8 = 1U << 4;         // commands 108-110
constexpr uint16_t kMeasuresVpp = 1U << 5;
constexpr uint16_t kMeasuresVdd = 1U << 6;
constexpr uint16_t kHasVppLevels = 1U << 7;       // extensions 45h, 46h, 49h
constexpr uint16_t kHasVppCalibration = 1U << 8;  // extension 48h
constexpr uint16_t kSensesTargetVdd = 1U << 9;    // target Vdd checked at voltages-on
constexpr uint16_t kHasBlocks = 1U << 10;         // commands 111 and 112
constexpr uint16_t kHasLineRate = 1U << 11;       // extension 47h, the rates at offset 16
constexpr uint16_t kHasBoardWait = 1U << 12;      // extension 4Ah

// Line rate codes after 104 47h; code 0 goes back to the starting rate.
constexpr uint8_t kRateStarting = 0;
constexpr uint8_t kRate115200 = 1;
constexpr uint8_t kRate250000 = 2;
constexpr uint8_t kRate500000 = 3;
constexpr uint8_t kRate1000000 = 4;
constexpr uint8_t kRate2000000 = 5;
constexpr uint8_t kRateCodeCount = 6;
// The rate of a code (0 for code 0 and for codes it does not know).
constexpr uint32_t rate_of_code(uint8_t code) {
    return code == kRate115200    ? 115200UL
           : code == kRate250000  ? 250000UL
           : code == kRate500000  ? 500000UL
           : code == kRate1000000 ? 1000000UL
           : code == kRate2000000 ? 2000000UL
                                  : 0UL;
}
// The check window after a switch: the board keeps the new rate only when it has
// answered two 100s inside it; the host waits longer before it speaks at the old rate.
constexpr uint16_t kRateCheckWindowMs = 1000;
constexpr uint16_t kRateHostFallbackMs = 1200;
constexpr uint16_t kRateSettleMs = 10;

constexpr uint16_t kVdd3V3Millivolts = 3300;
constexpr uint16_t kVdd5VMillivolts = 5000;

// Sent once when the firmware starts (after every reset, also the one an Arduino
// makes when its port is opened). None of its bytes lies in 100-110, so no host
// takes it for an answer.
constexpr char kBanner[] = "\r\nCORVANEL 1\r\n";
constexpr uint8_t kBannerSize = sizeof kBanner - 1;  // 14, no terminating 0

}  // namespace board_identity
}  // namespace corvanel
// ---- end of board identity, banner and Vdd select -------------------------------------
