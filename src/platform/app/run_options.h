// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What one run over the database, a model, a HEX file and a port is asked to
// do: the tool's command line fills it from its option table, and the window's
// several-boards mode fills it for each board's production series.

#include <QString>
#include <QStringList>

#include <optional>

namespace corvanel {

struct Options {
    QString model;
    QString port;
    // Every --port given, in order: more than one runs program --repeat on each.
    QStringList ports;
    QString baud;
    QString devices;
    bool verify = false;
    bool force = false;  // go on when the chip in the socket does not answer as the model
    bool fast = false;
    // program, read: the memories the operation works on ("flash,eeprom,id,config").
    QString only;
    // program: the chip's EEPROM is read first and written back after the erase.
    bool preserve_eeprom = false;
    // check, dump, convert, program, verify: a second HEX file merged over the first.
    QString merge;
    // program: wait for each chip, program and verify it, wait for its removal, until Ctrl-C.
    bool repeat = false;
    // program: the production log file a CSV line is appended to.
    QString log;
    // program: START[:STEP]@F:ADDRESS[/BYTES] or @E:ADDRESS[/BYTES].
    QString serial;
    // --low-voltage: enter programming mode with the low-voltage key.
    bool low_voltage = false;
    // --vdd VOLTS: the board's supply, over the "Board Vdd" setting.
    QString vdd;
    // --vpp VOLTS: the board's Vpp as a meter shows it, over the "Board Vpp" setting.
    QString vpp;
    // --banner-wait: wait for the board's banner after opening any port.
    bool banner_wait = false;
    // osccal --set WORD, --bandgap BITS: calibration typed by hand, as texts.
    QString osccal_word;
    QString bandgap;
    // board --calibrate-vpp VOLTS: the meter's reading of the board's Vpp.
    QString calibrate_vpp;
    // models --family NAME: only the models of that family.
    QString family;
    // --window N: answer bytes the link may have outstanding; none given: the setting.
    std::optional<int> window;
    // --window auto: the window is measured on the board before the operation.
    bool window_auto = false;
    bool help = false;
    bool version = false;
    QString command;
    QStringList args;
};

}  // namespace corvanel
