// SPDX-License-Identifier: GPL-3.0-or-later
// A command set is one row of the table and one decoder on the board's side. This
// file adds a set of its own (its row and its decoder below, nothing anywhere
// else) and programs and reads a chip through it, so every place the host frames,
// checks or refuses by command set is proven to ask the row.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "core/devices/algorithm_check.h"
#include "core/devices/command_set.h"
#include "core/engine/board_identify.h"
#include "core/engine/chip_identify.h"
#include "core/engine/chip_operations.h"
#include "core/link/board_protocol.h"
#include "support/engine_fakes.h"

namespace corvanel {
namespace {

// The made-up set: its own board commands (120-122), codes no other set has,
// a feature bit no real board declares and a key of its own.
constexpr std::uint8_t kCommand = 120;
constexpr std::uint8_t kPayloadIn = 121;
constexpr std::uint8_t kPayloadOut = 122;
constexpr std::uint16_t kCommandsFeature = 1U << 15;
constexpr std::uint8_t kLoad = 0x91;
constexpr std::uint8_t kRead = 0xA2;
constexpr std::uint8_t kIncrement = 0xB3;
constexpr std::uint8_t kErase = 0xC4;
constexpr std::uint8_t kWrite = 0xD5;

constexpr std::array<CodeRange, 5> kCodes{{
    {kLoad, kLoad, Frame::Payload, true},
    {kRead, kRead, Frame::Read, true},
    {kIncrement, kIncrement, Frame::None, true},
    {kErase, kErase, Frame::None, false},
    {kWrite, kWrite, Frame::None, false},
}};

const CommandSet kFiveBit{
    .key = "5bit",
    .name = "5-bit",
    .command = kCommand,
    .payload_in = kPayloadIn,
    .payload_out = kPayloadOut,
    .read_answer_bytes = 3,
    .command_mask = 0xFF,
    .program_block = {},
    .data_block = {},
    .low_voltage_key = 0x4F,
    .commands_feature = kCommandsFeature,
    .low_voltage_feature = 1U << 14,
    .codes = kCodes,
    .payload_erase_code = -1,
    .identify_script = "beginvppvdd,revision=sa2,sb3,deviceid=sa2,end",
    .protection_read = [](const AddressMap&, int) { return std::string("begin,end"); },
    .fallback_protection = nullptr,
};

// The set's decoder: a board whose chip keeps 16 words and answers the made-up
// commands, identify (declaring the set) and the voltages.
class FiveBitBoard : public ByteChannel {
public:
    void write_byte(std::uint8_t byte) override {
        written.push_back(byte);
        if (need_ > 0) {
            data_.push_back(byte);
            if (--need_ == 0) {
                finish();
            }
            return;
        }
        command_ = byte;
        data_.clear();
        need_ = byte == 104 || byte == kCommand ? 1 : byte == kPayloadIn ? 2 : 0;
        if (need_ == 0) {
            finish();
        }
    }
    std::vector<std::uint8_t> read_all() override {
        std::vector<std::uint8_t> bytes(incoming.begin(), incoming.end());
        incoming.clear();
        return bytes;
    }
    void set_receive_threshold(int value) override { threshold_ = value; }
    [[nodiscard]] int receive_threshold() const override { return threshold_; }
    [[nodiscard]] bool is_open() const override { return true; }

    std::vector<std::uint8_t> written;
    std::deque<std::uint8_t> incoming;
    std::array<std::uint16_t, 16> memory{};
    std::vector<std::uint8_t> unknown;  // board commands it does not have
    bool identifies = true;
    int memory_changes = 0;

private:
    void finish() {
        switch (command_) {
            case 100:
                break;
            case 101:
            case 102:
                on_ = true;
                pc_ = 0;
                break;
            case 103:
                on_ = false;
                break;
            case 104:
                break;  // no extensions: answered, nothing done
            case 107:
                if (identifies) {
                    const std::uint8_t record[] = {
                        1, kCommandsFeature & 0xFF, kCommandsFeature >> 8, 64, 0, 0, 0, 0, 0, 0, 0};
                    incoming.insert(incoming.end(), std::begin(record), std::end(record));
                    incoming.push_back(107);
                }
                return;
            case kCommand:
                chip_command(data_[0]);
                break;
            case kPayloadIn:
                if (on_ && pending_ == kLoad) {
                    latch_ = static_cast<std::uint16_t>((data_[0] | (data_[1] << 8)) & 0x3FFF);
                }
                break;
            case kPayloadOut: {
                const std::uint16_t word = on_ && pending_ == kRead ? memory[pc_ % 16] : 0;
                incoming.push_back(static_cast<std::uint8_t>(word & 0xFF));
                incoming.push_back(static_cast<std::uint8_t>(word >> 8));
                break;
            }
            default:
                unknown.push_back(command_);
                return;
        }
        incoming.push_back(command_);
    }
    void chip_command(std::uint8_t code) {
        pending_ = code;
        if (!on_) {
            return;
        }
        if (code == kIncrement) {
            ++pc_;
        } else if (code == kErase) {
            memory.fill(0x3FFF);
            ++memory_changes;
        } else if (code == kWrite) {
            memory[pc_ % 16] = latch_;
            ++memory_changes;
        }
    }

    int threshold_ = 0;
    int need_ = 0;
    std::uint8_t command_ = 0;
    std::vector<std::uint8_t> data_;
    bool on_ = false;
    std::uint8_t pending_ = 0;
    std::uint16_t latch_ = 0x3FFF;
    std::size_t pc_ = 0;
};

std::string device_file(const std::string& program) {
    return "erasealgdef 1: begin,sc4,w5,end\r\n"
           "programalgdef 1: " +
           program +
           "\r\n"
           "readalgdef 1: begin,setflashloop,flash=sa2,sb3,loop,end\r\n"
           "blankcheckalgdef 1: begin,setflashloop,temp=sa2,checkblankflash,sb3,loop,end\r\n"
           "verifyalgdef 1: begin,setflashloop,temp=sa2,checkflash,sb3,loop,end\r\n"
           "model: FIVE16\r\nflash: 16\r\neeprom: 0\r\nconfigerased: 3FFF 3FFF\r\n"
           "config2used: false\r\nvoltageseq: vddvpp\r\nprogtime: 2\r\npagesize: 1\r\n"
           "commandset: 5Bit\r\n"
           "erasealg: 1\r\nprogramalg: 1\r\nreadalg: 1\r\nblankcheckalg: 1\r\nverifyalg: 1\r\n";
}

struct SetAdded {
    SetAdded() { EXPECT_TRUE(add_command_set(kFiveBit)); }
    ~SetAdded() { remove_command_set(kFiveBit); }
};

TEST(CommandSetRow, AThirdSetIsOneRowAndOneDecoder) {
    const SetAdded added;
    // The device file takes the set by its key and judges codes by its row.
    ProgramState state;
    const std::string program = "begin,sc4,w5,end,begin,setflashloop,s91-flash,sd5,w2,sb3,loop,end";
    ASSERT_EQ(parse_device_database(device_file(program), "five.txt", state.database).status,
              DatabaseStatus::Loaded);
    DeviceDatabase wrong;
    const DatabaseLoadResult refused =
        parse_device_database(device_file("begin,s06,end"), "five.txt", wrong);
    EXPECT_EQ(refused.status, DatabaseStatus::BadLine);
    EXPECT_NE(refused.message.find("command 06h is not in the 5-bit command set"),
              std::string::npos)
        << refused.message;
    EXPECT_EQ(command_set_problem("begin,s91,end", kFiveBit),
              "\"s91\": command 91h takes a 24-bit payload in the 5-bit command set "
              "(instruction 2)");

    test::RecordingHost host;
    FiveBitBoard board;
    state.host = &host;
    state.link.channel = &board;
    state.link.port_ready = true;
    ASSERT_TRUE(apply_model(state.database, 1, state.model, state.image));
    EXPECT_EQ(state.model.command_set, &kFiveBit);
    ASSERT_EQ(identify_board(state), BoardAnswer::Identified);

    state.image.clear_image();
    for (int a = 0; a < 16; ++a) {
        state.image.set_flash_word(a, 0x1000 + a * 0x111);
    }
    ASSERT_EQ(start_operation(state, OperationKind::Program), StartResult::Started);
    test::pump(state, board);
    EXPECT_FALSE(state.operation_failed) << host.status();
    for (int a = 0; a < 16; ++a) {
        EXPECT_EQ(board.memory[static_cast<std::size_t>(a)], 0x1000 + a * 0x111) << a;
    }
    EXPECT_TRUE(board.unknown.empty());

    state.image.clear_image();
    ASSERT_EQ(start_operation(state, OperationKind::Read), StartResult::Started);
    test::pump(state, board);
    EXPECT_FALSE(state.operation_failed) << host.status();
    for (int a = 0; a < 16; ++a) {
        EXPECT_EQ(state.image.flash_word(a), 0x1000 + a * 0x111) << a;
    }

    // Identify Chip tries the set after the 6-bit read found no chip, because
    // this board declares it: the chip's words 0 and 1 come back.
    ASSERT_EQ(start_identify(state), StartResult::Started);
    test::pump(state, board);
    EXPECT_EQ(state.runner.revision_word, 0x1000);
    EXPECT_EQ(state.runner.device_id_word, 0x1111);
    EXPECT_TRUE(board.unknown.empty());

    // A board that does not declare the set is refused before anything is sent,
    // in the one wording of the match.
    FiveBitBoard plain;
    plain.identifies = false;
    state.link.channel = &plain;
    forget_board(state);
    ASSERT_EQ(identify_board(state), BoardAnswer::Plain);
    plain.written.clear();
    EXPECT_EQ(start_operation(state, OperationKind::Program), StartResult::Refused);
    EXPECT_TRUE(plain.written.empty());
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back().text,
              "This board cannot program FIVE16: it has no 5-bit command support.");
    EXPECT_EQ(host.status(), "Operation refused: no 5-bit commands.");
}

// Which codes may change memory is the row's: the calibration kept from the chip
// is put on disk before the first of them, never before a load, read or move. In
// the 8-bit set Increment Address (F8h) and Load PC Address (80h) leave memory as
// it was, and Begin Externally Timed (C0h) does not, whatever their low six bits.
TEST(CommandSetRow, EachSetSaysWhichCodesChangeMemory) {
    struct Case {
        const CommandSet& set;
        std::int32_t code;
        bool keeps;
    };
    const Case cases[] = {
        {six_bit_commands(), 0x00, true},    {six_bit_commands(), 0x02, true},
        {six_bit_commands(), 0x06, true},    {six_bit_commands(), 0x16, true},
        {six_bit_commands(), 0x40, true},    {six_bit_commands(), 0x08, false},
        {six_bit_commands(), 0x09, false},   {six_bit_commands(), 0x1F, false},
        {six_bit_commands(), 0x86, false},   {eight_bit_commands(), 0x80, true},
        {eight_bit_commands(), 0xF8, true},  {eight_bit_commands(), 0xFE, true},
        {eight_bit_commands(), 0x02, true},  {eight_bit_commands(), 0xC0, false},
        {eight_bit_commands(), 0x18, false}, {eight_bit_commands(), 0xE0, false},
        {eight_bit_commands(), 0xF0, false}, {eight_bit_commands(), 0x06, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(keeps_memory(c.set, c.code), c.keeps) << c.set.name << " " << c.code;
    }
}

}  // namespace
}  // namespace corvanel
