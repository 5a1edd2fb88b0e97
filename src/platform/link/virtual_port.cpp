// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/link/virtual_port.h"

#include <QFile>
#include <QFileInfo>

#include "board/chip_state_file.h"

namespace corvanel {

VirtualPort::VirtualPort(VirtualBoard board, std::string chip_name, QString state_file)
    : board_(std::move(board)),
      channel_(board_),
      chip_name_(std::move(chip_name)),
      state_file_(std::move(state_file)) {}

std::unique_ptr<VirtualPort> VirtualPort::create(const std::string& chip_name,
                                                 const QString& state_file, QString& error) {
    auto board = VirtualBoard::with_chip(chip_name);
    if (!board) {
        error = QStringLiteral("the virtual board cannot emulate \"%1\"")
                    .arg(QString::fromStdString(chip_name));
        return nullptr;
    }
    // A state file that does not exist yet is a blank chip that will be saved there.
    if (!state_file.isEmpty() && QFileInfo::exists(state_file)) {
        const ChipStateResult loaded =
            load_chip_state_file(board->chip(), QFile::encodeName(state_file).toStdString());
        if (!loaded.ok) {
            error = QStringLiteral("chip state %1: %2")
                        .arg(state_file, QString::fromStdString(loaded.message));
            return nullptr;
        }
    }
    return std::unique_ptr<VirtualPort>(new VirtualPort(std::move(*board), chip_name, state_file));
}

bool VirtualPort::save(QString& error) const {
    // A chip that heard nothing is unchanged (a port probe opens and closes the
    // board): the file stays as it is, or absent.
    if (state_file_.isEmpty() || channel_.bytes_written() == 0) {
        return true;
    }
    const ChipStateResult saved =
        save_chip_state_file(board_.chip(), QFile::encodeName(state_file_).toStdString());
    if (!saved.ok) {
        error = QStringLiteral("chip state %1: %2")
                    .arg(state_file_, QString::fromStdString(saved.message));
        return false;
    }
    return true;
}

}  // namespace corvanel
