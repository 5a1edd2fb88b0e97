// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window's production tools, in the "Pro&duction" menu and the status bar:
// the memories Program All and Read All work on, Preserve EEPROM, serial
// numbers, the production log and the pass / fail / total counters.
//
// Every Program All of the window runs here as a short sequence of the
// engine's operations: two Read Alls first when a memory of the chip is to be
// kept (the erase clears them all; the line has no checksum, so the kept
// memories of both reads must agree), the Program All of the merged image with
// the serial number, and a Verify of that image when it is not simply the
// buffer. The buffer itself is put back afterwards. The sequence ends as
// "pass" only when every step finished well; a step that fails ends it as
// "fail", a Stop or a question answered No as "cancelled" (the engine has
// switched the voltages off). The kept memories wait in a rescue file until
// they are on the chip again (core/engine/kept_memory_recovery.h).

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <optional>

#include "core/engine/chip_operations.h"
#include "core/engine/production_log.h"
#include "core/engine/region_selection.h"
#include "core/engine/serial_number.h"
#include "core/image/memory_image.h"

class QAction;
class QLabel;
class QMenu;
class QMenuBar;

namespace corvanel {

class Form1;

class ProductionPanel : public QObject {
    Q_OBJECT
public:
    explicit ProductionPanel(Form1& form);

    // The "Pro&duction" menu, added to `bar`; the counters' label for the status bar.
    QMenu* build_menu(QMenuBar* bar);
    [[nodiscard]] QLabel* counters_label() const { return counters_label_; }

    // Program All always runs here; Read All when not every memory is selected.
    [[nodiscard]] bool takes(OperationKind operation) const;
    // Starts the sequence for the operation (the window has asked its questions).
    // `on_change`: a Program All of "Program on Change", always verified and
    // counted in the status line when it passes.
    void start(OperationKind operation, bool on_change = false);
    // Repeat on Chip Insertion: every Program All is verified, whatever the setting.
    void set_always_verify(bool on) { always_verify_ = on; }
    // A sequence is under way (between its steps too).
    [[nodiscard]] bool busy() const { return active_; }
    // The running step is the read before a Program All (the buffer stays the file's).
    [[nodiscard]] bool reading_for_program() const { return step_ == Step::ReadFirst; }
    // Called by the window whenever the command lock is lifted.
    void operation_ended();

    // The settings, as the menu and the dialog set them (kept in the settings store).
    void set_regions(const RegionSelection& regions);
    [[nodiscard]] const RegionSelection& regions() const { return regions_; }
    void set_preserve_eeprom(bool preserve);
    [[nodiscard]] bool preserve_eeprom() const { return preserve_eeprom_; }
    void set_serial(const SerialNumber& serial, bool enabled);
    [[nodiscard]] const SerialNumber& serial() const { return serial_; }
    [[nodiscard]] bool serial_enabled() const { return serial_enabled_; }
    // Empty: no log.
    void set_log_path(const QString& path);
    [[nodiscard]] const QString& log_path() const { return log_path_; }

    [[nodiscard]] const ProductionCounters& counters() const { return counters_; }
    // How the last Program All sequence ended; nothing when it did not begin
    // (nothing selected, a serial number that does not fit).
    [[nodiscard]] const std::optional<ProductionResult>& last_result() const {
        return last_result_;
    }
    // The last sequence passed with the last serial number that fits: what to
    // say (a series of chips ends there). Empty otherwise.
    [[nodiscard]] const QString& serials_used_up() const { return serials_used_up_; }
    void reset_counters();
    // A chip that another series (several boards at once) passed or failed.
    void count_chip(bool passed);

    // The menu's controls, for tests.
    std::array<QAction*, 4> region_actions{};  // program memory, EEPROM, user IDs, configuration
    QAction* preserve_action = nullptr;
    QAction* serial_action = nullptr;
    QAction* log_action = nullptr;
    QAction* reset_action = nullptr;

private:
    enum class Step { None, ReadFirst, ReadAgain, Program, Verify, Read, VerifyRead };

    void load_settings();
    void show_counters();
    void sync_menu();
    // Greys out the memories the applied model lacks, as the menu opens.
    void offer_model_memories();
    void choose_log_file();
    void edit_serial_numbers();
    // Starts one operation of the sequence; false when it did not start.
    bool begin(Step step, OperationKind kind);
    void poll();
    void step_done(bool ok);
    // The running step is the sequence's last when it succeeds.
    [[nodiscard]] bool last_step() const;
    // Program All of the buffer as it is needs no Verify of its own, unless
    // "Verify After Program All" (or Program on Change) asks for one.
    [[nodiscard]] bool last_step_after_program() const {
        return programmed_.all() && !serial_enabled_ && !verify_wanted_;
    }
    // Both reads are in: compares them, keeps them in the rescue file and
    // starts the Program All of the merged image.
    void program_merged();
    void finish_program(ProductionResult result, const QString& reason = QString());
    // How a step that did not succeed ends the sequence: a Stop or a question
    // answered No is "cancelled", anything else "fail".
    void finish_failed_step();
    void classify_failed_step();
    void finish_read(bool passed);

    Form1& form_;
    QMenu* menu_ = nullptr;
    QLabel* counters_label_ = nullptr;
    QTimer poll_;

    RegionSelection regions_;
    bool preserve_eeprom_ = false;
    SerialNumber serial_;
    bool serial_enabled_ = false;
    QString log_path_;
    ProductionCounters counters_;

    bool active_ = false;
    Step step_ = Step::None;
    // The step whose failure ends the sequence (Verify: Program All had written the chip).
    Step failed_step_ = Step::None;
    // The step's operation has run its completion routine without a failure.
    bool step_completed_ = false;
    // Inside start_operation of the step.
    bool starting_ = false;
    // The user's buffer during a sequence, put back at its end.
    std::optional<MemoryImage> buffer_;
    RegionSelection programmed_;
    std::uint16_t programmed_checksum_ = 0;
    std::uint16_t file_checksum_ = 0;
    std::int32_t id_word_ = -1;
    std::int32_t revision_word_ = -1;
    // The first of the two reads before the erase.
    std::optional<MemoryImage> first_read_;
    // Memories taken from the rescue file instead of the chip.
    RegionSelection rescued_{false, false, false, false};
    std::optional<MemoryImage> rescued_image_;
    // The rescue file written for this run (removed once the chip has them back).
    bool kept_saved_ = false;
    // Code protection refused the region erase: this run keeps by reading instead.
    bool region_erase_refused_ = false;
    // The model's Program All erases around the memories `kept` (and this run may).
    [[nodiscard]] bool erases_around_kept(const RegionSelection& kept);
    // The step did not start: the user did not go on past the Vpp question.
    bool start_refused_ = false;
    // The last step's operation started (false: refused or no port before anything ran).
    bool step_started_ = true;
    // The Verify after Program All is wanted (the setting, or Program on Change),
    // and the build leaves the chip readable.
    bool verify_wanted_ = false;
    bool on_change_ = false;
    bool always_verify_ = false;
    QString serials_used_up_;
    std::optional<ProductionResult> last_result_;
};

}  // namespace corvanel
