// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/intel_hex_writer.h"

#include <optional>

#include "core/files/replace_file.h"
#include "core/image/hex_text.h"

namespace corvanel {

namespace {

constexpr std::string_view kCrLf = "\r\n";

// Byte addresses of the areas in the file: word address times two.
constexpr std::int32_t kFlashByteBase = 0x0000;
constexpr std::int32_t kUserIdByteAddress = kUserIdFirst * 2;     // 4000h
constexpr std::int32_t kConfigByteAddress = kConfig1Address * 2;  // 400Eh
constexpr std::int32_t kEepromByteBase = kEepromBase * 2;         // 4200h

constexpr std::size_t kRecordDataChars = 32;  // 16 bytes, 8 cells

void append_record(std::string& file, std::string_view record_text) {
    file.append(":").append(record_text).append(hex_checksum(record_text)).append(kCrLf);
}

// Cells 0 to `last` of one area, each as a low-byte-first word, cut into
// records of 16 bytes from `base` upward; the last record takes what is left.
void append_area(std::string& file, const std::vector<std::int32_t>& cells, std::int32_t last,
                 std::int32_t base) {
    std::string data;
    for (std::int32_t i = 0; i <= last; ++i) {
        data += hex4_swapped(cells[static_cast<std::size_t>(i)]);
    }
    for (std::size_t offset = 0; offset < data.size(); offset += kRecordDataChars) {
        const std::string_view piece = std::string_view(data).substr(offset, kRecordDataChars);
        const auto address = base + static_cast<std::int32_t>(offset / 2);
        std::string record = piece.size() == kRecordDataChars
                                 ? std::string("10")
                                 : hex2(static_cast<std::int32_t>(piece.size() / 2));
        record.append(hex4(address)).append("00").append(piece);
        append_record(file, record);
    }
}

}  // namespace

std::string write_hex_text(const MemoryImage& image) {
    std::string file;
    append_area(file, image.flash, image.last_used_flash(), kFlashByteBase);

    // The user IDs only when one is set: a file without them stays as it was.
    if (image.user_ids_used()) {
        std::string ids = hex2(kUserIdCount * 2);
        ids.append(hex4(kUserIdByteAddress)).append("00");
        for (const std::int32_t word : image.user_ids) {
            ids.append(hex4_swapped(word));
        }
        append_record(file, ids);
    }

    // The configuration record is written in every case, also for a blank chip:
    // an erased configuration word is still a setting the chip will get.
    std::string config = image.config2_used ? "04" : "02";
    config.append(hex4(kConfigByteAddress)).append("00").append(hex4_swapped(image.config1));
    if (image.config2_used) {
        config.append(hex4_swapped(image.config2));
    }
    append_record(file, config);

    append_area(file, image.eeprom, image.last_used_eeprom(), kEepromByteBase);
    append_record(file, "00000001");
    return file;
}

std::string hex_overwrite_question(std::string_view path) {
    return "Do you want to overwrite file " + std::string(path) + "?";
}

HexSaveResult save_hex_file(const std::string& path, const MemoryImage& image) {
    const std::optional<std::string> failure = replace_file(path, write_hex_text(image));
    return failure ? hex_save_failed(path, *failure) : hex_save_succeeded(path);
}

HexSaveResult hex_save_succeeded(const std::string& path) {
    HexSaveResult result;
    result.saved = true;
    result.status_text = std::string(kHexSavedStatus);
    result.loaded_file_label = short_path(path);
    result.last_path = split_path(path).folder;
    return result;
}

HexSaveResult hex_save_failed(const std::string& path, std::string_view reason) {
    HexSaveResult result;
    std::string text = "Cannot write the HEX file ";
    text.append(path).append(kCrLf).append(reason).append(".");
    result.messages.push_back({std::move(text), message_kind::kError, {}});
    result.status_text = std::string(kHexNotSavedStatus);
    result.last_path = split_path(path).folder;
    return result;
}

}  // namespace corvanel
