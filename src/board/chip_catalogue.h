// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the emulated chips are, as data: one descriptor per programming family
// (which commands it knows, how many write latches, how long its cycles take,
// what a bulk erase reaches, where its factory calibration sits, which bits
// protect its memories) and one row per chip (sizes, device ID, configuration
// masks, calibration words, latch count where a member differs).

#include <cstdint>
#include <string>
#include <vector>

namespace corvanel {

enum class ChipFamily {
    F84A,      // 16F84A
    F62xA,     // 16F627A, 16F628A, 16F648A
    F87xA,     // 16F873A, 16F874A, 16F876A, 16F877A
    F87_88,    // 16F87, 16F88
    F81x,      // 16F818, 16F819
    F629_675,  // 12F629, 12F675, 16F630, 16F676
    F83_84,    // 16F83, 16F84
    F62x,      // 16F627, 16F628
    F87x,      // 16F870 .. 16F877
    F6xx,      // 12F635, 12F683, 16F631/636/639/677/684/685/687/688/689/690
    F785,      // 16F785
    F91x,      // 16F913, 16F914, 16F916, 16F917, 16F946
    F88x,      // 16F882, 16F883, 16F884, 16F886, 16F887
    F61x,      // 12F609, 12F615, 16F610, 16F616
    F716,      // 16F716
    F7x,       // 16F72, 16F73, 16F74, 16F76, 16F77
    F7x7,      // 16F737, 16F747, 16F767, 16F777
    F72x,      // 16F722, 16F723, 16F724, 16F726, 16F727
    // Enhanced mid-range (12F1xxx/16F1xxx): configuration space at 8000h, 6-bit
    // commands, one family per programming document.
    E182x,   // 12F1822, 16F1823-16F1829
    E1840,   // 12F1840, 16F1847
    E193x,   // 16F1933-16F1939, 16F1946/1947, 16LF1902-16LF1907
    E150x,   // 12F1501, 16F1503, 16F1507, 16F1508, 16F1509
    E151x,   // 16F1512-16F1519, 16F1526, 16F1527
    E145x,   // 16F1454, 16F1455, 16F1459
    E178x,   // 16F1782-16F1789
    E1552,   // 12LF1552
    E155x,   // 16LF1554, 16LF1559
    E156x,   // 16LF1566, 16LF1567
    E1571,   // 12F1571, 12F1572
    E157x,   // 16F1574, 16F1575, 16F1578, 16F1579
    E161x,   // 12F1612, 16F1613-16F1619: three configuration words
    E170x,   // 16F1703-16F1709
    E171x,   // 16F1713-16F1719
    E176x,   // 16F1764-16F1769
    E177x,   // 16F1773-16F1779
    E183xx,  // 16F18313-16F18346: four configuration words, Load PC Address (1D)
    // The 8-bit command set (24-bit payloads, MSb first), five configuration words
    // (seven on the 16F132xx), one family per programming document.
    B188xx,  // 16F18854-16F18877
    B153xx,  // 16F15313-16F15386
    B184xx,  // 16F18424-16F18456
    B152xx,  // 16F15213-16F15276
    B171xx,  // 16F17114-16F17176, 16F18114-16F18176
    B191xx,  // 16F19155-16F19197
    B180xx,  // 16F18013-16F18076
    B175xx,  // 16F17524-16F17576
    B131xx,  // 16F13113-16F13145
    B132xx,  // 16F13214-16F13276
};

// What a programming command does to the cells it writes.
enum class WriteCycle {
    None,          // the family does not know the command
    EraseProgram,  // the block is erased, then programmed: it ends up holding the latches
    ProgramOnly,   // programming only clears bits: cell AND latch
};

// How the 8-bit command set's 18h Bulk Erase chooses the memories it erases.
enum class EraseSelect {
    // By the PC: up to the last configuration word program memory and the
    // configuration words (the user IDs too from 8000h), 80FEh program memory only,
    // F000h the EEPROM.
    ByPc,
    // By a 24-bit payload that follows the command: its bits 1-4 (bit 0 is the stop
    // bit) name the EEPROM, program memory, the user IDs and the configuration
    // words; the PC plays no part.
    ByPayload,
};

// Which configuration locations a bulk erase of program memory (09) also clears.
enum class BulkEraseReach {
    // The user IDs and the configuration words only with the address counter in
    // configuration space.
    ConfigWithAddress,
    // The configuration words always; the user IDs with the address counter at
    // 2000h..201Fh.
    ConfigAlways,
};

// How a bulk erase treats the calibration words in configuration space.
enum class CalibrationErase {
    // A word is erased when the address counter has reached it (PC >= its address).
    ReachedByAddress,
    // Every calibration word is erased once the address counter is past 2008h.
    AllPast2008,
};

struct FamilyRules {
    ChipFamily family = ChipFamily::F84A;
    const char* label = "";
    std::uint64_t commands = 0;  // bit n set: the family knows command n
    std::int32_t latches = 1;
    WriteCycle begin_08 = WriteCycle::EraseProgram;
    WriteCycle begin_18 = WriteCycle::None;
    // Cycle times in microseconds: the shortest wait a working programmer relies on.
    std::uint32_t program_us = 0;       // 08 on program memory
    std::uint32_t data_us = 0;          // 08 on data memory
    std::uint32_t config_us = 0;        // 08 in configuration space
    std::uint32_t program_only_us = 0;  // 18
    std::uint32_t bulk_erase_us = 0;    // 09, 0B
    std::uint32_t chip_erase_us = 0;    // 1F
    std::uint32_t setup_erase_us = 0;   // 01, 07, 08
    std::uint32_t row_erase_us = 0;     // 11
    // 09 and 0B only arm the erase; the following 08 carries it out.
    bool bulk_erase_needs_begin = false;
    // 08 is Begin Erase only (16F87/88, 16F818/819): it erases the row of program
    // memory at the address counter (row_words) or, after a data load, the data
    // byte, in row_erase_us, and writes nothing; every write is 18.
    bool begin_08_erases_only = false;
    // Externally timed cycles: the cycle started by 08 or 18 only completes when the
    // family's end command (17, 0A or 0E) comes after its time; any other command,
    // data frame or power-off before that cuts it short and its work is lost.
    bool external_08 = false;
    bool external_18 = false;
    std::uint8_t end_command = 0;
    BulkEraseReach bulk_reach = BulkEraseReach::ConfigWithAddress;
    CalibrationErase calibration_erase = CalibrationErase::ReachedByAddress;
    // 09 also erases the data memory while the data memory is protected.
    bool bulk_erase_clears_protected_data = false;
    std::int32_t row_words = 0;  // words erased by 11
    bool row_erase_ignored_when_protected = false;
    // Oscillator calibration RETLW at the last program word and band-gap bits 13:12
    // of configuration word 1.
    bool osccal_and_bandgap = false;
    // Configuration word 1 bits that protect program memory and data memory: the
    // memory is protected while any of its bits is programmed (0).
    std::uint16_t cp_bits = 0;
    std::uint16_t cpd_bits = 0;
    // The last configuration-space location that exists; above it the address
    // counter reaches program memory. 0: configuration space does not alias.
    std::int32_t config_space_top = 0;
    bool needs_vpp_first = false;
    int revision_bits = 5;  // 0: the chip has no device ID
    // How the configuration bits outside the mask read back: 0 or 3FFFh.
    std::uint16_t unimplemented_config_bits = 0x3FFF;

    // --- Enhanced mid-range --------------------------------------------------------
    // Configuration space at 8000h (user IDs 8000h-8003h, device ID 8006h,
    // configuration words from 8007h), PC 0000h-7FFFh program memory; 06 wraps
    // 7FFFh to 0000h and FFFFh to 8000h; 16 Reset Address; the cycles of
    // program_us (rows, user IDs), config_us and data_us are internally timed by 08,
    // 18 is ended by 0A after program_only_us and never writes a configuration word.
    bool enhanced = false;
    // The configuration word (1-4) that holds cp_bits and cpd_bits, and the one whose
    // bit 13 allows low-voltage entry.
    int protect_word = 1;
    int lvp_word = 2;
    // 1D Load PC Address: the data EEPROM lies at F000h in the PC space, there are no
    // data memory commands, the calibration words sit at E000h.
    bool load_pc_address = false;

    // --- The 8-bit command set --------------------------------------------------------
    // Commands of 8 bits and 24-bit payloads, MSb first; no 6-bit command. The memories
    // and cycles are the enhanced ones with Load PC Address (EEPROM at F000h, the
    // calibration words at E000h).
    bool eight_bit = false;
    EraseSelect erase_select = EraseSelect::ByPc;
    // The programming document (and its table) the family's cycles and erases are
    // written from, or why there is none.
    const char* document = "";
};

// The rules of a family; a family without rules is a programming error and throws
// std::logic_error rather than borrowing another family's behaviour.
[[nodiscard]] const FamilyRules& family_rules(ChipFamily family);

// One chip of the catalogue: its sizes, ID and masks, and the family whose rules
// it follows. The emulated chip (pic14_chip.h) is made from it.
struct ChipInfo {
    std::string name;  // upper case, with the "PIC" prefix: "PIC16F877A"
    ChipFamily family = ChipFamily::F84A;
    std::int32_t flash_words = 0;
    std::int32_t eeprom_bytes = 0;
    std::uint16_t device_id = 0;  // the word at 2006h with its revision bits 0
    int revision_bits = 5;        // 4 or 5; 0: the chip has no device ID (2006h reads 0)
    std::int32_t latches = 1;     // program memory words written by one programming command
    std::uint16_t config1_mask = 0x3FFF;
    std::uint16_t config2_mask = 0;  // 0: the chip has no configuration word 2
    // How the configuration bits outside the mask read back: 0 or 3FFFh.
    std::uint16_t unimplemented_config_bits = 0;
    // The chip only enters programming mode when Vpp rises before Vdd.
    bool needs_vpp_first = false;
    // Configuration-space locations holding factory calibration (2008h..200Ah).
    std::vector<std::int32_t> calibration_words;
    // No chip in the socket: the data line is pulled up, so every read frame is 3FFFh.
    bool empty_socket = false;

    // Enhanced mid-range parts (their family's rules say `enhanced`).
    int config_words = 0;            // configuration words from 8007h (2 to 4)
    std::uint16_t config3_mask = 0;  // 0: no configuration word 3
    std::uint16_t config4_mask = 0;  // 0: no configuration word 4
    std::uint16_t config5_mask = 0;  // the 8-bit command set's parts: CONFIG5 (CP, CPD)
    std::uint16_t config6_mask = 0;  // the 16F132xx: CONFIG6 and CONFIG7 (8007h-800Dh)
    std::uint16_t config7_mask = 0;
    bool revision_word = false;  // full-word device ID at 8006h, revision at 8005h
    std::int32_t row_words = 0;  // words erased by 11 (0: the family's count)
    // The Vpp window of MCLR in volts (0, 0: not known, nothing is checked).
    double vpp_min_volts = 0;
    double vpp_max_volts = 0;
};

// The absolute maximum rating of Vdd in volts (0 for an empty socket): 6.5 V for
// the F parts; the LF parts (1.8-3.6 V) stand about 4.0 V. The name is the
// catalogue's own fact here: every LF part is "PIC1xLF...".
[[nodiscard]] double absolute_max_vdd_volts(const ChipInfo& info);

// Every chip of the catalogue, by family, then size.
[[nodiscard]] std::vector<ChipInfo> make_chip_table();

}  // namespace corvanel
