// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/job_file.h"

#include <array>
#include <cstdio>
#include <map>

#include "core/devices/vpp_window.h"
#include "core/engine/serial_number.h"
#include "core/text/ascii_text.h"

namespace corvanel {

namespace {

constexpr std::array<std::string_view, 9> kKeys{"model", "hex", "sha256", "memories", "serial",
                                                "log",   "vdd", "vpp",    "repeat"};
constexpr std::size_t kSha256Digits = 64;

std::string key_list() {
    std::string list;
    for (const std::string_view key : kKeys) {
        list += (list.empty() ? "" : ", ") + std::string(key);
    }
    return list;
}

std::optional<VoltRange> parse_range(std::string_view text) {
    const auto dash = text.find('-');
    if (dash == std::string_view::npos) {
        return std::nullopt;
    }
    const auto low = parse_volts(trimmed(text.substr(0, dash)));
    const auto high = parse_volts(trimmed(text.substr(dash + 1)));
    if (!low || !high || *low > *high) {
        return std::nullopt;
    }
    return VoltRange{*low, *high};
}

std::string range_text(const VoltRange& range) {
    std::array<char, 48> text{};
    std::snprintf(text.data(), text.size(), "%.2f-%.2f", range.low, range.high);
    return text.data();
}

std::string volts2(double volts) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.2f V", volts);
    return text.data();
}

}  // namespace

JobParseResult parse_job_text(std::string_view text, std::string_view file_name) {
    JobFile job;
    std::map<std::string, int> seen;
    const std::string file(file_name);
    auto fault = [&](int line, const std::string& what) {
        return JobParseResult{std::nullopt, file + ":" + std::to_string(line) + ": " + what};
    };
    int number = 0;
    while (!text.empty()) {
        ++number;
        const auto end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const std::string_view line = trimmed(raw);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) {
            return fault(number, "not \"key: value\": \"" + std::string(line) + "\"");
        }
        const std::string key(trimmed(line.substr(0, colon)));
        const std::string_view value = trimmed(line.substr(colon + 1));
        bool known = false;
        for (const std::string_view k : kKeys) {
            known = known || k == key;
        }
        if (!known) {
            return fault(number, "unknown key \"" + key + "\" (a job knows " + key_list() + ")");
        }
        if (const auto before = seen.find(key); before != seen.end()) {
            return fault(number, "\"" + key + ":\" given again (first on line " +
                                     std::to_string(before->second) + ")");
        }
        seen[key] = number;
        if (value.empty()) {
            return fault(number, "\"" + key + ":\" has no value");
        }
        if (key == "model") {
            job.model = value;
        } else if (key == "hex") {
            job.hex = value;
        } else if (key == "sha256") {
            if (value.size() != kSha256Digits ||
                std::string_view(value).find_first_not_of("0123456789abcdefABCDEF") !=
                    std::string_view::npos) {
                return fault(number, "sha256 must be 64 hexadecimal digits");
            }
            job.sha256 = lower_copy(value);
        } else if (key == "memories") {
            const auto memories = parse_region_list(value);
            if (!memories) {
                return fault(number,
                             "memories must be \"all\" or a comma list of flash, "
                             "eeprom, id and config");
            }
            job.memories = *memories;
        } else if (key == "serial") {
            std::string error;
            if (!parse_serial_text(value, error)) {
                return fault(number, "serial " + std::string(value) + ": " + error);
            }
            job.serial = value;
        } else if (key == "log") {
            job.log = value;
        } else if (key == "vdd" || key == "vpp") {
            const auto range = parse_range(value);
            if (!range) {
                return fault(number, key + " must be a range of volts, low-high (\"" +
                                         (key == "vdd" ? "4.75-5.25" : "12.5-13.5") + "\")");
            }
            (key == "vdd" ? job.vdd : job.vpp) = range;
        } else if (key == "repeat") {
            if (value != "yes" && value != "no") {
                return fault(number, "repeat must be yes or no");
            }
            job.repeat = value == "yes";
        }
    }
    for (const char* needed : {"model", "hex", "sha256"}) {
        if (seen.find(needed) == seen.end()) {
            return {std::nullopt, file + ": no \"" + needed + ":\" line (a job needs model, hex " +
                                      "and sha256)"};
        }
    }
    return {job, {}};
}

std::string job_text(const JobFile& job) {
    std::string text = "# Tavrelix Corvanel job: opened with \"Open Job\" or corvanel job FILE.\n";
    text += "model: " + job.model + "\n";
    text += "hex: " + job.hex + "\n";
    text += "sha256: " + job.sha256 + "\n";
    text += "memories: " + region_list_text(job.memories) + "\n";
    if (!job.serial.empty()) {
        text += "serial: " + job.serial + "\n";
    }
    if (!job.log.empty()) {
        text += "log: " + job.log + "\n";
    }
    if (job.vdd) {
        text += "vdd: " + range_text(*job.vdd) + "\n";
    }
    if (job.vpp) {
        text += "vpp: " + range_text(*job.vpp) + "\n";
    }
    text += std::string("repeat: ") + (job.repeat ? "yes" : "no") + "\n";
    return text;
}

std::string job_rails_refusal(const JobFile& job, std::optional<double> board_vdd,
                              std::optional<double> board_vpp) {
    const struct {
        const char* name;
        const std::optional<VoltRange>& range;
        std::optional<double> volts;
    } rails[] = {{"Vdd", job.vdd, board_vdd}, {"Vpp", job.vpp, board_vpp}};
    for (const auto& rail : rails) {
        if (!rail.range) {
            continue;
        }
        const std::string expected = "the job expects " + range_text(*rail.range) + " V";
        if (!rail.volts) {
            return std::string("The board does not report its ") + rail.name + "; " + expected +
                   ".";
        }
        if (!rail.range->holds(*rail.volts)) {
            return std::string("The board's ") + rail.name + " reads " + volts2(*rail.volts) +
                   "; " + expected + ".";
        }
    }
    return {};
}

}  // namespace corvanel
