// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/calibration_recovery.h"

#include <bit>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "core/engine/program_state.h"
#include "core/files/replace_file.h"
#include "core/image/hex_text.h"
#include "core/text/ascii_text.h"

namespace corvanel {

namespace {

constexpr std::string_view kWordKey = "OSCCAL ";
constexpr std::string_view kBitsKey = "CONFIG ";

std::optional<std::filesystem::path> recovery_file(const ProgramState& state) {
    if (!state.calibration_folder) {
        return std::nullopt;
    }
    return calibration_recovery_file(*state.calibration_folder, state.model.model_name);
}

// The bits of `value` under `mask`, as binary digits from the highest: "10".
std::string bits_text(std::int32_t value, std::int32_t mask) {
    std::string text;
    for (int bit = 13; bit >= 0; --bit) {
        if ((mask >> bit) & 1) {
            text += ((value >> bit) & 1) != 0 ? '1' : '0';
        }
    }
    return text;
}

}  // namespace

std::filesystem::path calibration_recovery_file(const std::filesystem::path& folder,
                                                const std::string& model_name) {
    std::string safe;
    for (const char c : model_name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_';
        safe += plain ? c : '_';
    }
    return folder / ("calibration-" + safe + ".txt");
}

bool save_calibration(const std::filesystem::path& file, const SavedCalibration& saved) {
    return !calibration_save_error(file, saved);
}

std::optional<std::string> calibration_save_error(const std::filesystem::path& file,
                                                  const SavedCalibration& saved) {
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    std::string text;
    if (saved.word >= 0) {
        text += std::string(kWordKey) + hex4(saved.word) + "\r\n";
    }
    if (saved.bits >= 0) {
        text += std::string(kBitsKey) + hex4(saved.bits) + "\r\n";
    }
    // The one safe write: a fresh temporary file that a planted link cannot
    // redirect, renamed over the target; a target that is a link or no regular
    // file is refused.
    return replace_file(file, text);
}

std::optional<SavedCalibration> load_saved_calibration(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    // A few short lines; anything longer is not one of ours.
    std::string text(256, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    SavedCalibration saved;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const auto value = [&line](std::string_view key) {
            return line.size() == key.size() + 4 && line.compare(0, key.size(), key) == 0
                       ? hexval4(line.substr(key.size()))
                       : -1;
        };
        if (const std::int32_t word = value(kWordKey); word >= 0 && word <= 0x3FFF) {
            saved.word = word;
        } else if (const std::int32_t bits = value(kBitsKey); bits >= 0 && bits <= 0x3FFF) {
            saved.bits = bits;
        }
    }
    if (saved.word < 0 && saved.bits < 0) {
        return std::nullopt;
    }
    return saved;
}

std::string calibration_values_text(const SavedCalibration& saved,
                                    std::int32_t calibration_bits_mask) {
    std::string text;
    if (saved.word >= 0) {
        text = "OSCCAL was " + hex4h(saved.word);
    }
    if (saved.bits >= 0 && calibration_bits_mask != 0) {
        text += (text.empty() ? "Band-gap was " : ", band-gap ") +
                bits_text(saved.bits, calibration_bits_mask) + "b";
    }
    return text;
}

CalibrationKept keep_calibration_before_erase(ProgramState& state, const SavedCalibration& kept) {
    const auto file = recovery_file(state);
    if (!file) {
        return CalibrationKept::Saved;
    }
    std::string reason;
    const auto existing = load_saved_calibration(*file);
    if (existing && (existing->word != kept.word || existing->bits != kept.bits)) {
        reason = "it holds the values an earlier operation kept (" +
                 calibration_values_text(*existing, state.model.calibration_config_bits) +
                 "), which are not replaced";
    } else if (const auto error = calibration_save_error(*file, kept)) {
        reason = *error;
    } else {
        return CalibrationKept::Saved;
    }
    const std::string question =
        calibration_values_text(kept, state.model.calibration_config_bits) +
        ": they cannot be saved in " + file->string() + ": " + reason +
        ".\r\nErased now, they are kept only in this program until they are written back: "
        "an operation that ends after the erase loses them. Nothing has been erased.\r\n"
        "Erase the chip anyway?";
    return state.engine_host().show_message(question, message_kind::kQuestion, "") ==
                   message_result::kYes
               ? CalibrationKept::Unsaved
               : CalibrationKept::Refused;
}

void rescue_calibration(ProgramState& state) {
    const ScriptRunner& runner = state.runner;
    const SavedCalibration saved{runner.kept_calibration_word, runner.kept_calibration_bits};
    const std::string values = calibration_values_text(saved, state.model.calibration_config_bits);
    std::string text = values +
                       ": the operation ended after the erase, before they were written back to "
                       "the chip.\r\n";
    const auto file = recovery_file(state);
    if (file && save_calibration(*file, saved)) {
        text += "They are kept in " + file->string() +
                ", and the next Erase All or Program All of " + state.model.model_name +
                " offers to write them back.";
    } else {
        text +=
            "Write them down: put the OSCCAL word into the image at its address and run "
            "Program All again.";
    }
    (void)state.engine_host().show_message(text, message_kind::kError, "");
}

std::optional<SavedCalibration> offer_saved_calibration(ProgramState& state,
                                                        std::int32_t chip_word) {
    if (state.typed_calibration) {
        SavedCalibration typed = *state.typed_calibration;
        state.typed_calibration.reset();
        const auto& calibration = state.model.calibration_word;
        if (typed.word < 0) {
            // Only the band-gap bits were typed: the chip's own word stays, when
            // it has one; otherwise the usual rules decide (the image's RETLW).
            if (!calibration || !calibration->accepts(chip_word)) {
                return std::nullopt;
            }
            typed.word = chip_word;
        }
        return typed;
    }
    const auto file = recovery_file(state);
    if (!file) {
        return std::nullopt;
    }
    const auto saved = load_saved_calibration(*file);
    const auto& calibration = state.model.calibration_word;
    if (!saved || !calibration) {
        return std::nullopt;
    }
    // A chip that still holds a calibration of its own other than the saved one is
    // another chip: its own is kept.
    if (calibration->accepts(chip_word) && chip_word != saved->word) {
        return std::nullopt;
    }
    std::string values = calibration_values_text(*saved, state.model.calibration_config_bits);
    const std::string question =
        "An earlier operation ended after the erase and kept the chip's calibration: " +
        values.replace(values.find(" was "), 5, " ") + ".\r\nWrite it back to the chip now?";
    if (state.engine_host().show_message(question, message_kind::kQuestion, "") !=
        message_result::kYes) {
        return std::nullopt;
    }
    return saved;
}

std::string calibration_read_text(const MemoryImage& image, const ActiveModel& model) {
    const auto& calibration = model.calibration_word;
    if (!calibration) {
        return {};
    }
    const std::int32_t word = image.flash_word(calibration->address);
    std::string text = "OSCCAL (" + hex4h(calibration->address) + "): " + hex4(word);
    text += calibration->accepts(word)
                ? ", RETLW " + hex4h(word & 0xFF).substr(2)
                : ", not a calibration word: the chip has lost it (type the value on its label)";
    const std::int32_t bits = model.calibration_config_bits;
    if (bits != 0) {
        int high = 13;
        while (high > 0 && ((bits >> high) & 1) == 0) {
            --high;
        }
        int low = 0;
        while (low < high && ((bits >> low) & 1) == 0) {
            ++low;
        }
        text += "\r\nBand-gap (" + hex4h(kConfig1Address) + " bits " + std::to_string(high) + ":" +
                std::to_string(low) + "): " + bits_text(image.config1, bits);
    }
    return text;
}

std::optional<SavedCalibration> parse_typed_calibration(std::string_view word,
                                                        std::string_view bandgap,
                                                        const ActiveModel& model,
                                                        std::string& error) {
    const auto& calibration = model.calibration_word;
    if (!calibration) {
        error = model.model_name + " keeps no calibration in program memory";
        return std::nullopt;
    }
    SavedCalibration typed;
    if (!word.empty()) {
        if (word.size() == 5 && (word.back() == 'h' || word.back() == 'H')) {
            word.remove_suffix(1);
        }
        const std::string upper = upper_copy(word);
        const std::int32_t value = upper.size() == 4 ? hexval4(upper) : -1;
        if (value < 0 || value > kBlankFlashWord || !calibration->accepts(value)) {
            // A wrong word would become the chip's calibration for good.
            error = "OSCCAL " + std::string(word) + " is not a calibration word of " +
                    model.model_name + " (four hex digits, " + hex4(calibration->check_value) +
                    " to " + hex4(calibration->check_value | (~calibration->check_mask & 0x3FFF)) +
                    ")";
            return std::nullopt;
        }
        typed.word = value;
    }
    if (!bandgap.empty()) {
        const std::int32_t mask = model.calibration_config_bits;
        std::int32_t value = 0;
        std::size_t used = 0;
        for (int bit = 13; bit >= 0; --bit) {
            if (((mask >> bit) & 1) == 0) {
                continue;
            }
            if (used >= bandgap.size() || (bandgap[used] != '0' && bandgap[used] != '1')) {
                used = bandgap.size() + 1;
                break;
            }
            value |= (bandgap[used] == '1' ? 1 : 0) << bit;
            ++used;
        }
        if (mask == 0) {
            error = model.model_name + " has no band-gap bits";
            return std::nullopt;
        }
        if (used != bandgap.size()) {
            error = "band-gap " + std::string(bandgap) + " is not " +
                    std::to_string(std::popcount(static_cast<unsigned>(mask))) +
                    " binary digits for " + model.model_name;
            return std::nullopt;
        }
        typed.bits = value;
    }
    if (typed.word < 0 && typed.bits < 0) {
        error = "no value to write";
        return std::nullopt;
    }
    return typed;
}

void forget_saved_calibration(ProgramState& state) {
    if (const auto file = recovery_file(state)) {
        std::error_code error;
        std::filesystem::remove(*file, error);
    }
}

}  // namespace corvanel
