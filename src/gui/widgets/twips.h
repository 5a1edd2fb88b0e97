// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Window geometry is designed in twips (1/1440 inch): 15 twips make one pixel at
// 96 dots per inch. Every window converts through these functions, so a length
// comes out the same wherever it is used. The fonts the windows share live here
// too, since the design sizes of both were chosen together.

#include <QFont>
#include <QRect>

namespace corvanel {

// The factor the layout is multiplied by; set once at start-up, never changed.
inline constexpr float kLayoutScale = 1.0f;

// Pixels for a length in twips after the layout scale, rounded to the nearest
// pixel (halves away from zero).
[[nodiscard]] constexpr int twips_to_pixels(int twips) {
    const float pixels = static_cast<float>(twips) * kLayoutScale / 15.0f;
    return static_cast<int>(pixels < 0.0f ? pixels - 0.5f : pixels + 0.5f);
}

// A rectangle given in twips.
[[nodiscard]] constexpr QRect twips_rect(int left, int top, int width, int height) {
    return {twips_to_pixels(left), twips_to_pixels(top), twips_to_pixels(width),
            twips_to_pixels(height)};
}

// The window's proportional font at its design size (11 px).
[[nodiscard]] QFont window_font();

// The platform's fixed-pitch font at `pixels` height.
[[nodiscard]] QFont fixed_font(int pixels);

}  // namespace corvanel
