// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The serial line to the programmer board as the protocol sees it: single bytes
// out, every waiting byte in, and a receive notification that the host raises
// (on its user-interface thread) while the threshold is 1 and bytes are waiting.
// The Qt serial port, the in-process virtual board and test doubles implement it.

#include <cstdint>
#include <vector>

namespace corvanel {

class ByteChannel {
public:
    virtual ~ByteChannel() = default;

    // Writes one byte. A channel that is not open drops it without harm.
    virtual void write_byte(std::uint8_t byte) = 0;
    // Every byte received and not yet read, oldest first; removes them.
    virtual std::vector<std::uint8_t> read_all() = 0;
    // 0: no receive notification is raised; 1: one is raised while bytes wait.
    virtual void set_receive_threshold(int threshold) = 0;
    [[nodiscard]] virtual int receive_threshold() const = 0;
    [[nodiscard]] virtual bool is_open() const = 0;
    // The host has just waited that long with nothing on the line (a programming
    // or erase time of the algorithm). A real line needs no telling: time passed.
    // A board emulated in the same process keeps its own clock and moves it on.
    virtual void note_pause(int /*milliseconds*/) {}
    // Every answer is readable as soon as the byte that asks for it has been
    // written (a board in the same process): no byte can come later, so there is
    // nothing to wait for after the last answer.
    [[nodiscard]] virtual bool answers_at_once() const { return false; }
    // The board sent its banner when the port opened: it is a board that answers
    // identify, however long a loaded machine makes it take.
    [[nodiscard]] virtual bool announced_itself() const { return false; }
    // The line's rate from the next byte on (104 47h): false when this end cannot
    // take it. A board in this process has no line and takes none.
    [[nodiscard]] virtual bool set_line_rate(std::int32_t /*baud*/) { return false; }
    // The fastest rate this end can switch the line to; 0: it cannot switch.
    [[nodiscard]] virtual std::int32_t fastest_line_rate() const { return 0; }
};

}  // namespace corvanel
