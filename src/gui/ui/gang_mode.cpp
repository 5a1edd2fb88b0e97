// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/ui/gang_mode.h"

#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/engine/chip_insertion.h"
#include "gui/dialogs/color_theme.h"
#include "gui/dialogs/input_box.h"
#include "gui/dialogs/message_box.h"
#include "gui/ui/main_window.h"
#include "gui/ui/production_panel.h"
#include "gui/widgets/screen_fit.h"
#include "platform/app/app_state.h"
#include "platform/link/serial_link.h"

namespace corvanel {

namespace {

// The colours of the single board's mode, each text at least 4.5:1 on its background.
constexpr const char* kWaitBack = "#E0E0E0";
constexpr const char* kWaitText = "#202020";
constexpr const char* kPassBack = "#1B7A2B";
constexpr const char* kFailBack = "#B00020";
constexpr const char* kLightText = "#FFFFFF";

// A tile stays readable at four boards side by side on a 1366-pixel screen.
constexpr int kTileWidth = 300;
constexpr int kMostColumns = 4;
// Between two tiles, and the dialog's margins with the window frame.
constexpr int kTileGap = 10;
constexpr int kDialogAllowance = 40;

constexpr const char* kToolPrefix = "corvanel: ";

}  // namespace

GangDialog::GangDialog(Form1& form, const QStringList& ports, Options base)
    : QDialog(&form), form_(form), base_(std::move(base)), shared_(std::make_unique<GangShared>()) {
    setWindowTitle(QStringLiteral("Repeat on Several Boards"));
    if (!base_.serial.isEmpty()) {
        std::string error;
        if (const auto first = parse_serial_text(base_.serial.toStdString(), error)) {
            shared_->serials.emplace(*first);
        }
    }
    const int count = static_cast<int>(ports.size());
    int columns = count <= kMostColumns
                      ? count
                      : static_cast<int>(std::ceil(std::sqrt(static_cast<double>(count))));
    // No wider than the screen: at a large scale (a 1366-pixel laptop at 150 %
    // leaves 910) a row of four would put the last board and "Stop" off it.
    if (const int room = available_screen_width(&form); room > 0) {
        columns = std::clamp((room - kDialogAllowance) / (kTileWidth + kTileGap), 1, columns);
    }
    auto* grid = new QGridLayout;
    tiles_.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        Tile& tile = tiles_[static_cast<std::size_t>(i)];
        tile.port = ports[i];
        auto* frame = new QWidget(this);
        frame->setMinimumWidth(kTileWidth);
        tile.port_label = new QLabel(ports[i], frame);
        QFont bold = tile.port_label->font();
        bold.setBold(true);
        bold.setPointSize(bold.pointSize() + 2);
        tile.port_label->setFont(bold);
        tile.result_label = new QLabel(frame);
        tile.result_label->setAlignment(Qt::AlignCenter);
        tile.result_label->setMinimumHeight(110);
        QFont big = tile.result_label->font();
        big.setPointSize(36);
        big.setBold(true);
        tile.result_label->setFont(big);
        tile.state_label = new QLabel(frame);
        tile.state_label->setWordWrap(true);
        tile.state_label->setMinimumHeight(tile.state_label->fontMetrics().lineSpacing() * 3);
        tile.state_label->setAlignment(Qt::AlignTop | Qt::AlignLeft);
        tile.counts_label = new QLabel(frame);
        auto* column = new QVBoxLayout(frame);
        column->addWidget(tile.port_label);
        column->addWidget(tile.result_label, 1);
        column->addWidget(tile.state_label);
        column->addWidget(tile.counts_label);
        show_result(tile, QStringLiteral("READY"), kWaitBack, kWaitText);
        show_counts(tile);
        grid->addWidget(frame, i / columns, i % columns);
    }
    summary_label = new QLabel(this);
    summary_label->setWordWrap(true);
    stop_button = new QPushButton(QStringLiteral("Stop (Esc)"), this);
    connect(stop_button, &QPushButton::clicked, this, &GangDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(summary_label, 1);
    buttons->addWidget(stop_button);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addLayout(buttons);
    // A window of its own takes nothing from the main window's colours.
    paint_dialog(this, dialog_colors());
}

GangDialog::~GangDialog() {
    // Never left running past the window that shows them: each stops with its
    // voltages off (reject has normally done this already).
    if (running()) {
        request_series_stop();
    }
    for (QThread* thread : threads_) {
        thread->wait();
        delete thread;
    }
    clear_series_stop();
}

void GangDialog::start() {
    clear_series_stop();
    const QString model = base_.model;
    summary_label->setText(QStringLiteral("Programming on %1 boards at once. Insert a %2 in "
                                          "each socket.")
                               .arg(tiles_.size())
                               .arg(model));
    for (std::size_t i = 0; i < tiles_.size(); ++i) {
        Options mine = base_;
        mine.port = tiles_[i].port;
        mine.ports.clear();
        tiles_[i].running = true;
        QThread* thread = QThread::create([this, i, mine = std::move(mine)]() mutable {
            // The lines come to this window's thread, which owns the tiles.
            set_line_sink([this, i](std::string_view text) {
                const QString line =
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
                QMetaObject::invokeMethod(
                    this, [this, i, line] { this->line(i, line); }, Qt::QueuedConnection);
            });
            SeriesEvents events;
            events.chip_started = [this, i] {
                QMetaObject::invokeMethod(
                    this, [this, i] { chip_started(i); }, Qt::QueuedConnection);
            };
            events.chip_ended = [this, i](ChipVerdict verdict) {
                QMetaObject::invokeMethod(
                    this, [this, i, verdict] { chip_ended(i, verdict); }, Qt::QueuedConnection);
            };
            const BoardSeriesResult ended =
                run_board_series(std::move(mine), shared_.get(), std::move(events));
            const int exit = ended.exit;
            const bool powered = ended.left_powered;
            set_line_sink({});
            QMetaObject::invokeMethod(
                this, [this, i, exit, powered] { board_ended(i, exit, powered); },
                Qt::QueuedConnection);
        });
        threads_.push_back(thread);
        thread->start();
    }
    stop_button->setFocus();
}

bool GangDialog::running() const {
    for (const Tile& tile : tiles_) {
        if (tile.running) {
            return true;
        }
    }
    return false;
}

void GangDialog::reject() {
    if (!running()) {
        QDialog::reject();
        return;
    }
    if (!stopping_) {
        stopping_ = true;
        request_series_stop();
        stop_button->setEnabled(false);
        summary_label->setText(QStringLiteral("Stopping every board..."));
    }
}

void GangDialog::line(std::size_t board, const QString& text) {
    QString line = text.trimmed();
    // The series writes its notes and errors as the command-line tool does, after
    // the tool's name; the tile is no terminal.
    if (line.startsWith(QLatin1String(kToolPrefix))) {
        line.remove(0, static_cast<qsizetype>(std::strlen(kToolPrefix)));
    }
    if (!line.isEmpty()) {
        Tile& tile = tiles_[board];
        tile.earlier_line = tile.state_label->text();
        tile.state_label->setText(line);
    }
}

void GangDialog::chip_started(std::size_t board) {
    Tile& tile = tiles_[board];
    if (tile.running) {
        show_result(tile, QStringLiteral("BUSY"), "#FFC107", "#000000");
    }
}

void GangDialog::chip_ended(std::size_t board, ChipVerdict verdict) {
    Tile& tile = tiles_[board];
    switch (verdict) {
        case ChipVerdict::Pass:
            ++tile.passed;
            form_.production->count_chip(true);
            show_result(tile, QStringLiteral("PASS"), kPassBack, kLightText);
            break;
        case ChipVerdict::Fail:
            ++tile.failed;
            form_.production->count_chip(false);
            show_result(tile, QStringLiteral("FAIL"), kFailBack, kLightText);
            break;
        case ChipVerdict::Cancelled:
            ++tile.cancelled;
            show_result(tile, QStringLiteral("CANCELLED"), kWaitBack, kWaitText);
            break;
    }
    show_counts(tile);
}

void GangDialog::board_ended(std::size_t board, int exit, bool left_powered) {
    Tile& tile = tiles_[board];
    tile.running = false;
    tile.exit = exit;
    tile.left_powered = left_powered;
    if (left_powered) {
        show_result(tile, QStringLiteral("VOLTAGES ON"), kFailBack, kLightText);
    } else if (exit != run_exit::kDone && !stopping_) {
        // The board ended its series on its own (its link lost, the port never
        // opened, a refusal): the tile must not go on showing the last chip's
        // PASS, nor READY, as if it still waited for a chip.
        show_result(tile, QStringLiteral("STOPPED"), kFailBack, kLightText);
        if (!tile.earlier_line.isEmpty()) {
            tile.state_label->setText(tile.earlier_line + QLatin1Char('\n') +
                                      tile.state_label->text());
        }
    }
    if (running()) {
        return;
    }
    summary_label->setText(summary());
    stop_button->setText(QStringLiteral("Close"));
    stop_button->setEnabled(true);
    if (stopping_) {
        QDialog::reject();
    }
}

QString GangDialog::summary() const {
    std::int64_t passed = 0;
    std::int64_t failed = 0;
    std::int64_t cancelled = 0;
    for (const Tile& tile : tiles_) {
        passed += tile.passed;
        failed += tile.failed;
        cancelled += tile.cancelled;
    }
    QString text = QString::fromStdString(
        gang_summary_text(static_cast<int>(tiles_.size()), passed, failed, cancelled));
    const QString unused = unused_serials_text();
    if (!unused.isEmpty()) {
        text += QLatin1Char(' ') + unused;
    }
    return text;
}

std::optional<std::uint64_t> GangDialog::next_serial_number() const {
    if (!shared_->serials) {
        return std::nullopt;
    }
    return shared_->serials->next_fresh();
}

bool GangDialog::serials_used_up() const {
    return shared_->serials && !shared_->serials->next_fresh();
}

QString GangDialog::unused_serials_text() const {
    if (!shared_->serials) {
        return {};
    }
    const auto unused = shared_->serials->unused_returns();
    if (unused.empty()) {
        return {};
    }
    QString text = QStringLiteral("Serial numbers not used:");
    for (const std::uint64_t number : unused) {
        text += QLatin1Char(' ') + QString::number(number);
    }
    return text + QLatin1Char('.');
}

void GangDialog::show_result(Tile& tile, const QString& text, const char* back, const char* fore) {
    tile.result_label->setText(text);
    tile.result_label->setStyleSheet(
        QStringLiteral("QLabel { background: %1; color: %2; border-radius: 8px; }")
            .arg(QLatin1String(back), QLatin1String(fore)));
}

void GangDialog::show_counts(Tile& tile) {
    QString text = QStringLiteral("Pass %1  Fail %2").arg(tile.passed).arg(tile.failed);
    if (tile.cancelled > 0) {
        text += QStringLiteral("  Cancelled %1").arg(tile.cancelled);
    }
    tile.counts_label->setText(text);
}

void Form1::menugang_Click() {
    if (refuse_during_operation()) {
        return;
    }
    const QString current = serial_link_ != nullptr && state().link.port_number > 0
                                ? QStringLiteral("COM%1").arg(state().link.port_number)
                                : QString();
    const QString answer =
        myinputbox(QStringLiteral("The ports of the boards, separated by commas (COMn, a device "
                                  "path or virtual:FILE):"),
                   window_title(), current);
    if (answer.trimmed().isEmpty()) {
        return;
    }
    QStringList ports;
    for (const QString& part : answer.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (!part.trimmed().isEmpty()) {
            ports.append(part.trimmed());
        }
    }
    run_gang(ports);
}

void Form1::run_gang(const QStringList& ports) {
    ProgramState& program = state();
    QString refusal;
    if (ports.size() < 2) {
        refusal = QStringLiteral("Give two ports or more: one board is Repeat on Chip Insertion.");
    } else if (loaded_file().isEmpty()) {
        // Every board loads the file itself, as the command line does.
        refusal = QStringLiteral(
            "Several boards program a HEX file as it is on disk: open one "
            "first.");
    }
    for (qsizetype i = 0; refusal.isEmpty() && i < ports.size(); ++i) {
        if (ports.indexOf(ports[i]) != i) {
            // Two series on one board would take each other's answers.
            refusal = QStringLiteral("The port %1 is given twice.").arg(ports[i]);
        }
    }
    if (refusal.isEmpty()) {
        if (const auto refused =
                repeat_refusal(program.model.device_id, program.model.model_name, true, true)) {
            refusal = QString::fromStdString(*refused);
        }
    }
    if (!refusal.isEmpty()) {
        (void)mymsgbox(refusal, message_kind::kError, window_title());
        return;
    }
    // The reads switch the programming voltages on a few times a second on
    // every board, which nothing on these ports has said it is.
    if (mymsgbox(QStringLiteral("Repeat on Several Boards reads the device ID of every socket "
                                "about three times a second, with the programming voltages on "
                                "for each read.\r\nAre programmer boards on these ports and may "
                                "they be read so?"),
                 message_kind::kQuestion, window_title()) != message_result::kYes) {
        return;
    }
    Options options;
    options.command = QStringLiteral("program");
    options.args = QStringList{loaded_file()};
    options.repeat = true;
    options.verify = true;
    options.model = QString::fromStdString(program.model.model_name);
    options.devices = device_database_path();
    if (!production->regions().all()) {
        // Every memory is the command line's default, also for a model without EEPROM.
        options.only = QString::fromStdString(region_list_text(production->regions()));
    }
    options.preserve_eeprom = production->preserve_eeprom();
    options.log = production->log_path();
    if (production->serial_enabled()) {
        const SerialNumber& serial = production->serial();
        options.serial = QStringLiteral("%1:%2@%3")
                             .arg(serial.value)
                             .arg(serial.step)
                             .arg(QString::fromStdString(serial_location_text(serial)));
    }
    // The window's own port is one of the boards' or idle: the boards open theirs.
    const bool reopen = serial_link_ != nullptr && program.link.port_ready;
    if (serial_link_ != nullptr) {
        serial_link_->close_port();
    }
    GangDialog dialog(*this, ports, options);
    gang_dialog_ = &dialog;
    dialog.start();
    dialog.exec();
    gang_dialog_ = nullptr;
    if (production->serial_enabled()) {
        SerialNumber serial = production->serial();
        if (const auto next = dialog.next_serial_number()) {
            serial.value = *next;
            production->set_serial(serial, true);
        } else {
            // Never the same number twice: the series is complete.
            production->set_serial(serial, false);
        }
    }
    if (reopen) {
        (void)serial_link_->open_configured_port();
    }
    // After the port's own line: the boards' summary is what the user looks for.
    set_status(dialog.summary());
}

}  // namespace corvanel
