// SPDX-License-Identifier: GPL-3.0-or-later
// Memories kept on the chip, serial numbers and the production log.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include <pwd.h>

#include "core/config_folder.h"
#include "core/devices/config_fields.h"
#include "core/engine/calibration_recovery.h"
#include "core/engine/kept_memory_recovery.h"
#include "core/engine/production_log.h"
#include "core/engine/region_selection.h"
#include "core/engine/serial_number.h"
#include "core/engine/serial_pool.h"
#include "core/files/replace_file.h"

namespace corvanel {
namespace {

MemoryImage shaped(std::int32_t flash, std::int32_t eeprom, std::int32_t fill) {
    MemoryImage image;
    image.flash_size = flash;
    image.eeprom_size = eeprom;
    image.config2_used = true;
    image.clear_image();
    for (std::int32_t i = 0; i < flash; ++i) {
        (void)image.set_flash_word(i, (fill + i) & 0x3FFF);
    }
    for (std::int32_t i = 0; i < eeprom; ++i) {
        (void)image.set_eeprom_byte(i, (fill + i) & 0xFF);
    }
    image.config1 = 0x3F00 | (fill & 0xFF);
    image.config2 = 0x3E00 | (fill & 0xFF);
    for (int i = 0; i < kUserIdCount; ++i) {
        (void)image.set_user_id(i, fill + i);
    }
    return image;
}

TEST(RegionSelection, ListsParseAndPrintBack) {
    struct Case {
        const char* text;
        bool ok;
        RegionSelection selection;
        const char* printed;
    };
    const Case cases[] = {
        {"flash", true, {true, false, false, false}, "flash"},
        {"EEPROM,id", true, {false, true, true, false}, "eeprom,id"},
        {"config,flash,eeprom,id", true, {}, "all"},
        {"all", true, {}, "all"},
        {"flash,flash", true, {true, false, false, false}, "flash"},
        {"", false, {}, ""},
        {"flash,", false, {}, ""},
        {"flash,data", false, {}, ""},
        {"fuses", false, {}, ""},
    };
    for (const Case& c : cases) {
        const auto parsed = parse_region_list(c.text);
        ASSERT_EQ(parsed.has_value(), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(*parsed, c.selection) << c.text;
            EXPECT_EQ(region_list_text(*parsed), c.printed) << c.text;
        }
    }
}

TEST(RegionSelection, MergedImageTakesEachMemoryFromItsSource) {
    const MemoryImage buffer = shaped(64, 16, 0x100);
    const MemoryImage chip = shaped(64, 16, 0x200);
    for (int bits = 0; bits < 16; ++bits) {
        const RegionSelection from_buffer{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0,
                                          (bits & 8) != 0};
        const MemoryImage merged = merge_regions(buffer, chip, from_buffer);
        const MemoryImage& flash = from_buffer.flash ? buffer : chip;
        const MemoryImage& eeprom = from_buffer.eeprom ? buffer : chip;
        const MemoryImage& ids = from_buffer.user_ids ? buffer : chip;
        const MemoryImage& config = from_buffer.config ? buffer : chip;
        EXPECT_EQ(merged.flash, flash.flash) << bits;
        EXPECT_EQ(merged.eeprom, eeprom.eeprom) << bits;
        EXPECT_EQ(merged.user_ids, ids.user_ids) << bits;
        EXPECT_EQ(merged.config1, config.config1) << bits;
        EXPECT_EQ(merged.config2, config.config2) << bits;
        // Program All reads the chip exactly when it keeps something.
        EXPECT_EQ(needs_chip_read(from_buffer, buffer), bits != 15) << bits;
    }
    // Preserve EEPROM keeps the chip's EEPROM whatever the selection says; a
    // chip without EEPROM has nothing to keep.
    const RegionSelection preserved = programmed_regions(RegionSelection{}, true);
    EXPECT_FALSE(preserved.eeprom);
    EXPECT_TRUE(needs_chip_read(preserved, buffer));
    EXPECT_FALSE(needs_chip_read(preserved, shaped(64, 0, 0)));
}

TEST(RegionSelection, ProtectedMemoriesAreNotKeptBlindly) {
    const ProtectionBits protection{0x2000, 0x0100};
    MemoryImage chip = shaped(64, 16, 0);
    chip.config1 = 0x3FFF & ~0x2000;  // program memory protected
    EXPECT_TRUE(kept_region_refusal(chip, {false, true, true, true}, protection));
    EXPECT_FALSE(kept_region_refusal(chip, {true, false, true, true}, protection));
    chip.config1 = 0x3FFF & ~0x0100;  // data memory protected
    EXPECT_TRUE(kept_region_refusal(chip, {true, false, true, true}, protection));
    EXPECT_FALSE(kept_region_refusal(chip, {false, true, false, false}, protection));
}

TEST(SerialNumber, CommandLineForms) {
    struct Case {
        const char* text;
        bool ok;
        std::uint64_t value, step;
        SerialLocation location;
        std::int32_t address;
        int bytes;
    };
    const Case cases[] = {
        {"1000@F:3F0", true, 1000, 1, SerialLocation::RetlwTable, 0x3F0, 2},
        {"7:5@e:10/3", true, 7, 5, SerialLocation::Eeprom, 0x10, 3},
        {"65535@F:0/2", true, 65535, 1, SerialLocation::RetlwTable, 0, 2},
        {"65536@F:0/2", false, 0, 0, SerialLocation::Eeprom, 0, 0},
        {"1@F:3F0/5", false, 0, 0, SerialLocation::Eeprom, 0, 0},
        {"1:0@F:3F0", false, 0, 0, SerialLocation::Eeprom, 0, 0},
        {"1@X:3F0", false, 0, 0, SerialLocation::Eeprom, 0, 0},
        {"1@F:", false, 0, 0, SerialLocation::Eeprom, 0, 0},
        {"1F:3F0", false, 0, 0, SerialLocation::Eeprom, 0, 0},
        {"-1@F:3F0", false, 0, 0, SerialLocation::Eeprom, 0, 0},
        {"0x10@F:3F0", false, 0, 0, SerialLocation::Eeprom, 0, 0},
        // A step the bytes cannot hold would wrap onto numbers handed out before.
        {"1:70000@E:0/2", false, 0, 0, SerialLocation::Eeprom, 0, 0},
        {"1:255@E:0/1", true, 1, 255, SerialLocation::Eeprom, 0, 1},
        {"1:256@E:0/1", false, 0, 0, SerialLocation::Eeprom, 0, 0},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto serial = parse_serial_text(c.text, error);
        ASSERT_EQ(serial.has_value(), c.ok) << c.text << ": " << error;
        if (!c.ok) {
            EXPECT_FALSE(error.empty()) << c.text;
            continue;
        }
        EXPECT_EQ(serial->value, c.value) << c.text;
        EXPECT_EQ(serial->step, c.step) << c.text;
        EXPECT_EQ(serial->location, c.location) << c.text;
        EXPECT_EQ(serial->address, c.address) << c.text;
        EXPECT_EQ(serial->byte_count, c.bytes) << c.text;
        // The location text reads back as the same place.
        const auto again = parse_serial_text("1@" + serial_location_text(*serial), error);
        ASSERT_TRUE(again) << serial_location_text(*serial);
        EXPECT_EQ(again->address, c.address);
        EXPECT_EQ(again->byte_count, c.bytes);
    }
}

// The refusals count the bytes as they are said: "1 byte", "2 bytes".
TEST(SerialNumber, RefusalsSayTheByteCountRight) {
    const struct {
        const char* text;
        const char* error;
    } parse_cases[] = {
        {"256@E:0/1", "the start does not fit in 1 byte"},
        {"1:256@E:0/1", "the step does not fit in 1 byte"},
        {"1:70000@E:0/2", "the step does not fit in 2 bytes"},
    };
    for (const auto& c : parse_cases) {
        std::string error;
        EXPECT_FALSE(parse_serial_text(c.text, error));
        EXPECT_EQ(error, c.error) << c.text;
    }
    const MemoryImage image = shaped(64, 64, 0);
    SerialNumber serial{
        .value = 1, .step = 1, .location = SerialLocation::Eeprom, .address = 64, .byte_count = 1};
    EXPECT_EQ(serial_refusal(serial, image, ActiveModel{}),
              "Serial number: EEPROM has no room for 1 byte at 40h.");
    serial.address = 63;
    serial.byte_count = 2;
    EXPECT_EQ(serial_refusal(serial, image, ActiveModel{}),
              "Serial number: EEPROM has no room for 2 bytes at 3Fh.");
    serial.address = 0;
    serial.byte_count = 1;
    serial.value = 256;
    EXPECT_EQ(serial_refusal(serial, image, ActiveModel{}),
              "Serial number 256 does not fit in 1 byte.");
}

TEST(SerialNumber, WrittenLowByteFirstAndReadBack) {
    MemoryImage image = shaped(64, 64, 0);
    SerialNumber serial{.value = 0x12345,
                        .step = 1,
                        .location = SerialLocation::RetlwTable,
                        .address = 60,
                        .byte_count = 3};
    ASSERT_FALSE(serial_refusal(serial, image, ActiveModel{}));
    write_serial(serial, image);
    EXPECT_EQ(image.flash_word(60), 0x3445);
    EXPECT_EQ(image.flash_word(61), 0x3423);
    EXPECT_EQ(image.flash_word(62), 0x3401);
    EXPECT_EQ(image.flash_word(63), 63);  // the word after the table is untouched
    EXPECT_EQ(read_serial(serial, image), 0x12345U);
    (void)image.set_flash_word(61, 0x0123);  // no RETLW: no number
    EXPECT_FALSE(read_serial(serial, image));

    serial.location = SerialLocation::Eeprom;
    serial.address = 62;  // three bytes do not fit before the end of 64
    EXPECT_TRUE(serial_refusal(serial, image, ActiveModel{}));
    serial.byte_count = 2;
    serial.address = 63;
    EXPECT_TRUE(serial_refusal(serial, image, ActiveModel{}));
    serial.address = 62;
    serial.value = 0xBEEF;
    ASSERT_FALSE(serial_refusal(serial, image, ActiveModel{}));
    write_serial(serial, image);
    EXPECT_EQ(image.eeprom_byte(62), 0xEF);
    EXPECT_EQ(image.eeprom_byte(63), 0xBE);
    EXPECT_EQ(image.eeprom_byte(61), 61);
    EXPECT_EQ(read_serial(serial, image), 0xBEEFU);
    EXPECT_TRUE(serial_refusal(serial, shaped(64, 0, 0), ActiveModel{}));  // no EEPROM at all

    // No location chosen: nothing is written anywhere by default.
    EXPECT_TRUE(serial_refusal(SerialNumber{}, image, ActiveModel{}));
    EXPECT_EQ(serial_location_text(SerialNumber{}), "");

    // The numbers step until the bytes are used up; never wrap to a used one.
    serial.value = 65533;
    serial.step = 2;
    EXPECT_EQ(next_serial(serial), 65535U);
    serial.value = 65534;
    EXPECT_FALSE(next_serial(serial));
}

// Where a serial number may go: never on the factory calibration word (the
// chip keeps its own there and Verify does not compare it), never over the
// file's code without the user's word, RETLW words and erased cells are free.
TEST(SerialNumber, LocationRules) {
    ActiveModel model;
    model.model_name = "PIC12F675";
    model.calibration_word = FlashCalibration{0x3FF, 0x3F00, 0x3400};
    MemoryImage image = shaped(1024, 128, 0);
    for (std::int32_t i = 0; i < 1024; ++i) {
        (void)image.set_flash_word(i, 0x3FFF);
    }
    for (std::int32_t i = 0; i < 128; ++i) {
        (void)image.set_eeprom_byte(i, 0xFF);
    }
    (void)image.set_flash_word(0, 0x2805);     // the reset vector's GOTO
    (void)image.set_flash_word(0x10, 0x3400);  // a RETLW table the program keeps for it
    (void)image.set_flash_word(0x11, 0x3400);
    (void)image.set_flash_word(0x21, 0x0123);
    (void)image.set_eeprom_byte(0x20, 0x00);
    struct Case {
        const char* text;
        bool refused;     // serial_refusal with the model
        bool overwrites;  // serial_overwrites in the buffer
        const char* names;
    };
    const Case cases[] = {
        {"5@F:3FE/2", true, false, "3FFh"},  // its second byte on OSCCAL
        {"5@F:3FF/1", true, false, "3FFh"},
        {"5@F:3FC/2", false, false, ""},
        {"5@F:3FF/2", true, false, "no room"},  // past the memory
        {"5@F:400/1", true, false, "no room"},
        {"1000@F:0/2", false, true, "0000h is 2805h"},
        {"1000@F:10/2", false, false, ""},  // RETLW words: the table is for it
        {"1000@F:11/2", false, false, ""},  // a RETLW, then an erased word
        {"1000@F:20/2", false, true, "0021h is 0123h"},
        {"1000@E:1F/2", false, true, "EEPROM 0020h is 00h"},
        {"1000@E:21/2", false, false, ""},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto serial = parse_serial_text(c.text, error);
        ASSERT_TRUE(serial) << c.text << ": " << error;
        const auto refused = serial_refusal(*serial, image, model);
        EXPECT_EQ(refused.has_value(), c.refused) << c.text;
        if (refused) {
            EXPECT_NE(refused->find(c.names), std::string::npos) << c.text << ": " << *refused;
            continue;
        }
        const auto overwrites = serial_overwrites(*serial, image);
        EXPECT_EQ(overwrites.has_value(), c.overwrites) << c.text;
        if (overwrites) {
            EXPECT_NE(overwrites->find(c.names), std::string::npos)
                << c.text << ": " << *overwrites;
        }
    }
    // Without a calibration word the same place is free.
    std::string error;
    EXPECT_FALSE(serial_refusal(*parse_serial_text("5@F:3FE/2", error), image, ActiveModel{}));
}

// Boards that program at once take their numbers from one pool: never the
// same number on two chips that pass, a failed chip's number to the next chip
// (the lowest first), and the series' end only when no number can come back.
TEST(SerialPool, SharedSeriesHasNoDuplicateAndNoGap) {
    SerialNumber first;
    first.value = 250;
    first.step = 2;
    first.byte_count = 1;  // 250, 252, 254: the last fits in one byte
    SerialPool pool(first);
    const auto a = pool.take();
    const auto b = pool.take();
    const auto c = pool.take();
    ASSERT_TRUE(a.number && b.number && c.number);
    EXPECT_EQ(std::set<std::uint64_t>({*a.number, *b.number, *c.number}),
              std::set<std::uint64_t>({250, 252, 254}));
    // All held: nothing free now, but two chips may still fail.
    const auto none = pool.take();
    EXPECT_FALSE(none.number);
    EXPECT_FALSE(none.used_up);
    pool.give_back(254);
    pool.give_back(250);
    pool.passed(252);
    EXPECT_FALSE(pool.used_up());
    EXPECT_EQ(pool.unused_returns(), std::set<std::uint64_t>({250, 254}));
    EXPECT_EQ(pool.take().number, std::optional<std::uint64_t>(250));
    const auto d = pool.take();
    EXPECT_EQ(d.number, std::optional<std::uint64_t>(254));
    pool.passed(250);
    EXPECT_FALSE(pool.used_up());
    pool.passed(254);
    EXPECT_TRUE(pool.used_up());
    EXPECT_TRUE(pool.take().used_up);
}

TEST(ProductionLog, LinesAndHeader) {
    ProductionRecord record;
    record.time = 1797000005;  // 2026-12-10T...
    record.model = "PIC16F628A";
    record.id_word = 0x1066;
    record.id_mask = 0x3FE0;
    record.checksum = 0x0A5F;
    record.result = ProductionResult::Pass;
    record.serial = 1000;
    record.file = "app.hex";
    record.file_checksum = 0x1234;
    EXPECT_EQ(iso8601_utc(0), "1970-01-01T00:00:00Z");
    const std::string time = iso8601_utc(record.time);
    EXPECT_EQ(production_log_line(record),
              time + ",PIC16F628A,1060,06,0A5F,pass,1000,app.hex,1234,,");
    // A part with a revision word: the revision is that word's, not the ID's bits.
    record.id_word = 0x3042;
    record.id_mask = 0x3FFF;
    record.revision_word = 0x2005;
    EXPECT_EQ(production_log_line(record),
              time + ",PIC16F628A,3042,05,0A5F,pass,1000,app.hex,1234,,");
    record.revision_word.reset();
    record.id_mask = 0x3FE0;
    record.id_word.reset();
    record.result = ProductionResult::Cancelled;
    record.serial.reset();
    record.file = "a \"b\",c.hex";
    record.file_checksum.reset();
    record.reason = "the question\r\nwas answered No";
    record.model = "odd,\"name\"";
    // Several boards share one log: the port comes last, after the columns of older logs.
    record.port = "/dev/ttyUSB1";
    EXPECT_EQ(production_log_line(record),
              time +
                  ",\"odd,\"\"name\"\"\",,,0A5F,cancelled,,\"a \"\"b\"\",c.hex\",,"
                  "the question was answered No,/dev/ttyUSB1");
    record.file.clear();
    record.reason.clear();
    record.port.clear();

    const auto path = std::filesystem::temp_directory_path() /
                      ("corvanel-log-" + std::to_string(::getpid()) + ".csv");
    std::filesystem::remove(path);
    record.model = "PIC16F84A";
    for (int n = 0; n < 3; ++n) {
        record.result = n != 1 ? ProductionResult::Pass : ProductionResult::Fail;
        ASSERT_FALSE(append_production_log(path.string(), record));
    }
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    const std::string line = time + ",PIC16F84A,,,0A5F,";
    EXPECT_EQ(text.str(), std::string(kProductionLogHeader) + "\n" + line + "pass,,,,,\n" + line +
                              "fail,,,,,\n" + line + "pass,,,,,\n");
    std::filesystem::remove(path);
    EXPECT_TRUE(append_production_log((path / "no-such-folder" / "x.csv").string(), record));
    // A FIFO would hold the open until a reader comes: refused at once.
    const auto fifo = path.string() + ".fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(production_log_refusal(fifo));
    EXPECT_TRUE(append_production_log(fifo, record));
    std::filesystem::remove(fifo);
    EXPECT_TRUE(production_log_refusal(std::filesystem::temp_directory_path().string()));
    EXPECT_FALSE(production_log_refusal(path.string()));  // not there yet: created

    ProductionCounters counters;
    counters.count(true);
    counters.count(false);
    counters.count(true);
    EXPECT_EQ(counters.passed, 2);
    EXPECT_EQ(counters.failed, 1);
    EXPECT_EQ(counters.total(), 3);
    counters.reset();
    EXPECT_EQ(counters.total(), 0);
}

// The two reads before the erase must agree on what is kept, and only there;
// what is kept goes to the rescue file and comes back from it whole.
TEST(KeptMemories, ReadsCompareAndRescueRoundTrip) {
    const MemoryImage first = shaped(64, 16, 0x100);
    const RegionSelection preserve{true, false, true, true};  // EEPROM kept
    MemoryImage second = first;
    EXPECT_FALSE(kept_reads_differ(first, second, preserve));
    (void)second.set_flash_word(5, 0x0001);  // program memory is rewritten anyway
    EXPECT_FALSE(kept_reads_differ(first, second, preserve));
    (void)second.set_eeprom_byte(9, 0x42);
    const auto differ = kept_reads_differ(first, second, preserve);
    ASSERT_TRUE(differ);
    EXPECT_NE(differ->find("EEPROM 0009h read 09h, then 42h"), std::string::npos) << *differ;
    second = first;
    second.config1 ^= 1;
    EXPECT_TRUE(kept_reads_differ(first, second, {true, true, true, false}));
    EXPECT_FALSE(kept_reads_differ(first, second, {true, true, true, true}));
    second = first;
    (void)second.set_user_id(3, 0);
    EXPECT_TRUE(kept_reads_differ(first, second, {true, true, false, true}));

    const auto folder =
        std::filesystem::temp_directory_path() / ("corvanel-kept-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    const auto file = kept_memory_file(folder, "PIC16F628A");
    EXPECT_EQ(file.filename(), "kept-PIC16F628A.hex");
    MemoryImage shape = shaped(64, 16, 0);
    shape.clear_image();
    EXPECT_FALSE(load_kept_memories(file, shape));
    const RegionSelection kept = kept_regions(preserve, first);
    EXPECT_EQ(kept, (RegionSelection{false, true, false, false}));
    ASSERT_FALSE(save_kept_memories(file, KeptMemories{kept, first}));
    const auto loaded = load_kept_memories(file, shape);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->kept, kept);
    EXPECT_EQ(loaded->image.eeprom, first.eeprom);
    // A cut or foreign file is not offered back.
    std::string text;
    {
        std::ifstream in(file, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    for (const std::string& bad : {text.substr(0, text.size() / 2), std::string(":00000001FF\r\n"),
                                   "; kept fuses\r\n" + text.substr(text.find('\n') + 1)}) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bad;
        EXPECT_FALSE(load_kept_memories(file, shape)) << bad.substr(0, 40);
    }
    forget_kept_memories(file);
    EXPECT_FALSE(std::filesystem::exists(file));
    std::filesystem::remove_all(folder);
}

// Both rescue files are written through the one safe write: a link planted at
// the file's name (to an existing file or to none) or at its temporary name is
// refused, never followed, and the file it names keeps its contents or stays
// uncreated.
TEST(RescueFiles, PlantedLinksAreRefusedAndNotFollowed) {
    namespace fs = std::filesystem;
    const auto folder =
        fs::temp_directory_path() / ("corvanel-rescue-" + std::to_string(::getpid()));
    const auto read_line = [](const fs::path& file) {
        std::ifstream in(file);
        std::string text;
        std::getline(in, text);
        return text;
    };
    const MemoryImage image = shaped(64, 16, 0x20);
    const auto save = [&](const fs::path& file) {
        return file.filename().string().starts_with("calibration-")
                   ? save_calibration(file, SavedCalibration{0x3480, 0x2000})
                   : !save_kept_memories(file, KeptMemories{{false, true, false, false}, image});
    };
    enum class Plant { ExistingTarget, DanglingTarget, TemporaryName };
    for (const Plant plant : {Plant::ExistingTarget, Plant::DanglingTarget, Plant::TemporaryName}) {
        fs::remove_all(folder);
        fs::create_directories(folder);
        const auto victim = folder / "victim.txt";
        std::ofstream(victim) << "precious";
        for (const auto& file : {calibration_recovery_file(folder, "PIC12F675"),
                                 kept_memory_file(folder, "PIC16F628A")}) {
            SCOPED_TRACE(file.filename().string() + " plant " +
                         std::to_string(static_cast<int>(plant)));
            const auto missing = folder / ("missing-" + file.filename().string());
            fs::create_symlink(plant == Plant::DanglingTarget ? missing : victim,
                               plant == Plant::TemporaryName ? temporary_path_for(file) : file);
            EXPECT_FALSE(save(file));
            EXPECT_EQ(read_line(victim), "precious");
            EXPECT_FALSE(fs::exists(missing));
            // A rescue file in the way is never offered back through a link either.
            if (plant == Plant::TemporaryName) {
                EXPECT_FALSE(fs::exists(fs::symlink_status(file)));
            }
        }
    }
    // Without a link the same calls write the files, and a leftover temporary
    // file of a killed save is replaced.
    fs::remove_all(folder);
    fs::create_directories(folder);
    const auto calibration = calibration_recovery_file(folder, "PIC12F675");
    std::ofstream(temporary_path_for(calibration)) << "half";
    ASSERT_TRUE(save(calibration));
    EXPECT_EQ(load_saved_calibration(calibration)->word, 0x3480);
    ASSERT_TRUE(save(kept_memory_file(folder, "PIC16F628A")));
    // A rescue file's name taken by a folder is refused, not replaced.
    fs::remove(calibration);
    fs::create_directory(calibration);
    EXPECT_FALSE(save_calibration(calibration, SavedCalibration{0x3480, -1}));
    fs::remove_all(folder);
}

// Without HOME and XDG_CONFIG_HOME (a service, `env -i`) the settings and
// rescue files go to the user's home from the password database, never to
// the folder the program happens to be started in.
TEST(RescueFiles, TheFolderWithoutHomeIsTheUsersOwn) {
    const char* home = std::getenv("HOME");
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string saved_home = home != nullptr ? home : "";
    const std::string saved_xdg = xdg != nullptr ? xdg : "";
    ::unsetenv("HOME");
    ::unsetenv("XDG_CONFIG_HOME");
    const auto folder = config_folder();
    const struct passwd* entry = ::getpwuid(::getuid());
    if (home != nullptr) {
        ::setenv("HOME", saved_home.c_str(), 1);
    }
    if (xdg != nullptr) {
        ::setenv("XDG_CONFIG_HOME", saved_xdg.c_str(), 1);
    }
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(folder.is_absolute()) << folder;
    EXPECT_EQ(folder, std::filesystem::path(entry->pw_dir) / ".config" / kProductFolder);
}

}  // namespace
}  // namespace corvanel
