// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/options.h"

#include "cli/command_table.h"
#include "cli/tool.h"
#include "platform/app/operation_settings.h"

namespace corvanel {

namespace {

// The table's row for an option given by name or alias: a switch when `valued`
// is false, else one that takes a value.
const ToolOption* find_option(const QString& name, bool valued) {
    for (const ToolOption& option : tool_options()) {
        const bool named = name == QLatin1String(option.name.data(), option.name.size()) ||
                           (!option.alias.empty() &&
                            name == QLatin1String(option.alias.data(), option.alias.size()));
        if (named && option.value.empty() != valued) {
            return &option;
        }
    }
    return nullptr;
}

}  // namespace

std::optional<Options> parse_arguments(const QStringList& arguments, QString& error) {
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (const ToolOption* option = find_option(arg, false)) {
            options.*option->flag = true;
            continue;
        }
        if (arg.startsWith(QLatin1String("--"))) {
            QString name = arg;
            QString value;
            bool has_value = false;
            if (const auto eq = arg.indexOf(QLatin1Char('=')); eq > 0) {
                name = arg.left(eq);
                value = arg.mid(eq + 1);
                has_value = true;
            }
            const ToolOption* option = find_option(name, true);
            if (option == nullptr) {
                error = QStringLiteral("unknown option %1").arg(name);
                return std::nullopt;
            }
            if (!has_value) {
                if (i + 1 >= arguments.size()) {
                    error = QStringLiteral("%1 needs a value").arg(name);
                    return std::nullopt;
                }
                value = arguments[++i];
            }
            if (option->text == &Options::port) {
                options.ports << value;
            }
            if (option->text != nullptr) {
                options.*option->text = value;
            } else if (value == QLatin1String("auto")) {
                options.window_auto = true;
                options.window.reset();
            } else {
                bool is_number = false;
                const int window = value.toInt(&is_number);
                if (!is_number || window < 0 || window > kMaxSendAheadWindow) {
                    error = QStringLiteral("--window %1 is not a number from 0 to %2 (or auto)")
                                .arg(value)
                                .arg(kMaxSendAheadWindow);
                    return std::nullopt;
                }
                options.window = window;
                options.window_auto = false;
            }
            continue;
        }
        if (options.command.isEmpty()) {
            options.command = arg;
        } else {
            options.args << arg;
        }
    }
    return options;
}

}  // namespace corvanel
