// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/link/serial_channel.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QMetaObject>
#include <QStringList>

#include <algorithm>
#include <chrono>

#include "core/link/board_identity.h"
#include "platform/app/crash_voltages_off.h"
#include "platform/link/low_latency.h"
#include "platform/link/virtual_port.h"

namespace corvanel {

namespace {

bool is_whole_number(const QString& text) {
    if (text.isEmpty()) {
        return false;
    }
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    return true;
}

// Qt reports a device held by another program (its lock file, TIOCEXCL) as a
// permission error too. When this user may read and write the device (root
// always may), the permission is not what is missing.
// A pseudo-terminal has no board that resets behind it.
bool is_pseudo_terminal(const QString& device) {
    const QString path = QFileInfo(device).canonicalFilePath();
    return path.startsWith(QLatin1String("/dev/pts/")) || path == QLatin1String("/dev/ptmx");
}

bool device_accessible(const QString& device) {
    const QFileInfo info(device);
    return info.exists() && info.isReadable() && info.isWritable();
}

QString describe_open_error(QSerialPort::SerialPortError error, const QString& device,
                            const QString& detail) {
    // A device that is not there is named so whatever Qt made of it: its lock
    // file (named after the device's last part, shared with any other program
    // that opens a device of that name at the same moment) can fail first.
    if (!device.isEmpty() && !QFileInfo::exists(device) &&
        (error == QSerialPort::PermissionError || error == QSerialPort::DeviceNotFoundError)) {
        return QStringLiteral("%1 does not exist").arg(device);
    }
    switch (error) {
        case QSerialPort::DeviceNotFoundError:
            return QStringLiteral("%1 does not exist").arg(device);
        case QSerialPort::PermissionError:
            if (device_accessible(device)) {
                return QStringLiteral("%1 is in use by another program").arg(device);
            }
#ifdef Q_OS_WIN
            return QStringLiteral("%1 is in use or access is denied").arg(device);
#else
            return QStringLiteral(
                       "%1: permission denied or in use (to use serial devices, "
                       "add your user to the \"dialout\" group and log in again)")
                .arg(device);
#endif
        default:
            break;
    }
    return QStringLiteral("%1: %2").arg(device, detail);
}

}  // namespace

std::optional<LineSettings> parse_line_settings(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4) {
        return std::nullopt;
    }
    LineSettings settings;
    if (!is_whole_number(parts[0]) || parts[0].size() > 9) {
        return std::nullopt;
    }
    settings.baud = parts[0].toInt();
    if (settings.baud <= 0) {
        return std::nullopt;
    }
    const QString parity = parts[1].toLower();
    if (parity == QLatin1String("n")) {
        settings.parity = QSerialPort::NoParity;
    } else if (parity == QLatin1String("e")) {
        settings.parity = QSerialPort::EvenParity;
    } else if (parity == QLatin1String("o")) {
        settings.parity = QSerialPort::OddParity;
    } else if (parity == QLatin1String("m")) {
        settings.parity = QSerialPort::MarkParity;
    } else if (parity == QLatin1String("s")) {
        settings.parity = QSerialPort::SpaceParity;
    } else {
        return std::nullopt;
    }
    const QString data = parts[2];
    if (data == QLatin1String("5")) {
        settings.data_bits = QSerialPort::Data5;
    } else if (data == QLatin1String("6")) {
        settings.data_bits = QSerialPort::Data6;
    } else if (data == QLatin1String("7")) {
        settings.data_bits = QSerialPort::Data7;
    } else if (data == QLatin1String("8")) {
        settings.data_bits = QSerialPort::Data8;
    } else {
        return std::nullopt;
    }
    const QString stop = parts[3];
    if (stop == QLatin1String("1")) {
        settings.stop_bits = QSerialPort::OneStop;
    } else if (stop == QLatin1String("1.5")) {
        settings.stop_bits = QSerialPort::OneAndHalfStop;
    } else if (stop == QLatin1String("2")) {
        settings.stop_bits = QSerialPort::TwoStop;
    } else {
        return std::nullopt;
    }
    return settings;
}

QtSerialChannel::QtSerialChannel(QObject* parent) : QObject(parent) {
    ports_folder_ = default_ports_folder();
    // Bytes from a real port are handed over as the port reports them, without
    // a second trip through the event queue. Inside a step (threshold 0) they
    // wait; the step's end raises the notification then.
    connect(&port_, &QSerialPort::readyRead, this, [this] {
        if (threshold_ == 1 && !notification_pending_) {
            deliver_notification();
        }
    });
    connect(&port_, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { on_port_error(error); });
}

// A device that is gone reports ResourceError on Linux; a pseudo-terminal whose
// other end closed reads end-of-file, which the port reports as ReadError. Its
// read notifier then fires on every pass of the event loop, so waiting for the
// answer time-out would spin the processor for nothing: the port is given up at
// once instead.
void QtSerialChannel::on_port_error(QSerialPort::SerialPortError error) {
    if (lost_ || !port_.isOpen()) {
        return;
    }
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError &&
        error != QSerialPort::WriteError) {
        return;
    }
    lost_ = true;
    last_error_ = QStringLiteral("Serial port lost: %1 was removed.").arg(target_.device);
    // The writes of a step may be what failed: the handler runs after the step.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (lost_handler_) {
                lost_handler_();
            } else {
                close();
            }
        },
        Qt::QueuedConnection);
}

QtSerialChannel::~QtSerialChannel() {
    close();
}

bool QtSerialChannel::select_port(int com_number) {
    virtual_refused_ = false;
    if (is_open()) {
        last_error_ = QStringLiteral("the port is open");
        return false;
    }
    const PortTarget target = map_com_port(com_number, ports_folder_);
    if (target.is_none()) {
        target_ = {};
        selected_com_ = 0;
        last_error_ = QStringLiteral("COM%1 is not a port number").arg(com_number);
        return false;
    }
    const bool selected = select_target(target);
    selected_com_ = com_number;
    return selected;
}

bool QtSerialChannel::select_target(const PortTarget& target) {
    virtual_refused_ = false;
    if (is_open()) {
        last_error_ = QStringLiteral("the port is open");
        return false;
    }
    selected_com_ = 0;
    target_ = target;
    last_error_.clear();
    permission_error_ = false;
    return !target_.is_none();
}

bool QtSerialChannel::set_line_settings(const QString& settings) {
    virtual_refused_ = false;
    const auto parsed = parse_line_settings(settings);
    if (!parsed) {
        last_error_ = QStringLiteral("line settings \"%1\" refused").arg(settings);
        return false;
    }
    settings_ = *parsed;
    if (port_.isOpen()) {
        const bool applied =
            port_.setBaudRate(settings_.baud) && port_.setParity(settings_.parity) &&
            port_.setDataBits(settings_.data_bits) && port_.setStopBits(settings_.stop_bits);
        if (!applied) {
            last_error_ = port_.errorString();
            return false;
        }
    }
    return true;
}

bool QtSerialChannel::open() {
    last_error_.clear();
    permission_error_ = false;
    virtual_refused_ = false;
    if (is_open()) {
        last_error_ = QStringLiteral("the port is already open");
        return false;
    }
    // A port that is still gone stays lost, so that the next operation tries again.
    const bool was_lost = lost_;
    lost_ = false;
    // A board server started again, or an adapter plugged in again behind a
    // link of the ports folder, is the same COMn on another device.
    if (selected_com_ != 0) {
        if (PortTarget again = map_com_port(selected_com_, ports_folder_); !again.is_none()) {
            target_ = std::move(again);
        }
    }
    switch (target_.kind) {
        case PortTarget::Kind::None:
            last_error_ = QStringLiteral("no port selected");
            return false;
        case PortTarget::Kind::Virtual:
            return open_virtual();
        case PortTarget::Kind::Device:
            break;
    }
    port_.setPortName(target_.device);
    port_.setBaudRate(settings_.baud);
    port_.setParity(settings_.parity);
    port_.setDataBits(settings_.data_bits);
    port_.setStopBits(settings_.stop_bits);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        permission_error_ =
            port_.error() == QSerialPort::PermissionError && !device_accessible(target_.device);
        last_error_ = describe_open_error(port_.error(), target_.device, port_.errorString());
        port_.clearError();
        lost_ = was_lost;
        return false;
    }
    latency_ = request_low_latency(static_cast<int>(port_.handle()), target_.device);
    add_crash_port_descriptor(static_cast<int>(port_.handle()));
    banner_seen_ = false;
    if (banner_wait_ == BannerWait::Always ||
        (banner_wait_ == BannerWait::Automatic && !is_pseudo_terminal(target_.device))) {
        wait_for_banner();
    }
    return true;
}

void QtSerialChannel::wait_for_banner() {
    const QByteArray banner(kBoardBanner.data(), static_cast<qsizetype>(kBoardBanner.size()));
    QByteArray received;
    QElapsedTimer timer;
    timer.start();
    while (!banner_seen_ && timer.elapsed() < kBannerWaitMilliseconds) {
        const int left = kBannerWaitMilliseconds - static_cast<int>(timer.elapsed());
        if (port_.waitForReadyRead(std::max(left, 1))) {
            received += port_.readAll();
            banner_seen_ = received.contains(banner);
        }
    }
    // The bootloader's and the banner's bytes are nobody's answers.
    (void)port_.readAll();
    port_.clear(QSerialPort::Input);
}

bool QtSerialChannel::close() {
    last_error_.clear();
    if (virtual_port_) {
        close_virtual();
        return true;
    }
    if (!port_.isOpen()) {
        return false;
    }
    remove_crash_port_descriptor(static_cast<int>(port_.handle()));
    port_.close();
    port_.clearError();
    return true;
}

bool QtSerialChannel::is_open() const {
    return virtual_port_ != nullptr || port_.isOpen();
}

void QtSerialChannel::write_byte(std::uint8_t byte) {
    if (virtual_port_) {
        virtual_port_->channel().write_byte(byte);
        schedule_notification();
        return;
    }
    if (!port_.isOpen()) {
        return;
    }
    if (lost_) {
        return;  // one failed write is enough: the port is being given up
    }
    const char c = static_cast<char>(byte);
    port_.write(&c, 1);
    // Hands the byte to the driver now rather than at the next event pass.
    port_.flush();
}

void QtSerialChannel::note_pause(int milliseconds) {
    if (virtual_port_) {
        virtual_port_->channel().note_pause(milliseconds);
    }
}

bool QtSerialChannel::answers_at_once() const {
    return virtual_port_ && virtual_port_->channel().answers_at_once();
}

std::vector<std::uint8_t> QtSerialChannel::read_all() {
    if (virtual_port_) {
        return virtual_port_->channel().read_all();
    }
    if (!port_.isOpen()) {
        return {};
    }
    const QByteArray bytes = port_.readAll();
    return {bytes.begin(), bytes.end()};
}

bool QtSerialChannel::has_waiting() const {
    if (virtual_port_) {
        return virtual_port_->channel().has_waiting();
    }
    return port_.isOpen() && port_.bytesAvailable() > 0;
}

void QtSerialChannel::set_receive_threshold(int threshold) {
    const int previous = threshold_;
    threshold_ = threshold;
    if (previous == 0 && threshold_ == 1 && has_waiting()) {
        // Bytes that came while notifications were off raise one now; the
        // notification is posted, never run from inside the caller's step.
        schedule_notification();
    }
}

void QtSerialChannel::schedule_notification() {
    if (notification_pending_ || threshold_ != 1) {
        return;
    }
    notification_pending_ = true;
    QMetaObject::invokeMethod(
        this, [this] { deliver_notification(); }, Qt::QueuedConnection);
}

void QtSerialChannel::deliver_notification() {
    notification_pending_ = false;
    if (threshold_ != 1 || !has_waiting() || !handler_) {
        return;
    }
    if (!virtual_port_) {
        handler_();
        return;
    }
    // The in-process board answers at once: its answers are handed over in a
    // loop, not by one queued event per step, for a slice of time after which
    // the window's events get their turn.
    const auto slice_end = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
    notification_pending_ = true;  // the steps' own notifications are this loop
    do {
        handler_();
    } while (virtual_port_ && threshold_ == 1 && has_waiting() &&
             std::chrono::steady_clock::now() < slice_end);
    notification_pending_ = false;
    if (threshold_ == 1 && has_waiting()) {
        schedule_notification();
    }
}

bool QtSerialChannel::open_virtual() {
    QString error;
    virtual_port_ = VirtualPort::create(virtual_chip_, target_.state_file, error);
    if (!virtual_port_) {
        last_error_ = error;
        virtual_refused_ = true;
        return false;
    }
    // The board runs at virtual_vdd_ ("Board Vdd", the tool's --vdd) and reports
    // it through identify, so the Vdd guard judges the emulated chip's supply.
    virtual_port_->board().set_vdd(virtual_vdd_);
    return true;
}

void QtSerialChannel::close_virtual() {
    QString error;
    if (!virtual_port_->save(error)) {
        last_error_ = error;
    }
    virtual_port_.reset();
}

bool QtSerialChannel::set_line_rate(std::int32_t baud) {
    if (virtual_port_ || !port_.isOpen() || baud <= 0) {
        return false;
    }
    // Bytes still in the port's buffer would leave at the new rate: out first.
    port_.flush();
    // The line settings stay the starting rate's: a port opened again finds the
    // board there (it resets, or is asked at the faster rates).
    return port_.setBaudRate(baud);
}

std::int32_t QtSerialChannel::fastest_line_rate() const {
    // The USB bridges of the boards carry 2 Mbaud; a bridge that cannot fails the
    // check exchange and the line stays at the rate that worked.
    constexpr std::int32_t kFastestRate = 2000000;
    return virtual_port_ ? 0 : kFastestRate;
}

}  // namespace corvanel
