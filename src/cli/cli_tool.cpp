#include "cli/cli_tool.h"

#include "cli/cli_host.h"
#include "cli/cli_options.h"
#include "cli/tool.h"

namespace corvanel {

int run_command_line_tool(const QStringList& arguments) {
    QString error;
    auto options = parse_arguments(arguments, error);
    if (!options) {
        return usage_error(error);
    }
    CliHost::catch_interrupts();
    Tool tool(std::move(*options));
    return tool.run();
}

}  // namespace corvanel
