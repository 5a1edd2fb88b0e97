// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The in-process virtual board behind a COM number mapped to "virtual": the
// board with the applied model's chip in its socket and the channel the link
// talks through. With a state file the chip starts from the file's contents
// (when it exists) and is written back when the port closes.

#include <QString>

#include <memory>
#include <string>

#include "board/board_channel.h"
#include "board/virtual_board.h"

namespace corvanel {

class VirtualPort {
public:
    // Nothing, with the reason in `error`, when no chip of that name can be
    // emulated or the state file exists but cannot be read.
    [[nodiscard]] static std::unique_ptr<VirtualPort> create(const std::string& chip_name,
                                                             const QString& state_file,
                                                             QString& error);

    [[nodiscard]] BoardChannel& channel() { return channel_; }
    [[nodiscard]] VirtualBoard& board() { return board_; }
    // The name the board was asked to emulate, as given.
    [[nodiscard]] const std::string& chip_name() const { return chip_name_; }
    [[nodiscard]] const QString& state_file() const { return state_file_; }

    // Writes the chip to the state file (nothing to do without one, or when no
    // byte reached the board).
    [[nodiscard]] bool save(QString& error) const;

private:
    VirtualPort(VirtualBoard board, std::string chip_name, QString state_file);

    VirtualBoard board_;
    BoardChannel channel_;
    std::string chip_name_;
    QString state_file_;
};

}  // namespace corvanel
