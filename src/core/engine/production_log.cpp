// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/production_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/devices/device_identity.h"
#include "core/image/hex_text.h"

namespace corvanel {

namespace {

std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

// A reason on one line: the log is one line per chip.
std::string one_line(const std::string& text) {
    std::string line;
    for (const char c : text) {
        if (c == '\r' || c == '\n') {
            if (!line.empty() && line.back() != ' ') {
                line += ' ';
            }
        } else {
            line += c;
        }
    }
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line;
}

}  // namespace

std::string_view production_result_text(ProductionResult result) {
    switch (result) {
        case ProductionResult::Pass:
            return "pass";
        case ProductionResult::Cancelled:
            return "cancelled";
        case ProductionResult::Fail:
            break;
    }
    return "fail";
}

std::string gone_at_verify_reason(const std::string& model) {
    return "Program All ran, then the chip in the socket did not answer as a " + model +
           " at Verify; the question was answered No";
}

std::string iso8601_utc(std::time_t time) {
    std::tm parts{};
#if defined(_WIN32)
    gmtime_s(&parts, &time);
#else
    gmtime_r(&time, &parts);
#endif
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return std::string(text, length);
}

std::string production_log_line(const ProductionRecord& record) {
    std::string line = iso8601_utc(record.time);
    line += ',';
    line += csv_field(record.model);
    line += ',';
    if (record.id_word) {
        const std::int32_t word = *record.id_word & 0x3FFF;
        line += hex4(word & record.id_mask);
        line += ',';
        if (record.revision_word && *record.revision_word >= 0) {
            const std::int32_t revision = revision_from_word(*record.revision_word);
            line += revision > 0xFF ? hex4(revision).substr(1) : hex2(revision);
        } else {
            line += hex2(word & ~record.id_mask & 0x3FFF);
        }
    } else {
        line += ',';
    }
    line += ',';
    line += hex4(record.checksum);
    line += ',';
    line += production_result_text(record.result);
    line += ',';
    if (record.serial) {
        line += std::to_string(*record.serial);
    }
    line += ',';
    line += csv_field(one_line(record.file));
    line += ',';
    if (record.file_checksum) {
        line += hex4(*record.file_checksum);
    }
    line += ',';
    line += csv_field(one_line(record.reason));
    line += ',';
    line += csv_field(one_line(record.port));
    return line;
}

std::optional<std::string> production_log_refusal(const std::string& path) {
    std::error_code error;
    // Links are followed: a link to a log file is a log file.
    const auto status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status) || std::filesystem::is_regular_file(status)) {
        return std::nullopt;  // a new file, or one fopen reports on
    }
    return path + " is not a regular file";
}

std::optional<std::string> append_production_log(const std::string& path,
                                                 const ProductionRecord& record) {
    if (auto refused = production_log_refusal(path)) {
        return refused;
    }
    std::FILE* file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) {
        return path + ": " + std::strerror(errno);
    }
    std::string text;
    // In append mode the position is the end of the file: 0 for a new or empty one.
    if (std::fseek(file, 0, SEEK_END) == 0 && std::ftell(file) == 0) {
        text.append(kProductionLogHeader).append("\n");
    }
    text.append(production_log_line(record)).append("\n");
    const bool written =
        std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
    const int error = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        return path + ": " + std::strerror(written ? errno : error);
    }
    return std::nullopt;
}

}  // namespace corvanel
