#include "gui/ui/main_window.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QThread>
#include <QWheelEvent>

#include "core/devices/leading_number.h"
#include "core/devices/model_application.h"
#include "core/engine/program_state.h"
#include "core/image/hex_text.h"
#include "gui/devices/model_chooser.h"
#include "gui/dialogs/color_theme.h"
#include "gui/dialogs/message_box.h"
#include "gui/dialogs/theme_chooser.h"
#include "gui/link/port_commands.h"
#include "gui/ui/cell_editor.h"
#include "gui/ui/memory_table.h"
#include "gui/widgets/click_label.h"
#include "gui/widgets/program_icon.h"
#include "gui/widgets/table_scroll_bar.h"
#include "platform/app/app_state.h"
#include "platform/app/settings_store.h"
#include "platform/link/port_setup.h"
#include "platform/link/serial_link.h"

namespace corvanel {

namespace {

// The window was laid out in twips; 15 twips make one pixel at 96 dots per inch.
QRect twips(int left, int top, int width, int height) {
    return {left / 15, top / 15, width / 15, height / 15};
}

constexpr int kClientWidth = 6195 / 15;
constexpr int kClientHeight = 6435 / 15;
constexpr int kWheelStep = 120;  // wheel delta of one notch
constexpr int kWheelRows = 3;
constexpr int kTimeoutCheckMilliseconds = 250;

// FLASH words and configuration words hold 14 bits, EEPROM cells one byte.
constexpr int kWordLimit = 0x3FFF;
constexpr int kByteLimit = 0xFF;

const QString kOpenTooltip = QStringLiteral("Click to open HEX file!");
const QString kModelTooltip = QStringLiteral("Click to change microcontroller model!");
const QString kTableTooltip = QStringLiteral("Right click on the location to edit its value!");

QString text_of(const std::string& text) {
    return QString::fromStdString(text);
}

QFont window_font() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(11);
    return font;
}

QFont fixed_font(int pixels) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(pixels);
    return font;
}

}  // namespace

Form1::Form1(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(window_title());
    setWindowIcon(program_icon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(window_font());
    build_menus();
    build_controls();
    apply_fonts();
    setCentralWidget(client_);
    client_->setFixedSize(kClientWidth, kClientHeight);
    adjustSize();
    setFixedSize(sizeHint());
    qApp->installEventFilter(this);
    on_theme_changed(this, [this] { settheme(); });

    model_chooser_ = [this] { show_model_chooser(this); };
    state().host = &host_;
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
    menusave = menu1->addAction(QStringLiteral("&Save Buffer As"), this, &Form1::menusave_Click);

    menu3 = menuBar()->addMenu(QStringLiteral("&Tools"));
    const std::array<QString, 5> operation_captions = {
        QStringLiteral("&Program All"), QStringLiteral("&Read All"), QStringLiteral("&Erase All"),
        QStringLiteral("&Blank Check"), QStringLiteral("&Verify")};
    for (std::size_t i = 0; i < operation_captions.size(); ++i) {
        const OperationKind operation = kButtonOperations[i];
        menuoperation[i] = menu3->addAction(operation_captions[i], this,
                                            [this, operation] { run_operation(operation); });
    }

    menu4 = menuBar()->addMenu(QStringLiteral("&Options"));
    menumodel = menu4->addAction(QStringLiteral("Change Microcontroller Model"), this,
                                 &Form1::menumodel_Click);
    menuport = menu4->addAction(QStringLiteral("Change Serial Port Number"), this, [this] {
        if (serial_link_ != nullptr) {
            change_serial_port_number(*serial_link_);
        }
    });
    menubaud = menu4->addAction(QStringLiteral("Change Baud Rate"), this, [this] {
        if (serial_link_ != nullptr) {
            change_baud_rate(*serial_link_);
        }
    });
    menuprogtime = menu4->addAction(QStringLiteral("Change Default Programming Time"), this,
                                    [] { change_programming_time(state()); });
    menucolors = menu4->addAction(QStringLiteral("Change Color Theme"), this,
                                  [this] { show_theme_chooser(this); });

    menu5 = menuBar()->addMenu(QStringLiteral("Help"));
    menuportinfo = menu5->addAction(QStringLiteral("Serial Port Pinout"), this,
                                    [] { show_serial_port_pinout(); });
    menuabout =
        menu5->addAction(QStringLiteral("About Tavrelix Corvanel"), this, &Form1::menuabout_Click);
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

    Label7 = label(QStringLiteral("Loaded HEX File"), twips(60, 60, 1755, 255), kOpenTooltip);
    label_vpp = label(QStringLiteral("Test Vpp"), twips(5160, 60, 975, 255),
                      QStringLiteral("Click to turn ON/OFF Vpp (and Vdd) voltages for the "
                                     "purpose of adjusting Vpp voltage!"));
    label_hex = label(QString(), twips(60, 360, 6075, 255), kOpenTooltip);

    const std::array<QString, 5> captions = {
        QStringLiteral("Program All"), QStringLiteral("Read All"), QStringLiteral("Erase All"),
        QStringLiteral("Blank Check"), QStringLiteral("Verify")};
    const std::array<QRect, 5> button_geometry = {
        twips(60, 720, 1155, 315), twips(1260, 720, 1095, 315), twips(2400, 720, 1095, 315),
        twips(3540, 720, 1155, 315), twips(4740, 720, 1095, 315)};
    for (std::size_t i = 0; i < Command.size(); ++i) {
        Command[i] = new QPushButton(captions[i], client_);
        Command[i]->setGeometry(button_geometry[i]);
        const OperationKind operation = kButtonOperations[i];
        connect(Command[i], &QPushButton::clicked, this,
                [this, operation] { run_operation(operation); });
    }

    Label1 =
        label(QStringLiteral("Microcontroller Model"), twips(60, 1140, 2055, 255), kModelTooltip);
    label_ime = label(QString(), twips(2160, 1140, 2535, 255), kModelTooltip);
    label_info = label(QString(), twips(60, 1440, 4635, 255), kModelTooltip);
    Label3 = label(QStringLiteral("FLASH Memory"), twips(60, 1800, 1575, 255));

    tabla_flash = new MemoryTable(kFlashRowLayout, client_);
    tabla_flash->setGeometry(twips(60, 2100, 5835, 1755));
    tabla_flash->setToolTip(kTableTooltip);
    scrl1 = new TableScrollBar(client_);
    scrl1->setGeometry(twips(5880, 2100, 255, 1755));

    Label4 = label(QStringLiteral("EEPROM Memory"), twips(60, 3960, 1575, 255));

    tabla_eeprom = new MemoryTable(kEepromRowLayout, client_);
    tabla_eeprom->setGeometry(twips(60, 4260, 3615, 1755));
    tabla_eeprom->setToolTip(kTableTooltip);
    scrl2 = new TableScrollBar(client_);
    scrl2->setGeometry(twips(3660, 4260, 255, 1755));

    lfix[0] = label(QStringLiteral("Config. Word (2007h)"), twips(4080, 4260, 1755, 255));
    label_conf[0] =
        label(QString(), twips(4380, 4560, 1215, 255), QStringLiteral("Click to edit!"));
    lfix[1] = label(QStringLiteral("Config. Word (2008h)"), twips(4080, 4860, 1755, 255));
    label_conf[1] =
        label(QString(), twips(4380, 5160, 1215, 255), QStringLiteral("Click to edit!"));
    Label5 = label(QStringLiteral("Status"), twips(4380, 5820, 1755, 255));
    label_status = label(QString(), twips(60, 6120, 6075, 255));

    // Created last so that it lies above the table and the labels it covers.
    unosbox = new CellEditor(client_);
    unosbox->setGeometry(twips(1740, 3960, 375, 255));

    connect(Label7, &ClickLabel::clicked, this, &Form1::menuopen_Click);
    connect(label_hex, &ClickLabel::clicked, this, &Form1::menuopen_Click);
    for (ClickLabel* model_label : {Label1, label_ime, label_info}) {
        connect(model_label, &ClickLabel::clicked, this, &Form1::menumodel_Click);
    }
    connect(label_vpp, &ClickLabel::clicked, this, [] { toggle_vpp_test(state()); });
    for (int index = 0; index < 2; ++index) {
        connect(label_conf[index], &ClickLabel::clicked, this,
                [this, index] { label_conf_Click(index); });
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
    // The tables need eight rows of their widest line; the platform may lack the
    // design font, so the fixed-pitch system font is sized to fit.
    tabla_flash->fit_font(fixed_font(13), 47);
    tabla_eeprom->fit_font(fixed_font(13), 29);
    for (ClickLabel* value_label : label_conf) {
        value_label->setFont(fixed_font(13));
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
    paint_control(label_status, roles.col_field_back, roles.col_field_text);
    for (ClickLabel* value_label : label_conf) {
        paint_control(value_label, roles.col_field_back, roles.col_field_text);
    }
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
    for (QMenu* menu : {menu1, menu3, menu4, menu5}) {
        menu->menuAction()->setEnabled(enabled);
    }
    for (QPushButton* button : Command) {
        button->setEnabled(enabled);
    }
    QCoreApplication::processEvents();
}

void Form1::set_status(const QString& text) {
    label_status->setText(text);
}

QString Form1::status_text() const {
    return label_status->text();
}

void Form1::updatedisplay() {
    const MemoryImage& image = state().image;
    label_ime->setText(text_of(state().model.model_name));
    label_info->setText(
        QStringLiteral("FLASH: %1,  EEPROM: %2").arg(image.flash_size).arg(image.eeprom_size));
    tabla_flash->set_rows({});
    tabla_eeprom->set_rows({});
    label_conf[0]->clear();
    label_conf[1]->clear();
    QCoreApplication::processEvents();

    tabla_flash->set_rows(flash_rows(image, scrl1->value()));
    tabla_eeprom->set_rows(eeprom_rows(image, scrl2->value()));
    label_conf[0]->setText(text_of(hex4(image.config_word(1))));
    if (image.config2_used) {
        label_conf[1]->setText(text_of(hex4(image.config_word(2))));
        label_conf[1]->setVisible(true);
        lfix[1]->setVisible(true);
    } else {
        label_conf[1]->clear();
        label_conf[1]->setVisible(false);
        lfix[1]->setVisible(false);
    }
    QCoreApplication::processEvents();
}

void Form1::menuclear_Click() {
    disable();
    MemoryImage& image = state().image;
    image.clear_image();
    // Draw from the first rows: a smaller model must never make a table read
    // past the end of its area.
    for (TableScrollBar* bar : {scrl1, scrl2}) {
        const QSignalBlocker blocker(bar);
        bar->setRange(0, 0);
    }
    updatedisplay();
    label_hex->clear();
    set_status(QString());
    enable();
    scrl1->setMaximum(scroll_maximum(image.flash_size));
    scrl2->setMaximum(scroll_maximum(image.eeprom_size));
    focus_scroll_bar(scrl2);
    focus_scroll_bar(scrl1);
}

void Form1::menumodel_Click() {
    if (!model_chooser_) {
        return;
    }
    model_chooser_();
    if (serial_link_ != nullptr) {
        // A virtual board follows the chip of the applied model.
        serial_link_->follow_applied_model();
    }
    menuclear_Click();
}

void Form1::menuabout_Click() {
    const QString crlf = QStringLiteral("\r\n");
    QString text;
    for (const QString& line :
         {window_title(), QStringLiteral("Version %1").arg(QCoreApplication::applicationVersion()),
          QStringLiteral("Programmer for 14-bit PIC microcontrollers"), QString(),
          QStringLiteral("The Tavrelix Corvanel developers"),
          QStringLiteral("https://example.org/tavrelix-corvanel"), QString(),
          QStringLiteral("Send bug reports and suggestions to:"),
          QStringLiteral("bugs@example.org")}) {
        text += line + crlf;
    }
    mymsgbox(text, 0, window_title());
}

void Form1::load_sequence() {
    loadtheme();
    settheme();
    show();

    last_path() =
        settings().get_string(QString::fromLatin1(setting_names::last_path), program_folder());

    ProgramState& program = state();
    const QString model_setting = QString::fromLatin1(setting_names::microcontroller_model);
    program.selected_model = leading_number(
        settings()
            .get_string(model_setting, QString::fromLatin1(setting_defaults::microcontroller_model))
            .toStdString());
    if (!program.database.has_model(program.selected_model)) {
        program.selected_model = 1;
        settings().put_string(model_setting, QStringLiteral("1"));
    }
    (void)apply_model(program.database, program.selected_model, program.model, program.image);

    menuclear_Click();

    if (serial_link_ != nullptr) {
        serial_link_->scan_ports();
        (void)serial_link_->open_configured_port();
    } else {
        open_port_without_link();
    }
}

namespace {

// A serial line that has no ports at all.
class NoPorts final : public SerialPortControl {
public:
    bool select_port(int) override { return false; }
    bool set_line_settings(const QString&) override { return false; }
    bool open() override { return false; }
    bool close() override { return false; }
};

}  // namespace

void Form1::open_port_without_link() {
    NoPorts none;
    const PortScan scan = scan_ports(none);
    const OpenedPort opened = open_configured_port(none, settings(), scan.last_openable_port);
    ProgramState& program = state();
    program.link.port_number = opened.port_number;
    program.link.baud_text = opened.baud_text.toStdString();
    program.link.port_ready = false;
    set_status(opened.status_text);
}

void Form1::run_operation(OperationKind operation) {
    (void)start_operation(state(), operation);
}

// --- the window as the engine's host ---------------------------------------------------

void Form1::Host::set_status_text(std::string_view text) {
    form_.set_status(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

int Form1::Host::show_message(std::string_view text, int kind, std::string_view caption) {
    const QString shown_caption =
        caption.empty() ? window_title()
                        : QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
    return mymsgbox(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), kind,
                    shown_caption);
}

void Form1::Host::pause(int milliseconds) {
    if (milliseconds > 0) {
        QThread::msleep(static_cast<unsigned long>(milliseconds));
    }
}

double Form1::Host::clock_seconds() {
    return static_cast<double>(clock_.nsecsElapsed()) / 1e9;
}

void Form1::Host::process_events() {
    QCoreApplication::processEvents();
}

void Form1::Host::end_program() {
    // The engine stops the operation itself; the program ends when control
    // returns to the event loop.
    QCoreApplication::exit(1);
}

// --- focus, scrolling and the mouse wheel -------------------------------------------

void Form1::focus_scroll_bar(TableScrollBar* bar) {
    bar->setFocus(Qt::OtherFocusReason);
    // The focus event only arrives while the window is active; the wheel target
    // follows the scroll bar that holds the focus in any case.
    wheel_target_ = bar == scrl1 ? WheelTarget::Flash : WheelTarget::Eeprom;
}

void Form1::table_got_focus(MemoryTable* table) {
    focus_scroll_bar(table == tabla_flash ? scrl1 : scrl2);
    if (editor_armed_) {
        editor_armed_ = false;
        unosbox->show();
        unosbox->raise();
        unosbox->setFocus(Qt::OtherFocusReason);
    }
}

void Form1::table_pointer_moved(MemoryTable* table) {
    if (table == tabla_flash && wheel_target_ == WheelTarget::Eeprom) {
        focus_scroll_bar(scrl1);
    } else if (table == tabla_eeprom && wheel_target_ == WheelTarget::Flash) {
        focus_scroll_bar(scrl2);
    }
}

void Form1::scroll_dragged() {
    QCoreApplication::processEvents();
    updatedisplay();
}

void Form1::MouseWheel(int /*mousekeys*/, int rotation, int /*xpos*/, int /*ypos*/) {
    TableScrollBar* bar = nullptr;
    if (wheel_target_ == WheelTarget::Flash) {
        bar = scrl1;
    } else if (wheel_target_ == WheelTarget::Eeprom) {
        bar = scrl2;
    } else {
        return;
    }
    const int step = rotation < 0 ? kWheelRows : -kWheelRows;
    bar->setValue(std::clamp(bar->value() + step, bar->minimum(), bar->maximum()));
}

void Form1::Form_Activate() {
    wheel_on_ = false;
    wheel_remainder_ = 0;
    wheel_on_ = settings().get_number(QString::fromLatin1(setting_names::mouse_wheel_enabled),
                                      setting_defaults::mouse_wheel_enabled) != 0;
}

void Form1::Form_Deactivate() {
    wheel_on_ = false;
    wheel_remainder_ = 0;
}

void Form1::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) {
        if (isActiveWindow()) {
            Form_Activate();
        } else {
            Form_Deactivate();
        }
    }
}

void Form1::handle_wheel_event(QWheelEvent* event) {
    if (!wheel_on_) {
        return;
    }
    // Fine-grained wheels and touchpads send small deltas; a notification is
    // counted for every full notch of 120 units.
    wheel_remainder_ += event->angleDelta().y();
    const QPoint position = event->position().toPoint();
    while (wheel_remainder_ >= kWheelStep || wheel_remainder_ <= -kWheelStep) {
        const int notch = wheel_remainder_ > 0 ? kWheelStep : -kWheelStep;
        wheel_remainder_ -= notch;
        MouseWheel(0, notch, position.x(), position.y());
    }
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == this) {
            // The wheel always moves the table the scroll bar focus names, never
            // the control under the pointer on its own.
            handle_wheel_event(static_cast<QWheelEvent*>(event));
            return true;
        }
    }
    // A press that a label or a table leaves unhandled also reaches the client
    // area; only a press where no control lies is a click on the background.
    if (watched == client_ && event->type() == QEvent::MouseButtonPress &&
        client_->childAt(static_cast<QMouseEvent*>(event)->position().toPoint()) == nullptr) {
        focus_scroll_bar(scrl1);
    }
    return QMainWindow::eventFilter(watched, event);
}

// --- the cell editor --------------------------------------------------------------------

TableScrollBar* Form1::edit_scroll_bar() const {
    return edit_target_ == EditTarget::Eeprom ? scrl2 : scrl1;
}

void Form1::tabla_MouseUp(MemoryTable* table, QPoint position) {
    QCoreApplication::processEvents();
    const auto cell = table->cell_at(position);
    if (!cell) {
        return;
    }
    const bool flash = table == tabla_flash;
    const TableScrollBar* bar = flash ? scrl1 : scrl2;
    const int size = flash ? state().image.flash_size : state().image.eeprom_size;
    const int index = (bar->value() + cell->row) * kTableColumns + cell->column;
    if (index > size - 1) {
        return;
    }
    edit_index_ = index;
    const QRect cell_area = table->cell_rect(*cell).translated(table->pos());
    // Just taller than a row, so the border does not hide the rows around it.
    const int height = cell_area.height() + 4;
    unosbox->setFont(table->font());
    unosbox->setGeometry(cell_area.x(), cell_area.center().y() - height / 2, cell_area.width(),
                         height);
    unosbox->clear();
    unosbox->setMaxLength(flash ? 4 : 2);
    editor_armed_ = true;
    edit_target_ = flash ? EditTarget::Flash : EditTarget::Eeprom;
    // The press before this release has already moved the focus, so the editor
    // is shown here rather than by a focus event that will not come again.
    table_got_focus(table);
}

void Form1::label_conf_Click(int index) {
    edit_index_ = index + 1;
    unosbox->setFont(label_conf[index]->font());
    unosbox->setGeometry(label_conf[index]->geometry());
    unosbox->clear();
    unosbox->setMaxLength(4);
    edit_target_ = EditTarget::Config;
    editor_armed_ = false;
    unosbox->show();
    unosbox->raise();
    unosbox->setFocus(Qt::OtherFocusReason);
}

void Form1::unosbox_Escape() {
    unosbox->hide();
    focus_scroll_bar(edit_scroll_bar());
}

void Form1::unosbox_LostFocus() {
    unosbox->hide();
    focus_scroll_bar(edit_scroll_bar());
}

void Form1::unosbox_Enter() {
    const QString text = unosbox->text();
    if (!text.isEmpty()) {
        const int value = editor_value(text);
        const int limit = edit_target_ == EditTarget::Eeprom ? kByteLimit : kWordLimit;
        if (value >= 0 && value <= limit) {
            focus_scroll_bar(edit_scroll_bar());
            MemoryImage& image = state().image;
            switch (edit_target_) {
                case EditTarget::Flash:
                    (void)image.set_flash_word(edit_index_, value);
                    break;
                case EditTarget::Eeprom:
                    (void)image.set_eeprom_byte(edit_index_, value);
                    break;
                case EditTarget::Config:
                    (void)image.set_config_word(edit_index_, value);
                    break;
            }
            updatedisplay();
            label_hex->clear();
        }
    }
    unosbox->hide();
    // A rejected value closes the editor as well; the focus goes back to the
    // table's scroll bar instead of wandering to the next control.
    focus_scroll_bar(edit_scroll_bar());
}

}  // namespace corvanel
