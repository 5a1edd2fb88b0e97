#include "cli/cli_tool.h"

#include "cli/cli_host.h"
#include "cli/cli_options.h"
#include "cli/tool.h"

#include <QFile>

#include <vector>

namespace corvanel {

namespace {

std::vector<std::string>& raw_arguments() {
    static std::vector<std::string> arguments;
    return arguments;
}

}  // namespace

void set_raw_arguments(int argc, const char* const* argv) {
    raw_arguments().assign(argv, argv + argc);
}

std::string file_name_bytes(const QString& argument) {
    for (const std::string& raw : raw_arguments()) {
        if (QFile::decodeName(QByteArray::fromStdString(raw)) == argument) {
            return raw;
        }
    }
    return QFile::encodeName(argument).toStdString();
}

int run_command_line_tool(const QStringList& arguments) {
    QString error;
    auto options = parse_arguments(arguments, error);
    if (!options) {
        return usage_error(error);
    }
    CliHost::catch_interrupts();
    Tool tool(std::move(*options));
    const int result = tool.run();
    // A stop signal that came outside an operation ends the tool when its work is done.
    if (const int signal_number = CliHost::interrupt_signal(); signal_number != 0) {
        return 128 + signal_number;
    }
    return result;
}

}  // namespace corvanel
