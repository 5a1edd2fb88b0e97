// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/intel_hex_writer.h"

#include <optional>

#include "core/files/replace_file.h"
#include "core/image/hex_text.h"

namespace corvanel {

namespace {

constexpr std::string_view kCrLf = "\r\n";

constexpr std::int32_t kFlashByteBase = 0x0000;
// One type 04 record covers 10000h bytes.
constexpr std::int64_t kSegmentBytes = 0x10000;

constexpr std::size_t kRecordDataChars = 32;  // 16 bytes, 8 cells

void append_record(std::string& file, std::string_view record_text) {
    file.append(":").append(record_text).append(hex_checksum(record_text)).append(kCrLf);
}

// Writes the records in order, with a type 04 record wherever the upper 16
// bits of the byte address change. A file whose every address lies below
// 10000h (the classic map) has none, exactly as before.
class RecordWriter {
public:
    explicit RecordWriter(std::string& file) : file_(file) {}

    // One data record of `data` (hex text, two characters a byte) at a byte
    // address. A record never straddles a 64K boundary: the areas start on
    // 16-byte boundaries and records are at most 16 bytes.
    void data(std::int64_t byte_address, std::string_view data) {
        const std::int64_t upper = byte_address / kSegmentBytes;
        if (upper != upper_) {
            append_record(file_, "02000004" + hex4(static_cast<std::int32_t>(upper)));
            upper_ = upper;
        }
        std::string record = hex2(static_cast<std::int32_t>(data.size() / 2));
        record.append(hex4(static_cast<std::int32_t>(byte_address % kSegmentBytes)))
            .append("00")
            .append(data);
        append_record(file_, record);
    }

    // Cells 0 to `last` of one area, each as a low-byte-first word, cut into
    // records of 16 bytes from `base` upward; the last record takes what is left.
    void area(const std::vector<std::int32_t>& cells, std::int32_t last, std::int64_t base) {
        std::string text;
        for (std::int32_t i = 0; i <= last; ++i) {
            text += hex4_swapped(cells[static_cast<std::size_t>(i)]);
        }
        for (std::size_t offset = 0; offset < text.size(); offset += kRecordDataChars) {
            data(base + static_cast<std::int64_t>(offset / 2),
                 std::string_view(text).substr(offset, kRecordDataChars));
        }
    }

    void end() { append_record(file_, "00000001"); }

private:
    std::string& file_;
    std::int64_t upper_ = 0;
};

}  // namespace

std::string write_hex_text(const MemoryImage& image) {
    std::string file;
    RecordWriter records(file);
    const AddressMap& map = image.map;
    records.area(image.flash, image.last_used_flash(), kFlashByteBase);

    // The user IDs only when one is set: a file without them stays as it was.
    if (image.user_ids_used()) {
        std::string ids;
        for (const std::int32_t word : image.user_ids) {
            ids.append(hex4_swapped(word));
        }
        records.data(std::int64_t{map.user_id_address} * 2, ids);
    }

    // The configuration record is written in every case, also for a blank chip:
    // an erased configuration word is still a setting the chip will get.
    std::string config;
    for (int number = 1; number <= image.config_count(); ++number) {
        config.append(hex4_swapped(image.config_word(number)));
    }
    records.data(std::int64_t{map.config_address} * 2, config);

    records.area(image.eeprom, image.last_used_eeprom(), std::int64_t{map.eeprom_address} * 2);
    records.end();
    return file;
}

std::string hex_overwrite_question(std::string_view path) {
    return "Do you want to overwrite file " + std::string(path) + "?";
}

HexSaveResult save_hex_file(const std::string& path, const MemoryImage& image) {
    // The user named the file: a link there is the user's own, written through.
    const std::optional<std::string> failure =
        replace_file(path, write_hex_text(image), TargetLinks::WrittenThrough);
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
