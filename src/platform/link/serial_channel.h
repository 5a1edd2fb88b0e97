// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// MSComm1: the programmer's serial line. One object selects a COM number (or a
// device path, or the in-process virtual board), takes the line settings as a
// text ("56000,n,8,1"), opens and closes, and carries the byte traffic of the
// protocol. Received bytes raise the receive handler (the link's MSComm1_OnComm)
// on the user-interface thread while the receive threshold is 1; while it is 0
// they wait in the port's buffer and nothing runs.

#include <QObject>
#include <QSerialPort>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/link/byte_channel.h"
#include "platform/link/low_latency.h"
#include "platform/link/port_control.h"
#include "platform/link/port_map.h"

namespace corvanel {

class VirtualPort;

struct LineSettings {
    qint32 baud = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits data_bits = QSerialPort::Data8;
    QSerialPort::StopBits stop_bits = QSerialPort::OneStop;
};

// "56000,n,8,1": a whole positive baud rate, parity n/e/o/m/s, 5 to 8 data bits,
// 1, 1.5 or 2 stop bits. Nothing for any other text (a fractional baud rate included).
[[nodiscard]] std::optional<LineSettings> parse_line_settings(const QString& text);

// Whether open() waits for the board's banner before anything is sent: a real
// serial device may reset the board (an Arduino's bootloader runs first), a
// pseudo-terminal (the board server) and the in-process board do not. Always:
// a test on a pseudo-terminal whose far end starts like the firmware.
enum class BannerWait { Automatic, Always, Never };

class QtSerialChannel : public QObject, public ByteChannel, public SerialPortControl {
    Q_OBJECT
public:
    explicit QtSerialChannel(QObject* parent = nullptr);
    ~QtSerialChannel() override;

    // Where the per-port overrides are looked up (default_ports_folder() unless set).
    void set_ports_folder(const QString& folder) { ports_folder_ = folder; }
    [[nodiscard]] const QString& ports_folder() const { return ports_folder_; }

    // The chip that a virtual port emulates when it is opened (the applied
    // model's name, e.g. "PIC16F628A").
    void set_virtual_chip(const std::string& chip_name) { virtual_chip_ = chip_name; }

    void set_banner_wait(BannerWait wait) { banner_wait_ = wait; }
    [[nodiscard]] BannerWait banner_wait() const { return banner_wait_; }
    // The last open of a device port waited and the banner came.
    [[nodiscard]] bool banner_seen() const { return banner_seen_; }

    // The Vdd the in-process virtual board runs at ("Board Vdd", the tool's
    // --vdd; 5 V unless set), handed to the board when it is created.
    void set_virtual_vdd(double volts) { virtual_vdd_ = volts; }
    [[nodiscard]] double virtual_vdd() const { return virtual_vdd_; }

    // MSComm1_OnComm: run for every receive notification.
    void set_receive_handler(std::function<void()> handler) { handler_ = std::move(handler); }

    // Run once (from the event loop, never inside a write) when an open device
    // port fails: the USB adapter was pulled, the board server on the other end
    // of a pseudo-terminal ended, the driver reports an error. The port is still
    // open then, so that a last voltages-off may be tried; the handler closes it.
    void set_lost_handler(std::function<void()> handler) { lost_handler_ = std::move(handler); }
    // True from a port failure until the port is opened again (an open that fails
    // leaves it true); last_error() then says "Serial port lost: DEVICE was
    // removed." until the port is closed.
    [[nodiscard]] bool port_lost() const { return lost_; }

    // SerialPortControl
    [[nodiscard]] bool select_port(int com_number) override;
    [[nodiscard]] bool set_line_settings(const QString& settings) override;
    [[nodiscard]] bool open() override;
    bool close() override;

    // Selects a target directly (the command line's device path or virtual board).
    [[nodiscard]] bool select_target(const PortTarget& target);
    [[nodiscard]] const PortTarget& target() const { return target_; }

    // Why the last select, settings change, open or close failed (a virtual
    // board's state file that could not be written), in words for the user.
    [[nodiscard]] const QString& last_error() const { return last_error_; }
    // True when the last open failed because the device may not be opened by
    // this user (on Linux: not a member of the "dialout" group).
    [[nodiscard]] bool last_error_is_permission() const { return permission_error_; }
    // True when the last open failed because the virtual board could not start
    // (its chip state file holds another chip or is damaged): last_error()
    // says what to do.
    [[nodiscard]] bool last_error_is_virtual_board() const { return virtual_refused_; }

    // ByteChannel
    void write_byte(std::uint8_t byte) override;
    std::vector<std::uint8_t> read_all() override;
    void set_receive_threshold(int threshold) override;
    [[nodiscard]] int receive_threshold() const override { return threshold_; }
    [[nodiscard]] bool is_open() const override;
    // The virtual board keeps its own clock: the host's pauses move it on. A real
    // port needs no telling.
    void note_pause(int milliseconds) override;
    // The in-process virtual board answers at once; a real line never promises it.
    [[nodiscard]] bool answers_at_once() const override;
    [[nodiscard]] bool announced_itself() const override { return banner_seen_; }
    // A serial port switches its rate through QSerialPort; the in-process board
    // has no line to switch.
    [[nodiscard]] bool set_line_rate(std::int32_t baud) override;
    [[nodiscard]] std::int32_t fastest_line_rate() const override;

    // True when received bytes wait to be read.
    [[nodiscard]] bool has_waiting() const;

    // What the last open of a device port did to lower its latency.
    [[nodiscard]] const LatencyResult& latency() const { return latency_; }

    // The in-process board while a virtual port is open, else nullptr.
    [[nodiscard]] VirtualPort* virtual_port() const { return virtual_port_.get(); }

private:
    void schedule_notification();
    void deliver_notification();
    void on_port_error(QSerialPort::SerialPortError error);
    [[nodiscard]] bool open_virtual();
    // After opening a device: nothing is sent until the banner has come or
    // kBannerWaitMilliseconds have passed; whatever came meanwhile is thrown away.
    void wait_for_banner();
    void close_virtual();

    QSerialPort port_;
    std::unique_ptr<VirtualPort> virtual_port_;
    PortTarget target_;
    // The COMn of the last select_port (0 after select_target): read anew at each open.
    int selected_com_ = 0;
    bool virtual_refused_ = false;
    LineSettings settings_;
    QString ports_folder_;
    std::string virtual_chip_;
    std::function<void()> handler_;
    std::function<void()> lost_handler_;
    bool lost_ = false;
    QString last_error_;
    bool permission_error_ = false;
    int threshold_ = 0;
    bool notification_pending_ = false;
    LatencyResult latency_;
    BannerWait banner_wait_ = BannerWait::Automatic;
    bool banner_seen_ = false;
    double virtual_vdd_ = 5.0;
};

}  // namespace corvanel
