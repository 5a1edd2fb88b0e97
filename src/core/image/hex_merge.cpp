// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/hex_merge.h"

#include <algorithm>
#include <limits>

#include "core/files/read_file.h"
#include "core/image/hex_text.h"

namespace corvanel {

namespace {

constexpr std::string_view kCrLf = "\r\n";

struct Cell {
    std::int32_t value = 0;
    std::int32_t blank = 0;
    bool byte = false;  // an EEPROM byte: shown with two digits
};

// The value a location holds and what it holds erased; false for a location
// the merge does not carry (outside the chip, the factory's device ID).
bool read_cell(const MemoryImage& image, const Location& where, Cell& cell) {
    switch (where.region) {
        case Region::Flash:
            cell = {image.flash_word(where.index), kBlankFlashWord};
            return true;
        case Region::UserId:
            cell = {image.user_id(where.index), kBlankFlashWord};
            return true;
        case Region::Eeprom:
            cell = {image.eeprom_byte(where.index), kBlankEepromByte, true};
            return true;
        case Region::Config1:
        case Region::Config2:
        case Region::ConfigMore: {
            const int number = where.region == Region::Config1   ? 1
                               : where.region == Region::Config2 ? 2
                                                                 : where.index + 1;
            cell = {image.config_word(number), image.config_erased(number)};
            return true;
        }
        case Region::DeviceId:
        case Region::Outside:
            break;
    }
    return false;
}

void write_cell(MemoryImage& image, const Location& where, std::int32_t value) {
    switch (where.region) {
        case Region::Flash:
            (void)image.set_flash_word(where.index, value);
            return;
        case Region::UserId:
            (void)image.set_user_id(where.index, value);
            return;
        case Region::Eeprom:
            (void)image.set_eeprom_byte(where.index, value);
            return;
        case Region::Config1:
            (void)image.set_config_word(1, value);
            return;
        case Region::Config2:
            (void)image.set_config_word(2, value);
            return;
        case Region::ConfigMore:
            (void)image.set_config_word(where.index + 1, value);
            return;
        case Region::DeviceId:
        case Region::Outside:
            return;
    }
}

std::string value_text(const Cell& cell, std::int32_t value) {
    return (cell.byte ? hex2(value) : hex4(value)) + "h";
}

}  // namespace

HexMergeResult merge_hex_text(std::string_view bytes, const std::string& path, MemoryImage& image) {
    HexMergeResult result;
    // The second file is read into a blank image of the same model, so that it
    // is checked and placed exactly as an opened file is.
    MemoryImage second = image;
    second.clear_image();
    HexReadResult read = load_hex_text(bytes, second);
    result.messages = std::move(read.messages);
    result.out_of_range_count = read.out_of_range_count;
    result.cut_short = read.loaded && !read.end_record;
    result.status_text = std::string(kHexNotMergedStatus);
    if (!read.loaded) {
        return result;
    }
    const std::string name = split_path(path).file_name;
    if (!read.ranges_complete) {
        result.messages.push_back(
            {"The file " + name + " is scattered over too many address ranges to be merged.",
             message_kind::kError,
             {}});
        return result;
    }
    // The first conflict is the lowest address, wherever the file has it.
    std::vector<WordRange> ranges = std::move(read.ranges);
    std::sort(ranges.begin(), ranges.end(),
              [](const WordRange& a, const WordRange& b) { return a.first < b.first; });
    MemoryImage merged = image;
    std::int64_t words = 0;
    for (const WordRange& range : ranges) {
        for (auto address = range.first; address < range.end; ++address) {
            if (address < 0 || address > std::numeric_limits<std::int32_t>::max()) {
                continue;  // counted among the out-of-range addresses
            }
            const Location where = image.locate(static_cast<std::int32_t>(address));
            Cell mine;
            Cell theirs;
            if (!read_cell(image, where, mine) || !read_cell(second, where, theirs)) {
                continue;
            }
            ++words;
            if (mine.value != mine.blank && mine.value != theirs.value) {
                result.conflict_address = address;
                result.buffer_value = mine.value;
                result.file_value = theirs.value;
                std::string text = "The file " + name + " cannot be merged: it overlaps the ";
                text.append("buffer with different data.").append(kCrLf);
                text.append("At address ").append(hex4(static_cast<std::int32_t>(address)));
                text.append("h the buffer holds ").append(value_text(mine, mine.value));
                text.append(" and ").append(name).append(" ");
                text.append(value_text(theirs, theirs.value)).append(".");
                result.messages.push_back({std::move(text), message_kind::kError, {}});
                return result;
            }
            write_cell(merged, where, theirs.value);
        }
    }
    image = merged;
    result.merged = true;
    result.status_text = "HEX file merged: " + std::to_string(words) + " words from " + name + ".";
    return result;
}

HexMergeResult merge_hex_file(const std::string& path, MemoryImage& image) {
    const FileReadResult file = read_input_file(path);
    if (!file.ok) {
        HexMergeResult result;
        result.messages.push_back(
            {"Cannot read the HEX file " + path + std::string(kCrLf) + file.error + ".",
             message_kind::kError,
             {}});
        result.status_text = std::string(kHexNotMergedStatus);
        return result;
    }
    return merge_hex_text(file.bytes, path, image);
}

}  // namespace corvanel
