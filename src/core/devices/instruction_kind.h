// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The kinds of instruction of the algorithm language and what the interpreter
// asks of each: one row per kind, so that the step that runs it, the fast link
// and send-ahead all read the same facts.

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/image/memory_image.h"

namespace corvanel {

// The instruction kinds, in the order in which a text is tested against them.
enum class InstructionKind {
    Begin,
    End,
    CalcFlash,
    CalcFlashPage,
    CalcEeprom,
    SetFlashLoop,
    SetEepromLoop,
    Loop,
    IfPage,
    EndIfPage,
    WriteFlash,    // s cc -flash
    WriteEeprom,   // s cc -eeprom
    WriteConfig1,  // s cc -config1
    WriteConfig2,  // s cc -config2
    ReadFlash,     // flash=s cc
    ReadEeprom,    // eeprom=s cc
    ReadConfig1,   // config1=s cc
    ReadConfig2,   // config2=s cc
    ReadTemp,      // temp=s cc
    CheckBlankFlash,
    CheckBlankEeprom,
    CheckBlankConfig1,
    CheckBlankConfig2,
    CheckFlash,
    CheckEeprom,
    CheckConfig1,
    CheckConfig2,
    WriteLiteral,  // s cc - dddd
    Command,       // s cc
    WaitProg,      // wprog
    Wait,          // w and a number of milliseconds

    // beginvppvdd: voltages on, Vpp before Vdd, whatever the model says.
    BeginVppFirst,
    // deviceid=s cc: the word read goes to device_id_word.
    ReadDeviceId,
    // checkdeviceid: the ID word must name the model, or the user agrees to go on.
    CheckDeviceId,

    // Factory calibration (the model's "calflash:" and "calconfig:"):
    // setcalloop: a loop over the program addresses below the calibration word.
    SetCalLoop,
    // s cc -next: command cc, and the loop address moves on by one (a walk).
    StepCommand,
    // calflash=s cc: the word read is the chip's calibration word; it must have
    // the factory form or the operation stops before anything is erased.
    ReadCalFlash,
    // calconfig1=s cc: keeps the calibration bits of the configuration word read.
    ReadCalConfig,
    // calspace1=s cc, calspace2=s cc: keep a calibration word of configuration space.
    ReadCalSpace1,
    ReadCalSpace2,
    // s cc -calflash, -calconfig1, -calspace1, -calspace2: command cc, then the
    // kept word (3FFFh with the kept bits for -calconfig1); 3FFFh when nothing was
    // kept in this operation, which programs nothing.
    WriteCalFlash,
    WriteCalConfig,
    WriteCalSpace1,
    WriteCalSpace2,

    // User IDs (2000h..2003h), N is 1 to 4 for the word 2000h + N - 1:
    // ifuserids ... endifuserids: the block runs only when the image holds a user
    // ID other than 3FFFh, so an image without IDs is programmed and verified as
    // before.
    IfUserIds,
    EndIfUserIds,
    // s cc -useridN: command cc, then user ID word N of the image.
    WriteUserId,
    // useridN=s cc: command cc, then the word read becomes user ID word N.
    ReadUserId,
    // checkuseridN: the temporary word against user ID word N of the image.
    CheckUserId,

    // protection=s cc: command cc, then the word that holds the chip's code
    // protection (configuration word 1, 4 or 5, as its configuration fields say) is read
    // to learn whether code protection hides program memory (and data memory);
    // the checks of a hidden memory are then left out of the comparison.
    ReadProtection,

    // Configuration words 3 to 7 (the 16F161x has three, the 16F183xx four, the 16F132xx seven):
    // the instruction's value is the word number. s cc -configN, configN=s cc,
    // checkblankconfigN, checkconfigN, as for words 1 and 2.
    WriteConfigMore,
    ReadConfigMore,
    CheckBlankConfigMore,
    CheckConfigMore,
    // revision=s cc: command cc, then the word read is the chip's revision word
    // (8005h on the full-word ID parts), read after the ID.
    ReadRevision,
    // s cc -row: command cc, then the address of the row just loaded (the `pagesize`
    // block before the loop's address); s cc -address: command cc, then the loop's
    // address. The 8-bit parts load a row with Load NVM and increment, so the PC has
    // left the row when the last word is in: Load PC sends it back before the write,
    // and on to the next row after it.
    WriteRowStart,
    WriteAddress,
    // s cc -regions: the set's region erase (payload_erase_code), then a payload
    // naming every region of the chip the operation does not keep: what Program
    // All leaves on the chip stays there without being read and written back.
    EraseRegions,

    Unrecognized,
};

// What an instruction does.
enum class KindRole : std::uint8_t {
    Voltages,  // switches the programming voltages
    Flow,      // loops, blocks and "calc...": moves through the script only
    Pause,     // waits a number of milliseconds
    Command,   // one chip command
    Write,     // a chip command, then a data word
    Read,      // a chip command, then a word read back
    Check,     // compares the temporary word with what a location should hold
    Confirm,   // asks the user (the device ID check)
    None,      // an unrecognised text
};

// Where an instruction's word comes from or goes to.
enum class KindMemory : std::uint8_t {
    None,
    Flash,
    Eeprom,
    Config1,
    Config2,
    ConfigMore,
    UserId,
    Calibration,
    Temp,
    DeviceId,
    Protection,
};

// A read's word is not judged by its size.
inline constexpr std::int32_t kAnyWord = -1;

struct KindTraits {
    InstructionKind kind;
    KindRole role;
    KindMemory memory;
    // Once done, the loop address moves on by one (a walk through FLASH or EEPROM).
    bool moves_address;
    // May run ahead of the board's answers: its commands depend on no earlier answer.
    bool runs_ahead;
    // Sends a command of its own; the others need no board action (the fast link
    // carries them out inside the step).
    bool needs_board;
    // Answer bytes its commands ask of the board, run lock-step without the fast
    // link (an instruction with no command of its own sends one no-operation).
    std::int32_t answer_bytes;
    // The largest word a read may bring, or a check may find in the temporary
    // word; a larger one is a byte out of step. kAnyWord: not judged.
    std::int32_t largest_word;
};

namespace kind_traits_detail {

using K = InstructionKind;
using R = KindRole;
using M = KindMemory;
constexpr bool kMoves = true;
constexpr bool kStays = false;
constexpr bool kAhead = true;
constexpr bool kLockStep = false;
constexpr bool kBoard = true;
constexpr bool kIdle = false;
constexpr std::int32_t kWord = kBlankFlashWord;  // 14 bits
constexpr std::int32_t kByte = kBlankEepromByte;
constexpr std::int32_t kAny = kAnyWord;

// Answer bytes: a command 1, a data word 1, a read's word request 3 more.
constexpr std::int32_t kOne = 1;
constexpr std::int32_t kWrite = 2;
constexpr std::int32_t kRead = 4;

// clang-format off
inline constexpr std::array<KindTraits, static_cast<std::size_t>(K::Unrecognized) + 1> kTable{{
    //  kind                  role         memory          address  ahead      board   answers largest
    {K::Begin,              R::Voltages, M::None,        kStays, kLockStep, kBoard, kOne,   kAny},
    {K::End,                R::Voltages, M::None,        kStays, kLockStep, kBoard, kOne,   kAny},
    {K::CalcFlash,          R::Flow,     M::None,        kStays, kAhead,    kIdle,  kOne,   kAny},
    {K::CalcFlashPage,      R::Flow,     M::None,        kStays, kAhead,    kIdle,  kOne,   kAny},
    {K::CalcEeprom,         R::Flow,     M::None,        kStays, kAhead,    kIdle,  kOne,   kAny},
    {K::SetFlashLoop,       R::Flow,     M::None,        kStays, kAhead,    kIdle,  kOne,   kAny},
    {K::SetEepromLoop,      R::Flow,     M::None,        kStays, kAhead,    kIdle,  kOne,   kAny},
    {K::Loop,               R::Flow,     M::None,        kStays, kAhead,    kIdle,  kOne,   kAny},
    {K::IfPage,             R::Flow,     M::None,        kStays, kAhead,    kIdle,  kOne,   kAny},
    {K::EndIfPage,          R::Flow,     M::None,        kStays, kAhead,    kIdle,  kOne,   kAny},
    {K::WriteFlash,         R::Write,    M::Flash,       kMoves, kAhead,    kBoard, kWrite, kAny},
    {K::WriteEeprom,        R::Write,    M::Eeprom,      kMoves, kAhead,    kBoard, kWrite, kAny},
    {K::WriteConfig1,       R::Write,    M::Config1,     kStays, kAhead,    kBoard, kWrite, kAny},
    {K::WriteConfig2,       R::Write,    M::Config2,     kStays, kAhead,    kBoard, kWrite, kAny},
    {K::ReadFlash,          R::Read,     M::Flash,       kMoves, kAhead,    kBoard, kRead,  kWord},
    {K::ReadEeprom,         R::Read,     M::Eeprom,      kMoves, kAhead,    kBoard, kRead,  kByte},
    {K::ReadConfig1,        R::Read,     M::Config1,     kStays, kAhead,    kBoard, kRead,  kWord},
    {K::ReadConfig2,        R::Read,     M::Config2,     kStays, kAhead,    kBoard, kRead,  kWord},
    {K::ReadTemp,           R::Read,     M::Temp,        kStays, kAhead,    kBoard, kRead,  kAny},
    // The EEPROM checks compare the low byte only: their high byte is not judged.
    {K::CheckBlankFlash,    R::Check,    M::Flash,       kMoves, kAhead,    kIdle,  kOne,   kWord},
    {K::CheckBlankEeprom,   R::Check,    M::Eeprom,      kMoves, kAhead,    kIdle,  kOne,   kAny},
    {K::CheckBlankConfig1,  R::Check,    M::Config1,     kStays, kAhead,    kIdle,  kOne,   kWord},
    {K::CheckBlankConfig2,  R::Check,    M::Config2,     kStays, kAhead,    kIdle,  kOne,   kWord},
    {K::CheckFlash,         R::Check,    M::Flash,       kMoves, kAhead,    kIdle,  kOne,   kWord},
    {K::CheckEeprom,        R::Check,    M::Eeprom,      kMoves, kAhead,    kIdle,  kOne,   kAny},
    {K::CheckConfig1,       R::Check,    M::Config1,     kStays, kAhead,    kIdle,  kOne,   kWord},
    {K::CheckConfig2,       R::Check,    M::Config2,     kStays, kAhead,    kIdle,  kOne,   kWord},
    {K::WriteLiteral,       R::Write,    M::None,        kStays, kAhead,    kBoard, kWrite, kAny},
    {K::Command,            R::Command,  M::None,        kStays, kAhead,    kBoard, kOne,   kAny},
    {K::WaitProg,           R::Pause,    M::None,        kStays, kLockStep, kIdle,  kOne,   kAny},
    {K::Wait,               R::Pause,    M::None,        kStays, kLockStep, kIdle,  kOne,   kAny},
    {K::BeginVppFirst,      R::Voltages, M::None,        kStays, kLockStep, kBoard, kOne,   kAny},
    {K::ReadDeviceId,       R::Read,     M::DeviceId,    kStays, kAhead,    kBoard, kRead,  kAny},
    {K::CheckDeviceId,      R::Confirm,  M::DeviceId,    kStays, kLockStep, kIdle,  kOne,   kAny},
    {K::SetCalLoop,         R::Flow,     M::None,        kStays, kLockStep, kIdle,  kOne,   kAny},
    {K::StepCommand,        R::Command,  M::None,        kMoves, kLockStep, kBoard, kOne,   kAny},
    {K::ReadCalFlash,       R::Read,     M::Calibration, kStays, kLockStep, kBoard, kRead,  kWord},
    {K::ReadCalConfig,      R::Read,     M::Calibration, kStays, kLockStep, kBoard, kRead,  kWord},
    {K::ReadCalSpace1,      R::Read,     M::Calibration, kStays, kLockStep, kBoard, kRead,  kWord},
    {K::ReadCalSpace2,      R::Read,     M::Calibration, kStays, kLockStep, kBoard, kRead,  kWord},
    {K::WriteCalFlash,      R::Write,    M::Calibration, kStays, kLockStep, kBoard, kWrite, kAny},
    {K::WriteCalConfig,     R::Write,    M::Calibration, kStays, kLockStep, kBoard, kWrite, kAny},
    {K::WriteCalSpace1,     R::Write,    M::Calibration, kStays, kLockStep, kBoard, kWrite, kAny},
    {K::WriteCalSpace2,     R::Write,    M::Calibration, kStays, kLockStep, kBoard, kWrite, kAny},
    {K::IfUserIds,          R::Flow,     M::None,        kStays, kAhead,    kIdle,  kOne,   kAny},
    {K::EndIfUserIds,       R::Flow,     M::None,        kStays, kAhead,    kIdle,  kOne,   kAny},
    {K::WriteUserId,        R::Write,    M::UserId,      kStays, kAhead,    kBoard, kWrite, kAny},
    {K::ReadUserId,         R::Read,     M::UserId,      kStays, kAhead,    kBoard, kRead,  kWord},
    {K::CheckUserId,        R::Check,    M::UserId,      kStays, kAhead,    kIdle,  kOne,   kWord},
    {K::ReadProtection,     R::Read,     M::Protection,  kStays, kLockStep, kBoard, kRead,  kWord},
    {K::WriteConfigMore,    R::Write,    M::ConfigMore,  kStays, kAhead,    kBoard, kWrite, kAny},
    {K::ReadConfigMore,     R::Read,     M::ConfigMore,  kStays, kAhead,    kBoard, kRead,  kWord},
    {K::CheckBlankConfigMore, R::Check,  M::ConfigMore,  kStays, kAhead,    kIdle,  kOne,   kWord},
    {K::CheckConfigMore,    R::Check,    M::ConfigMore,  kStays, kAhead,    kIdle,  kOne,   kWord},
    {K::ReadRevision,       R::Read,     M::DeviceId,    kStays, kAhead,    kBoard, kRead,  kAny},
    {K::WriteRowStart,      R::Write,    M::None,        kStays, kAhead,    kBoard, kWrite, kAny},
    {K::WriteAddress,       R::Write,    M::None,        kStays, kAhead,    kBoard, kWrite, kAny},
    // Lock-step: it may refuse the operation on what the protection read before it found.
    {K::EraseRegions,       R::Write,    M::None,        kStays, kLockStep, kBoard, kWrite, kAny},
    {K::Unrecognized,       R::None,     M::None,        kStays, kLockStep, kIdle,  0,      kAny},
}};
// clang-format on

constexpr bool rows_in_kind_order() {
    for (std::size_t i = 0; i < kTable.size(); ++i) {
        if (static_cast<std::size_t>(kTable[i].kind) != i) {
            return false;
        }
    }
    return true;
}
static_assert(rows_in_kind_order(), "one row per instruction kind, in the order of the kinds");

}  // namespace kind_traits_detail

[[nodiscard]] constexpr const KindTraits& traits_of(InstructionKind kind) {
    return kind_traits_detail::kTable[static_cast<std::size_t>(kind)];
}

// A read that runs ahead: its word lands where it belongs when its answer comes.
[[nodiscard]] constexpr bool reads_ahead(InstructionKind kind) {
    const KindTraits& traits = traits_of(kind);
    return traits.role == KindRole::Read && traits.runs_ahead;
}

// A check that runs ahead: it runs when the read before it is complete.
[[nodiscard]] constexpr bool checks_ahead(InstructionKind kind) {
    const KindTraits& traits = traits_of(kind);
    return traits.role == KindRole::Check && traits.runs_ahead;
}

// The word fits what the kind may bring (see largest_word).
[[nodiscard]] constexpr bool word_fits(InstructionKind kind, std::int32_t value) {
    const std::int32_t largest = traits_of(kind).largest_word;
    return largest == kAnyWord || (value >= 0 && value <= largest);
}

}  // namespace corvanel
