// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/intel_hex_reader.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "core/files/read_file.h"
#include "core/image/hex_text.h"

namespace corvanel {

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kContainsErrors =
    "Input program file in Intel Hex Format contains errors.";

// The out-of-range warning shows at most the first 16 and the last 8 addresses.
constexpr std::size_t kEntryLength = 6;  // "2345, "
constexpr std::size_t kHeadEntries = 16;
constexpr std::size_t kTailEntries = 8;
constexpr std::int64_t kShortenAbove = 24;

// Word addresses of one type 04 segment: its upper 16 bits count in units of
// 8000h words (10000h bytes).
constexpr std::int64_t kSegmentWords = 0x8000;

void replace_all(std::string& text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t hit = text.find(from); hit != std::string::npos;
         hit = text.find(from, start)) {
        out.append(text, start, hit - start).append(to);
        start = hit + from.size();
    }
    out.append(text, start, std::string::npos);
    text = std::move(out);
}

// Line ends become CR LF whatever the file used. Runs of blank lines shrink but
// do not all vanish: a run of k line feeds becomes ceil(k/4) line ends, which is
// what line numbers in messages count.
std::string normalise_line_ends(std::string_view bytes) {
    std::string text(bytes);
    for (char& c : text) {
        if (c == '\r') {
            c = '\n';
        }
    }
    replace_all(text, "\n\n", "\n");
    replace_all(text, "\n\n", "\n");
    replace_all(text, "\n", kCrLf);
    text.append(kCrLf);
    return text;
}

std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t end = text.find(kCrLf); end != std::string_view::npos;
         end = text.find(kCrLf, start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + kCrLf.size();
    }
    lines.push_back(text.substr(start));
    return lines;
}

class OutOfRangeList {
public:
    void add(std::int64_t word_address) {
        // Only the last four digits of an address are listed, as hex4 writes them.
        std::string entry = hex4(static_cast<std::int32_t>(word_address & 0xFFFF)) + ", ";
        ++count_;
        if (head_.size() < kHeadEntries * kEntryLength) {
            head_ += entry;
        }
        tail_.push_back(std::move(entry));
        if (tail_.size() > kTailEntries) {
            tail_.erase(tail_.begin());
        }
    }

    [[nodiscard]] std::int64_t count() const { return count_; }
    [[nodiscard]] const std::string& head() const { return head_; }
    [[nodiscard]] std::string tail() const {
        std::string text;
        for (const auto& entry : tail_) {
            text += entry;
        }
        return text;
    }

    // The list as the warning shows it: shortened above 24 entries, the last
    // ", " replaced by ".".
    [[nodiscard]] std::string shown_text() const {
        std::string text;
        if (count_ > kShortenAbove) {
            text = head_ + "..., " + tail();
        } else {
            // Up to 24 entries: the first 16 are in the head, and the tail holds
            // the last 8, which are exactly the entries after the head.
            text = head_;
            const auto beyond_head =
                static_cast<std::size_t>(count_ > static_cast<std::int64_t>(kHeadEntries)
                                             ? count_ - static_cast<std::int64_t>(kHeadEntries)
                                             : 0);
            for (std::size_t i = tail_.size() - beyond_head; i < tail_.size(); ++i) {
                text += tail_[i];
            }
        }
        text.resize(text.size() - 2);
        return text + ".";
    }

private:
    std::int64_t count_ = 0;
    std::string head_;
    std::vector<std::string> tail_;
};

// A record of hex digits only, some of them a-f: a writer that used lower case.
bool lower_case_record(std::string_view line) {
    while (!line.empty() && line.back() == ' ') {
        line.remove_suffix(1);
    }
    if (line.size() < 2 || line.front() != ':') {
        return false;
    }
    bool lower = false;
    for (const char c : line.substr(1)) {
        const bool digit = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
        const bool small = c >= 'a' && c <= 'f';
        if (!digit && !small) {
            return false;
        }
        lower = lower || small;
    }
    return lower;
}

HexMessage record_error(int line_number, HexRecordFault fault, std::string_view line) {
    std::string text(kContainsErrors);
    text.append(kCrLf).append("Line number ").append(std::to_string(line_number));
    text.append(hex_fault_text(fault));
    if (lower_case_record(line)) {
        text.append(kCrLf).append(kLowerCaseDigitsText);
    }
    return {std::move(text), message_kind::kError, {}};
}

// The runs of word addresses with data, merged as they come (a compiler writes
// them in rising order, so nearly every word extends the last run).
class RangeList {
public:
    void add(std::int64_t word_address) {
        highest_ = std::max(highest_, word_address);
        if (!ranges_.empty() && ranges_.back().end == word_address) {
            ++ranges_.back().end;
            return;
        }
        for (const WordRange& range : ranges_) {
            if (word_address >= range.first && word_address < range.end) {
                return;  // written twice: covered already
            }
        }
        if (ranges_.size() >= kMaxWordRanges) {
            complete_ = false;
            return;
        }
        ranges_.push_back({word_address, word_address + 1});
    }

    std::int64_t highest_ = -1;
    std::vector<WordRange> ranges_;
    bool complete_ = true;
};

HexMessage out_of_range_warning(const OutOfRangeList& list) {
    std::string text = "Warning!";
    text.append(kCrLf).append(kContainsErrors).append(kCrLf);
    text.append("There are data for ").append(std::to_string(list.count()));
    text.append(" addresses out of range:").append(kCrLf);
    text.append(list.shown_text()).append(kCrLf);
    return {std::move(text), message_kind::kInformation, {}};
}

// Places one data word at a chip word address. Answers false when the value is
// not one the location can hold.
bool place_word(MemoryImage& image, std::int64_t word_address, std::int32_t value,
                std::int32_t& flash_extent, OutOfRangeList& out_of_range) {
    if (word_address > std::numeric_limits<std::int32_t>::max()) {
        out_of_range.add(word_address);
        return true;
    }
    const auto address = static_cast<std::int32_t>(word_address);
    const Location where = image.locate(address);
    switch (where.region) {
        case Region::Flash:
            // A program word has 14 bits; anything wider is a broken file, not
            // something to cut down silently.
            if (value < 0 || value > kBlankFlashWord) {
                return false;
            }
            (void)image.set_flash_word(where.index, value);
            if (flash_extent < address + 1) {
                flash_extent = address + 1;
            }
            return true;
        case Region::UserId:
            // __IDLOCS: four words of 14 bits, like the configuration words.
            if (value < 0) {
                return false;
            }
            (void)image.set_user_id(where.index, value % 0x4000);
            return true;
        case Region::DeviceId:
            // Assemblers may write it; it is the factory's, so it is only checked.
            return value >= 0;
        case Region::Config1:
        case Region::Config2:
        case Region::ConfigMore: {
            // Unimplemented configuration bits are often written as 1s above
            // bit 13; the chip holds 14 bits.
            if (value < 0) {
                return false;
            }
            const int number = where.region == Region::Config1   ? 1
                               : where.region == Region::Config2 ? 2
                                                                 : where.index + 1;
            (void)image.set_config_word(number, value % 0x4000);
            return true;
        }
        case Region::Eeprom:
            // Each EEPROM byte travels in the low byte of a word.
            if (value < 0) {
                return false;
            }
            (void)image.set_eeprom_byte(where.index, value % 0x100);
            return true;
        case Region::Outside:
            break;
    }
    out_of_range.add(word_address);
    return true;
}

struct RecordOutcome {
    HexRecordFault fault = HexRecordFault::None;
    bool end_of_file = false;
};

class RecordReader {
public:
    RecordReader(MemoryImage& image, OutOfRangeList& out_of_range, RangeList& ranges)
        : image_(image), out_of_range_(out_of_range), ranges_(ranges) {}

    [[nodiscard]] std::int32_t flash_extent() const { return flash_extent_; }

    [[nodiscard]] RecordOutcome read_line(std::string_view line) {
        while (!line.empty() && line.back() == ' ') {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == ';') {
            return {};
        }
        if (line.front() != ':') {
            return {HexRecordFault::NoColon};
        }
        if (line.size() < 11) {
            return {HexRecordFault::TooShort};
        }
        const std::string_view record = line.substr(1);
        const std::string_view body = record.substr(0, record.size() - 2);
        if (record.substr(record.size() - 2) != hex_checksum(body)) {
            return {HexRecordFault::BadChecksum};
        }
        const std::int32_t count = hexval2(body.substr(0, 2));
        const std::int32_t address = hexval4(body.substr(2, 4));
        const std::int32_t type = hexval2(body.substr(6, 2));
        const std::string_view data = body.substr(8);
        switch (type) {
            case 0x00:
                return {data_record(count, address, data)};
            case 0x01:
                return {HexRecordFault::None, true};
            case 0x04: {
                const std::int32_t upper = hexval4(data);
                if (data.size() != 4 || address != 0 || upper < 0) {
                    return {HexRecordFault::BadExtendedAddress};
                }
                upper_ = upper;
                return {};
            }
            case 0x05:
                // The start address means nothing to a PIC programmer.
                return {};
            default:
                return {HexRecordFault::BadRecordType};
        }
    }

private:
    HexRecordFault data_record(std::int32_t count, std::int32_t address, std::string_view data) {
        if (data.empty()) {
            return HexRecordFault::None;
        }
        if (count < 0) {
            return HexRecordFault::BadByteCount;
        }
        if (address < 0) {
            return HexRecordFault::BadAddress;
        }
        // Each chip location is one 2-byte word, so records must hold whole words.
        if (count % 2 != 0) {
            return HexRecordFault::OddByteCount;
        }
        if (address % 2 != 0) {
            return HexRecordFault::OddAddress;
        }
        if (data.size() != static_cast<std::size_t>(count) * 2) {
            return HexRecordFault::WrongDataLength;
        }
        const std::int64_t first_word = upper_ * kSegmentWords + address / 2;
        for (std::int32_t k = 0; k < count / 2; ++k) {
            const std::string_view pair = data.substr(static_cast<std::size_t>(k) * 4, 4);
            // Low byte first: "0528" is the word 2805h.
            std::string swapped(pair.substr(2, 2));
            swapped.append(pair.substr(0, 2));
            const std::int32_t value = hexval4(swapped);
            ranges_.add(first_word + k);
            if (!place_word(image_, first_word + k, value, flash_extent_, out_of_range_)) {
                return HexRecordFault::BadDataWord;
            }
        }
        return HexRecordFault::None;
    }

    MemoryImage& image_;
    OutOfRangeList& out_of_range_;
    RangeList& ranges_;
    std::int64_t upper_ = 0;
    std::int32_t flash_extent_ = 0;
};

HexMessage file_error_message(const std::string& path, const std::string& reason) {
    std::string text = "Cannot read the HEX file ";
    text.append(path).append(kCrLf).append(reason).append(".");
    return {std::move(text), message_kind::kError, {}};
}

HexOpenReport open_report(HexReadResult read, const std::string& path, MemoryImage& image) {
    HexOpenReport report;
    report.loaded = read.loaded;
    report.messages = std::move(read.messages);
    report.last_path = split_path(path).folder;
    if (read.loaded) {
        report.flash_extent = read.flash_extent;
        report.out_of_range_count = read.out_of_range_count;
        report.highest_address = read.highest_address;
        report.ranges = std::move(read.ranges);
        report.ranges_complete = read.ranges_complete;
        report.cut_short = !read.end_record;
        report.status_text = hex_loaded_status(read.flash_extent);
        report.loaded_file_label = short_path(path);
    } else {
        image.clear_image();
        report.status_text = std::string(kHexNotLoadedStatus);
    }
    return report;
}

}  // namespace

std::string_view hex_fault_text(HexRecordFault fault) {
    switch (fault) {
        case HexRecordFault::None:
            return {};
        case HexRecordFault::NoColon:
            return ": The record does not begin with ':' simbol.";
        case HexRecordFault::TooShort:
            return ": The record is too short.";
        case HexRecordFault::BadChecksum:
            return ": Invalid 'checksum' field in the record.";
        case HexRecordFault::BadRecordType:
            return ": Invalid 'record type' field in the record.";
        case HexRecordFault::BadExtendedAddress:
            return ": Invalid '04 type' record.";
        case HexRecordFault::BadByteCount:
            return ": Invalid 'number of bytes' field in the record.";
        case HexRecordFault::BadAddress:
            return ": Invalid 'address' field in the record.";
        case HexRecordFault::OddByteCount:
            return ": Field 'number of bytes' in the record must contain an even value.";
        case HexRecordFault::OddAddress:
            return ": Field 'address' in the record must contain an even value.";
        case HexRecordFault::WrongDataLength:
            return ": The record does not contain the specified number of bytes.";
        case HexRecordFault::BadDataWord:
            return ": Invalid data byte in the record.";
    }
    return {};
}

HexReadResult load_hex_text(std::string_view bytes, MemoryImage& image) {
    HexReadResult result;
    OutOfRangeList out_of_range;
    RangeList ranges;
    RecordReader reader(image, out_of_range, ranges);
    const std::string text = normalise_line_ends(bytes);
    const std::vector<std::string_view> lines = split_lines(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const RecordOutcome outcome = reader.read_line(lines[i]);
        if (outcome.fault != HexRecordFault::None) {
            result.fault = outcome.fault;
            result.line_number = static_cast<int>(i + 1);
            result.messages.push_back(record_error(result.line_number, outcome.fault, lines[i]));
            image.clear_image();
            return result;
        }
        if (outcome.end_of_file) {
            result.end_record = true;
            break;
        }
    }
    result.loaded = true;
    result.flash_extent = reader.flash_extent();
    result.out_of_range_count = out_of_range.count();
    result.out_of_range_head = out_of_range.head();
    result.out_of_range_tail = out_of_range.tail();
    result.highest_address = ranges.highest_;
    result.ranges = std::move(ranges.ranges_);
    result.ranges_complete = ranges.complete_;
    if (out_of_range.count() > 0) {
        result.messages.push_back(out_of_range_warning(out_of_range));
    }
    return result;
}

HexReadResult load_hex_file(const std::string& path, MemoryImage& image) {
    const FileReadResult file = read_input_file(path);
    if (!file.ok) {
        HexReadResult result;
        result.file_error = true;
        result.messages.push_back(file_error_message(path, file.error));
        image.clear_image();
        return result;
    }
    return load_hex_text(file.bytes, image);
}

HexOpenReport open_hex_file(const std::string& path, MemoryImage& image) {
    image.clear_image();
    return open_report(load_hex_file(path, image), path, image);
}

HexOpenReport open_hex_text(std::string_view bytes, const std::string& path, MemoryImage& image) {
    image.clear_image();
    return open_report(load_hex_text(bytes, image), path, image);
}

std::string hex_loaded_status(std::int32_t flash_extent) {
    return "Operation completed. Total " + std::to_string(flash_extent) + " (" +
           kilo_words_text(flash_extent) + "K) program words loaded.";
}

std::string kilo_words_text(std::int32_t words) {
    // words / 1024 is exact in binary, and 15 significant digits hold every
    // count the image can have, so printf's shortest form is the exact value.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", static_cast<double>(words) / 1024.0);
    std::string text(buffer);
    if (text.rfind("0.", 0) == 0) {
        text.erase(0, 1);
    } else if (text.rfind("-0.", 0) == 0) {
        text.erase(1, 1);
    }
    return text.substr(0, 4);
}

SplitPath split_path(std::string_view path) {
#ifdef _WIN32
    const std::size_t cut = path.find_last_of("\\/");
#else
    const std::size_t cut = path.find_last_of('/');
#endif
    if (cut == std::string_view::npos) {
        return {{}, std::string(path)};
    }
    return {std::string(path.substr(0, cut + 1)), std::string(path.substr(cut + 1))};
}

}  // namespace corvanel
