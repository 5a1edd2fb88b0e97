// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/hex_text.h"

namespace corvanel {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

// The last `width` hex digits of the 32-bit two's complement of `value`,
// zero-padded on the left.
std::string fixed_hex(std::int32_t value, int width) {
    auto bits = static_cast<std::uint32_t>(value);
    std::string text(static_cast<std::size_t>(width), '0');
    for (int i = width - 1; i >= 0 && bits != 0; --i) {
        text[static_cast<std::size_t>(i)] = kDigits[bits & 0xFU];
        bits >>= 4U;
    }
    return text;
}

int digit_value(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::string hex2(std::int32_t value) {
    return fixed_hex(value, 2);
}
std::string hex2h(std::int32_t value) {
    return hex2(value) + "h";
}
std::string hex4(std::int32_t value) {
    return fixed_hex(value, 4);
}
std::string hex4h(std::int32_t value) {
    return hex4(value) + "h";
}
std::string hex6(std::int32_t value) {
    return fixed_hex(value, 6);
}

std::string hex4_swapped(std::int32_t value) {
    const std::string text = hex4(value);
    return text.substr(2, 2) + text.substr(0, 2);
}

std::int32_t hexval2(std::string_view text) {
    if (text.size() != 2) {
        return -1;
    }
    const int high = digit_value(text[0]);
    const int low = digit_value(text[1]);
    if (high < 0 || low < 0) {
        return -1;
    }
    return high * 16 + low;
}

std::int32_t hexval4(std::string_view text) {
    if (text.size() != 4) {
        return -1;
    }
    const std::int32_t high = hexval2(text.substr(0, 2));
    const std::int32_t low = hexval2(text.substr(2, 2));
    if (high < 0 || low < 0) {
        return -1;
    }
    return high * 256 + low;
}

std::string hex_checksum(std::string_view record_text) {
    std::int64_t sum = 0;
    for (std::size_t i = 0; i + 1 < record_text.size(); i += 2) {
        sum += hexval2(record_text.substr(i, 2));
    }
    // The remainder keeps the sign of the sum, so a negative sum (from invalid
    // pairs) gives 256 minus a non-positive remainder: a value that can never
    // be mistaken for the checksum of the same record with valid digits.
    const auto remainder = static_cast<std::int32_t>(sum % 256);
    return hex2(256 - remainder);
}

std::string short_path(std::string_view path) {
    // Paths are UTF-8: the 70 kept are characters, and the cut never falls
    // inside one. A character starts at every byte that is not a
    // continuation byte (10xxxxxx).
    constexpr std::size_t kKeep = 70;
    std::size_t characters = 0;
    std::size_t start = path.size();
    while (start > 0) {
        std::size_t lead = start - 1;
        while (lead > 0 && (static_cast<unsigned char>(path[lead]) & 0xC0U) == 0x80U) {
            --lead;
        }
        if (characters == kKeep) {
            return "... " + std::string(path.substr(start));
        }
        ++characters;
        start = lead;
    }
    return std::string(path);
}

}  // namespace corvanel
