// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The device database file: every chip model and every erase, program, read,
// blank-check and verify algorithm, held as text exactly as written in the file.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvanel {

inline constexpr const char* kDeviceDatabaseFileName = "corvaneldevices.txt";
inline constexpr int kAlgorithmSlots = 64;  // slots 0 to 63

// The algorithm tables, in the order the file's definition words are tested. The
// sixth holds the algorithms that read the chip's device ID word ("idalgdef").
enum class AlgorithmTable {
    Erase = 0,
    Program = 1,
    Read = 2,
    BlankCheck = 3,
    Verify = 4,
    DeviceId = 5
};
inline constexpr int kAlgorithmTables = 6;

// One model of the file. Every field is the text after the key's space, as written.
struct DeviceModel {
    std::string name;
    std::string flash;
    std::string eeprom;
    std::string configerased;
    std::string config2used;
    std::string voltageseq;
    std::string progtime;
    std::string pagesize;
    std::string erasealg;
    std::string programalg;
    std::string readalg;
    std::string blankcheckalg;
    std::string verifyalg;
    // Optional keys; a model without them behaves as before they existed.
    std::string configmask;  // implemented bits of configuration words 1 and 2: "21FF 3FFF"
    std::string deviceid;    // the ID word at 2006h and the mask naming the part: "1060 3FE0"
    std::string idalg;       // copy of a device ID read algorithm text
    std::string calflash;    // a calibration word in program memory: "03FF 3C00 3400"
    std::string calconfig;   // calibration bits of configuration word 1: "3000"
    std::string vpp;         // the programming voltage window in volts: "8.0 9.0"
    std::string vdd;         // the programming supply window in volts: "2.0 5.5"
    // The address map of the enhanced mid-range; without these keys the classic
    // one (user IDs 2000h, configuration 2007h, EEPROM 2100h in HEX files).
    std::string configwords;  // number of configuration words, 1 to 7: "2"
    std::string configaddr;   // word address of configuration word 1: "8007"
    std::string idaddr;       // word address of the first user ID word: "8000"
    std::string eepromaddr;   // word address of EEPROM byte 0 in HEX files: "F000"
    std::string revaddr;      // the word holding the silicon revision: "8005"
    std::string lvp;          // "true": may enter programming mode with the low-voltage key
    std::string commandset;   // the chip's command set, a key of command_set.h; empty: 6-bit
    // "pc" (the default) or "payload": how the 8-bit set's Bulk Erase (18h) picks
    // its regions, and so whether an algorithm sends it bare or with a payload.
    std::string bulkerase;
    // How many of the sources the data was checked against agree, and which:
    // "4 (AP,OP,PL,PM)". A model resting on one source ("1 (PM)") says so wherever
    // it is listed.
    std::string sources;
    // Not a key: the family note ("# Family: 16F188xx") of the section that defined
    // the model's program algorithm; empty when that section has none.
    std::string family;
};

// The model's data rests on a single source ("sources: 1 ...").
[[nodiscard]] bool single_source(const DeviceModel& model);

using AlgorithmDefinitions = std::array<std::array<std::string, kAlgorithmSlots>, kAlgorithmTables>;

struct DeviceDatabase {
    std::vector<DeviceModel> models;   // model number n is models[n - 1]
    AlgorithmDefinitions definitions;  // definition texts as they stood at the end of the file

    [[nodiscard]] int model_count() const { return static_cast<int>(models.size()); }
    [[nodiscard]] bool has_model(int number) const {
        return number >= 1 && number <= model_count();
    }
    // Model by its number, 1 to model_count().
    [[nodiscard]] const DeviceModel& model(int number) const {
        return models.at(static_cast<std::size_t>(number - 1));
    }
};

enum class DatabaseStatus {
    Loaded,     // at least one model
    NoModels,   // the file holds no "model:" line: start-up ends without a word
    FileError,  // the file cannot be opened or read
    BadLine,    // a slot number outside 0 to 63, or a definition line without its colon
};

struct DatabaseLoadResult {
    DatabaseStatus status = DatabaseStatus::Loaded;
    std::string message;  // for FileError and BadLine: names the file and the line
    int line_number = 0;  // for BadLine, counted from 1
};

// Reads the file at `path` into `database`. On any status but Loaded the
// database must not be used.
[[nodiscard]] DatabaseLoadResult load_device_database(const std::string& path,
                                                      DeviceDatabase& database);

// The same over the file's bytes; `source_name` names the file in messages.
[[nodiscard]] DatabaseLoadResult parse_device_database(std::string_view text,
                                                       std::string_view source_name,
                                                       DeviceDatabase& database);

// Splits bytes into lines the way the device file and HEX files are read: a line
// ends at CR LF or at a lone CR; a lone LF is an ordinary character of its line.
[[nodiscard]] std::vector<std::string_view> split_cr_lines(std::string_view text);

}  // namespace corvanel
