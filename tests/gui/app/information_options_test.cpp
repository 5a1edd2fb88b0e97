// SPDX-License-Identifier: GPL-3.0-or-later
// The window program's --help and --version, answered without a window.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "gui/app/program_entry.h"
#include "support/qt_test_support.h"

namespace corvanel::test {
namespace {

TEST(InformationOptions, HelpAndVersionAnsweredAnyOtherCommandLineStartsTheWindow) {
    ensure_app();
    const QString folder = QStringLiteral("/opt/pic/bin/");
    const struct {
        QStringList arguments;
        const char* starts_with;  // nullptr: no text, the window starts
    } cases[] = {
        {{"tavrelix-corvanel"}, nullptr},
        {{"tavrelix-corvanel", "-style", "fusion"}, nullptr},
        {{"tavrelix-corvanel", "--versions"}, nullptr},
        {{"tavrelix-corvanel", "--version"}, "tavrelix-corvanel 1.2.3"},
        {{"tavrelix-corvanel", "--help"}, "Usage: tavrelix-corvanel"},
        {{"tavrelix-corvanel", "-h"}, "Usage: tavrelix-corvanel"},
        {{"tavrelix-corvanel", "-style", "fusion", "--help"}, "Usage: tavrelix-corvanel"},
        {{"--help"}, nullptr},  // the program name is no option
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
        const auto text = information_text(c.arguments, folder, QStringLiteral("1.2.3"));
        if (c.starts_with == nullptr) {
            EXPECT_FALSE(text.has_value());
        } else {
            ASSERT_TRUE(text.has_value());
            EXPECT_TRUE(text->startsWith(QString::fromLatin1(c.starts_with)))
                << text->toStdString();
        }
    }
}

TEST(InformationOptions, UsageNamesBothPlacesOfTheDeviceDatabase) {
    ensure_app();
    const QString text = window_usage_text(QStringLiteral("/opt/pic/bin/"));
    EXPECT_TRUE(
        text.contains(QDir::toNativeSeparators(QStringLiteral("/opt/pic/bin/corvaneldevices.txt"))))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QDir::toNativeSeparators(
        QStringLiteral("/opt/pic/share/tavrelix-corvanel/corvaneldevices.txt"))))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("settings.ini")));
}

}  // namespace
}  // namespace corvanel::test
