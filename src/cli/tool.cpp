// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/tool.h"

#include <QCoreApplication>

#include <cstdio>
#include <string>

#include "cli/command_table.h"
#include "cli/gang.h"
#include "core/files/replace_file.h"
#include "core/image/hex_text.h"
#include "core/image/intel_hex_writer.h"
#include "platform/app/crash_voltages_off.h"

namespace corvanel {

int run_command_line_tool(const QStringList& arguments) {
    QString error;
    auto options = parse_arguments(arguments, error);
    if (!options) {
        return usage_error(error);
    }
    ConsoleHost::catch_interrupts();
    install_crash_voltages_off();
    if (options->ports.size() > 1) {
        return run_gang(*options);
    }
    Tool tool(std::move(*options));
    const int result = tool.run();
    // A stop signal that came outside an operation ends the tool when its work
    // is done, unless the result is already logged: the log and the exit status
    // must tell the same story.
    if (const int signal_number = ConsoleHost::interrupt_signal();
        signal_number != 0 && !tool.result_recorded()) {
        return 128 + signal_number;
    }
    return result;
}

Tool::Tool(Options options, GangShared* gang) : OperationRun(std::move(options), gang) {}

bool Tool::expect_args(int count) {
    if (options_.args.size() == count) {
        return true;
    }
    usage_error(QStringLiteral("%1 takes %2 argument%3")
                    .arg(options_.command)
                    .arg(count)
                    .arg(count == 1 ? QString() : QStringLiteral("s")));
    return false;
}

int Tool::save_hex(const QString& path) {
    HexSaveResult result;
    if (names_standard_output(path)) {
        const std::string text = write_hex_text(state_.image);
        const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
                             std::fflush(stdout) == 0;
        result = written ? hex_save_succeeded("-")
                         : hex_save_failed("-", "Standard output cannot be written");
    } else {
        result = save_hex_file(file_name_bytes(path), state_.image);
    }
    for (const HexMessage& message : result.messages) {
        print_message(out_, message.text);
    }
    print_lines(out_, result.status_text);
    return result.saved ? run_exit::kDone : run_exit::kRefused;
}

int Tool::refuse_target(const QString& path) {
    if (names_standard_output(path)) {
        return run_exit::kDone;
    }
    const std::string name = file_name_bytes(path);
    const auto refused = target_refusal(name, TargetLinks::WrittenThrough);
    if (!refused) {
        return run_exit::kDone;
    }
    const HexSaveResult result = hex_save_failed(name, *refused);
    for (const HexMessage& message : result.messages) {
        print_message(out_, message.text);
    }
    print_lines(out_, result.status_text);
    return run_exit::kRefused;
}

void Tool::print_image() {
    const MemoryImage& image = state_.image;
    for (std::int32_t row = 0; row < image.flash_size / 8; ++row) {
        std::string line = hex6(row * 8) + ":";
        for (std::int32_t i = 0; i < 8; ++i) {
            line += " " + hex4(image.flash_word(row * 8 + i));
        }
        print_lines(stdout, line);
    }
    for (std::int32_t row = 0; row < image.eeprom_size / 8; ++row) {
        std::string line = hex4(row * 8) + ":";
        for (std::int32_t i = 0; i < 8; ++i) {
            line += " " + hex2(image.eeprom_byte(row * 8 + i));
        }
        print_lines(stdout, line);
    }
    if (image.user_ids_used()) {
        std::string line = "ID:";
        for (const std::int32_t word : image.user_ids) {
            line += " " + hex4(word);
        }
        print_lines(stdout, line);
    }
    for (int number = 1; number <= image.config_count(); ++number) {
        print_lines(stdout,
                    "CONF" + std::to_string(number) + ": " + hex4(image.config_word(number)));
    }
}

int Tool::run() {
    if (options_.help) {
        print(stdout, command_line_help());
        return run_exit::kDone;
    }
    if (options_.version) {
        print(stdout, QStringLiteral("corvanel %1").arg(QCoreApplication::applicationVersion()));
        return run_exit::kDone;
    }
    const QString& command = options_.command;
    if (command.isEmpty()) {
        return usage_error(QStringLiteral("no command given"));
    }
    const ToolCommand* found = find_tool_command(command);
    if (found == nullptr) {
        return usage_error(QStringLiteral("unknown command %1").arg(command));
    }
    if (const QString misplaced = misplaced_option_error(options_, *found); !misplaced.isEmpty()) {
        return usage_error(misplaced);
    }
    if (const int loaded = load_run(found->needs_model); loaded != run_exit::kDone) {
        return loaded;
    }
    if (!expect_args(found->argument_count())) {
        return run_exit::kUsage;
    }
    return (this->*found->run)();
}

}  // namespace corvanel
