#include "cli/cli_options.h"

#include "cli/cli_host.h"
#include "cli/cli_tool.h"

namespace corvanel {

void print(std::FILE* out, const QString& text) {
    print_lines(out, text.toStdString());
}

int usage_error(const QString& text) {
    print(stderr, QStringLiteral("corvanel: ") + text);
    print(stderr, QStringLiteral("Try 'corvanel --help'."));
    return cli_exit::kUsage;
}

std::optional<Options> parse_arguments(const QStringList& arguments, QString& error) {
    Options options;
    const QStringList valued = {QStringLiteral("--model"), QStringLiteral("--port"),
                                QStringLiteral("--baud"), QStringLiteral("--devices"),
                                QStringLiteral("--window")};
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.help = true;
            continue;
        }
        if (arg == QLatin1String("--version")) {
            options.version = true;
            continue;
        }
        if (arg == QLatin1String("--verify")) {
            options.verify = true;
            continue;
        }
        if (arg == QLatin1String("--force")) {
            options.force = true;
            continue;
        }
        if (arg == QLatin1String("--fast")) {
            options.fast = true;
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
            if (!valued.contains(name)) {
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
            if (name == QLatin1String("--model")) {
                options.model = value;
            } else if (name == QLatin1String("--port")) {
                options.port = value;
            } else if (name == QLatin1String("--baud")) {
                options.baud = value;
            } else if (name == QLatin1String("--window") && value == QLatin1String("auto")) {
                options.window_auto = true;
                options.window.reset();
            } else if (name == QLatin1String("--window")) {
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
            } else {
                options.devices = value;
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
