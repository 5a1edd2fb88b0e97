// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The kinds of message the program shows (icon and buttons) and the results
// (which button closed the box). The HEX reader, the engine, the command-line
// tool and the message box all speak these numbers.

namespace corvanel {

namespace message_kind {
inline constexpr int kTick = 0;          // green tick, "OK"
inline constexpr int kQuestion = 4;      // question mark, "Yes" / "No"
inline constexpr int kError = 16;        // red cross, "OK"
inline constexpr int kInformation = 64;  // blue "i", "OK"
// Added to a kind: the second button ("No") is the default instead of the first.
inline constexpr int kDefaultButton2 = 256;
}  // namespace message_kind

namespace message_result {
inline constexpr int kOk = 1;
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;
}  // namespace message_result

}  // namespace corvanel
