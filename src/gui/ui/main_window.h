// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Form1, the main window: the loaded file, the applied model, the FLASH and
// EEPROM tables with their scroll bars, the configuration words, the five chip
// operations and the status line. It owns no data: the memory image and the
// model live in the program state (state()).

#include <array>
#include <functional>
#include <optional>
#include <string>

#include <QElapsedTimer>
#include <QFont>
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>

#include "core/engine/calibration_recovery.h"
#include "core/engine/chip_operations.h"
#include "core/engine/engine_host.h"
#include "core/engine/progress_estimate.h"
#include "core/image/memory_image.h"
#include "platform/link/precise_pause.h"

class QAction;
class QActionGroup;
class QFileSystemWatcher;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;

namespace corvanel {

class CellEditor;
class ClickLabel;
class MemoryTable;
class ProductionPanel;
class JobWindow;
class RepeatDialog;
class GangDialog;
class SerialLink;
class TableScrollBar;

// The five chip operations in the order of their buttons and "&Tools" entries.
inline constexpr std::array<OperationKind, 5> kButtonOperations = {
    OperationKind::Program, OperationKind::Read, OperationKind::Erase, OperationKind::Blank,
    OperationKind::Verify};

class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(QWidget* parent = nullptr);
    ~Form1() override;

    enum class WheelTarget { None, Flash, Eeprom };
    enum class EditTarget { Flash, Eeprom, Config, UserId };

    // The second stage of start-up: theme, show, remembered folder and model,
    // a blank image in the model's shape, then the serial port.
    void load_sequence();

    // The programmer's serial line (not owned). Without one, every port counts
    // as absent and the port commands do nothing.
    void set_serial_link(SerialLink* link) { serial_link_ = link; }
    [[nodiscard]] SerialLink* serial_link() const { return serial_link_; }

    // Replaces the model chooser window (tests). The buffer is cleared after it
    // closes only when the applied model changed.
    void set_model_chooser(std::function<void()> chooser) { model_chooser_ = std::move(chooser); }
    // Asked by the chooser before it applies another model: true when the
    // buffer may go (it was saved, or the user agreed).
    [[nodiscard]] bool confirm_model_change() { return offer_to_save_buffer(); }

    // The buffer holds data that no file has: edits, or a Read All not saved.
    [[nodiscard]] bool buffer_unsaved() const;
    // "Save the buffer first?" when the buffer is unsaved: Yes runs "Save Buffer
    // As". Answers true when the caller may go on (nothing to save, saved, or No).
    [[nodiscard]] bool offer_to_save_buffer();

    // "Stop" and Escape: the running operation ends at the board's next answer;
    // "Test Vpp" is switched off.
    void stop_Click();
    // Every way the window ends without asking (logout, a stop signal, a fatal
    // error): the running operation is ended at once and voltages-off is sent.
    void end_for_exit();

    void settheme();
    void enable();
    void disable();
    void updatedisplay();
    void set_status(const QString& text);
    [[nodiscard]] QString status_text() const;
    // Program All or Read All as the production sequence (the window's buttons,
    // Program on Change, the repeat mode): a Program All's status line then gives
    // the time of the whole sequence with its Verify.
    void start_production(OperationKind operation, bool on_change = false);
    // The file last opened or saved (empty: none), as the production log names it.
    [[nodiscard]] const QString& loaded_file() const { return loaded_path_; }

    // An operation owns the image, the model and the port from its first step
    // to its end: the commands that would change them answer true here, after
    // saying so in the status line, and do nothing.
    [[nodiscard]] bool refuse_during_operation();

    // One wheel notification: only the sign of `rotation` counts (positive:
    // away from the user, up the memory); every notification moves 3 rows.
    void MouseWheel(int mousekeys, int rotation, int xpos, int ypos);
    [[nodiscard]] WheelTarget wheel_target() const { return wheel_target_; }
    [[nodiscard]] bool wheel_enabled() const { return wheel_on_; }
    void Form_Activate();
    void Form_Deactivate();

    // Menu commands.
    void menuclear_Click();
    void menuopen_Click();
    void menusave_Click();
    void menuabout_Click();
    void menumodel_Click();
    // Clears, loads `full_path` and reports in the labels and the status line.
    void open_hex_file(const QString& full_path);
    // The file the user asked for (Open, a drop, a second start's file): the
    // unsaved buffer is offered for saving first, as Reload and Recent Files do.
    void open_hex_file_asking(const QString& full_path);
    // "&Merge HEX File...": lays `full_path` over the buffer (see core/image/hex_merge.h).
    void menumerge_Click();
    void merge_hex_file(const QString& full_path);
    // "Production > Repeat on Chip Insertion": asks, then runs the mode's
    // window until Escape (see gui/ui/repeat_mode.h).
    void menurepeat_Click();
    // "Repeat on Several Boards...": asks for the boards' ports, then run_gang.
    void menugang_Click();
    // One series of chips per port at the same time (gui/ui/gang_mode.h).
    void run_gang(const QStringList& ports);
    [[nodiscard]] GangDialog* gang_dialog() const { return gang_dialog_; }
    // The mode's window while it runs, else null.
    [[nodiscard]] RepeatDialog* repeat_dialog() const { return repeat_dialog_; }

    // "Production > Open Job...": the job file's settings fixed and the window
    // locked to its operator window (gui/ui/job_mode.h) until "Close Job". False,
    // with the reason shown, when the job is refused (a faulty file, a HEX file
    // whose SHA-256 is not the job's, a model the database lacks).
    bool open_job(const QString& path);
    void close_job();
    [[nodiscard]] bool job_open() const;
    [[nodiscard]] JobWindow* job_window() const { return job_window_; }
    // The job's "Start": the series of Repeat on Chip Insertion, or one Program All.
    void run_job_series();
    void run_job_chip();
    void menuopenjob_Click();
    // "Production > Save Job As...": a job of the model, the loaded HEX file and
    // the production settings in use.
    void menusavejob_Click();
    // "Tools > Test Board": the board test's table in a window of its own.
    void menutestboard_Click();
    // The window of the last "Test Board" while it is open.
    [[nodiscard]] QWidget* test_board_view() const { return test_board_view_; }

    // Cell editor events.
    void tabla_MouseUp(MemoryTable* table, QPoint position);
    // The keyboard's right click (Enter, the menu key or Shift+F10 on the
    // table's scroll bar): the cell editor over the cell Go to Address or Find
    // marked in that table.
    void edit_marked_cell(MemoryTable* table);
    void label_conf_Click(int index);
    // A left click on a configuration word: the dialog of its named fields when
    // the model's chip has them, else the raw editor (always on a right click).
    void label_conf_fields_Click(int index);
    // A click on a user ID word (2000h + index): the raw editor, as for the
    // configuration words.
    void label_id_Click(int index);
    // Program All or Verify of a buffer whose file had data outside the model:
    // the load's warning again, with "Program anyway?"; false when the answer is No.
    [[nodiscard]] bool confirm_out_of_range_buffer(OperationKind operation);
    // The load's out-of-range warning while the buffer is that file; empty otherwise.
    QString out_of_range_warning_;
    // "Identify Chip" of the "&Tools" menu, and its result from the engine.
    void menuidentify_Click();
    void chip_identified(std::int32_t word);
    void unosbox_Enter();
    void unosbox_Escape();
    void unosbox_LostFocus();

    // The File menu's last eight files, newest first (kept in the settings).
    [[nodiscard]] QStringList recent_files() const;
    void open_recent_file(const QString& path);
    // The loaded file changed on disk: reloaded as "Reload on Change" says, and
    // with "Program on Change" programmed and verified.
    void loaded_file_changed();
    // Good Program All + Verify runs of "Program on Change" since the start.
    [[nodiscard]] int programmed_on_change() const { return programmed_on_change_; }
    // A Program All of "Program on Change" passed with its Verify: counted in the
    // status line ("Chip verified. ... Programmed on change: 3").
    void count_program_on_change();
    // The chip's factory calibration, read by a Read All that leaves the buffer as
    // it was; `done` gets the lines to show (or the failed operation's status).
    void read_calibration(std::function<void(const QString&)> done);
    // Erase All with the typed calibration written back, then the read above.
    void write_calibration(const SavedCalibration& typed, std::function<void(const QString&)> done);
    void menucalibration_Click();
    // The calibration view's file commands: the values in a file of their own
    // (the format of the calibration rescue file), and back.
    void save_calibration_file(const SavedCalibration& values);
    [[nodiscard]] std::optional<SavedCalibration> load_calibration_file();
    // What the last read of the calibration view found; nothing after a failed read.
    std::optional<SavedCalibration> read_calibration_values_;

    // "Go to Address" (Ctrl+G), "Find" (Ctrl+F) and "Find Next" (F3) in the
    // table the wheel works on (FLASH unless the EEPROM table was chosen): the
    // cell found is marked and scrolled into view; the status line says where.
    void menugoto_Click();
    void menufind_Click();
    void menufindnext_Click();
    // The marked cell: its address in the table's memory, or -1.
    [[nodiscard]] std::int32_t marked_address() const { return mark_address_; }

    // Controls, named as in the window design.
    ClickLabel* Label7 = nullptr;
    ClickLabel* label_vpp = nullptr;
    ClickLabel* label_hex = nullptr;
    std::array<QPushButton*, 5> Command{};  // Command1 to Command5
    QPushButton* command_stop = nullptr;    // "Stop", enabled while the commands are locked
    ClickLabel* Label1 = nullptr;
    ClickLabel* label_ime = nullptr;
    ClickLabel* label_info = nullptr;
    ClickLabel* Label3 = nullptr;
    MemoryTable* tabla_flash = nullptr;
    TableScrollBar* scrl1 = nullptr;
    ClickLabel* Label4 = nullptr;
    CellEditor* unosbox = nullptr;
    MemoryTable* tabla_eeprom = nullptr;
    TableScrollBar* scrl2 = nullptr;
    // Configuration words 1 to 7: a caption and a value each. Two words stand
    // as they always did; more (the enhanced parts) in a row each.
    std::array<ClickLabel*, kMaxConfigWords> lfix{};
    std::array<ClickLabel*, kMaxConfigWords> label_conf{};
    // Places the configuration word labels for the applied model's count and addresses.
    void layout_config_words();
    // Places the controls for the client area's size: at the design size as
    // designed; larger, the tables grow (FLASH two thirds of the height gained)
    // and what stands right of or below them moves with them.
    void layout_for_size();
    // The two-word captions' font as fitted when the window was built.
    QFont config_caption_font_;
    // The user ID words 2000h..2003h (8000h.. on the enhanced parts, __IDLOCS), in a
    // row under the configuration words.
    ClickLabel* lfix_id = nullptr;
    std::array<ClickLabel*, kUserIdCount> label_id{};
    ClickLabel* Label5 = nullptr;
    ClickLabel* label_status = nullptr;
    // Under the status line: the buffer's checksum and the running operation's
    // progress with the time left.
    ClickLabel* label_checksum = nullptr;
    QProgressBar* progress_bar = nullptr;
    // Permanent in the status bar: how the link runs ("Fast, window 85 (board's
    // buffer)", "Lock-step"), shown afresh with every status text.
    QLabel* label_link = nullptr;
    void show_link_mode();

    QMenu* menu1 = nullptr;
    QMenu* menu3 = nullptr;
    QMenu* menu4 = nullptr;
    QMenu* menu5 = nullptr;
    // "Programming entry": checked means low voltage.
    QAction* menulowvoltage = nullptr;
    QAction* menuclear = nullptr;
    QAction* menuopen = nullptr;
    QAction* menusave = nullptr;
    QAction* menumerge = nullptr;
    QAction* menurepeat = nullptr;
    QAction* menuopenjob = nullptr;
    QAction* menusavejob = nullptr;
    QAction* menutestboard = nullptr;
    std::array<QAction*, 5>
        menuoperation{};  // menuprogram, menuread, menuerase, menublank, menuverify
    QAction* menuidentify = nullptr;
    QAction* menustop = nullptr;
    QAction* menureload = nullptr;
    QAction* menumodel = nullptr;
    QAction* menuport = nullptr;
    QAction* menubaud = nullptr;
    QAction* menuprogtime = nullptr;
    QAction* menuvpp = nullptr;
    QAction* menucolors = nullptr;
    QMenu* menurecent = nullptr;
    QAction* menucalibration = nullptr;
    QAction* menuverifyafter = nullptr;
    QMenu* menureloadonchange = nullptr;
    QActionGroup* reload_choices = nullptr;  // "Ask", "Always", "Never"
    QAction* menuprogramonchange = nullptr;
    QAction* menufastlink = nullptr;
    QMenu* menusendahead = nullptr;
    QActionGroup* send_ahead_choices = nullptr;  // lock-step, "Automatic"
    QAction* menuwiring = nullptr;
    QAction* menudocs = nullptr;
    QAction* menuportinfo = nullptr;  // the original serial board's DB-9 pinout
    QAction* menuabout = nullptr;
    QMenu* menu_edit = nullptr;
    QAction* menugoto = nullptr;
    QAction* menufind = nullptr;
    QAction* menufindnext = nullptr;

    // The "Pro&duction" menu and the counters in the status bar.
    ProductionPanel* production = nullptr;
    QMenu* menu_production = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    // Closing during an operation or with "Test Vpp" on asks first and stops
    // it; an unsaved buffer is offered for saving.
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void set_commands_enabled(bool enabled);
    // The settings an operation takes when it starts (fast link, Board Vpp,
    // send-ahead window): read afresh unless one is running.
    void apply_operation_settings();
    // The settings changed: taken and shown in the status bar at once.
    void link_settings_changed();
    RepeatDialog* repeat_dialog_ = nullptr;
    JobWindow* job_window_ = nullptr;
    QPointer<QWidget> test_board_view_;
    // The job itself starts a command: the lock does not refuse it.
    bool job_acting_ = false;
    GangDialog* gang_dialog_ = nullptr;
    void build_controls();
    void build_menus();
    void apply_fonts();
    void focus_scroll_bar(TableScrollBar* bar);
    void table_got_focus(MemoryTable* table);
    void table_pointer_moved(MemoryTable* table);
    void scroll_dragged();
    void handle_wheel_event(class QWheelEvent* event);
    void run_operation(OperationKind operation);
    // Ends the running operation and "Test Vpp" now; false while a step still
    // runs (the caller tries again when it has ended).
    [[nodiscard]] bool end_operations_now();
    // The buffer as a file would hold it, taken when it was last cleared,
    // loaded or saved.
    void mark_buffer_saved();
    // Called whenever the command lock is lifted: an operation has ended.
    void operation_ended();
    // "Reload": opens the loaded file again.
    void menureload_Click();
    void open_port_without_link();
    // The menu entries of the everyday helpers: recent files, calibration, and
    // the settings of the Options menu.
    void build_workflow_menus();
    void rebuild_recent_menu();
    void remember_recent_file(const QString& path);
    // The status line's text as the progress bar reads it; reset_progress at an
    // operation's start, finish_progress at its end.
    void show_progress(std::string_view text);
    void reset_progress();
    void finish_progress();
    // Remembers the running operation's name for the bar: the engine forgets it
    // when an operation is stopped or fails, before the bar is finished.
    void note_running_operation();
    // "Program all cancelled." and the like: the bar says so instead of keeping
    // the result of the run before.
    void show_cancelled_progress(const QString& status);
    // The Verify's result at the end of a Program All sequence: the status line
    // gives the time of the whole sequence ("Chip programmed and verified. 4.2 s").
    [[nodiscard]] QString with_sequence_time(const QString& status);
    void show_checksum();
    // Watches the loaded file (none when the buffer is no file's).
    void watch_loaded_file();
    // Runs `next` once the running operation (and its completion) has ended.
    void when_operation_ends(std::function<void()> next);
    // After a good Program All: Verify ("Verify After Program All", or a run of
    // "Program on Change", which counts it).
    // The configuration word labels' tooltips: the decoded options of each word.
    void show_config_tooltips();
    // After "Identify Chip": offers to apply the model the chip answers as.
    void offer_identified_model(std::int32_t word);
    [[nodiscard]] TableScrollBar* edit_scroll_bar() const;

    // The window as the engine sees it: status line, messages, command lock,
    // redraws, pauses, clock and events.
    class Host final : public EngineHost {
    public:
        explicit Host(Form1& form) : form_(form) { clock_.start(); }
        void set_status_text(std::string_view text) override;
        int show_message(std::string_view text, int kind, std::string_view caption) override;
        void disable_commands() override {
            form_.disable();
            form_.reset_progress();
        }
        void enable_commands() override {
            form_.enable();
            form_.operation_ended();
        }
        void redraw_tables() override { form_.updatedisplay(); }
        void pause(int milliseconds) override;
        [[nodiscard]] double clock_seconds() override;
        void process_events() override;
        void end_program() override;
        void chip_identified(std::int32_t word) override { form_.chip_identified(word); }
        std::optional<double> ask_board_vpp(std::string_view question) override;

    private:
        Form1& form_;
        QElapsedTimer clock_;
        // Progress comes once per word: the status line shows it at most every
        // 50 ms (a loop's last word and every other text always), and the engine's
        // event passes run at most every 5 ms.
        EventPassThrottle progress_throttle_{std::chrono::milliseconds(50)};
        EventPassThrottle event_throttle_{std::chrono::milliseconds(5)};
    };

    QWidget* client_ = nullptr;
    // The client area's design size and each control's design place in it.
    QSize design_client_size_;
    QHash<QWidget*, QRect> design_geometry_;
    // How far the configuration words (beside the EEPROM table) have moved.
    QPoint config_offset_;
    QSize laid_out_gain_{0, 0};  // the growth the controls are placed for
    // The status line's whole text; the label shows as much as fits.
    QString status_full_;
    void show_status_line();
    // The cell "Go to Address" or "Find" marked, and the table it is in.
    std::int32_t mark_address_ = -1;
    bool mark_in_eeprom_ = false;
    // The last "Find": its values, for F3.
    QString find_text_;
    // Scrolls the table so that `address` is shown, marks it and says where it is.
    void show_address(bool eeprom, std::int32_t address, const QString& status);
    // The table the commands work on: EEPROM when its scroll bar has the wheel.
    [[nodiscard]] bool eeprom_chosen() const { return wheel_target_ == WheelTarget::Eeprom; }
    void find_from(std::int32_t from);
    SerialLink* serial_link_ = nullptr;
    std::function<void()> model_chooser_;
    Host host_{*this};
    QTimer timeout_timer_;

    WheelTarget wheel_target_ = WheelTarget::None;
    bool wheel_on_ = false;
    int wheel_remainder_ = 0;  // wheel delta not yet worth a whole notification

    // The buffer as "Save Buffer As" would write it when it was last the same
    // as a file (or blank).
    std::string saved_hex_;
    // The full path of the file last opened or saved, for "Reload".
    QString loaded_path_;
    // The user agreed to stop the operation and close; the close waits for
    // the interpreter's step to end.
    bool close_confirmed_ = false;
    // The operation that "Stop" was asked of ("program", ...); its end says so.
    std::string stopped_operation_;

    ProgressEstimate progress_estimate_;
    // The operation the progress bar is about ("program", ...), and whether
    // the bar already says it was cancelled.
    std::string progress_operation_;
    bool progress_cancelled_ = false;
    // Clock time when the running Program All sequence started; negative when none.
    double program_sequence_start_ = -1.0;
    // Seconds of the Program All sequence whose Verify has just passed, until
    // the Verify's result reaches the status line.
    double sequence_seconds_ = -1.0;
    QFileSystemWatcher* file_watcher_ = nullptr;
    QTimer change_timer_;
    int programmed_on_change_ = 0;
    // The next Program All comes from "Program on Change": its verify is counted.
    bool on_change_run_ = false;
    bool change_question_open_ = false;

    bool editor_armed_ = false;
    EditTarget edit_target_ = EditTarget::Flash;
    int edit_index_ = 0;
};

}  // namespace corvanel
