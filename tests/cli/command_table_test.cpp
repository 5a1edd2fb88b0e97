// SPDX-License-Identifier: GPL-3.0-or-later
// The command table against everything that lists the tool's commands and
// options by hand (the man page, the bash completion) or is made from it
// (--help), and against what the built tool does: a command or an option added
// in one place only fails here.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "cli/command_table.h"
#include "cli/tool.h"

namespace corvanel {
namespace {

using Names = std::set<std::string>;

QString read_source(const char* path) {
    QFile file(QStringLiteral(CORVANEL_SOURCE_DIR "/") + QString::fromLatin1(path));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
    return QString::fromUtf8(file.readAll());
}

Names table_commands() {
    Names names;
    for (const ToolCommand& command : tool_commands()) {
        names.emplace(command.name);
    }
    return names;
}

// Every option name and alias ("--help", "-h").
Names table_options(bool with_aliases) {
    Names names;
    for (const ToolOption& option : tool_options()) {
        names.emplace(option.name);
        if (with_aliases && !option.alias.empty()) {
            names.emplace(option.alias);
        }
    }
    return names;
}

Names table_valued_options() {
    Names names;
    for (const ToolOption& option : tool_options()) {
        if (!option.value.empty()) {
            names.emplace(option.name);
        }
    }
    return names;
}

Names table_hex_commands() {
    Names names;
    for (const ToolCommand& command : tool_commands()) {
        if (command.hex_arguments) {
            names.emplace(command.name);
        }
    }
    return names;
}

Names words_of(const QString& text, const QString& separator) {
    Names names;
    for (const QString& word : text.split(separator, Qt::SkipEmptyParts)) {
        names.insert(word.trimmed().toStdString());
    }
    names.erase("");
    return names;
}

// The terms of the ".TP" entries of a man page section: the first word for a
// command, every option (with its alias) for an option.
Names man_terms(const QString& page, const QString& section, bool options) {
    const auto start = page.indexOf(QStringLiteral("\n.SH ") + section + QLatin1Char('\n'));
    EXPECT_GE(start, 0) << section.toStdString();
    const auto end = page.indexOf(QStringLiteral("\n.SH "), start + 1);
    const QStringList lines = page.mid(start, end - start).split(QLatin1Char('\n'));
    Names terms;
    static const QRegularExpression option(QStringLiteral(R"((\\-)+[a-z]+(\\-[a-z]+)*)"));
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i] != QLatin1String(".TP")) {
            continue;
        }
        const QString term = lines[i + 1];
        if (options) {
            for (auto match = option.globalMatch(term); match.hasNext();) {
                terms.insert(match.next()
                                 .captured()
                                 .replace(QStringLiteral("\\-"), QStringLiteral("-"))
                                 .toStdString());
            }
        } else {
            terms.insert(term.section(QLatin1Char(' '), 1, 1)
                             .replace(QStringLiteral("\\-"), QStringLiteral("-"))
                             .toStdString());
        }
    }
    return terms;
}

TEST(CommandTable, EveryCommandAndOptionIsDescribedOnce) {
    Names seen;
    for (const ToolCommand& command : tool_commands()) {
        EXPECT_TRUE(seen.emplace(command.name).second) << command.name;
        EXPECT_NE(command.run, nullptr) << command.name;
        EXPECT_FALSE(command.help.empty()) << command.name;
        // A command's own options are per-command options of the table.
        for (const QString& name :
             table_text(command.options).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            bool found = false;
            for (const ToolOption& option : tool_options()) {
                found = found || (option.per_command && name.toStdString() == option.name);
            }
            EXPECT_TRUE(found) << command.name << " names " << name.toStdString();
        }
    }
    for (const ToolOption& option : tool_options()) {
        // A switch sets a field; of the options with a value only --window is checked by hand.
        EXPECT_EQ(option.value.empty(), option.flag != nullptr) << option.name;
        if (!option.value.empty() && option.name != "--window") {
            EXPECT_NE(option.text, nullptr) << option.name;
        }
    }
    EXPECT_EQ(find_tool_command(QStringLiteral("flash")), nullptr);
    ASSERT_NE(find_tool_command(QStringLiteral("detect")), nullptr);
}

TEST(CommandTable, HelpListsEveryCommandAndOption) {
    const QString help = command_line_help();
    const QStringList lines = help.split(QLatin1Char('\n'));
    for (const ToolCommand& command : tool_commands()) {
        const QString start = QStringLiteral("  ") + table_text(command.name);
        const bool listed = std::any_of(lines.begin(), lines.end(), [&](const QString& line) {
            return line == start || line.startsWith(start + QLatin1Char(' '));
        });
        EXPECT_TRUE(listed) << command.name;
    }
    for (const std::string& name : table_options(true)) {
        EXPECT_TRUE(help.contains(QString::fromStdString(name))) << name;
    }
}

TEST(CommandTable, ManPageDescribesEveryCommandAndOption) {
    const QString page = read_source("packaging/man/corvanel.1");
    EXPECT_EQ(man_terms(page, QStringLiteral("COMMANDS"), false), table_commands());
    EXPECT_EQ(man_terms(page, QStringLiteral("OPTIONS"), true), table_options(true));
}

// Each exit code with its text, letter case, line breaks and the closing full
// stop left aside: what a script's author reads in the man page is what
// --help says.
std::map<std::string, std::string> exit_codes(const QStringList& entries) {
    std::map<std::string, std::string> codes;
    for (const QString& entry : entries) {
        QString text = entry.simplified().toLower();
        while (text.endsWith(QLatin1Char('.'))) {
            text.chop(1);
        }
        const QString code = text.section(QLatin1Char(' '), 0, 0);
        codes[code.toStdString()] = text.section(QLatin1Char(' '), 1).toStdString();
    }
    return codes;
}

TEST(CommandTable, ManPageAndHelpGiveTheSameExitStatus) {
    const QString help = command_line_help();
    const auto help_start = help.indexOf(QStringLiteral("Exit status:\n"));
    const auto help_end = help.indexOf(QStringLiteral("\n\n"), help_start);
    ASSERT_GE(help_start, 0);
    QStringList from_help;
    for (const QString& line : help.mid(help_start, help_end - help_start).split('\n').mid(1)) {
        if (QRegularExpression(QStringLiteral("^  \\d")).match(line).hasMatch()) {
            from_help << line;
        } else if (!from_help.isEmpty()) {
            from_help.back() += QLatin1Char(' ') + line;
        }
    }
    const QString page = read_source("packaging/man/corvanel.1");
    const auto man_start = page.indexOf(QStringLiteral("\n.SH EXIT STATUS\n"));
    const auto man_end = page.indexOf(QStringLiteral("\n.SH "), man_start + 1);
    ASSERT_GE(man_start, 0);
    QStringList from_man;
    for (const QString& entry :
         page.mid(man_start, man_end - man_start).split(QStringLiteral("\n.TP\n")).mid(1)) {
        QString text = entry;
        text.replace(QStringLiteral(".B "), QString()).replace(QStringLiteral("\\-"), "-");
        from_man << text;
    }
    const auto expected = exit_codes(from_help);
    EXPECT_EQ(expected.size(), 5U);
    EXPECT_EQ(exit_codes(from_man), expected);
}

// The user guide is written by hand too: each command is a row of its "Commands"
// table ("| `program FILE ..."), each option and alias is named in backquotes
// ("`--only LIST`", "`-h`") somewhere in the guide.
TEST(CommandTable, UserGuideNamesEveryCommandAndOption) {
    const QString guide = read_source("docs/command-line.md");
    const auto start = guide.indexOf(QStringLiteral("\n## Commands\n"));
    ASSERT_GE(start, 0) << "docs/command-line.md has no \"Commands\" section";
    const auto end = guide.indexOf(QStringLiteral("\n## "), start + 1);
    const QString commands = guide.mid(start, end - start);
    for (const std::string& name : table_commands()) {
        const QRegularExpression row(QStringLiteral("\n\\| `") +
                                     QRegularExpression::escape(QString::fromStdString(name)) +
                                     QStringLiteral("[` ]"));
        EXPECT_TRUE(row.match(commands).hasMatch())
            << "docs/command-line.md lacks a row for the command " << name;
    }
    for (const std::string& name : table_options(true)) {
        const QRegularExpression named(QLatin1Char('`') +
                                       QRegularExpression::escape(QString::fromStdString(name)) +
                                       QStringLiteral("[` ]"));
        EXPECT_TRUE(named.match(guide).hasMatch())
            << "docs/command-line.md does not name the option " << name;
    }
}

// The commands that take a per-command option, as the table says.
std::map<std::string, Names> commands_of_options() {
    std::map<std::string, Names> taking;
    for (const ToolOption& option : tool_options()) {
        if (option.per_command) {
            taking[std::string(option.name)];
        }
    }
    for (const ToolCommand& command : tool_commands()) {
        for (const QString& name :
             table_text(command.options).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            taking[name.toStdString()].emplace(command.name);
        }
    }
    return taking;
}

// Every hand-written list names, for each per-command option, the commands that
// take it: the guide's row begins "`program`, `verify` and `read` only:", the man
// page's entry "With .BR program ... and .BR read :", the completion's
// _corvanel_option_commands "--only) echo "program read" ;;", and the option's
// --help lines "program, read: ...". A command that gains or loses an option in
// the table fails here until all of them say so.
TEST(CommandTable, DocumentsGiveEachOptionTheCommandsOfTheTable) {
    const QString guide = read_source("docs/command-line.md");
    const QString page = read_source("packaging/man/corvanel.1");
    const QString script = read_source("packaging/completion/corvanel");
    std::map<std::string, Names> from_completion;
    static const QRegularExpression completion_entry(
        QStringLiteral(R"re(\n\s+(--[a-z-]+)\) echo "([a-z -]*)" ;;)re"));
    for (auto it = completion_entry.globalMatch(script); it.hasNext();) {
        const auto entry = it.next();
        from_completion[entry.captured(1).toStdString()] =
            words_of(entry.captured(2), QStringLiteral(" "));
    }
    EXPECT_EQ(from_completion, commands_of_options()) << "packaging/completion/corvanel";
    for (const ToolOption& option : tool_options()) {
        if (!option.per_command || option.help.empty()) {
            continue;
        }
        const std::string_view help = option.help;
        EXPECT_EQ(words_of(QString::fromUtf8(help.substr(0, help.find(':'))), QStringLiteral(",")),
                  commands_of_options()[std::string(option.name)])
            << "--help, " << option.name;
    }
    const auto options_at = page.indexOf(QStringLiteral("\n.SH OPTIONS"));
    const QRegularExpression backquoted(QStringLiteral("`([a-z-]+)`"));
    for (const auto& [option, commands] : commands_of_options()) {
        const QString name = QString::fromStdString(option);
        const QRegularExpression row(QStringLiteral("\n\\| `") + QRegularExpression::escape(name) +
                                     QStringLiteral("[` ][^|]*\\| ([^|]*?) only[:,]"));
        const auto in_guide = row.match(guide);
        Names from_guide;
        for (auto it = backquoted.globalMatch(in_guide.captured(1)); it.hasNext();) {
            from_guide.insert(it.next().captured(1).toStdString());
        }
        EXPECT_EQ(from_guide, commands) << "docs/command-line.md, " << option;

        QString term = QString(name).replace(QLatin1Char('-'), QStringLiteral("\\-"));
        const QRegularExpression man_entry(QStringLiteral("\n\\.TP\n\\.BI? ") +
                                           QRegularExpression::escape(term) +
                                           QStringLiteral("[ \n]"));
        const auto found = man_entry.match(page, options_at);
        Names from_man;
        if (found.hasMatch()) {
            const QStringList lines = page.mid(found.capturedEnd()).split(QLatin1Char('\n'));
            // The entry begins "With" and a name or a list a line, or the list
            // itself (".BR osccal :"), up to the line that ends in the colon.
            qsizetype first = 0;
            while (first < 2 && !lines[first].startsWith(QStringLiteral(".B")) &&
                   lines[first] != QStringLiteral("With")) {
                ++first;
            }
            for (qsizetype i = first; i < lines.size(); ++i) {
                for (const QString& word : lines[i].split(
                         QRegularExpression(QStringLiteral("[ \",]+")), Qt::SkipEmptyParts)) {
                    if (!word.startsWith(QLatin1Char('.')) && word != QStringLiteral(":") &&
                        word != QStringLiteral("and") && word != QStringLiteral("With")) {
                        from_man.insert(QString(word)
                                            .replace(QStringLiteral("\\-"), QStringLiteral("-"))
                                            .toStdString());
                    }
                }
                if (lines[i].endsWith(QLatin1Char(':'))) {
                    break;
                }
            }
        }
        EXPECT_EQ(from_man, commands) << "packaging/man/corvanel.1, " << option;
    }
}

TEST(CommandTable, CompletionOffersEveryCommandAndOption) {
    const QString script = read_source("packaging/completion/corvanel");
    const auto quoted = [&](const char* variable) {
        const QRegularExpression line(
            QStringLiteral("local %1=\"([^\"]*)\"").arg(QLatin1String(variable)));
        const auto match = line.match(script);
        EXPECT_TRUE(match.hasMatch()) << variable;
        return words_of(match.captured(1), QStringLiteral(" "));
    };
    EXPECT_EQ(quoted("commands"), table_commands());
    EXPECT_EQ(quoted("options"), table_options(false));

    // The options whose value it completes, and those it skips with their
    // value when it looks for the command.
    Names completed;
    static const QRegularExpression value_case(QStringLiteral(R"(\n        (--[a-z-]+)\)\n)"));
    for (auto match = value_case.globalMatch(script); match.hasNext();) {
        completed.insert(match.next().captured(1).toStdString());
    }
    EXPECT_EQ(completed, table_valued_options());
    const auto skipped =
        QRegularExpression(QStringLiteral(R"(\n\s*(--[a-z| -]+)\) \(\(i\+\+\)\))")).match(script);
    ASSERT_TRUE(skipped.hasMatch());
    EXPECT_EQ(words_of(skipped.captured(1), QStringLiteral("|")), table_valued_options());

    // The commands whose arguments are HEX files.
    const auto files =
        QRegularExpression(QStringLiteral(R"(\n\s*([a-z| ]+)\)\n\s*_filedir '@\(hex\|HEX\)')"))
            .match(script);
    ASSERT_TRUE(files.hasMatch());
    EXPECT_EQ(words_of(files.captured(1), QStringLiteral("|")), table_hex_commands());
}

// The built tool: every command runs with the number of arguments the table
// gives it, and exactly the commands the table says need a port fail on a port
// that does not exist (exit 3); the rest never touch it.
TEST(CommandTable, NeedsPortMatchesTheTool) {
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString small = QStringLiteral(CORVANEL_SOURCE_DIR "/tests/cli/data/small_16f628a.hex");
    // A job names its model (--model is refused with it); make-job writes one for
    // job to run.
    const QString job = work.filePath(QStringLiteral("small.corvanel-job"));
    for (const ToolCommand& command : tool_commands()) {
        const std::string name(command.name);
        QStringList arguments = {QStringLiteral("--port"),
                                 QStringLiteral("/dev/nonexistent-corvanel")};
        if (name != "job") {
            arguments << QStringLiteral("--model") << QStringLiteral("PIC16F628A");
        }
        arguments << QString::fromStdString(name);
        if (name == "make-job") {
            arguments << job << small;
        } else if (name == "job") {
            arguments << job;
        } else {
            for (int i = 0; i < command.argument_count(); ++i) {
                // The first argument is read, any other one written.
                arguments << (i == 0 && name != "read"
                                  ? small
                                  : work.filePath(QString::fromStdString(name) +
                                                  QStringLiteral(".hex")));
            }
        }
        QProcess tool;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           work.filePath(QStringLiteral("config")));
        tool.setProcessEnvironment(environment);
        tool.start(QStringLiteral(CORVANEL_BIN_DIR "/corvanel"), arguments);
        ASSERT_TRUE(tool.waitForFinished(60000)) << name;
        const QString output =
            QString::fromUtf8(tool.readAllStandardOutput() + tool.readAllStandardError());
        EXPECT_EQ(tool.exitCode(), command.needs_port ? run_exit::kLink : run_exit::kDone)
            << name << ": " << output.toStdString();
        EXPECT_EQ(output.contains(QStringLiteral("Serial port")), command.needs_port) << name;
    }
}

}  // namespace
}  // namespace corvanel
