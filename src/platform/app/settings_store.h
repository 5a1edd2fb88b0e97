// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The per-user store of the few values that outlive a run: last HEX folder,
// microcontroller model, serial port and baud rate, colour theme and mouse-wheel
// use. Values are texts or signed 32-bit numbers under one key. Reading a value
// that is missing (or unreadable) stores its default on the spot, so after the
// first run every value the program has read exists in the store.

#include <QSettings>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

#include "core/config_folder.h"

namespace corvanel {

// Names of the six stored values, exactly as they appear in the store.
namespace setting_names {
inline constexpr const char* last_path = "Last Path";
inline constexpr const char* microcontroller_model = "Microcontroller Model";
inline constexpr const char* serial_port_number = "Serial Port Number";
inline constexpr const char* serial_port_baud_rate = "Serial Port Baud Rate";
inline constexpr const char* color_theme = "Color Theme";
inline constexpr const char* mouse_wheel_enabled = "Mouse Wheel Enabled";
// 1: idle script instructions run without the no-operation round trip (read by
// the window and the tool; nothing writes it, so it is off until set).
inline constexpr const char* fast_link = "Fast Link";
// N > 0: the tool's link sends ahead with up to N answer bytes outstanding (read by
// the tool only). "Automatic" or absent (the default): a board that identifies
// itself gets the window of its buffer, any other has its window measured before
// the operations that gain from it. 0: lock-step.
inline constexpr const char* send_ahead_window = "Send-Ahead Window";
// The window measured on a board that does not identify itself, per port and
// baud rate: "Measured Window COM3 56000" = 64 (see measured_window_setting).
// Written by the window and the tool after a probe; removed when answers are
// lost with it, so that the next run measures afresh.
inline constexpr const char* measured_window_prefix = "Measured Window ";
// The supply voltage the board gives, in volts ("5", "3.3"); empty or absent:
// unknown. A board that reports its own Vdd overrides it; before an operation on
// a model whose "vdd:" window it misses (or on an LF part while it is unknown),
// the window asks and the tool refuses without --force.
inline constexpr const char* board_vdd = "Board Vdd";
// The programming voltage the board gives, in volts ("13", "8.5"); empty or absent:
// unknown. Before an operation on a model whose "vpp:" window it misses, the window
// asks and the tool refuses without --force.
inline constexpr const char* board_vpp = "Board Vpp";
// 1: the window's Read All is followed by a Verify against what was read (the
// line has no checksum; see docs/serial-ports.md). Nothing writes it: off until set.
inline constexpr const char* verify_read = "Verify Read";
// The production tools of the window (see docs/settings-and-dialogs.md): the
// memories Program All and Read All work on ("flash,eeprom,id,config", absent:
// all), 1 to keep the chip's EEPROM through Program All, the production log
// file (absent or empty: none), and the serial numbers: 1 when on, the next
// number (decimal text), the step, and the location as "F:7F0/2" (program
// memory word 7F0h, 2 bytes) or "E:10/2" (EEPROM byte 10h).
inline constexpr const char* program_memories = "Program Memories";
inline constexpr const char* preserve_eeprom = "Preserve EEPROM";
inline constexpr const char* production_log = "Production Log";
inline constexpr const char* serial_numbers = "Serial Numbers";
inline constexpr const char* serial_number_next = "Serial Number";
inline constexpr const char* serial_number_step = "Serial Number Step";
inline constexpr const char* serial_number_location = "Serial Number Location";
// "Low voltage": programming mode is entered with the low-voltage key on the models
// with "lvp: true" (the others are refused); "High voltage" or absent: with Vpp.
// The window's Options menu writes it; the tool reads it (--low-voltage overrides).
inline constexpr const char* programming_entry = "Programming entry";
// 1 (the default): the window's Program All is followed by a Verify, as the
// tool's program --verify.
inline constexpr const char* verify_after_program = "Verify After Program";
// What the window does when the loaded HEX file changes on disk: "Ask" (the
// default), "Always" or "Never".
inline constexpr const char* reload_on_change = "Reload On Change";
// 1: each rewrite of the loaded file is reloaded, programmed and verified. Off
// unless set.
inline constexpr const char* program_on_change = "Program On Change";
// "Recent File 1" (the newest) to "Recent File 8": the File menu's recent files.
inline constexpr const char* recent_file_prefix = "Recent File ";
inline constexpr int kRecentFileCount = 8;
}  // namespace setting_names

// The text of "Send-Ahead Window" that has the window measured.
inline constexpr const char* kSendAheadAutomatic = "Automatic";

// Defaults that do not depend on the run. "Last Path" defaults to the program
// folder and "Serial Port Number" to the last port that could be opened; the
// callers know those.
namespace setting_defaults {
inline constexpr const char* microcontroller_model = "1";
inline constexpr const char* serial_port_baud_rate = "56000";
inline constexpr const char* color_theme = "Original Lite";
inline constexpr std::int32_t mouse_wheel_enabled = 1;
}  // namespace setting_defaults

class SettingsStore {
public:
    // Longest text a value may hold. The store was designed around a 255-byte
    // read buffer that includes the terminating NUL; a longer stored text counts
    // as unreadable and is replaced by the default when read.
    static constexpr int kMaxTextLength = 254;

    // ini_file is the path of an INI file, or (Windows) a registry path
    // beginning with "HKEY_", which selects the native registry format.
    explicit SettingsStore(const QString& ini_file = default_settings_file());

    // Windows: "HKEY_CURRENT_USER\Software\Tavrelix Corvanel".
    // Elsewhere: <user configuration folder>/Tavrelix Corvanel/settings.ini
    // (the configuration folder honours XDG_CONFIG_HOME).
    static QString default_settings_file();

    // The folder that holds settings.ini (on Windows the same per-user
    // configuration folder, which holds the program's other per-user files).
    static QString config_folder();

    // Where this store keeps its values (file path or registry path).
    const QString& location() const { return location_; }
    // The folder for the program's other per-user files beside the settings: the
    // INI file's folder, or the configuration folder where the registry holds them.
    [[nodiscard]] std::filesystem::path files_folder() const;

    // "Settings cannot be read: LOCATION is not a regular file." when the INI file
    // exists and is a FIFO, a folder or a device: opening a FIFO blocks until some
    // other program writes it. Such a store reads nothing and writes nothing (a
    // write counts as one that did not reach the store). Nothing otherwise.
    [[nodiscard]] std::optional<QString> refusal() const;

    // Creates the key (the INI file's folder) when it is missing.
    void ensure_key() const;

    // The stored text, or default_text, which is then stored.
    QString get_string(const QString& name, const QString& default_text) const;

    // The stored number, or default_number, which is then stored.
    std::int32_t get_number(const QString& name, std::int32_t default_number) const;

    void put_string(const QString& name, const QString& text) const;
    void put_number(const QString& name, std::int32_t number) const;
    void remove(const QString& name) const;

    // Read-only lookups for readers that must never write the store (the
    // command-line tool): a missing or unreadable value, or a text longer than
    // kMaxTextLength, is simply absent.
    std::optional<QString> find_string(const QString& name) const;
    std::optional<std::int32_t> find_number(const QString& name) const;

    // Run once, at the first write that does not reach the store (a read-only
    // folder or file), with "Settings cannot be kept: LOCATION cannot be
    // written." Later failures stay quiet: the program works on without them.
    void set_write_failure_handler(std::function<void(const QString&)> handler) {
        write_failure_handler_ = std::move(handler);
    }

private:
    void note_write(const QSettings& store) const;
    void note_write_failure() const;

    QSettings::Format format_;
    QString location_;
    std::function<void(const QString&)> write_failure_handler_;
    mutable bool write_failed_ = false;
};

// "Send-Ahead Window" holds "Automatic" (letter case ignored) or is absent.
[[nodiscard]] bool send_ahead_automatic(const SettingsStore& store);

// "Measured Window COM3 56000"; a device path's slashes become '_' (a slash
// would open a group of the settings file).
[[nodiscard]] QString measured_window_setting(const QString& port, const QString& baud);

// The program-wide store. install_settings makes `store` the one that
// settings() returns (the caller keeps ownership) and gives back the store that
// was installed before; nullptr returns to the default store, which is created
// on first use at default_settings_file().
SettingsStore* install_settings(SettingsStore* store);
SettingsStore& settings();

// A path of the core as a QString (local 8-bit file names unchanged off Windows).
[[nodiscard]] QString local_path(const std::filesystem::path& path);

}  // namespace corvanel
