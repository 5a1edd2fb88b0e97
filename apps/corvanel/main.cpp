// SPDX-License-Identifier: GPL-3.0-or-later
// corvanel: the command-line tool. Everything lives in src/cli.

#include <QCoreApplication>

#include "cli/tool.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvanel"));
    corvanel::set_raw_arguments(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVANEL_VERSION));
    return corvanel::run_command_line_tool(QCoreApplication::arguments());
}
