// corvanel-board: the virtual programmer board on a pseudo-terminal, so that the
// window application, the command-line tool and the tests can talk to it through
// the very same serial code they use for a real board.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "board/board_channel.h"
#include "board/chip_state_file.h"
#include "board/virtual_board.h"

namespace {

using corvanel::BoardChannel;
using corvanel::BoardFaults;
using corvanel::Pic14Chip;
using corvanel::VirtualBoard;
using Clock = std::chrono::steady_clock;

volatile sig_atomic_t g_stop = 0;

extern "C" void on_stop_signal(int) {
    g_stop = 1;
}

const char* const kUsage =
    "Usage: corvanel-board [options]\n"
    "The virtual programmer board with an emulated PIC on a pseudo-terminal.\n"
    "Prints the terminal's device path on the first line of its output.\n"
    "\n"
    "  --chip NAME            chip in the socket (default PIC16F877A); --list shows all\n"
    "  --state FILE           load the chip from this Intel HEX file when it exists,\n"
    "                         save it there on exit (SIGTERM, SIGINT, SIGHUP)\n"
    "  --register COMn        make the port COMn of the window application point here\n"
    "                         (a link in $XDG_CONFIG_HOME/Tavrelix Corvanel/ports/)\n"
    "  --baud N               answer no faster than N baud allows (10 bits a byte)\n"
    "  --stop-after N         go silent after the first N bytes received\n"
    "  --drop-answer K        lose the K-th answer byte\n"
    "  --duplicate-answer K   send the K-th answer byte twice\n"
    "  --delay-ms D           send every answer D milliseconds late\n"
    "  --list                 list the known chips and exit\n"
    "  --help                 show this help and exit\n";

struct Options {
    std::string chip = "PIC16F877A";
    std::optional<std::string> state_file;
    std::optional<std::string> port_name;
    long baud = 0;
    BoardFaults faults;
};

std::optional<std::uint64_t> parse_count(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 18) {
        return std::nullopt;
    }
    return std::stoull(text);
}

// Parses the command line; answers an exit code when the program must end at once.
std::optional<int> parse_options(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--list") {
            for (const std::string& name : corvanel::known_chip_names()) {
                std::cout << name << "\n";
            }
            return 0;
        }
        if (i + 1 >= argc) {
            std::cerr << "corvanel-board: " << arg << " needs a value (or is unknown)\n" << kUsage;
            return 2;
        }
        const std::string value = argv[++i];
        const auto count = parse_count(value);
        const auto need_count = [&]() {
            if (!count) {
                std::cerr << "corvanel-board: " << arg << " needs a whole number, not '" << value
                          << "'\n";
            }
            return count.has_value();
        };
        if (arg == "--chip") {
            options.chip = value;
        } else if (arg == "--state") {
            options.state_file = value;
        } else if (arg == "--register") {
            const std::string digits = value.size() > 3 ? value.substr(3) : "";
            const auto number = parse_count(digits);
            if (value.rfind("COM", 0) != 0 || !number || *number < 1 || *number > 255) {
                std::cerr << "corvanel-board: --register wants COM1 to COM255, not '" << value
                          << "'\n";
                return 2;
            }
            options.port_name = "COM" + std::to_string(*number);
        } else if (arg == "--baud") {
            if (!need_count() || *count == 0) {
                return 2;
            }
            options.baud = static_cast<long>(*count);
        } else if (arg == "--stop-after") {
            if (!need_count()) {
                return 2;
            }
            options.faults.stop_after_bytes = count;
        } else if (arg == "--drop-answer") {
            if (!need_count()) {
                return 2;
            }
            options.faults.drop_answer = count;
        } else if (arg == "--duplicate-answer") {
            if (!need_count()) {
                return 2;
            }
            options.faults.duplicate_answer = count;
        } else if (arg == "--delay-ms") {
            if (!need_count()) {
                return 2;
            }
            options.faults.answer_delay = std::chrono::milliseconds(*count);
        } else {
            std::cerr << "corvanel-board: unknown option " << arg << "\n" << kUsage;
            return 2;
        }
    }
    return std::nullopt;
}

struct Terminal {
    int master = -1;
    int slave = -1;
    std::string path;
};

// Opens a pseudo-terminal in raw mode. The slave side stays open here for the whole
// run: without any open slave, reads on the master fail with EIO whenever the host
// closes and reopens the port.
std::optional<Terminal> open_terminal() {
    Terminal t;
    t.master = posix_openpt(O_RDWR | O_NOCTTY);
    if (t.master < 0 || grantpt(t.master) != 0 || unlockpt(t.master) != 0) {
        std::perror("corvanel-board: pseudo-terminal");
        return std::nullopt;
    }
    const char* name = ptsname(t.master);
    if (name == nullptr) {
        std::perror("corvanel-board: ptsname");
        return std::nullopt;
    }
    t.path = name;
    t.slave = open(name, O_RDWR | O_NOCTTY);
    if (t.slave < 0) {
        std::perror("corvanel-board: open slave");
        return std::nullopt;
    }
    termios settings{};
    if (tcgetattr(t.slave, &settings) == 0) {
        cfmakeraw(&settings);
        tcsetattr(t.slave, TCSANOW, &settings);
    }
    fcntl(t.master, F_SETFL, fcntl(t.master, F_GETFL) | O_NONBLOCK);
    return t;
}

std::filesystem::path ports_folder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::path base;
    if (config != nullptr && config[0] != '\0') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home != nullptr ? home : ".") / ".config";
    }
    return base / "Tavrelix Corvanel" / "ports";
}

// Makes the registration link; an old link of a server that died is replaced, but a
// file that is not a link is left alone.
bool register_port(const std::filesystem::path& link, const std::string& target) {
    std::error_code error;
    std::filesystem::create_directories(link.parent_path(), error);
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(link, error))) {
        std::filesystem::remove(link, error);
    }
    std::filesystem::create_symlink(target, link, error);
    if (error) {
        std::cerr << "corvanel-board: cannot register " << link << ": " << error.message() << "\n";
        return false;
    }
    return true;
}

void unregister_port(const std::filesystem::path& link, const std::string& target) {
    std::error_code error;
    // Another server may have taken the name over since; its link stays.
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(link, error)) &&
        std::filesystem::read_symlink(link, error) == target) {
        std::filesystem::remove(link, error);
    }
}

// Answer bytes on their way out, each with the moment the line has carried it.
class Transmitter {
public:
    explicit Transmitter(long baud)
        : byte_time_(baud > 0 ? std::chrono::duration_cast<Clock::duration>(
                                    std::chrono::duration<double>(10.0 / baud))
                              : Clock::duration::zero()) {}

    void queue(std::uint8_t byte, Clock::time_point now) {
        line_free_ = std::max(line_free_, now) + byte_time_;
        pending_.push_back({byte, line_free_});
    }

    // Writes the bytes that are due; false when the terminal is gone.
    bool send_due(int fd, Clock::time_point now) {
        while (!pending_.empty() && pending_.front().due <= now) {
            const std::uint8_t byte = pending_.front().byte;
            const ssize_t written = write(fd, &byte, 1);
            if (written == 1) {
                pending_.pop_front();
            } else if (written < 0 && (errno == EAGAIN || errno == EINTR)) {
                break;
            } else {
                return false;
            }
        }
        return true;
    }

    [[nodiscard]] std::optional<Clock::time_point> next_due() const {
        if (pending_.empty()) {
            return std::nullopt;
        }
        return pending_.front().due;
    }

private:
    struct Byte {
        std::uint8_t byte;
        Clock::time_point due;
    };
    Clock::duration byte_time_;
    Clock::time_point line_free_{};
    std::deque<Byte> pending_;
};

int poll_timeout_ms(const Transmitter& out, const BoardChannel& channel, Clock::time_point now) {
    int timeout = 200;  // wake regularly to notice a stop signal
    if (const auto due = out.next_due()) {
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - now).count();
        timeout = static_cast<int>(std::clamp<long long>(wait, 0, timeout));
    }
    if (channel.in_flight_count() > 0) {
        timeout = std::min(timeout, 1);
    }
    return timeout;
}

int serve(const Terminal& terminal, BoardChannel& channel, Transmitter& out) {
    std::vector<std::uint8_t> buffer(256);
    while (g_stop == 0) {
        pollfd fds{terminal.master, POLLIN, 0};
        const int ready = poll(&fds, 1, poll_timeout_ms(out, channel, Clock::now()));
        if (ready < 0 && errno != EINTR) {
            std::perror("corvanel-board: poll");
            return 1;
        }
        if (ready > 0 && (fds.revents & POLLIN) != 0) {
            const ssize_t n = read(terminal.master, buffer.data(), buffer.size());
            if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) {
                std::perror("corvanel-board: read");
                return 1;
            }
            for (ssize_t i = 0; i < n; ++i) {
                channel.write_byte(buffer[static_cast<std::size_t>(i)]);
            }
        }
        const auto now = Clock::now();
        for (const std::uint8_t answer : channel.read_all()) {
            out.queue(answer, now);
        }
        if (!out.send_due(terminal.master, Clock::now())) {
            std::perror("corvanel-board: write");
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const auto exit_code = parse_options(argc, argv, options)) {
        return *exit_code;
    }
    auto chip = Pic14Chip::create(options.chip);
    if (!chip) {
        std::cerr << "corvanel-board: unknown chip '" << options.chip
                  << "' (--list shows the known chips)\n";
        return 2;
    }
    if (options.state_file && std::filesystem::exists(*options.state_file)) {
        // A state file that cannot be read is never overwritten on exit: stop here.
        const auto loaded = corvanel::load_chip_state_file(*chip, *options.state_file);
        if (!loaded.ok) {
            std::cerr << "corvanel-board: " << loaded.message << "\n";
            return 1;
        }
    }

    // Installed before the terminal and the link exist, so that a stop signal at any
    // moment still leads to the clean-up below.
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal_number, &action, nullptr);
    }
    signal(SIGPIPE, SIG_IGN);

    const auto terminal = open_terminal();
    if (!terminal) {
        return 1;
    }
    std::optional<std::filesystem::path> link;
    if (options.port_name) {
        link = ports_folder() / *options.port_name;
        if (!register_port(*link, terminal->path)) {
            return 1;
        }
    }

    std::cout << terminal->path << std::endl;
    std::cerr << "corvanel-board: " << chip->info().name << " on " << terminal->path << "\n";

    VirtualBoard board(std::move(*chip));
    BoardChannel channel(board);
    channel.set_faults(options.faults);
    Transmitter out(options.baud);
    int status = serve(*terminal, channel, out);

    if (options.state_file) {
        const auto saved = corvanel::save_chip_state_file(board.chip(), *options.state_file);
        if (!saved.ok) {
            std::cerr << "corvanel-board: " << saved.message << "\n";
            status = 1;
        }
    }
    if (link) {
        unregister_port(*link, terminal->path);
    }
    close(terminal->slave);
    close(terminal->master);
    return status;
}
