#include "link/qt_virtual_port.h"

namespace corvanel {

VirtualPort::VirtualPort(VirtualBoard board, QString state_file)
    : board_(std::move(board)), channel_(board_), state_file_(std::move(state_file)) {}

std::unique_ptr<VirtualPort> VirtualPort::create(const std::string& chip_name,
                                                 const QString& state_file, QString& error) {
    auto board = VirtualBoard::with_chip(chip_name);
    if (!board) {
        error = QStringLiteral("the virtual board cannot emulate \"%1\"")
                    .arg(QString::fromStdString(chip_name));
        return nullptr;
    }
    std::unique_ptr<VirtualPort> port(new VirtualPort(std::move(*board), state_file));
    return port;
}

bool VirtualPort::save(QString& error) const {
    (void)error;
    return true;
}

}  // namespace corvanel
