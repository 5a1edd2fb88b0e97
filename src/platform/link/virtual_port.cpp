// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/link/virtual_port.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "board/chip_state_file.h"

namespace corvanel {

VirtualPort::VirtualPort(VirtualBoard board, std::string chip_name, QString state_file)
    : board_(std::move(board)),
      channel_(board_),
      chip_name_(std::move(chip_name)),
      state_file_(std::move(state_file)) {
    // The in-process board has no line, so a wait handed to it saves no round trip;
    // the host's own pauses (skipped here) keep the window's event loop turning, so
    // that Stop is taken during a long write.
    board_.set_board_waits(false);
}

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
            // The board cannot start on such a file, and only the user can
            // settle which chip it is for: what is wrong, and the ways out.
            const QString file = QDir::toNativeSeparators(state_file);
            // The reader names the file first: said once here.
            std::string detail = loaded.message;
            const std::string named =
                QFile::encodeName(state_file).toStdString() +
                (loaded.line > 0 ? ":" + std::to_string(loaded.line) : std::string()) + ": ";
            if (detail.rfind(named, 0) == 0) {
                detail = (loaded.line > 0 ? "line " + std::to_string(loaded.line) + ": "
                                          : std::string()) +
                         detail.substr(named.size());
            }
            error = loaded.other_chip
                        ? QStringLiteral(
                              "The virtual board's chip state file %1 was saved for "
                              "another chip than the %2 (%3). Choose the model it was "
                              "saved for, or move the file away to start with a blank %2.")
                              .arg(file, QString::fromStdString(chip_name),
                                   QString::fromStdString(detail))
                        : QStringLiteral(
                              "The virtual board's chip state file %1 cannot be loaded "
                              "(%2). Mend it, or move it away to start with a blank %3.")
                              .arg(file, QString::fromStdString(detail),
                                   QString::fromStdString(chip_name));
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
