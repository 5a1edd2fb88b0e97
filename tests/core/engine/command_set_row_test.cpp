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

#include "core/devices/command_set.h"
#include "core/engine/board_identify.h"
#include "core/engine/board_match.h"
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
constexpr std::size_t kWords = 64;  // the smallest program memory a model has

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
    .program_block = {0, kLoad, kRead, kIncrement},
    .data_block = {},
    .low_voltage_key = 0x4F,
    .commands_feature = kCommandsFeature,
    .low_voltage_feature = 1U << 14,
    .codes = kCodes,
    .payload_erase_code = -1,
    .erase_regions = {},
    .identify_script = "beginvppvdd,revision=sa2,sb3,deviceid=sa2,end",
    .protection_read = [](const AddressMap&, int) { return std::string("begin,end"); },
    .fallback_protection = nullptr,
};

// The set's decoder: a board whose chip keeps 64 words and answers the made-up
// commands, identify (declaring the set and no other) and the original seven
// commands, where a 6-bit read finds no chip (0000h). Board commands it does not
// have (108-110 among them) it leaves unanswered and notes.
class FiveBitBoard : public ByteChannel {
public:
    explicit FiveBitBoard(const CommandSet& set = kFiveBit) : set_(set) {}

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
        need_ = byte == 104 || byte == set_.command                           ? 1
                : byte == set_.payload_in || byte == board_command::kDataWord ? 2
                                                                              : 0;
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
    std::array<std::uint16_t, kWords> memory{};
    std::vector<std::uint8_t> unknown;  // board commands it does not have
    bool identifies = true;

private:
    void finish() {
        if (command_ == board_command::kIdentify && !identifies) {
            return;  // a board of the original protocol
        }
        if (command_ == set_.command) {
            chip_command(data_[0]);
        } else if (command_ == set_.payload_in) {
            if (on_ && pending_ == set_.program_block.load) {
                latch_ = static_cast<std::uint16_t>((data_[0] | (data_[1] << 8)) & 0x3FFF);
            }
        } else if (command_ == set_.payload_out) {
            const std::uint16_t word =
                on_ && pending_ == set_.program_block.read ? memory[pc_ % kWords] : 0;
            // The word low byte first, in as many bytes as the row says come
            // before the board's own.
            for (int at = 0; at + 1 < set_.read_answer_bytes; ++at) {
                incoming.push_back(static_cast<std::uint8_t>(at < 2 ? word >> (8 * at) : 0));
            }
        } else if (!original(command_)) {
            unknown.push_back(command_);
            return;
        }
        incoming.push_back(command_);
    }
    // The original seven commands and identify; false for any other byte.
    bool original(std::uint8_t command) {
        switch (command) {
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
            case board_command::kDataWord:
                break;  // the 6-bit set's command and data: no chip of it is there
            case board_command::kReadWord:
                incoming.push_back(0);
                incoming.push_back(0);
                break;
            case board_command::kIdentify: {
                const std::uint8_t record[] = {
                    1, kCommandsFeature & 0xFF, kCommandsFeature >> 8, 64, 0, 0, 0, 0, 0, 0, 0};
                incoming.insert(incoming.end(), std::begin(record), std::end(record));
                break;
            }
            default:
                return false;
        }
        return true;
    }
    void chip_command(std::uint8_t code) {
        pending_ = code;
        if (!on_) {
            return;
        }
        if (code == set_.program_block.step) {
            ++pc_;
        } else if (code == kErase) {
            memory.fill(0x3FFF);
        } else if (code == kWrite) {
            memory[pc_ % kWords] = latch_;
        }
    }

    const CommandSet& set_;
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
           "model: FIVE64\r\nflash: 64\r\neeprom: 0\r\nconfigerased: 3FFF 3FFF\r\n"
           "config2used: false\r\nvoltageseq: vddvpp\r\nprogtime: 2\r\npagesize: 1\r\n"
           "commandset: 5Bit\r\n"
           "erasealg: 1\r\nprogramalg: 1\r\nreadalg: 1\r\n";
}

// A 14-bit word of its own for every address.
std::int32_t word_at(int address) {
    return (0x1234 + address * 0xA5) & 0x3FFF;
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

    test::RecordingHost host;
    FiveBitBoard board;
    state.host = &host;
    state.link.channel = &board;
    state.link.port_ready = true;
    ASSERT_TRUE(apply_model(state.database, 1, state.model, state.image));
    EXPECT_EQ(state.model.command_set, &kFiveBit);
    ASSERT_EQ(identify_board(state), BoardAnswer::Identified);

    state.image.clear_image();
    for (int a = 0; a < 64; ++a) {
        state.image.set_flash_word(a, word_at(a));
    }
    ASSERT_EQ(start_operation(state, OperationKind::Program), StartResult::Started);
    test::pump(state, board);
    EXPECT_FALSE(state.operation_failed) << host.status();
    for (int a = 0; a < 64; ++a) {
        EXPECT_EQ(board.memory[static_cast<std::size_t>(a)], word_at(a)) << a;
    }
    EXPECT_TRUE(board.unknown.empty());

    state.image.clear_image();
    ASSERT_EQ(start_operation(state, OperationKind::Read), StartResult::Started);
    test::pump(state, board);
    EXPECT_FALSE(state.operation_failed) << host.status();
    for (int a = 0; a < 64; ++a) {
        EXPECT_EQ(state.image.flash_word(a), word_at(a)) << a;
    }

    // Identify Chip tries the set after the 6-bit read found no chip, because
    // this board declares it: the chip's words 0 and 1 come back.
    ASSERT_EQ(start_identify(state), StartResult::Started);
    test::pump(state, board);
    EXPECT_EQ(state.runner.revision_word, word_at(0));
    EXPECT_EQ(state.runner.device_id_word, word_at(1));
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
              "This board cannot program FIVE64: it has no 5-bit command support.");
    EXPECT_EQ(host.status(), "Operation refused: no 5-bit commands.");
}

// How many bytes answer a read is the row's: a set whose board answers the
// word in three bytes and then its own reads every word whole, in step.
TEST(CommandSetRow, AReadTakesAsManyAnswerBytesAsTheRowSays) {
    for (const std::uint8_t answer_bytes : {3, 4, 5}) {
        CommandSet wide = kFiveBit;
        wide.read_answer_bytes = answer_bytes;
        test::EngineFixture bench;
        FiveBitBoard board(wide);
        for (std::size_t a = 0; a < kWords; ++a) {
            board.memory[a] = static_cast<std::uint16_t>(word_at(static_cast<int>(a)));
        }
        bench.state.link.channel = &board;
        bench.state.model.command_set = &wide;
        bench.state.model.read_list =
            split_instructions("begin,setflashloop,flash=sa2,sb3,loop,end");
        ASSERT_EQ(start_operation(bench.state, OperationKind::Read), StartResult::Started);
        test::pump(bench.state, board);
        EXPECT_FALSE(bench.state.operation_failed) << bench.host.status();
        for (int a = 0; a < 64; ++a) {
            ASSERT_EQ(bench.state.image.flash_word(a), word_at(a))
                << int(answer_bytes) << " bytes, address " << a;
        }
    }
}

// Which codes may change memory is the row's: a calibration word read from the
// chip is at risk (kept on disk, to be written back) from the first code that may
// change memory on, never from a load, read or address move. In the 8-bit set
// Increment Address (F8h) and Load PC Address (80h) change nothing, and Begin
// Externally Timed (C0h) writes, whatever their low six bits say in the 6-bit set.
TEST(CommandSetRow, ACalibrationIsAtRiskFromTheFirstCodeThatMayChangeMemory) {
    struct Case {
        const CommandSet& set;
        const char* command;
        bool at_risk;
    };
    const Case cases[] = {
        {eight_bit_commands(), "sf8", false}, {eight_bit_commands(), "s80-0000", false},
        {eight_bit_commands(), "sc0", true},  {eight_bit_commands(), "s18", true},
        {six_bit_commands(), "s16", false},   {six_bit_commands(), "s08", true},
    };
    for (const Case& c : cases) {
        test::EngineFixture bench;
        FiveBitBoard board(c.set);
        bench.state.link.channel = &board;
        bench.state.model.command_set = &c.set;
        bench.state.model.program_list = split_instructions(
            std::string("begin,calflash=s") + (&c.set == &six_bit_commands() ? "04" : "fc") +
            ",calflash=s" + (&c.set == &six_bit_commands() ? "04" : "fc") + "," + c.command +
            ",end");
        ASSERT_EQ(start_operation(bench.state, OperationKind::Program), StartResult::Started);
        test::pump(bench.state, board);
        EXPECT_TRUE(board.unknown.empty()) << c.command;
        EXPECT_EQ(bench.state.runner.calibration_at_risk(), c.at_risk)
            << c.set.name << " " << c.command;
    }
}

// What the model needs minus what the board declares, entering at low voltage: a
// board of the original protocol has the original seven commands and cannot say
// which extensions it has; one that identified itself is held to its feature
// bits, the 6-bit key (40h, bit 0) as much as the 8-bit one (42h, bit 2).
TEST(CommandSetRow, TheBoardMatchRefusesWhatTheBoardDoesNotDeclare) {
    namespace id = board_identity;
    struct Case {
        const CommandSet& set;
        BoardAnswer answer;
        std::uint16_t features;
        const char* refusal;  // "" for none
    };
    const std::uint16_t all =
        id::kHasLowVoltageEntry | id::kHasLowVoltageEntry8 | id::kHasCommands8;
    const Case cases[] = {
        {eight_bit_commands(), BoardAnswer::NotAsked, 0, ""},
        {six_bit_commands(), BoardAnswer::Plain, 0, ""},
        {eight_bit_commands(), BoardAnswer::Garbled, 0, "M: it has no 8-bit command support."},
        {eight_bit_commands(), BoardAnswer::Identified, all & ~id::kHasLowVoltageEntry8,
         "M at low voltage: it has no low-voltage entry for 8-bit commands."},
        {six_bit_commands(), BoardAnswer::Identified, all & ~id::kHasLowVoltageEntry,
         "M at low voltage: it has no low-voltage entry for 6-bit commands."},
        {eight_bit_commands(), BoardAnswer::Identified, all, ""},
    };
    for (const Case& c : cases) {
        ProgramState state;
        state.model.model_name = "M";
        state.model.command_set = &c.set;
        state.model.low_voltage_entry = true;
        state.programming_entry = ProgrammingEntry::LowVoltage;
        state.board_answer = c.answer;
        if (c.answer == BoardAnswer::Identified) {
            state.board = BoardIdentity{1, c.features, 64, 0, 0, 0};
        }
        const std::optional<Refusal> refusal = capability_refusal(state);
        EXPECT_EQ(refusal ? refusal->message : "",
                  *c.refusal ? "This board cannot program " + std::string(c.refusal) : "")
            << c.set.name;
        if (refusal) {
            EXPECT_EQ(refusal->status,
                      "Operation refused: no " + std::string(c.set.name) + " commands.");
        }
    }
}

}  // namespace
}  // namespace corvanel
