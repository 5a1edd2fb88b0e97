// SPDX-License-Identifier: GPL-3.0-or-later
// The production bench's commands: a job run as its file fixes it, a job
// written from the tool's options, and the board's own check-out.

#include <QDir>
#include <QFileInfo>

#include <cmath>

#include "cli/tool.h"
#include "core/devices/vpp_window.h"
#include "core/engine/board_identify.h"
#include "core/engine/board_test.h"

namespace corvanel {

namespace {

constexpr double kJobRailTolerance = 0.05;

}  // namespace

int Tool::cmd_job() {
    // Everything the job fixes comes from the job: an option that would change
    // it on the bench is refused rather than silently taking its place.
    if (!options_.model.isEmpty()) {
        return usage_error(QStringLiteral("--model goes with no job: the job names its model"));
    }
    const JobOpenResult opened = open_job_file(options_.args[0]);
    if (!opened.opened) {
        print(stderr, QStringLiteral("corvanel: ") + opened.error);
        return run_exit::kUsage;
    }
    const OpenedJob& job = *opened.opened;
    options_.model = QString::fromStdString(job.job.model);
    if (const int selected = select_model(); selected != run_exit::kDone) {
        return selected;
    }
    // Checked before the port opens: a rebuilt or swapped HEX file never
    // reaches a chip under a job that names another.
    if (const QString refused = job_hex_refusal(job); !refused.isEmpty()) {
        print(stderr, QStringLiteral("corvanel: ") + refused);
        return run_exit::kRefused;
    }
    print(out_, QStringLiteral("Job %1: %2, %3")
                    .arg(job.path, options_.model, QFileInfo(job.hex_path).fileName()));
    options_.args = QStringList{job.hex_path};
    options_.only = job.job.memories.all()
                        ? QString()
                        : QString::fromStdString(region_list_text(job.job.memories));
    options_.serial = QString::fromStdString(job.job.serial);
    options_.log = job.log_path;
    options_.verify = true;
    options_.repeat = job.job.repeat;
    job_ = job;
    return cmd_program();
}

int Tool::cmd_make_job() {
    if (const int checked = production_options(); checked != run_exit::kDone) {
        return checked;
    }
    const QString& path = options_.args[0];
    const QString& hex = options_.args[1];
    if (!path.endsWith(QString::fromLatin1(kJobFileSuffix.data(),
                                           static_cast<qsizetype>(kJobFileSuffix.size())))) {
        return usage_error(QStringLiteral("make-job: %1 must end in .corvanel-job").arg(path));
    }
    // The job is refused now where its first run would be: a file that does not
    // load, or that has data the model cannot hold.
    if (!load_hex(hex) || refuse_out_of_range(hex)) {
        return run_exit::kRefused;
    }
    JobFile job;
    job.model = state_.model.model_name;
    job.memories = regions_;
    job.serial = options_.serial.toStdString();
    job.repeat = options_.repeat;
    // The rails the board must report: the bench's, as --vdd and --vpp state
    // them, give or take the 5 % a regulator and a meter are apart.
    const struct {
        const QString& typed;
        const char* option;
        std::optional<VoltRange>& range;
    } rails[] = {{options_.vdd, "--vdd", job.vdd}, {options_.vpp, "--vpp", job.vpp}};
    for (const auto& rail : rails) {
        if (rail.typed.isEmpty()) {
            continue;
        }
        const std::optional<double> volts = parse_volts(rail.typed.toStdString());
        if (!volts || *volts <= 0.0) {
            return usage_error(QStringLiteral("%1 %2 is not a voltage")
                                   .arg(QString::fromLatin1(rail.option), rail.typed));
        }
        rail.range = VoltRange{std::round(*volts * (1.0 - kJobRailTolerance) * 100.0) / 100.0,
                               std::round(*volts * (1.0 + kJobRailTolerance) * 100.0) / 100.0};
    }
    if (const auto failed = save_job_file(path, job, hex, options_.log)) {
        print(stderr, QStringLiteral("corvanel: ") + *failed);
        return run_exit::kRefused;
    }
    print(out_, QStringLiteral("Job written: %1").arg(QDir::cleanPath(path)));
    return run_exit::kDone;
}

int Tool::cmd_board_test() {
    print(out_, QStringLiteral("Board test: the socket must be empty."));
    if (const int opened = open_port(); opened != run_exit::kDone) {
        return opened;
    }
    const BoardTestReport report = run_board_test(state_, rate_switch_of(state_));
    for (const std::string& line : board_test_table(report)) {
        print_lines(out_, line);
    }
    const int closed = close_port();
    if (report.stopped) {
        return 128 + ConsoleHost::interrupt_signal();
    }
    if (report.link_failed) {
        return run_exit::kLink;
    }
    return !report.passed() ? run_exit::kRefused : closed;
}

}  // namespace corvanel
