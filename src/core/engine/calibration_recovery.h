// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Factory calibration that an operation read, erased and could not write back.
// The 12F629/675 and 16F630/676 lose their OSCCAL word and band-gap bits in every
// bulk erase; Erase All and Program All keep both and write them back right after
// the erase. When the operation ends in between (the board stops answering, the
// line is lost, the program is ended), the values must not be lost with it: they
// are shown, and kept in a small file of the configuration folder, from which the
// next Erase All or Program All of the same model offers to write them back.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/devices/model_application.h"
#include "core/image/memory_image.h"

namespace corvanel {

struct ProgramState;

struct SavedCalibration {
    std::int32_t word = -1;  // the calibration word (OSCCAL); -1: none
    std::int32_t bits = -1;  // the calibration bits of configuration word 1; -1: none
};

// The recovery file of a model in `folder`: "calibration-PIC12F675.txt".
[[nodiscard]] std::filesystem::path calibration_recovery_file(const std::filesystem::path& folder,
                                                              const std::string& model_name);

// Writes the file (lines "OSCCAL 3480" and "CONFIG 2000", CR LF); false when it
// cannot be written.
bool save_calibration(const std::filesystem::path& file, const SavedCalibration& saved);
// The same, answering why it cannot be written; nothing when it was.
[[nodiscard]] std::optional<std::string> calibration_save_error(const std::filesystem::path& file,
                                                                const SavedCalibration& saved);
// The values of a recovery file; nothing when there is none or it is not sound.
[[nodiscard]] std::optional<SavedCalibration> load_saved_calibration(
    const std::filesystem::path& file);

// "OSCCAL was 3480h, band-gap 10b": the values as the user reads them off.
[[nodiscard]] std::string calibration_values_text(const SavedCalibration& saved,
                                                  std::int32_t calibration_bits_mask);

// Before the first command that may erase the chip's calibration: the values
// go to the recovery file first (when the state names a folder for it), so that
// no way the operation can end leaves them in this program only. A file that
// holds other values (another chip's, not taken) is not replaced. When the
// values cannot be kept there, the user is told where and why and asked.
enum class CalibrationKept {
    Saved,    // in the file (or no folder is named: nothing to keep them in)
    Unsaved,  // not in the file; the user said "Yes" to the erase
    Refused,  // not in the file; "No": nothing may be erased
};
[[nodiscard]] CalibrationKept keep_calibration_before_erase(ProgramState& state,
                                                            const SavedCalibration& kept);
// The status line when the answer was "No": the chip is as it was.
inline constexpr std::string_view kCalibrationNotSavedStatus =
    "Calibration cannot be saved! Operation aborted.";

// The operation is ending while the chip's calibration is erased and not yet
// written back: shows the values and keeps them in the recovery file (when the
// state names a folder for it).
void rescue_calibration(ProgramState& state);

// Asked at the first calibration read of Erase All or Program All when a recovery
// file of the model exists and the chip's own word is lost (or equals the saved
// one): "Yes" takes the saved values. Answers the values to use, or nothing.
// Values the user typed (ProgramState::typed_calibration) come first, unasked.
[[nodiscard]] std::optional<SavedCalibration> offer_saved_calibration(ProgramState& state,
                                                                      std::int32_t chip_word);

// The calibration a Read All brought into `image`, as lines to show:
// "OSCCAL (03FFh): 3480, RETLW 80h" and "Band-gap (2007h bits 13:12): 10".
// Empty for a model that keeps no calibration in program memory.
[[nodiscard]] std::string calibration_read_text(const MemoryImage& image, const ActiveModel& model);

// The values as the user typed them: the OSCCAL word as four hex digits (a trailing
// "h" allowed; empty: keep the chip's) and the band-gap bits as binary digits, one
// per calibration bit of configuration word 1 ("10"; empty: keep the chip's). On
// a fault `error` says what is wrong and nothing is answered.
[[nodiscard]] std::optional<SavedCalibration> parse_typed_calibration(std::string_view word,
                                                                      std::string_view bandgap,
                                                                      const ActiveModel& model,
                                                                      std::string& error);

// The calibration is back in the chip: the recovery file has served.
void forget_saved_calibration(ProgramState& state);

}  // namespace corvanel
