// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/widgets/twips.h"

#include <QFontDatabase>

namespace corvanel {

QFont window_font() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(11);
    return font;
}

QFont fixed_font(int pixels) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    font.setPixelSize(pixels);
    return font;
}

}  // namespace corvanel
