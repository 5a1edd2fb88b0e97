// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ui/main_window.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileSystemWatcher>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QWheelEvent>

#include "core/devices/leading_number.h"
#include "core/devices/model_application.h"
#include "core/engine/device_id_guard.h"
#include "core/engine/line_rate.h"
#include "core/engine/operation_stop.h"
#include "core/engine/program_state.h"
#include "core/image/hex_text.h"
#include "core/image/intel_hex_reader.h"
#include "core/image/intel_hex_writer.h"
#include "gui/devices/model_chooser.h"
#include "gui/dialogs/color_theme.h"
#include "gui/dialogs/config_word_dialog.h"
#include "gui/dialogs/document_view.h"
#include "gui/dialogs/message_box.h"
#include "gui/dialogs/theme_chooser.h"
#include "gui/link/port_commands.h"
#include "gui/ui/cell_editor.h"
#include "gui/ui/job_mode.h"
#include "gui/ui/memory_table.h"
#include "gui/ui/production_panel.h"
#include "gui/ui/repeat_mode.h"
#include "gui/widgets/click_label.h"
#include "gui/widgets/program_icon.h"
#include "gui/widgets/table_scroll_bar.h"
#include "gui/widgets/twips.h"
#include "platform/app/app_state.h"
#include "platform/app/operation_settings.h"
#include "platform/app/settings_store.h"
#include "platform/link/port_setup.h"
#include "platform/link/serial_link.h"

namespace corvanel {

namespace {

constexpr int kClientWidthTwips = 6195;
// The design's 6435 twips and one row under the status line for the checksum
// and the progress bar.
constexpr int kClientHeightTwips = 6735;
constexpr int kTimeoutCheckMilliseconds = 250;

const QString kOpenTooltip = QStringLiteral("Click to open HEX file!");
const QString kModelTooltip = QStringLiteral("Click to change microcontroller model!");
const QString kTableTooltip = QStringLiteral("Right click on the location to edit its value!");
const QString kOperationInProgress = QStringLiteral("Operation in progress.");
const QString kStopAndCloseQuestion = QStringLiteral("An operation is running. Stop it and close?");
const QString kSaveFirstQuestion = QStringLiteral("Save the buffer first?");
const QString kPartlyWrittenText = QStringLiteral(
    "Program All was stopped: the chip is only partly written.\r\n\r\n"
    "Program it again (or erase it) before use.");
// Space right of the status bar's permanent texts (6 px at 96 dpi).
constexpr int kStatusBarMarginTwips = 90;
// While a step of the interpreter still runs, a confirmed close tries again this often.
constexpr int kCloseRetryMilliseconds = 20;

}  // namespace

Form1::Form1(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(window_title());
    setWindowIcon(program_icon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(window_font());
    build_menus();
    build_controls();
    apply_fonts();
    setCentralWidget(client_);
    // How the link runs, then pass / fail / total and the next serial number,
    // under the client area.
    label_link = new QLabel(this);
    label_link->setObjectName(QStringLiteral("label_link"));
    label_link->setToolTip(
        QStringLiteral("How the link to the board runs: Fast (no no-operation round trips), "
                       "the send-ahead window and where it came from, or Lock-step"));
    statusBar()->addPermanentWidget(label_link);
    statusBar()->addPermanentWidget(production->counters_label());
    statusBar()->setSizeGripEnabled(false);
    // Without the size grip the last text would touch (and at some scale factors
    // lose a pixel column to) the window's right edge; the link's mode keeps apart
    // from the counters.
    statusBar()->setContentsMargins(0, 0, twips_to_pixels(kStatusBarMarginTwips), 0);
    label_link->setContentsMargins(0, 0, twips_to_pixels(kStatusBarMarginTwips), 0);
    // The design size is the smallest and the first: a larger window (or a
    // maximised one) gives the tables more rows.
    design_client_size_ =
        QSize(twips_to_pixels(kClientWidthTwips), twips_to_pixels(kClientHeightTwips));
    for (QWidget* control : client_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        design_geometry_.insert(control, control->geometry());
    }
    client_->setMinimumSize(design_client_size_);
    client_->resize(design_client_size_);
    adjustSize();
    setMinimumSize(sizeHint());
    resize(sizeHint());
    qApp->installEventFilter(this);
    setAcceptDrops(true);
    on_theme_changed(this, [this] { settheme(); });

    model_chooser_ = [this] {
        show_model_chooser(this, [this] { return confirm_model_change(); });
    };
    state().host = &host_;
    file_watcher_ = new QFileSystemWatcher(this);
    connect(file_watcher_, &QFileSystemWatcher::fileChanged, this, [this] {
        // An editor or a build writes the file in several steps (or replaces it):
        // the reload waits until the file has been quiet for a moment.
        change_timer_.start();
    });
    change_timer_.setSingleShot(true);
    change_timer_.setInterval(300);
    connect(&change_timer_, &QTimer::timeout, this, &Form1::loaded_file_changed);
    // A board that stops answering must not leave an operation waiting for ever.
    connect(&timeout_timer_, &QTimer::timeout, this,
            [this] { (void)check_timeout(state(), host_.clock_seconds()); });
    timeout_timer_.start(kTimeoutCheckMilliseconds);
}

Form1::~Form1() {
    qApp->removeEventFilter(this);
    if (state().host == &host_) {
        state().host = nullptr;
    }
}

void Form1::build_menus() {
    menu1 = menuBar()->addMenu(QStringLiteral("&File"));
    menuclear = menu1->addAction(QStringLiteral("&Clear Buffer"), this, &Form1::menuclear_Click);
    menuopen = menu1->addAction(QStringLiteral("&Open HEX File"), this, &Form1::menuopen_Click);
    menuopen->setShortcut(QKeySequence::Open);
    menureload =
        menu1->addAction(QStringLiteral("&Reload HEX File"), this, &Form1::menureload_Click);
    menureload->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    menureload->setEnabled(false);
    menumerge =
        menu1->addAction(QStringLiteral("&Merge HEX File..."), this, &Form1::menumerge_Click);
    menusave = menu1->addAction(QStringLiteral("&Save Buffer As"), this, &Form1::menusave_Click);
    menusave->setShortcut(QKeySequence::Save);

    // Finding one's way in the tables.
    menu_edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    menugoto =
        menu_edit->addAction(QStringLiteral("&Go to Address..."), this, &Form1::menugoto_Click);
    menugoto->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    menufind = menu_edit->addAction(QStringLiteral("&Find..."), this, &Form1::menufind_Click);
    menufind->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    menufindnext =
        menu_edit->addAction(QStringLiteral("Find &Next"), this, &Form1::menufindnext_Click);
    menufindnext->setShortcut(QKeySequence(Qt::Key_F3));

    menu3 = menuBar()->addMenu(QStringLiteral("&Tools"));
    const std::array<QString, 5> operation_captions = {
        QStringLiteral("&Program All"), QStringLiteral("&Read All"), QStringLiteral("&Erase All"),
        QStringLiteral("&Blank Check"), QStringLiteral("&Verify")};
    // F5 Program All, F7 Read All, F6 Verify; Erase All and Blank Check keep
    // no key of their own, so that one slip of a finger never erases a chip.
    const std::array<QKeySequence, 5> operation_keys = {QKeySequence(Qt::Key_F5),
                                                        QKeySequence(Qt::Key_F7), QKeySequence(),
                                                        QKeySequence(), QKeySequence(Qt::Key_F6)};
    for (std::size_t i = 0; i < operation_captions.size(); ++i) {
        const OperationKind operation = kButtonOperations[i];
        menuoperation[i] = menu3->addAction(operation_captions[i], this,
                                            [this, operation] { run_operation(operation); });
        menuoperation[i]->setShortcut(operation_keys[i]);
    }
    menuidentify =
        menu3->addAction(QStringLiteral("&Identify Chip"), this, &Form1::menuidentify_Click);
    menutestboard =
        menu3->addAction(QStringLiteral("&Test Board..."), this, &Form1::menutestboard_Click);

    production = new ProductionPanel(*this);
    menu_production = production->build_menu(menuBar());
    menurepeat = menu_production->addAction(QStringLiteral("Repeat on Chip &Insertion..."), this,
                                            &Form1::menurepeat_Click);
    menu_production->addAction(QStringLiteral("Repeat on Several &Boards..."), this,
                               &Form1::menugang_Click);
    menuopenjob =
        menu_production->addAction(QStringLiteral("Open &Job..."), this, &Form1::menuopenjob_Click);
    menusavejob = menu_production->addAction(QStringLiteral("Save Job &As..."), this,
                                             &Form1::menusavejob_Click);

    menu4 = menuBar()->addMenu(QStringLiteral("&Options"));
    menumodel = menu4->addAction(QStringLiteral("Change &Microcontroller Model"), this,
                                 &Form1::menumodel_Click);
    menuport = menu4->addAction(QStringLiteral("Change Serial &Port Number"), this, [this] {
        if (serial_link_ != nullptr && !refuse_during_operation()) {
            change_serial_port_number(*serial_link_);
        }
    });
    menubaud = menu4->addAction(QStringLiteral("Change &Baud Rate"), this, [this] {
        if (serial_link_ != nullptr && !refuse_during_operation()) {
            change_baud_rate(*serial_link_);
        }
    });
    menuprogtime =
        menu4->addAction(QStringLiteral("Change Default Programming &Time"), this, [this] {
            if (!refuse_during_operation()) {
                change_programming_time(state());
            }
        });
    menuvpp = menu4->addAction(QStringLiteral("Change Board &Vpp"), this, [this] {
        if (!refuse_during_operation()) {
            change_board_vpp(state());
        }
    });
    // The board's supply where the board does not report it: an LF part must
    // never see 5 V.
    menu4->addAction(QStringLiteral("Change Board V&dd"), this, [this] {
        if (!refuse_during_operation()) {
            change_board_vdd(state());
        }
    });
    // A board that declares Vpp calibration keeps a meter's reading of its Vpp.
    menu4->addAction(QStringLiteral("Cal&ibrate Board Vpp..."), this, [this] {
        if (!refuse_during_operation()) {
            calibrate_board_vpp_command(state());
        }
    });
    // "Programming entry": the low-voltage key instead of Vpp, for the models
    // with "lvp: true" (the others are refused when an operation starts).
    menulowvoltage = menu4->addAction(QStringLiteral("&Low-Voltage Programming Entry"));
    menulowvoltage->setCheckable(true);
    menulowvoltage->setChecked(stored_programming_entry() == ProgrammingEntry::LowVoltage);
    state().programming_entry = stored_programming_entry();
    connect(menulowvoltage, &QAction::triggered, this, [this](bool checked) {
        if (refuse_during_operation()) {
            menulowvoltage->setChecked(state().programming_entry == ProgrammingEntry::LowVoltage);
            return;
        }
        const ProgrammingEntry entry =
            checked ? ProgrammingEntry::LowVoltage : ProgrammingEntry::HighVoltage;
        state().programming_entry = entry;
        settings().put_string(
            QString::fromLatin1(setting_names::programming_entry),
            QString::fromLatin1(programming_entry_text(entry).data(),
                                static_cast<qsizetype>(programming_entry_text(entry).size())));
    });
    menucolors = menu4->addAction(QStringLiteral("Change &Color Theme"), this,
                                  [this] { show_theme_chooser(this); });

    menu5 = menuBar()->addMenu(QStringLiteral("&Help"));
    // The board people build today (an Arduino on USB), its page and the rest
    // of the documentation; the DB-9 pinout belongs to the original serial board.
    menuwiring = menu5->addAction(QStringLiteral("&Board Wiring"), this,
                                  [this] { (void)show_board_wiring(this); });
    menudocs = menu5->addAction(QStringLiteral("&Documentation"), this,
                                [] { open_documentation_folder(); });
    menuportinfo = menu5->addAction(QStringLiteral("Original Serial Board &Pinout"), this,
                                    [] { show_serial_port_pinout(); });
    menuabout =
        menu5->addAction(QStringLiteral("&About Tavrelix Corvanel"), this, &Form1::menuabout_Click);
    build_workflow_menus();
}

void Form1::build_controls() {
    client_ = new QWidget(this);
    client_->installEventFilter(this);

    auto label = [this](const QString& text, QRect geometry, const QString& tooltip = {}) {
        auto* control = new ClickLabel(text, client_);
        control->setGeometry(geometry);
        control->setToolTip(tooltip);
        return control;
    };

    Label7 = label(QStringLiteral("Loaded HEX File"), twips_rect(60, 60, 1755, 255), kOpenTooltip);
    label_vpp = label(QStringLiteral("Test Vpp"), twips_rect(5160, 60, 975, 255),
                      QStringLiteral("Click to turn ON/OFF Vpp (and Vdd) voltages for the "
                                     "purpose of adjusting Vpp voltage!"));
    label_hex = label(QString(), twips_rect(60, 360, 6075, 255), kOpenTooltip);

    const std::array<QString, 5> captions = {
        QStringLiteral("Program All"), QStringLiteral("Read All"), QStringLiteral("Erase All"),
        QStringLiteral("Blank Check"), QStringLiteral("Verify")};
    const std::array<QRect, 5> button_geometry = {
        twips_rect(60, 720, 1155, 315), twips_rect(1260, 720, 1095, 315),
        twips_rect(2400, 720, 1095, 315), twips_rect(3540, 720, 1155, 315),
        twips_rect(4740, 720, 1095, 315)};
    for (std::size_t i = 0; i < Command.size(); ++i) {
        Command[i] = new QPushButton(captions[i], client_);
        Command[i]->setGeometry(button_geometry[i]);
        const OperationKind operation = kButtonOperations[i];
        connect(Command[i], &QPushButton::clicked, this,
                [this, operation] { run_operation(operation); });
    }
    // Below "Verify", on the free end of the model row: reachable at once
    // while everything else is locked.
    command_stop = new QPushButton(QStringLiteral("Stop"), client_);
    command_stop->setGeometry(twips_rect(4740, 1110, 1095, 315));
    command_stop->setToolTip(QStringLiteral("Stop the running operation (Escape)"));
    command_stop->setEnabled(false);
    connect(command_stop, &QPushButton::clicked, this, &Form1::stop_Click);

    Label1 = label(QStringLiteral("Microcontroller Model"), twips_rect(60, 1140, 2055, 255),
                   kModelTooltip);
    label_ime = label(QString(), twips_rect(2160, 1140, 2535, 255), kModelTooltip);
    label_info = label(QString(), twips_rect(60, 1440, 4635, 255), kModelTooltip);
    Label3 = label(QStringLiteral("FLASH Memory"), twips_rect(60, 1800, 1575, 255));

    tabla_flash = new MemoryTable(kFlashRowLayout, client_);
    tabla_flash->setGeometry(twips_rect(60, 2100, 5835, 1755));
    tabla_flash->setToolTip(kTableTooltip);
    scrl1 = new TableScrollBar(client_);
    scrl1->setGeometry(twips_rect(5880, 2100, 255, 1755));
    tabla_flash->set_scroll_bar(scrl1);

    Label4 = label(QStringLiteral("EEPROM Memory"), twips_rect(60, 3960, 1575, 255));

    tabla_eeprom = new MemoryTable(kEepromRowLayout, client_);
    tabla_eeprom->setGeometry(twips_rect(60, 4260, 3615, 1755));
    tabla_eeprom->setToolTip(kTableTooltip);
    scrl2 = new TableScrollBar(client_);
    scrl2->setGeometry(twips_rect(3660, 4260, 255, 1755));
    tabla_eeprom->set_scroll_bar(scrl2);

    lfix[0] = label(QStringLiteral("Config. Word (2007h)"), twips_rect(4080, 4260, 1755, 255));
    label_conf[0] =
        label(QString(), twips_rect(4380, 4560, 1215, 255), QStringLiteral("Click to edit!"));
    lfix[1] = label(QStringLiteral("Config. Word (2008h)"), twips_rect(4080, 4860, 1755, 255));
    label_conf[1] =
        label(QString(), twips_rect(4380, 5160, 1215, 255), QStringLiteral("Click to edit!"));
    // Words 3 to 7 of the enhanced parts; placed by layout_config_words.
    for (std::size_t k = 2; k < lfix.size(); ++k) {
        lfix[k] = label(QString(), twips_rect(4080, 4260, 1080, 225));
        label_conf[k] =
            label(QString(), twips_rect(5190, 4260, 900, 225), QStringLiteral("Click to edit!"));
        lfix[k]->setVisible(false);
        label_conf[k]->setVisible(false);
    }
    lfix_id = label(QStringLiteral("ID"), twips_rect(4080, 5460, 255, 255),
                    QStringLiteral("User IDs (2000h-2003h)"));
    for (int index = 0; index < kUserIdCount; ++index) {
        label_id[static_cast<std::size_t>(index)] =
            label(QString(), twips_rect(4365 + index * 450, 5460, 435, 255),
                  QStringLiteral("User ID %1h. Click to edit!").arg(0x2000 + index, 4, 16));
    }
    Label5 = label(QStringLiteral("Status"), twips_rect(4380, 5820, 1755, 255));
    label_status = label(QString(), twips_rect(60, 6120, 6075, 255));
    label_checksum = label(QString(), twips_rect(60, 6420, 1755, 255),
                           QStringLiteral("16-bit sum of every program memory word of the model "
                                          "and of the configuration words' implemented bits "
                                          "(EEPROM and user IDs not included)"));
    progress_bar = new QProgressBar(client_);
    progress_bar->setGeometry(twips_rect(1860, 6420, 4275, 255));
    progress_bar->setTextVisible(true);
    progress_bar->setAlignment(Qt::AlignCenter);
    reset_progress();

    // Created last so that it lies above the table and the labels it covers.
    unosbox = new CellEditor(client_);
    unosbox->setGeometry(twips_rect(1740, 3960, 375, 255));

    // Tab reaches the labels that do something, in the order they stand.
    for (ClickLabel* reachable : {label_vpp, label_hex, label_ime}) {
        reachable->make_keyboard_reachable();
    }
    for (ClickLabel* reachable : label_conf) {
        reachable->make_keyboard_reachable();
    }
    setTabOrder(label_hex, Command[0]);
    setTabOrder(Command[4], command_stop);
    setTabOrder(command_stop, label_ime);

    connect(Label7, &ClickLabel::clicked, this, &Form1::menuopen_Click);
    connect(label_hex, &ClickLabel::clicked, this, &Form1::menuopen_Click);
    for (ClickLabel* model_label : {Label1, label_ime, label_info}) {
        connect(model_label, &ClickLabel::clicked, this, &Form1::menumodel_Click);
    }
    connect(label_vpp, &ClickLabel::clicked, this, [this] {
        if (!refuse_during_operation()) {
            toggle_vpp_test(state());
        }
    });
    for (int index = 0; index < kMaxConfigWords; ++index) {
        connect(label_conf[index], &ClickLabel::clicked, this,
                [this, index] { label_conf_fields_Click(index); });
        connect(label_conf[index], &ClickLabel::right_clicked, this,
                [this, index] { label_conf_Click(index); });
    }

    for (int index = 0; index < kUserIdCount; ++index) {
        ClickLabel* id_label = label_id[static_cast<std::size_t>(index)];
        connect(id_label, &ClickLabel::clicked, this, [this, index] { label_id_Click(index); });
        connect(id_label, &ClickLabel::right_clicked, this,
                [this, index] { label_id_Click(index); });
    }

    for (MemoryTable* table : {tabla_flash, tabla_eeprom}) {
        connect(table, &MemoryTable::right_released, this,
                [this, table](QPoint position) { tabla_MouseUp(table, position); });
        connect(table, &MemoryTable::pointer_moved, this,
                [this, table] { table_pointer_moved(table); });
        connect(table, &MemoryTable::focus_received, this,
                [this, table] { table_got_focus(table); });
    }
    connect(scrl1, &TableScrollBar::focus_received, this,
            [this] { wheel_target_ = WheelTarget::Flash; });
    connect(scrl2, &TableScrollBar::focus_received, this,
            [this] { wheel_target_ = WheelTarget::Eeprom; });
    connect(scrl1, &TableScrollBar::cell_requested, this,
            [this] { edit_marked_cell(tabla_flash); });
    connect(scrl2, &TableScrollBar::cell_requested, this,
            [this] { edit_marked_cell(tabla_eeprom); });
    for (TableScrollBar* bar : {scrl1, scrl2}) {
        connect(bar, &QScrollBar::valueChanged, this, [this] { updatedisplay(); });
        connect(bar, &QScrollBar::sliderMoved, this, [this] { scroll_dragged(); });
    }

    connect(unosbox, &CellEditor::enter_pressed, this, &Form1::unosbox_Enter);
    connect(unosbox, &CellEditor::escape_pressed, this, &Form1::unosbox_Escape);
    connect(unosbox, &CellEditor::focus_lost, this, &Form1::unosbox_LostFocus);
}

void Form1::apply_fonts() {
    // The window's design font may be missing; the nearest sans-serif face can
    // run wider, so a caption that would not fit its label is set a little smaller.
    for (ClickLabel* caption : client_->findChildren<ClickLabel*>()) {
        QFont font = caption->font();
        for (int pixels = font.pixelSize(); pixels > 8; --pixels) {
            font.setPixelSize(pixels);
            if (QFontMetrics(font).horizontalAdvance(caption->text()) <= caption->width() - 6) {
                break;
            }
        }
        caption->setFont(font);
    }
    config_caption_font_ = lfix[0]->font();
    // The tables need eight rows of their widest line; the platform may lack the
    // design font, so the fixed-pitch system font is sized to fit.
    tabla_flash->fit_font(fixed_font(13), 47);
    tabla_eeprom->fit_font(fixed_font(13), 29);
    for (ClickLabel* value_label : label_conf) {
        value_label->setFont(fixed_font(13));
    }
    for (ClickLabel* value_label : label_id) {
        value_label->setFont(fixed_font(10));
    }
    unosbox->setFont(tabla_flash->font());
    unosbox->setFrame(false);
    unosbox->setStyleSheet(
        QStringLiteral("QLineEdit { border: 1px solid palette(highlight); "
                       "padding: 0px; }"));
}

void Form1::settheme() {
    const ColorRoles& roles = colors();
    paint_background(this, roles.col_window);
    paint_background(client_, roles.col_window);
    // Menus keep their own colours: the window's background must not reach
    // the menu bar, where it could leave black titles on black.
    keep_platform_colors(menuBar());
    paint_control(label_ime, roles.col_status_back, roles.col_status_text);
    paint_control(label_info, roles.col_prompt_back, roles.col_prompt_text);
    paint_control(Label3, roles.col_memory_back, roles.col_memory_text);
    paint_control(Label4, roles.col_memory_back, roles.col_memory_text);
    paint_control(Label1, roles.col_model_back, roles.col_model_text);
    paint_control(Label5, roles.col_status_back, roles.col_status_text);
    paint_control(Label7, roles.col_caption_back, roles.col_caption_text);
    paint_control(label_vpp, roles.col_caption_back, roles.col_caption_text);
    for (ClickLabel* caption : lfix) {
        paint_control(caption, roles.col_highlight_back, roles.col_highlight_text);
    }
    paint_control(label_hex, roles.col_field_back, roles.col_field_text);
    // The memory tables are fields like the file and status lines.
    paint_control(tabla_flash, roles.col_field_back, roles.col_field_text);
    paint_control(tabla_eeprom, roles.col_field_back, roles.col_field_text);
    paint_scroll_bar(scrl1, roles);
    paint_scroll_bar(scrl2, roles);
    paint_control(label_status, roles.col_field_back, roles.col_field_text);
    paint_control(label_checksum, roles.col_field_back, roles.col_field_text);
    for (ClickLabel* value_label : label_conf) {
        paint_control(value_label, roles.col_field_back, roles.col_field_text);
    }
    paint_control(lfix_id, roles.col_highlight_back, roles.col_highlight_text);
    for (ClickLabel* value_label : label_id) {
        paint_control(value_label, roles.col_field_back, roles.col_field_text);
    }
    // The status bar (the counters, the menus' tips) is a field like the status
    // line: left to the window's background it drew black text on a dark theme.
    paint_control(statusBar(), roles.col_field_back, roles.col_field_text);
    // The progress bar keeps the platform's colours, but its caption over the
    // filled part must stay legible: a light highlight is darkened until it is.
    QPalette bar = QApplication::palette(progress_bar);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        QColor fill = bar.color(group, QPalette::Highlight);
        const QColor caption = bar.color(group, QPalette::HighlightedText);
        for (int step = 0; step < 20 && contrast_ratio(fill, caption) < 4.5; ++step) {
            fill = caption.lightness() > 127 ? fill.darker(115) : fill.lighter(115);
        }
        bar.setColor(group, QPalette::Highlight, fill);
    }
    progress_bar->setPalette(bar);
}

void Form1::disable() {
    set_commands_enabled(false);
}

void Form1::enable() {
    set_commands_enabled(true);
}

// The command lock covers the menus and the five operation buttons; labels stay
// active so that "Test Vpp" can be switched off again.
void Form1::set_commands_enabled(bool enabled) {
    // An open job leaves the operator its own window's commands only.
    const bool free = enabled && job_window_ == nullptr;
    for (QMenu* menu : {menu1, menu_edit, menu3, menu_production, menu4, menu5}) {
        menu->menuAction()->setEnabled(free);
    }
    for (QPushButton* button : Command) {
        button->setEnabled(free);
    }
    // "Stop" works exactly while the commands are locked: an operation or
    // "Test Vpp" holds the board.
    command_stop->setEnabled(!enabled);
    if (job_window_ != nullptr) {
        job_window_->commands_enabled(enabled);
    }
    QCoreApplication::processEvents();
}

void Form1::set_status(const QString& text) {
    status_full_ = text;
    show_status_line();
    show_cancelled_progress(text);
}

void Form1::show_status_line() {
    // A text longer than the line ends in "..." rather than being cut at both
    // ends; the whole text is the tooltip.
    const QFontMetrics metrics(label_status->font());
    const int room = label_status->width() - 6;
    const bool fits = metrics.horizontalAdvance(status_full_) <= room;
    label_status->setText(fits ? status_full_
                               : metrics.elidedText(status_full_, Qt::ElideRight, room));
    label_status->setToolTip(fits ? QString() : status_full_);
}

QString Form1::status_text() const {
    return status_full_;
}

bool Form1::refuse_during_operation() {
    if (job_window_ != nullptr && !job_acting_) {
        // The job fixes the buffer, the model and the production settings.
        set_status(QStringLiteral("A job is open: close it first."));
        return true;
    }
    const ScriptRunner& runner = state().runner;
    // Between the steps of a production sequence nothing runs, yet the sequence
    // owns the image and the port all the same.
    const bool sequence = production != nullptr && production->busy();
    if (!runner.running() && !runner.in_step() && !sequence) {
        return false;
    }
    // Once the completion routine shows the result, a click must not replace it.
    if (!runner.completing()) {
        set_status(kOperationInProgress);
    }
    return true;
}

void Form1::menumodel_Click() {
    if (refuse_during_operation() || !model_chooser_) {
        return;
    }
    const int before = state().selected_model;
    const std::string model_before = state().model.model_name;
    model_chooser_();
    if (state().selected_model == before && state().model.model_name == model_before) {
        return;  // Cancel, or the same model again: the buffer stays as it is
    }
    if (serial_link_ != nullptr) {
        // A virtual board follows the chip of the applied model.
        serial_link_->follow_applied_model();
    }
    menuclear_Click();
}

void Form1::mark_buffer_saved() {
    saved_hex_ = write_hex_text(state().image);
}

bool Form1::buffer_unsaved() const {
    // During a Read All the buffer fills word by word with the chip; a stopped read
    // puts the buffer back as it was, so that one is the buffer the user has.
    const ProgramState& program = state();
    const MemoryImage& buffer =
        program.image_before_read ? *program.image_before_read : program.image;
    return write_hex_text(buffer) != saved_hex_;
}

bool Form1::offer_to_save_buffer() {
    if (!buffer_unsaved()) {
        return true;
    }
    const int answer = mymsgbox(kSaveFirstQuestion, message_kind::kQuestion, window_title());
    if (answer != message_result::kYes) {
        return true;
    }
    menusave_Click();
    return !buffer_unsaved();
}

void Form1::stop_Click() {
    ProgramState& program = state();
    if (program.link.vpp_test_on && !program.runner.running()) {
        toggle_vpp_test(program);
        return;
    }
    if (request_stop(program)) {
        stopped_operation_ = program.runner.operation_name;
    }
}

bool Form1::end_operations_now() {
    ProgramState& program = state();
    if (!stop_now(program)) {
        return false;
    }
    if (program.link.vpp_test_on) {
        toggle_vpp_test(program);
    }
    return true;
}

void Form1::end_for_exit() {
    ProgramState& program = state();
    if (!end_operations_now()) {
        // Inside a step (a signal seen during its event pass): nothing more may
        // be sent for this operation, whatever the step does next.
        program.runner.stop();
        program.link.set_receive_notification(0);
    }
    program.link.vpp_test_on = false;
    if (program.link.port_ready) {
        // As the tool does on its way out: whatever state the board was left
        // in, inside a command included, the chip is unpowered before the port
        // closes.
        program.link.voltages_off_after_fault();
        // A board switched to a faster line stays there until it is told or
        // reset: the next program to open the port starts at the starting rate.
        leave_line_rate(program);
    }
}

void Form1::operation_ended() {
    ProgramState& program = state();
    const ScriptRunner& runner = program.runner;
    // The read before a Program All that keeps memories of the chip leaves the buffer alone.
    const bool read_for_program = production != nullptr && production->reading_for_program();
    const bool verify_ended = runner.completing() && !program.operation_failed &&
                              runner.operation_name == operation_name(OperationKind::Verify);
    const int passed_before = production != nullptr ? production->counters().passed : 0;
    if (production != nullptr) {
        production->operation_ended();
    }
    // The sequence's own verdict: it counts a pass only when every step passed.
    const bool verify_passed =
        verify_ended && production != nullptr && production->counters().passed > passed_before;
    finish_progress();
    if (program_sequence_start_ >= 0.0 && (production == nullptr || !production->busy())) {
        // The Program All sequence has ended: with its Verify passed, the
        // status line gives the time of the whole sequence, not the Verify's.
        if (verify_passed) {
            sequence_seconds_ = host_.clock_seconds() - program_sequence_start_;
        }
        program_sequence_start_ = -1.0;
    }
    // A Read All that finished: the buffer is the chip now, not the file.
    if (runner.completing() && runner.operation_name == operation_name(OperationKind::Read) &&
        !read_for_program) {
        out_of_range_warning_.clear();
        label_hex->clear();
        loaded_path_.clear();
        menureload->setEnabled(false);
        watch_loaded_file();
    }
    // The operation's name is gone once it was stopped: "Stop" kept it.
    const bool partly_written = program.operation_failed && !runner.completing() &&
                                stopped_operation_ == operation_name(OperationKind::Program);
    stopped_operation_.clear();
    if (partly_written && !close_confirmed_) {
        // After the status line has said "Operation stopped.".
        QTimer::singleShot(0, this, [] {
            (void)mymsgbox(kPartlyWrittenText, message_kind::kInformation, window_title());
        });
    }
    // A window turns the fast link on for its operation only: once nothing runs,
    // the status bar shows the link as the settings have it again.
    QTimer::singleShot(0, this, [this] {
        if (!state().runner.running() && !state().runner.in_step() &&
            (production == nullptr || !production->busy())) {
            link_settings_changed();
        }
    });
}

void Form1::closeEvent(QCloseEvent* event) {
    ProgramState& program = state();
    const bool busy =
        program.runner.running() || program.runner.in_step() || program.link.vpp_test_on;
    if (busy && !close_confirmed_) {
        const int answer =
            mymsgbox(kStopAndCloseQuestion, message_kind::kQuestion | message_kind::kDefaultButton2,
                     window_title());
        if (answer != message_result::kYes) {
            event->ignore();
            return;
        }
        close_confirmed_ = true;
    }
    if (busy && !end_operations_now()) {
        // The question came during a step: the operation ends at the board's
        // next answer, and the window closes after it.
        (void)request_stop(program);
        event->ignore();
        QTimer::singleShot(kCloseRetryMilliseconds, this, &QWidget::close);
        return;
    }
    close_confirmed_ = false;
    if (!offer_to_save_buffer()) {
        event->ignore();
        return;
    }
    end_for_exit();
    event->accept();
}

void Form1::menuabout_Click() {
    const QString crlf = QStringLiteral("\r\n");
    QString text;
    for (const QString& line :
         {window_title(), QStringLiteral("Version %1").arg(QCoreApplication::applicationVersion()),
          QStringLiteral("Programmer for 14-bit PIC microcontrollers"), QString(),
          QStringLiteral("The Tavrelix Corvanel developers"),
          QStringLiteral("Free software under the GNU General Public License,"),
          QStringLiteral("version 3 or later (GPL-3.0-or-later)."), QString(),
          QStringLiteral("Command-line tool: corvanel --help")}) {
        text += line + crlf;
    }
    mymsgbox(text, message_kind::kTick, window_title());
}

void Form1::apply_operation_settings() {
    // Never changed mid-operation: its script and window were chosen at its start.
    if (!state().runner.running()) {
        corvanel::apply_operation_settings(build_operation_settings(settings()).settings, state());
    }
}

void Form1::link_settings_changed() {
    apply_operation_settings();
    show_link_mode();
}

void Form1::show_link_mode() {
    // No port open: no link to speak of (the status line says why).
    const QString text =
        state().link.port_ready ? QString::fromStdString(link_mode_text(state())) : QString();
    if (label_link->text() != text) {
        label_link->setText(text);
    }
}

void Form1::run_operation(OperationKind operation) {
    stopped_operation_.clear();
    apply_operation_settings();
    const auto idle = [this] {
        return !state().runner.running() && !state().runner.in_step() && !production->busy();
    };
    if (!idle()) {
        if (production->busy() || !state().runner.completing()) {
            set_status(kOperationInProgress);
        }
        return;
    }
    if (!confirm_out_of_range_buffer(operation)) {
        return;
    }
    // A file cut short at a line boundary loads without a fault: ask before the
    // chip gets (or is compared with) what may be only part of the program.
    if ((operation == OperationKind::Program || operation == OperationKind::Verify) &&
        state().image_cut_short &&
        mymsgbox(QString::fromLatin1(kNoEndRecordText) + QStringLiteral("\r\nContinue?"),
                 message_kind::kQuestion, window_title()) != message_result::kYes) {
        set_status(QString::fromUtf8(cancelled_text(operation).data(),
                                     static_cast<qsizetype>(cancelled_text(operation).size())));
        return;
    }
    // The questions wait for an answer while events go on: whatever started in
    // the meantime owns the chip now, and this run is not started over it.
    if (!idle()) {
        set_status(kOperationInProgress);
        return;
    }
    // Which bits of the configuration word protect the memories (Verify).
    state().config_fields = &config_field_table();
    if (production->takes(operation)) {
        // Program All (counters, log, serial numbers, kept memories, the Verify
        // after it) and Read All of chosen memories run as the production sequence.
        start_production(operation, on_change_run_);
        on_change_run_ = false;
        return;
    }
    const StartResult started = start_operation(state(), operation);
    if (started == StartResult::Busy && !state().runner.completing()) {
        set_status(kOperationInProgress);
    }
    if (started == StartResult::Started && operation == OperationKind::Read &&
        settings().find_number(QString::fromLatin1(setting_names::verify_read)).value_or(0) != 0) {
        // "Verify Read": once the read has finished well, the chip is compared
        // with what was read, so a byte garbled on the line shows as a mismatch.
        when_operation_ends([this] {
            if (!state().operation_failed &&
                status_text().startsWith(QStringLiteral("Chip read. "))) {
                (void)start_operation(state(), OperationKind::Verify);
            }
        });
    }
}

bool Form1::confirm_out_of_range_buffer(OperationKind operation) {
    if (out_of_range_warning_.isEmpty() ||
        (operation != OperationKind::Program && operation != OperationKind::Verify)) {
        return true;
    }
    // The load's own warning, word for word, and the question: what the chip
    // cannot hold would be left out of the chip without a word.
    const QString question = out_of_range_warning_ + (operation == OperationKind::Program
                                                          ? QStringLiteral("Program anyway?")
                                                          : QStringLiteral("Verify anyway?"));
    // "No" by default, as every question before something risky.
    if (mymsgbox(question, message_kind::kQuestion | message_kind::kDefaultButton2,
                 window_title()) == message_result::kYes) {
        return true;
    }
    set_status(QString::fromUtf8(cancelled_text(operation).data(),
                                 static_cast<qsizetype>(cancelled_text(operation).size())));
    return false;
}

void Form1::start_production(OperationKind operation, bool on_change) {
    program_sequence_start_ = operation == OperationKind::Program ? host_.clock_seconds() : -1.0;
    production->start(operation, on_change);
    if (!production->busy()) {
        program_sequence_start_ = -1.0;  // refused before it began
    }
}

// --- the window as the engine's host ---------------------------------------------------

void Form1::Host::set_status_text(std::string_view text) {
    if (is_intermediate_progress(text) && !progress_throttle_.due()) {
        return;
    }
    form_.show_progress(text);
    form_.set_status(form_.with_sequence_time(
        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))));
    // The port opened, an operation chose (or measured) its window, answers were lost.
    form_.show_link_mode();
}

std::optional<double> Form1::Host::ask_board_vpp(std::string_view question) {
    return ask_board_vpp_setting(
        QString::fromUtf8(question.data(), static_cast<qsizetype>(question.size())));
}

int Form1::Host::show_message(std::string_view text, int kind, std::string_view caption) {
    const QString shown_caption =
        caption.empty() ? window_title()
                        : QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
    // The engine asks only before it goes on with something risky (a chip that
    // does not answer as the model): "No" is the default there.
    const int shown_kind =
        kind == message_kind::kQuestion ? kind | message_kind::kDefaultButton2 : kind;
    QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    // The list of a failed check ends with how many locations differ; the
    // check stops at the limit, so a full list may not be all of them.
    if (shown.startsWith(QStringLiteral("Chip verify failed:\r\n")) ||
        shown.startsWith(QStringLiteral("Chip is not blank:\r\n"))) {
        const std::int32_t count = state().report.mismatch_count;
        shown +=
            count >= kMismatchLimit
                ? QStringLiteral("\r\n%1 mismatches: the check stops there, there may be more.")
                      .arg(count)
                : QStringLiteral("\r\n%1 %2 in all.")
                      .arg(count)
                      .arg(count == 1 ? QStringLiteral("mismatch") : QStringLiteral("mismatches"));
        // A series of chips does not wait on it: the repeat mode's FAIL panel
        // says so and keeps the list.
        if (form_.repeat_dialog_ != nullptr && kind != message_kind::kQuestion &&
            form_.repeat_dialog_->take_report(shown)) {
            return message_result::kOk;
        }
    }
    return mymsgbox(shown, shown_kind, shown_caption);
}

void Form1::Host::pause(int milliseconds) {
    pause_to_deadline(milliseconds);
}

double Form1::Host::clock_seconds() {
    return static_cast<double>(clock_.nsecsElapsed()) / 1e9;
}

void Form1::Host::process_events() {
    form_.note_running_operation();
    if (event_throttle_.due()) {
        QCoreApplication::processEvents();
    }
}

void Form1::Host::end_program() {
    // The engine stops the operation itself; the program ends when control
    // returns to the event loop.
    QCoreApplication::exit(1);
}

}  // namespace corvanel
