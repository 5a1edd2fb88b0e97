// SPDX-License-Identifier: GPL-3.0-or-later
#include "board/server/server_session.h"

#include <signal.h>

#include <iostream>

#include "core/config_folder.h"

#include "board/chip_state_file.h"
#include "board/server/port_registration.h"

namespace corvanel::board_server {

namespace {

volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_swap = 0;  // a ChipSwap

extern "C" void on_stop_signal(int) {
    g_stop = 1;
}

extern "C" void on_swap_signal(int signal_number) {
    g_swap = static_cast<int>(signal_number == SIGUSR1 ? ChipSwap::Remove : ChipSwap::Insert);
}

void install(void (*handler)(int), std::initializer_list<int> signals) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (const int signal_number : signals) {
        sigaction(signal_number, &action, nullptr);
    }
}

void apply_revision(Pic14Chip& chip, const Options& options) {
    if (chip.info().revision_word) {
        // Bits 13:12 of the revision word read 10b.
        chip.set_revision_word(static_cast<std::uint16_t>(0x2000 | options.revision));
    } else {
        chip.set_revision(static_cast<std::uint8_t>(options.revision));
    }
}

}  // namespace

std::unique_ptr<ServerSession> ServerSession::open(const Options& options) {
    // Installed before the terminal and the link exist, so that a stop signal at any
    // moment still leads to the clean-up.
    install(on_stop_signal, {SIGTERM, SIGINT, SIGHUP});
    install(on_swap_signal, {SIGUSR1, SIGUSR2});
    signal(SIGPIPE, SIG_IGN);

    auto terminal = open_terminal();
    if (!terminal) {
        return nullptr;
    }
    std::optional<std::filesystem::path> link;
    if (options.port_name) {
        link = ports_folder() / *options.port_name;
        if (!register_port(*link, terminal->path)) {
            close_terminal(*terminal);
            return nullptr;
        }
    }
    std::cout << terminal->path << std::endl;
    return std::unique_ptr<ServerSession>(new ServerSession(std::move(*terminal), std::move(link)));
}

ServerSession::ServerSession(Terminal terminal, std::optional<std::filesystem::path> link)
    : terminal_(std::move(terminal)), link_(std::move(link)) {}

ServerSession::~ServerSession() {
    if (link_) {
        unregister_port(*link_, terminal_.path);
    }
    close_terminal(terminal_);
}

const volatile std::sig_atomic_t& ServerSession::stop_flag() {
    return g_stop;
}

ChipSwap ServerSession::take_chip_swap() {
    const auto swap = static_cast<ChipSwap>(static_cast<int>(g_swap));
    g_swap = static_cast<int>(ChipSwap::None);
    return swap;
}

std::optional<Pic14Chip> load_chip(const std::string& program, const Options& options,
                                   int& exit_code) {
    auto chip = Pic14Chip::create(options.chip);
    if (!chip) {
        std::cerr << program << ": unknown chip '" << options.chip
                  << "' (--list shows the known chips)\n";
        exit_code = 2;
        return std::nullopt;
    }
    if (!chip->info().revision_word && options.revision > 31) {
        std::cerr << program << ": --revision wants 0 to 31 for " << chip->info().name << "\n";
        exit_code = 2;
        return std::nullopt;
    }
    apply_revision(*chip, options);
    if (options.state_file && std::filesystem::exists(*options.state_file)) {
        // A state file that cannot be read is never overwritten on exit: stop here.
        const auto loaded = load_chip_state_file(*chip, *options.state_file);
        if (!loaded.ok) {
            std::cerr << program << ": " << loaded.message << "\n";
            exit_code = 1;
            return std::nullopt;
        }
        // The file keeps an enhanced part's revision word; --revision overrides it.
        if (options.revision_given) {
            apply_revision(*chip, options);
        }
    }
    return chip;
}

Pic14Chip fresh_chip(const Options& options) {
    Pic14Chip chip = *Pic14Chip::create(options.chip);
    apply_revision(chip, options);
    return chip;
}

bool save_chip(const std::string& program, const Pic14Chip& chip, const Options& options) {
    if (!options.state_file) {
        return true;
    }
    const auto saved = save_chip_state_file(chip, *options.state_file);
    if (!saved.ok) {
        std::cerr << program << ": " << saved.message << "\n";
    }
    return saved.ok;
}

void report_chip_faults(const std::string& program, const Pic14Chip& chip) {
    for (const std::string& fault : chip.faults()) {
        std::cerr << program << ": chip fault: " << fault << "\n";
    }
}

}  // namespace corvanel::board_server
