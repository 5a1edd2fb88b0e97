// SPDX-License-Identifier: GPL-3.0-or-later
#include <QString>

#include "gui/app/program_entry.h"

int main(int argc, char** argv) {
    return corvanel::run_window_application(argc, argv, QStringLiteral(CORVANEL_VERSION));
}
